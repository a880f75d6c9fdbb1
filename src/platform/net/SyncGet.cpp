#include "platform/net/SyncGet.h"

#include "platform/core/Queue.h"
#include "platform/net/URLError.h"
#include "platform/net/URLSession.h"

namespace net {

std::optional<std::string> syncGet(const URL& url, double timeoutSeconds, HTTPURLResponse* response,
                                   core::Error* error) {
  URLRequest request(url, URLRequestCachePolicy::UseProtocolCachePolicy, timeoutSeconds);
  auto session = URLSession::create(URLSessionConfiguration::ephemeralSessionConfiguration());
  if (!session) {
    core::setError(error, URLError::make(URLError::Unknown, url.absoluteString()));
    return std::nullopt;
  }
  struct Result {
    std::optional<std::string> body;
    std::shared_ptr<const HTTPURLResponse> response;
    std::optional<core::Error> error;
  };
  auto result = std::make_shared<Result>();
  core::Semaphore done;
  auto task = session->dataTaskWithRequest(
      request, [result, done](std::optional<std::string> body, std::shared_ptr<const HTTPURLResponse> reply,
                              std::optional<core::Error> failure) mutable {
        result->body = std::move(body);
        result->response = std::move(reply);
        result->error = std::move(failure);
        done.signal();
      });
  session->finishTasksAndInvalidate();
  task->resume();
  done.wait();
  if (response && result->response) *response = *result->response;
  if (result->error) core::setError(error, *result->error);
  return result->error ? std::nullopt : result->body;
}

}  // namespace net
