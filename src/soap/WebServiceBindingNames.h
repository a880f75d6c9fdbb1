#pragma once

namespace kt {

// The names that tell the two binding families apart (the SOAP binding and its SOAP 1.2 twin).
// They share everything else: headers, actions, the SOAP 1.2 envelope and the reply reading.
struct WebServiceBindingNames {
  const char* binding;          // "WebServiceSoapBinding"
  const char* httpErrorDomain;  // domain of a reply refused by its head
  const char* xmlErrorDomain;   // domain of a reply body that cannot be read

  static const WebServiceBindingNames Soap;
  static const WebServiceBindingNames Soap12;
};

inline constexpr WebServiceBindingNames WebServiceBindingNames::Soap{
    "WebServiceSoapBinding", "WebServiceSoapBindingResponseHTTP", "WebServiceSoapBindingResponseXML"};
inline constexpr WebServiceBindingNames WebServiceBindingNames::Soap12{
    "WebServiceSoap12Binding", "WebServiceSoap12BindingResponseHTTP", "WebServiceSoap12BindingResponseXML"};

}  // namespace kt
