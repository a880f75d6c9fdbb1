#pragma once

#include <sys/socket.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The session bus, looked at before the window system starts. SDL's video start connects to it
// (screen saver inhibition, input methods, desktop settings) and waits on its authentication and
// Hello with no time limit: a bus that takes connections and never answers (a hung daemon) would
// keep the window from ever showing. So its first exchange is made here first, the way the bus
// library makes it, within a limit; a silent bus is turned off for the process before SDL starts.
namespace display {

class SessionBus {
 public:
  // How long the caller gives the bus to answer.
  static constexpr std::chrono::milliseconds AnswerLimit{2000};

  // The address the bus library would use for the session bus: DBUS_SESSION_BUS_ADDRESS when set
  // and not empty; else $XDG_RUNTIME_DIR/bus when that is a socket; else empty (the library would
  // autolaunch a bus, which is left alone).
  static std::string address();
  // The same from the two variables' values (null when unset).
  static std::string address(const char* busVariable, const char* runtimeDir);

  enum class Verdict {
    Answers,      // the bus said something: the library will not wait on it for ever
    Unreachable,  // nothing took the connection, or it was closed unanswered: the library fails at once
    Silent,       // a connection was taken (or is still being made) and nothing came within the limit
    NotLookedAt,  // an address this look does not read (another transport, a malformed list), or interrupted
  };
  // Tries the entries of `address` in order, as the library does; the first one that takes a
  // connection is asked: the authentication, then Hello, both answered within `limit` in all (a
  // TCP host's name looked up within it too). The limit counts the time the program ran: a pause
  // of the whole process beyond a second is not counted, and what the bus sent meanwhile is read
  // before it is called silent. `interruptFd` readable (a termination signal's) ends the wait with
  // NotLookedAt.
  static Verdict ask(const std::string& address, std::chrono::milliseconds limit, int interruptFd = -1);

  // When the session bus is silent, turns it off for this process (and the children it starts),
  // says so once, and returns true. Nothing otherwise, nor when it was already turned off.
  static bool keepFromHangingTheStart(std::chrono::milliseconds limit, int interruptFd = -1);

  // ---- the pieces, for tests -------------------------------------------------------------------

  // A TCP entry's host name is looked up by a program of its own (getent), run as
  // `program ahosts -- host` (every family; the entry's own is kept from the answer), in a process
  // that is killed at the limit or the interrupt: the resolver has no time limit, and a lookup left
  // running on a thread of this process would read the environment while the window system's start
  // writes it. Tests put another program in its place (empty puts getent back).
  static void setHostLookupProgramForTesting(const std::string& program);
  // Tests have that process known by its number alone, as on a kernel without process descriptors
  // (before 5.4); true puts the descriptors back.
  static void setProcessDescriptorsForTesting(bool use);

  // A stream address a host lookup gave.
  struct HostAddress {
    sockaddr_storage address{};
    socklen_t length = 0;
  };
  static constexpr size_t MaxHostAddresses = 64;
  // The stream addresses in what the lookup printed (getent's lines: an address, the socket type,
  // perhaps a name), on `port`, in order, each once, at most MaxHostAddresses; of `family` alone
  // (AF_INET, AF_INET6; AF_UNSPEC for both), an IPv6 address that maps an IPv4 one never (the
  // bus library's lookup gives none). An IPv6 address may carry its scope ("fe80::1%2" or
  // "fe80::1%eth0"): the interface's number, or the index of this host's interface of that name.
  // Other lines are passed over: a scope on an IPv4 address, an empty one, a number past 32 bits,
  // a name no interface has.
  static std::vector<HostAddress> parseHostAddresses(std::string_view output, uint16_t port, int family);

  // One entry of an address list, "transport:key=value,key=value", its values unescaped.
  struct AddressEntry {
    std::string transport;
    std::vector<std::pair<std::string, std::string>> keys;
    const std::string* value(const char* key) const;
    bool operator==(const AddressEntry&) const = default;
  };
  // The entries of a ";"-separated list in order, empty ones skipped; nothing when the list is
  // malformed (an entry without its transport, a key without "=", a bad %-escape).
  static std::optional<std::vector<AddressEntry>> parseAddress(std::string_view list);
  // A value written for an address: bytes other than [-0-9A-Za-z_/.\*] as %XX.
  static std::string escapeValue(std::string_view value);

  // What the client sends first: a nul byte and "AUTH EXTERNAL <hex of the decimal uid>\r\n".
  static std::string authRequest(unsigned uid);
  // What it sends once authenticated: "BEGIN\r\n" and the Hello method call (serial 1).
  static std::string helloRequest();

  // Reads what the bus sends back, as it arrives, in pieces of any size. Keeps at most one auth
  // line (MaxLineBytes) and one message header: a bus flooding the connection costs no memory.
  class AnswerReader {
   public:
    enum class State {
      Auth,         // the auth line is still coming
      Hello,        // "OK <guid>": authenticated; the reply to Hello is still coming
      Replied,      // a METHOD_RETURN or ERROR message came
      Refused,      // another complete auth line (REJECTED, ERROR, ...): the bus is alive
      Garbled,      // a line too long, or a message header no bus sends: the library gives up on it
    };
    // An auth line longer than this without its "\r\n" is garbage.
    static constexpr size_t MaxLineBytes = 16 * 1024;

    // Takes the next bytes; once the state is an answer (Replied, Refused, Garbled) it stays.
    State feed(std::string_view bytes);
    State state() const { return m_state; }
    static bool answered(State state) { return state != State::Auth && state != State::Hello; }

   private:
    void feedMessages(std::string_view bytes);

    State m_state = State::Auth;
    std::string m_line;          // the auth line so far
    std::string m_header;        // the fixed part of the message being read (16 bytes)
    uint64_t m_skip = 0;         // the rest of a message that is not the reply (a signal)
  };
};

}  // namespace display
