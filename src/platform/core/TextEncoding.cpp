#include "platform/core/TextEncoding.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iterator>

namespace core {
namespace {

// One converter per direction and thread: opening one is slow, so it is kept.
class Converter {
 public:
  Converter(const char* to, const char* from) : m_to(to), m_from(from) {}
  ~Converter() {
    if (m_cd != invalid()) iconv_close(m_cd);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Opens the converter if needed and puts it back in its initial state; false when it cannot
  // be opened. Both encodings are stateless, so only a call that stopped short of converting
  // everything it was given may have left something behind: resetting costs a call of its own,
  // which counts when the text is a short frame.
  bool begin() {
    if (m_cd == invalid()) {
      m_cd = iconv_open(m_to, m_from);
      if (m_cd == invalid()) return false;
      m_clean = true;
    }
    if (!m_clean) iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
    m_clean = true;
    return true;
  }

  enum class Stop {
    Done,        // the input is used up, or the output has no room for the next character
    Incomplete,  // at a sequence cut short by the end of the input
    Refused,     // at a sequence it cannot convert
    Failed,      // it substituted a character: a guess
  };

  // One call of the converter after begin(): converts whole characters, advancing both sides.
  Stop convertSome(const char*& in, size_t& inLeft, char*& out, size_t& outLeft) {
    char* inPtr = const_cast<char*>(in);
    const size_t r = iconv(m_cd, &inPtr, &inLeft, &out, &outLeft);
    in = inPtr;
    if (r == 0) return Stop::Done;
    m_clean = false;
    if (r == static_cast<size_t>(-1)) {
      return errno == E2BIG ? Stop::Done : errno == EINVAL ? Stop::Incomplete : Stop::Refused;
    }
    return Stop::Failed;
  }

 private:
  static iconv_t invalid() { return reinterpret_cast<iconv_t>(-1); }

  const char* m_to = nullptr;
  const char* m_from = nullptr;
  iconv_t m_cd = invalid();
  bool m_clean = true;
};

// Decodes to code points (wchar_t holds UCS-4 here): one step inside the converter, and the UTF-8
// is written below, where each code point is checked against the table on the way.
static_assert(sizeof(wchar_t) == 4, "wchar_t holds one code point");
Converter& decoder() {
  thread_local Converter c("WCHAR_T", "GB18030");
  return c;
}

// Encodes from code points, which the UTF-8 is read into below: one step inside the converter.
Converter& encoder() {
  thread_local Converter c("GB18030", "WCHAR_T");
  return c;
}

// ---- GB 18030-2000 ----
//
// The room server maps text by the 2000 table. The system converter follows a later table; the
// two differ at exactly the codes below. Each entry is the 2000 mapping, sorted by its bytes read
// as a number; a sequence or code point listed here is converted by this table, everything else
// by iconv.
struct Correction {
  uint32_t code;  // the GB 18030 bytes read big-endian: A8BC is 0xA8BC, 81 35 F4 37 is 0x8135F437
  uint32_t codePoint;
};

constexpr Correction kCorrections[] = {
    // Private use in 2000. The converter decodes these as the vertical forms U+FE10..U+FE19
    // (which have four-byte codes in 2000, below) and cannot encode U+E78D..U+E796 at all.
    {0xA6D9, 0xE78D}, {0xA6DA, 0xE78E}, {0xA6DB, 0xE78F}, {0xA6DC, 0xE790}, {0xA6DD, 0xE791},
    {0xA6DE, 0xE792}, {0xA6DF, 0xE793}, {0xA6EC, 0xE794}, {0xA6ED, 0xE795}, {0xA6F3, 0xE796},
    // Private use U+E7C7 in 2000. The converter swaps it with U+1E3F: it decodes A8BC as U+1E3F
    // and encodes U+E7C7 as 8135F437.
    {0xA8BC, 0xE7C7},
    // Private use in 2000. The converter decodes these as U+9FB4..U+9FBB and the six
    // supplementary characters below, and cannot encode these fourteen code points at all.
    {0xFE51, 0xE816}, {0xFE52, 0xE817}, {0xFE53, 0xE818}, {0xFE59, 0xE81E}, {0xFE61, 0xE826},
    {0xFE66, 0xE82B}, {0xFE67, 0xE82C}, {0xFE6C, 0xE831}, {0xFE6D, 0xE832}, {0xFE76, 0xE83B},
    {0xFE7E, 0xE843}, {0xFE90, 0xE854}, {0xFE91, 0xE855}, {0xFEA0, 0xE864},
    // U+1E3F has this four-byte code in 2000, by the linear rule for the BMP characters without a
    // two-byte code. The converter decodes it as U+E7C7 and encodes U+1E3F as A8BC.
    {0x8135F437, 0x1E3F},
    // U+9FB4..U+9FBB have linear four-byte codes in 2000. The converter refuses these codes and
    // encodes the characters as FE59 FE61 FE66 FE67 FE6D FE7E FE90 FEA0.
    {0x82359037, 0x9FB4}, {0x82359038, 0x9FB5}, {0x82359039, 0x9FB6}, {0x82359130, 0x9FB7},
    {0x82359131, 0x9FB8}, {0x82359132, 0x9FB9}, {0x82359133, 0x9FBA}, {0x82359134, 0x9FBB},
    // U+FE10..U+FE19 likewise. The converter refuses these codes and encodes the characters as
    // A6D9 A6DB A6DA A6DC A6DD A6DE A6DF A6EC A6ED A6F3.
    {0x84318236, 0xFE10}, {0x84318237, 0xFE11}, {0x84318238, 0xFE12}, {0x84318239, 0xFE13},
    {0x84318330, 0xFE14}, {0x84318331, 0xFE15}, {0x84318332, 0xFE16}, {0x84318333, 0xFE17},
    {0x84318334, 0xFE18}, {0x84318335, 0xFE19},
    // Six supplementary characters keep their linear four-byte codes in 2000. The converter decodes
    // these codes alike but encodes the characters as FE51 FE52 FE53 FE6C FE76 FE91.
    {0x95329031, 0x20087}, {0x95329033, 0x20089}, {0x95329730, 0x200CC}, {0x9536B937, 0x215D7},
    {0x9630BA35, 0x2298F}, {0x9635B630, 0x241FE},
};
constexpr size_t kCorrectionCount = std::size(kCorrections);

static_assert(std::is_sorted(std::begin(kCorrections), std::end(kCorrections),
                             [](const Correction& a, const Correction& b) { return a.code < b.code; }));

constexpr std::array<Correction, kCorrectionCount> sortedByCodePoint() {
  std::array<Correction, kCorrectionCount> table{};
  std::copy(std::begin(kCorrections), std::end(kCorrections), table.begin());
  std::sort(table.begin(), table.end(), [](const Correction& a, const Correction& b) { return a.codePoint < b.codePoint; });
  return table;
}
constexpr std::array<Correction, kCorrectionCount> kByCodePoint = sortedByCodePoint();

// The entry whose `key` member equals `value` in a table sorted by that member, or null.
template <typename Table>
const Correction* findCorrection(const Table& table, uint32_t Correction::*key, uint32_t value) {
  auto it = std::lower_bound(std::begin(table), std::end(table), value,
                             [key](const Correction& c, uint32_t v) { return c.*key < v; });
  return it != std::end(table) && (*it).*key == value ? &*it : nullptr;
}

// Rows of 16 code points that hold a code point of the table, one bit each, below U+30000. Both
// tables map codes to code points one to one, so where the converter decodes a code of the table
// differently, it gives a code point that another code of the table has in 2000 (or it refuses
// the code): a code point off these rows was decoded right.
constexpr uint32_t kRowLimit = 0x30000;
constexpr std::array<uint64_t, kRowLimit / 16 / 64> tableRows() {
  std::array<uint64_t, kRowLimit / 16 / 64> rows{};
  for (const Correction& c : kCorrections) rows[c.codePoint >> 10] |= uint64_t{1} << (c.codePoint >> 4 & 63);
  return rows;
}
constexpr std::array<uint64_t, kRowLimit / 16 / 64> kTableRows = tableRows();

inline bool onTableRow(uint32_t cp) { return cp < kRowLimit && (kTableRows[cp >> 10] >> (cp >> 4 & 63) & 1); }

// Writes the UTF-8 form of a scalar value at o; answers the end.
inline char* putUtf8(char* o, uint32_t cp) {
  if (cp < 0x80) {
    *o++ = static_cast<char>(cp);
  } else if (cp < 0x800) {
    *o++ = static_cast<char>(0xC0 | (cp >> 6));
    *o++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *o++ = static_cast<char>(0xE0 | (cp >> 12));
    *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *o++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *o++ = static_cast<char>(0xF0 | (cp >> 18));
    *o++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *o++ = static_cast<char>(0x80 | (cp & 0x3F));
  }
  return o;
}

// A sequence of the input: its length, and its entry when the table converts it.
struct Unit {
  size_t length;
  const Correction* correction;
};

// True when every byte is ASCII (ASCII is the same in UTF-8 and GB 18030).
bool isAscii(std::string_view s) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(s.data());
  size_t n = s.size();
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, p + i, 8);
    if (w & 0x8080808080808080ull) return false;
  }
  for (; i < n; ++i) {
    if (p[i] & 0x80) return false;
  }
  return true;
}

