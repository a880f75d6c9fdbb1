#include "venue/FrameCodec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace venue;

namespace {

std::vector<Frame> feedAll(FrameDecoder& decoder, const std::string& bytes, std::size_t step) {
  std::vector<Frame> frames;
  for (std::size_t pos = 0; pos < bytes.size(); pos += step) {
    decoder.feed(std::string_view(bytes).substr(pos, step));
    while (std::optional<Frame> frame = decoder.next()) frames.push_back(*frame);
  }
  return frames;
}

}  // namespace

TEST(Crc8, CheckValues) {
  EXPECT_EQ(crc8("123456789"), 0xA1);
  EXPECT_EQ(crc8(""), 0x00);
  // Continuing from a previous value is the same as one pass over the whole.
  EXPECT_EQ(crc8("56789", crc8("1234")), 0xA1);
}

TEST(FrameCodec, WorkedExample) {
  std::string frame = buildFrame(60, {});
  EXPECT_EQ(frame, std::string("000013\r\n60\r\n\x25", 13));
  // With no fields both forms give the same body.
  EXPECT_EQ(buildFrame(60, {}, FieldForm::Joined), frame);

  std::optional<Frame> decoded = decodeFrame(frame);
  ASSERT_TRUE(decoded);
  EXPECT_TRUE(decoded->crcOk);
  EXPECT_TRUE(decoded->textOk);
  EXPECT_EQ(decoded->code, 60);
  EXPECT_TRUE(decoded->fields.empty());
  EXPECT_TRUE(decoded->finalCrlf);
  EXPECT_EQ(decoded->parts, (std::vector<std::string>{"000013", "60", ""}));
}

TEST(FrameCodec, FieldFormsAndChineseRoundTrip) {
  const std::vector<std::string> fields = {"8001", "宫保鸡丁", "", "2"};
  std::string terminated = buildFrame(12, fields, FieldForm::Terminated);
  std::string joined = buildFrame(12, fields, FieldForm::Joined);

  // The body is GB 18030: 宫保鸡丁 is 8 bytes there (12 in UTF-8).
  std::string gb = *utf8ToGb18030("宫保鸡丁");
  EXPECT_EQ(gb.size(), 8u);
  EXPECT_EQ(terminated.substr(6, terminated.size() - 7), "\r\n12\r\n8001\r\n" + gb + "\r\n\r\n2\r\n");
  EXPECT_EQ(joined.size(), terminated.size() - 2);
  EXPECT_EQ(terminated.substr(0, 6), "000034");

  for (const std::string& frame : {terminated, joined}) {
    std::optional<Frame> decoded = decodeFrame(frame);
    ASSERT_TRUE(decoded);
    EXPECT_TRUE(decoded->crcOk);
    EXPECT_TRUE(decoded->textOk);
    EXPECT_EQ(decoded->code, 12);
    EXPECT_EQ(decoded->fields, fields);
    EXPECT_EQ(decoded->field(1), "宫保鸡丁");
    EXPECT_EQ(decoded->field(9), "");
  }
  EXPECT_TRUE(decodeFrame(terminated)->finalCrlf);
  EXPECT_FALSE(decodeFrame(joined)->finalCrlf);

  // Characters outside the two-byte range take four bytes and survive the trip.
  std::string rare = "𠀀€😀";
  EXPECT_EQ(gb18030ToUtf8(*utf8ToGb18030(rare)), rare);
}

TEST(FrameCodec, ReplyLayoutSplitsIntoDigitsCodeResultMessage) {
  std::optional<Frame> reply = decodeFrame(buildFrame(2, {"0", "开台成功"}));
  ASSERT_TRUE(reply);
  ASSERT_GE(reply->parts.size(), 4u);
  EXPECT_EQ(reply->parts[0], reply->raw.substr(0, 6));
  EXPECT_EQ(reply->parts[1], "2");
  EXPECT_EQ(reply->parts[2], "0");
  EXPECT_EQ(reply->parts[3], "开台成功");
}

