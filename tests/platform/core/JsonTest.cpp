#include "platform/core/Json.h"

#include "platform/core/TextEncoding.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using core::Json;
using core::Value;

TEST(JsonTest, ReadsEveryKind) {
  auto v = Json::parse(
      R"({"s":"\u4e2d\u6587 \"q\" \/","i":-42,"big":9223372036854775807,"huge":18446744073709551616,)"
      R"("r":2.5,"whole":1.0,"exp":1e2,"t":true,"f":false,"n":null,"a":[1,[],{}],"dup":1,"dup":2})");
  ASSERT_TRUE(v);
  EXPECT_EQ((*v)["s"], Value("\xe4\xb8\xad\xe6\x96\x87 \"q\" /"));
  EXPECT_EQ((*v)["i"], Value(-42));
  EXPECT_EQ((*v)["big"], Value(INT64_MAX));
  EXPECT_TRUE((*v)["huge"].isReal());
  EXPECT_EQ((*v)["r"], Value(2.5));
  EXPECT_TRUE((*v)["whole"].isReal());
  EXPECT_TRUE((*v)["exp"].isReal());
  EXPECT_EQ((*v)["t"], Value(true));
  EXPECT_EQ((*v)["f"], Value(false));
  EXPECT_TRUE((*v).contains("n"));
  EXPECT_TRUE((*v)["n"].isNull());
  EXPECT_EQ((*v)["a"], Value(Value::Array{1, Value(Value::Array{}), Value(Value::Dictionary{})}));
  EXPECT_EQ((*v)["dup"], Value(2));
}

TEST(JsonTest, BoolsAreNotNumbers) {
  auto v = Json::parse("[true, 1, false, 0]");
  ASSERT_TRUE(v);
  EXPECT_TRUE((*v)[0].isBool());
  EXPECT_TRUE((*v)[1].isInteger());
  EXPECT_NE((*v)[0], (*v)[1]);
  EXPECT_EQ(*Json::serialize(*v), "[true,1,false,0]");
}

TEST(JsonTest, FragmentsOnlyWhenAllowed) {
  core::Error error;
  for (const char* fragment : {"3", "\"text\"", "true", "null", "-0.5"}) {
    EXPECT_FALSE(Json::parse(fragment, &error)) << fragment;
    EXPECT_EQ(error.code(), core::Error::ReadCorrupt);
    EXPECT_TRUE(Json::parse(fragment, nullptr, true)) << fragment;
  }
  EXPECT_EQ(*Json::parse("  \"x\" ", nullptr, true), Value("x"));
  EXPECT_FALSE(Json::serialize(Value(3)));
  EXPECT_EQ(*Json::serialize(Value(3), nullptr, false, true), "3");
  EXPECT_EQ(*Json::serialize(Value(), nullptr, false, true), "null");
}

TEST(JsonTest, BadInputIsAReadableError) {
  const std::vector<std::string> bad = {
      "",
      "   ",
      "{\"a\":1",                  // truncated
      "[1,2,]",
      "{a:1}",
      "[tru]",
      "[1] [2]",                   // trailing content
      "[\"\xff\"]",                // invalid UTF-8 inside a string
      "[\"\xc3\"]",                // cut UTF-8 sequence
      "[\"\xed\xa0\x80\"]",        // encoded surrogate
      "[\"\\ud800\"]",             // lone surrogate escape
      std::string("[\"a\0b\"]", 7),
      "[01]",
      "[NaN]",
      "// comment\n[]",
  };
  for (const std::string& input : bad) {
    core::Error error;
    EXPECT_FALSE(Json::parse(input, &error)) << input;
    EXPECT_EQ(error.domain(), core::Error::CoreDomain);
    EXPECT_EQ(error.code(), core::Error::ReadCorrupt);
    EXPECT_EQ(error.localizedDescription().find("[json.exception"), std::string::npos);
    EXPECT_TRUE(core::isValidUtf8(error.localizedDescription())) << input;
    EXPECT_NE(error.localizedDescription().find("JSON"), std::string::npos) << error.localizedDescription();
  }
  std::string deep(100000, '[');
  EXPECT_FALSE(Json::parse(deep + std::string(100000, ']')));
}

TEST(JsonTest, AZeroByteAnywhereRefusesTheWholeText) {
  // A reply must not read as its first half: "code 1" followed by a hidden "code 0".
  for (const std::string& input : {std::string("{\"code\":1}\0{\"code\":0}", 21), std::string("{\"code\":1}\0", 11),
                                   std::string("\0{\"code\":1}", 11), std::string("[\"a\0b\"]", 7)}) {
    core::Error error;
    EXPECT_FALSE(Json::parse(input, &error));
    EXPECT_FALSE(Json::parse(input, nullptr, true));
    EXPECT_EQ(error.code(), core::Error::ReadCorrupt);
    EXPECT_NE(error.localizedDescription().find("zero byte at offset " + std::to_string(input.find('\0'))),
              std::string::npos)
        << error.localizedDescription();
  }
  // An escaped zero is a character of the string, not a zero byte of the text.
  EXPECT_EQ(*Json::parse("[\"a\\u0000b\"]"), Value(Value::Array{Value(std::string("a\0b", 3))}));
}