inline bool isCont(unsigned char b) { return (b & 0xC0) == 0x80; }

// Reads the well-formed UTF-8 sequence at p (left bytes): its length, with its scalar value in cp;
// 0 when it is not one.
inline size_t readUtf8(const unsigned char* p, size_t left, uint32_t& cp) {
  const unsigned char b0 = p[0];
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    if (left < 2 || !isCont(p[1])) return 0;
    cp = uint32_t{b0 & 0x1Fu} << 6 | (p[1] & 0x3Fu);
    return 2;
  }
  if (b0 >= 0xE0 && b0 <= 0xEF) {
    if (left < 3) return 0;
    const unsigned char b1 = p[1];
    const unsigned char lo = b0 == 0xE0 ? 0xA0 : 0x80;  // no overlongs
    const unsigned char hi = b0 == 0xED ? 0x9F : 0xBF;  // no surrogates
    if (b1 < lo || b1 > hi || !isCont(p[2])) return 0;
    cp = uint32_t{b0 & 0x0Fu} << 12 | uint32_t{b1 & 0x3Fu} << 6 | (p[2] & 0x3Fu);
    return 3;
  }
  if (b0 >= 0xF0 && b0 <= 0xF4) {
    if (left < 4) return 0;
    const unsigned char b1 = p[1];
    const unsigned char lo = b0 == 0xF0 ? 0x90 : 0x80;  // no overlongs
    const unsigned char hi = b0 == 0xF4 ? 0x8F : 0xBF;  // nothing above U+10FFFF
    if (b1 < lo || b1 > hi || !isCont(p[2]) || !isCont(p[3])) return 0;
    cp = uint32_t{b0 & 0x07u} << 18 | uint32_t{b1 & 0x3Fu} << 12 | uint32_t{p[2] & 0x3Fu} << 6 | (p[3] & 0x3Fu);
    return 4;
  }
  return 0;
}

