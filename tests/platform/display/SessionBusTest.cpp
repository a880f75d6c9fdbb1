// The look at the session bus before the window system starts: the address the bus library would
// use, the bytes of the first exchange, each kind of bus's verdict within the limit (a silent one
// only at the limit, never before), the reader of the bus's answers cut anywhere, and the silent
// bus turned off for the process with one line said.
#include "platform/display/SessionBus.h"

#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/ChildRun.h"
#include "support/StandInSessionBus.h"
#include "support/TempHome.h"

namespace {

using display::SessionBus;
using Verdict = SessionBus::Verdict;
using Reader = SessionBus::AnswerReader;
using Bus = support::StandInSessionBus;
using namespace std::chrono_literals;

// What a wait past its limit may take at most beyond it, on a loaded machine.
constexpr auto Margin = 20s;

struct Timed {
  Verdict verdict = Verdict::NotLookedAt;
  std::chrono::steady_clock::duration took{};
};

Timed timedAsk(const std::string& address, std::chrono::milliseconds limit, int interruptFd = -1) {
  const auto start = std::chrono::steady_clock::now();
  const Verdict verdict = SessionBus::ask(address, limit, interruptFd);
  return {verdict, std::chrono::steady_clock::now() - start};
}

// A listening socket that never accepts: the kernel's queue takes the connections.
int listeningSocket(int family, const sockaddr* addr, socklen_t length, int backlog) {
  const int fd = socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (bind(fd, addr, length) != 0 || listen(fd, backlog) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// A TCP listener on 127.0.0.1 that never accepts, and its port.
int loopbackListener(std::string* port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const int listener = listeningSocket(AF_INET, reinterpret_cast<const sockaddr*>(&addr), sizeof addr, 4);
  socklen_t length = sizeof addr;
  if (listener >= 0 && getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
    close(listener);
    return -1;
  }
  *port = std::to_string(ntohs(addr.sin_port));
  return listener;
}

sockaddr_un localAddress(const std::string& path) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
  return addr;
}

// ---- the address ---------------------------------------------------------------------------

class SessionBusAddressTest : public support::TempHomeTest {
 protected:
  // A folder holding a listening socket "bus".
  std::string runtimeDirWithBus(const std::string& name) {
    const std::string dir = homePath() + "/" + name;
    mkdir(dir.c_str(), 0700);
    m_bus = Bus::at(dir + "/bus", Bus::Answers);
    return dir;
  }

  std::unique_ptr<Bus> m_bus;
};

TEST_F(SessionBusAddressTest, TheVariableWinsWhenSetAndNotEmpty) {
  const std::string dir = runtimeDirWithBus("run");
  ASSERT_TRUE(m_bus);
  EXPECT_EQ(SessionBus::address("unix:path=/elsewhere", dir.c_str()), "unix:path=/elsewhere");
  EXPECT_EQ(SessionBus::address("disabled:", nullptr), "disabled:");
  // Set but empty is as if unset: the runtime folder's socket.
  EXPECT_EQ(SessionBus::address("", dir.c_str()), "unix:path=" + dir + "/bus");
  EXPECT_EQ(SessionBus::address(nullptr, dir.c_str()), "unix:path=" + dir + "/bus");
}

TEST_F(SessionBusAddressTest, TheRuntimeFolderCountsOnlyWithASocketNamedBus) {
  const std::string dir = homePath() + "/run";
  mkdir(dir.c_str(), 0700);
  EXPECT_EQ(SessionBus::address(nullptr, dir.c_str()), "");  // no "bus"
  std::ofstream(dir + "/bus") << "not a socket";
  EXPECT_EQ(SessionBus::address(nullptr, dir.c_str()), "");
  EXPECT_EQ(SessionBus::address("", dir.c_str()), "");
  EXPECT_EQ(SessionBus::address(nullptr, nullptr), "");  // autolaunch: left alone
  EXPECT_EQ(SessionBus::address("", ""), "");
}

// A runtime folder whose name holds bytes an address cannot hold as they are: escaped, and read
// back by the look to the same socket.
TEST_F(SessionBusAddressTest, ARuntimeFolderNameIsEscapedAndReachedAgain) {
  const std::string dir = runtimeDirWithBus("run dir,1;x=%");
  ASSERT_TRUE(m_bus);
  const std::string address = SessionBus::address(nullptr, dir.c_str());
  EXPECT_EQ(address, "unix:path=" + homePath() + "/run%20dir%2c1%3bx%3d%25/bus");
  EXPECT_EQ(SessionBus::ask(address, 60s), Verdict::Answers);
  EXPECT_EQ(m_bus->accepted(), 1);
}

// ---- the bytes sent ------------------------------------------------------------------------

// The Hello message as the marshalling rules read it: little-endian, the fixed header, then the
// header fields array, each field a struct (8-aligned) of a code and a variant.
struct Message {
  char order = 0;
  int type = -1, flags = -1, version = -1;
  uint32_t bodyLength = 0, serial = 0;
  std::map<int, std::pair<char, std::string>> fields;  // code: the variant's type and value
  size_t length = 0;                                   // the whole message, header padding included
  bool wellFormed = false;
};

uint32_t le32(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(s[at + static_cast<size_t>(i)]);
  return v;
}

Message readMessage(const std::string& s) {
  Message m;
  if (s.size() < 16) return m;
  m.order = s[0];
  m.type = static_cast<uint8_t>(s[1]);
  m.flags = static_cast<uint8_t>(s[2]);
  m.version = static_cast<uint8_t>(s[3]);
  m.bodyLength = le32(s, 4);
  m.serial = le32(s, 8);
  const size_t end = 16 + le32(s, 12);
  m.length = (end + 7) / 8 * 8 + m.bodyLength;
  if (s.size() < m.length) return m;
  for (size_t at = 16; at < end;) {
    if (at % 8 != 0 || at + 4 > end) return m;
    const int code = static_cast<uint8_t>(s[at]);
    // A signature of one type: its length 1, the type, a nul.
    if (s[at + 1] != 1 || s[at + 3] != '\0') return m;
    const char type = s[at + 2];
    at += 4;  // now 4-aligned, as a string's length is
    if (at + 4 > end) return m;
    const uint32_t size = le32(s, at);
    if (size >= end - at - 4) return m;
    const std::string value = s.substr(at + 4, size);
    if (s[at + 4 + size] != '\0') return m;
    m.fields[code] = {type, value};
    at += 4 + size + 1;
    if (at < end) at = (at + 7) / 8 * 8;
    if (at > end) return m;
  }
  // The padding after the fields is zeros.
  for (size_t at = end; at < (end + 7) / 8 * 8; ++at)
    if (s[at] != '\0') return m;
  m.wellFormed = true;
  return m;
}

class SessionBusRequestTest : public support::TempHomeTest {};

TEST_F(SessionBusRequestTest, TheAuthLineCarriesTheUidInDecimalDigitsWrittenInHex) {
  EXPECT_EQ(SessionBus::authRequest(1000), std::string("\0AUTH EXTERNAL 31303030\r\n", 25));
  EXPECT_EQ(SessionBus::authRequest(0), std::string("\0AUTH EXTERNAL 30\r\n", 19));
}

// What the look sends a bus that answers its authentication: the nul byte and the auth line of
// this process's uid, then BEGIN and the Hello call, and nothing more.
TEST_F(SessionBusRequestTest, TheLookSendsTheAuthLineThenBeginAndHello) {
  const std::string path = homePath() + "/bus";
  auto bus = Bus::at(path, Bus::AnswersAuthOnly);
  ASSERT_TRUE(bus);
  EXPECT_EQ(SessionBus::ask(bus->address(), 300ms), Verdict::Silent);

  const std::string auth = SessionBus::authRequest(static_cast<unsigned>(getuid()));
  const std::string begin = "BEGIN\r\n";
  ASSERT_TRUE(bus->waitForBytes(auth.size() + begin.size() + 16));
  std::string received = bus->received();
  ASSERT_EQ(received.substr(0, auth.size()), auth);
  ASSERT_EQ(received.substr(auth.size(), begin.size()), begin);
  const std::string hello = received.substr(auth.size() + begin.size());
  const Message m = readMessage(hello);
  ASSERT_TRUE(bus->waitForBytes(auth.size() + begin.size() + m.length));
  const Message whole = readMessage(bus->received().substr(auth.size() + begin.size()));
  ASSERT_TRUE(whole.wellFormed);
  EXPECT_EQ(whole.order, 'l');
  EXPECT_EQ(whole.type, 1);  // METHOD_CALL
  EXPECT_EQ(whole.flags, 0);
  EXPECT_EQ(whole.version, 1);
  EXPECT_EQ(whole.bodyLength, 0u);
  EXPECT_EQ(whole.serial, 1u);
  const std::map<int, std::pair<char, std::string>> expected = {
      {1, {'o', "/org/freedesktop/DBus"}},  // PATH
      {2, {'s', "org.freedesktop.DBus"}},   // INTERFACE
      {3, {'s', "Hello"}},                  // MEMBER
      {6, {'s', "org.freedesktop.DBus"}},   // DESTINATION
  };
  EXPECT_EQ(whole.fields, expected);
  EXPECT_EQ(whole.length % 8, 0u);
  EXPECT_EQ(bus->received().size(), auth.size() + begin.size() + whole.length);
  EXPECT_EQ(bus->received().substr(auth.size()), SessionBus::helloRequest());
}

// ---- each kind of bus ----------------------------------------------------------------------

class SessionBusAskTest : public support::TempHomeTest {
 protected:
  std::string path() const { return homePath() + "/bus"; }
};

// Silent, and silent after its authentication: only at the limit, not before it.
TEST_F(SessionBusAskTest, ABusThatTakesTheConnectionAndStopsAnsweringIsSilentAtTheLimit) {
  for (const Bus::Behaviour behaviour : {Bus::Silent, Bus::AnswersAuthOnly}) {
    SCOPED_TRACE(behaviour == Bus::Silent ? "silent" : "answers its authentication only");
    auto bus = Bus::at(path(), behaviour);
    ASSERT_TRUE(bus);
    const Timed asked = timedAsk(bus->address(), 300ms);
    EXPECT_EQ(asked.verdict, Verdict::Silent);
    EXPECT_GE(asked.took, 300ms);
    EXPECT_LT(asked.took, 300ms + Margin);
    EXPECT_EQ(bus->accepted(), 1);
  }
}

TEST_F(SessionBusAskTest, ABusThatAnswersHelloAnswersBeforeTheLimit) {
  auto bus = Bus::at(path(), Bus::Answers);
  ASSERT_TRUE(bus);
  const Timed asked = timedAsk(bus->address(), 60s);
  EXPECT_EQ(asked.verdict, Verdict::Answers);
  EXPECT_LT(asked.took, 60s);
}

TEST_F(SessionBusAskTest, NothingToConnectToOrAConnectionClosedUnansweredIsUnreachable) {
  {
    auto bus = Bus::at(path(), Bus::ClosesAtOnce);
    ASSERT_TRUE(bus);
    EXPECT_EQ(SessionBus::ask(bus->address(), 60s), Verdict::Unreachable);
    EXPECT_EQ(bus->accepted(), 1);
  }
  EXPECT_EQ(SessionBus::ask("unix:path=" + homePath() + "/missing", 60s), Verdict::Unreachable);
  // A socket file whose listener has gone refuses.
  const sockaddr_un addr = localAddress(homePath() + "/gone");
  close(listeningSocket(AF_UNIX, reinterpret_cast<const sockaddr*>(&addr), sizeof addr, 4));
  EXPECT_EQ(SessionBus::ask("unix:path=" + homePath() + "/gone", 60s), Verdict::Unreachable);
  EXPECT_EQ(SessionBus::ask("unix:abstract=kt-no-such-bus-" + std::to_string(getpid()), 60s), Verdict::Unreachable);
  EXPECT_EQ(SessionBus::ask("unix:path=/missing/a;unix:path=/missing/b", 60s), Verdict::Unreachable);
}

// The entries in order: the first that takes a connection is the one asked; one the look does not
// read, reached before that, ends the look; after it, it is never reached.
TEST_F(SessionBusAskTest, TheEntriesAreTriedInOrderUntilOneTakesTheConnection) {
  auto bus = Bus::at(path(), Bus::Answers);
  ASSERT_TRUE(bus);
  EXPECT_EQ(SessionBus::ask("unix:path=/missing;" + bus->address(), 60s), Verdict::Answers);
  EXPECT_EQ(bus->accepted(), 1);
  EXPECT_EQ(SessionBus::ask(bus->address() + ";autolaunch:", 60s), Verdict::Answers);
  EXPECT_EQ(bus->accepted(), 2);
  EXPECT_EQ(SessionBus::ask("unix:path=/missing;autolaunch:;" + bus->address(), 60s), Verdict::NotLookedAt);
  EXPECT_EQ(bus->accepted(), 2);
}

TEST_F(SessionBusAskTest, AddressesTheLookDoesNotReadAreNotLookedAt) {
  for (const char* address :
       {"autolaunch:", "disabled:", "unixexec:path=/bin/true", "nonce-tcp:host=127.0.0.1,port=1,noncefile=/x",
        "launchd:env=X", "systemd:", "", ";", "unix", ":path=/x", "unix:path", "unix:path=%zz", "unix:path=%4",
        "unix:tmpdir=/tmp", "unix:path=/a,abstract=b", "unix:runtime=no", "tcp:host=127.0.0.1",
        "tcp:host=127.0.0.1,port=1,family=ipx"}) {
    SCOPED_TRACE(address);
    EXPECT_EQ(SessionBus::ask(address, 60s), Verdict::NotLookedAt);
  }
}

// A value's %-escapes are read back to the bytes of the path.
TEST_F(SessionBusAskTest, AnEscapedPathIsReadBackToItsBytes) {
  auto bus = Bus::at(homePath() + "/a b,c", Bus::Answers);
  ASSERT_TRUE(bus);
  EXPECT_EQ(SessionBus::ask("unix:path=" + homePath() + "/a%20b%2Cc", 60s), Verdict::Answers);
  EXPECT_EQ(bus->accepted(), 1);
}

// A listener whose queue is full: the library's connect waits there, so the look waits too.
TEST_F(SessionBusAskTest, AListenerWithAFullQueueIsSilentAtTheLimit) {
  const sockaddr_un addr = localAddress(path());
  const int listener = listeningSocket(AF_UNIX, reinterpret_cast<const sockaddr*>(&addr), sizeof addr, 0);
  ASSERT_GE(listener, 0);
  std::vector<int> queued;
  bool full = false;
  while (!full && queued.size() < 64) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    full = connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 && errno == EAGAIN;
    queued.push_back(fd);
  }
  ASSERT_TRUE(full);
  const Timed asked = timedAsk("unix:path=" + path(), 300ms);
  EXPECT_EQ(asked.verdict, Verdict::Silent);
  EXPECT_GE(asked.took, 300ms);
  EXPECT_LT(asked.took, 300ms + Margin);
  for (const int fd : queued) close(fd);
  close(listener);
}

// Over TCP: a listener that never accepts is silent; a port nobody listens on refuses.
TEST_F(SessionBusAskTest, TcpListenersAreAskedTheSameWay) {
  std::string port;
  const int listener = loopbackListener(&port);
  ASSERT_GE(listener, 0);
  const Timed asked = timedAsk("tcp:host=127.0.0.1,port=" + port + ",family=ipv4", 300ms);
  EXPECT_EQ(asked.verdict, Verdict::Silent);
  EXPECT_GE(asked.took, 300ms);
  EXPECT_LT(asked.took, 300ms + Margin);
  close(listener);
  EXPECT_EQ(SessionBus::ask("tcp:host=127.0.0.1,port=" + port, 60s), Verdict::Unreachable);
}

// A termination signal's descriptor readable while the bus is silent ends the wait at once.
TEST_F(SessionBusAskTest, TheInterruptEndsTheWait) {
  auto bus = Bus::at(path(), Bus::Silent);
  ASSERT_TRUE(bus);
  const int interrupt = eventfd(0, EFD_CLOEXEC);
  ASSERT_GE(interrupt, 0);
  std::thread signal([&] {
    // Once the look is waiting on the bus's answer.
    if (bus->waitForBytes(1)) {
      const uint64_t one = 1;
      ssize_t written = write(interrupt, &one, sizeof one);
      (void)written;
    }
  });
  const Timed asked = timedAsk(bus->address(), 60s, interrupt);
  signal.join();
  EXPECT_EQ(asked.verdict, Verdict::NotLookedAt);
  EXPECT_LT(asked.took, 60s);
  // Readable before the look: it does not even wait.
  EXPECT_EQ(SessionBus::ask(bus->address(), 60s, interrupt), Verdict::NotLookedAt);
  close(interrupt);
}

// ---- a host name's lookup ---------------------------------------------------------------------

// A program in the place of the host lookup, written into the test's home: `body` is its shell.
std::string lookupProgram(const std::string& home, const std::string& name, const std::string& body) {
  const std::string path = home + "/" + name;
  std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
  chmod(path.c_str(), 0700);
  return path;
}

struct LookupProgram {
  explicit LookupProgram(const std::string& path) { SessionBus::setHostLookupProgramForTesting(path); }
  ~LookupProgram() { SessionBus::setHostLookupProgramForTesting(""); }
};

// A lookup that never ends (a resolver that does not answer) is bounded by the limit like the
// rest of the look, and by the interrupt; its process is ended and reaped either way. The lookup
// was made without a limit, so a hung resolver held the look, and the window's start after it.
TEST_F(SessionBusAskTest, AHostNameWhoseLookupHangsIsBoundedByTheLimitAndTheInterrupt) {
  {
    LookupProgram hangs(lookupProgram(homePath(), "hangs", "exec sleep 3600"));
    const Timed asked = timedAsk("tcp:host=kt-hung-resolver.invalid,port=1", 300ms);
    EXPECT_EQ(asked.verdict, Verdict::Silent);
    EXPECT_GE(asked.took, 300ms);
    EXPECT_LT(asked.took, 300ms + Margin);
  }
  // It says its process once it runs, then hangs as itself.
  const std::string started = homePath() + "/started";
  ASSERT_EQ(mkfifo(started.c_str(), 0600), 0);
  LookupProgram hangs(lookupProgram(homePath(), "says-and-hangs", "echo $$ > '" + started + "'\nexec sleep 3600"));
  // Open before the lookup, so that its write does not wait for a reader.
  const int said = open(started.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(said, 0);
  const int interrupt = eventfd(0, EFD_CLOEXEC);
  ASSERT_GE(interrupt, 0);
  pid_t process = -1;
  std::thread signal([&] {
    // Once the lookup's process runs.
    pollfd p{said, POLLIN, 0};
    char text[32] = {};
    if (poll(&p, 1, 60000) == 1 && read(said, text, sizeof text - 1) > 0) process = static_cast<pid_t>(std::atoi(text));
    const uint64_t one = 1;
    ssize_t written = write(interrupt, &one, sizeof one);
    (void)written;
  });
  const Timed interrupted = timedAsk("tcp:host=kt-hung-resolver.invalid,port=1", 60s, interrupt);
  signal.join();
  EXPECT_EQ(interrupted.verdict, Verdict::NotLookedAt);
  EXPECT_LT(interrupted.took, 60s);
  // Ended, and reaped: no process of that number any more, not even a zombie.
  ASSERT_GT(process, 0);
  EXPECT_TRUE(kill(process, 0) != 0 && errno == ESRCH) << process;
  close(interrupt);
  close(said);
}

// What the lookup printed: its stream addresses in order, each once, of the family asked, with
// the port; the other socket types, a mapped IPv4 address, and lines that are not addresses
// passed over.
TEST(SessionBusHostAddressesTest, TheLookupsStreamAddressesAreReadInOrderOnce) {
  auto text = [](const std::vector<SessionBus::HostAddress>& addresses) {
    std::string out;
    for (const auto& a : addresses) {
      char numeric[INET6_ADDRSTRLEN] = {};
      const bool v4 = a.address.ss_family == AF_INET;
      const auto& in = reinterpret_cast<const sockaddr_in&>(a.address);
      const auto& in6 = reinterpret_cast<const sockaddr_in6&>(a.address);
      inet_ntop(a.address.ss_family, v4 ? static_cast<const void*>(&in.sin_addr) : &in6.sin6_addr, numeric,
                sizeof numeric);
      EXPECT_EQ(a.length, v4 ? sizeof(sockaddr_in) : sizeof(sockaddr_in6));
      out += std::string(numeric) + ":" + std::to_string(ntohs(v4 ? in.sin_port : in6.sin6_port)) + " ";
    }
    return out;
  };
  const std::string printed =
      "::1             STREAM localhost\n::1             DGRAM  \n::1             RAW    \n"
      "127.0.0.1       STREAM \n127.0.0.1       DGRAM  \n::ffff:10.0.0.1 STREAM\n"
      "garbage STREAM\n\n 192.0.2.7\tSTREAM x\n127.0.0.1 STREAM again\n2001:db8::2 STREAMS\n";
  EXPECT_EQ(text(SessionBus::parseHostAddresses(printed, 6667, AF_UNSPEC)), "::1:6667 127.0.0.1:6667 192.0.2.7:6667 ");
  EXPECT_EQ(text(SessionBus::parseHostAddresses(printed, 1, AF_INET)), "127.0.0.1:1 192.0.2.7:1 ");
  EXPECT_EQ(text(SessionBus::parseHostAddresses(printed, 1, AF_INET6)), "::1:1 ");
  EXPECT_EQ(text(SessionBus::parseHostAddresses("", 1, AF_UNSPEC)), "");
  // A flood is cut at the bound.
  std::string flood;
  for (int i = 0; i < 300; ++i) flood += "10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250) + " STREAM\n";
  EXPECT_EQ(SessionBus::parseHostAddresses(flood, 1, AF_UNSPEC).size(), SessionBus::MaxHostAddresses);
}

// A host address as "address:port", IPv6 ones as "[address%scope]:port" (the scope when not 0).
std::string addressText(const SessionBus::HostAddress& a) {
  char numeric[INET6_ADDRSTRLEN] = {};
  if (a.address.ss_family == AF_INET) {
    const auto& in = reinterpret_cast<const sockaddr_in&>(a.address);
    inet_ntop(AF_INET, &in.sin_addr, numeric, sizeof numeric);
    return std::string(numeric) + ":" + std::to_string(ntohs(in.sin_port));
  }
  const auto& in6 = reinterpret_cast<const sockaddr_in6&>(a.address);
  inet_ntop(AF_INET6, &in6.sin6_addr, numeric, sizeof numeric);
  const std::string scope = in6.sin6_scope_id ? "%" + std::to_string(in6.sin6_scope_id) : "";
  return "[" + std::string(numeric) + scope + "]:" + std::to_string(ntohs(in6.sin6_port));
}

// A link-local address comes with its scope, the interface's number or name: read into the
// address's scope (a name by this host's interface of that name), which a connection to it needs.
// It was refused, and a bus at such an address never reached. A bad scope skips its line alone.
TEST(SessionBusHostAddressesTest, AnAddressesScopeIsReadAsTheInterfacesNumberOrName) {
  const unsigned loopback = if_nametoindex("lo");
  ASSERT_GT(loopback, 0u);
  const std::string lo = std::to_string(loopback);
  struct Row {
    std::string printed;
    int family;
    std::string read;
  } rows[] = {
      {"fe80::1%1 STREAM\n", AF_UNSPEC, "[fe80::1%1]:7 "},
      {"fe80::1%2      STREAM venue-bus\n", AF_INET6, "[fe80::1%2]:7 "},
      {"fe80::1%lo STREAM\n", AF_UNSPEC, "[fe80::1%" + lo + "]:7 "},
      {"fe80::1 STREAM\n", AF_UNSPEC, "[fe80::1]:7 "},
      {"fe80::1%0 STREAM\n", AF_UNSPEC, "[fe80::1]:7 "},
      {"fe80::1%0001 STREAM\n", AF_UNSPEC, "[fe80::1%1]:7 "},
      {"fe80::1%4294967295 STREAM\n", AF_UNSPEC, "[fe80::1%4294967295]:7 "},
      // The same address on two interfaces is two addresses; on one, once.
      {"fe80::1%1 STREAM\nfe80::1%2 STREAM\nfe80::1%1 STREAM\nfe80::1%01 STREAM\n", AF_UNSPEC,
       "[fe80::1%1]:7 [fe80::1%2]:7 "},
      {"fe80::1%1 STREAM\n", AF_INET, ""},
      {"fe80::1%1 DGRAM\n", AF_UNSPEC, ""},
      // Bad scopes: the line is skipped, the next one read.
      {"fe80::1% STREAM\n127.0.0.1 STREAM\n", AF_UNSPEC, "127.0.0.1:7 "},
      {"fe80::1%4294967296 STREAM\n", AF_UNSPEC, ""},
      {"fe80::1%99999999999999999999999 STREAM\n", AF_UNSPEC, ""},
      {"fe80::1%kt-no-such0 STREAM\n::1 STREAM\n", AF_UNSPEC, "[::1]:7 "},
      {"fe80::1%averylonginterfacename STREAM\n", AF_UNSPEC, ""},
      {"fe80::1%1%2 STREAM\n", AF_UNSPEC, ""},
      {"fe80::1%-1 STREAM\n", AF_UNSPEC, ""},
      {"fe80::1%+1 STREAM\n", AF_UNSPEC, ""},
      {"fe80::1%%1 STREAM\n", AF_UNSPEC, ""},
      {"127.0.0.1%1 STREAM\n", AF_UNSPEC, ""},
      {"127.0.0.1%lo STREAM\n", AF_INET, ""},
      {"::ffff:10.0.0.1%1 STREAM\n", AF_UNSPEC, ""},
      {"%1 STREAM\n", AF_UNSPEC, ""},
      {"fe80::1%1\n", AF_UNSPEC, ""},
      // Junk around the addresses.
      {"fe80::zz%1 STREAM\n\nSTREAM\n%\n \t \nfe80::2%1\tSTREAM\t\n", AF_UNSPEC, "[fe80::2%1]:7 "},
      {std::string("127.0.0.1\0junk STREAM\n", 22), AF_UNSPEC, ""},
      {std::string("fe80::1%1\0 STREAM\n", 18), AF_UNSPEC, ""},
      {"fe80::1%1 STREAM", AF_UNSPEC, "[fe80::1%1]:7 "},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.printed);
    std::string read;
    for (const auto& a : SessionBus::parseHostAddresses(row.printed, 7, row.family)) read += addressText(a) + " ";
    EXPECT_EQ(read, row.read);
  }
}

// The lookup's answer: its addresses tried in order (one that refuses, then the listener, which
// never accepts: silent), a lookup that fails (getent's status 2) unreachable at once, and the
// real lookup of "localhost" reaching the same listener. The lookup asks for every family, and
// the address's own is kept from the answer: `ahostsv4 localhost` finds nothing on a host whose
// only addresses are loopback ones (a tablet whose network is not up yet), and the bus was taken
// for one that is not there.
TEST_F(SessionBusAskTest, AHostNameIsReachedAtTheAddressesItsLookupGives) {
  std::string port;
  const int listener = loopbackListener(&port);
  ASSERT_GE(listener, 0);
  const std::string address = "tcp:host=venue-bus,port=" + port + ",family=ipv4";
  {
    LookupProgram answers(lookupProgram(homePath(), "answers",
                                        "[ \"$1 $2 $3\" = 'ahosts -- venue-bus' ] || exit 2\n"
                                        "printf '127.0.0.2 STREAM venue-bus\\n127.0.0.2 DGRAM\\n127.0.0.1 STREAM\\n'"));
    EXPECT_EQ(timedAsk(address, 300ms).verdict, Verdict::Silent);
  }
  {
    // Only the other family in the answer: nothing to connect to.
    LookupProgram answers(lookupProgram(homePath(), "answers-ipv6", "printf '::1 STREAM venue-bus\\n'"));
    const Timed asked = timedAsk(address, 60s);
    EXPECT_EQ(asked.verdict, Verdict::Unreachable);
    EXPECT_LT(asked.took, 60s);
  }
  {
    LookupProgram fails(lookupProgram(homePath(), "fails", "exit 2"));
    const Timed asked = timedAsk(address, 60s);
    EXPECT_EQ(asked.verdict, Verdict::Unreachable);
    EXPECT_LT(asked.took, 60s);
  }
  EXPECT_EQ(timedAsk("tcp:host=localhost,port=" + port + ",family=ipv4", 300ms).verdict,
            Verdict::Silent);
  close(listener);
}

// The lookup's process known by its descriptor (true) or by its number alone, for a test's time.
struct ProcessDescriptors {
  explicit ProcessDescriptors(bool use) { SessionBus::setProcessDescriptorsForTesting(use); }
  ~ProcessDescriptors() { SessionBus::setProcessDescriptorsForTesting(true); }
};

// This process's SIGCHLD ignored for a test's time (as a launcher may leave it: a program
// inherits the disposition), then put back.
class SigchldIgnored {
 public:
  SigchldIgnored() {
    struct sigaction ignored {};
    ignored.sa_handler = SIG_IGN;
    sigaction(SIGCHLD, &ignored, &m_before);
  }
  ~SigchldIgnored() { sigaction(SIGCHLD, &m_before, nullptr); }

