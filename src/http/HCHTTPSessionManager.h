#pragma once

#include "http/HCURLSessionManager.h"
#include "platform/core/Value.h"
#include "platform/net/URL.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace kt {

class HCHTTPRequestSerializer;
class HCMultipartFormData;

// The HTTP face of the library: a base URL, a request serializer and one entry point per HTTP
// method. Each entry point resolves the path against the base URL, has the request serializer
// build the request, makes the task, resumes it and returns it; the one completion becomes a
// success or a failure callback on the completion queue (the main queue unless set).
//
// Parameters are a dictionary or array value (null for none): GET, HEAD and DELETE put them into
// the query, the others into the body. When the request cannot be built (bad URL text, a failing
// query-string callback) the entry point returns null and failure runs asynchronously with a
// null task.
class HCHTTPSessionManager : public HCURLSessionManager {
 public:
  using Success = std::function<void(const Task& task, const HCResponseObject& responseObject)>;
  using HeadSuccess = std::function<void(const Task& task)>;
  using Failure = std::function<void(const Task& task, const core::Error& error)>;
  using ConstructingBody = std::function<void(HCMultipartFormData& formData)>;

  static std::shared_ptr<HCHTTPSessionManager> manager() { return create(); }
  // A base URL with a non-empty path that does not end in "/" is stored with the "/" added.
  static std::shared_ptr<HCHTTPSessionManager> create(
      const std::optional<net::URL>& baseURL = std::nullopt,
      const std::optional<net::URLSessionConfiguration>& configuration = std::nullopt);

  // "<HCHTTPSessionManager: 0x..., baseURL: ..., session: <...>, operationQueue: <...>>"
  std::string description() const override;
  const char* className() const override { return "HCHTTPSessionManager"; }
  // A new manager of the same class with the same base URL and session configuration and
  // copies of the serializers (each of its own kind) and the security policy.
  std::shared_ptr<HCHTTPSessionManager> copy() const {
    return std::static_pointer_cast<HCHTTPSessionManager>(copyManager());
  }

  // Archiving adds "baseURL" (text), "requestSerializer", "responseSerializer" (when it is one
  // of the library's) and "securityPolicy" to the session manager's archive.
  core::Value encodeWithCoder() const override;
  // A manager over the archived base URL and configuration ("sessionConfiguration", else a
  // background configuration for the text under "identifier") with the archived serializers and
  // policy; the defaults stay where the archive has none. Null for an archive of another class.
  static std::shared_ptr<HCHTTPSessionManager> initWithCoder(const core::Value& coder);

  const std::optional<net::URL>& baseURL() const { return m_baseURL; }
  std::shared_ptr<HCHTTPRequestSerializer> requestSerializer() const;
  void setRequestSerializer(std::shared_ptr<HCHTTPRequestSerializer> serializer);
  void setResponseSerializer(std::shared_ptr<HCURLResponseSerialization> serializer) override;

  Task GET(const std::string& URLString, const core::Value& parameters, Success success, Failure failure);
  Task GET(const std::string& URLString, const core::Value& parameters, ProgressBlock downloadProgress,
           Success success, Failure failure);
  Task HEAD(const std::string& URLString, const core::Value& parameters, HeadSuccess success, Failure failure);
  Task POST(const std::string& URLString, const core::Value& parameters, Success success, Failure failure);
  Task POST(const std::string& URLString, const core::Value& parameters, ProgressBlock uploadProgress,
            Success success, Failure failure);
  // Multipart POST: each parameter becomes a form part, then the block adds its own parts; the
  // body is streamed.
  Task POST(const std::string& URLString, const core::Value& parameters, ConstructingBody block, Success success,
            Failure failure);
  Task POST(const std::string& URLString, const core::Value& parameters, ConstructingBody block,
            ProgressBlock uploadProgress, Success success, Failure failure);
  Task PUT(const std::string& URLString, const core::Value& parameters, Success success, Failure failure);
  Task PATCH(const std::string& URLString, const core::Value& parameters, Success success, Failure failure);
  Task DELETE(const std::string& URLString, const core::Value& parameters, Success success, Failure failure);

  // The shared builder: the data task, not resumed.
  Task dataTaskWithHTTPMethod(const std::string& method, const std::string& URLString, const core::Value& parameters,
                              ProgressBlock uploadProgress, ProgressBlock downloadProgress, Success success,
                              Failure failure);

  // The absolute URL text of a path resolved against the base URL (nothing when it is no URL).
  std::optional<std::string> resolvedURLString(const std::string& URLString) const;

 protected:
  HCHTTPSessionManager() = default;
  // dataTaskWithHTTPMethod, resumed when a task was made.
  Task resumedDataTask(const std::string& method, const std::string& URLString, const core::Value& parameters,
                       ProgressBlock uploadProgress, ProgressBlock downloadProgress, Success success, Failure failure);
  void initWithBaseURL(const std::optional<net::URL>& baseURL,
                       const std::optional<net::URLSessionConfiguration>& configuration);
  std::shared_ptr<HCURLSessionManager> copyManager() const override;

 private:
  // Runs failure(null, error) asynchronously on the completion queue.
  void failLater(Failure failure, core::Error error) const;
  static CompletionHandler completionFor(std::function<Task()> task, Success success, Failure failure);

  std::optional<net::URL> m_baseURL;
  mutable std::mutex m_serializerMutex;
  std::shared_ptr<HCHTTPRequestSerializer> m_requestSerializer;
};

}  // namespace kt
