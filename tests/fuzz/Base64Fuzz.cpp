// Base64: the input is Base64 text for both codecs, and data to encode. What a reader accepts,
// the writers write and the readers read back to the same bytes; the strict reader never accepts
// ASCII text that the lenient one reads differently; a caller's buffer of any size is never
// overrun; and any data encodes and decodes back to itself.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "soap/Base64Codec.h"
#include "soap/DataBase64.h"

namespace {

using kt::Base64Codec;

bool isAscii(std::string_view text) {
  for (char c : text) {
    if (static_cast<uint8_t>(c) >= 0x80) return false;
  }
  return true;
}

void checkLenient(std::string_view text) {
  const std::optional<std::string> data = kt::DataBase64::dataWithBase64EncodedString(text);
  if (!data) return;
  KT_FUZZ_CHECK(data->size() <= text.size() / 4 * 3 + 2);
  KT_FUZZ_CHECK(kt::DataBase64::dataWithBase64EncodedString(kt::DataBase64::base64Encoding(*data)) == data);
}

void checkStrict(std::string_view text) {
  if (const std::optional<std::string> data = Base64Codec::decodeData(text)) {
    KT_FUZZ_CHECK(!data->empty() && data->size() <= Base64Codec::decodedCapacity(text.size()));
    KT_FUZZ_CHECK(Base64Codec::decodeData(*Base64Codec::encodeData(*data)) == data);
    if (isAscii(text)) KT_FUZZ_CHECK(kt::DataBase64::dataWithBase64EncodedString(text) == data);
  }
  if (const std::optional<std::string> data = Base64Codec::webSafeDecodeData(text)) {
    KT_FUZZ_CHECK(Base64Codec::webSafeDecodeData(*Base64Codec::webSafeEncodeData(*data, false)) == data);
    KT_FUZZ_CHECK(Base64Codec::webSafeDecodeData(*Base64Codec::webSafeEncodeData(*data, true)) == data);
  }
}

// Buffers exactly as large as asked, so that a write past them is caught.
void checkBuffers(std::string_view text, size_t capacity) {
  const std::optional<std::string> whole = Base64Codec::decodeData(text);
  std::vector<uint8_t> out(capacity);
  const size_t n =
      Base64Codec::baseDecode(text.data(), text.size(), out.data(), capacity, Base64Codec::kStandardDecodeTable, true);
  KT_FUZZ_CHECK(n <= capacity);
  if (n > 0) KT_FUZZ_CHECK(whole && std::string(out.begin(), out.begin() + n) == *whole);

  std::vector<char> chars(capacity);
  const size_t m = Base64Codec::baseEncode(text.data(), text.size(), chars.data(), capacity,
                                           Base64Codec::kWebSafeCharset, false);
  KT_FUZZ_CHECK(m == 0 || m == Base64Codec::encodedLength(text.size(), false));
}

void checkEncoding(std::string_view data) {
  const std::string lenient = kt::DataBase64::base64Encoding(data);
  KT_FUZZ_CHECK(kt::DataBase64::dataWithBase64EncodedString(lenient) == std::string(data));
  if (data.empty()) {
    KT_FUZZ_CHECK(lenient.empty() && !Base64Codec::encodeData(data));
    return;
  }
  KT_FUZZ_CHECK(Base64Codec::encodeData(data) == lenient);
  KT_FUZZ_CHECK(Base64Codec::decodeData(lenient) == std::string(data));
  const std::optional<std::string> webSafe = Base64Codec::webSafeEncodeData(data, false);
  KT_FUZZ_CHECK(webSafe && webSafe->size() == Base64Codec::encodedLength(data.size(), false));
  KT_FUZZ_CHECK(Base64Codec::webSafeDecodeData(*webSafe) == std::string(data));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = fuzz::bytes(data, size);
  checkLenient(text);
  checkStrict(text);
  checkBuffers(text, size == 0 ? 0 : data[0] % 16);
  checkEncoding(text);
  return 0;
}