 private:
  struct sigaction m_before {};
};

// The lookup with SIGCHLD ignored: the kernel reaps its process as it ends, and its status cannot
// be had. Its answer is still taken (it was taken for "not found": a TCP bus that never answers
// was left to hang the window's start), a failed one is still not, and a hung one is still ended
// at the limit with nothing of it left: by its process descriptor, and by its number where the
// kernel has none.
TEST_F(SessionBusAskTest, WithSigchldIgnoredALookupsAnswerIsTakenAndAHungOneIsEnded) {
  std::string port;
  const int listener = loopbackListener(&port);
  ASSERT_GE(listener, 0);
  const std::string answers = lookupProgram(homePath(), "answers", "printf '127.0.0.1 STREAM venue-bus\\n'");
  const std::string fails = lookupProgram(homePath(), "fails", "exit 2");
  const std::string hangs = lookupProgram(homePath(), "hangs", "exec sleep 3600");
  const std::string address = "tcp:host=venue-bus,port=" + port + ",family=ipv4";
  for (const bool descriptors : {true, false}) {
    SCOPED_TRACE(descriptors ? "process descriptors" : "process numbers");
    ProcessDescriptors use(descriptors);
    SigchldIgnored ignored;
    {
      LookupProgram program(answers);
      EXPECT_EQ(timedAsk(address, 300ms).verdict, Verdict::Silent);
    }
    EXPECT_EQ(timedAsk("tcp:host=localhost,port=" + port + ",family=ipv4", 300ms).verdict, Verdict::Silent);
    {
      LookupProgram program(fails);
      const Timed asked = timedAsk(address, 60s);
      EXPECT_EQ(asked.verdict, Verdict::Unreachable);
      EXPECT_LT(asked.took, 60s);
    }
    LookupProgram program(hangs);
    const Timed asked = timedAsk(address, 300ms);
    EXPECT_EQ(asked.verdict, Verdict::Silent);
    EXPECT_GE(asked.took, 300ms);
    EXPECT_LT(asked.took, 300ms + Margin);
    // No child left, running or not (this process has no other).
    siginfo_t info{};
    EXPECT_TRUE(waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT | __WALL) != 0 && errno == ECHILD) << info.si_pid;
  }
  close(listener);
}

