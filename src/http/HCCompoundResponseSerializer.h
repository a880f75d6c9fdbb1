#pragma once

#include "http/HCHTTPResponseSerializer.h"

#include <vector>

namespace kt {

// Tries its member serializers in order; the first that gives an object wins. When none does,
// it validates with its own settings and gives the body bytes.
class HCCompoundResponseSerializer : public HCHTTPResponseSerializer {
 public:
  using Members = std::vector<std::shared_ptr<HCHTTPResponseSerializer>>;

  static std::shared_ptr<HCCompoundResponseSerializer> compoundSerializerWithResponseSerializers(Members members);
  const char* className() const override { return "HCCompoundResponseSerializer"; }
  std::shared_ptr<HCHTTPResponseSerializer> copy() const override;
  core::Value encodeWithCoder() const override;

  const Members& responseSerializers() const { return m_responseSerializers; }
  void setResponseSerializers(Members members) { m_responseSerializers = std::move(members); }

  HCResponseObject responseObjectForResponse(const net::HTTPURLResponse* response,
                                             const std::optional<std::string>& data,
                                             std::optional<core::Error>* error) const override;

 protected:
  void decodeWithCoder(const core::Value& coder) override;

 private:
  Members m_responseSerializers;
};

}  // namespace kt