// Length of the well-formed UTF-8 sequence starting at s[i], or 0 when it is not one.
inline size_t sequenceLength(std::string_view s, size_t i) {
  uint32_t cp;
  return readUtf8(reinterpret_cast<const unsigned char*>(s.data()) + i, s.size() - i, cp);
}

// One character step for the UTF-16 helpers: bytes taken and UTF-16 units counted.
// An invalid byte is taken alone and counts one unit.
struct Step {
  size_t bytes;
  size_t units;
};

inline Step step(std::string_view s, size_t i) {
  if (static_cast<unsigned char>(s[i]) < 0x80) return {1, 1};
  size_t n = sequenceLength(s, i);
  if (n == 0) return {1, 1};
  return {n, n == 4 ? size_t{2} : size_t{1}};
}

// Byte offset of the first character boundary whose UTF-16 offset is >= units (round up),
// or, with roundDown, the last boundary whose offset is <= units.
size_t byteOffset(std::string_view s, size_t units, bool roundDown) {
  size_t i = 0;
  size_t u = 0;
  while (i < s.size() && u < units) {
    Step st = step(s, i);
    if (roundDown && u + st.units > units) break;
    i += st.bytes;
    u += st.units;
  }
  return i;
}

// The length of the GB 18030 sequence at p, which the converter took whole.
inline size_t gbLength(const unsigned char* p) { return p[0] < 0x80 ? 1 : p[1] >= 0x30 && p[1] <= 0x39 ? 4 : 2; }

