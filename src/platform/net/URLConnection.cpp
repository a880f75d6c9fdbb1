#include "platform/net/URLConnection.h"

#include "platform/core/FdSource.h"
#include "platform/core/RunLoop.h"
#include "platform/net/HTTPURLResponse.h"
#include "platform/net/URLError.h"
#include "platform/net/URLSession.h"

#include <openssl/evp.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <deque>
#include <functional>
#include <mutex>

namespace net {

namespace {

std::string lowercase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

}  // namespace

// Repeated WWW-Authenticate fields arrive joined with ", ".
std::optional<std::string> URLConnection::basicChallengeRealm(const HTTPURLResponse& response) {
  if (response.statusCode() != 401) return std::nullopt;
  std::optional<std::string> field = response.valueForHTTPHeaderField("WWW-Authenticate");
  if (!field) return std::nullopt;
  const std::string lower = lowercase(*field);
  size_t at = std::string::npos;
  for (size_t i = lower.find("basic"); i != std::string::npos; i = lower.find("basic", i + 1)) {
    const bool starts = i == 0 || lower[i - 1] == ' ' || lower[i - 1] == ',';
    const bool ends = i + 5 == lower.size() || lower[i + 5] == ' ' || lower[i + 5] == ',';
    if (starts && ends) {
      at = i;
      break;
    }
  }
  if (at == std::string::npos) return std::nullopt;
  const size_t realm = lower.find("realm=\"", at);
  if (realm == std::string::npos) return std::string();
  const size_t begin = realm + 7;
  const size_t end = field->find('"', begin);
  return field->substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

namespace {

std::string basicAuthorization(const std::string& user, const std::string& password) {
  const std::string pair = user + ":" + password;
  std::string out(4 * ((pair.size() + 2) / 3) + 1, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                reinterpret_cast<const unsigned char*>(pair.data()), static_cast<int>(pair.size()));
  out.resize(static_cast<size_t>(std::max(n, 0)));
  return "Basic " + out;
}

}  // namespace

struct URLConnection::Inbox {
  using Event = std::function<void(URLConnection&)>;

  Inbox() : fd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
  ~Inbox() {
    if (fd >= 0) ::close(fd);
  }

  void post(Event event) {
    {
      std::lock_guard lock(mutex);
      events.push_back(std::move(event));
    }
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(fd, &one, sizeof one);
  }
  // Clears the signal; the events posted before it are then taken one by one.
  void acknowledge() {
    uint64_t count = 0;
    [[maybe_unused]] ssize_t n = ::read(fd, &count, sizeof count);
  }
  Event take() {
    std::lock_guard lock(mutex);
    if (events.empty()) return {};
    Event event = std::move(events.front());
    events.pop_front();
    return event;
  }

  const int fd;
  std::mutex mutex;
  std::deque<Event> events;
};

// Runs on the session's delegate queue and only posts: every event is handled on the
// connection's own thread, where the task identifier tells a superseded task's events apart.
class URLConnection::Bridge : public URLSessionDelegate {
 public:
  explicit Bridge(std::shared_ptr<Inbox> inbox) : m_inbox(std::move(inbox)) {}

  void didReceiveResponse(const std::shared_ptr<URLSession>& /*session*/,
                          const std::shared_ptr<URLSessionDataTask>& task,
                          const std::shared_ptr<const HTTPURLResponse>& response, ResponseHandler handler) override {
    const uint64_t id = task->taskIdentifier();
    if (URLConnection::basicChallengeRealm(*response)) {
      // The transfer waits for the answer to the challenge.
      m_inbox->post([id, response, handler](URLConnection& c) { c.challenge(id, response, handler); });
      return;
    }
    m_inbox->post([id, response](URLConnection& c) { c.respond(id, response); });
    handler(ResponseDisposition::Allow);
  }

  void didReceiveData(const std::shared_ptr<URLSession>& /*session*/, const std::shared_ptr<URLSessionDataTask>& task,
                      const std::string& data) override {
    const uint64_t id = task->taskIdentifier();
    m_inbox->post([id, data](URLConnection& c) { c.receive(id, data); });
  }

  void didCompleteWithError(const std::shared_ptr<URLSession>& /*session*/,
                            const std::shared_ptr<URLSessionTask>& task,
                            const std::optional<core::Error>& error) override {
    const uint64_t id = task->taskIdentifier();
    m_inbox->post([id, error](URLConnection& c) { c.complete(id, error); });
  }

 private:
  std::shared_ptr<Inbox> m_inbox;
};

std::shared_ptr<URLConnection> URLConnection::connectionWithRequest(const URLRequest& request,
                                                                    std::shared_ptr<URLConnectionDelegate> delegate) {
  auto connection = std::make_shared<URLConnection>(Key{}, request, std::move(delegate));
  connection->start();
  return connection;
}

URLConnection::URLConnection(Key, const URLRequest& request, std::shared_ptr<URLConnectionDelegate> delegate)
    : m_request(request), m_delegate(std::move(delegate)), m_inbox(std::make_shared<Inbox>()) {}

URLConnection::~URLConnection() {
  if (m_session) m_session->invalidateAndCancel();
  if (m_source) m_source->invalidate();
}

void URLConnection::start() {
  // The source holds the connection until end() takes it off the loop.
  auto self = shared_from_this();
  m_source = core::FdSource::create(m_inbox->fd, core::FdSource::Readable, [self](unsigned) { self->drain(); });
  core::RunLoop::current().addSource(m_source, core::RunLoop::DefaultMode);

  const std::optional<URL>& url = m_request.url();
  if (!url || (url->scheme() != "http" && url->scheme() != "https")) {
    const core::Error error =
        URLError::make(url ? URLError::UnsupportedURL : URLError::BadURL, url ? url->absoluteString() : "");
    m_inbox->post([error](URLConnection& c) { c.fail(error); });
    return;
  }
  m_session = URLSession::create(URLSessionConfiguration::ephemeralSessionConfiguration(),
                                 std::make_shared<Bridge>(m_inbox));
  startTask(m_request);
}

void URLConnection::startTask(const URLRequest& request) {
  std::shared_ptr<URLSessionDataTask> task = m_session ? m_session->dataTaskWithRequest(request) : nullptr;
  if (!task) {
    const core::Error error = URLError::make(URLError::Unknown, m_request.url()->absoluteString());
    m_inbox->post([error](URLConnection& c) { c.fail(error); });
    return;
  }
  m_task = task->taskIdentifier();
  task->resume();
}

void URLConnection::drain() {
  auto self = shared_from_this();
  m_inbox->acknowledge();
  while (!m_ended) {
    Inbox::Event event = m_inbox->take();
    if (!event) break;
    event(*this);
  }
}

void URLConnection::challenge(uint64_t task, const std::shared_ptr<const HTTPURLResponse>& response,
                              ResponseHandler answer) {
  if (m_ended || task != m_task) {
    answer(ResponseDisposition::Cancel);
    return;
  }
  const URL& url = *m_request.url();
  AuthenticationChallenge challenge;
  challenge.protectionSpace.host = url.host().value_or("");
  challenge.protectionSpace.port = url.port().value_or(url.scheme() == "https" ? 443 : 80);
  challenge.protectionSpace.protocol = url.scheme();
  challenge.protectionSpace.authenticationMethod = ProtectionSpace::AuthenticationMethodHTTPBasic;
  challenge.protectionSpace.realm = URLConnection::basicChallengeRealm(*response).value_or("");
  challenge.previousFailureCount = m_failures;

  auto answered = std::make_shared<bool>(false);
  std::weak_ptr<URLConnection> weak = weak_from_this();
  ChallengeHandler handler = [weak, task, response, answer, answered](AuthChallengeDisposition disposition,
                                                                      std::shared_ptr<URLCredential> credential) {
    if (*answered) return;
    *answered = true;
    auto self = weak.lock();
    if (!self || self->m_ended || task != self->m_task) {
      answer(ResponseDisposition::Cancel);
      return;
    }
    switch (disposition) {
      case AuthChallengeDisposition::UseCredential: {
        answer(ResponseDisposition::Cancel);
        ++self->m_failures;
        URLRequest again = self->m_request;
        again.setValue(basicAuthorization(credential ? credential->user : "", credential ? credential->password : ""),
                       "Authorization");
        self->startTask(again);
        break;
      }
      case AuthChallengeDisposition::CancelAuthenticationChallenge:
        answer(ResponseDisposition::Cancel);
        self->fail(URLError::make(URLError::UserCancelledAuthentication, self->m_request.url()->absoluteString()));
        break;
      default:
        answer(ResponseDisposition::Allow);
        self->respond(task, response);
        break;
    }
  };
  auto delegate = m_delegate;
  if (delegate) {
    delegate->connectionDidReceiveAuthenticationChallenge(*this, challenge, handler);
  } else {
    handler(AuthChallengeDisposition::PerformDefaultHandling, nullptr);
  }
}

void URLConnection::respond(uint64_t task, const std::shared_ptr<const HTTPURLResponse>& response) {
  if (m_ended || task != m_task) return;
  if (auto delegate = m_delegate) delegate->connectionDidReceiveResponse(*this, response);
}

void URLConnection::receive(uint64_t task, const std::string& data) {
  if (m_ended || task != m_task) return;
  if (auto delegate = m_delegate) delegate->connectionDidReceiveData(*this, data);
}

void URLConnection::complete(uint64_t task, const std::optional<core::Error>& error) {
  if (m_ended || task != m_task) return;
  if (error) {
    fail(*error);
    return;
  }
  auto delegate = m_delegate;
  end();
  if (delegate) delegate->connectionDidFinishLoading(*this);
}

void URLConnection::fail(const core::Error& error) {
  if (m_ended) return;
  auto delegate = m_delegate;
  end();
  if (delegate) delegate->connectionDidFailWithError(*this, error);
}

void URLConnection::cancel() {
  if (!m_ended) end();
}

void URLConnection::end() {
  m_ended = true;
  if (m_source) m_source->invalidate();
  if (m_session) m_session->invalidateAndCancel();
  m_session.reset();
  m_delegate.reset();
}

}  // namespace net
