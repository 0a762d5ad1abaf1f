// The denoising processor's direct path (one 480-sample block with empty
// FIFOs, mixed in place) next to RNNoise alone on the same frame. After the
// usual table the program prints the ratio of the two times: what the
// processor adds to RNNoise (scaling, mixing, the lock).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "audio/rnnoise/rnnoise_api.h"
#include "audio/rnnoise_capture_processing.h"

namespace {

constexpr int kFrame = RnnoiseCaptureProcessing::kFrameSamples;
constexpr float kBenchmarkWet = 0.8f;

class EnabledProcessor : public RnnoiseCaptureProcessing {
 public:
  EnabledProcessor() { EnableProcessing(); }
};

// Noise-like samples at full scale 1; `scale` gives RNNoise's 16-bit scale.
std::vector<float> Frame(float scale) {
  std::vector<float> frame(kFrame);
  uint32_t state = 1;
  for (float& sample : frame) {
    state = state * 1664525u + 1013904223u;
    sample = (static_cast<float>(state >> 8) / 8388608.0f - 1.0f) * 0.05f * scale;
  }
  return frame;
}

// Each iteration starts from the same input, as a capture block would.
void BM_RnnoiseProcessDirect(benchmark::State& state) {
  EnabledProcessor processor;
  processor.SetWet(kBenchmarkWet);
  const std::vector<float> source = Frame(1.0f);
  std::vector<float> block(kFrame);
  for (auto _ : state) {
    std::copy(source.begin(), source.end(), block.begin());
    processor.Process(1, kFrame, kFrame, block.data());
    benchmark::DoNotOptimize(block.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kFrame);
}
BENCHMARK(BM_RnnoiseProcessDirect);
constexpr char kProcessBenchmarkName[] = "BM_RnnoiseProcessDirect";

void BM_RnnoiseAlone(benchmark::State& state) {
  std::unique_ptr<DenoiseState, void (*)(DenoiseState*)> denoiser(rnnoise_create(nullptr),
                                                                  &rnnoise_destroy);
  if (!denoiser) {
    state.SkipWithError("rnnoise_create failed");
    return;
  }
  const std::vector<float> in = Frame(RnnoiseCaptureProcessing::kRnnoiseScale);
  std::vector<float> out(kFrame);
  for (auto _ : state) {
    benchmark::DoNotOptimize(rnnoise_process_frame(denoiser.get(), out.data(), in.data()));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kFrame);
}
BENCHMARK(BM_RnnoiseAlone);
constexpr char kAloneBenchmarkName[] = "BM_RnnoiseAlone";

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

  // Null when the benchmark did not run.
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
  const double* alone = reporter.Fastest(kAloneBenchmarkName);
  if (process != nullptr && alone != nullptr && *alone > 0) {
    // 10 ms of audio per frame: the real-time factor of the direct path.
    std::printf("Direct-path Process / RNNoise alone on a %d-sample frame: %.3f\n", kFrame,
                *process / *alone);
  }
  return 0;
}
