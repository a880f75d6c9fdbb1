#include "venue/HttpPeer.h"

#include "venue/HttpServerThread.h"

#include <httplib.h>
#include <jpeglib.h>
#include <nlohmann/json.hpp>
#include <zlib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace venue {

namespace {

std::uint16_t portOf(const sockaddr_storage& address) {
  if (address.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
  if (address.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
  return 0;
}

void addressOf(int fd, bool peer, std::string& ip, int& port) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  int result = peer ? ::getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length)
                    : ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ip.clear();
  port = 0;
  if (result != 0) return;
  char text[INET6_ADDRSTRLEN] = {};
  const void* raw = address.ss_family == AF_INET6
                        ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in6&>(address).sin6_addr)
                        : static_cast<const void*>(&reinterpret_cast<const sockaddr_in&>(address).sin_addr);
  if (::inet_ntop(address.ss_family, raw, text, sizeof text)) ip = text;
  port = portOf(address);
}

// Waits until the socket is ready for `events` (POLLIN or POLLOUT); false on time-out or error.
bool waitFor(int fd, short events, int timeoutMs) {
  pollfd entry{fd, events, 0};
  for (;;) {
    int n = ::poll(&entry, 1, timeoutMs);
    if (n < 0 && errno == EINTR) continue;
    return n > 0;
  }
}

int millisecondsOf(time_t seconds, time_t microseconds) {
  return static_cast<int>(seconds * 1000 + microseconds / 1000);
}

// One accepted connection as the library's request code reads and writes it, with a read
// buffer (the library reads request lines a byte at a time).
class ConnectionStream : public httplib::Stream {
 public:
  ConnectionStream(int fd, int readTimeoutMs, int writeTimeoutMs)
      : m_fd(fd), m_readTimeoutMs(readTimeoutMs), m_writeTimeoutMs(writeTimeoutMs) {}

  bool hasBuffered() const { return m_begin < m_end; }

  bool is_readable() const override { return hasBuffered() || waitFor(m_fd, POLLIN, m_readTimeoutMs); }
  bool is_writable() const override { return waitFor(m_fd, POLLOUT, m_writeTimeoutMs); }

  ssize_t read(char* ptr, size_t size) override {
    if (!hasBuffered()) {
      if (!waitFor(m_fd, POLLIN, m_readTimeoutMs)) return -1;
      ssize_t n;
      do {
        n = ::recv(m_fd, m_buffer.data(), m_buffer.size(), 0);
      } while (n < 0 && errno == EINTR);
      if (n <= 0) return n;
      m_begin = 0;
      m_end = static_cast<std::size_t>(n);
    }
    std::size_t n = std::min(size, m_end - m_begin);
    std::memcpy(ptr, m_buffer.data() + m_begin, n);
    m_begin += n;
    return static_cast<ssize_t>(n);
  }

