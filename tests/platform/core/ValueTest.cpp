#include "platform/core/Date.h"
#include "platform/core/Error.h"
#include "platform/core/Value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

using core::Value;

TEST(ValueTest, ConstructorsPickTheIntendedKind) {
  EXPECT_TRUE(Value().isNull());
  EXPECT_TRUE(Value(nullptr).isNull());
  EXPECT_TRUE(Value("text").isString());
  EXPECT_TRUE(Value(std::string("text")).isString());
  EXPECT_TRUE(Value(true).isBool());
  EXPECT_TRUE(Value(7).isInteger());
  EXPECT_TRUE(Value(int64_t{1} << 40).isInteger());
  EXPECT_TRUE(Value(2.5).isReal());
  EXPECT_TRUE(Value(core::Date(0)).isDate());
  // A pointer must not become a bool, nor a huge unsigned a negative integer.
  const char* p = "x";
  EXPECT_TRUE(Value(p).isString());
  EXPECT_TRUE(Value(std::numeric_limits<uint64_t>::max()).isReal());
  EXPECT_TRUE(Value::data(std::vector<uint8_t>{1, 2}).isData());
}

TEST(ValueTest, LookupsNeverFail) {
  Value dict(Value::Dictionary{{"a", 1}, {"list", Value(Value::Array{"x", "y"})}});
  EXPECT_EQ(dict["a"], Value(1));
  EXPECT_TRUE(dict["missing"].isNull());
  EXPECT_EQ(dict["list"][1], Value("y"));
  EXPECT_TRUE(dict["list"][5].isNull());
  EXPECT_TRUE(dict["a"]["deeper"].isNull());
  EXPECT_TRUE(dict[0].isNull());
  EXPECT_EQ(dict["list"][1u], Value("y"));
  EXPECT_EQ(dict["list"][size_t{0}], Value("x"));
  EXPECT_TRUE(dict["list"][-1].isNull());
  EXPECT_TRUE(dict.contains("a"));
  EXPECT_FALSE(Value("a").contains("a"));
  EXPECT_EQ(dict.size(), 2u);
  EXPECT_EQ(Value::data("abc").size(), 3u);
}

TEST(ValueTest, ChangesDoNotLeakIntoCopies) {
  Value a;
  a.set("k", 1);
  Value b = a;
  b.set("k", 2);
  b.set("other", "x");
  EXPECT_EQ(a["k"], Value(1));
  EXPECT_FALSE(a.contains("other"));
  EXPECT_EQ(b["k"], Value(2));

  Value list;
  list.append(1);
  Value copy = list;
  copy.append(2);
  EXPECT_EQ(list.size(), 1u);
  EXPECT_EQ(copy.size(), 2u);
  copy.erase("nothing");
  Value s("text");
  s.append(1);  // not a collection: left alone
  EXPECT_EQ(s, Value("text"));
}

TEST(ValueTest, EqualityIsByKindAndContent) {
  EXPECT_NE(Value(1), Value(1.0));
  EXPECT_NE(Value(1), Value(true));
  EXPECT_NE(Value("1"), Value(1));
  EXPECT_EQ(Value(Value::Array{1, "a"}), Value(Value::Array{1, "a"}));
  EXPECT_NE(Value(Value::Array{1, "a"}), Value(Value::Array{1, "b"}));
  EXPECT_EQ(Value::data("ab"), Value::data("ab"));
  EXPECT_NE(Value::data("ab"), Value("ab"));
}

TEST(ValueDescriptionTest, Scalars) {
  EXPECT_EQ(Value("plain text").description(), "plain text");
  EXPECT_EQ(Value(42).description(), "42");
  EXPECT_EQ(Value(-7).description(), "-7");
  EXPECT_EQ(Value(true).description(), "1");
  EXPECT_EQ(Value(false).description(), "0");
  EXPECT_EQ(Value().description(), "<null>");
  EXPECT_EQ(Value::data(std::string("\x01\x02\x03\x04\x05", 5)).description(), "<01020304 05>");
  EXPECT_EQ(Value::data("").description(), "<>");
  EXPECT_EQ(Value::data(std::string("\xde\xad\xbe\xef", 4)).description(), "<deadbeef>");
  EXPECT_EQ(Value(core::Date(1796626800)).description(), "2026-12-07 07:00:00 +0000");
}

