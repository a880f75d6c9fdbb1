#include "platform/display/DisplayProbe.h"

#include <X11/Xauth.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <vector>

#include "platform/net/TcpPort.h"

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
size_t padded(size_t n) { return (n + 3) & ~size_t{3}; }

bool containsNoCase(const std::string& text, const char* word) {
  auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  return lower(text).find(lower(word)) != std::string::npos;
}

// ---- talking to sockets with a time limit ---------------------------------------------------

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

// Whether a socket is bound to the abstract name `path` (a refusal there then comes from it, not
// from the name being free, which refuses the same way).
bool abstractNameBound(const std::string& path) {
  FILE* table = std::fopen("/proc/net/unix", "re");
  if (!table) return false;
  const std::string wanted = "@" + path;
  char line[512];
  bool found = false;
  while (!found && std::fgets(line, sizeof line, table)) {
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    const size_t at = text.rfind(' ');
    found = at != std::string::npos && text.compare(at + 1, std::string::npos, wanted) == 0;
  }
  std::fclose(table);
  return found;
}

// A TCP connection begun without waiting: `pending` while it is still being made (the socket
// becomes writable once it is, or has failed); -1 with errno set when it failed at once.
int connectTcp(const sockaddr_storage& addr, socklen_t length, bool* pending) {
  const int fd = ::socket(addr.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  *pending = false;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), length) == 0) return fd;
  if (errno == EINPROGRESS) {
    *pending = true;
    return fd;
  }
  const int saved = errno;
  ::close(fd);
  errno = saved;
  return -1;
}

// A socket closed with the last copy of the pointer.
std::shared_ptr<void> owned(int fd) {
  return std::shared_ptr<void>(reinterpret_cast<void*>(static_cast<intptr_t>(fd)),
                               [](void* p) { ::close(static_cast<int>(reinterpret_cast<intptr_t>(p))); });
}

enum class Answer { Complete, Closed, Silent, Refused };

// One display's first exchange: the request sent, then what comes back read until `take` has
// what it needs. Made side by side with the other displays' (runExchanges).
struct Exchange {
  int fd = -1;
  bool connecting = false;  // a TCP connection still being made
  std::string request;
  size_t sent = 0;
  std::function<bool(const uint8_t*, size_t)> take;
  std::optional<Answer> answer;  // once over
  int error = 0;                 // Refused: why
};

