#include "platform/display/DisplayProbe.h"

#include <X11/Xauth.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

namespace display {
namespace {

using Clock = std::chrono::steady_clock;

const char* env(const char* name) {
  const char* v = std::getenv(name);
  return v && *v ? v : nullptr;
}

uint16_t u16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

uint32_t u32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

void put16(std::string& out, uint16_t v) { out.append(reinterpret_cast<const char*>(&v), sizeof v); }
void put32(std::string& out, uint32_t v) { out.append(reinterpret_cast<const char*>(&v), sizeof v); }
size_t padded(size_t n) { return (n + 3) & ~size_t{3}; }

bool containsNoCase(const std::string& text, const char* word) {
  auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  return lower(text).find(lower(word)) != std::string::npos;
}

// ---- talking to a socket with a time limit ----------------------------------------------------

enum class Wait { Ready, TimedOut, Interrupted };

// Until `fd` has `events`, the time is up or `interruptFd` is readable.
Wait waitFor(int fd, short events, Clock::time_point until, int interruptFd) {
  for (;;) {
    const auto left = until - Clock::now();
    if (left <= Clock::duration::zero()) return Wait::TimedOut;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    pollfd p[2] = {{fd, events, 0}, {interruptFd, POLLIN, 0}};
    const int n = poll(p, interruptFd >= 0 ? 2 : 1, static_cast<int>(std::min<long long>(ms, INT_MAX)));
    if (n < 0 && errno != EINTR) return Wait::Ready;  // the read or write that follows says why
    if (n <= 0) continue;
    if (interruptFd >= 0 && p[1].revents) return Wait::Interrupted;
    if (p[0].revents) return Wait::Ready;
  }
}

// A local stream socket connected without waiting (a server whose queue is full refuses at once
// with EAGAIN), -1 with errno set when nothing takes the connection.
int connectLocal(const std::string& path, bool abstract) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const size_t offset = abstract ? 1 : 0;
  if (path.size() + offset >= sizeof addr.sun_path) {
    errno = ENAMETOOLONG;
    return -1;
  }
  std::memcpy(addr.sun_path + offset, path.data(), path.size());
  const socklen_t length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size() + (abstract ? 0 : 1));
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), length) != 0) {
    const int saved = errno;
    ::close(fd);
    errno = saved;
    return -1;
  }
  return fd;
}

enum class Answer { Complete, Closed, Silent, Interrupted };

// A socket closed with the last copy of the pointer.
std::shared_ptr<void> owned(int fd) {
  return std::shared_ptr<void>(reinterpret_cast<void*>(static_cast<intptr_t>(fd)),
                               [](void* p) { ::close(static_cast<int>(reinterpret_cast<intptr_t>(p))); });
}

// Sends `request` and reads until `take` has what it needs, the peer closes, the time is up or
// the wait is interrupted.
Answer exchange(int fd, const std::string& request, Clock::time_point until, int interruptFd,
                const std::function<bool(const uint8_t*, size_t)>& take) {
  size_t sent = 0;
  while (sent < request.size()) {
    const ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      const Wait w = waitFor(fd, POLLOUT, until, interruptFd);
      if (w == Wait::TimedOut) return Answer::Silent;
      if (w == Wait::Interrupted) return Answer::Interrupted;
      continue;
    }
    return Answer::Closed;
  }
  for (;;) {
    const Wait w = waitFor(fd, POLLIN, until, interruptFd);
    if (w == Wait::TimedOut) return Answer::Silent;
    if (w == Wait::Interrupted) return Answer::Interrupted;
    uint8_t buffer[4096];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n > 0) {
      if (take(buffer, static_cast<size_t>(n))) return Answer::Complete;
      continue;
    }
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    return Answer::Closed;
  }
}

Probe notYet(std::string cause) { return Probe{Probe::Outcome::NotYet, "", std::move(cause), {}}; }
Probe never(std::string cause) { return Probe{Probe::Outcome::Never, "", std::move(cause), {}}; }
Probe interrupted() { return Probe{Probe::Outcome::Interrupted, "", "the wait was interrupted", {}}; }
Probe there(std::string driver, std::shared_ptr<void> connection = {}) {
  return Probe{Probe::Outcome::There, std::move(driver), "", std::move(connection)};
}

