#pragma once

#include "platform/core/Error.h"

#include <cstdint>
#include <string>

namespace net {

// The URL loading errors: one domain, the platform's codes, and the failing URL in the user info.
class URLError {
 public:
  static constexpr const char* Domain = "net.URLErrorDomain";
  // User-info key of the URL text the request failed for.
  static constexpr const char* FailingURLStringKey = "FailingURLStringKey";

  enum Code : int64_t {
    Unknown = -1,
    Cancelled = -999,
    BadURL = -1000,
    TimedOut = -1001,
    UnsupportedURL = -1002,
    CannotFindHost = -1003,
    CannotConnectToHost = -1004,
    NetworkConnectionLost = -1005,
    HTTPTooManyRedirects = -1007,
    ResourceUnavailable = -1008,
    NotConnectedToInternet = -1009,
    BadServerResponse = -1011,
    UserCancelledAuthentication = -1012,
    CannotDecodeContentData = -1016,
    RequestBodyStreamExhausted = -1021,
    SecureConnectionFailed = -1200,
    ServerCertificateUntrusted = -1202,
    CannotCreateFile = -3000,
    CannotOpenFile = -3001,
    CannotMoveFile = -3002,
    CannotWriteToFile = -3003,
  };

  // An error of this domain with its description and, when given, the failing URL.
  static core::Error make(int64_t code, const std::string& failingURL = {});
  // The text shown to the user for a code.
  static std::string descriptionFor(int64_t code);
};

}  // namespace net
