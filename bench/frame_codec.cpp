// Room-server framing: encoding and decoding a reply of about 1 MB, and reassembling a stream of
// 10,000 small frames fed one byte at a time and in 64 KB chunks (each frame CRC-checked and
// decoded, as the link does). Each is set against a baseline over the same bytes: one CRC pass
// plus one GB 18030 decode of the text the frames carry (each frame without its CRC byte). The
// ratios are printed after the runs.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "BenchReport.h"
#include "link/FrameCodec.h"
#include "platform/core/TextEncoding.h"

namespace {

// A reply body as the server sends a long list: CR LF separated fields of Chinese dish names,
// numbers and prices, just under the largest body a frame can hold.
const std::string& replyText() {
  static const std::string text = [] {
    static const char* const names[] = {"宫保鸡丁", "麻婆豆腐", "水煮鱼", "果盘", "啤酒", "可乐", "爆米花", "鸭脖"};
    std::string utf8 = "\r\n103\r\n0\r\n成功\r\n";
    uint32_t seed = 777;
    size_t encodedSize = core::utf8ToGb18030(utf8)->size();
    for (;;) {
      seed = seed * 1103515245u + 12345u;
      std::string line = std::string(names[(seed >> 16) % 8]) + "\r\n" + std::to_string(seed % 100000) + "\r\n" +
                         std::to_string((seed >> 8) % 500) + ".00\r\n";
      const size_t lineSize = core::utf8ToGb18030(line)->size();
      if (encodedSize + lineSize > kt::FrameCodec::kMaxBodyLength) break;
      encodedSize += lineSize;
      utf8 += line;
    }
    return utf8;
  }();
  return text;
}

const std::string& replyFrame() {
  static const std::string frame = [] {
    std::optional<std::string> f = kt::FrameCodec::encodeText(replyText());
    if (!f) {
      std::fprintf(stderr, "reply did not frame\n");
      std::abort();
    }
    return *f;
  }();
  return frame;
}

const std::string& smallStream() {
  static const std::string stream = [] {
    std::string out;
    for (int i = 0; i < 10000; ++i) {
      out += *kt::FrameCodec::encodeText("\r\n12\r\n0\r\n下单成功\r\n" + std::to_string(8000 + i) + "\r\n");
    }
    return out;
  }();
  return stream;
}

// The bytes the link decodes from the small-frame stream, end to end: each frame without its CRC
// byte. (The stream itself is no GB 18030 text: its CRC bytes are not characters.)
const std::string& smallStreamText() {
  static const std::string text = [] {
    std::string out;
    kt::FrameReassembler reassembler;
    reassembler.append(smallStream());
    for (kt::FrameReassembler::Result r = reassembler.next(); r.status == kt::FrameReassembler::Status::Frame;
         r = reassembler.next())
      out.append(r.frame.substr(0, r.frame.size() - 1));
    return out;
  }();
  return text;
}

// What the link does with each frame: check, decode the text without the CRC byte.
size_t handleFrames(kt::FrameReassembler& reassembler) {
  size_t handled = 0;
  for (;;) {
    kt::FrameReassembler::Result r = reassembler.next();
    if (r.status != kt::FrameReassembler::Status::Frame) break;
    if (kt::FrameCodec::isValidFrame(r.frame)) {
      std::optional<std::string> text = core::gb18030ToUtf8(r.frame.substr(0, r.frame.size() - 1));
      benchmark::DoNotOptimize(text);
      ++handled;
    }
  }
  return handled;
}

// One CRC pass over the frames' bytes, one decode of their text.
void baseline(benchmark::State& state, const std::string& bytes, std::string_view text) {
  for (auto _ : state) {
    uint8_t crc = kt::FrameCodec::crc8(bytes);
    std::optional<std::string> decoded = core::gb18030ToUtf8(text);
    if (!decoded) state.SkipWithError("the text did not decode");
    benchmark::DoNotOptimize(crc);
    benchmark::DoNotOptimize(decoded);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}

void BaselineReply(benchmark::State& state) {
  baseline(state, replyFrame(), std::string_view(replyFrame()).substr(0, replyFrame().size() - 1));
}
BENCHMARK(BaselineReply)->Unit(benchmark::kMicrosecond);

void EncodeReply(benchmark::State& state) {
  const std::string& text = replyText();
  for (auto _ : state) {
    std::optional<std::string> frame = kt::FrameCodec::encodeText(text);
    benchmark::DoNotOptimize(frame);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(replyFrame().size()));
}
BENCHMARK(EncodeReply)->Unit(benchmark::kMicrosecond);

void DecodeReply(benchmark::State& state) {
  const std::string& frame = replyFrame();
  for (auto _ : state) {
    kt::FrameReassembler reassembler;
    reassembler.append(frame);
    if (handleFrames(reassembler) != 1) state.SkipWithError("reply not decoded");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(frame.size()));
}
BENCHMARK(DecodeReply)->Unit(benchmark::kMicrosecond);

void BaselineSmallFrames(benchmark::State& state) { baseline(state, smallStream(), smallStreamText()); }
BENCHMARK(BaselineSmallFrames)->Unit(benchmark::kMicrosecond);

void ReassembleBytewise(benchmark::State& state) {
  const std::string& stream = smallStream();
  for (auto _ : state) {
    kt::FrameReassembler reassembler;
    size_t handled = 0;
    for (char c : stream) {
      reassembler.append(std::string_view(&c, 1));
      handled += handleFrames(reassembler);
    }
    if (handled != 10000) state.SkipWithError("frames lost");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(stream.size()));
}
BENCHMARK(ReassembleBytewise)->Unit(benchmark::kMicrosecond);

void Reassemble64K(benchmark::State& state) {
  const std::string& stream = smallStream();
  const std::string_view view(stream);
  for (auto _ : state) {
    kt::FrameReassembler reassembler;
    size_t handled = 0;
    for (size_t pos = 0; pos < view.size(); pos += 65536) {
      reassembler.append(view.substr(pos, 65536));
      handled += handleFrames(reassembler);
    }
    if (handled != 10000) state.SkipWithError("frames lost");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(stream.size()));
}
BENCHMARK(Reassemble64K)->Unit(benchmark::kMicrosecond);

void printRatio(const bench::RatioReporter& reporter, const char* name, const char* base) {
  if (auto r = reporter.ratio(name, base))
    std::printf("%-20s / %-20s %6.2f (%.0f us vs %.0f us)\n", name, base, r->value, r->oursSeconds * 1e6,
                r->baseSeconds * 1e6);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::printf("reply frame: %zu bytes; small-frame stream: %zu bytes in 10000 frames\n", replyFrame().size(),
              smallStream().size());
  bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("ratios against one CRC pass plus one GB 18030 decode of the same bytes:\n");
  printRatio(reporter, "EncodeReply", "BaselineReply");
  printRatio(reporter, "DecodeReply", "BaselineReply");
  printRatio(reporter, "ReassembleBytewise", "BaselineSmallFrames");
  printRatio(reporter, "Reassemble64K", "BaselineSmallFrames");
  benchmark::Shutdown();
  return 0;
}