// What a server that did not answer in full is: not there yet, unless the wait was interrupted.
Probe unanswered(Answer answer, const std::string& where) {
  if (answer == Answer::Interrupted) return interrupted();
  if (answer == Answer::Silent) return notYet(where + " does not answer");
  return notYet(where + " closed the connection before answering");
}

// ---- Wayland ---------------------------------------------------------------------------------

Probe probeWayland(Clock::duration within, int interruptFd) {
  const std::string name = env("WAYLAND_DISPLAY");
  const char* dir = env("XDG_RUNTIME_DIR");
  if (name.front() != '/' && !dir)
    return never("WAYLAND_DISPLAY=" + name + " names a socket in XDG_RUNTIME_DIR, which is not set");
  const std::string path = name.front() == '/' ? name : std::string(dir) + "/" + name;
  if (path.size() >= sizeof(sockaddr_un::sun_path))
    return never("the Wayland socket path " + path + " is too long (at most " +
                 std::to_string(sizeof(sockaddr_un::sun_path) - 1) + " bytes)");
  const int fd = connectLocal(path, false);
  if (fd < 0) return notYet("no Wayland compositor listens at " + path + " (" + std::strerror(errno) + ")");
  const std::shared_ptr<void> connection = owned(fd);
  WaylandSyncReader reader;
  const Answer answer = exchange(fd, WaylandSyncReader::request(), Clock::now() + within, interruptFd,
                                 [&](const uint8_t* data, size_t size) {
                                   return reader.feed(data, size) != WaylandSyncReader::State::More;
                                 });
  const std::string where = "the Wayland compositor at " + path;
  if (answer != Answer::Complete) return unanswered(answer, where);
  if (reader.state() == WaylandSyncReader::State::Error) return notYet(where + " refused the connection");
  if (reader.state() == WaylandSyncReader::State::Malformed)
    return notYet(where + " answered in something other than Wayland");
  return there("wayland");
}

// ---- X11 -------------------------------------------------------------------------------------

// The MIT-MAGIC-COOKIE-1 Xlib would send to the local server `number`, from $XAUTHORITY or
// ~/.Xauthority; empty name and data when there is none (the server may not ask for one).
std::pair<std::string, std::string> localCookie(int number) {
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0) return {};
  const std::string display = std::to_string(number);
  char type[] = "MIT-MAGIC-COOKIE-1";
  char* types[] = {type};
  int typeLengths[] = {static_cast<int>(sizeof type - 1)};
  Xauth* auth = XauGetBestAuthByAddr(FamilyLocal, static_cast<unsigned short>(std::strlen(host)), host,
                                     static_cast<unsigned short>(display.size()), display.c_str(), 1, types, typeLengths);
  if (!auth) return {};
  std::pair<std::string, std::string> cookie{std::string(auth->name, auth->name_length),
                                             std::string(auth->data, auth->data_length)};
  XauDisposeAuth(auth);
  return cookie;
}

std::string xSetupRequest(const std::pair<std::string, std::string>& cookie) {
  const uint16_t probe = 1;
  std::string out;
  out.push_back(*reinterpret_cast<const char*>(&probe) == 1 ? 'l' : 'B');  // the replies come in ours
  out.push_back(0);
  put16(out, 11);
  put16(out, 0);
  put16(out, static_cast<uint16_t>(cookie.first.size()));
  put16(out, static_cast<uint16_t>(cookie.second.size()));
  put16(out, 0);
  out += cookie.first;
  out.resize(padded(out.size()), '\0');
  out += cookie.second;
  out.resize(padded(out.size()), '\0');
  return out;
}

const char* visualClassName(int c) {
  switch (c) {
    case 0: return "static grey";
    case 1: return "grey-scale";
    case 2: return "static colour";
    case 3: return "palette";
    case 4: return "true colour";
    case 5: return "direct colour";
    default: return "unknown";
  }
}

