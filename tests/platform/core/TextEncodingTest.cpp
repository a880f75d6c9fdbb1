#include "platform/core/TextEncoding.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using core::appendGb18030;
using core::gb18030ToUtf8;
using core::utf8ToGb18030;

TEST(Gb18030, WellKnownBytes) {
  EXPECT_EQ(utf8ToGb18030("中文"), std::string("\xD6\xD0\xCE\xC4"));
  EXPECT_EQ(gb18030ToUtf8("\xD6\xD0\xCE\xC4"), std::string("中文"));
  EXPECT_EQ(utf8ToGb18030("\xC2\xA5"), std::string("\x81\x30\x84\x36"));  // U+00A5, outside GBK
  // Supplementary planes are a linear four-byte range starting at 90 30 81 30.
  EXPECT_EQ(utf8ToGb18030("\xF0\x90\x80\x80"), std::string("\x90\x30\x81\x30"));
  EXPECT_EQ(gb18030ToUtf8("\xE3\x32\x9A\x35"), std::string("\xF4\x8F\xBF\xBF"));  // U+10FFFF
}

TEST(Gb18030, RoundTripsChineseAsciiAndFourByteCharacters) {
  const std::vector<std::string> texts = {
      "",
      "plain ASCII 0123 ~!@#$%^&*()",
      std::string("with\0zero", 9),
      "欢迎光临 KTV 包厢 808，点歌请按【确定】。",
      "caf\xC3\xA9 \xC3\x80 \xC2\xA5",            // é is two bytes (GBK pinyin); À and ¥ are four bytes
      "\xF0\xA0\x80\x80\xF0\xAA\x9B\x96",     // U+20000, U+2A6D6: CJK Extension B
      "混合 \xF0\xA0\x80\x80 é and 𠀋 text",
  };
  for (const std::string& text : texts) {
    auto encoded = utf8ToGb18030(text);
    ASSERT_TRUE(encoded.has_value()) << text;
    auto decoded = gb18030ToUtf8(*encoded);
    ASSERT_TRUE(decoded.has_value()) << text;
    EXPECT_EQ(*decoded, text);
  }
  // The characters outside GBK really take four bytes.
  EXPECT_EQ(utf8ToGb18030("\xC3\x80")->size(), 4u);  // U+00C0
  EXPECT_EQ(utf8ToGb18030("\xF0\xA0\x80\x80")->size(), 4u);
  EXPECT_EQ(utf8ToGb18030("")->size(), 0u);
}

TEST(Gb18030, EveryTwoByteAndBmpFourByteSequenceDecodesToValidUtf8AndBack) {
  int failures = 0;
  int fourByteDecoded = 0;
  auto check = [&failures](const std::string& bytes) {
    auto decoded = gb18030ToUtf8(bytes);
    if (!decoded) return false;
    if (!core::isValidUtf8(*decoded) || utf8ToGb18030(*decoded) != bytes) {
      if (++failures < 5) ADD_FAILURE() << testing::PrintToString(bytes);
    }
    return true;
  };
  for (int a = 0x81; a <= 0xFE; ++a) {
    for (int b = 0x40; b <= 0xFE; ++b) {
      if (b == 0x7F) continue;
      if (!check({static_cast<char>(a), static_cast<char>(b)})) ++failures;  // all are assigned
    }
  }
  for (int a = 0x81; a <= 0x84; ++a) {
    for (int b = 0x30; b <= 0x39; ++b) {
      for (int c = 0x81; c <= 0xFE; ++c) {
        for (int d = 0x30; d <= 0x39; ++d) {
          if (check({static_cast<char>(a), static_cast<char>(b), static_cast<char>(c), static_cast<char>(d)})) {
            ++fourByteDecoded;
          }
        }
      }
    }
  }
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(fourByteDecoded, 39420);  // the four-byte part of the Basic Multilingual Plane
}

