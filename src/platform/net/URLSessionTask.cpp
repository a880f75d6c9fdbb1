#include "platform/net/URLSessionTask.h"

#include "platform/net/URLSession.h"
#include "platform/net/URLSessionTransfer.h"

namespace net {

URLSessionTask::URLSessionTask(Kind kind, uint64_t identifier, std::optional<URLRequest> request,
                               const std::shared_ptr<URLSession>& session)
    : m_kind(kind), m_identifier(identifier), m_originalRequest(request), m_session(session),
      m_currentRequest(std::move(request)) {}

URLSessionTask::~URLSessionTask() = default;

std::optional<URLRequest> URLSessionTask::currentRequest() const {
  std::lock_guard lock(m_mutex);
  return m_currentRequest;
}

std::shared_ptr<const HTTPURLResponse> URLSessionTask::response() const {
  std::lock_guard lock(m_mutex);
  return m_response;
}

URLSessionTaskState URLSessionTask::state() const {
  std::lock_guard lock(m_mutex);
  return m_state;
}

std::optional<core::Error> URLSessionTask::error() const {
  std::lock_guard lock(m_mutex);
  return m_error;
}

std::string URLSessionTask::taskDescription() const {
  std::lock_guard lock(m_mutex);
  return m_description;
}

void URLSessionTask::setTaskDescription(const std::string& description) {
  std::lock_guard lock(m_mutex);
  m_description = description;
}

void URLSessionTask::resume() {
  {
    std::lock_guard lock(m_mutex);
    if (m_state != URLSessionTaskState::Suspended) return;
    m_state = URLSessionTaskState::Running;
  }
  if (auto session = m_session.lock()) session->taskResumed(shared_from_this());
}

void URLSessionTask::suspend() {
  {
    std::lock_guard lock(m_mutex);
    if (m_state != URLSessionTaskState::Running) return;
    m_state = URLSessionTaskState::Suspended;
  }
  if (auto session = m_session.lock()) session->taskSuspended(shared_from_this());
}

void URLSessionTask::cancel() { cancelTask(nullptr); }

void URLSessionTask::cancelTask(std::function<void(std::optional<std::string>)> resumeDataHandler) {
  bool cancelling;
  {
    std::lock_guard lock(m_mutex);
    cancelling = m_state == URLSessionTaskState::Running || m_state == URLSessionTaskState::Suspended;
    if (cancelling) {
      m_state = URLSessionTaskState::Canceling;
      m_cancelRequested = true;
    }
  }
  auto session = m_session.lock();
  if (!cancelling) {
    if (resumeDataHandler && session) session->post([resumeDataHandler] { resumeDataHandler(std::nullopt); });
    return;
  }
  // A handshake waiting for the delegate's answer gives up.
  m_challengeAnswered.notify_all();
  if (session) session->taskCancelled(shared_from_this(), std::move(resumeDataHandler));
}

}  // namespace net
