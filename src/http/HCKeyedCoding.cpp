#include "http/HCKeyedCoding.h"

#include "platform/net/URLSessionConfiguration.h"

#include <cmath>

namespace kt {

std::optional<std::string> archivedClassName(const core::Value& coder) {
  if (const std::string* name = coder[HCCoderClassKey].asString()) return *name;
  return std::nullopt;
}

std::optional<uint64_t> decodeUnsignedInteger(const core::Value& coder, const std::string& key) {
  if (auto n = coder[key].asInteger(); n && *n >= 0) return static_cast<uint64_t>(*n);
  return std::nullopt;
}

std::optional<double> decodeDouble(const core::Value& coder, const std::string& key) {
  const core::Value& value = coder[key];
  if (auto d = value.asReal(); d && std::isfinite(*d)) return *d;
  // A whole number written by a property-list or JSON round trip.
  if (auto n = value.asInteger()) return static_cast<double>(*n);
  return std::nullopt;
}

std::optional<bool> decodeBool(const core::Value& coder, const std::string& key) {
  const core::Value& value = coder[key];
  if (auto b = value.asBool()) return b;
  if (auto n = value.asInteger(); n && (*n == 0 || *n == 1)) return *n == 1;
  return std::nullopt;
}

core::Value encodeSessionConfiguration(const net::URLSessionConfiguration& configuration) {
  core::Value coder{core::Value::Dictionary{}};
  if (configuration.identifier()) coder.set("identifier", *configuration.identifier());
  coder.set("timeoutIntervalForRequest", configuration.timeoutIntervalForRequest());
  coder.set("timeoutIntervalForResource", configuration.timeoutIntervalForResource());
  core::Value headers{core::Value::Dictionary{}};
  for (const auto& [field, value] : configuration.HTTPAdditionalHeaders()) headers.set(field, value);
  coder.set("HTTPAdditionalHeaders", std::move(headers));
  coder.set("HTTPMaximumConnectionsPerHost", static_cast<int64_t>(configuration.HTTPMaximumConnectionsPerHost()));
  coder.set("requestCachePolicy", static_cast<int64_t>(configuration.requestCachePolicy()));
  coder.set("allowsCellularAccess", configuration.allowsCellularAccess());
  coder.set("HTTPShouldSetCookies", configuration.HTTPShouldSetCookies());
  coder.set("HTTPShouldUsePipelining", configuration.HTTPShouldUsePipelining());
  coder.set("networkServiceType", static_cast<int64_t>(configuration.networkServiceType()));
  return coder;
}

std::optional<net::URLSessionConfiguration> decodeSessionConfiguration(const core::Value& coder) {
  if (!coder.isDictionary()) return std::nullopt;
  const std::string* identifier = coder["identifier"].asString();
  net::URLSessionConfiguration configuration =
      identifier ? net::URLSessionConfiguration::backgroundSessionConfiguration(*identifier)
                 : net::URLSessionConfiguration::defaultSessionConfiguration();
  // A time-out must be a positive number of seconds.
  if (auto seconds = decodeDouble(coder, "timeoutIntervalForRequest"); seconds && *seconds > 0) {
    configuration.setTimeoutIntervalForRequest(*seconds);
  }
  if (auto seconds = decodeDouble(coder, "timeoutIntervalForResource"); seconds && *seconds > 0) {
    configuration.setTimeoutIntervalForResource(*seconds);
  }
  if (const auto* headers = coder["HTTPAdditionalHeaders"].asDictionary()) {
    net::HeaderFields fields;
    for (const auto& [field, value] : *headers) {
      const std::string* text = value.asString();
      // A line break would end the header block early: such an entry is left out.
      if (!text || field.empty() || field.find_first_of("\r\n:") != std::string::npos ||
          text->find_first_of("\r\n") != std::string::npos) {
        continue;
      }
      fields.emplace_back(field, *text);
    }
    configuration.setHTTPAdditionalHeaders(std::move(fields));
  }
  if (auto count = decodeUnsignedInteger(coder, "HTTPMaximumConnectionsPerHost"); count && *count > 0 && *count <= 1024) {
    configuration.setHTTPMaximumConnectionsPerHost(static_cast<int>(*count));
  }
  if (auto policy = decodeUnsignedInteger(coder, "requestCachePolicy"); policy && *policy <= 5) {
    configuration.setRequestCachePolicy(static_cast<net::URLRequestCachePolicy>(*policy));
  }
  if (auto allows = decodeBool(coder, "allowsCellularAccess")) configuration.setAllowsCellularAccess(*allows);
  if (auto set = decodeBool(coder, "HTTPShouldSetCookies")) configuration.setHTTPShouldSetCookies(*set);
  if (auto use = decodeBool(coder, "HTTPShouldUsePipelining")) configuration.setHTTPShouldUsePipelining(*use);
  if (auto type = decodeUnsignedInteger(coder, "networkServiceType");
      type && *type <= 11 && *type != 5 && *type != 7 && *type != 10) {
    configuration.setNetworkServiceType(static_cast<net::URLRequestNetworkServiceType>(*type));
  }
  return configuration;
}

}  // namespace kt