// The lookup's process has the default signal mask and actions, and no descriptor of this
// process but its output.
TEST_F(SessionBusAskTest, TheLookupsProcessInheritsNoMaskOrDescriptor) {
  const std::string seen = homePath() + "/seen";
  LookupProgram looks(lookupProgram(homePath(), "looks",
                                    "grep -E '^Sig(Blk|Ign)' /proc/self/status > '" + seen + "'\n"
                                    "exec ls /proc/self/fd >> '" + seen + "'"));
  const int kept = fcntl(STDIN_FILENO, F_DUPFD, 100);  // without close-on-exec
  ASSERT_GE(kept, 0);
  sigset_t blocked, before;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGUSR1);
  ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &blocked, &before), 0);
  struct sigaction ignored {}, old {};
  ignored.sa_handler = SIG_IGN;
  sigaction(SIGUSR2, &ignored, &old);
  const Verdict verdict = SessionBus::ask("tcp:host=venue-bus,port=1", 60s);
  sigaction(SIGUSR2, &old, nullptr);
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  EXPECT_EQ(verdict, Verdict::Unreachable);
  std::ifstream in(seen);
  std::string line;
  std::vector<std::string> fds;
  while (std::getline(in, line)) {
    // The standard signals (the C library keeps its own two past them ignored).
    if (line.rfind("Sig", 0) == 0) EXPECT_EQ(std::stoull(line.substr(line.find('\t') + 1), nullptr, 16) & 0x7fffffff, 0u) << line;
    else fds.push_back(line);
  }
  EXPECT_GE(fds.size(), 3u);
  EXPECT_EQ(std::find(fds.begin(), fds.end(), std::to_string(kept)), fds.end());
  for (const std::string& fd : fds) EXPECT_LE(std::stoi(fd), 3) << fd;  // 0-2, and ls's own
  close(kept);
}