Probe probeX11(Clock::duration within, int interruptFd) {
  const std::string text = env("DISPLAY");
  const auto name = parseXDisplayName(text);
  if (!name) return never("DISPLAY=" + text + " names no X server (the form is [host]:number[.screen])");
  // A server over the network: SDL connects to it itself.
  if (!name->host.empty() && name->host != "unix") return there("x11");
  // Xlib tries the abstract socket first, then the file.
  const std::string path = "/tmp/.X11-unix/X" + std::to_string(name->number);
  int fd = connectLocal(path, true);
  if (fd < 0) fd = connectLocal(path, false);
  if (fd < 0) return notYet("no X server answers at " + text + " (" + path + ": " + std::strerror(errno) + ")");
  std::shared_ptr<void> connection = owned(fd);
  std::string reply;
  XSetupReply setup;
  const Answer answer = exchange(fd, xSetupRequest(localCookie(name->number)), Clock::now() + within, interruptFd,
                                 [&](const uint8_t* data, size_t size) {
                                   reply.append(reinterpret_cast<const char*>(data), size);
                                   setup = parseXSetupReply(reinterpret_cast<const uint8_t*>(reply.data()), reply.size(),
                                                            name->screen);
                                   return setup.status != XSetupReply::Status::Incomplete;
                                 });
  const std::string where = "the X server at " + text;
  if (answer != Answer::Complete) return unanswered(answer, where);
  switch (setup.status) {
    case XSetupReply::Status::Failed:
      // A refused authorization stays refused; a full server may take the connection later.
      if (containsNoCase(setup.reason, "authoriz") || containsNoCase(setup.reason, "protocol specified") ||
          containsNoCase(setup.reason, "cookie") || containsNoCase(setup.reason, "access")) {
        const char* file = XauFileName();
        return never(where + " refused the connection's authorization (" + setup.reason + "; cookies from " +
                     (file ? file : "no file") + ")");
      }
      return notYet(where + " refused the connection (" + setup.reason + ")");
    case XSetupReply::Status::Authenticate:
      return never(where + " asks for an authentication this program cannot give (" + setup.reason + ")");
    case XSetupReply::Status::Malformed:
    case XSetupReply::Status::Incomplete:
      return notYet(where + " answered in something other than X");
    case XSetupReply::Status::Success:
      break;
  }
  if (name->screen >= setup.screens)
    return never("DISPLAY=" + text + " names screen " + std::to_string(name->screen) + ", but the X server has " +
                 std::to_string(setup.screens));
  // The window's framebuffer takes the root window's pixels: true colour of 15, 16, 24 or 30 bits.
  const int depth = setup.rootDepth;
  const bool drawable = (setup.rootVisualClass == 4 || setup.rootVisualClass == 5) &&
                        (depth == 15 || depth == 16 || depth == 24 || depth == 30 || depth == 32);
  if (!drawable)
    return never(where + " shows " + std::to_string(depth) + "-bit " + visualClassName(setup.rootVisualClass) +
                 " pixels, which the window cannot draw (it needs true colour of 15, 16, 24 or 30 bits)");
  return there("x11", std::move(connection));
}

}  // namespace

// ---- the parsers -----------------------------------------------------------------------------

std::optional<XDisplayName> parseXDisplayName(const std::string& text) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos) return std::nullopt;
  XDisplayName name;
  name.host = text.substr(0, colon);
  // "host::N" is DECnet, which no server here speaks.
  if (!name.host.empty() && name.host.back() == ':') return std::nullopt;
  // "tcp/host", "unix/host": the transport, then the host.
  if (const size_t slash = name.host.find('/'); slash != std::string::npos) {
    const std::string transport = name.host.substr(0, slash);
    name.host = name.host.substr(slash + 1);
    if (transport == "unix" || transport == "local") name.host.clear();
  }
  auto number = [](const std::string& digits, int* out) {
    if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos) return false;
    *out = std::stoi(digits);
    return true;
  };
  const std::string rest = text.substr(colon + 1);
  const size_t dot = rest.find('.');
  if (!number(rest.substr(0, dot), &name.number)) return std::nullopt;
  if (dot != std::string::npos && !number(rest.substr(dot + 1), &name.screen)) return std::nullopt;
  return name;
}

