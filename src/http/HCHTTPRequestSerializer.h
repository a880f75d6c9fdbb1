#pragma once

#include "http/HCStringEncoding.h"
#include "http/HCURLRequestSerialization.h"
#include "platform/net/URLRequest.h"

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace core {
class Queue;
}

namespace kt {

class HCMultipartFormData;

// Builds requests: default headers, the request properties set on the serializer, and the
// parameters as the URL's query (GET, HEAD, DELETE) or a form-encoded body (other methods).
class HCHTTPRequestSerializer : public HCURLRequestSerialization {
 public:
  // Replaces the built-in query encoding: the query text for the parameters, or an error.
  using QueryStringSerialization = std::function<std::optional<std::string>(
      const net::URLRequest& request, const core::Value& parameters, std::optional<core::Error>& error)>;
  using CompletionHandler = std::function<void(const std::optional<core::Error>& error)>;

  HCHTTPRequestSerializer();
  ~HCHTTPRequestSerializer() override;
  static std::shared_ptr<HCHTTPRequestSerializer> serializer() { return std::make_shared<HCHTTPRequestSerializer>(); }
  virtual const char* className() const { return "HCHTTPRequestSerializer"; }
  // A serializer of the same class with the same settings: a copy of the default headers, the
  // query style and callback, the request properties set here, and a subclass's own settings.
  virtual std::shared_ptr<HCHTTPRequestSerializer> copy() const;

  // Archiving: a dictionary naming the class, with the default headers under
  // "mutableHTTPRequestHeaders" and the style under "queryStringSerializationStyle"; subclasses
  // add their own settings.
  static bool supportsSecureCoding() { return true; }
  virtual core::Value encodeWithCoder() const;
  // A serializer of the archived class with its defaults, then the archived settings (entries
  // of the wrong type, and headers with line breaks, are left out). Null for an archive of a
  // class that is not a request serializer.
  static std::shared_ptr<HCHTTPRequestSerializer> initWithCoder(const core::Value& coder);

  // The preferred languages sent in "Accept-Language", most preferred first. Taken from the
  // environment (LANGUAGE, LC_ALL, LC_MESSAGES, LANG) unless set; nothing set returns to that.
  static std::vector<std::string> preferredLanguages();
  static void setPreferredLanguages(std::optional<std::vector<std::string>> languages);
  // The "Accept-Language" value for a list of languages.
  static std::string acceptLanguageFor(const std::vector<std::string>& languages);
  // Text made ASCII for a header: transliterated where possible, other characters removed;
  // nothing when that fails.
  static std::optional<std::string> asciiHeaderText(const std::string& text);

  uint64_t stringEncoding() const { return m_stringEncoding; }
  void setStringEncoding(uint64_t encoding) { m_stringEncoding = encoding; }

  // Request properties copied into each request only once set here.
  bool allowsCellularAccess() const { return m_allowsCellularAccess; }
  void setAllowsCellularAccess(bool allows);
  net::URLRequestCachePolicy cachePolicy() const { return m_cachePolicy; }
  void setCachePolicy(net::URLRequestCachePolicy policy);
  bool HTTPShouldHandleCookies() const { return m_HTTPShouldHandleCookies; }
  void setHTTPShouldHandleCookies(bool handle);
  bool HTTPShouldUsePipelining() const { return m_HTTPShouldUsePipelining; }
  void setHTTPShouldUsePipelining(bool use);
  net::URLRequestNetworkServiceType networkServiceType() const { return m_networkServiceType; }
  void setNetworkServiceType(net::URLRequestNetworkServiceType type);
  double timeoutInterval() const { return m_timeoutInterval; }
  void setTimeoutInterval(double seconds);
  // Names of the properties above that have been set.
  const std::set<std::string>& mutableObservedChangedKeyPaths() const { return m_changedKeyPaths; }
  // The names of the properties above, in the order they are copied into a request.
  static const std::vector<std::string>& observedRequestKeyPaths();

