#include "platform/core/TextEncoding.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

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
  EXPECT_GT(fourByteDecoded, 39000);  // the four-byte part of the Basic Multilingual Plane
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
  // Many two-byte characters (1.5 times longer in UTF-8) and four-byte ones.
  std::string text;
  for (int i = 0; i < 20000; ++i) text += (i % 7 == 0) ? "\xF0\xA0\x80\x80" : "点歌";
  auto encoded = utf8ToGb18030(text);
  ASSERT_TRUE(encoded.has_value());
  EXPECT_EQ(gb18030ToUtf8(*encoded), text);
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
