#include "platform/net/DownloadResumeData.h"

#include "platform/core/PropertyList.h"
#include "platform/core/Value.h"
#include "platform/net/URL.h"

#include <filesystem>

namespace net {

namespace {
// The format marker: a blob without it is not resume data of ours.
constexpr const char* kFormatKey = "ResumeDataFormat";
constexpr const char* kFormat = "net.download.1";
}  // namespace

std::string DownloadResumeData::encode() const {
  core::Value::Array headers;
  for (const auto& [name, value] : requestHeaders) headers.push_back(core::Value::Array{name, value});
  core::Value plist{core::Value::Dictionary{}};
  plist.set(kFormatKey, kFormat);
  plist.set("URL", url);
  plist.set("RequestHeaders", std::move(headers));
  plist.set("TemporaryFile", filePath);
  plist.set("BytesReceived", bytesReceived);
  if (entityTag) plist.set("ETag", *entityTag);
  if (lastModified) plist.set("LastModified", *lastModified);
  return core::PropertyList::serialize(plist).value_or(std::string());
}

std::optional<DownloadResumeData> DownloadResumeData::decode(std::string_view blob) {
  auto plist = core::PropertyList::parse(blob);
  if (!plist || !plist->isDictionary()) return std::nullopt;
  const core::Value& format = (*plist)[kFormatKey];
  if (!format.isString() || *format.asString() != kFormat) return std::nullopt;
  const core::Value& url = (*plist)["URL"];
  const core::Value& path = (*plist)["TemporaryFile"];
  const core::Value& bytes = (*plist)["BytesReceived"];
  if (!url.isString() || !path.isString() || !bytes.isInteger()) return std::nullopt;
  auto address = URL::fromString(*url.asString());
  if (!address || (address->scheme() != "http" && address->scheme() != "https")) return std::nullopt;

  DownloadResumeData data;
  data.url = *url.asString();
  data.filePath = *path.asString();
  data.bytesReceived = *bytes.asInteger();
  if (data.bytesReceived < 0 || !isDownloadFilePath(data.filePath)) return std::nullopt;
  if (const core::Value& tag = (*plist)["ETag"]; tag.isString()) data.entityTag = *tag.asString();
  if (const core::Value& date = (*plist)["LastModified"]; date.isString()) data.lastModified = *date.asString();
  if (!data.entityTag && !data.lastModified) return std::nullopt;
  if (const core::Value& headers = (*plist)["RequestHeaders"]; !headers.isNull()) {
    if (!headers.isArray()) return std::nullopt;
    for (const core::Value& field : *headers.asArray()) {
      if (!field.isArray() || field.size() != 2 || !field.at(0).isString() || !field.at(1).isString()) return std::nullopt;
      data.requestHeaders.emplace_back(*field.at(0).asString(), *field.at(1).asString());
    }
  }
  return data;
}

std::string DownloadResumeData::downloadDirectory() {
  std::error_code ec;
  std::string dir = std::filesystem::temp_directory_path(ec).string();
  if (ec || dir.empty()) dir = "/tmp";
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

bool DownloadResumeData::isDownloadFilePath(const std::string& path) {
  const std::string prefix = downloadDirectory() + "/" + FilePrefix;
  if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0) return false;
  // The rest is a file name of the folder itself: no further folder, no ".." to climb out.
  return path.find('/', prefix.size()) == std::string::npos;
}

}  // namespace net
