#include "platform/net/URLSessionTransfer.h"

#include "platform/core/CallbackGuard.h"
#include "platform/core/Clock.h"
#include "platform/net/HTTPHeaderParser.h"
#include "platform/net/HostMap.h"
#include "platform/net/URLError.h"
#include "platform/net/URLSessionInternal.h"

#include <fcntl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace net {

namespace {

using Transfer = URLSessionTask::Transfer;

constexpr int kMaxRedirects = 16;

std::string uppercase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

bool isRedirectStatus(long status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

long toMilliseconds(double seconds) {
  if (seconds <= 0) return 0;
  double ms = seconds * 1000.0;
  return ms > 2e9 ? 2000000000L : std::max(1L, static_cast<long>(ms));
}

// Runs the body of a libcurl or OpenSSL callback of `transfer`. An exception is stopped here:
// the transfer is marked as failed and `failed` goes back to the library, which then ends it.
template <typename Result, typename Body>
Result guarded(Transfer* transfer, const char* where, Result failed, Body&& body) {
  return core::guardCallback(where, std::forward<Body>(body), [transfer, failed] {
    transfer->callbackFailed = true;
    return failed;
  });
}

// libcurl callbacks: each gets the transfer as its user data.
size_t headerCallback(char* buffer, size_t size, size_t count, void* userdata) {
  auto* transfer = static_cast<Transfer*>(userdata);
  return guarded<size_t>(transfer, __func__, 0, [&]() -> size_t {
    return transfer->onHeaderLine(std::string_view(buffer, size * count)) ? size * count : 0;
  });
}

size_t writeCallback(char* buffer, size_t size, size_t count, void* userdata) {
  auto* transfer = static_cast<Transfer*>(userdata);
  return guarded<size_t>(transfer, __func__, 0, [&] { return transfer->onWrite(buffer, size * count); });
}

size_t readCallback(char* buffer, size_t size, size_t count, void* userdata) {
  auto* transfer = static_cast<Transfer*>(userdata);
  return guarded<size_t>(transfer, __func__, CURL_READFUNC_ABORT,
                         [&] { return transfer->onRead(buffer, size * count); });
}

int seekCallback(void* userdata, curl_off_t offset, int origin) {
  if (origin != SEEK_SET) return CURL_SEEKFUNC_CANTSEEK;
  auto* transfer = static_cast<Transfer*>(userdata);
  return guarded<int>(transfer, __func__, CURL_SEEKFUNC_FAIL, [&] { return transfer->onSeek(offset); });
}

int progressCallback(void* userdata, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t uploaded) {
  auto* transfer = static_cast<Transfer*>(userdata);
  // Non-zero aborts the transfer.
  return guarded<int>(transfer, __func__, 1, [&] {
    transfer->onProgress(downloaded, uploaded);
    return 0;
  });
}

int verifyCallback(X509_STORE_CTX* store, void* arg) {
  auto* transfer = static_cast<Transfer*>(arg);
  return guarded<int>(transfer, __func__, 0, [&] { return transfer->verifyPeer(store); });
}

CURLcode sslContextCallback(CURL*, void* context, void* userdata) {
  auto* transfer = static_cast<Transfer*>(userdata);
  return guarded<CURLcode>(transfer, __func__, CURLE_ABORTED_BY_CALLBACK, [&] {
    auto* ctx = static_cast<SSL_CTX*>(context);
    // The chain is judged by verifyPeer (through the delegate); a refusal there must end the
    // handshake, which OpenSSL does only in peer-verifying mode.
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_default_verify_paths(ctx);
    SSL_CTX_set_cert_verify_callback(ctx, verifyCallback, userdata);
    return CURLE_OK;
  });
}

std::string derBytes(X509* cert) {
  int length = i2d_X509(cert, nullptr);
  if (length <= 0) return {};
  std::string out(static_cast<size_t>(length), '\0');
  auto* p = reinterpret_cast<unsigned char*>(out.data());
  i2d_X509(cert, &p);
  return out;
}

}  // namespace

Transfer::~Transfer() {
  releaseEasy();
  if (bodyFile) std::fclose(bodyFile);
  if (downloadFile) std::fclose(downloadFile);
  if (!downloadPath.empty()) ::unlink(downloadPath.c_str());
}

std::string Transfer::urlText() const {
  auto request = task->currentRequest();
  return request && request->url() ? request->url()->absoluteString() : std::string();
}

void Transfer::releaseEasy() {
  if (easy) {
    if (inMulti) curl_multi_remove_handle(session->m_multi, easy);
    curl_easy_cleanup(easy);
  }
  easy = nullptr;
  inMulti = false;
  if (headerList) curl_slist_free_all(headerList);
  headerList = nullptr;
  if (connectTo) curl_slist_free_all(connectTo);
  connectTo = nullptr;
}

void Transfer::start() {
  started = true;
  if (resumeRefused) {
    finish(URLError::make(URLError::CannotOpenFile, urlText()));
    return;
  }
  auto request = task->currentRequest();
  if (!request || !request->url() || (request->url()->scheme() != "http" && request->url()->scheme() != "https")) {
    finish(URLError::make(URLError::UnsupportedURL, urlText()));
    return;
  }
  if (task->kind() == Kind::Download && resume && !openPartialFile()) {
    finish(URLError::make(URLError::CannotOpenFile, urlText()));
    return;
  }
  if (task->kind() == Kind::Download && !resume && !openDownloadFile()) {
    finish(URLError::make(URLError::CannotCreateFile, urlText()));
    return;
  }
  if (consultCache()) return;
  if (!session->acquireSlot(*this)) return;  // configured when a slot frees
  if (!configure()) return;
}

bool Transfer::openDownloadFile() {
  std::string path = DownloadResumeData::downloadDirectory() + "/" + DownloadResumeData::FilePrefix + "XXXXXX";
  int fd = ::mkstemp(path.data());
  if (fd < 0) return false;
  downloadFile = ::fdopen(fd, "wb");
  if (!downloadFile) {
    ::close(fd);
    ::unlink(path.c_str());
    return false;
  }
  downloadPath = path;
  return true;
}

// The partial file of resume data, cut to the bytes it is said to hold; the rest is appended.
bool Transfer::openPartialFile() {
  int fd = ::open(resume->filePath.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < resume->bytesReceived ||
      ::ftruncate(fd, resume->bytesReceived) != 0 || ::lseek(fd, 0, SEEK_END) < 0) {
    ::close(fd);
    return false;
  }
  downloadFile = ::fdopen(fd, "r+b");
  if (!downloadFile) {
    ::close(fd);
    return false;
  }
  std::fseek(downloadFile, 0, SEEK_END);
  downloadPath = resume->filePath;
  return true;
}

// (Re)configures the handle for the task's current request and adds it to the multi handle.
bool Transfer::configure() {
  URLRequest request = *task->currentRequest();
  const URL& url = *request.url();
  const URLSessionConfiguration& config = session->m_configuration;
  if (easy && inMulti) curl_multi_remove_handle(session->m_multi, easy);
  inMulti = false;
  if (!easy) {
    easy = curl_easy_init();
  } else {
    curl_easy_reset(easy);
  }
  if (headerList) curl_slist_free_all(headerList);
  headerList = nullptr;
  if (connectTo) curl_slist_free_all(connectTo);
  connectTo = nullptr;
  if (!easy) {
    finish(URLError::make(URLError::Unknown, url.absoluteString()));
    return false;
  }

  hopVersion.clear();
  hopHeaders.clear();
  redirectPending = false;
  redirectBody.clear();
  hopResponse.reset();
  lastUploaded = 0;
  lastDownloaded = 0;
  bodyOffset = 0;

  curl_easy_setopt(easy, CURLOPT_URL, url.absoluteString().c_str());
  curl_easy_setopt(easy, CURLOPT_PRIVATE, this);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
  // gzip and deflate, as the platform offered: a server answering brotli at its highest quality
  // (cpp-httplib does) spends milliseconds on every small reply. Any encoding is still decoded.
  // A range continues the bytes as sent, so a resumed download asks for them unencoded.
  if (!resume || resumeSettled) curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
  curl_easy_setopt(easy, CURLOPT_TCP_KEEPALIVE, 1L);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, headerCallback);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, writeCallback);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, progressCallback);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);

  idleTimeout = request.hasExplicitTimeout() ? request.timeoutInterval() : config.timeoutIntervalForRequest();
  if (idleTimeout > 0) {
    idleLimit = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(idleTimeout));
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, toMilliseconds(idleTimeout));
  }
  if (config.timeoutIntervalForResource() > 0)
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, toMilliseconds(config.timeoutIntervalForResource()));

  for (const std::string& entry : HostMap::connectToEntries()) connectTo = curl_slist_append(connectTo, entry.c_str());
  if (connectTo) curl_easy_setopt(easy, CURLOPT_CONNECT_TO, connectTo);

  if (url.scheme() == "https") {
    // Verification is ours (verifyPeer), so that the delegate can judge the chain.
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, sslContextCallback);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, this);
  }

  // The body.
  std::string method = uppercase(request.HTTPMethod());
  if (bodyFile) std::fclose(bodyFile);
  bodyFile = nullptr;
  hasBody = false;
  bodyLength = -1;
  if (method != "GET" && method != "HEAD") {
    switch (bodySource) {
      case BodySource::Request:
        bodyStream.reset();
        if (request.HTTPBody()) {
          bodyData = *request.HTTPBody();
          hasBody = true;
          bodyLength = static_cast<int64_t>(bodyData.size());
        } else if (request.HTTPBodyStream()) {
          bodyStream = request.HTTPBodyStream();
          hasBody = true;
        }
        break;
      case BodySource::Data:
        hasBody = true;
        bodyLength = static_cast<int64_t>(bodyData.size());
        break;
      case BodySource::File: {
        bodyFile = std::fopen(bodyFilePath.c_str(), "rb");
        struct stat st {};
        if (!bodyFile || ::fstat(::fileno(bodyFile), &st) != 0) {
          finish(URLError::make(URLError::CannotOpenFile, url.absoluteString()));
          return false;
        }
        hasBody = true;
        bodyLength = static_cast<int64_t>(st.st_size);
        break;
      }
      case BodySource::Stream:
        if (!bodyStream) {
          // A streamed upload with no stream to read: nothing to send.
          bodyStreamFailed = true;
          finish(URLError::make(URLError::RequestBodyStreamExhausted, url.absoluteString()));
          return false;
        }
        hasBody = true;
        break;
    }
    if (hasBody && bodyStream && bodyLength < 0) {
      if (auto length = request.valueForHTTPHeaderField("Content-Length")) {
        char* end = nullptr;
        long long n = std::strtoll(length->c_str(), &end, 10);
        if (end && *end == '\0' && n >= 0) bodyLength = n;
      }
      if (!bodyStream->open()) {
        bodyStreamFailed = true;
        finish(URLError::make(URLError::RequestBodyStreamExhausted, url.absoluteString()));
        return false;
      }
    }
  }
  if (method == "HEAD") {
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
  } else if (hasBody) {
    curl_easy_setopt(easy, CURLOPT_POST, 1L);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(bodyLength));
    curl_easy_setopt(easy, CURLOPT_READFUNCTION, readCallback);
    curl_easy_setopt(easy, CURLOPT_READDATA, this);
    curl_easy_setopt(easy, CURLOPT_SEEKFUNCTION, seekCallback);
    curl_easy_setopt(easy, CURLOPT_SEEKDATA, this);
    if (method != "POST") curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method.c_str());
  } else if (method == "POST") {
    curl_easy_setopt(easy, CURLOPT_POST, 1L);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(0));
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, "");
  } else if (method != "GET") {
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method.c_str());
  } else {
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
  }
  task->m_bytesExpectedToSend = hasBody ? std::max<int64_t>(bodyLength, URLSessionTransferSizeUnknown) : 0;

  // The header: the session's fields unless the request sets them, then the request's own.
  HeaderFields fields;
  for (const auto& [name, value] : config.HTTPAdditionalHeaders()) {
    if (!request.valueForHTTPHeaderField(name)) fields.emplace_back(name, value);
  }
  for (const auto& field : request.allHTTPHeaderFields()) fields.push_back(field);
  bool hasExpect = false;
  for (const auto& [name, value] : fields) {
    if (headerNamesEqual(name, "Content-Length")) continue;  // libcurl states the length it sends
    if (headerNamesEqual(name, "Expect")) hasExpect = true;
    // "Name;" sends a field with an empty value; "Name:" would remove it.
    std::string line = value.empty() ? name + ";" : name + ": " + value;
    headerList = curl_slist_append(headerList, line.c_str());
  }
  if (!hasExpect) headerList = curl_slist_append(headerList, "Expect:");
  if (revalidated) {
    // Asks whether the cached reply still holds; a 304 serves it (serveNotModified).
    const auto& cachedResponse = *revalidated->response();
    if (auto etag = cachedResponse.valueForHTTPHeaderField("ETag")) {
      headerList = curl_slist_append(headerList, ("If-None-Match: " + *etag).c_str());
    }
    if (auto modified = cachedResponse.valueForHTTPHeaderField("Last-Modified")) {
      headerList = curl_slist_append(headerList, ("If-Modified-Since: " + *modified).c_str());
    }
  }
  if (resume && !resumeSettled) {
    // The rest of the reply, only if it is still the same one; otherwise the whole of it.
    headerList = curl_slist_append(headerList, ("Range: bytes=" + std::to_string(resume->bytesReceived) + "-").c_str());
    const std::string& validator = resume->entityTag ? *resume->entityTag : *resume->lastModified;
    headerList = curl_slist_append(headerList, ("If-Range: " + validator).c_str());
  }
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headerList);

  curl_multi_add_handle(session->m_multi, easy);
  inMulti = true;
  touch();
  if (userPaused) curl_easy_pause(easy, CURLPAUSE_ALL);
  return true;
}

