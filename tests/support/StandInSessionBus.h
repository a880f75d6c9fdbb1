#pragma once

// A session bus played by the test, at a socket path of the caller's. It takes every connection
// and then: never answers anything (Silent: a hung daemon), answers the authentication and
// nothing after BEGIN (AnswersAuthOnly), answers the authentication and the Hello that follows it
// with the unique name ":1.1" (Answers: alive, as far as a client's start tells), or closes each
// connection at once (ClosesAtOnce). Its answers can be held back until the test releases them
// (holdAnswers, releaseAnswers). It keeps every byte it received, all connections together, for
// byte-exact assertions. Its bytes are written here from the wire format alone.

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace support {

class StandInSessionBus {
 public:
  enum Behaviour { Silent, AnswersAuthOnly, Answers, ClosesAtOnce };

  // The guid it says in its "OK" line.
  static constexpr const char* Guid = "0123456789abcdef0123456789abcdef";

  static std::unique_ptr<StandInSessionBus> at(const std::string& path, Behaviour behaviour) {
    std::unique_ptr<StandInSessionBus> bus(new StandInSessionBus(behaviour));
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) return nullptr;
    std::memcpy(addr.sun_path, path.data(), path.size());
    bus->m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (bus->m_fd < 0 || bind(bus->m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(bus->m_fd, 16) != 0)
      return nullptr;
    bus->m_path = path;
    bus->m_stop = eventfd(0, EFD_CLOEXEC);
    bus->m_wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (bus->m_stop < 0 || bus->m_wake < 0) return nullptr;
    bus->m_thread = std::thread([b = bus.get()] { b->serve(); });
    return bus;
  }

  ~StandInSessionBus() {
    if (m_thread.joinable()) {
      const uint64_t one = 1;
      ssize_t written = write(m_stop, &one, sizeof one);
      (void)written;
      m_thread.join();
    }
    for (const Peer& peer : m_peers) close(peer.fd);
    if (m_stop >= 0) close(m_stop);
    if (m_wake >= 0) close(m_wake);
    if (m_fd >= 0) close(m_fd);
    if (!m_path.empty()) unlink(m_path.c_str());
  }
  StandInSessionBus(const StandInSessionBus&) = delete;
  StandInSessionBus& operator=(const StandInSessionBus&) = delete;

  // "unix:path=<path>", its address as a client is given it (the path taken as it is).
  std::string address() const { return "unix:path=" + m_path; }
  // Until its thread waits for connections (true), or a minute: a test that forks meanwhile would
  // give its child an allocator's lock the thread held while it started (the sanitizers').
  bool waitUntilServing() const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!m_serving && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return m_serving;
  }
  // From now on what comes in is kept unanswered, until releaseAnswers(): then it is all answered
  // at once, and what follows as it comes.
  void holdAnswers() { m_held = true; }
  void releaseAnswers() {
    m_held = false;
    const uint64_t one = 1;
    ssize_t written = write(m_wake, &one, sizeof one);
    (void)written;
  }
  // Connections taken so far.
  int accepted() const { return m_accepted; }
  // The next connection taken sends `signal` to `pid` at once, from the bus's own thread: the
  // client is signalled while its look at the bus has just begun, whatever keeps the test busy.
  void signalOnNextConnection(pid_t pid, int signal) {
    m_signal = signal;
    m_signalled = pid;
  }
  // The bytes received so far, of all connections in the order they came.
  std::string received() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received;
  }
  // Until at least `count` bytes were received (true) or a minute has passed.
  bool waitForBytes(size_t count) const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (received().size() < count && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return received().size() >= count;
  }

  // The reply to Hello of serial `serial`: a little-endian METHOD_RETURN from the bus, its body
  // the unique name given.
  static std::string helloReply(uint32_t serial, const std::string& name = ":1.1") {
    std::string fields;
    field(fields, 5, 'u');  // REPLY_SERIAL
    put32(fields, serial);
    field(fields, 6, 's');  // DESTINATION
    putString(fields, name);
    field(fields, 7, 's');  // SENDER
    putString(fields, "org.freedesktop.DBus");
    field(fields, 8, 'g');  // SIGNATURE
    fields.push_back(1);
    fields += "s";
    fields.push_back('\0');
    std::string body;
    putString(body, name);
    std::string message = "l";
    message.push_back(2);  // METHOD_RETURN
    message.push_back(1);  // no reply expected
    message.push_back(1);  // protocol version
    put32(message, static_cast<uint32_t>(body.size()));
    put32(message, 1);  // the bus's own serial
    put32(message, static_cast<uint32_t>(fields.size()));
    message += fields;
    pad(message, 8);
    return message + body;
  }

 private:
  explicit StandInSessionBus(Behaviour behaviour) : m_behaviour(behaviour) {}

  struct Peer {
    int fd = -1;
    std::string pending;       // received and not yet taken in
    bool authenticated = false;
    bool begun = false;        // BEGIN came: messages from here on
    bool helloAnswered = false;
  };

  static void pad(std::string& s, size_t to) { s.resize((s.size() + to - 1) / to * to, '\0'); }
  static void put32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
  }
  static void putString(std::string& s, const std::string& text) {
    pad(s, 4);
    put32(s, static_cast<uint32_t>(text.size()));
    s += text;
    s.push_back('\0');
  }
  // A header field's code and its variant's signature of one type; its value follows.
  static void field(std::string& s, char code, char type) {
    pad(s, 8);
    s.push_back(code);
    s.push_back(1);
    s.push_back(type);
    s.push_back('\0');
  }
  static uint32_t read32(const std::string& s, size_t at, bool bigEndian) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | static_cast<uint8_t>(s[at + (bigEndian ? i : 3 - i)]);
    return v;
  }

  static void say(int fd, const std::string& bytes) {
    ssize_t sent = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    (void)sent;
  }

  // Takes in what `peer` sent: its auth lines (after the first nul byte), then its messages.
  void answer(Peer& peer) {
    while (!peer.begun) {
      if (!peer.authenticated && !peer.pending.empty() && peer.pending[0] == '\0') peer.pending.erase(0, 1);
      const size_t end = peer.pending.find("\r\n");
      if (end == std::string::npos) return;
      const std::string line = peer.pending.substr(0, end);
      peer.pending.erase(0, end + 2);
      if (line.rfind("AUTH", 0) == 0) {
        peer.authenticated = true;
        say(peer.fd, std::string("OK ") + Guid + "\r\n");
      } else if (line == "NEGOTIATE_UNIX_FD") {
        say(peer.fd, "AGREE_UNIX_FD\r\n");
      } else if (line == "BEGIN") {
        peer.begun = true;
      } else {
        say(peer.fd, "ERROR\r\n");
      }
    }
    if (m_behaviour != Answers || peer.helloAnswered || peer.pending.size() < 16) return;
    const bool big = peer.pending[0] == 'B';
    const uint64_t header = (16 + uint64_t{read32(peer.pending, 12, big)} + 7) / 8 * 8;
    if (peer.pending.size() < header + read32(peer.pending, 4, big)) return;
    say(peer.fd, helloReply(read32(peer.pending, 8, big)));
    peer.helloAnswered = true;
  }

  void serve() {
    std::vector<pollfd> p;
    for (;;) {
      p.assign({{m_stop, POLLIN, 0}, {m_fd, POLLIN, 0}, {m_wake, POLLIN, 0}});
      for (const Peer& peer : m_peers) p.push_back({peer.fd, POLLIN, 0});
      // Said once nothing is left to do before the wait, so that a fork from here on finds the
      // thread holding no lock while no client comes.
      m_serving = true;
      if (poll(p.data(), p.size(), -1) < 0) continue;
      if (p[0].revents) return;
      if (p[2].revents) {
        uint64_t released = 0;
        ssize_t n = read(m_wake, &released, sizeof released);
        (void)n;
        for (Peer& peer : m_peers) answer(peer);
      }
      for (size_t i = m_peers.size(); i-- > 0;) {
        if (!p[i + 3].revents) continue;
        Peer& peer = m_peers[i];
        char buffer[4096];
        const ssize_t n = recv(peer.fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
          close(peer.fd);
          m_peers.erase(m_peers.begin() + static_cast<std::ptrdiff_t>(i));
          continue;
        }
        {
          std::lock_guard<std::mutex> lock(m_mutex);
          m_received.append(buffer, static_cast<size_t>(n));
        }
        if (m_behaviour == Silent) continue;
        peer.pending.append(buffer, static_cast<size_t>(n));
        if (!m_held) answer(peer);
      }
      if (p[1].revents) {
        const int c = accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (c < 0) continue;
        // Counted before the close, which the client may see at once.
        ++m_accepted;
        if (const pid_t pid = m_signalled.exchange(0); pid > 0) ::kill(pid, m_signal);
        if (m_behaviour == ClosesAtOnce) close(c);
        else m_peers.emplace_back().fd = c;
      }
    }
  }

  Behaviour m_behaviour;
  int m_fd = -1;
  int m_stop = -1;
  int m_wake = -1;  // answers released
  std::atomic<bool> m_held{false};
  std::string m_path;
  std::vector<Peer> m_peers;  // the server thread's until it has ended
  std::thread m_thread;
  mutable std::mutex m_mutex;
  std::string m_received;  // under m_mutex
  std::atomic<int> m_accepted{0};
  std::atomic<bool> m_serving{false};
  std::atomic<pid_t> m_signalled{0};
  std::atomic<int> m_signal{0};
};

}  // namespace support
