#pragma once

// The console report of a benchmark program that also keeps each benchmark's time per
// iteration, so that the program can print ratios against its baseline after the runs.

#include <benchmark/benchmark.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace bench {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  struct Ratio {
    double value = 0;         // ours / base
    double oursSeconds = 0;   // per iteration
    double baseSeconds = 0;
  };

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
        m_seconds[run.run_name.function_name] = run.real_accumulated_time / static_cast<double>(run.iterations);
        m_cpuSeconds[run.run_name.function_name] = run.cpu_accumulated_time / static_cast<double>(run.iterations);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // Nothing unless both benchmarks ran and the base took some time.
  std::optional<Ratio> ratio(const std::string& ours, const std::string& base) const {
    return ratioIn(m_seconds, ours, base);
  }
  // The same in CPU time (the process's, for a benchmark that measures it).
  std::optional<Ratio> cpuRatio(const std::string& ours, const std::string& base) const {
    return ratioIn(m_cpuSeconds, ours, base);
  }

 private:
  static std::optional<Ratio> ratioIn(const std::map<std::string, double>& seconds, const std::string& ours,
                                      const std::string& base) {
    auto o = seconds.find(ours);
    auto b = seconds.find(base);
    if (o == seconds.end() || b == seconds.end() || b->second <= 0) return std::nullopt;
    return Ratio{o->second / b->second, o->second, b->second};
  }
  std::map<std::string, double> m_seconds;
  std::map<std::string, double> m_cpuSeconds;
};

}  // namespace bench