bool Transfer::onHeaderLine(std::string_view line) {
  touch();
  if (HTTPHeaderParser::readLine(line, hopVersion, hopHeaders) != HTTPHeaderParser::Line::End) return true;
  long status = 0;
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
  if (status >= 200 || status == 0) onHeadersComplete();
  return !resumeMismatch && !writeFailed;
}

void Transfer::onHeadersComplete() {
  long status = 0;
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
  auto request = task->currentRequest();
  auto response = std::make_shared<const HTTPURLResponse>(*request->url(), static_cast<int>(status), hopVersion,
                                                          hopHeaders);
  hopResponse = response;
  if (revalidated && status == 304) {
    notModified = true;  // answered from the cache once the (empty) body has been read
    return;
  }
  if (isRedirectStatus(status) && response->valueForHTTPHeaderField("Location")) {
    // The delegate is asked once the redirect reply is complete; its body is kept in case the
    // redirect is not followed.
    redirectPending = true;
    return;
  }
  deliverResponse(response);
}

void Transfer::deliverResponse(const std::shared_ptr<const HTTPURLResponse>& response) {
  {
    std::lock_guard lock(task->m_mutex);
    task->m_response = response;
  }
  task->m_bytesExpectedToReceive = response->expectedContentLength();
  if (task->kind() == Kind::Download) {
    if (resume && !resumeSettled) continueDownload(*response);
    return;
  }
  if (hasCompletionHandler()) return;
  auto delegate = session->delegate();
  if (!delegate || !delegate->respondsToEvent(URLSessionDelegate::OptionalEvent::DidReceiveResponse)) return;

  awaitingDisposition = true;
  auto self = session->shared_from_this();
  auto dataTask = std::static_pointer_cast<URLSessionDataTask>(taskPtr());
  std::weak_ptr<URLSessionTask> weakTask = dataTask;
  std::weak_ptr<URLSession> weakSession = self;
  auto answer = [weakSession, weakTask](ResponseDisposition disposition) {
    auto session = weakSession.lock();
    if (!session) return;
    session->enqueue([weakTask, disposition] {
      auto task = weakTask.lock();
      if (!task) return;
      // The task may have turned into a download meanwhile: the transfer follows it.
      if (task->m_transfer && !task->m_transfer->completed) task->m_transfer->onDisposition(disposition);
    });
  };
  ResponseHandler handler =
      detail::replyOnce<ResponseDisposition>(answer, [answer] { answer(ResponseDisposition::Allow); });
  session->post([delegate, self, dataTask, response, handler] {
    delegate->didReceiveResponse(self, dataTask, response, handler);
  });
}

