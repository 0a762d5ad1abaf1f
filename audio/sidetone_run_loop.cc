#include "audio/sidetone_run_loop.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "audio/sidetone_stream.h"
#include "diagnostics/app_log.h"

namespace {

// An idle microphone may deliver nothing for seconds; the loop still looks
// for a stop and a lost device this often.
constexpr uint32_t kWaitMs = 100;
// Reopening a lost device: first at once, then after waits that double up to
// the longest, each cut short by a stop.
constexpr std::chrono::milliseconds kFirstRetry{50};
constexpr std::chrono::milliseconds kLongestRetry{800};
constexpr std::chrono::milliseconds kStopCheck{10};
// A stop or a switch of device waits for the fade-out to play, a device
// period at a time, but never longer than this: a device that stops taking
// frames is stopped all the same.
constexpr uint32_t kDrainWaitMs = 10;
constexpr std::chrono::milliseconds kLongestDrain{250};

constexpr char kLogComInitFailed[] = "sidetone_com_init_failed";
constexpr char kLogEnumeratorFailed[] = "sidetone_enumerator_failed";
constexpr char kLogCaptureDeviceFailed[] = "sidetone_capture_device_failed";
constexpr char kLogRenderDeviceFailed[] = "sidetone_render_device_failed";
constexpr char kLogActivateClientFailed[] = "sidetone_activate_client_failed";
constexpr char kLogMixFormatFailed[] = "sidetone_mix_format_failed";
constexpr char kLogCaptureInitFailed[] = "sidetone_capture_init_failed";
constexpr char kLogRenderInitFailed[] = "sidetone_render_init_failed";
constexpr char kLogGetServiceFailed[] = "sidetone_get_service_failed";
constexpr char kLogLoopRunning[] = "sidetone_loop_running";
constexpr char kLogDeviceLost[] = "sidetone_device_lost";
constexpr char kLogDeviceBack[] = "sidetone_device_back";

void LogError(SidetoneAudioSession& session) {
  const int32_t code = session.LastError();
  if (code != 0) {
    char line[32];
    std::snprintf(line, sizeof line, "sidetone_error hr=0x%08X", static_cast<uint32_t>(code));
    AppendLogNonBlocking(line);
  }
}

enum class SetUpResult { kReady, kFailed, kStopped };

// Runs the set-up steps in order, looking for a stop before each; on a
// failure logs its word and error code unless `quiet`.
SetUpResult SetUp(SidetoneAudioSession& session, const std::wstring& input_id,
                  const std::wstring& output_id, const std::atomic<bool>& stop_requested,
                  bool quiet, SidetoneMixFormat& capture_format, SidetoneMixFormat& render_format) {
  using Step = std::function<bool()>;
  const std::pair<Step, const char*> steps[] = {
      {[&] { return session.InitializeCom(); }, kLogComInitFailed},
      {[&] { return session.CreateEnumerator(); }, kLogEnumeratorFailed},
      {[&] { return session.OpenDevice(SidetoneDirection::kCapture, input_id); },
       kLogCaptureDeviceFailed},
      {[&] { return session.OpenDevice(SidetoneDirection::kRender, output_id); },
       kLogRenderDeviceFailed},
      {[&] { return session.ActivateClients(); }, kLogActivateClientFailed},
      {[&] { return session.GetMixFormats(capture_format, render_format); }, kLogMixFormatFailed},
      {[&] { return session.InitializeStream(SidetoneDirection::kCapture); },
       kLogCaptureInitFailed},
      {[&] { return session.InitializeStream(SidetoneDirection::kRender); }, kLogRenderInitFailed},
      {[&] { return session.GetServices(); }, kLogGetServiceFailed},
  };
  for (const auto& [step, failure] : steps) {
    if (stop_requested.load()) {
      return SetUpResult::kStopped;
    }
    if (!step()) {
      if (!quiet) {
        AppendLogNonBlocking(failure);
        LogError(session);
      }
      return SetUpResult::kFailed;
    }
  }
  return stop_requested.load() ? SetUpResult::kStopped : SetUpResult::kReady;
}

// Fades out and lets the device play past the fade before the session, and
// with it the streams, is released.
void FinishPlayback(SidetoneAudioSession& session, SidetoneStream& stream) {
  stream.FadeOut();
  const auto deadline = std::chrono::steady_clock::now() + kLongestDrain;
  while (!stream.Drained() && std::chrono::steady_clock::now() < deadline) {
    session.Wait(kDrainWaitMs);
  }
}

// Moves audio until a stop (true) or the device is lost (false).
bool Play(SidetoneAudioSession& session, SidetoneStream& stream,
          const std::atomic<bool>& stop_requested, const std::atomic<float>& volume) {
  session.StartCapture();
  bool render_started = false;
  while (!stop_requested.load()) {
    session.Wait(kWaitMs);
    stream.CaptureStep(volume);
    if (render_started || !stream.queue().empty()) {
      stream.RenderStep(
          std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
              .count());
      if (!render_started) {
        session.StartRender();
        render_started = true;
      }
    }
    if (session.DeviceLost()) {
      return false;
    }
  }
  return true;
}

void AddUp(SidetoneStatistics& total, const SidetoneStatistics& run) {
  total.underruns += run.underruns;
  total.trims += run.trims;
  total.discontinuities += run.discontinuities;
  total.fill_ms = run.fill_ms;
  for (size_t ms = 0; ms < SidetoneStatistics::kDelaySlots; ++ms) {
    total.delays_ms[ms] += run.delays_ms[ms];
  }
}

// Waits `wait` unless a stop comes first; true when it did.
bool StopWithin(std::chrono::milliseconds wait, const std::atomic<bool>& stop_requested) {
  for (auto waited = std::chrono::milliseconds(0); waited < wait; waited += kStopCheck) {
    if (stop_requested.load()) {
      return true;
    }
    std::this_thread::sleep_for(kStopCheck);
  }
  return stop_requested.load();
}

}  // namespace

