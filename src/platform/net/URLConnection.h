#pragma once

#include "platform/core/Error.h"
#include "platform/net/URLRequest.h"
#include "platform/net/URLSessionDelegate.h"

#include <cstdint>
#include <memory>
#include <string>

namespace core {
class FdSource;
class RunLoop;
}  // namespace core

namespace net {

class HTTPURLResponse;
class URLConnection;
class URLSession;

// What a connection tells its delegate, on the thread and run loop it was started on, in this
// order: any authentication challenges, the reply head, the body in pieces, then exactly one of
// connectionDidFailWithError and connectionDidFinishLoading. Nothing after cancel().
class URLConnectionDelegate {
 public:
  virtual ~URLConnectionDelegate() = default;

  // A 401 reply that asks for Basic authentication. The handler (called once, now or later on
  // the connection's thread) takes: UseCredential with a user and password, and the request is
  // sent again with them; CancelAuthenticationChallenge, and the connection fails with
  // UserCancelledAuthentication; anything else, and the 401 reply is loaded like any other.
  // previousFailureCount counts the credentials already refused. The default loads the reply.
  virtual void connectionDidReceiveAuthenticationChallenge(URLConnection& /*connection*/,
                                                           const AuthenticationChallenge& /*challenge*/,
                                                           ChallengeHandler handler) {
    handler(AuthChallengeDisposition::PerformDefaultHandling, nullptr);
  }
  virtual void connectionDidReceiveResponse(URLConnection& /*connection*/,
                                            const std::shared_ptr<const HTTPURLResponse>& /*response*/) {}
  virtual void connectionDidReceiveData(URLConnection& /*connection*/, const std::string& /*data*/) {}
  virtual void connectionDidFailWithError(URLConnection& /*connection*/, const core::Error& /*error*/) {}
  virtual void connectionDidFinishLoading(URLConnection& /*connection*/) {}
};

// One HTTP load whose events arrive on a run loop: the connection is an input source of the
// loop of the thread that starts it (default mode) until it ends, so that thread can wait for it
// by running its loop. The transfer itself runs in a URL session of its own, off that thread.
// The connection keeps itself and its delegate alive until it has ended or is cancelled.
class URLConnection : public std::enable_shared_from_this<URLConnection> {
 public:
  // Starts loading at once. A request without an http or https URL fails on a later turn of
  // the loop (BadURL without a URL, UnsupportedURL for another scheme).
  static std::shared_ptr<URLConnection> connectionWithRequest(const URLRequest& request,
                                                              std::shared_ptr<URLConnectionDelegate> delegate);
  ~URLConnection();
  URLConnection(const URLConnection&) = delete;
  URLConnection& operator=(const URLConnection&) = delete;

  const URLRequest& originalRequest() const { return m_request; }

  // The realm of a 401 reply's Basic challenge ("" without one); nothing when the reply is not
  // a 401 or none of its WWW-Authenticate challenges is Basic.
  static std::optional<std::string> basicChallengeRealm(const HTTPURLResponse& response);
  // Stops the load; the delegate hears nothing more. Called on the connection's thread.
  void cancel();

  // The thread-safe inbox of events from the session, and the session delegate that fills it.
  struct Inbox;
  class Bridge;

 private:
  struct Key {};

 public:
  URLConnection(Key, const URLRequest& request, std::shared_ptr<URLConnectionDelegate> delegate);

 private:
  void start();
  void startTask(const URLRequest& request);
  // Runs the events that have arrived, in order, until the connection ends.
  void drain();
  void challenge(uint64_t task, const std::shared_ptr<const HTTPURLResponse>& response, ResponseHandler answer);
  void respond(uint64_t task, const std::shared_ptr<const HTTPURLResponse>& response);
  void receive(uint64_t task, const std::string& data);
  void complete(uint64_t task, const std::optional<core::Error>& error);
  void fail(const core::Error& error);
  // Ends the connection: no more events, the source leaves the loop, the session goes.
  void end();

  const URLRequest m_request;
  std::shared_ptr<URLConnectionDelegate> m_delegate;
  std::shared_ptr<Inbox> m_inbox;
  std::shared_ptr<core::FdSource> m_source;
  std::shared_ptr<URLSession> m_session;
  uint64_t m_task = 0;     // identifier of the task whose events count
  int m_failures = 0;      // credentials refused so far
  bool m_ended = false;
};

}  // namespace net