TEST(Gb18030, RejectsInvalidOrIncompleteBytes) {
  const std::vector<std::string> bad = {
      "\x81",                  // lead byte alone
      "abc\xD6",               // truncated two-byte sequence at the end
      "\x81\x30",              // truncated four-byte sequence
      "\x81\x30\x81",          // truncated four-byte sequence
      "\x81\x20",              // bad trail byte
      "\x81\x7F",              // bad trail byte
      "\x81\x30\x20\x30",      // bad third byte of a four-byte sequence
      "\xFE\x39\xFE\x39",      // four bytes beyond U+10FFFF
      "\x80",                  // not a lead byte
      "\xFF",                  // not a lead byte
      "\xD6\xD0\xCE",          // valid character followed by a truncated one
  };
  for (const std::string& bytes : bad) {
    EXPECT_FALSE(gb18030ToUtf8(bytes).has_value()) << testing::PrintToString(bytes);
  }
  // A failure leaves nothing behind: the next call on the same thread decodes normally.
  EXPECT_EQ(gb18030ToUtf8("\xD6\xD0\xCE\xC4"), std::string("中文"));
}

TEST(Gb18030, EncodingRejectsInvalidUtf8) {
  const std::vector<std::string> bad = {
      "\xC3",              // truncated
      "\xE4\xB8",          // truncated
      "\xC0\xAF",          // overlong
      "\xED\xA0\x80",      // surrogate
      "\xF4\x90\x80\x80",  // above U+10FFFF
      "\x80",              // stray continuation
      "中\xFF文",
  };
  for (const std::string& text : bad) {
    EXPECT_FALSE(utf8ToGb18030(text).has_value()) << testing::PrintToString(text);
  }
}

TEST(Gb18030, LargeInputGrowsOutput) {
  // Many two-byte characters (1.5 times longer in UTF-8), four-byte ones and runs of ASCII of
  // every length up to 20, so that each kind falls on the edges of the encoder's pieces.
  std::string text;
  for (int i = 0; i < 20000; ++i)
    text += (i % 7 == 0) ? "\xF0\xA0\x80\x80" : (i % 5 == 0) ? std::string(i % 21, 'x') : "点歌";
  auto encoded = utf8ToGb18030(text);
  ASSERT_TRUE(encoded.has_value());
  EXPECT_EQ(gb18030ToUtf8(*encoded), text);
}

TEST(Gb18030, AppendingKeepsWhatIsThereAndAddsNothingOnBadText) {
  std::string out = "head";
  ASSERT_TRUE(appendGb18030(out, "点歌 a"));
  EXPECT_EQ(out, "head\xB5\xE3\xB8\xE8 a");
  // Refused far in, after whole pieces were already converted: nothing of it stays.
  std::string text;
  for (int i = 0; i < 10000; ++i) text += "点";
  EXPECT_FALSE(appendGb18030(out, text + "\xFF"));
  EXPECT_EQ(out, "head\xB5\xE3\xB8\xE8 a");
}

TEST(Gb18030, ThreadsConvertIndependently) {
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      const std::string text = "线程 " + std::to_string(t) + " é\xF0\xA0\x80\x80";
      for (int i = 0; i < 500; ++i) {
        auto encoded = utf8ToGb18030(text);
        if (!encoded || gb18030ToUtf8(*encoded) != text) ++failures[t];
        if (gb18030ToUtf8("\x81\x30").has_value()) ++failures[t];
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int f : failures) EXPECT_EQ(f, 0);
}

// ---- The GB 18030-2000 table where later tables (and the system converter) differ ----

std::string utf8Of(uint32_t cp) {
  std::string s;
  core::appendUtf8(s, cp);
  return s;
}

// The four-byte code with the given linear index from 81 30 81 30 (BMP) or 90 30 81 30.
std::string fourByteCode(uint32_t index, int firstByte) {
  return {static_cast<char>(firstByte + index / 12600), static_cast<char>(0x30 + index / 1260 % 10),
          static_cast<char>(0x81 + index / 10 % 126), static_cast<char>(0x30 + index % 10)};
}