  using httplib::Stream::write;
  ssize_t write(const char* ptr, size_t size) override {
    if (!is_writable()) return -1;
    ssize_t n;
    do {
      n = ::send(m_fd, ptr, size, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return n;
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override { addressOf(m_fd, true, ip, port); }
  void get_local_ip_and_port(std::string& ip, int& port) const override { addressOf(m_fd, false, ip, port); }
  ::socket_t socket() const override { return m_fd; }

 private:
  int m_fd;
  int m_readTimeoutMs;
  int m_writeTimeoutMs;
  std::array<char, 4096> m_buffer{};
  std::size_t m_begin = 0;
  std::size_t m_end = 0;
};

// The library's server with its connections kept here: each accepted socket is registered
// while it is served and closed under the same lock, so stop() and a Close fault can shut a
// connection down without ever touching a descriptor that is not (or no longer) one of ours.
class Server : public httplib::Server {
 public:
  // The library's own stop() does nothing when called before the accept loop has begun, which
  // would leave the loop running forever; closing the listening socket ourselves works in both
  // orders (the loop does not start, or its accept() fails and it ends).
  void closeListener() {
    int fd = svr_sock_.exchange(-1);
    if (fd >= 0) {
      ::shutdown(fd, SHUT_RDWR);
      ::close(fd);
    }
  }

  // Shuts down the connection whose client port is peerPort, or every connection for 0. A
  // shut-down connection ends its wait or read at once; its thread then closes it.
  void shutDownConnections(std::uint16_t peerPort) {
    std::lock_guard lock(m_connectionsMutex);
    for (const auto& [fd, port] : m_connections) {
      if (peerPort == 0 || port == peerPort) ::shutdown(fd, SHUT_RDWR);
    }
  }

 private:
  // Serves one accepted connection on a pool thread: requests one after the other while the
  // client keeps the connection alive, then closes it.
  bool process_and_close_socket(::socket_t sock) override {
    {
      sockaddr_storage peer{};
      socklen_t length = sizeof peer;
      std::uint16_t port = ::getpeername(sock, reinterpret_cast<sockaddr*>(&peer), &length) == 0 ? portOf(peer) : 0;
      std::lock_guard lock(m_connectionsMutex);
      m_connections.emplace(sock, port);
    }
    ConnectionStream stream(sock, millisecondsOf(read_timeout_sec_, read_timeout_usec_),
                            millisecondsOf(write_timeout_sec_, write_timeout_usec_));
    const int keepAliveMs = static_cast<int>(keep_alive_timeout_sec_ * 1000);
    bool ok = false;
    // The listener is checked after the registration above: a stop() that began earlier has
    // closed it, one that begins later finds this connection to shut down.
    for (std::size_t left = keep_alive_max_count_; left > 0 && svr_sock_ != INVALID_SOCKET; --left) {
      if (!stream.hasBuffered() && !waitFor(sock, POLLIN, keepAliveMs)) break;
      bool closed = false;
      ok = process_request(stream, left == 1, closed, nullptr);
      if (!ok || closed) break;
    }
    std::lock_guard lock(m_connectionsMutex);
    m_connections.erase(sock);
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return ok;
  }

  std::mutex m_connectionsMutex;
  std::map<int, std::uint16_t> m_connections;  // descriptor -> client port
};

HeaderList parseQuery(const std::string& query) {
  HeaderList out;
  std::size_t start = 0;
  while (start <= query.size() && !query.empty()) {
    std::size_t end = query.find('&', start);
    if (end == std::string::npos) end = query.size();
    std::string pair = query.substr(start, end - start);
    if (!pair.empty()) {
      std::size_t eq = pair.find('=');
      if (eq == std::string::npos) {
        out.emplace_back(percentDecode(pair, true), "");
      } else {
        out.emplace_back(percentDecode(pair.substr(0, eq), true), percentDecode(pair.substr(eq + 1), true));
      }
    }
    start = end + 1;
  }
  return out;
}

// Applies a MissingKeys or NullValues fault to a JSON object reply; other bodies stay.
std::string alterJson(const std::string& body, const Fault& fault) {
  nlohmann::ordered_json reply = nlohmann::ordered_json::parse(body, nullptr, false);
  if (reply.is_discarded() || !reply.is_object()) return body;
  std::vector<std::string> keys = fault.keys;
  if (keys.empty()) {
    for (auto it = reply.begin(); it != reply.end(); ++it) keys.push_back(it.key());
  }
  for (const std::string& key : keys) {
    if (fault.kind == Fault::Kind::MissingKeys) {
      reply.erase(key);
    } else {
      reply[key] = nullptr;
    }
  }
  return reply.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

const char* const kErrorPage =
    "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>502 Bad Gateway</title></head>\n"
    "<body><h1>502 Bad Gateway</h1><p>The upstream server is not answering.</p></body></html>\n";

}  // namespace

// --- RecordedRequest ------------------------------------------------------------------------

std::optional<std::string> RecordedRequest::header(const std::string& name) const {
  for (const auto& [key, value] : headers) {
    if (::strcasecmp(key.c_str(), name.c_str()) == 0) return value;
  }
  return std::nullopt;
}

std::optional<std::string> RecordedRequest::param(const std::string& name) const {
  for (const auto& [key, value] : params) {
    if (key == name) return value;
  }
  return std::nullopt;
}

std::vector<std::string> RecordedRequest::paramNames() const {
  std::vector<std::string> names;
  for (const auto& entry : params) names.push_back(entry.first);
  return names;
}

// --- HttpPeer -------------------------------------------------------------------------------

HttpPeer::HttpPeer() = default;

HttpPeer::~HttpPeer() { stop(); }

bool HttpPeer::start(std::uint16_t port) {
  if (m_server) return false;
  auto server = std::make_unique<Server>();
  server->set_keep_alive_timeout(2);
  server->set_read_timeout(5, 0);
  server->set_write_timeout(5, 0);
  server->set_tcp_nodelay(true);
  // Only SO_REUSEADDR: the library's default also sets SO_REUSEPORT, which would let a second
  // peer bind a port that is in use and share its connections.
  server->set_socket_options([](int fd) {
    int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  server->set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    // A POST is served once its body has been read, by the handler below.
    if (req.method == "POST") return httplib::Server::HandlerResponse::Unhandled;
    serve(req, res);
    return httplib::Server::HandlerResponse::Handled;
  });
  server->Post(".*", [this](const httplib::Request& req, httplib::Response& res) { serve(req, res); });
  int bound = -1;
  if (port == 0) {
    bound = server->bind_to_any_port("127.0.0.1");
  } else if (server->bind_to_port("127.0.0.1", port)) {
    bound = port;
  }
  if (bound <= 0) return false;
  {
    std::lock_guard lock(m_mutex);
    m_stopping = false;
  }
  m_port = static_cast<std::uint16_t>(bound);
  m_server = std::move(server);
  m_thread = listenInBackground(*m_server);
  return true;
}

void HttpPeer::stop() {
  if (!m_server) return;
  {
    std::lock_guard lock(m_mutex);
    m_stopping = true;
  }
  m_changed.notify_all();
  auto* server = static_cast<Server*>(m_server.get());
  server->closeListener();
  // Idle kept-alive connections would otherwise hold the worker threads until their time-out.
  server->shutDownConnections(0);
  if (m_thread.joinable()) m_thread.join();
  m_server.reset();
}

bool HttpPeer::isRunning() const { return m_server != nullptr; }

void HttpPeer::setFault(const std::string& key, Fault fault) {
  std::lock_guard lock(m_mutex);
  m_faults[key] = std::move(fault);
}

void HttpPeer::clearFault(const std::string& key) {
  std::lock_guard lock(m_mutex);
  m_faults.erase(key);
}

void HttpPeer::clearFaults() {
  std::lock_guard lock(m_mutex);
  m_faults.clear();
}

std::vector<RecordedRequest> HttpPeer::requests() const {
  std::lock_guard lock(m_mutex);
  return m_requests;
}

std::size_t HttpPeer::requestCount() const {
  std::lock_guard lock(m_mutex);
  return m_requests.size();
}

RecordedRequest HttpPeer::request(std::size_t index) const {
  std::lock_guard lock(m_mutex);
  return index < m_requests.size() ? m_requests[index] : RecordedRequest{};
}

RecordedRequest HttpPeer::lastRequest() const {
  std::lock_guard lock(m_mutex);
  return m_requests.empty() ? RecordedRequest{} : m_requests.back();
}

std::vector<RecordedRequest> HttpPeer::requestsTo(const std::string& endpoint) const {
  std::lock_guard lock(m_mutex);
  std::vector<RecordedRequest> out;
  for (const RecordedRequest& r : m_requests) {
    if (r.endpoint == endpoint) out.push_back(r);
  }
  return out;
}

void HttpPeer::clearRequests() {
  std::lock_guard lock(m_mutex);
  m_requests.clear();
  m_answers = 0;
}

bool HttpPeer::waitForRequests(std::size_t count, double timeoutSeconds) const {
  std::unique_lock lock(m_mutex);
  return m_changed.wait_for(lock, std::chrono::duration<double>(timeoutSeconds),
                            [&] { return m_requests.size() >= count; });
}

bool HttpPeer::waitForAnswers(std::size_t count, double timeoutSeconds) const {
  std::unique_lock lock(m_mutex);
  return m_changed.wait_for(lock, std::chrono::duration<double>(timeoutSeconds),
                            [&] { return m_answers >= count; });
}

std::optional<Fault> HttpPeer::takeFault(const RecordedRequest& request) {
  std::lock_guard lock(m_mutex);
  for (const std::string& key : {request.path, request.endpoint, std::string("*")}) {
    auto it = m_faults.find(key);
    if (it == m_faults.end()) continue;
    Fault fault = it->second;
    if (it->second.times > 0 && --it->second.times == 0) m_faults.erase(it);
    return fault;
  }
  return std::nullopt;
}

bool HttpPeer::hold(const Fault& fault) {
  {
    std::unique_lock lock(m_mutex);
    if (fault.delay.count() > 0) {
      m_changed.wait_for(lock, fault.delay, [&] { return m_stopping; });
    }
    if (m_stopping) return false;
  }
  if (fault.gate) {
    fault.gate->pass([this] {
      std::lock_guard lock(m_mutex);
      return m_stopping;
    });
  }
  std::lock_guard lock(m_mutex);
  return !m_stopping;
}

void HttpPeer::closeConnectionOf(const httplib::Request& req) {
  if (req.remote_port > 0) {
    static_cast<Server*>(m_server.get())->shutDownConnections(static_cast<std::uint16_t>(req.remote_port));
  }
}

void HttpPeer::serve(const httplib::Request& req, httplib::Response& res) {
  RecordedRequest record;
  record.method = req.method;
  record.target = req.target;
  record.version = req.version;
  std::size_t mark = req.target.find('?');
  record.rawPath = req.target.substr(0, mark);
  record.hasQuery = mark != std::string::npos;
  if (record.hasQuery) record.query = req.target.substr(mark + 1);
  record.path = percentDecode(record.rawPath, false);
  record.params = parseQuery(record.query);
  for (const auto& [name, value] : req.headers) {
    // The library adds these two itself; they were not sent.
    if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" || name == "LOCAL_PORT") continue;
    record.headers.emplace_back(name, value);
  }
  record.body = req.body;
  record.endpoint = endpointOf(record);
  {
    std::lock_guard lock(m_mutex);
    m_requests.push_back(record);
  }
  m_changed.notify_all();

  auto answered = [this] {
    {
      std::lock_guard lock(m_mutex);
      ++m_answers;
    }
    m_changed.notify_all();
  };

  std::optional<Fault> fault = takeFault(record);
  Fault::Kind kind = fault ? fault->kind : Fault::Kind::None;
  if (fault && !hold(*fault)) {
    closeConnectionOf(req);
    res.status = 503;
    answered();
    return;
  }

  HttpReply reply;
  switch (kind) {
    case Fault::Kind::Close:
      closeConnectionOf(req);
      res.status = 503;  // never reaches the client: the connection is gone
      answered();
      return;
    case Fault::Kind::Html:
      reply = {200, "text/html; charset=utf-8", kErrorPage};
      break;
    case Fault::Kind::EmptyBody:
      reply = {200, "text/plain; charset=utf-8", ""};
      break;
    case Fault::Kind::JsonNull:
      reply = {200, "application/json; charset=utf-8", "null"};
      break;
    case Fault::Kind::Body:
      reply = {fault->statusCode, fault->contentType, fault->body};
      break;
    case Fault::Kind::Redirect:
      reply = {302, "text/html; charset=utf-8", "<html><body>Moved</body></html>",
               {{"Location", fault->location.rfind('/', 0) == 0 ? baseUrl() + fault->location : fault->location}}};
      break;
    default:
      reply = handle(record);
      break;
  }
  if (kind == Fault::Kind::Status) reply.status = fault->statusCode;
  if (kind == Fault::Kind::MissingKeys || kind == Fault::Kind::NullValues) reply.body = alterJson(reply.body, *fault);
  if (kind == Fault::Kind::NonUtf8) reply.body = std::string("\xff\xfe\xc0\xaf", 4) + reply.body;

  res.status = reply.status;
  for (const auto& [name, value] : reply.headers) res.set_header(name, value);
  // The HTTP library cuts an asked range out of any body it sends; only a reply that says it is
  // a part (206) is cut, any other goes whole, as a server that ignores the range sends it.
  if (reply.status != 206) const_cast<httplib::Request&>(req).ranges.clear();
  if (kind == Fault::Kind::Stalled) {
    auto body = std::make_shared<std::string>(std::move(reply.body));
    res.set_content_provider(body->size(), reply.contentType,
                             [this, body](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                               std::size_t half = body->size() / 2;
                               if (offset < half) return sink.write(body->data() + offset, half - offset);
                               Fault forever;
                               forever.delay = std::chrono::hours(1);
                               hold(forever);  // until the peer stops
                               return false;
                             });
  } else if (kind == Fault::Kind::Truncated) {
    // The full length is declared; the provider writes half of it and then fails, which makes the
    // server drop the connection.
    auto body = std::make_shared<std::string>(std::move(reply.body));
    res.set_content_provider(body->size(), reply.contentType,
                             [body](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                               std::size_t half = body->size() / 2;
                               if (offset < half) sink.write(body->data() + offset, half - offset);
                               return false;
                             });
  } else if (reply.chunkSize > 0) {
    auto body = std::make_shared<std::string>(std::move(reply.body));
    const std::size_t piece = reply.chunkSize;
    res.set_chunked_content_provider(reply.contentType, [body, piece](std::size_t offset, httplib::DataSink& sink) {
      if (offset < body->size()) {
        sink.write(body->data() + offset, std::min(piece, body->size() - offset));
      } else {
        sink.done();
      }
      return true;
    });
  } else if (reply.status != 304) {
    res.set_content(reply.body, reply.contentType.c_str());
  }
  answered();
}

// --- pictures -------------------------------------------------------------------------------

Rgb colourFor(const std::string& seed) {
  std::uint32_t h = 2166136261u;  // FNV-1a
  for (unsigned char c : seed) {
    h ^= c;
    h *= 16777619u;
  }
  // Keep the colours in the middle range so the band and the border stand out.
  return Rgb{static_cast<std::uint8_t>(60 + (h & 0x7f)), static_cast<std::uint8_t>(60 + ((h >> 8) & 0x7f)),
             static_cast<std::uint8_t>(60 + ((h >> 16) & 0x7f))};
}

namespace {

int clampSize(int v) { return std::clamp(v, 1, 4096); }

}  // namespace

std::vector<std::uint8_t> drawPicture(int width, int height, const std::string& seed) {
  Rgb base = colourFor(seed);
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 3);
  int border = std::max(1, std::min(width, height) / 32);
  int band = std::max(1, (width + height) / 12);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      Rgb p = base;
      bool edge = x < border || y < border || x >= width - border || y >= height - border;
      int diagonal = x * height / std::max(1, width) - y;
      if (edge) {
        p = Rgb{static_cast<std::uint8_t>(base.r / 2), static_cast<std::uint8_t>(base.g / 2),
                static_cast<std::uint8_t>(base.b / 2)};
      } else if (std::abs(diagonal) < band) {
        p = Rgb{static_cast<std::uint8_t>(base.r + 60), static_cast<std::uint8_t>(base.g + 60),
                static_cast<std::uint8_t>(base.b + 60)};
      }
      std::size_t at = (static_cast<std::size_t>(y) * width + x) * 3;
      pixels[at] = p.r;
      pixels[at + 1] = p.g;
      pixels[at + 2] = p.b;
    }
  }
  return pixels;
}

