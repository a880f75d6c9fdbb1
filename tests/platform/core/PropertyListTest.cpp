#include "platform/core/PropertyList.h"

#include "platform/core/Paths.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <vector>

namespace {

using core::PropertyList;
using core::Value;

const char* const kHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n";

std::optional<Value> parseBody(const std::string& body, core::Error* error = nullptr) {
  return PropertyList::parse(std::string(kHead) + body + "\n</plist>\n", error);
}

Value everyKind() {
  return Value(Value::Dictionary{
      {"string", "plain & <escaped> \"text\"\r\nnext line\ttab"},
      {"chinese", "\xe6\xac\xa2\xe5\x94\xb1\xe5\x8c\x85\xe5\x8e\xa2"},
      {"emoji", "\xf0\x9f\x8e\xa4"},
      {"empty string", ""},
      {"integer", int64_t{-9007199254740993}},
      {"max", INT64_MAX},
      {"real", 0.1},
      {"whole real", 3.0},
      {"true", true},
      {"false", false},
      {"date", core::Date(1796626800)},
      {"data", Value::data(std::string("\x00\xff\x10 binary", 10))},
      {"empty data", Value::data("")},
      {"empty array", Value(Value::Array{})},
      {"empty dict", Value(Value::Dictionary{})},
      {"nested", Value(Value::Array{1, Value(Value::Dictionary{{"k", Value(Value::Array{"x"})}})})},
  });
}

TEST(PropertyListTest, RoundTripOfEveryKind) {
  core::Error error;
  auto text = PropertyList::serialize(everyKind(), &error);
  ASSERT_TRUE(text) << error.description();
  auto back = PropertyList::parse(*text, &error);
  ASSERT_TRUE(back) << error.description() << "\n" << *text;
  EXPECT_EQ(*back, everyKind());
  EXPECT_TRUE((*back)["whole real"].isReal());
  EXPECT_TRUE((*back)["true"].isBool());
}

TEST(PropertyListTest, NonFiniteRealsAndTopLevelScalars) {
  for (double d : {HUGE_VAL, -HUGE_VAL}) {
    auto back = PropertyList::parse(*PropertyList::serialize(Value(d)));
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, Value(d));
  }
  auto nan = PropertyList::parse(*PropertyList::serialize(Value(std::nan(""))));
  ASSERT_TRUE(nan && nan->isReal());
  EXPECT_TRUE(std::isnan(*nan->asReal()));
  EXPECT_EQ(*PropertyList::parse(*PropertyList::serialize(Value("top"))), Value("top"));
}

TEST(PropertyListTest, WritesSortedKeysAndReadableXml) {
  auto text = PropertyList::serialize(Value(Value::Dictionary{{"b", 1}, {"a", true}, {"c", Value(Value::Array{})}}));
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, std::string(kHead) +
                       "<dict>\n"
                       "\t<key>a</key>\n"
                       "\t<true/>\n"
                       "\t<key>b</key>\n"
                       "\t<integer>1</integer>\n"
                       "\t<key>c</key>\n"
                       "\t<array/>\n"
                       "</dict>\n"
                       "</plist>\n");
}

TEST(PropertyListTest, ReadsWhatOtherWritersProduce) {
  auto v = parseBody(
      "<dict>\n"
      "  <!-- a comment -->\n"
      "  <key>n</key> <integer> +12 </integer>\n"
      "  <key>r</key> <real>1e3</real>\n"
      "  <key>s</key> <string><![CDATA[a<b]]> &amp; &#x4E2D;</string>\n"
      "  <key>d</key> <data>\n    AAEC\n    Aw==\n  </data>\n"
      "  <key>t</key> <date>2026-12-07T15:00:00+08:00</date>\n"
      "  <key>e</key> <string/>\n"
      "  <key>dup</key> <integer>1</integer> <key>dup</key> <integer>2</integer>\n"
      "</dict>");
  ASSERT_TRUE(v);
  EXPECT_EQ((*v)["n"], Value(12));
  EXPECT_EQ((*v)["r"], Value(1000.0));
  EXPECT_EQ((*v)["s"], Value("a<b & \xe4\xb8\xad"));
  EXPECT_EQ((*v)["d"], Value::data(std::string("\x00\x01\x02\x03", 4)));
  EXPECT_EQ((*v)["t"], Value(core::Date(1796626800)));
  EXPECT_EQ((*v)["e"], Value(""));
  EXPECT_EQ((*v)["dup"], Value(2));
}

