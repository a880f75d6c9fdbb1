// What a session bus sends back to the look before the window system starts: its auth line, then
// the messages up to the reply to Hello. The same bytes read whole, cut anywhere or a byte at a
// time give the same state, and an answer once given stays whatever follows. The address list
// (DBUS_SESSION_BUS_ADDRESS) read, written back with its values escaped, reads the same. What a
// host's lookup printed gives at most the bound of addresses, each once, of the family asked, and
// each one's own line (an IPv6 address with its scope's number) reads back to it alone.

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstring>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "platform/display/SessionBus.h"

namespace {

using display::SessionBus;
using Reader = SessionBus::AnswerReader;

void checkAnswer(std::string_view bytes) {
  Reader whole;
  const Reader::State state = whole.feed(bytes);
  KT_FUZZ_CHECK(whole.state() == state);

  Reader bytewise;
  for (size_t i = 0; i < bytes.size(); ++i) bytewise.feed(bytes.substr(i, 1));
  KT_FUZZ_CHECK(bytewise.state() == state);

  const size_t cut = bytes.empty() ? 0 : static_cast<unsigned char>(bytes[0]) % (bytes.size() + 1);
  Reader halves;
  halves.feed(bytes.substr(0, cut));
  KT_FUZZ_CHECK(halves.feed(bytes.substr(cut)) == state);

  if (Reader::answered(state)) KT_FUZZ_CHECK(whole.feed(bytes) == state);
}

void checkAddress(std::string_view text) {
  const auto entries = SessionBus::parseAddress(text);
  if (!entries) return;
  std::string again;
  for (const auto& entry : *entries) {
    KT_FUZZ_CHECK(!entry.transport.empty());
    KT_FUZZ_CHECK(entry.transport.find_first_of(";:") == std::string::npos);
    if (!again.empty()) again += ";";
    again += entry.transport + ":";
    for (size_t i = 0; i < entry.keys.size(); ++i) {
      const auto& [key, value] = entry.keys[i];
      KT_FUZZ_CHECK(!key.empty() && key.find_first_of(";,=") == std::string::npos);
      const std::string escaped = SessionBus::escapeValue(value);
      KT_FUZZ_CHECK(escaped.find_first_of(";,=") == std::string::npos);
      again += (i ? "," : "") + key + "=" + escaped;
    }
  }
  const auto reread = SessionBus::parseAddress(again);
  KT_FUZZ_CHECK(reread && *reread == *entries);
}

void checkHostAddresses(std::string_view printed) {
  for (const int family : {AF_UNSPEC, AF_INET, AF_INET6}) {
    const auto addresses = SessionBus::parseHostAddresses(printed, 4321, family);
    KT_FUZZ_CHECK(addresses.size() <= SessionBus::MaxHostAddresses);
    for (size_t i = 0; i < addresses.size(); ++i) {
      const auto& a = addresses[i];
      const sa_family_t f = a.address.ss_family;
      KT_FUZZ_CHECK(f == AF_INET || f == AF_INET6);
      KT_FUZZ_CHECK(family == AF_UNSPEC || f == family);
      KT_FUZZ_CHECK(a.length == (f == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6)));
      for (size_t j = 0; j < i; ++j)
        KT_FUZZ_CHECK(addresses[j].length != a.length || std::memcmp(&addresses[j].address, &a.address, a.length) != 0);
      char numeric[INET6_ADDRSTRLEN] = {};
      const void* bytes = f == AF_INET ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in&>(a.address).sin_addr)
                                       : &reinterpret_cast<const sockaddr_in6&>(a.address).sin6_addr;
      KT_FUZZ_CHECK(inet_ntop(f, bytes, numeric, sizeof numeric) != nullptr);
      // An IPv6 address's scope, as its number.
      std::string written(numeric);
      if (f == AF_INET6) {
        const uint32_t scope = reinterpret_cast<const sockaddr_in6&>(a.address).sin6_scope_id;
        if (scope != 0) written += "%" + std::to_string(scope);
      }
      const auto again = SessionBus::parseHostAddresses(written + " STREAM\n", 4321, family);
      KT_FUZZ_CHECK(again.size() == 1 && std::memcmp(&again[0].address, &a.address, a.length) == 0);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  checkAnswer(fuzz::bytes(data, size));
  checkAddress(fuzz::bytes(data, size));
  checkHostAddresses(fuzz::bytes(data, size));
  return 0;
}