XSetupReply parseXSetupReply(const uint8_t* data, size_t size, int screen) {
  XSetupReply r;
  if (size < 8) return r;
  const size_t total = 8 + 4 * size_t{u16(data + 6)};
  if (data[0] > 2) {
    r.status = XSetupReply::Status::Malformed;
    return r;
  }
  if (size < total) return r;
  if (data[0] == 0) {
    const size_t length = data[1];
    if (8 + length > total) {
      r.status = XSetupReply::Status::Malformed;
      return r;
    }
    r.status = XSetupReply::Status::Failed;
    r.reason.assign(reinterpret_cast<const char*>(data + 8), length);
  } else if (data[0] == 2) {
    r.status = XSetupReply::Status::Authenticate;
    r.reason.assign(reinterpret_cast<const char*>(data + 8), total - 8);
  } else {
    // Success: the fixed part, the vendor, the pixmap formats, then the screens.
    r.status = XSetupReply::Status::Malformed;
    if (total < 40) return r;
    size_t at = 40 + padded(u16(data + 24)) + 8 * size_t{data[29]};
    r.screens = data[28];
    for (int s = 0; s < r.screens; ++s) {
      if (at + 40 > total) return r;
      const uint8_t* sp = data + at;
      const uint32_t rootVisual = u32(sp + 32);
      const int depths = sp[39];
      at += 40;
      if (s == screen) {
        r.rootDepth = sp[38];
        r.rootVisualClass = -1;
      }
      for (int d = 0; d < depths; ++d) {
        if (at + 8 > total) return r;
        const size_t visuals = u16(data + at + 2);
        at += 8;
        if (at + 24 * visuals > total) return r;
        if (s == screen) {
          for (size_t v = 0; v < visuals; ++v) {
            const uint8_t* vp = data + at + 24 * v;
            if (u32(vp) == rootVisual) r.rootVisualClass = vp[4];
          }
        }
        at += 24 * visuals;
      }
    }
    r.status = XSetupReply::Status::Success;
  }
  // The words end at the first zero byte or line end.
  r.reason = r.reason.substr(0, r.reason.find('\0'));
  while (!r.reason.empty() && std::isspace(static_cast<unsigned char>(r.reason.back()))) r.reason.pop_back();
  return r;
}

std::string WaylandSyncReader::request() {
  std::string out;
  put32(out, 1);              // wl_display
  put32(out, (12u << 16) | 0);  // 12 bytes, sync
  put32(out, 2);              // the callback's new id
  return out;
}

WaylandSyncReader::State WaylandSyncReader::feed(const uint8_t* data, size_t size) {
  if (m_state != State::More) return m_state;
  m_pending.append(reinterpret_cast<const char*>(data), size);
  size_t at = 0;
  while (m_pending.size() - at >= 8) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(m_pending.data()) + at;
    const uint32_t object = u32(p);
    const uint32_t length = u32(p + 4) >> 16, opcode = u32(p + 4) & 0xffff;
    if (length < 8 || length % 4 != 0) return m_state = State::Malformed;
    if (m_pending.size() - at < length) break;
    if (object == 2 && opcode == 0) return m_state = State::Done;   // wl_callback.done
    if (object == 1 && opcode == 0) return m_state = State::Error;  // wl_display.error
    at += length;
  }
  m_pending.erase(0, at);
  return m_state;
}

Probe probeDisplays(std::chrono::steady_clock::duration within, int interruptFd) {
  const char* chosen = env("SDL_VIDEODRIVER");
  auto allowed = [&](const char* driver) { return !chosen || std::strstr(chosen, driver); };
  const bool wayland = env("WAYLAND_DISPLAY") && allowed("wayland");
  const bool x11 = env("DISPLAY") && allowed("x11");
  // Nothing this look knows: SDL chooses, and says why it cannot.
  if (!wayland && !x11) return there("");
  std::vector<Probe> failed;
  for (const bool isWayland : {true, false}) {
    if (!(isWayland ? wayland : x11)) continue;
    Probe p = isWayland ? probeWayland(within, interruptFd) : probeX11(within, interruptFd);
    if (p.outcome == Probe::Outcome::There || p.outcome == Probe::Outcome::Interrupted) return p;
    failed.push_back(std::move(p));
  }
  // Worth waiting for while any of them may still come.
  Probe result = never("");
  for (const Probe& p : failed) {
    if (p.outcome == Probe::Outcome::NotYet) result.outcome = Probe::Outcome::NotYet;
    result.cause += (result.cause.empty() ? "" : "; ") + p.cause;
  }
  return result;
}

}  // namespace display
