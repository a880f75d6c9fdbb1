// The venue web server's clips (see WebServer.h).
#include "venue/WebServer.h"

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

  // Players ask for a range of bytes when they seek. The HTTP server cuts the asked range out of
  // the whole body itself (and answers 416 for one it cannot satisfy); the status says it is a part.
  return HttpReply{request.header("Range") ? 206 : 200, "video/mp4", std::move(bytes)};
}

}  // namespace venue
