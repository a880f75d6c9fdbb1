// Reply dispatch: a reply 104 with 2,000 dishes handed through the decoder to a screen, and a
// reply 109 with 500 bill lines read into records as the bill screen reads it. Each is set
// against the floor: cutting the same text on CR LF alone. The ratios are printed after the runs.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "BenchReport.h"
#include "link/MsgCodes.h"
#include "link/OKFolioObject.h"
#include "link/OKFoodObject.h"
#include "link/RoomReplies.h"
#include "link/SocketDataHandle.h"

namespace {

const char* const kNames[] = {"宫保鸡丁", "麻婆豆腐", "水煮鱼", "果盘", "啤酒", "可乐", "爆米花", "鸭脖"};

// A reply text as the link posts it: length digits, code, result, message, then the data.
std::string replyText(int code, int headParts, int records, int partsPerRecord) {
  std::string text = "000000\r\n" + std::to_string(code) + "\r\n0\r\n成功";
  for (int i = 4; i < headParts; ++i) text += "\r\n" + std::to_string(i);
  uint32_t seed = 2024;
  for (int r = 0; r < records; ++r) {
    for (int p = 0; p < partsPerRecord; ++p) {
      seed = seed * 1103515245u + 12345u;
      text += "\r\n";
      text += p == 1 ? std::string(kNames[(seed >> 16) % 8]) : std::to_string(seed % 100000);
    }
  }
  return text + "\r\n";
}

const std::string& foodReply() {
  static const std::string text = replyText(kt::MsgFoodList, 7, 2000, 16);
  return text;
}
const std::string& billReply() {
  static const std::string text = replyText(kt::MsgFolio, 27, 500, 16);
  return text;
}

// The floor: the text cut on CR LF, nothing more.
size_t cutOnCrLf(std::string_view text, std::vector<std::string_view>& parts) {
  parts.clear();
  size_t from = 0;
  for (;;) {
    const size_t at = text.find("\r\n", from);
    if (at == std::string_view::npos) break;
    parts.push_back(text.substr(from, at - from));
    from = at + 2;
  }
  parts.push_back(text.substr(from));
  return parts.size();
}

void bytes(benchmark::State& state, const std::string& text) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

void FloorFoodList(benchmark::State& state) {
  std::vector<std::string_view> parts;
  for (auto _ : state) benchmark::DoNotOptimize(cutOnCrLf(foodReply(), parts));
  bytes(state, foodReply());
}
BENCHMARK(FloorFoodList)->Unit(benchmark::kMicrosecond);

// The menu screen: takes the dishes and keeps them.
class MenuScreen : public kt::SocketDataHandleDelegate {
 public:
  MenuScreen() {
    socketDataHandleDidFoodList = [this](kt::FoodList foods) { m_foods = std::move(foods); };
  }
  size_t count() const { return m_foods.size(); }

 private:
  kt::FoodList m_foods;
};

void DispatchFoodList(benchmark::State& state) {
  kt::SocketDataHandle& decoder = kt::SocketDataHandle::sharedInstance();
  MenuScreen menu;
  decoder.setDelegate(&menu);
  for (auto _ : state) {
    decoder.dispatch("tcpMsg", foodReply());
    if (menu.count() != 2000) state.SkipWithError("dishes lost");
  }
  bytes(state, foodReply());
}
BENCHMARK(DispatchFoodList)->Unit(benchmark::kMicrosecond);

void FloorBill(benchmark::State& state) {
  std::vector<std::string_view> parts;
  for (auto _ : state) benchmark::DoNotOptimize(cutOnCrLf(billReply(), parts));
  bytes(state, billReply());
}
BENCHMARK(FloorBill)->Unit(benchmark::kMicrosecond);

void ReadBill(benchmark::State& state) {
  for (auto _ : state) {
    kt::RoomReplies::FolioReply bill = kt::RoomReplies::folio(kt::RoomReplies::split(billReply()));
    if (bill.lines.size() != 500) state.SkipWithError("bill lines lost");
    benchmark::DoNotOptimize(bill);
  }
  bytes(state, billReply());
}
BENCHMARK(ReadBill)->Unit(benchmark::kMicrosecond);

void printRatio(const bench::RatioReporter& reporter, const char* name, const char* base) {
  if (auto r = reporter.ratio(name, base))
    std::printf("%-18s / %-14s %6.2f (%.0f us vs %.0f us)\n", name, base, r->value, r->oursSeconds * 1e6,
                r->baseSeconds * 1e6);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::printf("reply 104: %zu bytes, 2000 dishes; reply 109: %zu bytes, 500 bill lines\n", foodReply().size(),
              billReply().size());
  bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("ratios against cutting the same text on CR LF alone:\n");
  printRatio(reporter, "DispatchFoodList", "FloorFoodList");
  printRatio(reporter, "ReadBill", "FloorBill");
  benchmark::Shutdown();
  return 0;
}