TEST(PropertyListTest, BadInputIsAnErrorNeverACrash) {
  const std::string good = *PropertyList::serialize(everyKind());
  const std::vector<std::string> bad = {
      "",
      "not xml at all",
      good.substr(0, good.size() / 2),                                    // truncated
      "<?xml version=\"1.0\"?><html><dict/></html>",                       // wrong root
      std::string(kHead) + "</plist>",                                    // empty plist
      std::string(kHead) + "<dict/><dict/></plist>",                      // two values
      std::string(kHead) + "<dict><key>a</key></dict></plist>",           // key without value
      std::string(kHead) + "<dict><key>a</key><key>b</key><true/></dict></plist>",
      std::string(kHead) + "<dict><string>a</string><true/></dict></plist>",
      std::string(kHead) + "<widget/></plist>",                           // unknown element
      std::string(kHead) + "<integer>12x</integer></plist>",
      std::string(kHead) + "<integer>99999999999999999999</integer></plist>",
      std::string(kHead) + "<real>1.5.2</real></plist>",
      std::string(kHead) + "<date>yesterday</date></plist>",
      std::string(kHead) + "<data>!!!</data></plist>",
      std::string(kHead) + "<string>a<b/></string></plist>",
      std::string(kHead) + "<array>loose text</array></plist>",
      std::string(kHead) + "<true>x</true></plist>",
      "bplist00\x01\x02",
  };
  for (const std::string& input : bad) {
    core::Error error;
    EXPECT_FALSE(PropertyList::parse(input, &error)) << input;
    EXPECT_EQ(error.domain(), core::Error::CoreDomain) << input;
    EXPECT_EQ(error.code(), core::Error::ReadCorrupt) << input;
    EXPECT_FALSE(error.localizedDescription().empty());
  }
  // A missing error pointer is fine too.
  EXPECT_FALSE(PropertyList::parse("<"));
}

TEST(PropertyListTest, DeepNestingIsRefused) {
  std::string deep = kHead;
  for (int i = 0; i < 5000; ++i) deep += "<array>";
  for (int i = 0; i < 5000; ++i) deep += "</array>";
  deep += "</plist>";
  EXPECT_FALSE(PropertyList::parse(deep));
}

TEST(PropertyListTest, DatesOutsideTheYears0000To9999AreRefusedBothWays) {
  // In UTC 10000-01-01T23:58:59 and -0001-12-31T23:59:00, which no writer can put back in four
  // digits.
  for (const char* date : {"9999-12-31T23:59:59-23:59", "0000-01-01T00:00:00+00:01"}) {
    core::Error error;
    EXPECT_FALSE(parseBody(std::string("<dict><key>a</key><string>x</string><key>when</key><date>") + date +
                               "</date></dict>",
                           &error))
        << date;
    EXPECT_EQ(error.code(), core::Error::ReadCorrupt);
  }
  for (double t : {253402300800.0, -62167219201.0, 1e300, std::nan("")}) {
    core::Error error;
    EXPECT_FALSE(PropertyList::serialize(Value(Value::Dictionary{{"a", "x"}, {"when", core::Date(t)}}), &error));
    EXPECT_EQ(error.code(), core::Error::WriteInvalid);
  }
}

TEST(PropertyListTest, EveryDateWrittenIsReadBack) {
  constexpr double kFirst = -62167219200, kLast = 253402300799;  // 0000-01-01 and 9999-12-31T23:59:59 UTC
  std::vector<double> times;
  for (double edge : {kFirst, kLast + 1}) {
    for (int k = -20; k <= 20; ++k) times.push_back(edge + k * 0.0001);
  }
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> anywhere(kFirst - 86400, kLast + 86400);
  for (int i = 0; i < 2000; ++i) times.push_back(anywhere(random));

  for (double t : times) {
    const Value value(Value::Array{core::Date(t)});
    core::Error error;
    std::optional<std::string> text = PropertyList::serialize(value, &error);
    if (!text) {
      EXPECT_EQ(error.code(), core::Error::WriteInvalid) << std::to_string(t);
      EXPECT_FALSE(core::Date(t).iso8601()) << std::to_string(t);
      continue;
    }
    auto back = PropertyList::parse(*text, &error);
    ASSERT_TRUE(back) << error.description() << "\n" << *text;
    // Written to the second: what comes back is the date as iso8601() rounds it.
    EXPECT_EQ(*back, Value(Value::Array{*core::Date::parseIso8601(*core::Date(t).iso8601())})) << *text;
    EXPECT_EQ(PropertyList::serialize(*back), text);
  }
}

class PropertyListFileTest : public support::TempHomeTest {};

