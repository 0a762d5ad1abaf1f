// Gain on one 480-sample capture block (10 ms at 48 kHz) next to a plain copy
// of the same block. After the usual table the program prints the ratio of
// the two times; the gain pass should stay within twice the copy.
#include <cstdio>
#include <cstring>
#include <vector>

#include <benchmark/benchmark.h>

#include "audio/mic_gain_capture_processing.h"
#include "testing/benchmark_support/ratio_reporter.h"

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

}  // namespace

int main(int argc, char** argv) {
  double ratio = -1;
  const int exit_code =
      RunBenchmarksForRatio(argc, argv, kProcessBenchmarkName, kCopyBenchmarkName, &ratio);
  if (ratio >= 0) {
    std::printf("Gain pass / copy of a %d-sample block: %.2f (goal: at most 2)\n", kBlockSamples,
                ratio);
  }
  return exit_code;
}
