// Frame reassembly: the input is a received byte stream, fed to one reassembler whole and to
// another in chunks whose sizes are read from the input itself. Both must cut the same frames
// and stop in the same state, and every good frame with a plain six-digit prefix must be exactly
// what encoding its text again gives.

#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "link/FrameCodec.h"
#include "platform/core/TextEncoding.h"

namespace {

using kt::FrameCodec;
using kt::FrameReassembler;
using Status = FrameReassembler::Status;

bool plainPrefix(std::string_view frame) {
  for (size_t i = 0; i < FrameCodec::kPrefixLength; ++i)
    if (frame[i] < '0' || frame[i] > '9') return false;
  return true;
}

// The texts of the good frames, and what stopped the cutting.
struct Cut {
  std::vector<std::string> texts;
  std::vector<int32_t> badLengths;
  Status last = Status::NeedPrefix;
};

void checkFrame(const FrameReassembler::Result& result, Cut& cut) {
  const std::string_view frame = result.frame;
  KT_FUZZ_CHECK(frame.size() == static_cast<size_t>(result.length));
  KT_FUZZ_CHECK(frame.size() >= FrameCodec::kMinFrameLength);
  if (!FrameCodec::isValidFrame(frame)) {
    cut.badLengths.push_back(result.length);
    return;
  }
  const std::string_view body = frame.substr(0, frame.size() - 1);
  std::optional<std::string> text = core::gb18030ToUtf8(body);
  if (!text) return;
  if (plainPrefix(frame)) {
    KT_FUZZ_CHECK(FrameCodec::encodeBody(frame.substr(FrameCodec::kPrefixLength, body.size() - FrameCodec::kPrefixLength)) ==
                  std::string(frame));
    // The prefix is part of the text the link posts: the body of the text frames the same bytes.
    std::optional<std::string> again = core::utf8ToGb18030(*text);
    KT_FUZZ_CHECK(again && *again == body);
  }
  cut.texts.push_back(std::move(*text));
}

Cut whole(std::string_view stream) {
  FrameReassembler reassembler;
  reassembler.append(stream);
  Cut cut;
  for (;;) {
    FrameReassembler::Result result = reassembler.next();
    cut.last = result.status;
    if (result.status != Status::Frame) break;
    checkFrame(result, cut);
  }
  if (cut.last == Status::NeedPrefix) KT_FUZZ_CHECK(reassembler.buffered() < FrameCodec::kPrefixLength);
  return cut;
}

Cut chunked(std::string_view stream) {
  FrameReassembler reassembler;
  Cut cut;
  size_t at = 0;
  size_t pick = 0;
  while (at < stream.size()) {
    const size_t n = 1 + static_cast<uint8_t>(stream[pick++ % stream.size()]) % 97;
    reassembler.append(stream.substr(at, n));
    at += std::min(n, stream.size() - at);
    const FrameReassembler::Result result = reassembler.drain(
        [&](const std::string& text) {
          cut.texts.push_back(text);
          return true;
        },
        [&](int32_t length) { cut.badLengths.push_back(length); });
    cut.last = result.status;
    KT_FUZZ_CHECK(result.status != Status::Frame);
    // A stream whose prefix frames nothing is dropped by the link: nothing after it is read.
    if (result.status == Status::Corrupt) break;
  }
  return cut;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view stream = fuzz::bytes(data, size);
  const Cut a = whole(stream);
  const Cut b = chunked(stream);
  KT_FUZZ_CHECK(a.texts == b.texts);
  KT_FUZZ_CHECK(a.badLengths == b.badLengths);
  if (!stream.empty()) KT_FUZZ_CHECK(a.last == b.last);
  return 0;
}