TEST_F(PropertyListFileTest, EntitiesAreNeverExpandedOrFetched) {
  const std::string secret = homePath() + "/secret.txt";
  std::ofstream(secret) << "TOP-SECRET";
  const std::string doc = "<?xml version=\"1.0\"?>\n<!DOCTYPE plist [<!ENTITY xxe SYSTEM \"file://" + secret +
                          "\">]>\n<plist version=\"1.0\"><string>&xxe;</string></plist>";
  core::Error error;
  auto v = PropertyList::parse(doc, &error);
  EXPECT_FALSE(v);
  EXPECT_EQ(error.localizedDescription().find("TOP-SECRET"), std::string::npos);

  const std::string laughs =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE plist [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;\">]>\n"
      "<plist version=\"1.0\"><string>&b;</string></plist>";
  EXPECT_FALSE(PropertyList::parse(laughs));
}

TEST_F(PropertyListFileTest, ParserNeverPrintsToStandardError) {
  const std::string captured = homePath() + "/stderr.txt";
  std::fflush(stderr);
  int saved = ::dup(2);
  FILE* f = std::fopen(captured.c_str(), "w");
  ASSERT_NE(f, nullptr);
  ::dup2(::fileno(f), 2);
  PropertyList::parse("<plist><dict><key>a</key></dict");
  PropertyList::parse("<?xml version=\"1.0\"?><plist><string>&undefined;</string></plist>");
  std::fflush(stderr);
  ::dup2(saved, 2);
  ::close(saved);
  std::fclose(f);
  std::string text;
  ASSERT_TRUE(core::paths::readFile(captured, text));
  EXPECT_EQ(text, "");
}

TEST_F(PropertyListFileTest, FilesAndUnwritableValues) {
  const std::string path = homePath() + "/values.plist";
  core::Error error;
  ASSERT_TRUE(PropertyList::writeFile(path, everyKind(), &error)) << error.description();
  auto back = PropertyList::readFile(path, &error);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, everyKind());

  EXPECT_FALSE(PropertyList::readFile(homePath() + "/missing.plist", &error));
  EXPECT_EQ(error.code(), core::Error::FileNoSuchFile);

  // Nothing is written when the value cannot be: the old file stays.
  EXPECT_FALSE(PropertyList::writeFile(path, Value(Value::Array{1, Value()}), &error));
  EXPECT_EQ(error.code(), core::Error::WriteInvalid);
  EXPECT_EQ(*PropertyList::readFile(path), everyKind());

  EXPECT_FALSE(PropertyList::serialize(Value()));
  EXPECT_FALSE(PropertyList::serialize(Value(std::string("bad \xff utf-8"))));
  EXPECT_FALSE(PropertyList::serialize(Value(std::string("bell \x07"))));
}

TEST(StringTableTest, ParsesEntriesCommentsAndEscapes) {
  const std::string text =
      "/* Title of the room screen */\n"
      "\"room.title\" = \"\xe5\x8c\x85\xe5\x8e\xa2\";\n"
      "// a line comment\n"
      "\"quote\" = \"say \\\"hi\\\" \\\\ done\";\n"
      "\"lines\"=\"a\\nb\\tc\";   /* trailing */\n"
      "\"unicode\" = \"\\U4E2D\\u6587 \\UD83C\\UDFA4\";\n"
      "plain_key = word;\n"
      "\"same\";\n"
      "\"dup\" = \"first\"; \"dup\" = \"second\";\n";
  core::Error error;
  auto table = PropertyList::parseStrings(text, &error);
  ASSERT_TRUE(table) << error.description();
  EXPECT_EQ((*table)["room.title"], Value("\xe5\x8c\x85\xe5\x8e\xa2"));
  EXPECT_EQ((*table)["quote"], Value("say \"hi\" \\ done"));
  EXPECT_EQ((*table)["lines"], Value("a\nb\tc"));
  EXPECT_EQ((*table)["unicode"], Value("\xe4\xb8\xad\xe6\x96\x87 \xf0\x9f\x8e\xa4"));
  EXPECT_EQ((*table)["plain_key"], Value("word"));
  EXPECT_EQ((*table)["same"], Value("same"));
  EXPECT_EQ((*table)["dup"], Value("second"));
  EXPECT_EQ(table->size(), 7u);

  auto empty = PropertyList::parseStrings("  /* nothing */ // here");
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->isDictionary());
  EXPECT_EQ(empty->size(), 0u);
  EXPECT_EQ((*PropertyList::parseStrings("{ \"a\" = \"b\"; }"))["a"], Value("b"));
}

TEST(StringTableTest, Utf16WithByteOrderMarks) {
  // "k" = "中"; in UTF-16, both byte orders.
  const char16_t units[] = u"\"k\" = \"\u4e2d\";";
  std::string le = "\xFF\xFE", be = "\xFE\xFF";
  for (const char16_t* u = units; *u; ++u) {
    le += static_cast<char>(*u & 0xff);
    le += static_cast<char>(*u >> 8);
    be += static_cast<char>(*u >> 8);
    be += static_cast<char>(*u & 0xff);
  }
  for (const std::string& bytes : {le, be, std::string("\xEF\xBB\xBF\"k\" = \"\xe4\xb8\xad\";")}) {
    auto table = PropertyList::parseStrings(bytes);
    ASSERT_TRUE(table);
    EXPECT_EQ((*table)["k"], Value("\xe4\xb8\xad"));
  }
}

TEST(StringTableTest, BadTablesAreErrors) {
  for (const char* bad : {"\"a\" = \"b\"", "\"a\" = \"b", "\"a\" \"b\";", "\"a\" = ;", "/* open", "\"a\" = \"\\UZZZZ\";",
                          "\"a\" = \"\\UD800\";", "{ \"a\" = \"b\";", "\"bad\xff\" = \"x\";"}) {
    core::Error error;
    EXPECT_FALSE(PropertyList::parseStrings(bad, &error)) << bad;
    EXPECT_EQ(error.code(), core::Error::ReadCorrupt) << bad;
  }
  core::Error error;
  PropertyList::parseStrings("\"a\" = \"b\";\n\"c\" = \"d\"\n\"e\" = \"f\";", &error);
  EXPECT_NE(error.localizedDescription().find("line 3"), std::string::npos) << error.localizedDescription();
}

}  // namespace
