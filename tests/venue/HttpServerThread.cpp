#include "venue/HttpServerThread.h"

#include <httplib.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>

namespace venue {

namespace {

// A request read from memory; whatever is written back is dropped.
class MemoryStream : public httplib::Stream {
 public:
  explicit MemoryStream(std::string input) : m_input(std::move(input)) {}

  bool is_readable() const override { return m_at < m_input.size(); }
  bool is_writable() const override { return true; }
  ssize_t read(char* ptr, size_t size) override {
    std::size_t n = std::min(size, m_input.size() - m_at);
    std::memcpy(ptr, m_input.data() + m_at, n);
    m_at += n;
    return static_cast<ssize_t>(n);
  }
  using httplib::Stream::write;
  ssize_t write(const char*, size_t size) override { return static_cast<ssize_t>(size); }
  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    ip = "127.0.0.1";
    port = 0;
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    ip = "127.0.0.1";
    port = 0;
  }
  ::socket_t socket() const override { return INVALID_SOCKET; }

 private:
  std::string m_input;
  std::size_t m_at = 0;
};

// A server without routes, used only to run one request through the library's parser.
class Primer : public httplib::Server {
 public:
  void parseOneRequest() {
    MemoryStream stream("GET / HTTP/1.1\r\nHost: localhost\r\n\r\n");
    bool closed = false;
    process_request(stream, true, closed, nullptr);
  }
};

}  // namespace

std::thread listenInBackground(httplib::Server& server) {
  static std::once_flag primed;
  std::call_once(primed, [] { Primer().parseOneRequest(); });
  return std::thread([&server] { server.listen_after_bind(); });
}

}  // namespace venue
