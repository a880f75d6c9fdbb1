#pragma once

// A Wayland compositor's connections passed through the test with its registry changed: the
// globals of an interface hidden, announced at a lower version, or held back until release() (then
// announced to every registry made so far, and to those made after, as a compositor announces a
// seat whose device came late). Each connection's requests are read for wl_display.get_registry
// (the registry's object id); the compositor's wl_registry.global events to those objects are
// changed, everything else passes as it came, with the descriptors its messages carry.

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
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/PassedDescriptors.h"

namespace support {

class WaylandRegistryProxy {
 public:
  struct Change {
    enum Kind { Hide, Lower, Hold };
    std::string interface;
    Kind kind = Hide;
    uint32_t version = 1;  // Lower: the version announced, when below the compositor's
  };

  // For the compositor listening at `upstream` (a socket path), on the socket path `path` (for the
  // client's WAYLAND_DISPLAY, in its XDG_RUNTIME_DIR); null when it cannot listen there.
  static std::unique_ptr<WaylandRegistryProxy> start(const std::string& upstream, const std::string& path,
                                                     std::vector<Change> changes) {
    std::unique_ptr<WaylandRegistryProxy> p(new WaylandRegistryProxy(upstream, std::move(changes)));
    sockaddr_un addr{};
    if (path.size() >= sizeof addr.sun_path) return nullptr;
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.data(), path.size());
    p->m_listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (p->m_listener < 0 || bind(p->m_listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return nullptr;
    p->m_path = path;
    if (::listen(p->m_listener, 64) != 0) return nullptr;
    p->m_wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    p->m_thread = std::thread([raw = p.get()] { raw->run(); });
    return p;
  }

  ~WaylandRegistryProxy() {
    m_stopping = true;
    wake();
    if (m_thread.joinable()) m_thread.join();
    for (Pair& pair : m_pairs) pair.close();
    if (m_listener >= 0) close(m_listener);
    if (m_wake >= 0) close(m_wake);
    if (!m_path.empty()) unlink(m_path.c_str());
  }
  WaylandRegistryProxy(const WaylandRegistryProxy&) = delete;
  WaylandRegistryProxy& operator=(const WaylandRegistryProxy&) = delete;

  // The globals held back are announced, now to every registry that has had them held, and from
  // now on as they come.
  void release() {
    m_release = true;
    wake();
  }
  // Connections taken so far.
  int accepted() const { return m_accepted; }
  // Until `count` registries were asked for in all connections (true), or a minute.
  bool waitForRegistries(int count) const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (m_registries < count && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return m_registries >= count;
  }

 private:
  struct Pair {
    int client = -1, server = -1;
    std::string fromClient, fromServer;  // bytes not yet a whole message
    std::string toClient, toServer;
    std::vector<int> descriptorsToClient, descriptorsToServer;
    std::vector<uint32_t> registries;
    std::string held;  // whole global events kept back until release
    void close() {
      if (client >= 0) ::close(client);
      if (server >= 0) ::close(server);
      client = server = -1;
      for (auto* list : {&descriptorsToClient, &descriptorsToServer}) {
        for (int fd : *list) ::close(fd);
        list->clear();
      }
    }
  };

  WaylandRegistryProxy(std::string upstream, std::vector<Change> changes)
      : m_upstream(std::move(upstream)), m_changes(std::move(changes)) {}

  static uint32_t word(const std::string& s, size_t at) {
    uint32_t v;
    std::memcpy(&v, s.data() + at, sizeof v);
    return v;
  }

  void wake() {
    const uint64_t one = 1;
    ssize_t written = write(m_wake, &one, sizeof one);
    (void)written;
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

  // The client's requests pass as they are; its get_registry requests name the registries.
  void fromClient(Pair& pair) {
    size_t at = 0;
    while (pair.fromClient.size() - at >= 8) {
      const uint32_t object = word(pair.fromClient, at), header = word(pair.fromClient, at + 4);
      const size_t length = header >> 16;
      if (length < 8) {
        at = pair.fromClient.size();  // not Wayland: passed on, the compositor says so
        break;
      }
      if (pair.fromClient.size() - at < length) break;
      if (object == 1 && (header & 0xffff) == 1 && length >= 12) {
        pair.registries.push_back(word(pair.fromClient, at + 8));
        ++m_registries;
      }
      at += length;
    }
    pair.toServer.append(pair.fromClient, 0, at);
    pair.fromClient.erase(0, at);
  }

  // The change for a global of `interface`, null when it passes.
  const Change* changeFor(const std::string& interface) const {
    for (const Change& c : m_changes)
      if (c.interface == interface) return &c;
    return nullptr;
  }

  // The compositor's events, whole messages at a time: the registries' globals changed.
  void fromServer(Pair& pair) {
    size_t at = 0;
    while (pair.fromServer.size() - at >= 8) {
      const uint32_t object = word(pair.fromServer, at), header = word(pair.fromServer, at + 4);
      const size_t length = header >> 16;
      if (length < 8) {
        pair.toClient.append(pair.fromServer, at, std::string::npos);
        at = pair.fromServer.size();
        break;
      }
      if (pair.fromServer.size() - at < length) break;
      std::string message = pair.fromServer.substr(at, length);
      at += length;
      const bool global = (header & 0xffff) == 0 &&
                          std::find(pair.registries.begin(), pair.registries.end(), object) != pair.registries.end();
      const Change* change = nullptr;
      if (global && length >= 20) {
        const size_t stringLength = word(message, 12);
        if (stringLength > 0 && 16 + stringLength <= length)
          change = changeFor(std::string(message.data() + 16, strnlen(message.data() + 16, stringLength)));
      }
      if (!change) {
        pair.toClient += message;
        continue;
      }
      switch (change->kind) {
        case Change::Hide:
          break;
        case Change::Lower: {
          const uint32_t version = std::min(change->version, word(message, length - 4));
          std::memcpy(message.data() + length - 4, &version, sizeof version);
          pair.toClient += message;
          break;
        }
        case Change::Hold:
          if (m_released) pair.toClient += message;
          else pair.held += message;
          break;
      }
    }
    pair.fromServer.erase(0, at);
  }

  // Reads what `fd` has onto `into`, and the descriptors that came with it onto `descriptors`.
  static ssize_t receive(int fd, std::string& into, std::vector<int>& descriptors) {
    char buffer[65536];
    const ssize_t n = descriptors::receive(fd, buffer, sizeof buffer, descriptors);
    if (n > 0) into.append(buffer, static_cast<size_t>(n));
    return n;
  }

  void run() {
    std::vector<pollfd> fds;
    while (!m_stopping) {
      if (m_release.exchange(false) && !m_released) {
        m_released = true;
        for (Pair& p : m_pairs) {
          p.toClient += p.held;
          p.held.clear();
        }
      }
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
            ++m_accepted;
          }
        }
      }
      const size_t polled = (fds.size() - 2) / 2;
      for (size_t i = 0; i < polled; ++i) {
        Pair& p = m_pairs[i];
        const pollfd& c = fds[2 + 2 * i];
        const pollfd& s = fds[3 + 2 * i];
        bool over = false;
        if (c.revents & (POLLIN | POLLHUP | POLLERR)) {
          const ssize_t n = receive(p.client, p.fromClient, p.descriptorsToServer);
          if (n > 0) fromClient(p);
          else over = !(n < 0 && (errno == EAGAIN || errno == EINTR));
        }
        if (!over && (s.revents & (POLLIN | POLLHUP | POLLERR))) {
          const ssize_t n = receive(p.server, p.fromServer, p.descriptorsToClient);
          if (n > 0) fromServer(p);
          else over = !(n < 0 && (errno == EAGAIN || errno == EINTR));
        }
        if (!over)
          over = !descriptors::flush(p.client, p.toClient, p.descriptorsToClient) ||
                 !descriptors::flush(p.server, p.toServer, p.descriptorsToServer);
        if (over) p.close();
      }
    }
  }

  std::string m_upstream, m_path;
  std::vector<Change> m_changes;
  int m_listener = -1;
  int m_wake = -1;
  std::vector<Pair> m_pairs;  // the thread's
  bool m_released = false;    // the thread's
  std::atomic<int> m_accepted{0}, m_registries{0};
  std::atomic<bool> m_release{false}, m_stopping{false};
  std::thread m_thread;
};

}  // namespace support
