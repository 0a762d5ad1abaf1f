// Gain on one 480-sample capture block (10 ms at 48 kHz) next to a plain copy
// of the same block. After the usual table the program prints the ratio of
// the two times; the gain pass should stay within twice the copy.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "audio/mic_gain_capture_processing.h"

namespace {

constexpr int kBlockSamples = 480;
constexpr float kBenchmarkGain = 1.5f;

std::vector<float> Block() {
  std::vector<float> block(kBlockSamples);
  for (int i = 0; i < kBlockSamples; ++i) {
    block[i] = static_cast<float>(i % 64 - 32) / 64.0f;
  }
  return block;
}

void BM_MicGainProcess(benchmark::State& state) {
  MicGainCaptureProcessing& processor = MicGainCaptureProcessing::Instance();
  processor.SetGain(kBenchmarkGain);
  std::vector<float> block = Block();
  for (auto _ : state) {
    processor.Process(1, kBlockSamples, kBlockSamples, block.data());
    benchmark::DoNotOptimize(block.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kBlockSamples * sizeof(float));
}
BENCHMARK(BM_MicGainProcess);
constexpr char kProcessBenchmarkName[] = "BM_MicGainProcess";

void BM_CopyBlock(benchmark::State& state) {
  const std::vector<float> source = Block();
  std::vector<float> destination(kBlockSamples);
  for (auto _ : state) {
    benchmark::DoNotOptimize(source.data());
    std::memcpy(destination.data(), source.data(), kBlockSamples * sizeof(float));
    benchmark::DoNotOptimize(destination.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kBlockSamples * sizeof(float));
}
BENCHMARK(BM_CopyBlock);
constexpr char kCopyBenchmarkName[] = "BM_CopyBlock";

// The console table, plus the fastest CPU time per iteration of each
// benchmark for the ratio.
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

  // Null when either benchmark did not run.
  const double* Fastest(const std::string& name) const {
    auto found = fastest_.find(name);
    return found == fastest_.end() ? nullptr : &found->second;
  }

 private:
  std::map<std::string, double> fastest_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  const double* process = reporter.Fastest(kProcessBenchmarkName);
  const double* copy = reporter.Fastest(kCopyBenchmarkName);
  if (process != nullptr && copy != nullptr && *copy > 0) {
    std::printf("Gain pass / copy of a %d-sample block: %.2f (goal: at most 2)\n", kBlockSamples,
                *process / *copy);
  }
  return 0;
}
