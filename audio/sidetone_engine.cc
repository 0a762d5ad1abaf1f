#include "audio/sidetone_engine.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <utility>

#include "audio/sidetone_run_loop.h"
#include "diagnostics/app_log.h"

namespace {

constexpr int kStartPolls = 100;
constexpr std::chrono::milliseconds kStartPollPeriod{20};

constexpr char kLogStopped[] = "sidetone_stopped";
constexpr char kLogStarted[] = "sidetone_started";
constexpr char kLogStartFailed[] = "sidetone_start_failed";
constexpr char kLogStartTimeout[] = "sidetone_start_timeout";
constexpr char kLogStartThreadFailed[] = "sidetone_start_thread_failed";

}  // namespace

SidetoneEngine::SidetoneEngine(SessionFactory factory) : factory(std::move(factory)) {}

SidetoneEngine::~SidetoneEngine() {
  stop_requested.store(true);
  JoinWorker();
}

float SidetoneEngine::ClampVolume(float volume) {
  // A NaN volume would turn every sample into NaN; it plays nothing instead.
  if (std::isnan(volume)) {
    return kMinVolume;
  }
  return std::clamp(volume, kMinVolume, kMaxVolume);
}

void SidetoneEngine::JoinWorker() {
  if (worker.joinable()) {
    worker.join();
  }
  worker = std::thread();
}

bool SidetoneEngine::Start(const std::wstring& input_device_id,
                           const std::wstring& output_device_id, float new_volume) {
  stop_requested.store(true);
  JoinWorker();
  state.store(kSidetoneIdle);
  AppendLog(kLogStopped);

  volume.store(ClampVolume(new_volume));
  stop_requested.store(false);
  state.store(kSidetoneIdle);

  try {
    worker = std::thread([this, input = input_device_id, output = output_device_id]() {
      // Nothing may unwind out of the thread: an allocation failure inside
      // the run ends it like a failed set-up.
      try {
        RunSidetoneLoop(factory(), input, output, stop_requested, volume, state);
      } catch (...) {
      }
      int32_t expected = kSidetoneIdle;
      state.compare_exchange_strong(expected, kSidetoneFailed);
    });
  } catch (const std::exception&) {
    AppendLog(kLogStartThreadFailed);
    state.store(kSidetoneFailed);
    return false;
  }

  for (int poll = 0; poll < kStartPolls; ++poll) {
    const int32_t current = state.load();
    if (current == kSidetoneRunning) {
      AppendLog(kLogStarted);
      return true;
    }
    if (current < 0) {
      JoinWorker();
      AppendLog(kLogStartFailed);
      return false;
    }
    std::this_thread::sleep_for(kStartPollPeriod);
  }
  AppendLog(kLogStartTimeout);
  Stop();
  return false;
}

void SidetoneEngine::Stop() {
  stop_requested.store(true);
  JoinWorker();
  state.store(kSidetoneIdle);
  AppendLog(kLogStopped);
}

void SidetoneEngine::SetVolume(float new_volume) { volume.store(ClampVolume(new_volume)); }

float SidetoneEngine::CurrentVolume() const { return volume.load(); }

int32_t SidetoneEngine::CurrentState() const { return state.load(); }
