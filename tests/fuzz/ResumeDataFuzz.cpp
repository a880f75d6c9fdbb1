// Download resume data: the input is a blob handed back to the URL session. Data that reads
// names a download file of the session's own folder, a byte count that is not negative and a
// validator, and writes back to a blob that reads to the same fields.

#include <string>

#include "FuzzCheck.h"
#include "platform/net/DownloadResumeData.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto read = net::DownloadResumeData::decode(fuzz::bytes(data, size));
  if (!read) return 0;
  KT_FUZZ_CHECK(net::DownloadResumeData::isDownloadFilePath(read->filePath));
  KT_FUZZ_CHECK(read->bytesReceived >= 0);
  KT_FUZZ_CHECK(read->entityTag || read->lastModified);
  auto again = net::DownloadResumeData::decode(read->encode());
  KT_FUZZ_CHECK(again);
  KT_FUZZ_CHECK(again->url == read->url && again->filePath == read->filePath &&
                again->bytesReceived == read->bytesReceived && again->entityTag == read->entityTag &&
                again->lastModified == read->lastModified && again->requestHeaders == read->requestHeaders);
  return 0;
}
