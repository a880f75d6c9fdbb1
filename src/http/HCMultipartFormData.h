#pragma once

#include "platform/core/Error.h"
#include "platform/net/URL.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace net {
class InputStream;
}

namespace kt {

// Part headers in the order they are written.
using HCPartHeaders = std::vector<std::pair<std::string, std::string>>;

// The builder a multipart request's construction callback receives. The append operations
// return false (with *error when given) for input they refuse: names or file names with CR or
// LF, files that cannot be read.
class HCMultipartFormData {
 public:
  virtual ~HCMultipartFormData() = default;

  // File name and MIME type from the file URL's last path component.
  virtual bool appendPartWithFileURL(const net::URL& fileURL, const std::string& name, core::Error* error) = 0;
  virtual bool appendPartWithFileURL(const net::URL& fileURL, const std::string& name, const std::string& fileName,
                                     const std::string& mimeType, core::Error* error) = 0;
  virtual bool appendPartWithInputStream(std::shared_ptr<net::InputStream> inputStream, const std::string& name,
                                         const std::string& fileName, int64_t length, const std::string& mimeType,
                                         core::Error* error = nullptr) = 0;
  virtual bool appendPartWithFileData(const std::string& data, const std::string& name, const std::string& fileName,
                                      const std::string& mimeType, core::Error* error = nullptr) = 0;
  virtual bool appendPartWithFormData(const std::string& data, const std::string& name,
                                      core::Error* error = nullptr) = 0;
  virtual bool appendPartWithHeaders(const HCPartHeaders& headers, const std::string& body,
                                     core::Error* error = nullptr) = 0;
  // At most `numberOfBytes` per read of the body, and a pause of `delay` seconds after each
  // chunk taken from a part.
  virtual void throttleBandwidthWithPacketSize(uint64_t numberOfBytes, double delay) = 0;
};

}  // namespace kt
