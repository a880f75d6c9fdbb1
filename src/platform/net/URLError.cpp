#include "platform/net/URLError.h"

namespace net {

std::string URLError::descriptionFor(int64_t code) {
  switch (code) {
    case Cancelled: return "cancelled";
    case BadURL: return "unsupported URL";
    case TimedOut: return "The request timed out.";
    case UnsupportedURL: return "unsupported URL";
    case CannotFindHost: return "A server with the specified hostname could not be found.";
    case CannotConnectToHost: return "Could not connect to the server.";
    case NetworkConnectionLost: return "The network connection was lost.";
    case HTTPTooManyRedirects: return "too many HTTP redirects";
    case ResourceUnavailable: return "resource unavailable";
    case NotConnectedToInternet: return "The Internet connection appears to be offline.";
    case BadServerResponse: return "The server returned a bad response.";
    case UserCancelledAuthentication: return "The user cancelled authentication.";
    case CannotDecodeContentData: return "The data couldn\u2019t be decoded.";
    case RequestBodyStreamExhausted: return "The request body stream could not be read again.";
    case SecureConnectionFailed: return "An SSL error has occurred and a secure connection to the server cannot be made.";
    case ServerCertificateUntrusted: return "The certificate for this server is invalid.";
    case CannotCreateFile: return "The file could not be created.";
    case CannotOpenFile: return "The file could not be opened.";
    case CannotMoveFile: return "The file could not be moved.";
    case CannotWriteToFile: return "The file could not be written.";
    default: return "An unknown error occurred.";
  }
}

core::Error URLError::make(int64_t code, const std::string& failingURL) {
  core::Value info;
  info.set(core::Error::LocalizedDescriptionKey, descriptionFor(code));
  if (!failingURL.empty()) info.set(FailingURLStringKey, failingURL);
  return core::Error(Domain, code, std::move(info));
}

}  // namespace net
