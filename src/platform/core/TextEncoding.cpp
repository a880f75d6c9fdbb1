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

// One converter per direction and thread: opening one is slow, so it is kept and reset per call.
class Converter {
 public:
  Converter(const char* to, const char* from) : m_to(to), m_from(from) {}
  ~Converter() {
    if (m_cd != invalid()) iconv_close(m_cd);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts the whole input and appends it to `out`, or fails; `estimate` is the expected
  // output size per input byte.
  bool convert(std::string_view input, double estimate, std::string& out) {
    if (input.empty()) return true;
    if (!begin()) return false;

    size_t used = out.size();
    out.resize(used + static_cast<size_t>(static_cast<double>(input.size()) * estimate) + 4);
    char* in = const_cast<char*>(input.data());
    size_t inLeft = input.size();
    bool flushing = false;  // after the input, one call without input ends any pending state
    for (;;) {
      char* outPtr = out.data() + used;
      size_t outLeft = out.size() - used;
      size_t r = flushing ? iconv(m_cd, nullptr, nullptr, &outPtr, &outLeft)
                          : iconv(m_cd, &in, &inLeft, &outPtr, &outLeft);
      used = out.size() - outLeft;
      if (r == static_cast<size_t>(-1)) {
        if (errno != E2BIG) return false;  // EILSEQ (invalid) or EINVAL (incomplete at the end)
        out.resize(out.size() * 2 + 16);
        continue;
      }
      if (r != 0) return false;  // a non-reversible substitution is a guess: refuse it
      if (flushing) break;
      if (inLeft == 0) flushing = true;
    }
    out.resize(used);
    return true;
  }

  // Opens the converter if needed and puts it back in its initial state; false when it cannot
  // be opened.
  bool begin() {
    if (m_cd == invalid()) {
      m_cd = iconv_open(m_to, m_from);
      if (m_cd == invalid()) return false;
    }
    iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
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
    if (r == static_cast<size_t>(-1)) {
      return errno == E2BIG ? Stop::Done : errno == EINVAL ? Stop::Incomplete : Stop::Refused;
    }
    return r == 0 ? Stop::Done : Stop::Failed;
  }

 private:
  static iconv_t invalid() { return reinterpret_cast<iconv_t>(-1); }

  const char* m_to = nullptr;
  const char* m_from = nullptr;
  iconv_t m_cd = invalid();
};

// Decodes to code points (wchar_t holds UCS-4 here): one step inside the converter, and the UTF-8
// is written below, where each code point is checked against the table on the way.
static_assert(sizeof(wchar_t) == 4, "wchar_t holds one code point");
Converter& decoder() {
  thread_local Converter c("WCHAR_T", "GB18030");
  return c;
}

Converter& encoder() {
  thread_local Converter c("GB18030", "UTF-8");
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

constexpr unsigned char utf8LeadByte(uint32_t cp) {
  return static_cast<unsigned char>(cp < 0x800 ? 0xC0 | (cp >> 6) : cp < 0x10000 ? 0xE0 | (cp >> 12) : 0xF0 | (cp >> 18));
}

// The first bytes of the corrected code points in UTF-8: any other byte starts a sequence that
// goes to the converter without a look-up.
constexpr std::array<bool, 256> utf8LeadBytes() {
  std::array<bool, 256> leads{};
  for (const Correction& c : kCorrections) leads[utf8LeadByte(c.codePoint)] = true;
  return leads;
}
constexpr std::array<bool, 256> kUtf8Leads = utf8LeadBytes();

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

// The length of the UTF-8 form of a code point, at least that of any code point sharing its
// row of the table (all of them take four bytes at most).
inline size_t utf8Length(uint32_t cp) {
  if (onTableRow(cp)) return 4;
  return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
}

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

// Converts `input` with `converter`, except the units `unitAt` finds in the table, which `emit`
// appends itself; each run between them goes to the converter whole. A unit of length 0 (cut
// short by the end) leaves the rest to the converter, which refuses it.
template <typename UnitAt, typename Emit>
std::optional<std::string> convertAround(std::string_view input, Converter& converter, double estimate,
                                         UnitAt unitAt, Emit emit) {
  std::string out;
  size_t start = 0;  // the first byte not yet converted
  for (size_t i = 0; i < input.size();) {
    const Unit unit = unitAt(i);
    if (unit.length == 0) break;
    if (unit.correction) {
      if (!converter.convert(input.substr(start, i - start), estimate, out)) return std::nullopt;
      emit(out, *unit.correction);
      start = i + unit.length;
    }
    i += unit.length;
  }
  if (!converter.convert(input.substr(start), estimate, out)) return std::nullopt;
  return out;
}

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

// Length of the well-formed UTF-8 sequence starting at s[i], or 0 when it is not one.
size_t sequenceLength(std::string_view s, size_t i) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const size_t left = s.size() - i;
  const unsigned char b0 = p[i];
  if (b0 < 0x80) return 1;
  if (b0 >= 0xC2 && b0 <= 0xDF) return (left >= 2 && isCont(p[i + 1])) ? 2 : 0;
  if (b0 >= 0xE0 && b0 <= 0xEF) {
    if (left < 3) return 0;
    const unsigned char b1 = p[i + 1];
    const unsigned char lo = b0 == 0xE0 ? 0xA0 : 0x80;  // no overlongs
    const unsigned char hi = b0 == 0xED ? 0x9F : 0xBF;  // no surrogates
    return (b1 >= lo && b1 <= hi && isCont(p[i + 2])) ? 3 : 0;
  }
  if (b0 >= 0xF0 && b0 <= 0xF4) {
    if (left < 4) return 0;
    const unsigned char b1 = p[i + 1];
    const unsigned char lo = b0 == 0xF0 ? 0x90 : 0x80;  // no overlongs
    const unsigned char hi = b0 == 0xF4 ? 0x8F : 0xBF;  // nothing above U+10FFFF
    return (b1 >= lo && b1 <= hi && isCont(p[i + 2]) && isCont(p[i + 3])) ? 4 : 0;
  }
  return 0;
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
  // One byte gives one, two bytes at most three, four bytes at most four.
  std::string out(bytes.size() / 2 * 3 + 8, '\0');
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
    // The estimate above holds for the mapping as it is; any other gets room as it needs it.
    const size_t used = static_cast<size_t>(o - out.data());
    if (out.size() - used < count * 4) {
      size_t need = 0;
      for (size_t i = 0; i < count; ++i) need += utf8Length(static_cast<uint32_t>(codePoints[i]));
      if (out.size() - used < need) out.resize(std::max(used + need, out.size() * 2));
      o = out.data() + used;
    }
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
    if (out.size() - static_cast<size_t>(o - out.data()) < 4) {
      const size_t used = static_cast<size_t>(o - out.data());
      out.resize(out.size() * 2 + 4);
      o = out.data() + used;
    }
    o = putUtf8(o, refused.correction->codePoint);
    in += refused.length;
  }
  out.resize(static_cast<size_t>(o - out.data()));
  return out;
}

std::optional<std::string> utf8ToGb18030(std::string_view utf8) {
  if (isAscii(utf8)) return std::string(utf8);
  if (!isValidUtf8(utf8)) return std::nullopt;
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  auto unitAt = [p](size_t i) -> Unit {
    const unsigned char b0 = p[i];
    if (b0 < 0x80) return {1, nullptr};
    const size_t length = b0 < 0xE0 ? 2 : b0 < 0xF0 ? 3 : 4;  // well-formed: checked above
    if (!kUtf8Leads[b0]) return {length, nullptr};
    uint32_t cp = b0 & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) cp = cp << 6 | (p[i + k] & 0x3F);
    return {length, findCorrection(kByCodePoint, &Correction::codePoint, cp)};
  };
  auto emit = [](std::string& out, const Correction& c) {
    if (c.code > 0xFFFF) {
      out += static_cast<char>(c.code >> 24);
      out += static_cast<char>(c.code >> 16);
    }
    out += static_cast<char>(c.code >> 8);
    out += static_cast<char>(c.code);
  };
  // Two-byte UTF-8 sequences may become four bytes.
  return convertAround(utf8, encoder(), 2.0, unitAt, emit);
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
