#pragma once

// The session thread's state of one task: its libcurl handle, the reply being read and the
// answers awaited from the delegate. Private to the URL session.

#include "platform/net/DownloadResumeData.h"
#include "platform/net/HTTPURLResponse.h"
#include "platform/net/InputStream.h"
#include "platform/net/URLCache.h"
#include "platform/net/URLSession.h"

#include <curl/curl.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

typedef struct x509_store_ctx_st X509_STORE_CTX;

namespace net {

struct URLSessionTask::Transfer {
  enum class BodySource { Request, Data, File, Stream };
  using Clock = std::chrono::steady_clock;

  // Set when the task is made.
  URLSession* session = nullptr;
  URLSessionTask* task = nullptr;  // the task owning this transfer (changes when it becomes a download)
  BodySource bodySource = BodySource::Request;
  std::string bodyData;
  std::string bodyFilePath;
  std::shared_ptr<InputStream> bodyStream;
  URLSessionDataTask::Completion dataCompletion;
  URLSessionDownloadTask::Completion downloadCompletion;

  // Used on the session thread only.
  CURL* easy = nullptr;
  curl_slist* headerList = nullptr;
  curl_slist* connectTo = nullptr;
  bool started = false;
  bool inMulti = false;
  std::string slotHost;  // the host whose connection slot the transfer holds (empty: none)
  bool completed = false;
  bool userPaused = false;

  bool hasBody = false;
  FILE* bodyFile = nullptr;
  int64_t bodyLength = -1;
  size_t bodyOffset = 0;
  bool bodyStreamFailed = false;
  curl_off_t lastUploaded = 0;
  curl_off_t lastDownloaded = 0;

  std::string hopVersion;
  HeaderFields hopHeaders;
  bool redirectPending = false;
  std::string redirectBody;
  std::shared_ptr<const HTTPURLResponse> hopResponse;
  int redirects = 0;
  bool awaitingReply = false;
  bool awaitingDisposition = false;
  std::string pendingBody;
  std::optional<CURLcode> doneWhileAwaiting;

  FILE* downloadFile = nullptr;
  std::string downloadPath;
  bool writeFailed = false;
  // A download continued from resume data: asks for the rest until the final reply arrives.
  std::optional<DownloadResumeData> resume;
  bool resumeSettled = false;   // the final reply has come: the file goes on or starts over
  bool resumeRefused = false;   // the resume data could not be read
  bool resumeMismatch = false;  // a 206 that does not continue the partial file
  std::string accumulated;

  // The URL cache, for a GET data task of a session that has one.
  std::shared_ptr<URLCache> cache;
  std::shared_ptr<const CachedURLResponse> revalidated;  // the entry the conditional fields ask about
  bool notModified = false;                              // the server answered them with 304
  bool cacheCandidate = false;                           // the reply may still be stored
  size_t cacheLimit = 0;                                 // the largest body the cache would keep
  std::string cacheBody;                                 // the body kept for it (delegate tasks)

  Clock::time_point lastActivity = Clock::now();
  double idleTimeout = 60;
  Clock::duration idleLimit = std::chrono::seconds(60);  // idleTimeout as a duration

  bool callbackFailed = false;  // a callback body threw; the library was told to stop
  bool trustRejected = false;
  bool challengeCancelled = false;
  // The delegate's answer to a server-trust challenge; guarded by the task's mutex.
  bool challengeAnswered = false;
  AuthChallengeDisposition challengeDisposition = AuthChallengeDisposition::PerformDefaultHandling;
  bool challengeHasCredential = false;

  ~Transfer();

  std::shared_ptr<URLSessionTask> taskPtr() const { return task->shared_from_this(); }
  std::string urlText() const;
  bool hasCompletionHandler() const { return dataCompletion || downloadCompletion; }

  void start();
  bool configure();
  void releaseEasy();
  // Marks activity on the connection, which moves its idle deadline.
  void touch() {
    lastActivity = Clock::now();
    if (idleTimeout > 0 && lastActivity + idleLimit < session->m_nextIdleCheck) {
      session->m_nextIdleCheck = lastActivity + idleLimit;
    }
  }

  // False stops the transfer.
  bool onHeaderLine(std::string_view line);
  void onHeadersComplete();
  void deliverResponse(const std::shared_ptr<const HTTPURLResponse>& response);
  size_t onWrite(const char* data, size_t length);
  bool handleBody(const char* data, size_t length);
  size_t onRead(char* buffer, size_t length);
  int onSeek(curl_off_t offset);
  void onProgress(curl_off_t downloaded, curl_off_t uploaded);
  int verifyPeer(X509_STORE_CTX* store);

  void onDone(CURLcode code);
  void askRedirect();
  void followRedirect(URLRequest request);
  void stopAtRedirect();
  void onDisposition(ResponseDisposition disposition);
  bool becomeDownload();
  bool openDownloadFile();
  bool openPartialFile();
  void continueDownload(const HTTPURLResponse& response);
  std::optional<std::string> produceResumeData();
  void reportUploadProgress(curl_off_t uploaded);

  bool consultCache();
  void serveFromCache(const std::shared_ptr<const CachedURLResponse>& entry);
  void serveNotModified();
  void offerToCache(const std::shared_ptr<const HTTPURLResponse>& response, const std::string& body);

  core::Error errorFor(CURLcode code) const;
  void finish(std::optional<core::Error> error);
};

}  // namespace net
