#include "soap/WebServiceBinding.h"

#include "platform/core/Log.h"
#include "platform/core/RunLoop.h"
#include "soap/WebService.h"
#include "soap/WebServiceBindingResponse.h"
#include "soap/WebServiceMessages.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <string_view>

namespace kt {

namespace {

bool carriesCredentials(std::string_view name) {
  auto is = [name](std::string_view other) {
    return name.size() == other.size() && std::equal(name.begin(), name.end(), other.begin(), [](char a, char b) {
             return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
  };
  return is("Authorization") || is("Proxy-Authorization") || is("Cookie") || is("Set-Cookie");
}

}  // namespace

std::string WebServiceBinding::headersForLog(const net::HeaderFields& fields) {
  core::Value::Dictionary dictionary;
  for (const auto& [name, value] : fields)
    dictionary[name] = core::Value(carriesCredentials(name) ? std::string(core::kLogMask) : value);
  return core::Value(std::move(dictionary)).description();
}

std::shared_ptr<WebServiceBinding> WebServiceBinding::create(const WebServiceBindingNames& names) {
  WebService::initialize();
  return std::make_shared<WebServiceBinding>(Key{}, names);
}

WebServiceBinding::WebServiceBinding(Key, const WebServiceBindingNames& names) : m_names(names) { init(); }

void WebServiceBinding::init() {
  setAddress(std::nullopt);
  m_cookies.reset();
  setDefaultTimeout(10.0);
  setLogXMLInOut(false);
  m_synchronousOperationComplete = false;
}

void WebServiceBinding::initWithAddress(const std::string& address) {
  init();
  setAddress(net::URL::fromString(address));
}

std::optional<net::URL> WebServiceBinding::address() const {
  std::lock_guard lock(m_addressMutex);
  return m_address;
}

void WebServiceBinding::setAddress(std::optional<net::URL> address) {
  std::lock_guard lock(m_addressMutex);
  m_address = std::move(address);
}

void WebServiceBinding::addCookie(const std::optional<net::HTTPCookie>& cookie) {
  if (!cookie) return;
  if (!m_cookies) m_cookies.emplace();
  m_cookies->push_back(*cookie);
}

std::shared_ptr<WebServiceBindingResponse> WebServiceBinding::performSynchronousOperation(
    const std::shared_ptr<WebServiceBindingOperation>& operation) {
  m_synchronousOperationComplete = false;
  operation->start();
  // The connection is a source of this thread's loop until the call ends, so the loop has
  // something to wait for. The operation's own end is what counts: a synchronous call made
  // from a callback while another one waits must not end the outer wait.
  core::RunLoop& loop = core::RunLoop::current();
  while (!operation->isComplete()) {
    const core::RunLoop::RunResult result = loop.runInMode(core::RunLoop::DefaultMode, HUGE_VAL, true);
    if (result == core::RunLoop::RunResult::Stopped) {
      // The loop is being stopped (a termination signal, a lost display): the call gives up
      // and the runs this wait is nested in return as well.
      operation->cancelCall();
      break;
    }
    if (result == core::RunLoop::RunResult::Finished) break;
  }
  return operation->response();
}

void WebServiceBinding::performAsynchronousOperation(const std::shared_ptr<WebServiceBindingOperation>& operation) {
  operation->start();
}

void WebServiceBinding::operation(const std::shared_ptr<WebServiceBindingOperation>& /*operation*/,
                                  const std::shared_ptr<WebServiceBindingResponse>& /*response*/) {
  m_synchronousOperationComplete = true;
}

std::shared_ptr<WebServiceBindingResponse> WebServiceBinding::call(const WebServiceOperationInfo& info,
                                                                   std::shared_ptr<WSElement> parameters) {
  auto operation = std::make_shared<WebServiceBindingOperation>(shared_from_this(), weak_from_this(), info,
                                                                std::move(parameters));
  return performSynchronousOperation(operation);
}

void WebServiceBinding::callAsync(const WebServiceOperationInfo& info, std::shared_ptr<WSElement> parameters,
                                  std::weak_ptr<WebServiceBindingResponseDelegate> delegate) {
  auto operation = std::make_shared<WebServiceBindingOperation>(shared_from_this(), std::move(delegate), info,
                                                                std::move(parameters));
  performAsynchronousOperation(operation);
}

std::shared_ptr<WebServiceBindingResponse> WebServiceBinding::UploadFileBytesUsingParameters(
    std::shared_ptr<WebService_UploadFileBytes> parameters) {
  return call(WebServiceOperationInfo::UploadFileBytes, std::move(parameters));
}

void WebServiceBinding::UploadFileBytesAsyncUsingParameters(std::shared_ptr<WebService_UploadFileBytes> parameters,
                                                            std::weak_ptr<WebServiceBindingResponseDelegate> delegate) {
  callAsync(WebServiceOperationInfo::UploadFileBytes, std::move(parameters), std::move(delegate));
}

std::shared_ptr<WebServiceBindingResponse> WebServiceBinding::UploadFileChunkBytesUsingParameters(
    std::shared_ptr<WebService_UploadFileChunkBytes> parameters) {
  return call(WebServiceOperationInfo::UploadFileChunkBytes, std::move(parameters));
}

void WebServiceBinding::UploadFileChunkBytesAsyncUsingParameters(
    std::shared_ptr<WebService_UploadFileChunkBytes> parameters,
    std::weak_ptr<WebServiceBindingResponseDelegate> delegate) {
  callAsync(WebServiceOperationInfo::UploadFileChunkBytes, std::move(parameters), std::move(delegate));
}

std::shared_ptr<WebServiceBindingResponse> WebServiceBinding::DownloadFileBytesUsingParameters(
    std::shared_ptr<WebService_DownloadFileBytes> parameters) {
  return call(WebServiceOperationInfo::DownloadFileBytes, std::move(parameters));
}

void WebServiceBinding::DownloadFileBytesAsyncUsingParameters(
    std::shared_ptr<WebService_DownloadFileBytes> parameters,
    std::weak_ptr<WebServiceBindingResponseDelegate> delegate) {
  callAsync(WebServiceOperationInfo::DownloadFileBytes, std::move(parameters), std::move(delegate));
}

std::shared_ptr<WebServiceBindingResponse> WebServiceBinding::DeleteFileUsingParameters(
    std::shared_ptr<WebService_DeleteFile> parameters) {
  return call(WebServiceOperationInfo::DeleteFile, std::move(parameters));
}

void WebServiceBinding::DeleteFileAsyncUsingParameters(std::shared_ptr<WebService_DeleteFile> parameters,
                                                       std::weak_ptr<WebServiceBindingResponseDelegate> delegate) {
  callAsync(WebServiceOperationInfo::DeleteFile, std::move(parameters), std::move(delegate));
}

std::shared_ptr<WebServiceBindingResponse> WebServiceBinding::GetAllFilesUsingParameters(
    std::shared_ptr<WebService_GetAllFiles> parameters) {
  return call(WebServiceOperationInfo::GetAllFiles, std::move(parameters));
}

void WebServiceBinding::GetAllFilesAsyncUsingParameters(std::shared_ptr<WebService_GetAllFiles> parameters,
                                                        std::weak_ptr<WebServiceBindingResponseDelegate> delegate) {
  callAsync(WebServiceOperationInfo::GetAllFiles, std::move(parameters), std::move(delegate));
}

std::shared_ptr<WebServiceBindingResponse> WebServiceBinding::UpLoadMovieDBUsingParameters(
    std::shared_ptr<WebService_UpLoadMovieDB> parameters) {
  return call(WebServiceOperationInfo::UpLoadMovieDB, std::move(parameters));
}

void WebServiceBinding::UpLoadMovieDBAsyncUsingParameters(std::shared_ptr<WebService_UpLoadMovieDB> parameters,
                                                          std::weak_ptr<WebServiceBindingResponseDelegate> delegate) {
  callAsync(WebServiceOperationInfo::UpLoadMovieDB, std::move(parameters), std::move(delegate));
}

std::shared_ptr<WebServiceBindingResponse> WebServiceBinding::UpStoreWineImageUsingParameters(
    std::shared_ptr<WebService_UpStoreWineImage> parameters) {
  return call(WebServiceOperationInfo::UpStoreWineImage, std::move(parameters));
}

void WebServiceBinding::UpStoreWineImageAsyncUsingParameters(
    std::shared_ptr<WebService_UpStoreWineImage> parameters,
    std::weak_ptr<WebServiceBindingResponseDelegate> delegate) {
  callAsync(WebServiceOperationInfo::UpStoreWineImage, std::move(parameters), std::move(delegate));
}

net::URLRequest WebServiceBinding::requestWithBody(const std::string& body, const std::string& soapAction) const {
  const std::optional<net::URL> url = address();
  net::URLRequest request(url, net::URLRequestCachePolicy::ReloadIgnoringLocalAndRemoteCacheData, defaultTimeout());
  if (m_cookies) request.setAllHTTPHeaderFields(net::HTTPCookie::requestHeaderFieldsWithCookies(*m_cookies));
  request.setValue("WSClient", "User-Agent");
  request.setValue(soapAction, "SOAPAction");
  request.setValue("application/soap+xml; charset=utf-8", "Content-Type");
  request.setValue(std::to_string(static_cast<uint32_t>(body.size())), "Content-Length");
  request.setValue(url ? url->host() : std::nullopt, "Host");
  request.setHTTPMethod("POST");
  request.setHTTPBody(body);
  return request;
}

void WebServiceBinding::sendHTTPCallUsingBody(const std::string& body, const std::string& soapAction,
                                              const std::shared_ptr<WebServiceBindingOperation>& operation) {
  net::URLRequest request = requestWithBody(body, soapAction);
  if (logXMLInOut()) {
    core::logLine("OutputHeaders:\n" + headersForLog(request.allHTTPHeaderFields()));
    core::logLine("OutputBody:\n" + body);
  }
  operation->setUrlConnection(net::URLConnection::connectionWithRequest(request, operation));
}

}  // namespace kt
