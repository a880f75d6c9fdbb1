#pragma once

#include "http/HCHTTPBodyPart.h"
#include "http/HCMultipartFormData.h"
#include "platform/net/URLRequest.h"

#include <memory>
#include <string>

namespace kt {

class HCMultipartBodyStream;

// User-info key of an error's failure reason.
inline constexpr const char* HCLocalizedFailureReasonErrorKey = "LocalizedFailureReason";

// The MIME type for a file name's extension from a table of the common types;
// "application/octet-stream" for any other.
std::string mimeTypeForPathExtension(const std::string& extension);

// Collects the parts of a multipart/form-data body and finishes the request that sends it.
class HCStreamingMultipartFormData : public HCMultipartFormData {
 public:
  HCStreamingMultipartFormData(net::URLRequest request, uint64_t stringEncoding);
  ~HCStreamingMultipartFormData() override;

  const net::URLRequest& request() const { return m_request; }
  void setRequest(net::URLRequest request) { m_request = std::move(request); }
  uint64_t stringEncoding() const { return m_stringEncoding; }
  // "Boundary+" and 16 upper-case hex digits of two random numbers; parts added later use a
  // boundary set here.
  const std::string& boundary() const { return m_boundary; }
  void setBoundary(std::string boundary) { m_boundary = std::move(boundary); }
  const std::shared_ptr<HCMultipartBodyStream>& bodyStream() const { return m_bodyStream; }

  bool appendPartWithFileURL(const net::URL& fileURL, const std::string& name, core::Error* error) override;
  bool appendPartWithFileURL(const net::URL& fileURL, const std::string& name, const std::string& fileName,
                             const std::string& mimeType, core::Error* error) override;
  bool appendPartWithInputStream(std::shared_ptr<net::InputStream> inputStream, const std::string& name,
                                 const std::string& fileName, int64_t length, const std::string& mimeType,
                                 core::Error* error = nullptr) override;
  bool appendPartWithFileData(const std::string& data, const std::string& name, const std::string& fileName,
                              const std::string& mimeType, core::Error* error = nullptr) override;
  bool appendPartWithFormData(const std::string& data, const std::string& name,
                              core::Error* error = nullptr) override;
  bool appendPartWithHeaders(const HCPartHeaders& headers, const std::string& body,
                             core::Error* error = nullptr) override;
  void throttleBandwidthWithPacketSize(uint64_t numberOfBytes, double delay) override;

  // The request with the body stream and the multipart headers; untouched when no part was added.
  net::URLRequest requestByFinalizingMultipartFormData();

  static std::string makeBoundary();

 private:
  void appendPart(const HCPartHeaders& headers, HCHTTPBodyPart::Content body, uint64_t length);

  net::URLRequest m_request;
  uint64_t m_stringEncoding = 4;
  std::string m_boundary;
  std::shared_ptr<HCMultipartBodyStream> m_bodyStream;
};

}  // namespace kt