// The GB 18030 sequence at the start of p (n bytes): its length, and its entry when the table
// has one. Length 0 when the end of the input cuts it short.
Unit gbUnitAt(const unsigned char* p, size_t n) {
  if (p[0] < 0x80) return {1, nullptr};
  const size_t length = n > 1 && p[1] >= 0x30 && p[1] <= 0x39 ? 4 : 2;
  if (length > n) return {0, nullptr};
  uint32_t code = 0;
  for (size_t k = 0; k < length; ++k) code = code << 8 | p[k];
  return {length, findCorrection(kCorrections, &Correction::code, code)};
}

// Input of one call of the decoder at most, so that its code points stay in the cache.
constexpr size_t kPieceBytes = 4096;

}  // namespace

// The converter decodes the text piece by piece into code points, which are written as UTF-8
// here. Only a code point on a row of the table, or a sequence the converter refuses, has its
// sequence looked up in the table.
std::optional<std::string> gb18030ToUtf8(std::string_view bytes) {
  if (isAscii(bytes)) return std::string(bytes);
  Converter& converter = decoder();
  if (!converter.begin()) return std::nullopt;
  // Room for the longest output of any mapping: a byte below 0x80 gives one, every other
  // sequence takes two bytes at least and gives a code point, four bytes at most. So nothing
  // below needs to check for room.
  std::string out(bytes.size() * 2 + 8, '\0');
  char* o = out.data();
  wchar_t codePoints[kPieceBytes];  // a byte gives at most one
  const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* const end = in + bytes.size();
  while (in < end) {
    const auto* const pieceStart = in;
    const size_t pieceLength = std::min(kPieceBytes, static_cast<size_t>(end - in));
    const char* pieceIn = reinterpret_cast<const char*>(in);
    size_t pieceLeft = pieceLength;
    char* cpOut = reinterpret_cast<char*>(codePoints);
    size_t cpOutLeft = sizeof codePoints;
    Converter::Stop stop = converter.convertSome(pieceIn, pieceLeft, cpOut, cpOutLeft);
    if (stop == Converter::Stop::Failed) return std::nullopt;
    in = reinterpret_cast<const unsigned char*>(pieceIn);
    // A character cut by the end of a piece starts the next one.
    if (stop == Converter::Stop::Incomplete && in + pieceLeft < end) stop = Converter::Stop::Done;

    const size_t count = (sizeof codePoints - cpOutLeft) / sizeof(wchar_t);
    const unsigned char* unit = pieceStart;  // the sequence of code point `unitIndex`, found on demand
    size_t unitIndex = 0;
    for (size_t i = 0; i < count; ++i) {
      uint32_t cp = static_cast<uint32_t>(codePoints[i]);
      if (cp >= 0x80 && onTableRow(cp)) {
        for (; unitIndex < i; ++unitIndex) unit += gbLength(unit);
        if (const Correction* c = gbUnitAt(unit, static_cast<size_t>(end - unit)).correction) cp = c->codePoint;
      }
      o = putUtf8(o, cp);
    }
    if (stop == Converter::Stop::Done) continue;
    // Refused, or cut short by the end: only the table may know it.
    const Unit refused = gbUnitAt(in, static_cast<size_t>(end - in));
    if (!refused.correction) return std::nullopt;
    o = putUtf8(o, refused.correction->codePoint);
    in += refused.length;
  }
  out.resize(static_cast<size_t>(o - out.data()));
  return out;
}

