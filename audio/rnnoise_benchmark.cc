// The denoising processor's direct path (one 480-sample block with empty
// FIFOs, mixed in place) next to RNNoise alone on the same frame. After the
// usual table the program prints the ratio of the two times: what the
// processor adds to RNNoise (scaling, mixing, the lock).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

#include "audio/rnnoise/rnnoise_api.h"
#include "audio/rnnoise_capture_processing.h"
#include "testing/benchmark_support/ratio_reporter.h"

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

}  // namespace

int main(int argc, char** argv) {
  double ratio = -1;
  const int exit_code =
      RunBenchmarksForRatio(argc, argv, kProcessBenchmarkName, kAloneBenchmarkName, &ratio);
  if (ratio >= 0) {
    std::printf("Direct-path Process / RNNoise alone on a %d-sample frame: %.3f\n", kFrame, ratio);
  }
  return exit_code;
}
