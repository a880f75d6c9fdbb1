#pragma once

#include "platform/core/Error.h"
#include "platform/core/Value.h"
#include "platform/net/URLRequest.h"

#include <optional>

namespace kt {

// Error domain of the request serializers.
inline constexpr const char* HCRequestSerializationErrorDomain = "net.ktvroom.http.error.serialization.request";

// Turns a request and its parameters (a dictionary or array value; null for none) into the
// request to send. On failure: nothing, and *error (when given) says why.
class HCURLRequestSerialization {
 public:
  virtual ~HCURLRequestSerialization() = default;
  virtual std::optional<net::URLRequest> requestBySerializingRequest(const net::URLRequest& request,
                                                                     const core::Value& parameters,
                                                                     core::Error* error) const = 0;
};

}  // namespace kt
