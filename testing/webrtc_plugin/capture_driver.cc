#include "testing/webrtc_plugin/capture_driver.h"

#include <array>
#include <charconv>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "testing/webrtc_plugin/stand_in_settings.h"

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(20);
constexpr wchar_t kRequestFileName[] = L"capture.request";
constexpr wchar_t kPartialSuffix[] = L".part";
constexpr int kSampleRateHz = 48000;
constexpr int kChannels = 1;
constexpr int kBands = 1;
constexpr int kBlockSamples = 480;

// The blocks of one capture run: frame count and buffer length as the
// plug-in passes them, and whether the sample pointer is null.
struct KnownBlock {
  int frames;
  int buffer_size;
  bool null_buffer;
};

constexpr std::array<KnownBlock, 7> kKnownBlocks = {{
    {kBlockSamples, kBlockSamples, false},
    {kBlockSamples, 160, false},
    {100, kBlockSamples, false},
    {0, kBlockSamples, false},
    {kBlockSamples, 0, false},
    {-1, kBlockSamples, false},
    {kBlockSamples, kBlockSamples, true},
}};

// Deterministic samples spanning full scale, so that gains above one push
// some past it.
float KnownSample(size_t block, int index) {
  const int step = static_cast<int>((index * 7 + static_cast<int>(block) * 13) % 41) - 20;
  return static_cast<float>(step) / 20.0f;
}

void WriteSamples(std::ofstream& out, const char* label, const std::vector<float>& samples) {
  out << label;
  for (float sample : samples) {
    std::array<char, 32> text{};
    const auto result = std::to_chars(text.data(), text.data() + text.size(), sample);
    out << ' ' << std::string(text.data(), result.ptr);
  }
  out << '\n';
}

void RunKnownBlocks(libwebrtc::RTCAudioProcessing::CustomProcessing* hook, std::ofstream& out) {
  for (size_t b = 0; b < kKnownBlocks.size(); ++b) {
    const KnownBlock& block = kKnownBlocks[b];
    out << "block " << block.frames << ' ' << block.buffer_size << ' '
        << (block.null_buffer ? 1 : 0) << '\n';
    std::vector<float> samples(kBlockSamples);
    for (int i = 0; i < kBlockSamples; ++i) {
      samples[i] = KnownSample(b, i);
    }
    if (block.null_buffer) {
      hook->Process(kBands, block.frames, block.buffer_size, nullptr);
      continue;
    }
    WriteSamples(out, "in", samples);
    hook->Process(kBands, block.frames, block.buffer_size, samples.data());
    WriteSamples(out, "out", samples);
  }
}

std::wstring ReadRequest(const std::filesystem::path& request) {
  std::wifstream in(request);
  std::wstring name;
  std::getline(in, name);
  while (!name.empty() && (name.back() == L'\r' || name.back() == L' ')) {
    name.pop_back();
  }
  return name;
}

void ServeRequest(const std::filesystem::path& dir,
                  libwebrtc::RTCAudioProcessing::CustomProcessing*& initialized) {
  const std::filesystem::path request = dir / kRequestFileName;
  if (!std::filesystem::exists(request)) {
    return;
  }
  const std::wstring name = ReadRequest(request);
  std::filesystem::remove(request);
  if (name.empty()) {
    return;
  }
  CaptureHookState& state = HookState();
  libwebrtc::RTCAudioProcessing::CustomProcessing* hook = state.hook.load();
  const std::filesystem::path partial = dir / (name + kPartialSuffix);
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    out << "hook " << (hook != nullptr ? "installed" : "none") << '\n';
    out << "references " << state.outstanding_references.load() << '\n';
    out << "setter_calls " << state.setter_calls.load() << '\n';
    if (hook != nullptr) {
      if (hook != initialized) {
        hook->Initialize(kSampleRateHz, kChannels);
        initialized = hook;
      }
      RunKnownBlocks(hook, out);
    }
    out << "end\n";
  }
  std::filesystem::rename(partial, dir / name);
}

void DriverThread(std::filesystem::path dir) {
  libwebrtc::RTCAudioProcessing::CustomProcessing* initialized = nullptr;
  for (;;) {
    std::this_thread::sleep_for(kPollInterval);
    try {
      ServeRequest(dir, initialized);
    } catch (...) {
      // A half-written request or a file still open in the test: next poll.
    }
  }
}

}  // namespace

CaptureHookState& HookState() {
  static CaptureHookState state;
  return state;
}

void StartCaptureDriver() {
  static std::once_flag started;
  std::call_once(started, [] {
    const std::filesystem::path& dir = Settings().capture_dir;
    if (dir.empty()) {
      return;
    }
    // Runs until the process ends, like the plug-in's own capture thread; the
    // library is never unloaded while the host runs.
    std::thread(DriverThread, dir).detach();
  });
}
