#pragma once

#include "platform/core/Error.h"
#include "platform/core/Value.h"

#include <memory>
#include <optional>
#include <string>
#include <variant>

namespace gfx {
class Image;
}
namespace net {
class HTTPURLResponse;
}

namespace kt {

class HCXMLParser;

// Error domain of the response serializers and the keys of their user info.
inline constexpr const char* HCResponseSerializationErrorDomain = "net.ktvroom.http.error.serialization.response";
inline constexpr const char* HCFailingURLResponseErrorKey = "net.ktvroom.http.serialization.response.error.response";
inline constexpr const char* HCFailingURLResponseDataErrorKey = "net.ktvroom.http.serialization.response.error.data";

// What a response serializer gives: nothing, a value (body data, JSON, property list), an image
// or an XML parser over the body.
using HCResponseObject =
    std::variant<std::monostate, core::Value, std::shared_ptr<gfx::Image>, std::shared_ptr<HCXMLParser>>;

inline bool hasResponseObject(const HCResponseObject& object) {
  if (std::holds_alternative<std::monostate>(object)) return false;
  if (auto* image = std::get_if<std::shared_ptr<gfx::Image>>(&object)) return *image != nullptr;
  if (auto* parser = std::get_if<std::shared_ptr<HCXMLParser>>(&object)) return *parser != nullptr;
  return true;
}

// Checks a finished response and decodes its body. The response may be null (no response) and
// the body may be absent. *error (when given) receives the failure, possibly together with an
// object (a status-code failure still decodes the body).
class HCURLResponseSerialization {
 public:
  virtual ~HCURLResponseSerialization() = default;
  virtual HCResponseObject responseObjectForResponse(const net::HTTPURLResponse* response,
                                                     const std::optional<std::string>& data,
                                                     std::optional<core::Error>* error) const = 0;
};

}  // namespace kt