// The limit counts the time the program ran. The look stopped (SIGSTOP) well past its limit while
// the bus had its answers held back, then continued with the answers come: it reads them and asks
// on, and the bus answers. The look used to find its limit past on waking and call a healthy bus
// silent, which turned it off for the run.
TEST_F(SessionBusAskTest, APauseOfTheWholeProcessIsNotCountedAgainstTheLimit) {
  auto bus = Bus::at(path(), Bus::Answers);
  ASSERT_TRUE(bus);
  ASSERT_TRUE(bus->waitUntilServing());
  bus->holdAnswers();
  const std::string address = bus->address();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(static_cast<int>(SessionBus::ask(address, 2s)));
  // Stopped while it waits for the answer to its authentication.
  const bool authSent = bus->waitForBytes(SessionBus::authRequest(static_cast<unsigned>(getuid())).size());
  kill(child, SIGSTOP);
  std::this_thread::sleep_for(4s);
  bus->releaseAnswers();
  kill(child, SIGCONT);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(authSent);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(Verdict::Answers));
}

// ---- the reader ----------------------------------------------------------------------------

std::string okLine() { return std::string("OK ") + Bus::Guid + "\r\n"; }

// A message's fixed 16 bytes, little-endian, with `fields` bytes of header fields and `body`.
std::string fixedHeader(char order, uint8_t type, uint8_t version, uint32_t body, uint32_t fields) {
  std::string s{order, static_cast<char>(type), 0, static_cast<char>(version)};
  for (const uint32_t v : {body, 1u, fields})
    for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>(order == 'B' ? v >> (24 - 8 * i) : v >> (8 * i)));
  return s;
}