size_t Transfer::onWrite(const char* data, size_t length) {
  touch();
  if (redirectPending) {
    redirectBody.append(data, length);
    return length;
  }
  if (notModified) return length;
  if (awaitingDisposition) {
    // Held by libcurl and handed over again once the delegate has answered.
    return CURL_WRITEFUNC_PAUSE;
  }
  return handleBody(data, length) ? length : 0;
}

bool Transfer::handleBody(const char* data, size_t length) {
  if (length == 0) return true;
  int64_t total = task->m_bytesReceived += static_cast<int64_t>(length);
  auto self = session->shared_from_this();
  auto delegate = session->delegate();
  if (task->kind() == Kind::Download) {
    if (!downloadFile || std::fwrite(data, 1, length, downloadFile) != length) {
      writeFailed = true;
      return false;
    }
    if (delegate && !hasCompletionHandler()) {
      auto downloadTask = std::static_pointer_cast<URLSessionDownloadTask>(taskPtr());
      int64_t expected = task->m_bytesExpectedToReceive;
      auto written = static_cast<int64_t>(length);
      session->post([delegate, self, downloadTask, written, total, expected] {
        delegate->didWriteData(self, downloadTask, written, total, expected);
      });
    }
    return true;
  }
  if (hasCompletionHandler()) {
    accumulated.append(data, length);
    return true;
  }
  if (cacheCandidate) {
    if (cacheBody.size() + length <= cacheLimit) {
      cacheBody.append(data, length);
    } else {
      cacheCandidate = false;  // too large for the cache
      std::string().swap(cacheBody);
    }
  }
  if (delegate) {
    auto dataTask = std::static_pointer_cast<URLSessionDataTask>(taskPtr());
    session->post([delegate, self, dataTask, bytes = std::string(data, length)] {
      delegate->didReceiveData(self, dataTask, bytes);
    });
  }
  return true;
}

