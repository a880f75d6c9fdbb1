#pragma once

#include "platform/net/HTTPCookie.h"
#include "platform/net/URL.h"
#include "soap/WebServiceBindingNames.h"
#include "soap/WebServiceBindingOperation.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace kt {

class WSElement;
class WebServiceBindingResponse;
class WebService_UploadFileBytes;
class WebService_UploadFileChunkBytes;
class WebService_DownloadFileBytes;
class WebService_DeleteFile;
class WebService_GetAllFiles;
class WebService_UpLoadMovieDB;
class WebService_UpStoreWineImage;

// The client of the venue web service at one address: holds the endpoint and the call settings
// and turns each call into one HTTP POST of a SOAP 1.2 envelope. A call runs on the calling
// thread through its run loop: a synchronous call runs that loop until the call has ended (so
// the main thread's other work goes on meanwhile, and the wait cannot deadlock it), an
// asynchronous one tells its delegate later on that loop.
//
// The two binding families are this one class with their names (WebServiceBindingNames).
class WebServiceBinding : public WebServiceBindingResponseDelegate,
                          public std::enable_shared_from_this<WebServiceBinding> {
 public:
  static std::shared_ptr<WebServiceBinding> create(const WebServiceBindingNames& names = WebServiceBindingNames::Soap);

  const WebServiceBindingNames& names() const { return m_names; }

  // Header fields as the log shows them: the values of the fields that carry credentials
  // (authorization, cookies) read "****".
  static std::string headersForLog(const net::HeaderFields& fields);

  // Back to the defaults: no address and no cookies, a time-out of 10 seconds, logging off. The
  // user name and password stay.
  void init();
  // init(), then the address parsed from the text (unset when it is no URL).
  void initWithAddress(const std::string& address);

  std::optional<net::URL> address() const;
  void setAddress(std::optional<net::URL> address);
  // Time-out of every request, in seconds (without bytes for that long).
  double defaultTimeout() const { return m_defaultTimeout.load(); }
  void setDefaultTimeout(double seconds) { m_defaultTimeout.store(seconds); }
  // Writes each request and reply to the log.
  bool logXMLInOut() const { return m_logXMLInOut.load(); }
  void setLogXMLInOut(bool log) { m_logXMLInOut.store(log); }
  // Sent with the next request; replaced by the cookies of every reply.
  const std::optional<std::vector<net::HTTPCookie>>& cookies() const { return m_cookies; }
  void setCookies(std::optional<std::vector<net::HTTPCookie>> cookies) { m_cookies = std::move(cookies); }
  void addCookie(const std::optional<net::HTTPCookie>& cookie);
  // Offered to the first HTTP authentication challenge of a call.
  const std::optional<std::string>& authUsername() const { return m_authUsername; }
  void setAuthUsername(std::optional<std::string> user) { m_authUsername = std::move(user); }
  const std::optional<std::string>& authPassword() const { return m_authPassword; }
  void setAuthPassword(std::optional<std::string> password) { m_authPassword = std::move(password); }

  // Starts the operation and runs the current thread's run loop in the default mode until it
  // has ended; its response. When the loop is stopped meanwhile, the call ends at once with the
  // URL error Cancelled and the stop goes on to the runs the wait is nested in.
  std::shared_ptr<WebServiceBindingResponse> performSynchronousOperation(
      const std::shared_ptr<WebServiceBindingOperation>& operation);
  // Starts the operation; its delegate hears the end later on this thread's run loop.
  void performAsynchronousOperation(const std::shared_ptr<WebServiceBindingOperation>& operation);
  // The end of a synchronous call.
  void operation(const std::shared_ptr<WebServiceBindingOperation>& operation,
                 const std::shared_ptr<WebServiceBindingResponse>& response) override;

  // The seven operations, synchronous and asynchronous.
  std::shared_ptr<WebServiceBindingResponse> UploadFileBytesUsingParameters(
      std::shared_ptr<WebService_UploadFileBytes> parameters);
  void UploadFileBytesAsyncUsingParameters(std::shared_ptr<WebService_UploadFileBytes> parameters,
                                           std::weak_ptr<WebServiceBindingResponseDelegate> delegate);
  std::shared_ptr<WebServiceBindingResponse> UploadFileChunkBytesUsingParameters(
      std::shared_ptr<WebService_UploadFileChunkBytes> parameters);
  void UploadFileChunkBytesAsyncUsingParameters(std::shared_ptr<WebService_UploadFileChunkBytes> parameters,
                                                std::weak_ptr<WebServiceBindingResponseDelegate> delegate);
  std::shared_ptr<WebServiceBindingResponse> DownloadFileBytesUsingParameters(
      std::shared_ptr<WebService_DownloadFileBytes> parameters);
  void DownloadFileBytesAsyncUsingParameters(std::shared_ptr<WebService_DownloadFileBytes> parameters,
                                             std::weak_ptr<WebServiceBindingResponseDelegate> delegate);
  std::shared_ptr<WebServiceBindingResponse> DeleteFileUsingParameters(
      std::shared_ptr<WebService_DeleteFile> parameters);
  void DeleteFileAsyncUsingParameters(std::shared_ptr<WebService_DeleteFile> parameters,
                                      std::weak_ptr<WebServiceBindingResponseDelegate> delegate);
  std::shared_ptr<WebServiceBindingResponse> GetAllFilesUsingParameters(
      std::shared_ptr<WebService_GetAllFiles> parameters);
  void GetAllFilesAsyncUsingParameters(std::shared_ptr<WebService_GetAllFiles> parameters,
                                       std::weak_ptr<WebServiceBindingResponseDelegate> delegate);
  std::shared_ptr<WebServiceBindingResponse> UpLoadMovieDBUsingParameters(
      std::shared_ptr<WebService_UpLoadMovieDB> parameters);
  void UpLoadMovieDBAsyncUsingParameters(std::shared_ptr<WebService_UpLoadMovieDB> parameters,
                                         std::weak_ptr<WebServiceBindingResponseDelegate> delegate);
  std::shared_ptr<WebServiceBindingResponse> UpStoreWineImageUsingParameters(
      std::shared_ptr<WebService_UpStoreWineImage> parameters);
  void UpStoreWineImageAsyncUsingParameters(std::shared_ptr<WebService_UpStoreWineImage> parameters,
                                            std::weak_ptr<WebServiceBindingResponseDelegate> delegate);

  // The POST of one call: the envelope as UTF-8, the cookies, then "User-Agent", "SOAPAction",
  // "Content-Type", "Content-Length" and "Host" (the address's host without its port); the
  // connection goes to the operation. Without an address the call fails on the next turn of
  // the run loop.
  void sendHTTPCallUsingBody(const std::string& body, const std::string& soapAction,
                             const std::shared_ptr<WebServiceBindingOperation>& operation);
  // The request sendHTTPCallUsingBody sends.
  net::URLRequest requestWithBody(const std::string& body, const std::string& soapAction) const;

 private:
  struct Key {};

 public:
  WebServiceBinding(Key, const WebServiceBindingNames& names);

 private:
  std::shared_ptr<WebServiceBindingResponse> call(const WebServiceOperationInfo& info,
                                                  std::shared_ptr<WSElement> parameters);
  void callAsync(const WebServiceOperationInfo& info, std::shared_ptr<WSElement> parameters,
                 std::weak_ptr<WebServiceBindingResponseDelegate> delegate);

  const WebServiceBindingNames& m_names;
  mutable std::mutex m_addressMutex;
  std::optional<net::URL> m_address;
  std::atomic<double> m_defaultTimeout{10.0};
  std::atomic<bool> m_logXMLInOut{false};
  std::optional<std::vector<net::HTTPCookie>> m_cookies;
  std::optional<std::string> m_authUsername;
  std::optional<std::string> m_authPassword;
  bool m_synchronousOperationComplete = false;
};

using WebServiceSoapBinding = WebServiceBinding;
using WebServiceSoap12Binding = WebServiceBinding;

}  // namespace kt
