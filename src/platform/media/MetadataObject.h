#pragma once

#include <string>

namespace media {

// The kinds of recognised objects, as the platform names them. Never destroyed: recognition reads
// them on its queue while the process exits.
using MetadataObjectType = std::string;
inline const MetadataObjectType& MetadataObjectTypeQRCode = *new MetadataObjectType("org.iso.QRCode");
inline const MetadataObjectType& MetadataObjectTypeEAN8Code = *new MetadataObjectType("org.gs1.EAN-8");
inline const MetadataObjectType& MetadataObjectTypeEAN13Code = *new MetadataObjectType("org.gs1.EAN-13");
inline const MetadataObjectType& MetadataObjectTypeCode128Code = *new MetadataObjectType("org.iso.Code128");

// Something a metadata output recognised in a frame.
class MetadataObject {
 public:
  explicit MetadataObject(MetadataObjectType type) : m_type(std::move(type)) {}
  virtual ~MetadataObject() = default;

  const MetadataObjectType& type() const { return m_type; }

 private:
  MetadataObjectType m_type;
};

}  // namespace media