TEST(ValueDescriptionTest, RealsUseTheShortestTextThatReadsBack) {
  EXPECT_EQ(Value(3.0).description(), "3");
  EXPECT_EQ(Value(0.1).description(), "0.1");
  EXPECT_EQ(Value(1e21).description(), "1e+21");
  EXPECT_EQ(Value(100.0).description(), "100");
  EXPECT_EQ(Value(1000000.0).description(), "1000000");
  EXPECT_EQ(Value(-2.5).description(), "-2.5");
  EXPECT_EQ(Value(0.1 + 0.2).description(), "0.30000000000000004");
  EXPECT_EQ(Value(1e-5).description(), "1e-05");
  for (double d : {1.0 / 3, 123456.789, 5e-324, 1.7976931348623157e308}) {
    EXPECT_EQ(std::strtod(core::formatReal(d).c_str(), nullptr), d) << core::formatReal(d);
  }
}

TEST(ValueDescriptionTest, Collections) {
  EXPECT_EQ(Value(Value::Array{}).description(), "(\n)");
  EXPECT_EQ(Value(Value::Dictionary{}).description(), "{\n}");
  EXPECT_EQ(Value(Value::Array{1, "a"}).description(), "(\n    1,\n    a\n)");
  EXPECT_EQ(Value(Value::Dictionary{{"b", 2}, {"a", "x"}}).description(), "{\n    a = x;\n    b = 2;\n}");

  Value nested(Value::Dictionary{
      {"list", Value(Value::Array{1, Value(Value::Dictionary{{"k", "v"}}), Value(Value::Array{})})},
      {"name", "Room 8"},
  });
  EXPECT_EQ(nested.description(),
            "{\n"
            "    list = (\n"
            "        1,\n"
            "        {\n"
            "            k = v;\n"
            "        },\n"
            "        (\n"
            "        )\n"
            "    );\n"
            "    name = \"Room 8\";\n"
            "}");
}

TEST(ValueDescriptionTest, StringsInCollectionsAreQuotedOnlyWhenNeeded) {
  Value list(Value::Array{"plain_Word9", "a b", "", "x-y", "say \"hi\"", "\xe4\xb8\xad", 1.5, Value::data("\x01")});
  EXPECT_EQ(list.description(),
            "(\n"
            "    plain_Word9,\n"
            "    \"a b\",\n"
            "    \"\",\n"
            "    \"x-y\",\n"
            "    \"say \\\"hi\\\"\",\n"
            "    \"\xe4\xb8\xad\",\n"
            "    1.5,\n"
            "    <01>\n"
            ")");
  EXPECT_EQ(Value(Value::Dictionary{{"two words", 1}}).description(), "{\n    \"two words\" = 1;\n}");
  EXPECT_EQ(core::describe(nullptr), "(null)");
  EXPECT_EQ(core::describe(std::optional<Value>()), "(null)");
  EXPECT_EQ(core::describe(std::optional<Value>(Value("a b"))), "a b");
}

