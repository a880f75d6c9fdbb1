#pragma once

#include "soap/WSObject.h"

#include <string>
#include <utility>
#include <vector>

namespace kt {

// Header or body entries of an envelope, in the order they are written: element name -> value.
using WSElementList = std::vector<std::pair<std::string, WSObject>>;

// Writes the SOAP 1.2 envelope of a call. Both binding families share this one writer.
class WebServiceEnvelope {
 public:
  static WebServiceEnvelope& sharedInstance();

  // The envelope text: an XML declaration without an encoding (so every character outside
  // ASCII is written as a character reference), then soap:Envelope declaring soap, xsl, xsi,
  // xsd and WebService with the attribute xsl:version="1.0", an optional soap:Header and an
  // optional soap:Body (each only when it has entries), indented. Each entry is written by its
  // value under its name without a prefix (message elements take "WebService"). "" when the
  // document cannot be made.
  std::string serializedFormUsingHeaderElements(const WSElementList& headerElements,
                                                const WSElementList& bodyElements) const;
};

using WebServiceSoapBinding_envelope = WebServiceEnvelope;
using WebServiceSoap12Binding_envelope = WebServiceEnvelope;

}  // namespace kt
