#pragma once

#include "platform/core/OperationQueue.h"
#include "platform/net/URLConnection.h"
#include "soap/WebServiceBindingNames.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct _xmlNode;

namespace kt {

class WSElement;
class WebServiceBinding;
class WebServiceBindingOperation;
class WebServiceBindingResponse;

// Told once when a call ends, on the thread that made the call.
class WebServiceBindingResponseDelegate {
 public:
  virtual ~WebServiceBindingResponseDelegate() = default;
  virtual void operation(const std::shared_ptr<WebServiceBindingOperation>& operation,
                         const std::shared_ptr<WebServiceBindingResponse>& response) = 0;
};

using WebServiceSoapBindingResponseDelegate = WebServiceBindingResponseDelegate;
using WebServiceSoap12BindingResponseDelegate = WebServiceBindingResponseDelegate;

// One operation of the service: its name (the request element, and with "Response" the reply
// element) and the reader of its reply element.
struct WebServiceOperationInfo {
  const char* name;
  std::shared_ptr<WSElement> (*deserializeReply)(_xmlNode* node);

  static const WebServiceOperationInfo UploadFileBytes;
  static const WebServiceOperationInfo UploadFileChunkBytes;
  static const WebServiceOperationInfo DownloadFileBytes;
  static const WebServiceOperationInfo DeleteFile;
  static const WebServiceOperationInfo GetAllFiles;
  static const WebServiceOperationInfo UpLoadMovieDB;
  static const WebServiceOperationInfo UpStoreWineImage;
};

// One call of an operation: started, it writes the envelope of its parameters, sends it through
// its binding and takes the connection's events until the call ends, exactly once, by a
// transport failure, a refused reply head or authentication, or a reply read to the end. Then
// its response holds the error or the body parts and its delegate is told.
class WebServiceBindingOperation : public core::Operation, public net::URLConnectionDelegate {
 public:
  WebServiceBindingOperation(std::shared_ptr<WebServiceBinding> binding,
                             std::weak_ptr<WebServiceBindingResponseDelegate> delegate,
                             const WebServiceOperationInfo& info, std::shared_ptr<WSElement> parameters);

  const WebServiceOperationInfo& info() const { return m_info; }
  std::shared_ptr<WebServiceBinding> binding() const;
  void setBinding(std::shared_ptr<WebServiceBinding> binding);
  // Made fresh by main(); null before.
  const std::shared_ptr<WebServiceBindingResponse>& response() const { return m_response; }
  std::shared_ptr<WebServiceBindingResponseDelegate> delegate() const { return m_delegate.lock(); }
  void setDelegate(std::weak_ptr<WebServiceBindingResponseDelegate> delegate) { m_delegate = std::move(delegate); }
  // The reply bytes received so far; unset until the first bytes.
  const std::optional<std::string>& responseData() const { return m_responseData; }
  void setResponseData(std::optional<std::string> data) { m_responseData = std::move(data); }
  const std::shared_ptr<net::URLConnection>& urlConnection() const { return m_urlConnection; }
  void setUrlConnection(std::shared_ptr<net::URLConnection> connection) { m_urlConnection = std::move(connection); }
  // The request element; with none, the envelope has no Body.
  std::shared_ptr<WSElement> parameters() const;
  void setParameters(std::shared_ptr<WSElement> parameters);
  // Whether the call has ended.
  bool isComplete() const { return m_ended; }

  // Makes a fresh response, writes the envelope and sends it.
  void main() override;
  // Ends a started call now, unless it has ended already, with the URL error Cancelled for its
  // URL: nothing more from the connection, and the delegate is told as for any other end.
  void cancelCall();

  void connectionDidReceiveAuthenticationChallenge(net::URLConnection& connection,
                                                   const net::AuthenticationChallenge& challenge,
                                                   net::ChallengeHandler handler) override;
  void connectionDidReceiveResponse(net::URLConnection& connection,
                                    const std::shared_ptr<const net::HTTPURLResponse>& response) override;
  void connectionDidReceiveData(net::URLConnection& connection, const std::string& data) override;
  void connectionDidFailWithError(net::URLConnection& connection, const core::Error& error) override;
  void connectionDidFinishLoading(net::URLConnection& connection) override;

  // Reads a whole reply document into the response: the operation's reply elements and the
  // faults of each Body (a later Body replaces an earlier one's parts), or, for bytes that are
  // not well-formed XML, the error of the XML domain (code 1).
  static void readReply(std::string_view bytes, const WebServiceOperationInfo& info,
                        const WebServiceBindingNames& names, WebServiceBindingResponse& response);

 private:
  // Ends the call: no more connection events, the delegate (if any) is told once.
  void end();
  void failWith(const core::Error& error);

  const WebServiceOperationInfo& m_info;
  mutable std::mutex m_mutex;  // guards the binding and the parameters
  std::shared_ptr<WebServiceBinding> m_binding;
  std::shared_ptr<WSElement> m_parameters;
  std::shared_ptr<WebServiceBindingResponse> m_response;
  std::weak_ptr<WebServiceBindingResponseDelegate> m_delegate;
  std::optional<std::string> m_responseData;
  std::shared_ptr<net::URLConnection> m_urlConnection;
  bool m_ended = false;
};

using WebServiceSoapBindingOperation = WebServiceBindingOperation;
using WebServiceSoap12BindingOperation = WebServiceBindingOperation;

}  // namespace kt