namespace {

void appendBE32(std::string& out, std::uint32_t v) {
  out.push_back(static_cast<char>(v >> 24));
  out.push_back(static_cast<char>(v >> 16));
  out.push_back(static_cast<char>(v >> 8));
  out.push_back(static_cast<char>(v));
}

void appendChunk(std::string& out, const char type[4], const std::string& data) {
  appendBE32(out, static_cast<std::uint32_t>(data.size()));
  std::string typed(type, 4);
  typed += data;
  out += typed;
  uLong crc = ::crc32(0L, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size()));
  appendBE32(out, static_cast<std::uint32_t>(crc));
}

struct JpegError {
  jpeg_error_mgr manager{};
  std::jmp_buf jump{};
};

void jpegFail(j_common_ptr info) {
  JpegError* error = reinterpret_cast<JpegError*>(info->err);
  std::longjmp(error->jump, 1);
}

}  // namespace

std::string makePng(int width, int height, const std::string& seed) {
  width = clampSize(width);
  height = clampSize(height);
  return encodePng(drawPicture(width, height, seed), width, height, 3);
}

std::string encodePng(const std::vector<std::uint8_t>& pixels, int width, int height, int channels) {
  std::string raw;
  std::size_t stride = static_cast<std::size_t>(width) * channels;
  raw.reserve((stride + 1) * height);
  for (int y = 0; y < height; ++y) {
    raw.push_back('\0');  // filter: none
    raw.append(reinterpret_cast<const char*>(pixels.data() + y * stride), stride);
  }
  uLongf packedSize = ::compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packedSize, '\0');
  ::compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(raw.data()),
              static_cast<uLong>(raw.size()), 6);
  packed.resize(packedSize);

  std::string png("\x89PNG\r\n\x1a\n", 8);
  std::string header;
  appendBE32(header, static_cast<std::uint32_t>(width));
  appendBE32(header, static_cast<std::uint32_t>(height));
  // 8 bits, RGB or RGBA, deflate, no filter set, no interlace
  header += channels == 4 ? std::string("\x08\x06\x00\x00\x00", 5) : std::string("\x08\x02\x00\x00\x00", 5);
  appendChunk(png, "IHDR", header);
  appendChunk(png, "IDAT", packed);
  appendChunk(png, "IEND", "");
  return png;
}