// The UTF-8 is read into code points here, checked on the way; the converter encodes them piece
// by piece. Only a code point on a row of the table is looked up, and one the table holds is
// written from it.
bool appendGb18030(std::string& out, std::string_view utf8) {
  if (isAscii(utf8)) {
    out.append(utf8);
    return true;
  }
  const size_t start = out.size();
  auto fail = [&out, start] {
    out.resize(start);
    return false;
  };
  Converter& converter = encoder();
  if (!converter.begin()) return false;
  // Three UTF-8 bytes give two here, and nothing grows beyond four; the rest gets room as it needs it.
  size_t used = start;
  out.resize(start + utf8.size() + 16);
  wchar_t codePoints[kPieceBytes];  // code points waiting for the converter
  size_t count = 0;
  auto room = [&](size_t bytes) {
    if (out.size() - used < bytes) out.resize(std::max(used + bytes, out.size() * 2));
  };
  // Encodes the code points gathered so far.
  auto flush = [&]() -> bool {
    if (count == 0) return true;
    room(count * 4);
    const char* in = reinterpret_cast<const char*>(codePoints);
    size_t inLeft = count * sizeof(wchar_t);
    char* o = out.data() + used;
    size_t outLeft = out.size() - used;
    // Every scalar value has a code, and there is room for all of them: anything short of all
    // converted is a fault of the converter.
    if (converter.convertSome(in, inLeft, o, outLeft) != Converter::Stop::Done || inLeft != 0) return false;
    used = out.size() - outLeft;
    count = 0;
    return true;
  };
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  const auto* const end = p + utf8.size();
  while (p < end) {
    if (count == kPieceBytes && !flush()) return fail();
    if (*p < 0x80) {  // the usual case in a message: digits, separators
      // Eight at a time while they last.
      while (end - p >= 8 && kPieceBytes - count >= 8) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        if (w & 0x8080808080808080ull) break;
        for (size_t k = 0; k < 8; ++k) codePoints[count + k] = static_cast<wchar_t>(p[k]);
        count += 8;
        p += 8;
      }
      if (p < end && *p < 0x80 && count < kPieceBytes) codePoints[count++] = static_cast<wchar_t>(*p++);
      continue;
    }
    uint32_t cp;
    const size_t length = readUtf8(p, static_cast<size_t>(end - p), cp);
    if (length == 0) return fail();
    p += length;
    if (onTableRow(cp)) {
      if (const Correction* c = findCorrection(kByCodePoint, &Correction::codePoint, cp)) {
        if (!flush()) return fail();
        room(4);
        char* o = out.data() + used;
        if (c->code > 0xFFFF) {
          *o++ = static_cast<char>(c->code >> 24);
          *o++ = static_cast<char>(c->code >> 16);
        }
        *o++ = static_cast<char>(c->code >> 8);
        *o++ = static_cast<char>(c->code);
        used = static_cast<size_t>(o - out.data());
        continue;
      }
    }
    codePoints[count++] = static_cast<wchar_t>(cp);
  }
  if (!flush()) return fail();
  out.resize(used);
  return true;
}

std::optional<std::string> utf8ToGb18030(std::string_view utf8) {
  std::string out;
  if (!appendGb18030(out, utf8)) return std::nullopt;
  return out;
}

void appendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool isValidUtf8(std::string_view bytes) {
  size_t i = 0;
  const size_t n = bytes.size();
  while (i < n) {
    if (static_cast<unsigned char>(bytes[i]) < 0x80) {
      ++i;
      continue;
    }
    size_t len = sequenceLength(bytes, i);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

size_t utf16Length(std::string_view utf8) {
  size_t units = 0;
  for (size_t i = 0; i < utf8.size();) {
    Step st = step(utf8, i);
    i += st.bytes;
    units += st.units;
  }
  return units;
}

std::string utf16Prefix(std::string_view utf8, size_t units) {
  return std::string(utf8.substr(0, byteOffset(utf8, units, true)));
}

std::string utf16Substring(std::string_view utf8, size_t start, size_t length) {
  const size_t begin = byteOffset(utf8, start, false);
  const size_t end = start + length < start ? utf8.size()  // overflow: to the end
                                            : byteOffset(utf8, start + length, true);
  if (end <= begin) return std::string();
  return std::string(utf8.substr(begin, end - begin));
}

}  // namespace core