size_t Transfer::onRead(char* buffer, size_t length) {
  touch();
  if (bodyFile) {
    size_t n = std::fread(buffer, 1, length, bodyFile);
    if (n == 0 && std::ferror(bodyFile)) return CURL_READFUNC_ABORT;
    return n;
  }
  if (bodyStream) {
    long n = bodyStream->read(reinterpret_cast<uint8_t*>(buffer), length);
    if (n < 0) {
      bodyStreamFailed = true;
      return CURL_READFUNC_ABORT;
    }
    if (n == 0) bodyStream->close();
    return static_cast<size_t>(n);
  }
  size_t n = std::min(length, bodyData.size() - std::min(bodyOffset, bodyData.size()));
  std::memcpy(buffer, bodyData.data() + bodyOffset, n);
  bodyOffset += n;
  return n;
}

int Transfer::onSeek(curl_off_t offset) {
  if (bodyFile) return std::fseek(bodyFile, static_cast<long>(offset), SEEK_SET) == 0 ? CURL_SEEKFUNC_OK : CURL_SEEKFUNC_FAIL;
  if (bodyStream) return CURL_SEEKFUNC_CANTSEEK;
  if (offset < 0 || static_cast<size_t>(offset) > bodyData.size()) return CURL_SEEKFUNC_FAIL;
  bodyOffset = static_cast<size_t>(offset);
  return CURL_SEEKFUNC_OK;
}

void Transfer::onProgress(curl_off_t downloaded, curl_off_t uploaded) {
  if (downloaded != lastDownloaded) {
    lastDownloaded = downloaded;
    touch();
  }
  if (uploaded != lastUploaded) {
    touch();
    reportUploadProgress(uploaded);
  }
}

void Transfer::reportUploadProgress(curl_off_t uploaded) {
  if (uploaded <= lastUploaded) return;
  int64_t sent = uploaded - lastUploaded;
  lastUploaded = uploaded;
  int64_t total = task->m_bytesSent += sent;
  auto delegate = session->delegate();
  if (!delegate) return;
  auto self = session->shared_from_this();
  auto tp = taskPtr();
  int64_t expected = task->m_bytesExpectedToSend;
  session->post([delegate, self, tp, sent, total, expected] { delegate->didSendBodyData(self, tp, sent, total, expected); });
}

// Called by OpenSSL on the session thread during the handshake of a new connection: evaluates
// the chain as the default handling would, then asks the delegate and waits for its answer.
int Transfer::verifyPeer(X509_STORE_CTX* store) {
  auto request = task->currentRequest();
  std::string host = request && request->url() && request->url()->host() ? *request->url()->host() : std::string();
  int port = request && request->url() && request->url()->port() ? *request->url()->port() : 443;

  X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(store);
  if (X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str()) != 1) X509_VERIFY_PARAM_set1_host(param, host.c_str(), 0);
  bool trusted = X509_verify_cert(store) == 1;

  auto trust = std::make_shared<ServerTrust>();
  trust->host = host;
  if (STACK_OF(X509)* chain = X509_STORE_CTX_get0_chain(store); trusted && chain) {
    for (int i = 0; i < sk_X509_num(chain); ++i) trust->certificates.push_back(derBytes(sk_X509_value(chain, i)));
  } else {
    X509* leaf = X509_STORE_CTX_get0_cert(store);
    if (leaf) trust->certificates.push_back(derBytes(leaf));
    if (STACK_OF(X509)* sent = X509_STORE_CTX_get0_untrusted(store)) {
      for (int i = 0; i < sk_X509_num(sent); ++i) {
        X509* cert = sk_X509_value(sent, i);
        if (leaf && X509_cmp(cert, leaf) == 0) continue;
        trust->certificates.push_back(derBytes(cert));
      }
    }
  }

  auto delegate = session->delegate();
  AuthChallengeDisposition disposition = AuthChallengeDisposition::PerformDefaultHandling;
  bool hasCredential = false;
  if (delegate) {
    {
      std::lock_guard lock(task->m_mutex);
      challengeAnswered = false;
    }
    auto self = session->shared_from_this();
    auto tp = taskPtr();
    AuthenticationChallenge challenge;
    challenge.protectionSpace.host = host;
    challenge.protectionSpace.port = port;
    challenge.protectionSpace.protocol = "https";
    challenge.protectionSpace.authenticationMethod = ProtectionSpace::AuthenticationMethodServerTrust;
    challenge.protectionSpace.serverTrust = trust;
    challenge.task = tp;
    std::weak_ptr<URLSessionTask> weakTask = tp;
    Transfer* transfer = this;
    auto answer = [weakTask, transfer](AuthChallengeDisposition d, std::shared_ptr<URLCredential> credential) {
      auto task = weakTask.lock();
      if (!task) return;
      {
        std::lock_guard lock(task->m_mutex);
        transfer->challengeAnswered = true;
        transfer->challengeDisposition = d;
        transfer->challengeHasCredential = credential != nullptr;
      }
      task->m_challengeAnswered.notify_all();
    };
    ChallengeHandler handler = detail::replyOnce<AuthChallengeDisposition, std::shared_ptr<URLCredential>>(
        answer, [answer] { answer(AuthChallengeDisposition::PerformDefaultHandling, nullptr); });
    session->post([delegate, self, challenge, handler] { delegate->didReceiveChallenge(self, challenge, handler); });

    std::unique_lock lock(task->m_mutex);
    task->m_challengeAnswered.wait(lock, [&] { return challengeAnswered || task->m_cancelRequested; });
    if (task->m_cancelRequested) {
      challengeCancelled = true;
      return 0;
    }
    disposition = challengeDisposition;
    hasCredential = challengeHasCredential;
  }
  touch();
  switch (disposition) {
    case AuthChallengeDisposition::UseCredential:
      if (hasCredential) return 1;
      break;
    case AuthChallengeDisposition::CancelAuthenticationChallenge:
      challengeCancelled = true;
      return 0;
    case AuthChallengeDisposition::PerformDefaultHandling:
    case AuthChallengeDisposition::RejectProtectionSpace:
      break;
  }
  if (!trusted) trustRejected = true;
  return trusted ? 1 : 0;
}