std::string makeJpeg(int width, int height, const std::string& seed) {
  width = clampSize(width);
  height = clampSize(height);
  return encodeJpeg(drawPicture(width, height, seed), width, height);
}

std::string encodeJpeg(const std::vector<std::uint8_t>& pixels, int width, int height, const std::string& app1,
                       bool progressive) {
  jpeg_compress_struct info{};
  JpegError error;
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = jpegFail;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  if (setjmp(error.jump) != 0) {
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return {};
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 85, TRUE);
  if (progressive) jpeg_simple_progression(&info);
  jpeg_start_compress(&info, TRUE);
  // Right after the JFIF segment, where cameras put theirs.
  if (!app1.empty()) {
    jpeg_write_marker(&info, JPEG_APP0 + 1, reinterpret_cast<const JOCTET*>(app1.data()),
                      static_cast<unsigned>(app1.size()));
  }
  std::size_t stride = static_cast<std::size_t>(width) * 3;
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(pixels.data() + info.next_scanline * stride);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::string out(reinterpret_cast<const char*>(buffer), size);
  std::free(buffer);
  return out;
}

std::string percentDecode(const std::string& text, bool plusIsSpace) {
  auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2])));
      i += 2;
    } else if (c == '+' && plusIsSpace) {
      out.push_back(' ');
    } else {
      out.push_back(c);
    }
  }
  return out;
}

}  // namespace venue