TEST(FrameCodec, BadCrcAndBadTextAreReportedNotDropped) {
  std::string good = buildFrame(7, {"a"});
  std::optional<Frame> bad = decodeFrame(withBadCrc(good));
  ASSERT_TRUE(bad);
  EXPECT_FALSE(bad->crcOk);
  EXPECT_EQ(bad->code, 7);

  EXPECT_FALSE(gb18030ToUtf8(invalidGb18030()));
  std::optional<Frame> junk = decodeFrame(encodeFrame("\r\n9\r\nok\r\n" + invalidGb18030() + "\r\n"));
  ASSERT_TRUE(junk);
  EXPECT_TRUE(junk->crcOk);
  EXPECT_FALSE(junk->textOk);
  EXPECT_EQ(junk->code, 9);
  ASSERT_EQ(junk->fields.size(), 2u);
  EXPECT_EQ(junk->fields[0], "ok");
  EXPECT_EQ(junk->fields[1], invalidGb18030());  // kept byte for byte

  // Invalid UTF-8 given to the builder goes out unchanged.
  EXPECT_NE(buildFrame(1, {"\xC3"}).find('\xC3'), std::string::npos);
}

TEST(FrameCodec, DecodeFrameRejectsWrongSizes) {
  std::string frame = buildFrame(5, {"x"});
  EXPECT_FALSE(decodeFrame(frame.substr(0, frame.size() - 1)));
  EXPECT_FALSE(decodeFrame(frame + "y"));
  EXPECT_FALSE(decodeFrame("000006"));
  EXPECT_TRUE(decodeFrame(encodeFrame("")));  // the smallest frame: 7 bytes, empty body
  EXPECT_EQ(encodeFrame(""), std::string("000007") + static_cast<char>(crc8("000007")));
}

TEST(FrameDecoder, ReassemblesSplitAndMergedFrames) {
  std::string stream = buildFrame(1, {"甲"}) + buildFrame(2, {"乙", "丙"}, FieldForm::Joined) +
                       withBadCrc(buildFrame(3, {})) + buildFrame(4, {std::string(300, 'z')});
  for (std::size_t step : {std::size_t{1}, std::size_t{2}, std::size_t{7}, std::size_t{13}, stream.size()}) {
    SCOPED_TRACE(step);
    FrameDecoder decoder;
    std::vector<Frame> frames = feedAll(decoder, stream, step);
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[0].field(0), "甲");
    EXPECT_EQ(frames[1].fields, (std::vector<std::string>{"乙", "丙"}));
    EXPECT_FALSE(frames[2].crcOk);
    EXPECT_EQ(frames[3].field(0).size(), 300u);
    std::string joined;
    for (const Frame& f : frames) joined += f.raw;
    EXPECT_EQ(joined, stream);
    EXPECT_EQ(decoder.buffered(), 0u);
    EXPECT_FALSE(decoder.failed());
  }
}

TEST(FrameDecoder, PartialFrameWaitsForTheRest) {
  std::string frame = buildFrame(3, {"abc"});
  FrameDecoder decoder;
  decoder.feed(std::string_view(frame).substr(0, frame.size() - 1));
  EXPECT_FALSE(decoder.next());
  EXPECT_EQ(decoder.buffered(), frame.size() - 1);
  decoder.feed(std::string_view(frame).substr(frame.size() - 1));
  std::optional<Frame> decoded = decoder.next();
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->raw, frame);
}

TEST(FrameDecoder, BrokenLengthPrefixFailsTheStream) {
  for (const char* prefix : {"00000A", "000003", "-00010", "000000"}) {
    SCOPED_TRACE(prefix);
    std::string broken = encodeFrameWithPrefix(prefix, "\r\n60\r\n");
    EXPECT_EQ(broken.substr(0, 6), prefix);
    FrameDecoder decoder;
    std::vector<Frame> frames = feedAll(decoder, buildFrame(1, {}) + broken + buildFrame(2, {}), 1);
    // The good frame before is delivered; nothing after the broken prefix is.
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].code, 1);
    EXPECT_TRUE(decoder.failed());
    EXPECT_FALSE(decoder.error().empty());
    EXPECT_EQ(decoder.buffered(), 0u);
  }
}
