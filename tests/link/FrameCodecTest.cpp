#include "link/FrameCodec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/core/TextEncoding.h"
#include "venue/FrameCodec.h"

namespace kt {
namespace {

std::string bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

TEST(FrameCodecTest, CrcCheckValueAndWorkedExample) {
  EXPECT_EQ(FrameCodec::crc8("123456789"), 0xA1);
  EXPECT_EQ(FrameCodec::crc8("123456789", 9), 0xA1);
  EXPECT_EQ(FrameCodec::crc8("123456789", 0), 0);
  EXPECT_EQ(FrameCodec::crc8("123456789", -3), 0);

  const std::optional<std::string> frame = FrameCodec::encodeBody(FrameCodec::terminatedBody(60, {}));
  ASSERT_TRUE(frame);
  EXPECT_EQ(*frame, std::string("000013\r\n60\r\n") + bytes({0x25}));
  EXPECT_EQ(frame->size(), 13u);
  EXPECT_TRUE(FrameCodec::isValidFrame(*frame));
}

TEST(FrameCodecTest, AgreesWithTheVenueCodec) {
  for (const std::string& body : {std::string("\r\n100\r\nabc\r\n"), std::string(5000, 'x'), std::string()}) {
    EXPECT_EQ(FrameCodec::encodeBody(body), venue::encodeFrame(body));
  }
  EXPECT_EQ(FrameCodec::crc8(std::string(1000, '\xA5')), venue::crc8(std::string(1000, '\xA5')));
}

TEST(FrameCodecTest, ValidityCheck) {
  std::string frame = *FrameCodec::encodeBody("\r\n60\r\n");
  EXPECT_TRUE(FrameCodec::isValidFrame(frame));
  frame.back() = static_cast<char>(frame.back() ^ 1);
  EXPECT_FALSE(FrameCodec::isValidFrame(frame));
  EXPECT_FALSE(FrameCodec::isValidFrame(""));
  // A single byte is valid only when it is 0, the CRC of nothing.
  EXPECT_TRUE(FrameCodec::isValidFrame(std::string(1, '\0')));
}

TEST(FrameCodecTest, SendFormsDifferOnlyInTheFinalLineEnd) {
  EXPECT_EQ(FrameCodec::terminatedBody(119, {"8001", "", "0"}), "\r\n119\r\n8001\r\n\r\n0\r\n");
  EXPECT_EQ(FrameCodec::joinedBody(119, {"8001", "", "0"}), "\r\n119\r\n8001\r\n\r\n0");
  EXPECT_EQ(FrameCodec::joinedBody(147, {"0", "1", "8001"}), "\r\n147\r\n0\r\n1\r\n8001");
  EXPECT_EQ(FrameCodec::joinedBody(147, {}), "\r\n147\r\n");
  // An unset field ends the list there; later fields are never sent.
  EXPECT_EQ(FrameCodec::terminatedBody(105, {"a", std::nullopt, "c"}), "\r\n105\r\na\r\n");
  EXPECT_EQ(FrameCodec::terminatedBody(105, {std::nullopt, "c"}), "\r\n105\r\n");
  EXPECT_EQ(FrameCodec::terminatedBody(-1, {}), "\r\n-1\r\n");
}

TEST(FrameCodecTest, TextIsFramedInGb18030WithItsByteLength) {
  const std::optional<std::string> frame = FrameCodec::encodeText("\r\n12\r\n宫保鸡丁\r\n");
  ASSERT_TRUE(frame);
  // Four characters of two bytes each: the length counts GB 18030 bytes.
  EXPECT_EQ(frame->substr(0, 6), "000023");  // 16 body bytes; in UTF-8 it would be 20
  EXPECT_EQ(core::gb18030ToUtf8(frame->substr(6, frame->size() - 7)), "\r\n12\r\n宫保鸡丁\r\n");
  EXPECT_TRUE(FrameCodec::isValidFrame(*frame));
  // Text that is not UTF-8 cannot be encoded and is never framed as an empty body.
  EXPECT_FALSE(FrameCodec::encodeText("\xFF\xFE"));
}

TEST(FrameCodecTest, LengthLimitIsSixDigits) {
  EXPECT_FALSE(FrameCodec::encodeBody(std::string(FrameCodec::kMaxBodyLength + 1, 'a')));
  const std::optional<std::string> largest = FrameCodec::encodeBody(std::string(FrameCodec::kMaxBodyLength, 'a'));
  ASSERT_TRUE(largest);
  EXPECT_EQ(largest->size(), 999999u);
  EXPECT_EQ(largest->substr(0, 6), "999999");
}

// Feeds the stream in the given cuts and collects every frame, stopping at corruption.
std::vector<std::string> reassemble(const std::string& stream, const std::vector<size_t>& cuts,
                                    bool* corrupt = nullptr) {
  FrameReassembler reassembler;
  std::vector<std::string> frames;
  size_t pos = 0;
  size_t i = 0;
  while (pos < stream.size()) {
    size_t n = cuts.empty() ? stream.size() : cuts[std::min(i, cuts.size() - 1)];
    n = std::min(n, stream.size() - pos);
    ++i;
    reassembler.append(std::string_view(stream).substr(pos, n));
    pos += n;
    for (;;) {
      FrameReassembler::Result r = reassembler.next();
      if (r.status == FrameReassembler::Status::Frame) {
        frames.emplace_back(r.frame);
        continue;
      }
      if (r.status == FrameReassembler::Status::Corrupt) {
        if (corrupt) *corrupt = true;
        return frames;
      }
      break;
    }
  }
  return frames;
}

TEST(FrameCodecTest, ReassemblesFramesSplitAndMergedInEveryWay) {
  const std::string a = *FrameCodec::encodeText("\r\n60\r\n0\r\n2026-01-02\r\n");
  const std::string b = *FrameCodec::encodeText("\r\n100\r\n0\r\n成功\r\n8001\r\n");
  const std::string c = *FrameCodec::encodeBody(std::string(10000, 'z'));
  const std::string stream = a + b + c;
  const std::vector<std::string> expected = {a, b, c};

  EXPECT_EQ(reassemble(stream, {}), expected);     // all in one chunk
  EXPECT_EQ(reassemble(stream, {1}), expected);    // one byte at a time
  EXPECT_EQ(reassemble(stream, {5, 3, 7}), expected);
  // Every place a single cut can go.
  for (size_t cut = 1; cut < a.size() + b.size(); ++cut) {
    EXPECT_EQ(reassemble(stream, {cut, stream.size()}), expected) << cut;
  }
  // A frame in three chunks gives exactly one frame, after the third.
  FrameReassembler reassembler;
  reassembler.append(b.substr(0, 4));
  EXPECT_EQ(reassembler.next().status, FrameReassembler::Status::NeedPrefix);
  reassembler.append(b.substr(4, 6));
  FrameReassembler::Result waiting = reassembler.next();
  EXPECT_EQ(waiting.status, FrameReassembler::Status::NeedBody);
  EXPECT_EQ(waiting.length, static_cast<int32_t>(b.size()));
  reassembler.append(b.substr(10));
  FrameReassembler::Result got = reassembler.next();
  ASSERT_EQ(got.status, FrameReassembler::Status::Frame);
  EXPECT_EQ(got.frame, b);
  EXPECT_EQ(reassembler.next().status, FrameReassembler::Status::NeedPrefix);
  EXPECT_EQ(reassembler.buffered(), 0u);
}

TEST(FrameCodecTest, PrefixBelowSevenIsCorrupt) {
  const std::string good = *FrameCodec::encodeBody("\r\n60\r\n");
  for (const std::string& prefix : std::vector<std::string>{"000000", "000006", "-00001", "abcdef", "      ", "\xFF\xFF\xFF\xFF\xFF\xFF"}) {
    bool corrupt = false;
    std::vector<std::string> frames = reassemble(good + prefix + good, {1}, &corrupt);
    EXPECT_TRUE(corrupt) << prefix;
    EXPECT_EQ(frames, std::vector<std::string>{good}) << prefix;
  }
  // Blanks and a sign are read as the platform reads numbers.
  FrameReassembler reassembler;
  std::string spaced = good;
  spaced.replace(0, 6, "    13");
  reassembler.append(spaced);
  EXPECT_EQ(reassembler.next().status, FrameReassembler::Status::Frame);
}

TEST(FrameCodecTest, ClearDropsPartialFrames) {
  const std::string good = *FrameCodec::encodeBody("\r\n60\r\n");
  const std::string longer = *FrameCodec::encodeBody(std::string(40, 'x'));
  FrameReassembler reassembler;
  reassembler.append(longer.substr(0, 9));
  EXPECT_EQ(reassembler.next().length, static_cast<int32_t>(longer.size()));
  // What was read of the dropped frame, its length included, goes with it.
  reassembler.clear();
  reassembler.append(good);
  FrameReassembler::Result r = reassembler.next();
  ASSERT_EQ(r.status, FrameReassembler::Status::Frame);
  EXPECT_EQ(r.frame, good);
}

}  // namespace
}  // namespace kt