void Transfer::onDone(CURLcode code) {
  if (inMulti) curl_multi_remove_handle(session->m_multi, easy);
  inMulti = false;
  if (code == CURLE_OK && hasBody) {
    curl_off_t uploaded = 0;
    if (curl_easy_getinfo(easy, CURLINFO_SIZE_UPLOAD_T, &uploaded) == CURLE_OK) reportUploadProgress(uploaded);
  }
  if (code != CURLE_OK) {
    finish(errorFor(code));
    return;
  }
  if (redirectPending) {
    askRedirect();
    return;
  }
  if (notModified) {
    serveNotModified();
    return;
  }
  if (awaitingDisposition) {
    doneWhileAwaiting = code;
    return;
  }
  if (!task->response() && hopResponse) deliverResponse(hopResponse);
  if (awaitingDisposition) {
    doneWhileAwaiting = code;
    return;
  }
  finish(std::nullopt);
}

void Transfer::askRedirect() {
  auto response = hopResponse;
  auto current = *task->currentRequest();
  if (++redirects > kMaxRedirects) {
    finish(URLError::make(URLError::HTTPTooManyRedirects, urlText()));
    return;
  }
  std::string location = *response->valueForHTTPHeaderField("Location");
  auto target = URL::fromString(location, *current.url());
  if (!target) target = URL::fromString(escapeForURL(location), *current.url());
  if (!target || (target->scheme() != "http" && target->scheme() != "https")) {
    stopAtRedirect();
    return;
  }
  URLRequest proposed = current;
  proposed.setURL(*target);
  int status = response->statusCode();
  std::string method = uppercase(current.HTTPMethod());
  if ((status == 303 && method != "HEAD") || ((status == 301 || status == 302) && method == "POST")) {
    proposed.setHTTPMethod("GET");
    proposed.setHTTPBody(std::nullopt);
    proposed.setHTTPBodyStream(nullptr);
    proposed.setValue(std::nullopt, "Content-Type");
    proposed.setValue(std::nullopt, "Content-Length");
    if (bodySource != BodySource::Request) {
      bodySource = BodySource::Request;
      bodyData.clear();
      bodyStream.reset();
    }
  }
  auto delegate = session->delegate();
  if (!delegate || !delegate->respondsToEvent(URLSessionDelegate::OptionalEvent::WillPerformHTTPRedirection)) {
    followRedirect(std::move(proposed));
    return;
  }
  awaitingReply = true;
  auto self = session->shared_from_this();
  auto tp = taskPtr();
  std::weak_ptr<URLSessionTask> weakTask = tp;
  std::weak_ptr<URLSession> weakSession = self;
  auto answer = [weakSession, weakTask](std::optional<URLRequest> request) {
    auto session = weakSession.lock();
    if (!session) return;
    session->enqueue([weakTask, request = std::move(request)]() mutable {
      auto task = weakTask.lock();
      if (!task || !task->m_transfer || task->m_transfer->completed) return;
      Transfer& t = *task->m_transfer;
      t.awaitingReply = false;
      if (request && request->url()) {
        t.followRedirect(std::move(*request));
      } else {
        t.stopAtRedirect();
      }
    });
  };
  RedirectHandler handler = detail::replyOnce<std::optional<URLRequest>>(answer, [answer] { answer(std::nullopt); });
  session->post([delegate, self, tp, response, proposed, handler] {
    delegate->willPerformHTTPRedirection(self, tp, response, proposed, handler);
  });
}

void Transfer::followRedirect(URLRequest request) {
  {
    std::lock_guard lock(task->m_mutex);
    task->m_currentRequest = request;
  }
  // The conditional fields were about the first URL's cached reply.
  revalidated.reset();
  notModified = false;
  const URL& url = *request.url();
  if (url.scheme() != "http" && url.scheme() != "https") {
    finish(URLError::make(URLError::UnsupportedURL, url.absoluteString()));
    return;
  }
  std::string method = uppercase(request.HTTPMethod());
  bool streamed = method != "GET" && method != "HEAD" &&
                  (bodySource == BodySource::Stream || (bodySource == BodySource::Request && request.HTTPBodyStream()));
  auto delegate = session->delegate();
  if (!streamed || !delegate) {
    if (streamed) {
      const auto& original = task->originalRequest();
      bodySource = BodySource::Stream;
      bodyStream = original && original->HTTPBodyStream() ? original->HTTPBodyStream()->copy() : nullptr;
      if (!bodyStream) {
        bodyStreamFailed = true;
        finish(URLError::make(URLError::RequestBodyStreamExhausted, url.absoluteString()));
        return;
      }
    }
    configure();
    return;
  }
  // The body must be sent again: the stream read for the first hop is spent.
  awaitingReply = true;
  auto self = session->shared_from_this();
  auto tp = taskPtr();
  std::weak_ptr<URLSessionTask> weakTask = tp;
  std::weak_ptr<URLSession> weakSession = self;
  auto answer = [weakSession, weakTask](std::shared_ptr<InputStream> stream) {
    auto session = weakSession.lock();
    if (!session) return;
    session->enqueue([weakTask, stream] {
      auto task = weakTask.lock();
      if (!task || !task->m_transfer || task->m_transfer->completed) return;
      Transfer& t = *task->m_transfer;
      t.awaitingReply = false;
      if (!stream) {
        t.bodyStreamFailed = true;
        t.finish(URLError::make(URLError::RequestBodyStreamExhausted, t.urlText()));
        return;
      }
      t.bodySource = BodySource::Stream;
      t.bodyStream = stream;
      t.configure();
    });
  };
  BodyStreamHandler handler = detail::replyOnce<std::shared_ptr<InputStream>>(answer, [answer] { answer(nullptr); });
  session->post([delegate, self, tp, handler] { delegate->needNewBodyStream(self, tp, handler); });
}