// The 2000 mapping of every code where the tables differ.
std::vector<std::pair<std::string, uint32_t>> tableOf2000Differences() {
  std::vector<std::pair<std::string, uint32_t>> pairs = {
      {"\xA8\xBC", 0xE7C7},          // later tables: U+1E3F
      {"\x81\x35\xF4\x37", 0x1E3F},  // later tables: U+E7C7
  };
  // Private use in 2000, vertical forms U+FE10..U+FE19 later.
  const char* a6[] = {"\xA6\xD9", "\xA6\xDA", "\xA6\xDB", "\xA6\xDC", "\xA6\xDD",
                      "\xA6\xDE", "\xA6\xDF", "\xA6\xEC", "\xA6\xED", "\xA6\xF3"};
  for (uint32_t i = 0; i < 10; ++i) pairs.emplace_back(a6[i], 0xE78D + i);
  // Private use in 2000, CJK characters later.
  const std::pair<unsigned char, uint32_t> fe[] = {
      {0x51, 0xE816}, {0x52, 0xE817}, {0x53, 0xE818}, {0x59, 0xE81E}, {0x61, 0xE826},
      {0x66, 0xE82B}, {0x67, 0xE82C}, {0x6C, 0xE831}, {0x6D, 0xE832}, {0x76, 0xE83B},
      {0x7E, 0xE843}, {0x90, 0xE854}, {0x91, 0xE855}, {0xA0, 0xE864}};
  for (const auto& [second, cp] : fe) pairs.emplace_back(std::string{'\xFE', static_cast<char>(second)}, cp);
  // U+9FB4..U+9FBB and U+FE10..U+FE19 by the linear rule: four-byte codes in 2000.
  // 82 35 90 37 and 84 31 82 36 are the linear indexes 19057 and 39076.
  for (uint32_t i = 0; i < 8; ++i) pairs.emplace_back(fourByteCode(19057 + i, 0x81), 0x9FB4 + i);
  for (uint32_t i = 0; i < 10; ++i) pairs.emplace_back(fourByteCode(39076 + i, 0x81), 0xFE10 + i);
  // Supplementary characters: linear four-byte codes in 2000, FE51... later.
  for (uint32_t cp : {0x20087u, 0x20089u, 0x200CCu, 0x215D7u, 0x2298Fu, 0x241FEu})
    pairs.emplace_back(fourByteCode(cp - 0x10000, 0x90), cp);
  return pairs;
}

TEST(Gb18030Of2000, EachCodeWhereTheTablesDifferConvertsBothWays) {
  const auto pairs = tableOf2000Differences();
  ASSERT_EQ(pairs.size(), 50u);
  EXPECT_EQ(pairs[26], std::make_pair(std::string("\x82\x35\x90\x37"), 0x9FB4u));
  EXPECT_EQ(pairs[33], std::make_pair(std::string("\x82\x35\x91\x34"), 0x9FBBu));
  EXPECT_EQ(pairs[43], std::make_pair(std::string("\x84\x31\x83\x35"), 0xFE19u));
  std::string allBytes, allText;
  for (const auto& [bytes, cp] : pairs) {
    const std::string text = utf8Of(cp);
    EXPECT_EQ(gb18030ToUtf8(bytes), text) << testing::PrintToString(bytes);
    EXPECT_EQ(utf8ToGb18030(text), bytes) << std::hex << cp;
    // Between ordinary characters, ASCII and each other.
    allBytes += bytes + "\xB5\xE3" + "a";
    allText += text + "点" + "a";
  }
  EXPECT_EQ(gb18030ToUtf8(allBytes), allText);
  EXPECT_EQ(utf8ToGb18030(allText), allBytes);
  EXPECT_EQ(gb18030ToUtf8("\xFE\x51\xFE\x51"), "\xEE\xA0\x96\xEE\xA0\x96");
  // The supplementary code and FE51 decode apart, so each re-encodes to itself.
  EXPECT_EQ(gb18030ToUtf8("\x95\x32\x90\x31"), "\xF0\xA0\x82\x87");
  EXPECT_EQ(utf8ToGb18030("\xF0\xA0\x82\x87"), std::string("\x95\x32\x90\x31"));
}

