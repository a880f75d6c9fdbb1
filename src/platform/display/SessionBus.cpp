#include "platform/display/SessionBus.h"

#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/core/Log.h"
#include "platform/display/DisplayProbe.h"

namespace display {
namespace {

using Clock = std::chrono::steady_clock;
using Verdict = SessionBus::Verdict;
using State = SessionBus::AnswerReader::State;

// ---- the address list ------------------------------------------------------------------------

using Entry = SessionBus::AddressEntry;

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The text up to the next `separator` in `rest`, taken off its front with the separator.
std::string_view takePiece(std::string_view& rest, char separator) {
  const size_t end = rest.find(separator);
  const std::string_view piece = rest.substr(0, end);
  rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
  return piece;
}

std::optional<std::string> unescaped(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out.push_back(text[i]);
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = hexDigit(text[i + 1]), low = hexDigit(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  return out;
}

// ---- waiting with a limit --------------------------------------------------------------------

// How much later than asked a wake-up may come before the time in between is taken for a pause of
// the whole process (SIGSTOP, a debugger, a machine starved for seconds): the limit counts the time
// the program ran, as the window start's does, so the pause beyond this is not counted.
constexpr auto PauseAllowance = std::chrono::seconds(1);
// The longest single wait, so that a pause shows as the lateness of the wait it fell in.
constexpr auto LongestWait = std::chrono::milliseconds(100);

class Wait {
 public:
  Wait(Clock::duration limit, int interruptFd)
      : m_interruptFd(interruptFd), m_deadline(Clock::now() + limit), m_expectedBack(Clock::now()) {}

  int interruptFd() const { return m_interruptFd; }

  // The next wait in milliseconds (at most `cap` when that is not -1, and at most LongestWait),
  // rounded up; 0 once the deadline has passed. Time lost beyond the allowance since the last
  // wait was to end moves the deadline.
  int next(int cap = -1) {
    const auto now = Clock::now();
    if (now - m_expectedBack > PauseAllowance) m_deadline += now - m_expectedBack - PauseAllowance;
    m_expectedBack = now;
    if (now >= m_deadline) return 0;
    auto wait = std::min<Clock::duration>(m_deadline - now, LongestWait);
    if (cap >= 0) wait = std::min<Clock::duration>(wait, std::chrono::milliseconds(cap));
    m_expectedBack = now + wait;
    return std::max(1, static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count()));
  }

 private:
  int m_interruptFd = -1;
  Clock::time_point m_deadline;
  // When the look is expected back from its current wait (or was last seen, between waits).
  Clock::time_point m_expectedBack;
};

enum class Polled { Ready, TimedOut, Interrupted };

// Waits until `fd` has one of `events` (fd -1: only the time and the interrupt), at most
// `cap` milliseconds (-1: up to the deadline).
Polled waitFor(Wait& wait, int fd, short events, short* revents, int cap = -1) {
  for (;;) {
    const int timeout = wait.next(cap);
    if (timeout == 0) return Polled::TimedOut;
    pollfd p[2] = {{wait.interruptFd(), POLLIN, 0}, {fd, events, 0}};
    const nfds_t count = fd >= 0 ? 2 : 1;
    const int n = ::poll(p, count, timeout);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Polled::TimedOut;
    }
    if (p[0].revents) return Polled::Interrupted;
    if (fd >= 0 && p[1].revents) {
      if (revents) *revents = p[1].revents;
      return Polled::Ready;
    }
    if (n == 0 && cap >= 0) return Polled::Ready;
  }
}

// ---- taking a connection ---------------------------------------------------------------------

struct Connection {
  enum class Outcome { Taken, NotTaken, StillBeingMade, Interrupted, NotLookedAt };
  Outcome outcome = Outcome::NotTaken;
  int fd = -1;
};

// A local stream socket. A listener whose queue is full refuses a connection that would wait with
// EAGAIN; the library's connection waits there until there is room, so this one tries again until
// the deadline.
Connection connectLocal(const std::string& path, bool abstract, Wait& wait) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const size_t offset = abstract ? 1 : 0;
  if (path.empty() || path.size() + offset >= sizeof addr.sun_path) return {};
  std::memcpy(addr.sun_path + offset, path.data(), path.size());
  const auto length =
      static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size() + (abstract ? 0 : 1));
  constexpr int RetryMilliseconds = 20;
  for (;;) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return {};
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), length) == 0) return {Connection::Outcome::Taken, fd};
    const int error = errno;
    ::close(fd);
    if (error != EAGAIN && error != EINPROGRESS && error != EINTR) return {};
    switch (waitFor(wait, -1, 0, nullptr, RetryMilliseconds)) {
      case Polled::TimedOut: return {Connection::Outcome::StillBeingMade, -1};
      case Polled::Interrupted: return {Connection::Outcome::Interrupted, -1};
      case Polled::Ready: break;
    }
  }
}

