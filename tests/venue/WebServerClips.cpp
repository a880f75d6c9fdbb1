// The venue web server's clips (see WebServer.h).
#include "venue/WebServer.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace venue {

std::string WebServer::clipPath() { return KT_VENUE_CLIP; }

std::string WebServer::clipBytes() {
  std::ifstream in(clipPath(), std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::string WebServer::brokenClipBytes() {
  std::string bytes = clipBytes();
  // The first box ("ftyp", 32 bytes) stays, so the file still announces MP4; every byte after
  // it is scrambled, so the boxes that follow make no sense.
  for (std::size_t i = 32; i < bytes.size(); ++i) {
    bytes[i] = static_cast<char>((static_cast<unsigned char>(bytes[i]) * 7 + 13) & 0xff);
  }
  return bytes;
}

std::optional<HttpReply> WebServer::clipReply(const RecordedRequest& request) {
  if (request.path.rfind("/clips/", 0) != 0) return std::nullopt;
  std::string bytes;
  if (request.path == "/clips/sample.mp4") bytes = clipBytes();
  if (request.path == "/clips/broken.mp4") bytes = brokenClipBytes();
  if (bytes.empty()) return HttpReply{404, "text/html", "<html><body>404 Not Found</body></html>"};

  // One range of bytes, "bytes=<first>-[<last>]", as players ask when they seek.
  const std::size_t size = bytes.size();
  std::optional<std::string> range = request.header("Range");
  unsigned long long first = 0;
  unsigned long long last = size - 1;
  if (range && range->rfind("bytes=", 0) == 0) {
    const std::string spec = range->substr(6);
    const std::size_t dash = spec.find('-');
    try {
      if (dash == std::string::npos || dash == 0) throw std::invalid_argument("range");
      first = std::stoull(spec.substr(0, dash));
      if (dash + 1 < spec.size()) last = std::min<unsigned long long>(std::stoull(spec.substr(dash + 1)), size - 1);
    } catch (const std::exception&) {
      return HttpReply{416, "text/plain", "", {{"Content-Range", "bytes */" + std::to_string(size)}}};
    }
    if (first >= size || first > last) {
      return HttpReply{416, "text/plain", "", {{"Content-Range", "bytes */" + std::to_string(size)}}};
    }
    return HttpReply{206, "video/mp4", bytes.substr(first, last - first + 1),
                     {{"Accept-Ranges", "bytes"},
                      {"Content-Range", "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
                                            std::to_string(size)}}};
  }
  return HttpReply{200, "video/mp4", std::move(bytes), {{"Accept-Ranges", "bytes"}}};
}

}  // namespace venue