TEST(Gb18030Of2000, CorrectedCodesStillRefuseBrokenNeighbours) {
  const std::vector<std::string> bad = {
      "\xA8\xBC\x81",              // a corrected code, then a truncated one
      "\xA8\xBC\x82\x35\x90",      // a truncated four-byte code after it
      "\xFF\xA8\xBC",              // not a lead byte before it
      "\x80\xFE\x51",             // likewise
      "\xFE\x51\x81\x20",          // a bad trail byte after it
      "\x82\x35\x90",              // a corrected four-byte code cut short
      "\x84\x31\xA5\x30",          // the first four-byte code past U+FFFF
  };
  for (const std::string& bytes : bad) {
    EXPECT_FALSE(gb18030ToUtf8(bytes).has_value()) << testing::PrintToString(bytes);
  }
  EXPECT_FALSE(utf8ToGb18030("\xEE\xA0\x96\xC3").has_value());
  EXPECT_FALSE(utf8ToGb18030("\xE1\xB8\xBF\xED\xA0\x80").has_value());
  EXPECT_EQ(utf8ToGb18030("\xE1\xB8\xBF" "a"), std::string("\x81\x35\xF4\x37" "a"));
}

// Splits UTF-8 (valid) into code points.
std::vector<uint32_t> codePoints(const std::string& utf8) {
  std::vector<uint32_t> out;
  for (size_t i = 0; i < utf8.size();) {
    const auto b0 = static_cast<unsigned char>(utf8[i]);
    const size_t length = b0 < 0x80 ? 1 : b0 < 0xE0 ? 2 : b0 < 0xF0 ? 3 : 4;
    uint32_t cp = length == 1 ? b0 : b0 & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) cp = cp << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    out.push_back(cp);
    i += length;
  }
  return out;
}

// Compares long conversions, reporting where they part rather than the whole text.
void expectSame(const std::optional<std::string>& got, const std::string& want) {
  ASSERT_TRUE(got.has_value());
  const auto [g, w] = std::mismatch(got->begin(), got->end(), want.begin(), want.end());
  if (g != got->end() || w != want.end()) {
    const size_t at = static_cast<size_t>(g - got->begin());
    ADD_FAILURE() << "parts at byte " << at << ": " << testing::PrintToString(got->substr(at, 8)) << " instead of "
                  << testing::PrintToString(want.substr(at, 8));
  }
}

TEST(Gb18030Of2000, CodesWhereTheTablesDifferDecodeAnywhereInALongText) {
  // Long text is decoded a piece at a time: put each such code three times, each after a long
  // filler of one-, two- and four-byte characters of varying length, so that codes and fillers
  // fall on the edges of pieces at many offsets.
  const auto pairs = tableOf2000Differences();
  std::string bytes, text;
  for (size_t k = 0; k < 3 * pairs.size(); ++k) {
    for (size_t f = 0; f < 1500 + k % 13; ++f) {
      bytes += f % 3 == 0 ? "a" : f % 3 == 1 ? "\xB5\xE3" : "\x95\x32\x82\x36";  // a, 点, U+20000
      text += f % 3 == 0 ? "a" : f % 3 == 1 ? "点" : "\xF0\xA0\x80\x80";
    }
    const auto& [code, cp] = pairs[k % pairs.size()];
    bytes += code;
    text += utf8Of(cp);
  }
  expectSame(gb18030ToUtf8(bytes), text);
  // Long text is encoded a piece at a time too.
  EXPECT_EQ(utf8ToGb18030(text), bytes);
  // A broken code far in is still refused.
  EXPECT_FALSE(gb18030ToUtf8(bytes + "\x81").has_value());
  EXPECT_FALSE(gb18030ToUtf8(bytes.substr(0, bytes.size() / 2) + "\xFF" + bytes).has_value());
}

