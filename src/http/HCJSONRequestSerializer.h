#pragma once

#include "http/HCHTTPRequestSerializer.h"

namespace kt {

// Writes the parameters of body methods as a JSON body ("application/json").
class HCJSONRequestSerializer : public HCHTTPRequestSerializer {
 public:
  // Writing option: indented output.
  static constexpr uint64_t PrettyPrinted = 1;

  static std::shared_ptr<HCJSONRequestSerializer> serializer() { return serializerWithWritingOptions(0); }
  static std::shared_ptr<HCJSONRequestSerializer> serializerWithWritingOptions(uint64_t options);

  uint64_t writingOptions() const { return m_writingOptions; }
  void setWritingOptions(uint64_t options) { m_writingOptions = options; }

  const char* className() const override { return "HCJSONRequestSerializer"; }
  std::shared_ptr<HCHTTPRequestSerializer> copy() const override;
  core::Value encodeWithCoder() const override;

  // Parameters that have no JSON form give no request and a serialization error.
  std::optional<net::URLRequest> requestBySerializingRequest(const net::URLRequest& request,
                                                             const core::Value& parameters,
                                                             core::Error* error) const override;

 protected:
  void decodeWithCoder(const core::Value& coder) override;

 private:
  uint64_t m_writingOptions = 0;
};

}  // namespace kt