// The host lookup, replaceable by tests (a resolver that never answers).
SessionBus::HostLookup g_lookup = ::getaddrinfo;

// A host's addresses, looked up on a thread of its own: the resolver has no time limit, so the
// look waits for it within its own limit and interrupt, and a lookup still going on past them is
// left to end by itself (its thread holds what it writes to).
struct Lookup {
  std::mutex mutex;
  bool done = false;  // under mutex, as are status and found
  int status = EAI_FAIL;
  addrinfo* found = nullptr;
  int doneFd = -1;
  ~Lookup() {
    if (found) ::freeaddrinfo(found);
    if (doneFd >= 0) ::close(doneFd);
  }
};

enum class Looked { Found, NotFound, StillGoing, Interrupted };

Looked lookUp(const std::string& host, const std::string& port, const addrinfo& hints, Wait& wait,
              std::shared_ptr<Lookup>* result) {
  auto lookup = std::make_shared<Lookup>();
  lookup->doneFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (lookup->doneFd < 0) return Looked::NotFound;
  try {
    std::thread([lookup, host, port, hints, resolve = g_lookup] {
      addrinfo* found = nullptr;
      const int status = resolve(host.c_str(), port.c_str(), &hints, &found);
      std::lock_guard lock(lookup->mutex);
      lookup->status = status;
      lookup->found = found;
      lookup->done = true;
      const uint64_t one = 1;
      ssize_t written = ::write(lookup->doneFd, &one, sizeof one);
      (void)written;
    }).detach();
  } catch (const std::system_error&) {
    return Looked::NotFound;  // no thread to be had: nothing is connected
  }
  for (;;) {
    {
      std::lock_guard lock(lookup->mutex);
      if (lookup->done) {
        *result = lookup;
        return lookup->status == 0 ? Looked::Found : Looked::NotFound;
      }
    }
    switch (waitFor(wait, lookup->doneFd, POLLIN, nullptr)) {
      case Polled::TimedOut: return Looked::StillGoing;
      case Polled::Interrupted: return Looked::Interrupted;
      case Polled::Ready: break;
    }
  }
}

// A TCP connection to each of the host's addresses in turn, as a connect that waits would make it.
Connection connectTcp(const Entry& entry, Wait& wait) {
  const std::string* host = entry.value("host");
  const std::string* port = entry.value("port");
  const std::string* family = entry.value("family");
  if (!port) return {Connection::Outcome::NotLookedAt, -1};
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  hints.ai_family = AF_UNSPEC;
  if (family && *family == "ipv4") hints.ai_family = AF_INET;
  else if (family && *family == "ipv6") hints.ai_family = AF_INET6;
  else if (family) return {Connection::Outcome::NotLookedAt, -1};
  std::shared_ptr<Lookup> lookup;
  switch (lookUp(host ? *host : "localhost", *port, hints, wait, &lookup)) {
    case Looked::Found: break;
    case Looked::NotFound: return {};
    // The library's own lookup would still be waiting too.
    case Looked::StillGoing: return {Connection::Outcome::StillBeingMade, -1};
    case Looked::Interrupted: return {Connection::Outcome::Interrupted, -1};
  }
  Connection connection;
  for (const addrinfo* a = lookup->found; a && connection.outcome == Connection::Outcome::NotTaken; a = a->ai_next) {
    const int fd = ::socket(a->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) continue;
    bool taken = ::connect(fd, a->ai_addr, a->ai_addrlen) == 0;
    if (!taken && errno == EINPROGRESS) {
      short revents = 0;
      const Polled polled = waitFor(wait, fd, POLLOUT, &revents);
      if (polled == Polled::Ready) {
        int error = 0;
        socklen_t size = sizeof error;
        taken = ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
      } else {
        connection.outcome = polled == Polled::TimedOut ? Connection::Outcome::StillBeingMade
                                                        : Connection::Outcome::Interrupted;
      }
    }
    if (taken) connection = {Connection::Outcome::Taken, fd};
    else ::close(fd);
  }
  return connection;
}