  const std::set<std::string>& HTTPMethodsEncodingParametersInURI() const { return m_methodsInURI; }
  void setHTTPMethodsEncodingParametersInURI(std::set<std::string> methods) { m_methodsInURI = std::move(methods); }

  // Default headers. A name or value with CR or LF is refused (false, *error).
  bool setValue(const std::optional<std::string>& value, const std::string& field, core::Error* error = nullptr);
  std::optional<std::string> valueForHTTPHeaderField(const std::string& field) const;
  net::HeaderFields HTTPRequestHeaders() const;
  bool setAuthorizationHeaderFieldWithUsername(const std::string& username, const std::string& password,
                                               core::Error* error = nullptr);
  void clearAuthorizationHeader();

  // 0: the built-in query encoding; any other style: no query unless a callback is set.
  uint64_t queryStringSerializationStyle() const { return m_queryStyle; }
  void setQueryStringSerializationWithStyle(uint64_t style);
  void setQueryStringSerializationWithBlock(QueryStringSerialization block) {
    m_queryStringSerialization = std::move(block);
  }
  const QueryStringSerialization& queryStringSerialization() const { return m_queryStringSerialization; }

  // A request for the method and URL text with the parameters (null for none). A text that is
  // not a URL gives a request without a URL.
  std::optional<net::URLRequest> requestWithMethod(const std::string& method, const std::string& URLString,
                                                   const core::Value& parameters, core::Error* error) const;
  std::optional<net::URLRequest> requestBySerializingRequest(const net::URLRequest& request,
                                                             const core::Value& parameters,
                                                             core::Error* error) const override;

  // A multipart/form-data request: each parameter becomes a form part, then the callback adds
  // its own parts.
  std::optional<net::URLRequest> multipartFormRequestWithMethod(
      const std::string& method, const std::string& URLString, const core::Value& parameters,
      const std::function<void(HCMultipartFormData&)>& constructingBody, core::Error* error) const;
  // Writes a multipart request's body to a file on a background queue, then calls the
  // completion on the main queue. Returns at once the request without its body stream (its
  // multipart headers stay), to be sent with the file as its body.
  net::URLRequest requestWithMultipartFormRequest(const net::URLRequest& request, const std::string& filePath,
                                                  CompletionHandler completion) const;

 protected:
  // Default headers added to a copy of the request (a header already on the request wins).
  net::URLRequest requestWithDefaultHeaders(const net::URLRequest& request) const;
  // The same, refused (nothing, *error) when a header carries CR or LF.
  std::optional<net::URLRequest> requestWithCheckedHeaders(const net::URLRequest& request, core::Error* error) const;
  // Whether a method's parameters go into the URL.
  bool encodesParametersInURI(const std::string& method) const;
  // Reads the archived settings of this class (a subclass reads the base part first).
  virtual void decodeWithCoder(const core::Value& coder);
  // Gives `other` (of this class or a subclass) the settings this class holds.
  void copySettingsInto(HCHTTPRequestSerializer& other) const;

 private:
  struct HeaderStore;

  uint64_t m_stringEncoding = HCStringEncodingUTF8;
  bool m_allowsCellularAccess = false;
  net::URLRequestCachePolicy m_cachePolicy = net::URLRequestCachePolicy::UseProtocolCachePolicy;
  bool m_HTTPShouldHandleCookies = false;
  bool m_HTTPShouldUsePipelining = false;
  net::URLRequestNetworkServiceType m_networkServiceType = net::URLRequestNetworkServiceType::Default;
  double m_timeoutInterval = 0;
  std::set<std::string> m_methodsInURI{"GET", "HEAD", "DELETE"};
  std::set<std::string> m_changedKeyPaths;
  std::shared_ptr<HeaderStore> m_headers;
  uint64_t m_queryStyle = 0;
  QueryStringSerialization m_queryStringSerialization;
};

// Whether a header name or value would break the header block (CR or LF in it).
bool headerTextHasLineBreak(const std::string& text);

}  // namespace kt