// The redirect is not followed: its reply is the task's reply.
void Transfer::stopAtRedirect() {
  redirectPending = false;
  deliverResponse(hopResponse);
  if (writeFailed) {
    finish(errorFor(CURLE_WRITE_ERROR));
    return;
  }
  std::string body = std::move(redirectBody);
  redirectBody.clear();
  if (awaitingDisposition) {
    pendingBody = std::move(body);
    doneWhileAwaiting = CURLE_OK;
    return;
  }
  if (!handleBody(body.data(), body.size())) {
    finish(errorFor(CURLE_WRITE_ERROR));
    return;
  }
  finish(std::nullopt);
}

void Transfer::onDisposition(ResponseDisposition disposition) {
  if (!awaitingDisposition) return;
  awaitingDisposition = false;
  touch();
  if (disposition == ResponseDisposition::Cancel) {
    finish(URLError::make(URLError::Cancelled, urlText()));
    return;
  }
  Transfer* transfer = this;
  if (disposition == ResponseDisposition::BecomeDownload && !becomeDownload()) return;
  // `this` still owns the transfer (it moved to the download task with its state).
  std::string pending = std::move(transfer->pendingBody);
  transfer->pendingBody.clear();
  if (!pending.empty() && !transfer->handleBody(pending.data(), pending.size())) {
    transfer->finish(transfer->errorFor(CURLE_WRITE_ERROR));
    return;
  }
  if (transfer->doneWhileAwaiting) {
    CURLcode code = *transfer->doneWhileAwaiting;
    transfer->doneWhileAwaiting.reset();
    if (code == CURLE_OK) {
      transfer->finish(std::nullopt);
    } else {
      transfer->finish(transfer->errorFor(code));
    }
    return;
  }
  // Unpausing a transfer that is not paused is harmless; a suspended one stays held.
  if (transfer->inMulti && !transfer->userPaused) curl_easy_pause(transfer->easy, CURLPAUSE_CONT);
}