TEST(JsonTest, InvalidUtf8InsideOrOutsideStringsIsNamed) {
  const std::vector<std::string> sequences = {
      "\xc0\xaf",          // overlong "/"
      "\xe0\x80\xaf",      // overlong, three bytes
      "\xed\xa0\x80",      // a surrogate encoded as UTF-8
      "\xed\xbf\xbf",      // the last low surrogate
      "\xe4\xb8",          // a sequence cut short
      "\xf4\x90\x80\x80",  // above U+10FFFF
      "\x80",              // a lone continuation byte
  };
  for (const std::string& bad : sequences) {
    // Inside a string, after the value, inside a number's place, inside a key, after a space.
    for (const std::string& input :
         {"[\"" + bad + "\"]", "[1]" + bad, "[" + bad + "1]", "{\"k" + bad + "\":1}", "[\"x\"] " + bad}) {
      core::Error error;
      EXPECT_FALSE(Json::parse(input, &error));
      EXPECT_FALSE(Json::parse(input, nullptr, true));
      EXPECT_EQ(error.code(), core::Error::ReadCorrupt);
      EXPECT_NE(error.localizedDescription().find("not valid UTF-8"), std::string::npos)
          << error.localizedDescription();
    }
  }
  // The same characters well formed are read.
  EXPECT_EQ(*Json::parse("[\"/\xe4\xb8\xad\xf4\x8f\xbf\xbf\"]"), Value(Value::Array{"/\xe4\xb8\xad\xf4\x8f\xbf\xbf"}));
}

TEST(JsonTest, RoundTripsAndEscapes) {
  Value v(Value::Dictionary{
      {"text", "line\nquote\" back\\ tab\t ctrl\x01 \xe4\xb8\xad /"},
      {"numbers", Value(Value::Array{0, -1, INT64_MIN, 0.1, 1e21, 3.0, -0.5})},
      {"flags", Value(Value::Array{true, false, Value()})},
      {"nested", Value(Value::Dictionary{{"empty", Value(Value::Array{})}, {"obj", Value(Value::Dictionary{})}})},
  });
  auto text = Json::serialize(v);
  ASSERT_TRUE(text);
  EXPECT_NE(text->find(R"("line\nquote\" back\\ tab\t ctrl\u0001 )"), std::string::npos) << *text;
  auto back = Json::parse(*text);
  ASSERT_TRUE(back);
  EXPECT_EQ((*back)["text"], v["text"]);
  EXPECT_EQ((*back)["flags"], v["flags"]);
  EXPECT_EQ((*back)["nested"], v["nested"]);
  EXPECT_EQ((*back)["numbers"][2], Value(INT64_MIN));
  EXPECT_EQ((*back)["numbers"][3].doubleValue(), 0.1);
  EXPECT_EQ((*back)["numbers"][4].doubleValue(), 1e21);
  // Reals written without a fraction read back as integers, with the same number.
  EXPECT_EQ((*back)["numbers"][5], Value(3));

  auto pretty = Json::serialize(Value(Value::Dictionary{{"a", Value(Value::Array{1, 2})}, {"b", Value(Value::Dictionary{})}}),
                                nullptr, true);
  ASSERT_TRUE(pretty);
  EXPECT_EQ(*pretty, "{\n  \"a\" : [\n    1,\n    2\n  ],\n  \"b\" : {}\n}");
  EXPECT_EQ(*Json::parse(*pretty), *Json::parse(*Json::serialize(*Json::parse(*pretty))));
}

TEST(JsonTest, NegativeZeroKeepsItsSignThroughRoundTrips) {
  auto first = Json::serialize(Value(Value::Array{-0.0, 0.0}));
  ASSERT_TRUE(first);
  auto back = Json::parse(*first);
  ASSERT_TRUE(back);
  ASSERT_TRUE((*back)[0].isReal()) << *first;
  EXPECT_TRUE(std::signbit(*(*back)[0].asReal()));
  EXPECT_EQ(Json::serialize(*back), first);
  // An integer zero written with a sign stays an integer.
  EXPECT_EQ(Json::serialize(*Json::parse("[-0]")), "[0]");
}

TEST(JsonTest, ValuesWithoutJsonForm) {
  const std::vector<Value> bad = {
      Value(Value::Array{Value::data("x")}),
      Value(Value::Array{Value(core::Date(0))}),
      Value(Value::Array{Value(std::nan(""))}),
      Value(Value::Dictionary{{"inf", Value(HUGE_VAL)}}),
      Value(Value::Array{Value(std::string("\xff"))}),
      Value(Value::Dictionary{{std::string("\xff"), 1}}),
  };
  for (const Value& v : bad) {
    core::Error error;
    EXPECT_FALSE(Json::serialize(v, &error)) << v.description();
    EXPECT_EQ(error.code(), core::Error::WriteInvalid);
  }
}

}  // namespace
