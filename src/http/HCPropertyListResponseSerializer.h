#pragma once

#include "http/HCHTTPResponseSerializer.h"

namespace kt {

// Decodes property-list bodies ("application/x-plist").
class HCPropertyListResponseSerializer : public HCHTTPResponseSerializer {
 public:
  static constexpr uint64_t XMLFormat = 100;

  HCPropertyListResponseSerializer();
  static std::shared_ptr<HCPropertyListResponseSerializer> serializer() { return serializerWithFormat(XMLFormat, 0); }
  static std::shared_ptr<HCPropertyListResponseSerializer> serializerWithFormat(uint64_t format, uint64_t readOptions);
  const char* className() const override { return "HCPropertyListResponseSerializer"; }
  std::shared_ptr<HCHTTPResponseSerializer> copy() const override;
  core::Value encodeWithCoder() const override;

  // Kept for callers; the document's own form is read whatever it says.
  uint64_t format() const { return m_format; }
  void setFormat(uint64_t format) { m_format = format; }
  uint64_t readOptions() const { return m_readOptions; }
  void setReadOptions(uint64_t options) { m_readOptions = options; }

  HCResponseObject responseObjectForResponse(const net::HTTPURLResponse* response,
                                             const std::optional<std::string>& data,
                                             std::optional<core::Error>* error) const override;

 protected:
  void decodeWithCoder(const core::Value& coder) override;

 private:
  uint64_t m_format = 0;
  uint64_t m_readOptions = 0;
};

}  // namespace kt
