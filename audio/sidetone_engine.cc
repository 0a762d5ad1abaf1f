#include "audio/sidetone_engine.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <utility>

#include "audio/sidetone_run_loop.h"
#include "diagnostics/app_log.h"

namespace {

// The worker's set-up normally takes well under a second.
constexpr std::chrono::milliseconds kStartTimeout{2000};

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

void SidetoneEngine::Answer(bool running) {
  // Taken out first: the answer may start or stop the monitor itself.
  const StartAnswer answer = std::move(pending_answer);
  pending_answer = nullptr;
  if (answer) {
    answer(running);
  }
}

void SidetoneEngine::Start(const std::wstring& input_device_id,
                           const std::wstring& output_device_id, float new_volume,
                           StartAnswer answer) {
  Answer(false);
  stop_requested.store(true);
  JoinWorker();
  state.store(kSidetoneIdle);
  AppendLog(kLogStopped);

  volume.store(ClampVolume(new_volume));
  stop_requested.store(false);
  state.store(kSidetoneIdle);

  try {
    worker = std::thread([this, input = input_device_id, output = output_device_id]() {
      // Nothing may unwind out of the thread. A failure before the monitor
      // runs ends it like a failed set-up; one after leaves it failed too,
      // so the engine never reports a monitor whose worker is gone.
      try {
        RunSidetoneLoop(factory(), input, output, stop_requested, volume, state);
      } catch (...) {
        state.store(kSidetoneFailed);
      }
      int32_t expected = kSidetoneIdle;
      state.compare_exchange_strong(expected, kSidetoneFailed);
    });
  } catch (const std::exception&) {
    AppendLog(kLogStartThreadFailed);
    state.store(kSidetoneFailed);
    answer(false);
    return;
  }
  pending_answer = std::move(answer);
  start_deadline = Clock::now() + kStartTimeout;
}

bool SidetoneEngine::Poll(Clock::time_point now) {
  if (!pending_answer) {
    return false;
  }
  const int32_t current = state.load();
  if (current == kSidetoneRunning) {
    AppendLog(kLogStarted);
    Answer(true);
  } else if (current < 0) {
    JoinWorker();
    AppendLog(kLogStartFailed);
    Answer(false);
  } else if (now >= start_deadline) {
    AppendLog(kLogStartTimeout);
    const StartAnswer answer = std::move(pending_answer);
    pending_answer = nullptr;
    Stop();
    answer(false);
  }
  return StartPending();
}

void SidetoneEngine::Stop() {
  Answer(false);
  stop_requested.store(true);
  JoinWorker();
  state.store(kSidetoneIdle);
  AppendLog(kLogStopped);
}

void SidetoneEngine::SetVolume(float new_volume) { volume.store(ClampVolume(new_volume)); }

float SidetoneEngine::CurrentVolume() const { return volume.load(); }

int32_t SidetoneEngine::CurrentState() const { return state.load(); }
