#pragma once

#include "platform/core/Error.h"
#include "platform/net/URL.h"
#include "platform/net/URLRequest.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace net {

class CachedURLResponse;
class HTTPURLResponse;
class InputStream;
class URLSession;
class URLSessionTask;
class URLSessionDataTask;
class URLSessionDownloadTask;

// The peer of a TLS connection as presented: its certificate chain (DER bytes, the server's own
// certificate first) and the host the URL names. A security policy evaluates it.
struct ServerTrust {
  std::string host;
  std::vector<std::string> certificates;
};

struct URLCredential {
  // A credential that accepts a server trust.
  static std::shared_ptr<URLCredential> forTrust(std::shared_ptr<const ServerTrust> trust) {
    auto c = std::make_shared<URLCredential>();
    c->trust = std::move(trust);
    return c;
  }
  std::shared_ptr<const ServerTrust> trust;
  std::string user;
  std::string password;
};

struct ProtectionSpace {
  static constexpr const char* AuthenticationMethodServerTrust = "ServerTrust";
  static constexpr const char* AuthenticationMethodHTTPBasic = "HTTPBasic";
  std::string host;
  int port = 0;
  std::string protocol;  // "https"
  std::string authenticationMethod;
  std::string realm;  // of an HTTP challenge
  std::shared_ptr<const ServerTrust> serverTrust;
};

struct AuthenticationChallenge {
  ProtectionSpace protectionSpace;
  int previousFailureCount = 0;
  // The task whose connection raised the challenge (none for a URLConnection's challenge).
  std::shared_ptr<URLSessionTask> task;
};

enum class AuthChallengeDisposition : int {
  UseCredential = 0,
  PerformDefaultHandling = 1,
  CancelAuthenticationChallenge = 2,
  RejectProtectionSpace = 3,
};

enum class ResponseDisposition : int { Cancel = 0, Allow = 1, BecomeDownload = 2 };

using ChallengeHandler = std::function<void(AuthChallengeDisposition, std::shared_ptr<URLCredential>)>;
using ResponseHandler = std::function<void(ResponseDisposition)>;
// The request to follow, or nothing to stop at the redirect reply.
using RedirectHandler = std::function<void(std::optional<URLRequest>)>;
using BodyStreamHandler = std::function<void(std::shared_ptr<InputStream>)>;
// What to store in the URL cache, or null for nothing.
using CachedResponseHandler = std::function<void(std::shared_ptr<const CachedURLResponse>)>;

// What a session tells its delegate, on the session's delegate queue, in order per task.
// Every operation has a default body; a handler passed to an operation must be called once
// (later calls are ignored; a handler dropped without a call gives the default answer).
class URLSessionDelegate {
 public:
  virtual ~URLSessionDelegate() = default;

  // The events a delegate may leave to the session: for one it does not respond to, the session
  // applies its default at once (follow the redirect, allow the reply, store the proposed reply)
  // and neither asks the delegate nor holds the transfer for an answer.
  enum class OptionalEvent { WillPerformHTTPRedirection, DidReceiveResponse, WillCacheResponse };
  virtual bool respondsToEvent(OptionalEvent /*event*/) const { return true; }

  // The last event of a session: after it the session lets go of its delegate.
  virtual void didBecomeInvalidWithError(const std::shared_ptr<URLSession>& /*session*/,
                                         const std::optional<core::Error>& /*error*/) {}
  // A server-trust challenge of a new TLS connection. The default asks the task-level operation.
  virtual void didReceiveChallenge(const std::shared_ptr<URLSession>& session, const AuthenticationChallenge& challenge,
                                   ChallengeHandler handler) {
    taskDidReceiveChallenge(session, challenge.task, challenge, std::move(handler));
  }
  virtual void URLSessionDidFinishEventsForBackgroundURLSession(const std::shared_ptr<URLSession>& /*session*/) {}