Reader::State readWhole(const std::string& bytes) {
  Reader reader;
  return reader.feed(bytes);
}

struct Answer {
  const char* what;
  std::string bytes;
  Reader::State state;
};

std::vector<Answer> answers() {
  // A signal sent before the reply whose body looks like a reply: passed over whole.
  const std::string signal = fixedHeader('l', 4, 1, 16, 0) + fixedHeader('l', 2, 1, 0, 0);
  const std::string bigSignal = fixedHeader('B', 4, 1, 3, 5) + std::string(8, 'f') + "xyz";
  return {
      {"nothing", "", Reader::State::Auth},
      {"half a line", "OK 0123\r", Reader::State::Auth},
      {"a lone line feed is not a line's end", "OK 0123\n", Reader::State::Auth},
      {"authenticated", okLine(), Reader::State::Hello},
      {"OK without a guid", "OK\r\n", Reader::State::Hello},
      {"half a reply", okLine() + Bus::helloReply(1).substr(0, 15), Reader::State::Hello},
      {"the reply", okLine() + Bus::helloReply(1), Reader::State::Replied},
      {"an error", okLine() + fixedHeader('l', 3, 1, 0, 0), Reader::State::Replied},
      {"big-endian reply", okLine() + fixedHeader('B', 2, 1, 0, 0), Reader::State::Replied},
      {"a signal only", okLine() + signal, Reader::State::Hello},
      {"a signal, then the reply", okLine() + signal + Bus::helloReply(1), Reader::State::Replied},
      {"a big-endian signal, then the reply", okLine() + bigSignal + Bus::helloReply(1), Reader::State::Replied},
      {"rejected", "REJECTED EXTERNAL ANONYMOUS\r\n" + okLine(), Reader::State::Refused},
      {"another line", "ERROR \"what\"\r\n", Reader::State::Refused},
      {"OKAY is not OK", "OKAY\r\n", Reader::State::Refused},
      {"no byte order", okLine() + fixedHeader('x', 2, 1, 0, 0), Reader::State::Garbled},
      {"another version", okLine() + fixedHeader('l', 2, 2, 0, 0), Reader::State::Garbled},
      {"an invalid type", okLine() + fixedHeader('l', 0, 1, 0, 0), Reader::State::Garbled},
      {"fields too long", okLine() + fixedHeader('l', 4, 1, 0, (1u << 26) + 8), Reader::State::Garbled},
      {"a message too long", okLine() + fixedHeader('l', 4, 1, 1u << 27, 8), Reader::State::Garbled},
      {"the longest line", std::string(Reader::MaxLineBytes, 'x') + "\r\n", Reader::State::Refused},
      {"a line too long", std::string(Reader::MaxLineBytes + 1, 'x') + "\r\n", Reader::State::Garbled},
      {"a line that never ends", std::string(Reader::MaxLineBytes + 2, 'x'), Reader::State::Garbled},
  };
}