TEST(Gb18030Of2000, EveryBmpCodeMapsOneToOneBothWays) {
  // Every two-byte code, then every four-byte code up to U+FFFF, in one piece.
  std::vector<std::string> codes;
  for (int a = 0x81; a <= 0xFE; ++a) {
    for (int b = 0x40; b <= 0xFE; ++b) {
      if (b != 0x7F) codes.push_back({static_cast<char>(a), static_cast<char>(b)});
    }
  }
  const size_t twoByteCount = codes.size();
  for (uint32_t i = 0; i < 39420; ++i) codes.push_back(fourByteCode(i, 0x81));
  ASSERT_EQ(codes.back(), "\x84\x31\xA4\x39");
  std::string bytes;
  for (const std::string& code : codes) bytes += code;

  auto decoded = gb18030ToUtf8(bytes);
  ASSERT_TRUE(decoded.has_value());
  ASSERT_TRUE(core::isValidUtf8(*decoded));
  const std::vector<uint32_t> cps = codePoints(*decoded);
  ASSERT_EQ(cps.size(), codes.size());
  // Each BMP scalar value above ASCII comes out exactly once; the four-byte codes take the
  // values the two-byte ones leave, in code point order.
  std::vector<std::string> codeOf(0x10000);
  int misplaced = 0;
  for (size_t i = 0; i < cps.size(); ++i) {
    const uint32_t cp = cps[i];
    const bool fits = cp >= 0x80 && cp <= 0xFFFF && !(cp >= 0xD800 && cp <= 0xDFFF) && codeOf[cp].empty() &&
                      (i <= twoByteCount || cp > cps[i - 1]);
    if (!fits && ++misplaced <= 5) ADD_FAILURE() << testing::PrintToString(codes[i]) << " gives " << std::hex << cp;
    if (cp <= 0xFFFF) codeOf[cp] = codes[i];
  }
  EXPECT_EQ(misplaced, 0);
  expectSame(utf8ToGb18030(*decoded), bytes);

  // Every BMP scalar value in code point order encodes to the code that decoded to it.
  std::string text, expected;
  for (uint32_t cp = 0x80; cp <= 0xFFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    core::appendUtf8(text, cp);
    expected += codeOf[cp];
  }
  expectSame(utf8ToGb18030(text), expected);
  expectSame(gb18030ToUtf8(expected), text);
}

TEST(Gb18030Of2000, SupplementaryPlanesAreOneLinearRange) {
  std::string text, expected;
  for (uint32_t cp = 0x10000; cp <= 0x10FFFF; ++cp) {
    core::appendUtf8(text, cp);
    expected += fourByteCode(cp - 0x10000, 0x90);
  }
  ASSERT_EQ(expected.substr(expected.size() - 4), "\xE3\x32\x9A\x35");
  expectSame(utf8ToGb18030(text), expected);
  expectSame(gb18030ToUtf8(expected), text);
}