TEST(ValueNumberTest, IntegerParsingOfTexts) {
  EXPECT_EQ(core::parseInt("42"), 42);
  EXPECT_EQ(core::parseInt("  \t\n-17"), -17);
  EXPECT_EQ(core::parseInt("+8"), 8);
  EXPECT_EQ(core::parseInt("12abc"), 12);
  EXPECT_EQ(core::parseInt("abc"), 0);
  EXPECT_EQ(core::parseInt(""), 0);
  EXPECT_EQ(core::parseInt("-"), 0);
  EXPECT_EQ(core::parseInt("- 5"), 0);
  EXPECT_EQ(core::parseInt("1e5"), 1);
  EXPECT_EQ(core::parseInt("3.9"), 3);
  EXPECT_EQ(core::parseInt(".5"), 0);
  EXPECT_EQ(core::parseInt("-0"), 0);
  EXPECT_EQ(core::parseInt("2147483647"), INT32_MAX);
  EXPECT_EQ(core::parseInt("2147483648"), INT32_MAX);
  EXPECT_EQ(core::parseInt("-2147483648"), INT32_MIN);
  EXPECT_EQ(core::parseInt("-99999999999999999999999"), INT32_MIN);
  EXPECT_EQ(core::parseInt64("9223372036854775807"), INT64_MAX);
  EXPECT_EQ(core::parseInt64("9223372036854775808"), INT64_MAX);
  EXPECT_EQ(core::parseInt64("-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(core::parseInt64("-9223372036854775809"), INT64_MIN);
  EXPECT_EQ(core::parseInt64("123456789012"), 123456789012);
}

TEST(ValueNumberTest, RealParsingOfTexts) {
  EXPECT_EQ(core::parseDouble("3.25"), 3.25);
  EXPECT_EQ(core::parseDouble("  -1.5xyz"), -1.5);
  EXPECT_EQ(core::parseDouble(".5"), 0.5);
  EXPECT_EQ(core::parseDouble("5."), 5.0);
  EXPECT_EQ(core::parseDouble("1e5"), 1e5);
  EXPECT_EQ(core::parseDouble("1E-2"), 0.01);
  EXPECT_EQ(core::parseDouble("2e"), 2.0);    // exponent without digits is not taken
  EXPECT_EQ(core::parseDouble("2e+"), 2.0);
  EXPECT_EQ(core::parseDouble("2e+x"), 2.0);
  EXPECT_EQ(core::parseDouble("."), 0.0);
  EXPECT_EQ(core::parseDouble("abc"), 0.0);
  EXPECT_EQ(core::parseDouble("0x10"), 0.0);  // no hex: reads the 0 and stops
  EXPECT_EQ(core::parseDouble("inf"), 0.0);
  EXPECT_EQ(core::parseDouble("nan"), 0.0);
  EXPECT_TRUE(std::signbit(core::parseDouble("-0")));
  EXPECT_TRUE(std::isinf(core::parseDouble("1e999")));
  EXPECT_EQ(core::parseDouble("1e-999"), 0.0);
}

TEST(ValueNumberTest, BoolParsingOfTexts) {
  for (const char* yes : {"YES", "yes", "true", "T", "1", "  +1", "-5", "0009", "y"}) {
    EXPECT_TRUE(core::parseBool(yes)) << yes;
  }
  for (const char* no : {"NO", "no", "false", "0", "000", "", "  ", "abc", "0.5", "-0", "+"}) {
    EXPECT_FALSE(core::parseBool(no)) << no;
  }
}

TEST(ValueNumberTest, ConversionsOfEachKind) {
  EXPECT_EQ(Value("  42 apples").intValue(), 42);
  EXPECT_EQ(Value("1e5").intValue(), 1);
  EXPECT_EQ(Value("1e5").doubleValue(), 1e5);
  EXPECT_EQ(Value("2.5").floatValue(), 2.5f);
  EXPECT_EQ(Value(true).intValue(), 1);
  EXPECT_EQ(Value(3.99).intValue(), 3);
  EXPECT_EQ(Value(-3.99).intValue(), -3);
  EXPECT_EQ(Value(1e12).intValue(), INT32_MAX);
  EXPECT_EQ(Value(-1e12).intValue(), INT32_MIN);
  EXPECT_EQ(Value(std::nan("")).intValue(), 0);
  EXPECT_EQ(Value(1e30).integerValue(), INT64_MAX);
  // An integer keeps its low 32 bits, as a C cast would.
  EXPECT_EQ(Value(int64_t{0x100000005}).intValue(), 5);
  EXPECT_EQ(Value(int64_t{0x100000005}).integerValue(), 0x100000005);
  EXPECT_EQ(Value(Value::Array{1}).intValue(), 0);
  EXPECT_EQ(Value().doubleValue(), 0.0);

  EXPECT_TRUE(Value(2).boolValue());
  EXPECT_FALSE(Value(0).boolValue());
  EXPECT_TRUE(Value(0.25).boolValue());
  EXPECT_TRUE(Value("Yes").boolValue());
  EXPECT_FALSE(Value(Value::Dictionary{}).boolValue());

  EXPECT_EQ(Value("x").stringValue(), "x");
  EXPECT_EQ(Value(12).stringValue(), "12");
  EXPECT_EQ(Value(2.0).stringValue(), "2");
  EXPECT_EQ(Value(true).stringValue(), "1");
  EXPECT_EQ(Value().stringValue(), "");
  EXPECT_EQ(Value(Value::Array{1}).stringValue(), "");
}

TEST(DateTest, FormatsAndParsesPatterns) {
  core::Date d(1796626800.25);  // 2026-12-07 07:00:00.250 UTC
  EXPECT_EQ(d.format("yyyy-MM-dd HH:mm:ss.SSS", core::Date::Zone::Utc), "2026-12-07 07:00:00.250");
  EXPECT_EQ(d.format("yyyyMMdd'T'HHmm", core::Date::Zone::Utc), "20261207T0700");
  EXPECT_EQ(d.format("d/M/yy 'o''clock' Z", core::Date::Zone::Utc), "7/12/26 o'clock +0000");
  EXPECT_EQ(d.iso8601(), "2026-12-07T07:00:00Z");

  auto parsed = core::Date::parse("2026-12-07 07:00:00.250", "yyyy-MM-dd HH:mm:ss.SSS", core::Date::Zone::Utc);
  ASSERT_TRUE(parsed);
  EXPECT_DOUBLE_EQ(parsed->timeIntervalSince1970(), 1796626800.25);
  EXPECT_EQ(core::Date::parse("7/12/26", "d/M/yy", core::Date::Zone::Utc)->timeIntervalSince1970(),
            core::Date::parse("2026-12-07", "yyyy-MM-dd", core::Date::Zone::Utc)->timeIntervalSince1970());
  EXPECT_EQ(core::Date::parse("2026-12-07 15:00 +0800", "yyyy-MM-dd HH:mm Z")->timeIntervalSince1970(), 1796626800);

  EXPECT_FALSE(core::Date::parse("2026-02-30", "yyyy-MM-dd", core::Date::Zone::Utc));
  EXPECT_FALSE(core::Date::parse("2026-13-01", "yyyy-MM-dd", core::Date::Zone::Utc));
  EXPECT_FALSE(core::Date::parse("2026-12-07x", "yyyy-MM-dd", core::Date::Zone::Utc));
  EXPECT_FALSE(core::Date::parse("2026/12/07", "yyyy-MM-dd", core::Date::Zone::Utc));
  EXPECT_FALSE(core::Date::parse("26-12-07", "yyyy-MM-dd", core::Date::Zone::Utc));
}

TEST(DateTest, LocalTimeFollowsTheZone) {
  const char* saved = std::getenv("TZ");
  std::string savedValue = saved ? saved : "";
  ::setenv("TZ", "Asia/Shanghai", 1);
  ::tzset();
  core::Date d(1796626800);
  EXPECT_EQ(d.format("yyyy-MM-dd HH:mm Z"), "2026-12-07 15:00 +0800");
  EXPECT_EQ(core::Date::parse("2026-12-07 15:00", "yyyy-MM-dd HH:mm"), d);
  if (saved) ::setenv("TZ", savedValue.c_str(), 1); else ::unsetenv("TZ");
  ::tzset();
}

TEST(DateTest, Iso8601) {
  EXPECT_EQ(core::Date::parseIso8601("2026-12-07T07:00:00Z")->timeIntervalSince1970(), 1796626800);
  EXPECT_EQ(core::Date::parseIso8601("2026-12-07T15:00:00+08:00")->timeIntervalSince1970(), 1796626800);
  EXPECT_DOUBLE_EQ(core::Date::parseIso8601("2026-12-07T07:00:00.5Z")->timeIntervalSince1970(), 1796626800.5);
  EXPECT_EQ(core::Date(-1).iso8601(), "1969-12-31T23:59:59Z");
  EXPECT_FALSE(core::Date::parseIso8601("2026-12-07T07:00:00"));
  EXPECT_FALSE(core::Date::parseIso8601("2026-12-07 07:00:00Z"));
  EXPECT_FALSE(core::Date::parseIso8601("garbage"));
  EXPECT_LT(core::Date(1) , core::Date(2));
  EXPECT_EQ((core::Date(10) + 5).timeIntervalSince1970(), 15);
  EXPECT_EQ(core::Date(10) - core::Date(4), 6);
}

TEST(ErrorTest, DescriptionsAndUnderlyingError) {
  core::Error plain("Net", -1001);
  EXPECT_EQ(plain.localizedDescription(), "The operation couldn\u2019t be completed. (Net error -1001.)");
  core::Error e = core::Error::withDescription("Room", 7, "The room is closed");
  EXPECT_EQ(e.localizedDescription(), "The room is closed");
  EXPECT_EQ(e.description(), "Error Domain=Room Code=7 \"The room is closed\"");
  EXPECT_EQ(e.underlying(), nullptr);
  e.setUnderlying(plain);
  ASSERT_NE(e.underlying(), nullptr);
  EXPECT_EQ(e.underlying()->code(), -1001);
  core::Error copy = e;
  EXPECT_EQ(copy.underlying()->domain(), "Net");
}

}  // namespace