Connection connectEntry(const Entry& entry, Wait& wait) {
  if (entry.transport == "tcp") return connectTcp(entry, wait);
  if (entry.transport != "unix") return {Connection::Outcome::NotLookedAt, -1};
  const std::string* path = entry.value("path");
  const std::string* abstract = entry.value("abstract");
  const std::string* runtime = entry.value("runtime");
  if ((path != nullptr) + (abstract != nullptr) + (runtime != nullptr) != 1)
    return {Connection::Outcome::NotLookedAt, -1};
  if (path) return connectLocal(*path, false, wait);
  if (abstract) return connectLocal(*abstract, true, wait);
  if (*runtime != "yes") return {Connection::Outcome::NotLookedAt, -1};
  const char* dir = std::getenv("XDG_RUNTIME_DIR");
  if (!dir || !*dir) return {};
  return connectLocal(std::string(dir) + "/bus", false, wait);
}

// ---- the first exchange ----------------------------------------------------------------------

// The authentication, then Hello, on a connection taken; the socket is closed on return.
Verdict exchange(int fd, Wait& wait) {
  std::string out = SessionBus::authRequest(static_cast<unsigned>(::getuid()));
  size_t sent = 0;
  SessionBus::AnswerReader reader;
  bool helloQueued = false;
  Verdict verdict = Verdict::Silent;
  for (bool over = false; !over;) {
    short revents = 0;
    const Polled polled = waitFor(wait, fd, static_cast<short>(POLLIN | (sent < out.size() ? POLLOUT : 0)), &revents);
    if (polled == Polled::Interrupted) {
      verdict = Verdict::NotLookedAt;
      break;
    }
    if (polled == Polled::TimedOut) {
      // What came while the look itself was held up (a stall shorter than the allowance) is read
      // before the bus is called silent: a bus that has been answering is not.
      char buffer[4096];
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
      verdict = n > 0 ? Verdict::Answers : n == 0 ? Verdict::Unreachable : Verdict::Silent;
      break;
    }
    if ((revents & POLLOUT) && sent < out.size()) {
      const ssize_t n = ::send(fd, out.data() + sent, out.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) sent += static_cast<size_t>(n);
      else if (n < 0 && errno != EAGAIN && errno != EINTR) revents |= POLLIN;  // its reason is read below
    }
    if (!(revents & (POLLIN | POLLHUP | POLLERR))) continue;
    char buffer[4096];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) {
      // Closed (or reset) without an answer: the library fails at once on that.
      verdict = Verdict::Unreachable;
      break;
    }
    const State state = reader.feed(std::string_view(buffer, static_cast<size_t>(n)));
    if (SessionBus::AnswerReader::answered(state)) {
      // Even a garbled answer is an answer: the library gives up on it rather than wait.
      verdict = Verdict::Answers;
      over = true;
    } else if (state == State::Hello && !helloQueued) {
      out += SessionBus::helloRequest();
      helloQueued = true;
    }
  }
  ::close(fd);
  return verdict;
}

// ---- marshalling -----------------------------------------------------------------------------

void align(std::string& out, size_t to) { out.resize((out.size() + to - 1) / to * to, '\0'); }

void putUint32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

uint32_t readUint32(const std::string& bytes, size_t at, bool bigEndian) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) {
    const auto byte = static_cast<uint8_t>(bytes[at + (bigEndian ? i : 3 - i)]);
    v = (v << 8) | byte;
  }
  return v;
}

