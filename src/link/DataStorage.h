#pragma once

#include <optional>
#include <string>

#include "platform/core/Value.h"

namespace kt {

// A store of small property-list documents in the documents folder: each document is a
// dictionary from keyword to value, in a file named by the caller. Main thread only.
//
// A name must be a plain file name: one containing "/" or a NUL, or the names "", "." and "..",
// is refused and logged, so nothing is ever written or removed outside the documents folder.
class DataStorage {
 public:
  // Writes a new document holding only keyword -> value, replacing any document of that name.
  // A null value is ignored (logged). True when the document was written.
  static bool createAStorageDocumentWithName(const std::string& name, const std::string& keyword,
                                             const core::Value& data);
  // The value under the keyword; nullopt when the document or the keyword is missing.
  static std::optional<core::Value> checkAStorageDocumentWithName(const std::string& name,
                                                                  const std::string& keyword);
  // Sets keyword -> value in an existing dictionary document, keeping its other keys. Nothing is
  // written for a null value or when there is no such document. True when it was written.
  static bool modifyAStorageDocumentWithName(const std::string& name, const std::string& keyword,
                                             const core::Value& data);
  // Removes the document. True when it was removed.
  static bool deleteAStorageDocumentWithName(const std::string& name);

  // The document's path, or nullopt when the name is not a plain file name.
  static std::optional<std::string> documentPath(const std::string& name);
};

}  // namespace kt