// What the socket allows now: the connection's end, some of the request, one read (so that a
// server flooding the connection still leaves the time limit looked at).
void step(Exchange& e) {
  if (e.connecting) {
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(e.fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    if (error != 0) {
      e.error = error;
      e.answer = Answer::Refused;
      return;
    }
    e.connecting = false;
  }
  while (e.sent < e.request.size()) {
    const ssize_t n = ::send(e.fd, e.request.data() + e.sent, e.request.size() - e.sent, MSG_NOSIGNAL);
    if (n > 0) {
      e.sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return;
    e.answer = Answer::Closed;
    return;
  }
  uint8_t buffer[4096];
  ssize_t n;
  do n = ::recv(e.fd, buffer, sizeof buffer, 0);
  while (n < 0 && errno == EINTR);
  if (n > 0) {
    if (e.take(buffer, static_cast<size_t>(n))) e.answer = Answer::Complete;
    return;
  }
  if (n < 0 && errno == EAGAIN) return;
  e.answer = Answer::Closed;
}

// Runs the exchanges side by side until each is over, `enough` says the rest are not needed, or
// the time is up (those not over are Silent). False when `interruptFd` became readable.
bool runExchanges(const std::vector<Exchange*>& exchanges, Clock::time_point until, int interruptFd,
                  const std::function<bool()>& enough) {
  std::vector<pollfd> fds;
  std::vector<Exchange*> polled;
  for (;;) {
    if (enough()) return true;
    fds.clear();
    polled.clear();
    for (Exchange* e : exchanges) {
      if (e->answer) continue;
      const bool writing = e->connecting || e->sent < e->request.size();
      fds.push_back(pollfd{e->fd, static_cast<short>(writing ? POLLOUT : POLLIN), 0});
      polled.push_back(e);
    }
    if (polled.empty()) return true;
    const auto left = until - Clock::now();
    if (left <= Clock::duration::zero()) {
      for (Exchange* e : polled) e->answer = Answer::Silent;
      return true;
    }
    if (interruptFd >= 0) fds.push_back(pollfd{interruptFd, POLLIN, 0});
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    const int n = poll(fds.data(), static_cast<nfds_t>(fds.size()), static_cast<int>(std::min<long long>(ms, INT_MAX)));
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) continue;
    if (n > 0 && interruptFd >= 0 && fds.back().revents) return false;
    // (A failed poll: the reads and writes that follow say why.)
    for (size_t i = 0; i < polled.size(); ++i) {
      if (n < 0 || fds[i].revents) step(*polled[i]);
    }
  }
}

Probe notYet(std::string cause) {
  Probe p;
  p.outcome = Probe::Outcome::NotYet;
  p.cause = std::move(cause);
  return p;
}
Probe never(std::string cause) {
  Probe p;
  p.outcome = Probe::Outcome::Never;
  p.cause = std::move(cause);
  return p;
}
Probe interrupted() {
  Probe p;
  p.outcome = Probe::Outcome::Interrupted;
  p.cause = "the wait was interrupted";
  return p;
}
// `fd` (-1 for none) is connected to the server: its address is the one SDL's connection reaches;
// `request` is what it answered.
Probe there(std::string driver, std::string where, int fd, std::shared_ptr<void> connection = {},
            std::string request = {}) {
  Probe p;
  p.outcome = Probe::Outcome::There;
  p.driver = std::move(driver);
  p.connection = std::move(connection);
  p.where = std::move(where);
  p.request = std::move(request);
  socklen_t length = sizeof p.peer;
  if (fd >= 0 && getpeername(fd, reinterpret_cast<sockaddr*>(&p.peer), &length) == 0) p.peerLength = length;
  return p;
}

// What a server that did not answer in full is: not there yet.
Probe unanswered(Answer answer, const std::string& where) {
  if (answer == Answer::Silent) return notYet(where + " does not answer");
  return notYet(where + " closed the connection before answering");
}

// One display looked at: its answer known at once (`result`), or once its exchange is over
// (`finish`).
struct Look {
  std::optional<Probe> result;
  Exchange exchange;
  std::shared_ptr<void> connection;
  std::function<Probe(Answer)> finish;
  WaylandRegistryReader registry;
  const std::vector<WaylandNeed>* waylandNeeds = nullptr;
  std::string reply;
  XSetupReply setup;
};

// ---- Wayland ---------------------------------------------------------------------------------

void lookAtWayland(Look& look, const std::vector<WaylandNeed>& needs) {
  look.waylandNeeds = &needs;
  look.registry = WaylandRegistryReader(needs);
  const std::string name = env("WAYLAND_DISPLAY");
  const char* dir = env("XDG_RUNTIME_DIR");
  if (name.front() != '/' && !dir) {
    look.result = never("WAYLAND_DISPLAY=" + displayableWords(name) + " names a socket in XDG_RUNTIME_DIR, which is not set");
    return;
  }
  const std::string path = name.front() == '/' ? name : std::string(dir) + "/" + name;
  // The path as the lines say it: the environment's bytes made fit for a line of the log.
  const std::string shownPath = displayableWords(path);
  if (path.size() >= sizeof(sockaddr_un::sun_path)) {
    look.result = never("the Wayland socket path " + shownPath + " is too long (at most " +
                        std::to_string(sizeof(sockaddr_un::sun_path) - 1) + " bytes)");
    return;
  }
  const int fd = connectLocal(path, false);
  if (fd < 0) {
    look.result = notYet("no Wayland compositor listens at " + shownPath + " (" + std::strerror(errno) + ")");
    return;
  }
  look.connection = owned(fd);
  look.exchange.fd = fd;
  look.exchange.request = WaylandRegistryReader::request();
  // The registry's reading may ask for more (wl_shm's formats): sent once the socket allows.
  look.exchange.take = [&look](const uint8_t* data, size_t size) {
    const bool over = look.registry.feed(data, size) != WaylandRegistryReader::State::More;
    look.exchange.request += look.registry.nextRequest();
    return over;
  };
  look.finish = [&look, fd, where = "the Wayland compositor at " + shownPath](Answer answer) {
    if (answer != Answer::Complete) return unanswered(answer, where);
    if (look.registry.state() == WaylandRegistryReader::State::Error)
      return notYet(where + " refused the connection (error " + std::to_string(look.registry.errorCode()) + ": " +
                    look.registry.errorWords() + ")");
    if (look.registry.state() == WaylandRegistryReader::State::Malformed)
      return notYet(where + " answered in something other than Wayland");
    const WaylandJudgement judged = judgeWaylandGlobals(look.registry, *look.waylandNeeds, where);
    if (judged.outcome == WaylandJudgement::Outcome::Never) return never(judged.cause);
    if (judged.outcome == WaylandJudgement::Outcome::NotYet) return notYet(judged.cause);
    // The start's watch asks a fresh connection the plainest question: a sync.
    Probe p = there("wayland", where, fd, {}, WaylandSyncReader::request());
    p.titleBar = judged.titleBar;
    p.titleBarCause = judged.titleBarCause;
    return p;
  };
}

// ---- X11 -------------------------------------------------------------------------------------

// The X protocol's address families of a server on the network (X.h, which is not included here:
// its macros clash with ordinary names).
constexpr int XFamilyInternet = 0, XFamilyInternet6 = 6;

// The MIT-MAGIC-COOKIE-1 Xlib would send to the server `number` at the address `family`/`address`
// (FamilyLocal with this host's name for a local or loopback server), from $XAUTHORITY or
// ~/.Xauthority; empty name and data when there is none (the server may not ask for one).
std::pair<std::string, std::string> cookie(int family, const std::string& address, int number) {
  const std::string display = std::to_string(number);
  char type[] = "MIT-MAGIC-COOKIE-1";
  char* types[] = {type};
  int typeLengths[] = {static_cast<int>(sizeof type - 1)};
  Xauth* auth = XauGetBestAuthByAddr(static_cast<unsigned short>(family), static_cast<unsigned short>(address.size()),
                                     address.data(), static_cast<unsigned short>(display.size()), display.c_str(), 1,
                                     types, typeLengths);
  if (!auth) return {};
  std::pair<std::string, std::string> found{std::string(auth->name, auth->name_length),
                                            std::string(auth->data, auth->data_length)};
  XauDisposeAuth(auth);
  return found;
}

std::pair<std::string, std::string> localCookie(int number) {
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0) return {};
  return cookie(FamilyLocal, host, number);
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

// What the X server said in its set-up answer, for the display `text` at `where`.
Probe xAnswer(const XSetupReply& setup, const XDisplayName& name, const std::string& text, const std::string& where,
              int fd, std::shared_ptr<void> connection, const std::string& request) {
  switch (setup.status) {
    case XSetupReply::Status::Failed:
      // A refused authorization stays refused; a full server may take the connection later.
      if (containsNoCase(setup.reason, "authoriz") || containsNoCase(setup.reason, "protocol specified") ||
          containsNoCase(setup.reason, "cookie") || containsNoCase(setup.reason, "access")) {
        const char* file = XauFileName();
        return never(where + " refused the connection's authorization (" + setup.reason + "; cookies from " +
                     (file ? displayableWords(file) : "no file") + ")");
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
  if (name.screen >= setup.screens)
    return never("DISPLAY=" + text + " names screen " + std::to_string(name.screen) + ", but the X server has " +
                 std::to_string(setup.screens));
  // The window's framebuffer takes the root window's pixels: true colour of 15, 16, 24 or 30 bits.
  const int depth = setup.rootDepth;
  const bool drawable = (setup.rootVisualClass == 4 || setup.rootVisualClass == 5) &&
                        (depth == 15 || depth == 16 || depth == 24 || depth == 30 || depth == 32);
  if (!drawable)
    return never(where + " shows " + std::to_string(depth) + "-bit " + visualClassName(setup.rootVisualClass) +
                 " pixels, which the window cannot draw (it needs true colour of 15, 16, 24 or 30 bits)");
  return there("x11", where, fd, std::move(connection), request);
}

// An X server's numeric address (or "localhost", the loopback), as a socket address on the
// display's port; false for a host name, which is not resolved here (that has no time limit).
bool xServerAddress(const std::string& host, uint16_t hostPort, sockaddr_storage* addr, socklen_t* length) {
  const uint16_t port = htons(hostPort);
  std::string bare = host;
  if (bare.size() > 2 && bare.front() == '[' && bare.back() == ']') bare = bare.substr(1, bare.size() - 2);
  if (bare == "localhost") bare = "127.0.0.1";
  *addr = {};
  auto* v4 = reinterpret_cast<sockaddr_in*>(addr);
  if (inet_pton(AF_INET, bare.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = port;
    *length = sizeof(sockaddr_in);
    return true;
  }
  auto* v6 = reinterpret_cast<sockaddr_in6*>(addr);
  if (inet_pton(AF_INET6, bare.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = port;
    *length = sizeof(sockaddr_in6);
    return true;
  }
  return false;
}

void lookAtX11(Look& look) {
  const std::string named = env("DISPLAY");
  const auto parsed = parseXDisplayName(named);
  // The name as the lines say it: made fit for a line of the log.
  const std::string text = displayableWords(named);
  if (!parsed) {
    look.result = never("DISPLAY=" + text + " names no X server (the form is [host]:number[.screen])");
    return;
  }
  const XDisplayName name = *parsed;
  const std::string where = "the X server at " + text;
  // Xlib reads the cookies before it connects, without a limit of its own.
  if (std::string problem = xAuthorityProblem(); !problem.empty()) {
    look.result = never(problem);
    return;
  }
  int fd = -1;
  std::string reached;  // where the connection was made, for the user
  std::pair<std::string, std::string> sent;
  if (!name.host.empty() && name.host != "unix") {
    // Over TCP, display N is at port 6000 + N: past 65535 there is no such port (cut to 16 bits it
    // would reach another one).
    const std::optional<uint16_t> port = xServerPort(name.number);
    if (!port) {
      look.result = never("DISPLAY=" + text + " names no X server: display " + std::to_string(name.number) +
                          " would be at TCP port " + std::to_string(6000LL + name.number) + ", past the last port, " +
                          std::to_string(net::kMaxTcpPort));
      return;
    }
    sockaddr_storage addr{};
    socklen_t length = 0;
    // A server reached by a host name: SDL connects to it itself, within the start's limit.
    if (!xServerAddress(name.host, *port, &addr, &length)) {
      look.result = there("x11", where, -1);
      return;
    }
    char numeric[INET6_ADDRSTRLEN] = {};
    const void* bytes = addr.ss_family == AF_INET ? static_cast<const void*>(&reinterpret_cast<sockaddr_in&>(addr).sin_addr)
                                                  : static_cast<const void*>(&reinterpret_cast<sockaddr_in6&>(addr).sin6_addr);
    inet_ntop(addr.ss_family, bytes, numeric, sizeof numeric);
    reached = std::string(numeric) + " port " + std::to_string(*port);
    fd = connectTcp(addr, length, &look.exchange.connecting);
    if (fd < 0) {
      look.result = notYet("no X server answers at " + text + " (" + reached + ": " + std::strerror(errno) + ")");
      return;
    }
    // Xlib gives a server on the loopback the local cookie, else the address's own.
    const bool loopback = addr.ss_family == AF_INET ? (ntohl(reinterpret_cast<sockaddr_in&>(addr).sin_addr.s_addr) >> 24) == 127
                                                    : IN6_IS_ADDR_LOOPBACK(&reinterpret_cast<sockaddr_in6&>(addr).sin6_addr);
    if (loopback) {
      sent = localCookie(name.number);
    } else if (addr.ss_family == AF_INET) {
      sent = cookie(XFamilyInternet, std::string(static_cast<const char*>(bytes), 4), name.number);
    } else {
      sent = cookie(XFamilyInternet6, std::string(static_cast<const char*>(bytes), 16), name.number);
    }
  } else {
    // Xlib tries the abstract socket first, then the file. Nothing at an abstract name refuses;
    // anything else there (a full queue, a socket of another kind) is the reason worth giving.
    const std::string path = "/tmp/.X11-unix/X" + std::to_string(name.number);
    fd = connectLocal(path, true);
    const int abstractError = fd < 0 ? errno : 0;
    if (fd < 0) fd = connectLocal(path, false);
    if (fd < 0) {
      const bool abstractSaid = abstractError != ECONNREFUSED || abstractNameBound(path);
      look.result = notYet("no X server answers at " + text + " (" + (abstractSaid ? "@" : "") + path + ": " +
                           std::strerror(abstractSaid ? abstractError : errno) + ")");
      return;
    }
    sent = localCookie(name.number);
  }
  look.connection = owned(fd);
  look.exchange.fd = fd;
  look.exchange.request = xSetupRequest(sent);
  look.exchange.take = [&look, screen = name.screen](const uint8_t* data, size_t size) {
    look.reply.append(reinterpret_cast<const char*>(data), size);
    look.setup = parseXSetupReply(reinterpret_cast<const uint8_t*>(look.reply.data()), look.reply.size(), screen);
    return look.setup.status != XSetupReply::Status::Incomplete;
  };
  look.finish = [&look, name, text, where, reached, fd](Answer answer) {
    if (answer == Answer::Refused)
      return notYet("no X server answers at " + text + " (" + reached + ": " + std::strerror(look.exchange.error) + ")");
    if (answer != Answer::Complete) return unanswered(answer, where);
    return xAnswer(look.setup, name, text, where, fd, look.connection, look.exchange.request);
  };
}

}  // namespace

std::vector<std::string> chosenDesktopDrivers(const std::string& list, bool* others) {
  std::vector<std::string> drivers;
  if (others) *others = false;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(',', start);
    if (end == std::string::npos) end = list.size();
    std::string name = list.substr(start, end - start);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name == "wayland" || name == "x11") {
      if (std::find(drivers.begin(), drivers.end(), name) == drivers.end()) drivers.push_back(name);
    } else if (!name.empty() && others) {
      *others = true;
    }
    start = end + 1;
  }
  return drivers;
}

std::string displayableWords(const std::string& words, size_t limit) {
  std::string out;
  out.reserve(std::min(words.size(), limit + 3));
  for (const char ch : words) {
    if (out.size() >= limit) {
      out += "...";
      break;
    }
    const auto c = static_cast<unsigned char>(ch);
    if (c == '\n' || c == '\r' || c == '\t') out.push_back(' ');
    else if (c < 0x20 || c >= 0x7f) out.push_back('?');
    else out.push_back(ch);
  }
  return out;
}

std::string xAuthorityProblem() {
  const char* file = XauFileName();
  if (!file || !*file) return "";
  struct stat st {};
  // Missing or unreadable: Xlib goes on without cookies, and the server says whether it wants one.
  if (::stat(file, &st) != 0) return "";
  const std::string named =
      "the X authority file " + displayableWords(file) + (env("XAUTHORITY") ? " (XAUTHORITY)" : "");
  if (!S_ISREG(st.st_mode)) {
    const char* kind = S_ISFIFO(st.st_mode) ? "a FIFO"
                       : S_ISCHR(st.st_mode) ? "a character device"
                       : S_ISBLK(st.st_mode) ? "a block device"
                       : S_ISDIR(st.st_mode) ? "a folder"
                       : S_ISSOCK(st.st_mode) ? "a socket"
                                              : "not a file";
    return named + " is " + kind + ", not a regular file of cookies";
  }
  if (st.st_size > MaxXAuthorityBytes)
    return named + " is " + std::to_string(static_cast<long long>(st.st_size)) +
           " bytes, larger than any file of cookies (at most " + std::to_string(MaxXAuthorityBytes) + ")";
  return "";
}

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

std::optional<uint16_t> xServerPort(int number) {
  if (number < 0) return std::nullopt;
  return net::tcpPort(std::to_string(6000LL + number));
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
  // The words end at the first zero byte; what is left is made fit for a line of the log.
  r.reason = r.reason.substr(0, r.reason.find('\0'));
  while (!r.reason.empty() && std::isspace(static_cast<unsigned char>(r.reason.back()))) r.reason.pop_back();
  r.reason = displayableWords(r.reason);
  return r;
}

Probe probeDisplays(std::chrono::steady_clock::duration within, int interruptFd,
                    const std::vector<WaylandNeed>& waylandNeeds) {
  std::vector<std::string> order{"wayland", "x11"};
  if (const char* chosen = env("SDL_VIDEODRIVER")) order = chosenDesktopDrivers(chosen);
  std::erase_if(order, [](const std::string& d) { return !env(d == "wayland" ? "WAYLAND_DISPLAY" : "DISPLAY"); });
  // Nothing this look knows: SDL chooses, and says why it cannot.
  if (order.empty()) return there("", "the display", -1);
  // Stable addresses: the exchanges' readers point into their looks.
  std::vector<std::unique_ptr<Look>> looks;
  std::vector<Exchange*> exchanges;
  for (const std::string& driver : order) {
    looks.push_back(std::make_unique<Look>());
    if (driver == "wayland") lookAtWayland(*looks.back(), waylandNeeds);
    else lookAtX11(*looks.back());
    if (!looks.back()->result) exchanges.push_back(&looks.back()->exchange);
  }
  // Enough once the first in order that has not failed is there.
  auto enough = [&] {
    for (auto& look : looks) {
      if (!look->result && look->exchange.answer) look->result = look->finish(*look->exchange.answer);
      if (!look->result) return false;
      if (look->result->outcome == Probe::Outcome::There) return true;
    }
    return true;
  };
  if (!runExchanges(exchanges, Clock::now() + within, interruptFd, enough)) return interrupted();
  enough();
  std::vector<Probe> failed;
  for (auto& look : looks) {
    if (!look->result) continue;
    if (look->result->outcome == Probe::Outcome::There) return std::move(*look->result);
    failed.push_back(std::move(*look->result));
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
