#pragma once

// A display's connections passed through the test: a local X server's, as a display of a number
// of its own (on the abstract socket Xlib tries first, the number's lock file held), or a Wayland
// compositor's, on a socket path of the caller's (the descriptors a message carries passed on with
// its bytes). It counts the bytes the server sends, in all its connections, and plays a server that
// fails at a byte of its answers: cut at a count (every connection closed after exactly that many
// bytes in all, and no new ones taken: a server that died there), or hold at a count (what the
// server sends beyond it on the connections made so far is kept back until release(), while new
// connections pass: a server that stopped answering one client).

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/PassedDescriptors.h"

namespace support {

class DisplayProxy {
 public:
  // Before the display's server bytes reach `cutAt` (0: never) or `holdAt` (0: never).
  struct Failure {
    size_t cutAt = 0;
    size_t holdAt = 0;
  };

  // For the local X server `upstream` (":N"); null when no display number was free.
  static std::unique_ptr<DisplayProxy> x11(const std::string& upstream) { return x11(upstream, Failure{}); }
  static std::unique_ptr<DisplayProxy> x11(const std::string& upstream, Failure failure) {
    std::unique_ptr<DisplayProxy> p(new DisplayProxy(failure));
    p->m_upstream = "/tmp/.X11-unix/X" + upstream.substr(1);
    for (int n = 1000 + static_cast<int>(getpid() % 90), i = 0; i < 90 && p->m_display.empty();
         ++i, n = 1000 + (n - 999) % 90) {
      const std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
      const int fd = ::open(lock.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0444);
      if (fd < 0) continue;
      char text[16];
      std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(getpid()));
      const bool written = write(fd, text, std::strlen(text)) == static_cast<ssize_t>(std::strlen(text));
      close(fd);
      if (written && p->listenAbstract("/tmp/.X11-unix/X" + std::to_string(n))) {
        p->m_display = ":" + std::to_string(n);
        p->m_lock = lock;
      } else {
        if (p->m_listener >= 0) close(p->m_listener);
        p->m_listener = -1;
        unlink(lock.c_str());
      }
    }
    if (p->m_display.empty()) return nullptr;
    p->startThread();
    return p;
  }

  // For the compositor listening at `upstream` (a socket path), on the socket path `path` (for
  // the client's WAYLAND_DISPLAY, in its XDG_RUNTIME_DIR); null when it cannot listen there.
  static std::unique_ptr<DisplayProxy> wayland(const std::string& upstream, const std::string& path) {
    return wayland(upstream, path, Failure{});
  }
  static std::unique_ptr<DisplayProxy> wayland(const std::string& upstream, const std::string& path,
                                               Failure failure) {
    std::unique_ptr<DisplayProxy> p(new DisplayProxy(failure));
    p->m_upstream = upstream;
    p->m_passDescriptors = true;
    sockaddr_un addr{};
    if (path.size() >= sizeof addr.sun_path) return nullptr;
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.data(), path.size());
    p->m_listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (p->m_listener < 0 || bind(p->m_listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return nullptr;
    p->m_path = path;  // removed with the proxy
    if (::listen(p->m_listener, 64) != 0) return nullptr;
    p->startThread();
    return p;
  }

  ~DisplayProxy() {
    m_stopping = true;
    wake();
    if (m_thread.joinable()) m_thread.join();
    for (Pair& pair : m_pairs) pair.close();
    if (m_listener >= 0) close(m_listener);
    if (m_wake >= 0) close(m_wake);
    if (!m_lock.empty()) unlink(m_lock.c_str());
    if (!m_path.empty()) unlink(m_path.c_str());
  }
  DisplayProxy(const DisplayProxy&) = delete;
  DisplayProxy& operator=(const DisplayProxy&) = delete;

  // ":N", for the client's DISPLAY.
  const std::string& display() const { return m_display; }
  // The bytes the server has sent so far, in all its connections (those passed on or held).
  size_t serverBytes() const { return m_serverBytes; }
  bool hasCut() const { return m_cut; }
  // Until the server's bytes reached the hold's count and some were kept back (true), or a minute.
  bool waitUntilHolding() const { return waitFor([this] { return m_holding.load(); }); }
  // What was kept back is passed on, and all that follows.
  void release() {
    m_release = true;
    wake();
  }

 private:
  struct Pair {
    int client = -1, server = -1;
    std::string toClient, toServer;
    bool held = false;
    std::string kept;
    // Descriptors received with the bytes not yet passed on: they go with the next bytes sent.
    std::vector<int> descriptorsToClient, descriptorsToServer, keptDescriptors;
    void close() {
      if (client >= 0) ::close(client);
      if (server >= 0) ::close(server);
      client = server = -1;
      for (auto* list : {&descriptorsToClient, &descriptorsToServer, &keptDescriptors}) {
        for (int fd : *list) ::close(fd);
        list->clear();
      }
    }
  };

  explicit DisplayProxy(Failure failure) : m_failure(failure) {}

  void startThread() {
    m_wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_thread = std::thread([this] { run(); });
  }

  template <typename Condition>
  static bool waitFor(Condition condition) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!condition() && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return condition();
  }

