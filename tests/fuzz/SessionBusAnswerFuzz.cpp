// What a session bus sends back to the look before the window system starts: its auth line, then
// the messages up to the reply to Hello. The same bytes read whole, cut anywhere or a byte at a
// time give the same state, and an answer once given stays whatever follows. The address list
// (DBUS_SESSION_BUS_ADDRESS) read, written back with its values escaped, reads the same.

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  checkAnswer(fuzz::bytes(data, size));
  checkAddress(fuzz::bytes(data, size));
  return 0;
}
