#pragma once

// A display server played by the test: it answers the first exchange as a real one does (the
// Wayland compositor's registry with the globals a window needs and the sync's callback, the X
// server's set-up of one true-colour screen) and then
// misbehaves on the connections after it, which are the window system's own: takes them and never
// answers (Stalls), closes each at once (ClosesAtOnce), or, a compositor, answers each with the
// display's error (a protocol error, as on a registry it refuses) and closes it (ErrsAtOnce), or
// closes it only when the next connection comes (ErrsThenClosesLate: the close after the error
// that comes after the window system has read the error, as on a busy machine). Or
// it never answers anything, its
// connections left waiting in its queue (Silent: a server hung or stopped while it starts), closes
// every connection at once, the first too (ClosesAll: one that dies during its start), refuses
// every X connection with words of the test's (Refuses), or answers every connection's first
// exchange and keeps it (Answers: alive, as far as a first exchange tells). As a Wayland compositor at a
// socket path of the caller's, as a local X server of a number of its own (on the abstract socket
// Xlib tries first, the number's lock file held), or as an X server over TCP on the loopback.

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace support {

// The bytes of a display server's first answers, in this machine's byte order (the order a local
// client announces).
namespace displaybytes {

inline void put16(std::string& s, uint16_t v) { s.append(reinterpret_cast<const char*>(&v), 2); }
inline void put32(std::string& s, uint32_t v) { s.append(reinterpret_cast<const char*>(&v), 4); }
// Zeros up to the next multiple of four bytes.
inline void pad(std::string& s) { s.resize((s.size() + 3) & ~size_t{3}, '\0'); }
// An X server's set-up answer of `status` (0 refused, 1 success, 2 authenticate): its header,
// protocol 11.0 and the length of `body` in words, then `body`.
inline std::string xAnswer(uint8_t status, uint8_t reasonLength, const std::string& body) {
  std::string s;
  s.push_back(static_cast<char>(status));
  s.push_back(static_cast<char>(reasonLength));
  put16(s, 11);
  put16(s, 0);
  put16(s, static_cast<uint16_t>(body.size() / 4));
  return s + body;
}

}  // namespace displaybytes

class StandInDisplay {
 public:
  enum Behaviour { Stalls, ClosesAtOnce, Silent, ClosesAll, Refuses, Answers, ErrsAtOnce, ErrsThenClosesLate };

  static std::unique_ptr<StandInDisplay> wayland(const std::string& path, Behaviour behaviour) {
    std::unique_ptr<StandInDisplay> d(new StandInDisplay(behaviour, false, ""));
    if (!d->listenLocal(path, false)) return nullptr;
    d->m_path = path;
    d->begin();
    return d;
  }
  // A local X server (`tcp` false) or one on 127.0.0.1 (display "127.0.0.1:N").
  static std::unique_ptr<StandInDisplay> x11(Behaviour behaviour, bool tcp = false, const std::string& refusal = "") {
    std::unique_ptr<StandInDisplay> d(new StandInDisplay(behaviour, true, refusal));
    for (int n = 900 + static_cast<int>(getpid() % 90), i = 0; i < 90 && d->m_display.empty(); ++i, n = 900 + (n - 899) % 90) {
      const std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
      int fd = ::open(lock.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0444);
      if (fd < 0) continue;
      char text[16];
      std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(getpid()));
      const bool written = write(fd, text, std::strlen(text)) == static_cast<ssize_t>(std::strlen(text));
      close(fd);
      const bool listening =
          written && (tcp ? d->listenTcp(6000 + n) : d->listenLocal("/tmp/.X11-unix/X" + std::to_string(n), true));
      if (listening) {
        d->m_display = (tcp ? "127.0.0.1:" : ":") + std::to_string(n);
        d->m_lock = lock;
      } else {
        if (d->m_fd >= 0) close(d->m_fd);
        d->m_fd = -1;
        unlink(lock.c_str());
      }
    }
    if (d->m_display.empty()) return nullptr;
    d->begin();
    return d;
  }

  ~StandInDisplay() {
    if (m_thread.joinable()) {
      const uint64_t one = 1;
      ssize_t written = write(m_stop, &one, sizeof one);
      (void)written;
      m_thread.join();
    }
    for (int fd : m_connections) close(fd);
    if (m_lateClose >= 0) close(m_lateClose);
    if (m_stop >= 0) close(m_stop);
    if (m_fd >= 0) close(m_fd);
    if (!m_path.empty()) unlink(m_path.c_str());
    if (!m_lock.empty()) unlink(m_lock.c_str());
  }
  StandInDisplay(const StandInDisplay&) = delete;
  StandInDisplay& operator=(const StandInDisplay&) = delete;

  // ":N" or "127.0.0.1:N" for an X server.
  const std::string& display() const { return m_display; }
  // Until its thread waits for connections (true), or a minute: a test that forks meanwhile would
  // give its child an allocator's lock the thread held while it started (the sanitizers').
  bool waitUntilServing() const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!m_serving && m_behaviour != Silent && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return m_serving || m_behaviour == Silent;
  }
  // Connections taken so far.
  int accepted() const { return m_accepted; }
  // Until `count` connections were taken (true) or a minute has passed.
  bool waitForConnections(int count) const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (m_accepted < count && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return m_accepted >= count;
  }

  // The bytes of an X server's set-up answer: one screen, its root window 24-bit true colour.
  static std::string xSetupSuccess() {
    std::string b;
    displaybytes::put32(b, 0);           // release
    displaybytes::put32(b, 0x00200000);  // resource id base
    displaybytes::put32(b, 0x001fffff);  // resource id mask: Xlib refuses a set-up without one
    displaybytes::put32(b, 0);           // motion buffer size
    const std::string vendor = "Stand-in";
    displaybytes::put16(b, static_cast<uint16_t>(vendor.size()));
    displaybytes::put16(b, 0xffff);
    b.push_back(1);  // one screen
    b.push_back(1);  // one pixmap format
    b.append(6, '\0');
    displaybytes::put32(b, 0);
    b += vendor;
    displaybytes::pad(b);
    b.append(8, '\0');  // the format
    for (int i = 0; i < 5; ++i) displaybytes::put32(b, 0x100 + i);
    for (int i = 0; i < 6; ++i) displaybytes::put16(b, 1024);
    displaybytes::put32(b, 0x21);  // root visual
    b.push_back(0);
    b.push_back(0);
    b.push_back(24);  // root depth
    b.push_back(1);   // one depth
    b.push_back(24);
    b.push_back(0);
    displaybytes::put16(b, 1);  // one visual
    displaybytes::put32(b, 0);
    displaybytes::put32(b, 0x21);
    b.push_back(4);  // true colour
    b.push_back(8);
    displaybytes::put16(b, 256);
    displaybytes::put32(b, 0xff0000);
    displaybytes::put32(b, 0xff00);
    displaybytes::put32(b, 0xff);
    displaybytes::put32(b, 0);
    return displaybytes::xAnswer(1, 0, b);
  }
  // An X server's refusal of a connection with `reason`.
  static std::string xRefusal(const std::string& reason) {
    std::string b = reason.substr(0, 255);
    displaybytes::pad(b);
    return displaybytes::xAnswer(0, static_cast<uint8_t>(std::min<size_t>(reason.size(), 255)), b);
  }

 private:
  StandInDisplay(Behaviour behaviour, bool x11, std::string refusal)
      : m_behaviour(behaviour), m_x11(x11), m_refusal(std::move(refusal)) {}

  // The compositor's answer to the look's first exchange (the registry asked for as object 2, then
  // a sync with callback 3): the globals a window needs, then the callback's done event; then the
  // answer to the bind of wl_shm (object 4) and the sync that follows it (callback 5): the two
  // formats every wl_shm has, and that callback's done event.
  static std::string waylandRegistryDone() {
    std::string s;
    uint32_t name = 0;
    for (const auto& [interface, version] : {std::pair<std::string, uint32_t>{"wl_compositor", 4}, {"wl_subcompositor", 1},
                                             {"wl_shm", 1}, {"wl_seat", 7}, {"wl_output", 3}, {"xdg_wm_base", 3}}) {
      std::string a;
      displaybytes::put32(a, ++name);
      displaybytes::put32(a, static_cast<uint32_t>(interface.size() + 1));
      a += interface;
      a.push_back('\0');
      displaybytes::pad(a);
      displaybytes::put32(a, version);
      displaybytes::put32(s, 2);
      displaybytes::put32(s, static_cast<uint32_t>((8 + a.size()) << 16) | 0);
      s += a;
    }
    displaybytes::put32(s, 3);
    displaybytes::put32(s, (12u << 16) | 0);
    displaybytes::put32(s, 1);
    for (const uint32_t format : {0u, 1u}) {  // ARGB8888, XRGB8888
      displaybytes::put32(s, 4);
      displaybytes::put32(s, (12u << 16) | 0);
      displaybytes::put32(s, format);
    }
    displaybytes::put32(s, 5);
    displaybytes::put32(s, (12u << 16) | 0);
    displaybytes::put32(s, 2);
    return s;
  }

  // wl_display.error on the display itself, with `words`.
  static std::string waylandError(uint32_t code, const std::string& words) {
    std::string a;
    displaybytes::put32(a, 1);  // the object: wl_display
    displaybytes::put32(a, code);
    displaybytes::put32(a, static_cast<uint32_t>(words.size() + 1));
    a += words;
    a.push_back('\0');
    displaybytes::pad(a);
    std::string s;
    displaybytes::put32(s, 1);
    displaybytes::put32(s, static_cast<uint32_t>((8 + a.size()) << 16) | 0);
    return s + a;
  }

  bool listenLocal(const std::string& path, bool abstract) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const size_t offset = abstract ? 1 : 0;
    if (path.size() + offset >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path + offset, path.data(), path.size());
    const socklen_t length =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size() + (abstract ? 0 : 1));
    m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0) return false;
    return bind(m_fd, reinterpret_cast<sockaddr*>(&addr), length) == 0 && ::listen(m_fd, 64) == 0;
  }
  bool listenTcp(int port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0) return false;
    return bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && ::listen(m_fd, 64) == 0;
  }

  void begin() {
    // A silent server only lets its connections wait in the queue.
    if (m_behaviour == Silent) return;
    m_stop = eventfd(0, EFD_CLOEXEC);
    m_thread = std::thread([this] { serve(); });
  }

  void serve() {
    m_serving = true;
    for (;;) {
      pollfd p[2] = {{m_fd, POLLIN, 0}, {m_stop, POLLIN, 0}};
      if (poll(p, 2, -1) < 0) continue;
      if (p[1].revents) return;
      const int c = accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
      if (c < 0) continue;
      if (m_lateClose >= 0) {
        close(m_lateClose);
        m_lateClose = -1;
      }
      const int index = m_accepted;
      const bool errs = m_behaviour == ErrsAtOnce || m_behaviour == ErrsThenClosesLate;
      std::string answer;
      if (m_behaviour == Refuses) answer = xRefusal(m_refusal);
      else if (errs && index > 0) answer = waylandError(1, "invalid method get_registry");
      else if ((index == 0 || m_behaviour == Answers) && m_behaviour != ClosesAll) answer = m_x11 ? xSetupSuccess() : waylandRegistryDone();
      if (!answer.empty()) {
        ssize_t sent = send(c, answer.data(), answer.size(), MSG_NOSIGNAL);
        (void)sent;
      }
      if (m_behaviour == ClosesAll || ((m_behaviour == ClosesAtOnce || m_behaviour == ErrsAtOnce) && index > 0)) close(c);
      else if (m_behaviour == ErrsThenClosesLate && index > 0) m_lateClose = c;
      else m_connections.push_back(c);
      ++m_accepted;
    }
  }

  Behaviour m_behaviour;
  bool m_x11;
  std::string m_refusal;
  int m_fd = -1;
  int m_stop = -1;
  std::string m_path, m_lock, m_display;
  std::vector<int> m_connections;  // the server thread's until it has ended
  int m_lateClose = -1;            // ErrsThenClosesLate's connection, closed at the next one
  std::thread m_thread;
  std::atomic<int> m_accepted{0};
  std::atomic<bool> m_serving{false};
};

}  // namespace support
