#include "http/HCStreamingMultipartFormData.h"

#include "http/HCMultipartBodyStream.h"
#include "http/HCURLRequestSerialization.h"
#include "platform/core/Bundle.h"
#include "platform/net/InputStream.h"
#include "platform/net/URLError.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <utility>

namespace kt {

namespace {

bool hasLineBreak(const std::string& text) { return text.find_first_of("\r\n") != std::string::npos; }

core::Error lineBreakError(const std::string& what) {
  core::Value info;
  info.set(core::Error::LocalizedDescriptionKey, what + " must not contain a line break.");
  return core::Error(HCRequestSerializationErrorDomain, net::URLError::BadURL, info);
}

core::Error fileURLError(const char* reason) {
  core::Value info;
  info.set(HCLocalizedFailureReasonErrorKey, core::Bundle::main().localizedString(reason, reason, "HTTPClient"));
  return core::Error(HCRequestSerializationErrorDomain, net::URLError::BadURL, info);
}

HCPartHeaders fileHeaders(const std::string& name, const std::string& fileName, const std::string& mimeType) {
  return {{"Content-Disposition", "form-data; name=\"" + name + "\"; filename=\"" + fileName + "\""},
          {"Content-Type", mimeType}};
}

}  // namespace

std::string mimeTypeForPathExtension(const std::string& extension) {
  static const std::pair<const char*, const char*> kTypes[] = {
      {"bmp", "image/bmp"},        {"css", "text/css"},          {"csv", "text/csv"},
      {"gif", "image/gif"},        {"gz", "application/gzip"},   {"heic", "image/heic"},
      {"htm", "text/html"},        {"html", "text/html"},        {"ico", "image/vnd.microsoft.icon"},
      {"jpeg", "image/jpeg"},      {"jpg", "image/jpeg"},        {"js", "text/javascript"},
      {"json", "application/json"}, {"m4a", "audio/mp4"},        {"mov", "video/quicktime"},
      {"mp3", "audio/mpeg"},       {"mp4", "video/mp4"},         {"pdf", "application/pdf"},
      {"plist", "application/x-plist"}, {"png", "image/png"},    {"svg", "image/svg+xml"},
      {"tif", "image/tiff"},       {"tiff", "image/tiff"},       {"txt", "text/plain"},
      {"wav", "audio/wav"},        {"webp", "image/webp"},       {"xml", "application/xml"},
      {"zip", "application/zip"},
  };
  std::string lower = extension;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const auto& [ext, type] : kTypes) {
    if (lower == ext) return type;
  }
  return "application/octet-stream";
}

std::string HCStreamingMultipartFormData::makeBoundary() {
  std::random_device random;
  char text[32];
  std::snprintf(text, sizeof text, "Boundary+%08X%08X", static_cast<unsigned>(random()),
                static_cast<unsigned>(random()));
  return text;
}

HCStreamingMultipartFormData::HCStreamingMultipartFormData(net::URLRequest request, uint64_t stringEncoding)
    : m_request(std::move(request)),
      m_stringEncoding(stringEncoding),
      m_boundary(makeBoundary()),
      m_bodyStream(std::make_shared<HCMultipartBodyStream>(stringEncoding)) {}

HCStreamingMultipartFormData::~HCStreamingMultipartFormData() = default;

bool HCStreamingMultipartFormData::appendPartWithFileURL(const net::URL& fileURL, const std::string& name,
                                                         core::Error* error) {
  std::string fileName = fileURL.lastPathComponent();
  size_t dot = fileName.rfind('.');
  std::string extension = dot == std::string::npos ? std::string() : fileName.substr(dot + 1);
  return appendPartWithFileURL(fileURL, name, fileName, mimeTypeForPathExtension(extension), error);
}

