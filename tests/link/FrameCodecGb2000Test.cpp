// Frames carry text by the GB 18030-2000 table, as the room server writes it: the codes where
// later tables differ are framed and received like any other.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/FrameCodec.h"

namespace kt {
namespace {

// The bodies of every valid frame in `stream`, as text (the frame's text less its six digits).
std::vector<std::string> received(const std::string& stream) {
  FrameReassembler reassembler;
  reassembler.append(stream);
  std::vector<std::string> texts;
  reassembler.drain([&texts](const std::string& text) {
    texts.push_back(text.substr(FrameCodec::kPrefixLength));
    return true;
  });
  return texts;
}

TEST(FrameCodecGb2000Test, PrivateUseAndLaterAssignedCharactersAreFramed) {
  // U+E816 (FE51), U+E78D (A6D9), U+E7C7 (A8BC), U+1E3F (81 35 F4 37).
  const std::string text = "\r\n100\r\n\xEE\xA0\x96\xEE\x9E\x8D\xEE\x9F\x87\xE1\xB8\xBF\r\n";
  const std::optional<std::string> frame = FrameCodec::encodeText(text);
  ASSERT_TRUE(frame.has_value());
  EXPECT_EQ(frame->substr(6, frame->size() - 7), "\r\n100\r\n\xFE\x51\xA6\xD9\xA8\xBC\x81\x35\xF4\x37\r\n");
  EXPECT_EQ(received(*frame), std::vector<std::string>{text});
}

TEST(FrameCodecGb2000Test, FramesOfFourByteCodesAreReceivedAndReencodeToThemselves) {
  // 82 35 90 37 is U+9FB4 and 84 31 82 36 is U+FE10; 95 32 90 31 is U+20087, apart from FE51.
  const std::vector<std::string> bodies = {"\r\n7\r\n\x82\x35\x90\x37\r\n", "\r\n7\r\n\x84\x31\x82\x36\r\n",
                                           "\r\n7\r\n\x95\x32\x90\x31\r\n", "\r\n7\r\n\xFE\x51\r\n"};
  std::string stream;
  for (const std::string& body : bodies) stream += *FrameCodec::encodeBody(body);
  const std::vector<std::string> texts = received(stream);
  ASSERT_EQ(texts.size(), bodies.size());
  EXPECT_EQ(texts[0], "\r\n7\r\n\xE9\xBE\xB4\r\n");
  EXPECT_EQ(texts[1], "\r\n7\r\n\xEF\xB8\x90\r\n");
  for (size_t i = 0; i < bodies.size(); ++i) {
    EXPECT_EQ(FrameCodec::encodeText(texts[i]), FrameCodec::encodeBody(bodies[i])) << i;
  }
}

}  // namespace
}  // namespace kt
