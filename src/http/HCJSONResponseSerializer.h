#pragma once

#include "http/HCHTTPResponseSerializer.h"

namespace kt {

// Decodes JSON bodies ("application/json", "text/json", "text/javascript").
class HCJSONResponseSerializer : public HCHTTPResponseSerializer {
 public:
  // Reading options: bit 0 mutable containers (every value here can be changed), bit 2
  // fragments (a top level other than an array or object).
  static constexpr uint64_t MutableContainers = 1;
  static constexpr uint64_t AllowFragments = 4;

  HCJSONResponseSerializer();
  static std::shared_ptr<HCJSONResponseSerializer> serializer() { return serializerWithReadingOptions(0); }
  static std::shared_ptr<HCJSONResponseSerializer> serializerWithReadingOptions(uint64_t options);
  const char* className() const override { return "HCJSONResponseSerializer"; }
  std::shared_ptr<HCHTTPResponseSerializer> copy() const override;
  core::Value encodeWithCoder() const override;

  uint64_t readingOptions() const { return m_readingOptions; }
  void setReadingOptions(uint64_t options) { m_readingOptions = options; }
  bool removesKeysWithNullValues() const { return m_removesKeysWithNullValues; }
  void setRemovesKeysWithNullValues(bool removes) { m_removesKeysWithNullValues = removes; }

  HCResponseObject responseObjectForResponse(const net::HTTPURLResponse* response,
                                             const std::optional<std::string>& data,
                                             std::optional<core::Error>* error) const override;

  // Dictionaries lose their keys with null values, at every depth; nulls in arrays stay.
  static core::Value removingKeysWithNullValues(const core::Value& value);

 protected:
  void decodeWithCoder(const core::Value& coder) override;

 private:
  uint64_t m_readingOptions = 0;
  bool m_removesKeysWithNullValues = false;
};

}  // namespace kt
