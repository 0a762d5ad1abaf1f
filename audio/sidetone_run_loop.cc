#include "audio/sidetone_run_loop.h"

#include <chrono>
#include <thread>

#include "audio/sidetone_stream.h"
#include "diagnostics/app_log.h"

namespace {

constexpr std::chrono::milliseconds kPollPeriod{5};

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

// Runs the set-up steps in order; false after logging the first failure.
bool SetUp(SidetoneAudioSession& session, const std::wstring& input_id,
           const std::wstring& output_id, SidetoneMixFormat& capture_format,
           SidetoneMixFormat& render_format) {
  const char* failure = nullptr;
  if (!session.InitializeCom()) {
    failure = kLogComInitFailed;
  } else if (!session.CreateEnumerator()) {
    failure = kLogEnumeratorFailed;
  } else if (!session.OpenDevice(SidetoneDirection::kCapture, input_id)) {
    failure = kLogCaptureDeviceFailed;
  } else if (!session.OpenDevice(SidetoneDirection::kRender, output_id)) {
    failure = kLogRenderDeviceFailed;
  } else if (!session.ActivateClients()) {
    failure = kLogActivateClientFailed;
  } else if (!session.GetMixFormats(capture_format, render_format)) {
    failure = kLogMixFormatFailed;
  } else if (!session.InitializeStream(SidetoneDirection::kCapture)) {
    failure = kLogCaptureInitFailed;
  } else if (!session.InitializeStream(SidetoneDirection::kRender)) {
    failure = kLogRenderInitFailed;
  } else if (!session.GetServices()) {
    failure = kLogGetServiceFailed;
  }
  if (failure != nullptr) {
    AppendLog(failure);
    return false;
  }
  return true;
}

}  // namespace

void RunSidetoneLoop(std::unique_ptr<SidetoneAudioSession> session, const std::wstring& input_id,
                     const std::wstring& output_id, const std::atomic<bool>& stop_requested,
                     const std::atomic<float>& volume, std::atomic<int32_t>& state) {
  SidetoneMixFormat capture_format;
  SidetoneMixFormat render_format;
  if (!SetUp(*session, input_id, output_id, capture_format, render_format)) {
    return;
  }
  SidetoneStream stream(*session, capture_format, render_format, session->RenderBufferFrames());
  stream.PrimeSilence();
  session->StartStreams();
  state.store(kSidetoneRunning);
  AppendLog(kLogLoopRunning);

  while (!stop_requested.load()) {
    std::this_thread::sleep_for(kPollPeriod);
    stream.CaptureStep(volume);
    stream.RenderStep();
  }
}
