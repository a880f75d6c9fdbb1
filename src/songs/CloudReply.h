#pragma once

// Reading the replies of the cloud song service, by type.
//
// A reply is a decoded JSON value or nothing (a failed request or a body that is no JSON).
// Values are turned into text with the "%@" rule: a text stays itself, a number is its decimal
// text, JSON null is "<null>" and an absent key "(null)". A reply that is not an object has no
// keys; a value that should be an array and is not counts as no rows; array elements that are
// not objects are skipped. So no reply of any shape can break a caller.

#include "platform/core/Value.h"

#include <optional>
#include <string>
#include <vector>

namespace kt {

class CloudReply {
 public:
  // The "%@" text of object[key]; "(null)" when the object is not an object or lacks the key.
  static std::string text(const core::Value& object, const std::string& key);
  static std::string text(const std::optional<core::Value>& object, const std::string& key);
  // The "%@" text of object[key] when that is a text or a number and the text is not empty;
  // nothing when it is missing, null, of another type or empty. For the values a caller goes on
  // with (a token to request, a code to bind, a binding id to keep), where "(null)" would be wrong.
  static std::optional<std::string> filledText(const core::Value& object, const std::string& key);
  // The success test: a decoded reply whose "code" reads "1" ("code" 1 and "1" both pass).
  static bool isSuccess(const std::optional<core::Value>& reply);
  // The text of "code" ("(null)" without a reply), for the callers that read other codes ("6").
  static std::string code(const std::optional<core::Value>& reply);
  // object[key] when that is an object; a null value otherwise.
  static const core::Value& object(const core::Value& object, const std::string& key);
  // The object elements of object[key], in order; nothing when it is not an array.
  static std::vector<core::Value> rows(const core::Value& object, const std::string& key);
  static std::vector<core::Value> rows(const std::optional<core::Value>& object, const std::string& key);
  // The number of elements of object[key], of any type (what a badge or a block position counts);
  // 0 when it is not an array. Stops at the largest 32-bit value.
  static int count(const std::optional<core::Value>& object, const std::string& key);

  // Nested lists: wxpic.php's "data" → "bannerclass" (each item kept whole) and wxsong.php's
  // "result" → "matches".
  static std::vector<core::Value> bannerItems(const std::optional<core::Value>& reply);
  static std::vector<core::Value> bannerSongs(const std::optional<core::Value>& reply);

  // A singer text may join several names with ","; the first name is the part before the
  // first ",", else the whole text.
  static std::string firstName(const std::string& singer);
};

}  // namespace kt
