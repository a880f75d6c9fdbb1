#pragma once

#include "platform/net/URLRequest.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace net {

// What a download cancelled for resuming leaves behind: the address and header fields of its
// request, its partial file, how many bytes of the reply that file holds, and the validators
// (ETag, Last-Modified) with which the server confirms that the rest belongs to the same reply.
// Callers carry it as an opaque blob (a property list) and hand it back to the session.
struct DownloadResumeData {
  std::string url;
  HeaderFields requestHeaders;
  std::string filePath;
  int64_t bytesReceived = 0;
  std::optional<std::string> entityTag;
  std::optional<std::string> lastModified;

  std::string encode() const;
  // Nothing for a blob that is not resume data written by encode(): unreadable, of another
  // kind, missing a field, without a validator, or naming a file that is not a download file of
  // this process's kind (resume data from elsewhere must not make the session write to, or
  // remove, any other file).
  static std::optional<DownloadResumeData> decode(std::string_view blob);

  // The folder download files are made in, and whether a path names such a file.
  static std::string downloadDirectory();
  static bool isDownloadFilePath(const std::string& path);
  // The name prefix of download files.
  static constexpr const char* FilePrefix = "net-download-";
};

}  // namespace net
