#pragma once

#include "platform/core/Error.h"
#include "platform/net/URL.h"
#include "platform/net/URLRequest.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace net {

class HTTPURLResponse;
class URLSession;

enum class URLSessionTaskState : int { Running = 0, Suspended = 1, Canceling = 2, Completed = 3 };

// A byte count that is not known.
constexpr int64_t URLSessionTransferSizeUnknown = -1;

// Default, low and high priorities of a task (0 to 1).
constexpr float URLSessionTaskPriorityDefault = 0.5f;
constexpr float URLSessionTaskPriorityLow = 0.25f;
constexpr float URLSessionTaskPriorityHigh = 0.75f;

// One load run by a session. Made suspended by the session's task factories; resume() starts
// it. Its accessors may be read from any thread.
class URLSessionTask : public std::enable_shared_from_this<URLSessionTask> {
 public:
  enum class Kind { Data, Upload, Download };

  virtual ~URLSessionTask();
  URLSessionTask(const URLSessionTask&) = delete;
  URLSessionTask& operator=(const URLSessionTask&) = delete;

  Kind kind() const { return m_kind; }
  // Unique within its session.
  uint64_t taskIdentifier() const { return m_identifier; }
  const std::optional<URLRequest>& originalRequest() const { return m_originalRequest; }
  // The request being loaded now: the original one, or the last redirect followed.
  std::optional<URLRequest> currentRequest() const;
  // The reply once it has arrived (for a redirect that was not followed: the redirect reply).
  std::shared_ptr<const HTTPURLResponse> response() const;
  URLSessionTaskState state() const;
  // The error the task completed with.
  std::optional<core::Error> error() const;

  int64_t countOfBytesReceived() const { return m_bytesReceived.load(); }
  int64_t countOfBytesSent() const { return m_bytesSent.load(); }
  int64_t countOfBytesExpectedToReceive() const { return m_bytesExpectedToReceive.load(); }
  int64_t countOfBytesExpectedToSend() const { return m_bytesExpectedToSend.load(); }

  std::string taskDescription() const;
  void setTaskDescription(const std::string& description);
  float priority() const { return m_priority.load(); }
  void setPriority(float priority) { m_priority.store(priority < 0 ? 0 : priority > 1 ? 1 : priority); }

  // Starts or continues the load; nothing unless the task is suspended.
  void resume();
  // Holds the load; nothing unless the task is running.
  void suspend();
  // Ends the task with the cancelled error (-999), unless it has already completed.
  void cancel();

  // The session thread's state of the task (private to the session).
  struct Transfer;

 protected:
  URLSessionTask(Kind kind, uint64_t identifier, std::optional<URLRequest> request,
                 const std::shared_ptr<URLSession>& session);
  // cancel(), and for a download cancelled for resuming, the handler of its resume data.
  void cancelTask(std::function<void(std::optional<std::string>)> resumeDataHandler);

 private:
  friend class URLSession;

  const Kind m_kind;
  const uint64_t m_identifier;
  const std::optional<URLRequest> m_originalRequest;
  std::weak_ptr<URLSession> m_session;

  mutable std::mutex m_mutex;
  std::condition_variable m_challengeAnswered;  // wakes a handshake waiting for its delegate
  std::optional<URLRequest> m_currentRequest;
  std::shared_ptr<const HTTPURLResponse> m_response;
  URLSessionTaskState m_state = URLSessionTaskState::Suspended;
  std::optional<core::Error> m_error;
  std::string m_description;
  bool m_cancelRequested = false;

  std::atomic<int64_t> m_bytesReceived{0};
  std::atomic<int64_t> m_bytesSent{0};
  std::atomic<int64_t> m_bytesExpectedToReceive{0};
  std::atomic<int64_t> m_bytesExpectedToSend{0};
  std::atomic<float> m_priority{URLSessionTaskPriorityDefault};

  // Used only on the session's thread.
  std::unique_ptr<Transfer> m_transfer;
};

class URLSessionDataTask : public URLSessionTask {
 public:
  using Completion = std::function<void(std::optional<std::string> data, std::shared_ptr<const HTTPURLResponse>,
                                        std::optional<core::Error>)>;

  URLSessionDataTask(uint64_t identifier, std::optional<URLRequest> request, const std::shared_ptr<URLSession>& session,
                     Kind kind = Kind::Data)
      : URLSessionTask(kind, identifier, std::move(request), session) {}
};

class URLSessionUploadTask : public URLSessionDataTask {
 public:
  URLSessionUploadTask(uint64_t identifier, std::optional<URLRequest> request,
                       const std::shared_ptr<URLSession>& session)
      : URLSessionDataTask(identifier, std::move(request), session, Kind::Upload) {}
};

class URLSessionDownloadTask : public URLSessionTask {
 public:
  using Completion = std::function<void(std::optional<URL> location, std::shared_ptr<const HTTPURLResponse>,
                                        std::optional<core::Error>)>;
  using ResumeDataHandler = std::function<void(std::optional<std::string> resumeData)>;

  URLSessionDownloadTask(uint64_t identifier, std::optional<URLRequest> request,
                         const std::shared_ptr<URLSession>& session)
      : URLSessionTask(Kind::Download, identifier, std::move(request), session) {}

  // Cancels the download (it completes with the cancelled error) and hands the handler, on the
  // delegate queue, the resume data that URLSession::downloadTaskWithResumeData continues it
  // from; the partial file is kept for that. Nothing when the download cannot be continued: no
  // reply yet, a reply other than 200 or 206, without ETag or Last-Modified, or content-encoded,
  // or a task that has already completed.
  void cancelByProducingResumeData(ResumeDataHandler handler) { cancelTask(std::move(handler)); }
};

}  // namespace net
