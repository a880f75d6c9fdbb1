// Dispatch cost of the run loop: delayed performs (delay 0) and main-queue blocks. Each batch is
// measured against a plain loop calling the same number of std::function objects, timed in the
// same iteration; the "ratio" counter is dispatch time over plain-call time, each taken as the
// best batch of the run so that allocator and cache noise does not swing it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <vector>

#include "platform/core/Queue.h"
#include "platform/core/RunLoop.h"

namespace {

constexpr int kBatch = 1000;
using Steady = std::chrono::steady_clock;

double seconds(Steady::time_point a, Steady::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// The baseline: the same number of calls through std::function, made the obvious way.
double plainCalls(int& count) {
  auto start = Steady::now();
  std::vector<std::function<void()>> fns;
  fns.reserve(kBatch);
  for (int i = 0; i < kBatch; ++i) fns.emplace_back([&count] { ++count; });
  for (auto& fn : fns) fn();
  benchmark::DoNotOptimize(count);
  return seconds(start, Steady::now());
}

void drain(core::RunLoop& loop, const int& count) {
  while (count < kBatch) loop.runInMode(core::RunLoop::DefaultMode, HUGE_VAL, true);
}

template <typename Dispatch>
void measure(benchmark::State& state, Dispatch dispatch) {
  auto& loop = core::RunLoop::main();
  int count = 0;
  double baseline = HUGE_VAL;
  double measured = HUGE_VAL;
  for (auto _ : state) {
    state.PauseTiming();
    count = 0;
    baseline = std::min(baseline, plainCalls(count));
    state.ResumeTiming();
    count = 0;
    auto start = Steady::now();
    for (int i = 0; i < kBatch; ++i) dispatch([&count] { ++count; });
    drain(loop, count);
    measured = std::min(measured, seconds(start, Steady::now()));
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
  state.counters["ratio"] = baseline > 0 && std::isfinite(measured) ? measured / baseline : 0;
}

void BM_PlainFunctionCalls(benchmark::State& state) {
  int count = 0;
  for (auto _ : state) {
    count = 0;
    plainCalls(count);
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}

void BM_DelayedPerforms(benchmark::State& state) {
  static const auto target = std::make_shared<int>(0);
  measure(state, [](std::function<void()> fn) { core::RunLoop::main().performAfterDelay(target, 0, std::move(fn)); });
}

void BM_MainQueueBlocks(benchmark::State& state) {
  auto queue = core::Queue::main();
  measure(state, [&queue](std::function<void()> fn) { queue->async(std::move(fn)); });
}

BENCHMARK(BM_PlainFunctionCalls);
BENCHMARK(BM_DelayedPerforms);
BENCHMARK(BM_MainQueueBlocks);

}  // namespace

BENCHMARK_MAIN();