void RunSidetoneLoop(const SidetoneSessionFactory& factory, const std::wstring& input_id,
                     const std::wstring& output_id, const std::atomic<bool>& stop_requested,
                     const std::atomic<float>& volume, std::atomic<int32_t>& state) {
  SidetoneStatistics totals;
  std::chrono::milliseconds retry(0);
  bool running = false;
  while (true) {
    SidetoneMixFormat capture_format;
    SidetoneMixFormat render_format;
    std::unique_ptr<SidetoneAudioSession> session = factory();
    const SetUpResult result = SetUp(*session, input_id, output_id, stop_requested, running,
                                     capture_format, render_format);
    if (result == SetUpResult::kStopped || (result == SetUpResult::kFailed && !running)) {
      break;
    }
    if (result == SetUpResult::kFailed) {
      session.reset();
      retry = std::clamp(retry * 2, kFirstRetry, kLongestRetry);
      if (StopWithin(retry, stop_requested)) {
        break;
      }
      continue;
    }
    SidetoneStream stream(*session, capture_format, render_format, session->RenderBufferFrames(),
                          session->RenderPeriodFrames());
    if (running) {
      ++totals.restarts;
      AppendLogNonBlocking(kLogDeviceBack);
    } else {
      running = true;
      // Logged first, so the engine's answer always follows the line.
      AppendLogNonBlocking(kLogLoopRunning);
      state.store(kSidetoneRunning);
    }
    retry = std::chrono::milliseconds(0);
    const bool stopped = Play(*session, stream, stop_requested, volume);
    FinishPlayback(*session, stream);
    AddUp(totals, stream.statistics());
    if (stopped) {
      break;
    }
    ++totals.device_losses;
    AppendLogNonBlocking(kLogDeviceLost);
    LogError(*session);
  }
  if (running) {
    AppendLogNonBlocking(totals.Line().c_str());
  }
}