// A header field (BYTE code, VARIANT of one string-like type) of a little-endian message.
void putField(std::string& fields, uint8_t code, char type, const std::string& value) {
  align(fields, 8);
  fields.push_back(static_cast<char>(code));
  fields.push_back(1);  // the variant's signature: one type
  fields.push_back(type);
  fields.push_back('\0');
  putUint32(fields, static_cast<uint32_t>(value.size()));
  fields += value;
  fields.push_back('\0');
}

}  // namespace

// ---- SessionBus ------------------------------------------------------------------------------

const std::string* SessionBus::AddressEntry::value(const char* key) const {
  for (const auto& [k, v] : keys)
    if (k == key) return &v;
  return nullptr;
}

std::optional<std::vector<SessionBus::AddressEntry>> SessionBus::parseAddress(std::string_view list) {
  std::vector<AddressEntry> entries;
  while (!list.empty()) {
    const std::string_view text = takePiece(list, ';');
    if (text.empty()) continue;
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0) return std::nullopt;
    AddressEntry entry;
    entry.transport = std::string(text.substr(0, colon));
    std::string_view rest = text.substr(colon + 1);
    while (!rest.empty()) {
      const std::string_view pair = takePiece(rest, ',');
      if (pair.empty()) continue;
      const size_t equals = pair.find('=');
      if (equals == std::string_view::npos || equals == 0) return std::nullopt;
      auto value = unescaped(pair.substr(equals + 1));
      if (!value) return std::nullopt;
      entry.keys.emplace_back(std::string(pair.substr(0, equals)), std::move(*value));
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::string SessionBus::escapeValue(std::string_view value) {
  static const char* const digits = "0123456789abcdef";
  std::string out;
  for (const char c : value) {
    const auto u = static_cast<unsigned char>(c);
    const bool plain = (u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') ||
                       (c != '\0' && std::strchr("-_/.\\*", c) != nullptr);
    if (plain) {
      out.push_back(c);
    } else {
      out.push_back('%');
      out.push_back(digits[u >> 4]);
      out.push_back(digits[u & 15]);
    }
  }
  return out;
}

std::string SessionBus::address() {
  return address(std::getenv("DBUS_SESSION_BUS_ADDRESS"), std::getenv("XDG_RUNTIME_DIR"));
}

std::string SessionBus::address(const char* busVariable, const char* runtimeDir) {
  if (busVariable && *busVariable) return busVariable;
  if (!runtimeDir || !*runtimeDir) return {};
  const std::string path = std::string(runtimeDir) + "/bus";
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode)) return {};
  return "unix:path=" + escapeValue(path);
}

void SessionBus::setHostLookupForTesting(HostLookup lookup) { g_lookup = lookup ? lookup : ::getaddrinfo; }

SessionBus::Verdict SessionBus::ask(const std::string& address, std::chrono::milliseconds limit, int interruptFd) {
  Wait wait(limit, interruptFd);
  const auto entries = parseAddress(address);
  if (!entries || entries->empty()) return Verdict::NotLookedAt;
  for (const Entry& entry : *entries) {
    const Connection connection = connectEntry(entry, wait);
    switch (connection.outcome) {
      case Connection::Outcome::Taken: return exchange(connection.fd, wait);
      case Connection::Outcome::StillBeingMade: return Verdict::Silent;
      case Connection::Outcome::Interrupted:
      case Connection::Outcome::NotLookedAt: return Verdict::NotLookedAt;
      case Connection::Outcome::NotTaken: break;
    }
  }
  return Verdict::Unreachable;
}

bool SessionBus::keepFromHangingTheStart(std::chrono::milliseconds limit, int interruptFd) {
  const std::string where = address();
  if (where.empty() || ask(where, limit, interruptFd) != Verdict::Silent) return false;
  // An address of a transport the library does not know makes it fail at once, without looking
  // for a bus elsewhere; unsetting the variable instead would let it autolaunch a bus of its own,
  // which would outlive the program. Children started from here inherit it, as they should.
  ::setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%g s", std::chrono::duration<double>(limit).count());
  core::logNotice("The session bus at " + displayableWords(where) + " did not answer within " + seconds +
                  ": the window is shown without it (no screen saver inhibition, input methods or desktop settings).");
  return true;
}

std::string SessionBus::authRequest(unsigned uid) {
  static const char* const digits = "0123456789abcdef";
  std::string request("\0AUTH EXTERNAL ", 15);
  for (const char c : std::to_string(uid)) {
    request.push_back(digits[static_cast<unsigned char>(c) >> 4]);
    request.push_back(digits[static_cast<unsigned char>(c) & 15]);
  }
  return request + "\r\n";
}

std::string SessionBus::helloRequest() {
  std::string fields;
  putField(fields, 1, 'o', "/org/freedesktop/DBus");  // PATH
  putField(fields, 6, 's', "org.freedesktop.DBus");   // DESTINATION
  putField(fields, 2, 's', "org.freedesktop.DBus");   // INTERFACE
  putField(fields, 3, 's', "Hello");                  // MEMBER
  std::string message = "l";
  message.push_back(1);  // METHOD_CALL
  message.push_back(0);  // no flags
  message.push_back(1);  // protocol version
  putUint32(message, 0);  // no body
  putUint32(message, 1);  // serial
  putUint32(message, static_cast<uint32_t>(fields.size()));
  message += fields;
  align(message, 8);  // the header ends on a multiple of 8, body or not
  return "BEGIN\r\n" + message;
}

// ---- AnswerReader ----------------------------------------------------------------------------

SessionBus::AnswerReader::State SessionBus::AnswerReader::feed(std::string_view bytes) {
  while (m_state == State::Auth && !bytes.empty()) {
    // A line is complete at its first "\r\n"; one that has not ended within MaxLineBytes + 2
    // bytes never will. Looking no further than that keeps the result the same however the
    // bytes are cut.
    const std::string_view window = bytes.substr(0, MaxLineBytes + 2 - m_line.size());
    const size_t newline = window.find('\n');
    const size_t take = newline == std::string_view::npos ? window.size() : newline + 1;
    m_line.append(window.substr(0, take));
    bytes.remove_prefix(take);
    if (m_line.size() >= 2 && m_line.back() == '\n' && m_line[m_line.size() - 2] == '\r') {
      const std::string_view line = std::string_view(m_line).substr(0, m_line.size() - 2);
      m_state = line == "OK" || line.substr(0, 3) == "OK " ? State::Hello : State::Refused;
      m_line.clear();
      m_line.shrink_to_fit();
    } else if (m_line.size() == MaxLineBytes + 2) {
      m_state = State::Garbled;
    }
  }
  if (m_state == State::Hello) feedMessages(bytes);
  return m_state;
}

// Messages until the reply: each one's fixed 16 bytes read, the reply ends the look, any other
// (a signal the bus sent first) is passed over whole.
void SessionBus::AnswerReader::feedMessages(std::string_view bytes) {
  constexpr uint64_t MaxMessageBytes = uint64_t{1} << 27;
  constexpr uint64_t MaxArrayBytes = uint64_t{1} << 26;
  while (m_state == State::Hello && !bytes.empty()) {
    if (m_skip > 0) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(m_skip, bytes.size()));
      m_skip -= n;
      bytes.remove_prefix(n);
      continue;
    }
    const size_t n = std::min(16 - m_header.size(), bytes.size());
    m_header.append(bytes.substr(0, n));
    bytes.remove_prefix(n);
    if (m_header.size() < 16) break;
    const char order = m_header[0];
    const auto type = static_cast<uint8_t>(m_header[1]);
    if ((order != 'l' && order != 'B') || m_header[3] != 1 || type == 0) {
      m_state = State::Garbled;
      break;
    }
    if (type == 2 || type == 3) {  // METHOD_RETURN, ERROR
      m_state = State::Replied;
      break;
    }
    const uint64_t body = readUint32(m_header, 4, order == 'B');
    const uint64_t fields = readUint32(m_header, 12, order == 'B');
    const uint64_t header = (16 + fields + 7) / 8 * 8;
    if (fields > MaxArrayBytes || header + body > MaxMessageBytes) {
      m_state = State::Garbled;
      break;
    }
    m_skip = header + body - 16;
    m_header.clear();
  }
}

}  // namespace display
