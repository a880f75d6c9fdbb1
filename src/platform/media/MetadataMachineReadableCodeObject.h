#pragma once

#include <string>

#include "platform/media/MetadataObject.h"

namespace media {

// A recognised code: its symbology (type()) and the text it carries.
class MetadataMachineReadableCodeObject : public MetadataObject {
 public:
  MetadataMachineReadableCodeObject(MetadataObjectType type, std::string stringValue)
      : MetadataObject(std::move(type)), m_stringValue(std::move(stringValue)) {}

  const std::string& stringValue() const { return m_stringValue; }

 private:
  std::string m_stringValue;
};

}  // namespace media