  void wake() {
    const uint64_t one = 1;
    ssize_t written = write(m_wake, &one, sizeof one);
    (void)written;
  }

  bool listenAbstract(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path + 1, path.data(), path.size());
    const socklen_t length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size());
    m_listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_listener < 0) return false;
    return bind(m_listener, reinterpret_cast<sockaddr*>(&addr), length) == 0 && ::listen(m_listener, 64) == 0;
  }

  int connectUpstream() const {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, m_upstream.c_str(), sizeof addr.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
      ::close(fd);
      return -1;
    }
    fcntl(fd, F_SETFL, O_NONBLOCK);
    return fd;
  }

  // Reads what `fd` has into `buffer`, and the descriptors that came with it into `descriptors`
  // (X11 carries none).
  ssize_t receive(int fd, char* buffer, size_t size, std::vector<int>& descriptors) const {
    if (!m_passDescriptors) return recv(fd, buffer, size, 0);
    return descriptors::receive(fd, buffer, size, descriptors);
  }

  // The server's bytes: passed on, kept back or cut short; `descriptors` came with them.
  void fromServer(Pair& pair, const char* data, size_t size, std::vector<int>& descriptors) {
    const size_t before = m_serverBytes;
    m_serverBytes += size;
    if (m_failure.cutAt > 0 && before + size >= m_failure.cutAt) {
      pair.toClient.append(data, m_failure.cutAt - before);
      cutAll();
      return;
    }
    if (m_failure.holdAt > 0 && !m_released && before + size > m_failure.holdAt) {
      if (!m_holding) {
        // Every connection so far is held from here on.
        for (Pair& p : m_pairs) p.held = true;
        const size_t passed = before < m_failure.holdAt ? m_failure.holdAt - before : 0;
        pair.toClient.append(data, passed);
        data += passed;
        size -= passed;
        m_holding = true;
      }
    }
    auto& into = pair.held ? pair.keptDescriptors : pair.descriptorsToClient;
    into.insert(into.end(), descriptors.begin(), descriptors.end());
    descriptors.clear();
    if (pair.held) pair.kept.append(data, size);
    else pair.toClient.append(data, size);
  }

  // What each client was given up to the cut is sent (a client that reads it within a few seconds
  // has it whole), then every connection closes and no new one is taken.
  void cutAll() {
    for (Pair& pair : m_pairs) {
      const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      while (pair.client >= 0 && !pair.toClient.empty() && std::chrono::steady_clock::now() < until) {
        if (!descriptors::flush(pair.client, pair.toClient, pair.descriptorsToClient)) break;
        pollfd p{pair.client, POLLOUT, 0};
        poll(&p, 1, 100);
      }
      pair.close();
    }
    close(m_listener);
    m_listener = -1;
    m_cut = true;
  }

  void run() {
    std::vector<pollfd> fds;
    while (!m_stopping) {
      if (m_release.exchange(false)) {
        m_released = true;
        for (Pair& p : m_pairs) {
          p.toClient += p.kept;
          p.kept.clear();
          p.descriptorsToClient.insert(p.descriptorsToClient.end(), p.keptDescriptors.begin(),
                                       p.keptDescriptors.end());
          p.keptDescriptors.clear();
          p.held = false;
        }
      }
      // Pairs closed on either side go.
      std::erase_if(m_pairs, [](const Pair& p) { return p.client < 0; });
      fds.clear();
      fds.push_back(pollfd{m_wake, POLLIN, 0});
      fds.push_back(pollfd{m_listener, POLLIN, 0});
      for (Pair& p : m_pairs) {
        fds.push_back(pollfd{p.client, static_cast<short>(POLLIN | (p.toClient.empty() ? 0 : POLLOUT)), 0});
        fds.push_back(pollfd{p.server, static_cast<short>(POLLIN | (p.toServer.empty() ? 0 : POLLOUT)), 0});
      }
      if (poll(fds.data(), fds.size(), -1) < 0) continue;
      if (fds[0].revents) {
        uint64_t count;
        ssize_t n = read(m_wake, &count, sizeof count);
        (void)n;
      }
      if (fds[1].revents & POLLIN) {
        const int c = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (c >= 0) {
          const int s = connectUpstream();
          if (s < 0) {
            ::close(c);
          } else {
            Pair& pair = m_pairs.emplace_back();
            pair.client = c;
            pair.server = s;
          }
        }
      }
      const size_t polled = (fds.size() - 2) / 2;
      for (size_t i = 0; i < polled && !m_cut; ++i) {
        Pair& p = m_pairs[i];
        const pollfd& c = fds[2 + 2 * i];
        const pollfd& s = fds[3 + 2 * i];
        char buffer[65536];
        std::vector<int> descriptors;
        bool over = false;
        if (s.revents & (POLLIN | POLLHUP | POLLERR)) {
          const ssize_t n = receive(p.server, buffer, sizeof buffer, descriptors);
          if (n > 0) fromServer(p, buffer, static_cast<size_t>(n), descriptors);
          else over = !(n < 0 && (errno == EAGAIN || errno == EINTR));
          for (int fd : descriptors) ::close(fd);  // those a cut left
          descriptors.clear();
          if (m_cut) break;
        }
        if (!over && (c.revents & (POLLIN | POLLHUP | POLLERR))) {
          const ssize_t n = receive(p.client, buffer, sizeof buffer, p.descriptorsToServer);
          if (n > 0) p.toServer.append(buffer, static_cast<size_t>(n));
          else over = !(n < 0 && (errno == EAGAIN || errno == EINTR));
        }
        if (!over)
          over = !descriptors::flush(p.client, p.toClient, p.descriptorsToClient) ||
                 !descriptors::flush(p.server, p.toServer, p.descriptorsToServer);
        if (over) p.close();
      }
      if (m_cut) {
        // A server that died takes no connection: wait only to be stopped.
        pollfd w{m_wake, POLLIN, 0};
        while (!m_stopping) poll(&w, 1, 100);
      }
    }
  }

  Failure m_failure;
  std::string m_upstream, m_display, m_lock, m_path;
  bool m_passDescriptors = false;  // Wayland's
  int m_listener = -1;
  int m_wake = -1;
  std::vector<Pair> m_pairs;  // the thread's
  std::atomic<size_t> m_serverBytes{0};
  std::atomic<bool> m_cut{false}, m_holding{false}, m_release{false}, m_stopping{false};
  bool m_released = false;  // the thread's
  std::thread m_thread;
};

}  // namespace support
