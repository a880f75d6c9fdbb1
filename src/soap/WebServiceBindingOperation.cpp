#include "soap/WebServiceBindingOperation.h"

#include "platform/core/Log.h"
#include "platform/net/HTTPURLResponse.h"
#include "platform/net/URLError.h"
#include "soap/SOAPFault.h"
#include "soap/WSGlobals.h"
#include "soap/WebServiceBinding.h"
#include "soap/WebServiceBindingResponse.h"
#include "soap/WebServiceEnvelope.h"
#include "soap/WebServiceMessages.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <climits>
#include <cstring>

namespace kt {

namespace {

template <class T>
WebServiceOperationInfo operationInfo(const char* name) {
  return WebServiceOperationInfo{
      name, [](_xmlNode* node) -> std::shared_ptr<WSElement> { return deserializeElement<T>(node); }};
}

// The media type as the server wrote it, case kept: the Content-Type field before any parameter.
std::optional<std::string> mimeTypeAsSent(const net::HTTPURLResponse& response) {
  std::optional<std::string> field = response.valueForHTTPHeaderField("Content-Type");
  if (!field) return std::nullopt;
  std::string type = field->substr(0, field->find(';'));
  const size_t begin = type.find_first_not_of(" \t");
  const size_t end = type.find_last_not_of(" \t");
  if (begin == std::string::npos) return std::nullopt;
  return type.substr(begin, end - begin + 1);
}

bool named(xmlNodePtr node, const char* name) {
  return node->name && std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0;
}

const xmlChar* prefixOf(xmlNodePtr node) { return node->ns ? node->ns->prefix : nullptr; }

core::Error xmlError(const WebServiceBindingNames& names) {
  return core::Error::withDescription(names.xmlErrorDomain, 1, "Errors while parsing returned XML");
}

}  // namespace

const WebServiceOperationInfo WebServiceOperationInfo::UploadFileBytes =
    operationInfo<WebService_UploadFileBytesResponse>("UploadFileBytes");
const WebServiceOperationInfo WebServiceOperationInfo::UploadFileChunkBytes =
    operationInfo<WebService_UploadFileChunkBytesResponse>("UploadFileChunkBytes");
const WebServiceOperationInfo WebServiceOperationInfo::DownloadFileBytes =
    operationInfo<WebService_DownloadFileBytesResponse>("DownloadFileBytes");
const WebServiceOperationInfo WebServiceOperationInfo::DeleteFile =
    operationInfo<WebService_DeleteFileResponse>("DeleteFile");
const WebServiceOperationInfo WebServiceOperationInfo::GetAllFiles =
    operationInfo<WebService_GetAllFilesResponse>("GetAllFiles");
const WebServiceOperationInfo WebServiceOperationInfo::UpLoadMovieDB =
    operationInfo<WebService_UpLoadMovieDBResponse>("UpLoadMovieDB");
const WebServiceOperationInfo WebServiceOperationInfo::UpStoreWineImage =
    operationInfo<WebService_UpStoreWineImageResponse>("UpStoreWineImage");

WebServiceBindingOperation::WebServiceBindingOperation(std::shared_ptr<WebServiceBinding> binding,
                                                       std::weak_ptr<WebServiceBindingResponseDelegate> delegate,
                                                       const WebServiceOperationInfo& info,
                                                       std::shared_ptr<WSElement> parameters)
    : m_info(info),
      m_binding(std::move(binding)),
      m_parameters(std::move(parameters)),
      m_delegate(std::move(delegate)) {}

std::shared_ptr<WebServiceBinding> WebServiceBindingOperation::binding() const {
  std::lock_guard lock(m_mutex);
  return m_binding;
}

void WebServiceBindingOperation::setBinding(std::shared_ptr<WebServiceBinding> binding) {
  std::lock_guard lock(m_mutex);
  m_binding = std::move(binding);
}

std::shared_ptr<WSElement> WebServiceBindingOperation::parameters() const {
  std::lock_guard lock(m_mutex);
  return m_parameters;
}

void WebServiceBindingOperation::setParameters(std::shared_ptr<WSElement> parameters) {
  std::lock_guard lock(m_mutex);
  m_parameters = std::move(parameters);
}

void WebServiceBindingOperation::main() {
  m_response = std::make_shared<WebServiceBindingResponse>();
  m_responseData.reset();
  m_ended = false;
  WSElementList body;
  if (auto request = parameters()) body.emplace_back(m_info.name, WSObject(request));
  const std::string envelope = WebServiceEnvelope::sharedInstance().serializedFormUsingHeaderElements({}, body);
  auto self = std::static_pointer_cast<WebServiceBindingOperation>(shared_from_this());
  binding()->sendHTTPCallUsingBody(envelope, std::string(wsns::Service) + m_info.name, self);
}

void WebServiceBindingOperation::connectionDidReceiveAuthenticationChallenge(
    net::URLConnection& /*connection*/, const net::AuthenticationChallenge& challenge, net::ChallengeHandler handler) {
  if (m_ended) {
    handler(net::AuthChallengeDisposition::CancelAuthenticationChallenge, nullptr);
    return;
  }
  if (challenge.previousFailureCount == 0) {
    auto credential = std::make_shared<net::URLCredential>();
    credential->user = binding()->authUsername().value_or("");
    credential->password = binding()->authPassword().value_or("");
    handler(net::AuthChallengeDisposition::UseCredential, credential);
    return;
  }
  // The call ends with the authentication error before the cancelled challenge could end it
  // with the connection's own.
  failWith(core::Error::withDescription("Connection Authentication", 0, "Authentication Error"));
  handler(net::AuthChallengeDisposition::CancelAuthenticationChallenge, nullptr);
}

void WebServiceBindingOperation::connectionDidReceiveResponse(
    net::URLConnection& /*connection*/, const std::shared_ptr<const net::HTTPURLResponse>& response) {
  if (m_ended) return;
  auto binding = this->binding();
  const int status = response ? response->statusCode() : 0;
  if (binding->logXMLInOut()) {
    core::logLine("ResponseStatus: " + std::to_string(static_cast<unsigned>(status)) + "\n");
    core::logLine("ResponseHeaders:\n" +
                  WebServiceBinding::headersForLog(response ? response->allHeaderFields() : net::HeaderFields{}));
  }
  std::optional<net::URL> address = binding->address();
  binding->setCookies(response && address
                          ? net::HTTPCookie::cookiesWithResponseHeaderFields(response->allHeaderFields(), *address)
                          : std::vector<net::HTTPCookie>{});

  const std::optional<std::string> mimeType = response ? mimeTypeAsSent(*response) : std::nullopt;
  if (mimeType && mimeType->find("application/soap+xml") != std::string::npos) return;
  if (status < 400) {
    failWith(core::Error::withDescription(binding->names().httpErrorDomain, 1,
                                          "Unexpected response MIME type to SOAP call:" + mimeType.value_or("(null)")));
  } else {
    failWith(core::Error::withDescription(binding->names().httpErrorDomain, status,
                                          net::HTTPURLResponse::localizedStringForStatusCode(status)));
  }
}

void WebServiceBindingOperation::connectionDidReceiveData(net::URLConnection& /*connection*/, const std::string& data) {
  if (m_ended) return;
  if (m_responseData) {
    m_responseData->append(data);
  } else {
    m_responseData = data;
  }
}

void WebServiceBindingOperation::connectionDidFailWithError(net::URLConnection& /*connection*/,
                                                            const core::Error& error) {
  failWith(error);
}

void WebServiceBindingOperation::cancelCall() {
  if (m_ended || !m_response) return;
  std::string url;
  if (m_urlConnection && m_urlConnection->originalRequest().url())
    url = m_urlConnection->originalRequest().url()->absoluteString();
  failWith(net::URLError::make(net::URLError::Cancelled, url));
}

void WebServiceBindingOperation::failWith(const core::Error& error) {
  if (m_ended) return;
  if (binding()->logXMLInOut()) core::logLine("ResponseError:\n" + error.description());
  m_response->setError(error);
  end();
}

void WebServiceBindingOperation::connectionDidFinishLoading(net::URLConnection& /*connection*/) {
  if (m_ended) return;
  auto binding = this->binding();
  if (!m_responseData) {
    // A reply without a body still ends the call, as one that cannot be read.
    failWith(xmlError(binding->names()));
    return;
  }
  if (!delegate()) {
    end();
    return;
  }
  if (binding->logXMLInOut()) core::logLine("ResponseBody:\n" + *m_responseData);
  readReply(*m_responseData, m_info, binding->names(), *m_response);
  end();
}

void WebServiceBindingOperation::end() {
  if (m_ended) return;
  m_ended = true;
  // Nothing more from the connection; it lets go of this operation.
  if (m_urlConnection) m_urlConnection->cancel();
  auto self = std::static_pointer_cast<WebServiceBindingOperation>(shared_from_this());
  if (auto told = delegate()) told->operation(self, m_response);
}

void WebServiceBindingOperation::readReply(std::string_view bytes, const WebServiceOperationInfo& info,
                                           const WebServiceBindingNames& names, WebServiceBindingResponse& response) {
  WSGlobals::initializeLibxml();
  // No network access while reading, and no messages on standard error: a broken reply is
  // reported through the response.
  xmlDocPtr doc = bytes.size() > static_cast<size_t>(INT_MAX)
                      ? nullptr
                      : xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr,
                                      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  if (!doc) {
    response.setError(xmlError(names));
    return;
  }
  const std::string replyName = std::string(info.name) + "Response";
  if (xmlNodePtr root = xmlDocGetRootElement(doc)) {
    for (xmlNodePtr body = root->children; body; body = body->next) {
      if (body->type != XML_ELEMENT_NODE || !named(body, "Body")) continue;
      std::vector<WebServiceBodyPart> parts;
      for (xmlNodePtr child = body->children; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE) continue;
        if (named(child, replyName.c_str())) {
          if (auto reply = info.deserializeReply(child)) parts.emplace_back(std::move(reply));
        }
        if (named(child, "Fault") && xmlStrEqual(prefixOf(child), prefixOf(body))) {
          if (auto fault = SOAPFault::deserializeNode(child)) parts.emplace_back(std::move(fault));
        }
      }
      response.setBodyParts(std::move(parts));
    }
  }
  xmlFreeDoc(doc);
}

}  // namespace kt