TEST(Utf8, Validity) {
  EXPECT_TRUE(core::isValidUtf8(""));
  EXPECT_TRUE(core::isValidUtf8("ascii"));
  EXPECT_TRUE(core::isValidUtf8("中文 é \xF0\x9F\x8E\xA4 \xF4\x8F\xBF\xBF \xEF\xBF\xBF"));
  EXPECT_TRUE(core::isValidUtf8("\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80"));  // edges around the surrogates
  EXPECT_FALSE(core::isValidUtf8("\xC0\x80"));          // overlong NUL
  EXPECT_FALSE(core::isValidUtf8("\xC1\xBF"));          // overlong
  EXPECT_FALSE(core::isValidUtf8("\xE0\x9F\xBF"));      // overlong three-byte
  EXPECT_FALSE(core::isValidUtf8("\xF0\x8F\xBF\xBF"));  // overlong four-byte
  EXPECT_FALSE(core::isValidUtf8("\xED\xBF\xBF"));      // surrogate
  EXPECT_FALSE(core::isValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(core::isValidUtf8("\xF5\x80\x80\x80"));
  EXPECT_FALSE(core::isValidUtf8("\xE4\xB8"));          // truncated
  EXPECT_FALSE(core::isValidUtf8("\xE4\x41\xAD"));      // bad continuation
  EXPECT_FALSE(core::isValidUtf8("abcdefgh\xBF"));      // stray continuation after an ASCII run
}

TEST(Utf8, AppendEncodesEachLengthAtItsEdges) {
  const std::pair<uint32_t, std::string> cases[] = {
      {0x41, "A"},
      {0x7F, "\x7F"},
      {0x80, "\xC2\x80"},
      {0x7FF, "\xDF\xBF"},
      {0x800, "\xE0\xA0\x80"},
      {0x4E2D, "中"},
      {0xFFFF, "\xEF\xBF\xBF"},
      {0x10000, "\xF0\x90\x80\x80"},
      {0x1F3A4, "\xF0\x9F\x8E\xA4"},
      {0x10FFFF, "\xF4\x8F\xBF\xBF"},
  };
  std::string all;
  for (const auto& [cp, bytes] : cases) {
    std::string out = "x";
    core::appendUtf8(out, cp);
    EXPECT_EQ(out, "x" + bytes) << std::hex << cp;
    core::appendUtf8(all, cp);
  }
  EXPECT_TRUE(core::isValidUtf8(all));
}

TEST(Utf16, LengthCountsAstralCharactersTwice) {
  EXPECT_EQ(core::utf16Length(""), 0u);
  EXPECT_EQ(core::utf16Length("abc"), 3u);
  EXPECT_EQ(core::utf16Length("中文é"), 3u);
  EXPECT_EQ(core::utf16Length("a\xF0\x9F\x8E\xA4" "b"), 4u);
  EXPECT_EQ(core::utf16Length("\xF0\xA0\x80\x80\xF0\xA0\x80\x80"), 4u);
}

TEST(Utf16, PrefixNeverSplitsACharacter) {
  const std::string s = "a中\xF0\x9F\x8E\xA4" "b";  // units: a=1, 中=1, emoji=2, b=1
  EXPECT_EQ(core::utf16Prefix(s, 0), "");
  EXPECT_EQ(core::utf16Prefix(s, 1), "a");
  EXPECT_EQ(core::utf16Prefix(s, 2), "a中");
  EXPECT_EQ(core::utf16Prefix(s, 3), "a中");  // would split the emoji
  EXPECT_EQ(core::utf16Prefix(s, 4), "a中\xF0\x9F\x8E\xA4");
  EXPECT_EQ(core::utf16Prefix(s, 5), s);
  EXPECT_EQ(core::utf16Prefix(s, 1000), s);
}

TEST(Utf16, SubstringClampsAndKeepsWholeCharacters) {
  const std::string emoji = "\xF0\x9F\x8E\xA4";
  const std::string s = "a中" + emoji + "b";
  EXPECT_EQ(core::utf16Substring(s, 0, 2), "a中");
  EXPECT_EQ(core::utf16Substring(s, 1, 1), "中");
  EXPECT_EQ(core::utf16Substring(s, 2, 2), emoji);
  EXPECT_EQ(core::utf16Substring(s, 2, 3), emoji + "b");
  EXPECT_EQ(core::utf16Substring(s, 3, 2), "b");        // starts inside the emoji: left out
  EXPECT_EQ(core::utf16Substring(s, 1, 2), "中");       // ends inside the emoji: left out
  EXPECT_EQ(core::utf16Substring(s, 3, 0), "");
  EXPECT_EQ(core::utf16Substring(s, 4, 100), "b");      // clamped at the end
  EXPECT_EQ(core::utf16Substring(s, 5, 1), "");
  EXPECT_EQ(core::utf16Substring(s, 50, 1), "");
  EXPECT_EQ(core::utf16Substring(s, 0, static_cast<size_t>(-1)), s);
  EXPECT_EQ(core::utf16Substring(s, 1, static_cast<size_t>(-1)), "中" + emoji + "b");
}

}  // namespace