TEST(SessionBusAnswerReaderTest, EachAnswerReadWhole) {
  for (const Answer& a : answers()) {
    SCOPED_TRACE(a.what);
    EXPECT_EQ(readWhole(a.bytes), a.state);
  }
}

// Cut in two anywhere, or fed a byte at a time, the bytes are read the same.
TEST(SessionBusAnswerReaderTest, AnAnswerCutAnywhereIsReadTheSame) {
  for (const Answer& a : answers()) {
    SCOPED_TRACE(a.what);
    const size_t step = a.bytes.size() > 1024 ? 997 : 1;  // the long lines: cuts spread over them
    std::vector<size_t> cuts;
    for (size_t cut = 0; cut <= a.bytes.size(); cut += step) cuts.push_back(cut);
    if (a.bytes.size() > 1024)
      for (size_t back = 0; back < 4; ++back) cuts.push_back(a.bytes.size() - back);
    for (const size_t cut : cuts) {
      Reader reader;
      reader.feed(std::string_view(a.bytes).substr(0, cut));
      ASSERT_EQ(reader.feed(std::string_view(a.bytes).substr(cut)), a.state) << "cut at " << cut;
    }
    Reader bytewise;
    for (const char c : a.bytes) bytewise.feed(std::string_view(&c, 1));
    EXPECT_EQ(bytewise.state(), a.state);
  }
}

