#ifndef VELMO_TESTING_BENCHMARK_SUPPORT_RATIO_REPORTER_H_
#define VELMO_TESTING_BENCHMARK_SUPPORT_RATIO_REPORTER_H_

#include <benchmark/benchmark.h>

#include <algorithm>
#include <limits>
#include <map>
#include <string>
#include <vector>

// The console table, plus the fastest CPU time per iteration of each
// benchmark, so a program can print the ratio its goal is stated in.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) {
        continue;
      }
      auto [entry, inserted] =
          fastest_.try_emplace(run.run_name.function_name, std::numeric_limits<double>::infinity());
      entry->second = std::min(entry->second, run.GetAdjustedCPUTime());
    }
  }

  // The fastest time of `numerator` over that of `denominator`; negative when
  // either did not run.
  double Ratio(const std::string& numerator, const std::string& denominator) const {
    auto top = fastest_.find(numerator);
    auto bottom = fastest_.find(denominator);
    if (top == fastest_.end() || bottom == fastest_.end() || bottom->second <= 0) {
      return -1;
    }
    return top->second / bottom->second;
  }

 private:
  std::map<std::string, double> fastest_;
};

// Runs the benchmarks chosen on the command line through a RatioReporter and
// stores the ratio of the two named ones in `ratio` (negative when either did
// not run). Returns the program's exit code: 1 for arguments not understood.
inline int RunBenchmarksForRatio(int argc, char** argv, const std::string& numerator,
                                 const std::string& denominator, double* ratio) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  *ratio = reporter.Ratio(numerator, denominator);
  return 0;
}

#endif  // VELMO_TESTING_BENCHMARK_SUPPORT_RATIO_REPORTER_H_
