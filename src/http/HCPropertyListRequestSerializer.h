#pragma once

#include "http/HCHTTPRequestSerializer.h"

namespace kt {

// Writes the parameters of body methods as an XML property-list body ("application/x-plist").
class HCPropertyListRequestSerializer : public HCHTTPRequestSerializer {
 public:
  static constexpr uint64_t XMLFormat = 100;

  static std::shared_ptr<HCPropertyListRequestSerializer> serializer() { return serializerWithFormat(XMLFormat, 0); }
  static std::shared_ptr<HCPropertyListRequestSerializer> serializerWithFormat(uint64_t format, uint64_t writeOptions);

  uint64_t format() const { return m_format; }
  void setFormat(uint64_t format) { m_format = format; }
  uint64_t writeOptions() const { return m_writeOptions; }
  void setWriteOptions(uint64_t options) { m_writeOptions = options; }

  const char* className() const override { return "HCPropertyListRequestSerializer"; }
  std::shared_ptr<HCHTTPRequestSerializer> copy() const override;
  core::Value encodeWithCoder() const override;

  // Parameters that have no property-list form (null values, or a format other than XML) give
  // no request and a serialization error.
  std::optional<net::URLRequest> requestBySerializingRequest(const net::URLRequest& request,
                                                             const core::Value& parameters,
                                                             core::Error* error) const override;

 protected:
  void decodeWithCoder(const core::Value& coder) override;

 private:
  uint64_t m_format = XMLFormat;
  uint64_t m_writeOptions = 0;
};

}  // namespace kt
