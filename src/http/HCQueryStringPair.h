#pragma once

#include "platform/core/Value.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kt {

// One field of a query string and its value.
class HCQueryStringPair {
 public:
  HCQueryStringPair(std::optional<std::string> field, core::Value value)
      : m_field(std::move(field)), m_value(std::move(value)) {}

  const std::optional<std::string>& field() const { return m_field; }
  const core::Value& value() const { return m_value; }

  // "field=value", both escaped; the field alone when the value is null.
  std::string URLEncodedStringValue() const;

 private:
  std::optional<std::string> m_field;
  core::Value m_value;
};

// Percent-encodes UTF-8 text for a query component: only ASCII letters, digits and "-._~/?" stay.
std::string escapeQueryComponent(std::string_view text);

// Flattens parameters into pairs: dictionary keys in ascending order of their text ("a[x]"
// fields for nested keys), array elements in their order ("a[]" fields).
std::vector<HCQueryStringPair> queryStringPairsForKeyAndValue(const std::optional<std::string>& key,
                                                              const core::Value& value);

// The pairs of the parameters joined with "&".
std::string queryStringFromParameters(const core::Value& parameters);

}  // namespace kt