bool HCStreamingMultipartFormData::appendPartWithFileURL(const net::URL& fileURL, const std::string& name,
                                                         const std::string& fileName, const std::string& mimeType,
                                                         core::Error* error) {
  if (hasLineBreak(name) || hasLineBreak(fileName) || hasLineBreak(mimeType)) {
    core::setError(error, lineBreakError("A part's name, file name or type"));
    return false;
  }
  if (!fileURL.isFileURL()) {
    core::setError(error, fileURLError("Expected URL to be a file URL"));
    return false;
  }
  struct stat info {};
  if (::stat(fileURL.path().c_str(), &info) != 0) {
    core::setError(error, fileURLError("File URL not reachable."));
    return false;
  }
  appendPart(fileHeaders(name, fileName, mimeType), fileURL, static_cast<uint64_t>(info.st_size));
  return true;
}

bool HCStreamingMultipartFormData::appendPartWithInputStream(std::shared_ptr<net::InputStream> inputStream,
                                                             const std::string& name, const std::string& fileName,
                                                             int64_t length, const std::string& mimeType,
                                                             core::Error* error) {
  if (hasLineBreak(name) || hasLineBreak(fileName) || hasLineBreak(mimeType)) {
    core::setError(error, lineBreakError("A part's name, file name or type"));
    return false;
  }
  appendPart(fileHeaders(name, fileName, mimeType), std::move(inputStream),
             static_cast<uint64_t>(std::max<int64_t>(length, 0)));
  return true;
}

bool HCStreamingMultipartFormData::appendPartWithFileData(const std::string& data, const std::string& name,
                                                          const std::string& fileName, const std::string& mimeType,
                                                          core::Error* error) {
  if (hasLineBreak(name) || hasLineBreak(fileName) || hasLineBreak(mimeType)) {
    core::setError(error, lineBreakError("A part's name, file name or type"));
    return false;
  }
  return appendPartWithHeaders(fileHeaders(name, fileName, mimeType), data, error);
}

bool HCStreamingMultipartFormData::appendPartWithFormData(const std::string& data, const std::string& name,
                                                          core::Error* error) {
  if (hasLineBreak(name)) {
    core::setError(error, lineBreakError("A part's name"));
    return false;
  }
  return appendPartWithHeaders({{"Content-Disposition", "form-data; name=\"" + name + "\""}}, data, error);
}

bool HCStreamingMultipartFormData::appendPartWithHeaders(const HCPartHeaders& headers, const std::string& body,
                                                         core::Error* error) {
  for (const auto& [field, value] : headers) {
    if (hasLineBreak(field) || hasLineBreak(value)) {
      core::setError(error, lineBreakError("A part's header"));
      return false;
    }
  }
  appendPart(headers, body, body.size());
  return true;
}

void HCStreamingMultipartFormData::appendPart(const HCPartHeaders& headers, HCHTTPBodyPart::Content body,
                                              uint64_t length) {
  auto part = std::make_unique<HCHTTPBodyPart>();
  part->setStringEncoding(m_stringEncoding);
  part->setHeaders(headers);
  part->setBoundary(m_boundary);
  part->setBody(std::move(body));
  part->setBodyContentLength(length);
  m_bodyStream->appendHTTPBodyPart(std::move(part));
}

void HCStreamingMultipartFormData::throttleBandwidthWithPacketSize(uint64_t numberOfBytes, double delay) {
  m_bodyStream->setNumberOfBytesInPacket(numberOfBytes);
  m_bodyStream->setDelay(delay);
}

net::URLRequest HCStreamingMultipartFormData::requestByFinalizingMultipartFormData() {
  if (m_bodyStream->isEmpty()) return m_request;
  m_bodyStream->setInitialAndFinalBoundaries();
  m_request.setHTTPBodyStream(m_bodyStream);
  m_request.setValue("multipart/form-data; boundary=" + m_boundary, "Content-Type");
  m_request.setValue(std::to_string(m_bodyStream->contentLength()), "Content-Length");
  return m_request;
}

}  // namespace kt