// An answer once given stays, whatever follows it.
TEST(SessionBusAnswerReaderTest, AnAnswerStays) {
  Reader refused;
  refused.feed("REJECTED\r\n");
  EXPECT_EQ(refused.feed(okLine() + Bus::helloReply(1)), Reader::State::Refused);
  Reader replied;
  replied.feed(okLine() + Bus::helloReply(1));
  EXPECT_EQ(replied.feed(fixedHeader('x', 0, 9, 0, 0)), Reader::State::Replied);
}

// ---- turning a silent bus off --------------------------------------------------------------

using Ended = support::ChildEnded;

// Runs `body` in a child with the environment `set` (an empty value: unset), its standard error
// kept; the child ends with what `body` returns. The variables are set in the child alone: this
// process has threads, and setenv under them is not safe.
Ended inChild(const std::vector<std::pair<std::string, std::string>>& set, const std::function<int()>& body) {
  return support::runInChild([&] {
    for (const auto& [name, value] : set) {
      if (value.empty()) unsetenv(name.c_str());
      else setenv(name.c_str(), value.c_str(), 1);
    }
    return body();
  });
}

size_t count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class SessionBusStartTest : public support::TempHomeTest {};

// "unix:runtime=yes" is the runtime folder's socket "bus"; without the folder it is nothing.
TEST_F(SessionBusStartTest, TheRuntimeEntryIsTheBusInTheRuntimeFolder) {
  auto bus = Bus::at(homePath() + "/bus", Bus::Answers);
  ASSERT_TRUE(bus);
  ASSERT_TRUE(bus->waitUntilServing());
  const auto asked = [](const std::string& runtimeDir) {
    return inChild({{"XDG_RUNTIME_DIR", runtimeDir}},
                   [] { return static_cast<int>(SessionBus::ask("unix:runtime=yes", 60s)); })
        .status;
  };
  EXPECT_EQ(asked(homePath()), static_cast<int>(Verdict::Answers));
  EXPECT_EQ(bus->accepted(), 1);
  EXPECT_EQ(asked(homePath() + "/missing"), static_cast<int>(Verdict::Unreachable));
  EXPECT_EQ(asked(""), static_cast<int>(Verdict::Unreachable));
}