  // Task events.
  virtual void taskDidReceiveChallenge(const std::shared_ptr<URLSession>& /*session*/,
                                       const std::shared_ptr<URLSessionTask>& /*task*/,
                                       const AuthenticationChallenge& /*challenge*/, ChallengeHandler handler) {
    handler(AuthChallengeDisposition::PerformDefaultHandling, nullptr);
  }
  // One call per redirect hop; the default follows the proposed request.
  virtual void willPerformHTTPRedirection(const std::shared_ptr<URLSession>& /*session*/,
                                          const std::shared_ptr<URLSessionTask>& /*task*/,
                                          const std::shared_ptr<const HTTPURLResponse>& /*response*/,
                                          const URLRequest& request, RedirectHandler handler) {
    handler(request);
  }
  // The body must be sent again (a redirect that keeps it): the default gives a copy of the
  // original request's stream when it can be copied.
  virtual void needNewBodyStream(const std::shared_ptr<URLSession>& /*session*/,
                                 const std::shared_ptr<URLSessionTask>& task, BodyStreamHandler handler);
  // totalBytesExpectedToSend is -1 when the body's length is not known.
  virtual void didSendBodyData(const std::shared_ptr<URLSession>& /*session*/,
                               const std::shared_ptr<URLSessionTask>& /*task*/, int64_t /*bytesSent*/,
                               int64_t /*totalBytesSent*/, int64_t /*totalBytesExpectedToSend*/) {}
  // Exactly once per task, last of its events.
  virtual void didCompleteWithError(const std::shared_ptr<URLSession>& /*session*/,
                                    const std::shared_ptr<URLSessionTask>& /*task*/,
                                    const std::optional<core::Error>& /*error*/) {}

  // Data-task events (not sent for tasks made with a completion handler).
  virtual void didReceiveResponse(const std::shared_ptr<URLSession>& /*session*/,
                                  const std::shared_ptr<URLSessionDataTask>& /*dataTask*/,
                                  const std::shared_ptr<const HTTPURLResponse>& /*response*/, ResponseHandler handler) {
    handler(ResponseDisposition::Allow);
  }
  virtual void didBecomeDownloadTask(const std::shared_ptr<URLSession>& /*session*/,
                                     const std::shared_ptr<URLSessionDataTask>& /*dataTask*/,
                                     const std::shared_ptr<URLSessionDownloadTask>& /*downloadTask*/) {}
  virtual void didReceiveData(const std::shared_ptr<URLSession>& /*session*/,
                              const std::shared_ptr<URLSessionDataTask>& /*dataTask*/, const std::string& /*data*/) {}
  // A reply that the session's URL cache may keep, after its last data and before the task
  // completes; the handler gets what to store (the default: the proposed reply).
  virtual void willCacheResponse(const std::shared_ptr<URLSession>& /*session*/,
                                 const std::shared_ptr<URLSessionDataTask>& /*dataTask*/,
                                 const std::shared_ptr<const CachedURLResponse>& proposedResponse,
                                 CachedResponseHandler handler) {
    handler(proposedResponse);
  }

  // Download-task events. The file at `location` is removed when didFinishDownloadingToURL returns.
  virtual void didFinishDownloadingToURL(const std::shared_ptr<URLSession>& /*session*/,
                                         const std::shared_ptr<URLSessionDownloadTask>& /*downloadTask*/,
                                         const URL& /*location*/) {}
  virtual void didWriteData(const std::shared_ptr<URLSession>& /*session*/,
                            const std::shared_ptr<URLSessionDownloadTask>& /*downloadTask*/, int64_t /*bytesWritten*/,
                            int64_t /*totalBytesWritten*/, int64_t /*totalBytesExpectedToWrite*/) {}
  virtual void didResumeAtOffset(const std::shared_ptr<URLSession>& /*session*/,
                                 const std::shared_ptr<URLSessionDownloadTask>& /*downloadTask*/,
                                 int64_t /*fileOffset*/, int64_t /*expectedTotalBytes*/) {}
};

}  // namespace net
