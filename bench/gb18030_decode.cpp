// Decoding received GB 18030 text: core::gb18030ToUtf8 against one raw iconv call over the same
// bytes into a preallocated buffer. Prints the ratio of the two after the runs.
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchReport.h"
#include "platform/core/TextEncoding.h"

namespace {

// About 1 MB of GB 18030: mostly Chinese, with ASCII words and numbers, and now and then a
// character outside the Basic Multilingual Plane (a four-byte sequence).
const std::string& sampleText() {
  static const std::string text = [] {
    std::string utf8;
    uint32_t seed = 12345;
    auto next = [&seed] {
      seed = seed * 1103515245u + 12345u;
      return (seed >> 16) & 0x7FFF;
    };
    auto append = [&utf8](uint32_t cp) {
      if (cp < 0x80) {
        utf8 += static_cast<char>(cp);
      } else if (cp < 0x10000) {
        utf8 += static_cast<char>(0xE0 | (cp >> 12));
        utf8 += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        utf8 += static_cast<char>(0x80 | (cp & 0x3F));
      } else {
        utf8 += static_cast<char>(0xF0 | (cp >> 18));
        utf8 += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        utf8 += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        utf8 += static_cast<char>(0x80 | (cp & 0x3F));
      }
    };
    std::string encoded;
    while (encoded.size() < (1u << 20)) {
      utf8.clear();
      for (int i = 0; i < 4096; ++i) {
        const unsigned r = next() % 100;
        if (r < 75) {
          append(0x4E00 + next() % 0x51A6);  // CJK Unified Ideographs
        } else if (r < 97) {
          append(static_cast<uint32_t>('a' + next() % 26));
        } else if (r < 99) {
          append(static_cast<uint32_t>(' '));
        } else {
          append(0x20000 + next() % 0x1000);  // CJK Extension B
        }
      }
      auto chunk = core::utf8ToGb18030(utf8);
      if (!chunk) {
        std::fprintf(stderr, "sample text did not encode\n");
        std::abort();
      }
      encoded += *chunk;
    }
    encoded.resize(1u << 20);
    // Cut back to a character boundary so that the text stays valid.
    while (!core::gb18030ToUtf8(encoded)) encoded.pop_back();
    return encoded;
  }();
  return text;
}

void Gb18030ToUtf8(benchmark::State& state) {
  const std::string& text = sampleText();
  for (auto _ : state) {
    auto decoded = core::gb18030ToUtf8(text);
    benchmark::DoNotOptimize(decoded);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(Gb18030ToUtf8)->Unit(benchmark::kMicrosecond);

void RawIconv(benchmark::State& state) {
  const std::string& text = sampleText();
  iconv_t cd = iconv_open("UTF-8", "GB18030");
  std::vector<char> out(text.size() * 2);
  for (auto _ : state) {
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    benchmark::DoNotOptimize(r);
    benchmark::DoNotOptimize(out.data());
  }
  iconv_close(cd);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(RawIconv)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::printf("sample: %zu bytes of GB 18030\n", sampleText().size());
  bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  if (auto r = reporter.ratio("Gb18030ToUtf8", "RawIconv"))
    std::printf("gb18030ToUtf8 / raw iconv: %.2f (%.0f us vs %.0f us per 1 MB)\n", r->value, r->oursSeconds * 1e6,
                r->baseSeconds * 1e6);
  benchmark::Shutdown();
  return 0;
}