// The data task hands its transfer to a new download task, which goes on writing to a file.
bool Transfer::becomeDownload() {
  auto self = session->shared_from_this();
  auto dataTask = std::static_pointer_cast<URLSessionDataTask>(taskPtr());
  uint64_t identifier;
  {
    std::lock_guard lock(session->m_mutex);
    identifier = session->m_nextIdentifier++;
  }
  auto downloadTask = std::make_shared<URLSessionDownloadTask>(identifier, dataTask->originalRequest(), self);
  {
    std::scoped_lock lock(dataTask->m_mutex, downloadTask->m_mutex);
    downloadTask->m_currentRequest = dataTask->m_currentRequest;
    downloadTask->m_response = dataTask->m_response;
    downloadTask->m_state = dataTask->m_state == URLSessionTaskState::Suspended ? URLSessionTaskState::Suspended
                                                                                 : URLSessionTaskState::Running;
    downloadTask->m_description = dataTask->m_description;
    dataTask->m_state = URLSessionTaskState::Completed;
  }
  downloadTask->m_bytesReceived = dataTask->m_bytesReceived.load();
  downloadTask->m_bytesSent = dataTask->m_bytesSent.load();
  downloadTask->m_bytesExpectedToReceive = dataTask->m_bytesExpectedToReceive.load();
  downloadTask->m_bytesExpectedToSend = dataTask->m_bytesExpectedToSend.load();
  downloadTask->m_priority = dataTask->m_priority.load();
  downloadTask->m_transfer = std::move(dataTask->m_transfer);
  task = downloadTask.get();
  cacheCandidate = false;
  std::string().swap(cacheBody);
  {
    std::lock_guard lock(session->m_mutex);
    session->m_tasks.erase(dataTask->taskIdentifier());
    session->m_tasks[identifier] = downloadTask;
  }
  if (auto delegate = session->delegate()) {
    session->post([delegate, self, dataTask, downloadTask] {
      delegate->didBecomeDownloadTask(self, dataTask, downloadTask);
    });
  }
  if (!openDownloadFile()) {
    finish(URLError::make(URLError::CannotCreateFile, urlText()));
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Resumable downloads

// The final reply of a resumed download: a 206 must continue the partial file exactly (its
// range starts where the file ends, its validator is the one asked about); any other reply is
// the whole body, so the file starts over. The delegate hears where the file goes on from.
void Transfer::continueDownload(const HTTPURLResponse& response) {
  resumeSettled = true;
  int64_t offset = 0;
  if (response.statusCode() == 206) {
    offset = resume->bytesReceived;
    const std::string range = response.valueForHTTPHeaderField("Content-Range").value_or("");
    const std::string expectedStart = "bytes " + std::to_string(offset) + "-";
    auto tag = response.valueForHTTPHeaderField("ETag");
    if (range.compare(0, expectedStart.size(), expectedStart) != 0 || (tag && resume->entityTag && *tag != *resume->entityTag)) {
      resumeMismatch = true;
      return;
    }
  } else if (std::fflush(downloadFile) != 0 || ::ftruncate(::fileno(downloadFile), 0) != 0 ||
             std::fseek(downloadFile, 0, SEEK_SET) != 0) {
    writeFailed = true;
    return;
  }
  const int64_t length = response.expectedContentLength();
  const int64_t expected = length >= 0 ? offset + length : URLSessionTransferSizeUnknown;
  task->m_bytesReceived = offset;
  task->m_bytesExpectedToReceive = expected;
  auto delegate = session->delegate();
  if (!delegate || hasCompletionHandler()) return;
  auto self = session->shared_from_this();
  auto downloadTask = std::static_pointer_cast<URLSessionDownloadTask>(taskPtr());
  session->post([delegate, self, downloadTask, offset, expected] {
    delegate->didResumeAtOffset(self, downloadTask, offset, expected);
  });
}

// On cancelling for resuming: the resume data of the download so far, and the partial file is
// kept for it. Nothing when the reply cannot be continued later.
std::optional<std::string> Transfer::produceResumeData() {
  if (task->kind() != Kind::Download) return std::nullopt;
  if (resume && !resumeSettled) {
    // Cancelled again before the rest began to come: the partial file is as the data says.
    std::string blob = resume->encode();
    if (blob.empty()) return std::nullopt;
    downloadPath.clear();
    return blob;
  }
  if (!downloadFile || downloadPath.empty()) return std::nullopt;
  auto response = task->response();
  auto request = task->currentRequest();
  if (!response || !request || !request->url() || uppercase(request->HTTPMethod()) != "GET" ||
      request->valueForHTTPHeaderField("Range")) {
    return std::nullopt;
  }
  const int status = response->statusCode();
  auto encoding = response->valueForHTTPHeaderField("Content-Encoding");
  if ((status != 200 && status != 206) || (encoding && *encoding != "identity")) return std::nullopt;
  DownloadResumeData data;
  data.entityTag = response->valueForHTTPHeaderField("ETag");
  data.lastModified = response->valueForHTTPHeaderField("Last-Modified");
  if (status == 206 && resume && !data.entityTag && !data.lastModified) {
    // A part of the same reply: the validators it was asked for still hold.
    data.entityTag = resume->entityTag;
    data.lastModified = resume->lastModified;
  }
  if ((!data.entityTag && !data.lastModified) || std::fflush(downloadFile) != 0) return std::nullopt;
  data.url = request->url()->absoluteString();
  data.requestHeaders = request->allHTTPHeaderFields();
  data.filePath = downloadPath;
  data.bytesReceived = task->m_bytesReceived;
  std::string blob = data.encode();
  if (blob.empty()) return std::nullopt;
  downloadPath.clear();  // kept: finish() and the destructor remove only a path they hold
  return blob;
}

// ---------------------------------------------------------------------------------------------
// The URL cache

// Before the first request of a GET data task: applies the cache policy. True when the task has
// been answered from the cache (or has failed) without a request; otherwise the load goes on,
// with conditional fields when a stale entry is to be checked.
bool Transfer::consultCache() {
  using Policy = URLRequestCachePolicy;
  if (task->kind() != Kind::Data) return false;
  const URLSessionConfiguration& config = session->m_configuration;
  URLRequest request = *task->currentRequest();
  if (!config.URLCache() || !URLCache::keyForRequest(request)) return false;
  cache = config.URLCache();
  cacheCandidate = true;
  cacheLimit = static_cast<size_t>(std::max(cache->memoryCapacity(), cache->diskCapacity()) / 20);

  Policy policy = request.cachePolicy();
  if (policy == Policy::UseProtocolCachePolicy) policy = config.requestCachePolicy();
  if (policy == Policy::ReloadIgnoringLocalCacheData || policy == Policy::ReloadIgnoringLocalAndRemoteCacheData) {
    return false;
  }
  auto entry = cache->cachedResponseForRequest(request);
  // A caller sending its own conditional fields handles the 304 itself.
  const bool ownConditional =
      request.valueForHTTPHeaderField("If-None-Match") || request.valueForHTTPHeaderField("If-Modified-Since");
  switch (policy) {
    case Policy::ReturnCacheDataElseLoad:
      if (!entry) return false;
      serveFromCache(entry);
      return true;
    case Policy::ReturnCacheDataDontLoad:
      if (entry) {
        serveFromCache(entry);
      } else {
        finish(URLError::make(URLError::ResourceUnavailable, urlText()));
      }
      return true;
    case Policy::ReloadRevalidatingCacheData:
      if (entry && !ownConditional && URLCache::canRevalidate(*entry)) revalidated = entry;
      return false;
    default:
      if (!entry) return false;
      if (URLCache::isFresh(*entry, request, core::Clock::wallNow())) {
        serveFromCache(entry);
        return true;
      }
      if (!ownConditional && URLCache::canRevalidate(*entry)) revalidated = entry;
      return false;
  }
}

// The task's reply comes from the cache, through the same events as a loaded one.
void Transfer::serveFromCache(const std::shared_ptr<const CachedURLResponse>& entry) {
  cacheCandidate = false;
  deliverResponse(entry->response());
  if (awaitingDisposition) {
    pendingBody = entry->data();
    doneWhileAwaiting = CURLE_OK;
    return;
  }
  if (!handleBody(entry->data().data(), entry->data().size())) {
    finish(errorFor(CURLE_WRITE_ERROR));
    return;
  }
  finish(std::nullopt);
}

// The server confirmed the cached reply: its fields update the stored ones (all but those about
// the 304's own body) and the cached body is served.
void Transfer::serveNotModified() {
  notModified = false;
  auto entry = std::move(revalidated);
  revalidated.reset();
  const HTTPURLResponse& old = *entry->response();
  HeaderFields fields = old.allHeaderFields();
  for (const auto& [name, value] : hopHeaders) {
    if (headerNamesEqual(name, "Content-Length") || headerNamesEqual(name, "Content-Encoding") ||
        headerNamesEqual(name, "Transfer-Encoding") || headerNamesEqual(name, "Connection")) {
      continue;
    }
    auto same = std::find_if(fields.begin(), fields.end(), [&name = name](const auto& f) { return headerNamesEqual(f.first, name); });
    if (same != fields.end()) {
      same->second = value;
    } else {
      fields.emplace_back(name, value);
    }
  }
  auto response = std::make_shared<const HTTPURLResponse>(old.url(), old.statusCode(), old.HTTPVersion(), std::move(fields));
  auto updated = std::make_shared<const CachedURLResponse>(response, entry->data(), entry->storagePolicy());
  URLRequest request = *task->currentRequest();
  if (URLCache::mayStore(request, *response)) {
    cache->storeCachedResponse(*updated, request);
  } else {
    cache->removeCachedResponseForRequest(request);
  }
  serveFromCache(updated);
}

// A completed reply that the cache may keep: the delegate decides what is stored (tasks without
// a completion handler), else it is stored as it is.
void Transfer::offerToCache(const std::shared_ptr<const HTTPURLResponse>& response, const std::string& body) {
  URLRequest request = *task->currentRequest();
  if (!cache || !URLCache::mayStore(request, *response) || body.size() > cacheLimit) return;
  auto proposed = std::make_shared<const CachedURLResponse>(response, body, URLCacheStoragePolicy::Allowed);
  auto delegate = session->delegate();
  if (!delegate || hasCompletionHandler() ||
      !delegate->respondsToEvent(URLSessionDelegate::OptionalEvent::WillCacheResponse)) {
    cache->storeCachedResponse(*proposed, request);
    return;
  }
  auto target = cache;
  CachedResponseHandler handler = detail::replyOnce<std::shared_ptr<const CachedURLResponse>>(
      [target, request](std::shared_ptr<const CachedURLResponse> chosen) {
        if (chosen) target->storeCachedResponse(*chosen, request);
      },
      nullptr);
  auto self = session->shared_from_this();
  auto dataTask = std::static_pointer_cast<URLSessionDataTask>(taskPtr());
  session->post([delegate, self, dataTask, proposed, handler] {
    delegate->willCacheResponse(self, dataTask, proposed, handler);
  });
}

core::Error Transfer::errorFor(CURLcode code) const {
  std::string url = urlText();
  bool cancelRequested;
  {
    std::lock_guard lock(task->m_mutex);
    cancelRequested = task->m_cancelRequested;
  }
  if (cancelRequested || challengeCancelled) return URLError::make(URLError::Cancelled, url);
  if (callbackFailed) return URLError::make(URLError::Unknown, url);
  if (trustRejected) return URLError::make(URLError::ServerCertificateUntrusted, url);
  if (writeFailed) return URLError::make(URLError::CannotWriteToFile, url);
  if (resumeMismatch) return URLError::make(URLError::BadServerResponse, url);
  if (bodyStreamFailed) return URLError::make(URLError::RequestBodyStreamExhausted, url);
  switch (code) {
    case CURLE_UNSUPPORTED_PROTOCOL: return URLError::make(URLError::UnsupportedURL, url);
    case CURLE_URL_MALFORMAT: return URLError::make(URLError::BadURL, url);
    case CURLE_COULDNT_RESOLVE_HOST: return URLError::make(URLError::CannotFindHost, url);
    case CURLE_COULDNT_CONNECT: {
      long osError = 0;
      if (easy) curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osError);
      if (osError == ENETUNREACH || osError == ENETDOWN) return URLError::make(URLError::NotConnectedToInternet, url);
      return URLError::make(URLError::CannotConnectToHost, url);
    }
    case CURLE_OPERATION_TIMEDOUT: return URLError::make(URLError::TimedOut, url);
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE: return URLError::make(URLError::NetworkConnectionLost, url);
    case CURLE_BAD_CONTENT_ENCODING: return URLError::make(URLError::CannotDecodeContentData, url);
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_HTTP3: return URLError::make(URLError::BadServerResponse, url);
    case CURLE_SEND_FAIL_REWIND:
    case CURLE_READ_ERROR:
    case CURLE_ABORTED_BY_CALLBACK: return URLError::make(URLError::RequestBodyStreamExhausted, url);
    case CURLE_WRITE_ERROR: return URLError::make(URLError::CannotWriteToFile, url);
    case CURLE_PEER_FAILED_VERIFICATION: return URLError::make(URLError::ServerCertificateUntrusted, url);
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER: return URLError::make(URLError::SecureConnectionFailed, url);
    default: return URLError::make(URLError::Unknown, url);
  }
}

// Completes the task, once: releases the handle and reports, in order, the file (downloads),
// the completion handler and the delegate's completion event.
void Transfer::finish(std::optional<core::Error> error) {
  if (completed) return;
  completed = true;
  if (easy && inMulti) curl_multi_remove_handle(session->m_multi, easy);
  inMulti = false;
  releaseEasy();
  session->releaseSlot(*this);
  if (bodyFile) std::fclose(bodyFile);
  bodyFile = nullptr;
  if (bodyStream) bodyStream->close();
  if (downloadFile && std::fclose(downloadFile) != 0 && !error) error = URLError::make(URLError::CannotWriteToFile, urlText());
  downloadFile = nullptr;

  std::shared_ptr<URLSessionTask> tp = taskPtr();
  std::shared_ptr<const HTTPURLResponse> response;
  {
    std::lock_guard lock(task->m_mutex);
    task->m_state = URLSessionTaskState::Completed;
    task->m_error = error;
    response = task->m_response;
  }
  {
    std::lock_guard lock(session->m_mutex);
    session->m_tasks.erase(task->taskIdentifier());
  }
  auto self = session->shared_from_this();
  auto delegate = session->delegate();

  std::string path = std::move(downloadPath);
  downloadPath.clear();
  if (task->kind() == Kind::Download) {
    auto downloadTask = std::static_pointer_cast<URLSessionDownloadTask>(tp);
    if (error && !path.empty()) {
      ::unlink(path.c_str());
      path.clear();
    }
    auto completion = std::move(downloadCompletion);
    session->post([delegate, self, downloadTask, completion, path, response, error] {
      std::optional<URL> location;
      if (!path.empty()) location = URL::fileURLWithPath(path);
      if (completion) {
        completion(location, response, error);
      } else if (delegate && location) {
        delegate->didFinishDownloadingToURL(self, downloadTask, *location);
      }
      if (!path.empty()) ::unlink(path.c_str());
      if (delegate && !completion) delegate->didCompleteWithError(self, downloadTask, error);
    });
    return;
  }
  if (!error && cacheCandidate && response) offerToCache(response, hasCompletionHandler() ? accumulated : cacheBody);
  std::string().swap(cacheBody);
  auto completion = std::move(dataCompletion);
  std::optional<std::string> data;
  if (!error) data = std::move(accumulated);
  session->post([delegate, self, tp, completion, data = std::move(data), response, error] {
    if (completion) {
      completion(data, response, error);
    } else if (delegate) {
      delegate->didCompleteWithError(self, tp, error);
    }
  });
}

}  // namespace net