// A silent bus is turned off once, with the line said once; a second call finds "disabled:" and
// leaves it.
TEST_F(SessionBusStartTest, ASilentBusIsTurnedOffWithOneLine) {
  auto bus = Bus::at(homePath() + "/bus", Bus::Silent);
  ASSERT_TRUE(bus);
  ASSERT_TRUE(bus->waitUntilServing());
  const Ended ended = inChild({{"DBUS_SESSION_BUS_ADDRESS", bus->address()}}, [] {
    if (!SessionBus::keepFromHangingTheStart(300ms)) return 3;
    const char* now = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (!now || std::string(now) != "disabled:") return 4;
    if (SessionBus::keepFromHangingTheStart(300ms)) return 5;
    return 0;
  });
  EXPECT_EQ(ended.status, 0) << ended.said;
  EXPECT_EQ(count(ended.said, "The session bus at " + bus->address() +
                                  " did not answer within 0.3 s: the window is shown without it (no screen saver "
                                  "inhibition, input methods or desktop settings).\n"),
            1u)
      << ended.said;
  EXPECT_EQ(count(ended.said, "The session bus"), 1u) << ended.said;
}

// A host whose lookup hangs: the bus is turned off at the limit, the environment written, and more
// names added (as the window system's start does), while nothing of the lookup is left: no thread
// that could read the environment under the writes (the lookup's thread stayed inside the
// resolver), no process, not even a zombie.
TEST_F(SessionBusStartTest, AHungLookupLeavesNothingBehindThatReadsTheEnvironment) {
  const std::string program = homePath() + "/hangs";
  std::ofstream(program) << "#!/bin/sh\nexec sleep 3600\n";
  chmod(program.c_str(), 0700);
  const Ended ended = inChild({{"DBUS_SESSION_BUS_ADDRESS", "tcp:host=kt-hung-resolver.invalid,port=1"}}, [program] {
    auto threads = [] {
      return std::distance(std::filesystem::directory_iterator("/proc/self/task"), std::filesystem::directory_iterator());
    };
    const auto before = threads();
    SessionBus::setHostLookupProgramForTesting(program);
    if (!SessionBus::keepFromHangingTheStart(300ms)) return 3;
    if (threads() != before) return 4;
    siginfo_t info{};
    if (waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) != -1 || errno != ECHILD) return 5;
    for (int i = 0; i < 200; ++i) setenv(("KT_ADDED_" + std::to_string(i)).c_str(), "x", 1);
    const char* now = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    return now && std::string(now) == "disabled:" ? 0 : 6;
  });
  EXPECT_EQ(ended.status, 0) << ended.said;
}

// Found through the runtime folder with the variable unset: turned off the same way.
TEST_F(SessionBusStartTest, ASilentBusInTheRuntimeFolderIsTurnedOffToo) {
  auto bus = Bus::at(homePath() + "/bus", Bus::Silent);
  ASSERT_TRUE(bus);
  ASSERT_TRUE(bus->waitUntilServing());
  const Ended ended = inChild({{"DBUS_SESSION_BUS_ADDRESS", ""}, {"XDG_RUNTIME_DIR", homePath()}}, [] {
    if (!SessionBus::keepFromHangingTheStart(300ms)) return 3;
    const char* now = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    return now && std::string(now) == "disabled:" ? 0 : 4;
  });
  EXPECT_EQ(ended.status, 0) << ended.said;
  EXPECT_EQ(count(ended.said, "The session bus at unix:path=" + homePath() + "/bus did not answer within 0.3 s"), 1u)
      << ended.said;
}

// A bus that answers, one that is not there, and no address at all (autolaunch) are left as they
// are, and nothing is said: in particular the variable is never set where it was unset.
TEST_F(SessionBusStartTest, AnyOtherBusIsLeftAlone) {
  auto bus = Bus::at(homePath() + "/bus", Bus::Answers);
  ASSERT_TRUE(bus);
  ASSERT_TRUE(bus->waitUntilServing());
  const std::string emptyDir = homePath() + "/empty";
  mkdir(emptyDir.c_str(), 0700);
  const std::vector<std::pair<std::string, std::string>> cases[] = {
      {{"DBUS_SESSION_BUS_ADDRESS", bus->address()}},
      {{"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + homePath() + "/missing"}},
      {{"DBUS_SESSION_BUS_ADDRESS", ""}, {"XDG_RUNTIME_DIR", emptyDir}},
  };
  for (const auto& set : cases) {
    SCOPED_TRACE(set.front().second);
    const std::string before = set.front().second;
    const Ended ended = inChild(set, [before] {
      if (SessionBus::keepFromHangingTheStart(60s)) return 3;
      const char* now = std::getenv("DBUS_SESSION_BUS_ADDRESS");
      return (now ? std::string(now) : std::string()) == before ? 0 : 4;
    });
    EXPECT_EQ(ended.status, 0) << ended.said;
    EXPECT_EQ(count(ended.said, "The session bus"), 0u) << ended.said;
  }
}

}  // namespace
