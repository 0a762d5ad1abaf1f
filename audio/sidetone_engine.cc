#include "audio/sidetone_engine.h"

#include <algorithm>
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
constexpr char kLogWorkerLetGo[] = "sidetone_worker_let_go";

}  // namespace

bool SidetoneEngine::Run::HasEnded() {
  const std::lock_guard<std::mutex> guard(lock);
  return ended;
}

bool SidetoneEngine::Run::WaitUntilEnded(Clock::time_point deadline) {
  std::unique_lock<std::mutex> guard(lock);
  return ended_changed.wait_until(guard, deadline, [this] { return ended; });
}

void SidetoneEngine::Run::MarkEnded() {
  {
    const std::lock_guard<std::mutex> guard(lock);
    ended = true;
  }
  ended_changed.notify_all();
}

SidetoneEngine::SidetoneEngine(SessionFactory factory)
    : factory(std::move(factory)), volume(std::make_shared<std::atomic<float>>(kDefaultVolume)) {}

SidetoneEngine::~SidetoneEngine() {
  StopCurrent();
  for (const std::shared_ptr<Run>& run : stopping) {
    if (run->thread.joinable()) {
      run->thread.join();
    }
  }
}

float SidetoneEngine::ClampVolume(float volume) {
  // A NaN volume would turn every sample into NaN; it plays nothing instead.
  if (std::isnan(volume)) {
    return kMinVolume;
  }
  return std::clamp(volume, kMinVolume, kMaxVolume);
}

void SidetoneEngine::StopCurrent() {
  if (current) {
    current->stop_requested.store(true);
    if (current->thread.joinable()) {
      stopping.push_back(std::move(current));
    }
    current.reset();
  }
  JoinEnded();
}

void SidetoneEngine::JoinEnded() {
  // A worker that has ended is past its last shared access, so the join
  // only waits for the thread's exit.
  std::erase_if(stopping, [](const std::shared_ptr<Run>& run) {
    if (!run->HasEnded()) {
      return false;
    }
    if (run->thread.joinable()) {
      run->thread.join();
    }
    return true;
  });
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
  StopCurrent();
  AppendLog(kLogStopped);
  volume->store(ClampVolume(new_volume));

  auto run = std::make_shared<Run>();
  try {
    // The worker keeps its own references, so nothing it touches goes away
    // while it runs, also when it is let go at teardown.
    run->thread = std::thread([run_flags = run, factory = factory, volume = volume,
                               input = input_device_id, output = output_device_id]() {
      // Nothing may unwind out of the thread. A failure before the monitor
      // runs ends it like a failed set-up; one after leaves it failed too,
      // so the engine never reports a monitor whose worker is gone.
      try {
        RunSidetoneLoop(factory, input, output, run_flags->stop_requested, *volume,
                        run_flags->state);
      } catch (...) {
        run_flags->state.store(kSidetoneFailed);
      }
      int32_t expected = kSidetoneIdle;
      run_flags->state.compare_exchange_strong(expected, kSidetoneFailed);
      run_flags->MarkEnded();
    });
  } catch (const std::exception&) {
    AppendLog(kLogStartThreadFailed);
    run->state.store(kSidetoneFailed);
    current = std::move(run);
    answer(false);
    return;
  }
  current = std::move(run);
  pending_answer = std::move(answer);
  start_deadline = Clock::now() + kStartTimeout;
}

bool SidetoneEngine::Poll(Clock::time_point now) {
  JoinEnded();
  if (!pending_answer) {
    return NeedsPolling();
  }
  const int32_t state = current ? current->state.load() : kSidetoneFailed;
  if (state == kSidetoneRunning) {
    AppendLog(kLogStarted);
    Answer(true);
  } else if (state < 0) {
    // The failed state stays readable; the ended worker is joined.
    if (current->thread.joinable()) {
      stopping.push_back(current);
    }
    JoinEnded();
    AppendLog(kLogStartFailed);
    Answer(false);
  } else if (now >= start_deadline) {
    AppendLog(kLogStartTimeout);
    const StartAnswer answer = std::move(pending_answer);
    pending_answer = nullptr;
    Stop();
    answer(false);
  }
  return NeedsPolling();
}

void SidetoneEngine::Stop() {
  Answer(false);
  StopCurrent();
  AppendLog(kLogStopped);
}

void SidetoneEngine::Shutdown(std::chrono::milliseconds wait) {
  Stop();
  const Clock::time_point deadline = Clock::now() + wait;
  for (const std::shared_ptr<Run>& run : stopping) {
    if (!run->WaitUntilEnded(deadline)) {
      AppendLog(kLogWorkerLetGo);
      run->thread.detach();
    }
  }
  JoinEnded();
  stopping.clear();
}

void SidetoneEngine::SetVolume(float new_volume) { volume->store(ClampVolume(new_volume)); }

float SidetoneEngine::CurrentVolume() const { return volume->load(); }

int32_t SidetoneEngine::CurrentState() const {
  return current ? current->state.load() : kSidetoneIdle;
}
