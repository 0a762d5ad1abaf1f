#include "audio/sidetone_run_loop.h"

#include <chrono>
#include <cstring>
#include <thread>

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

// The render buffer starts full of silence, so the first captured audio
// queues behind it instead of racing an empty buffer.
void PrefillSilence(SidetoneAudioSession& session, const SidetoneMixFormat& render_format,
                    uint32_t frames) {
  uint8_t* buffer = session.GetRenderBuffer(frames);
  if (buffer == nullptr) {
    return;
  }
  std::memset(buffer, 0, static_cast<size_t>(frames) * render_format.block_align);
  session.ReleaseRenderBuffer(frames);
}

}  // namespace

SidetoneStream::SidetoneStream(SidetoneAudioSession& session,
                               const SidetoneMixFormat& capture_format,
                               const SidetoneMixFormat& render_format,
                               uint32_t render_buffer_frames)
    : session(session),
      capture_layout(LayoutOf(capture_format)),
      render_layout(LayoutOf(render_format)),
      render_buffer_frames(render_buffer_frames),
      capture_rate(FormatRate(capture_format)),
      render_rate(FormatRate(render_format)),
      max_queue(MaxQueueSamples(capture_rate)) {
  monitor_queue.reserve(max_queue);
  render_samples.reserve(render_buffer_frames);
}

void SidetoneStream::CaptureStep(const std::atomic<float>& volume) {
  uint32_t packet_frames = 0;
  if (!session.GetNextPacketSize(packet_frames)) {
    return;
  }
  while (packet_frames != 0) {
    SidetoneCapturePacket packet;
    if (!session.GetCaptureBuffer(packet)) {
      return;
    }
    AppendCapturePacket(packet.data, packet.frames, packet.silent, capture_layout,
                        volume.load(std::memory_order_relaxed), monitor_queue);
    session.ReleaseCaptureBuffer(packet.frames);
    // The render side may be failing or stalled; capture alone must not grow
    // the queue without end.
    if (monitor_queue.size() > kCaptureBacklogFactor * max_queue) {
      CutBacklog(monitor_queue, max_queue);
    }
    if (!session.GetNextPacketSize(packet_frames)) {
      return;
    }
  }
}

void SidetoneStream::RenderStep() {
  uint32_t pending = 0;
  if (!session.GetCurrentPadding(pending) || pending >= render_buffer_frames) {
    return;
  }
  const uint32_t avail = render_buffer_frames - pending;
  if (monitor_queue.empty()) {
    return;
  }
  const size_t need = RenderNeed(avail, capture_rate, render_rate);
  if (monitor_queue.size() < need && need >= 2) {
    return;
  }
  uint8_t* buffer = session.GetRenderBuffer(avail);
  if (buffer == nullptr) {
    return;
  }
  render_samples.resize(avail);
  const size_t consumed =
      ResampleFromHead(monitor_queue, capture_rate, render_rate, render_samples);
  ConsumeFront(monitor_queue, consumed);
  CutBacklog(monitor_queue, max_queue);
  WriteRenderFrames(render_samples, render_layout, buffer);
  session.ReleaseRenderBuffer(avail);
}

void RunSidetoneLoop(std::unique_ptr<SidetoneAudioSession> session, const std::wstring& input_id,
                     const std::wstring& output_id, const std::atomic<bool>& stop_requested,
                     const std::atomic<float>& volume, std::atomic<int32_t>& state) {
  SidetoneMixFormat capture_format;
  SidetoneMixFormat render_format;
  if (!SetUp(*session, input_id, output_id, capture_format, render_format)) {
    return;
  }
  const uint32_t render_buffer_frames = session->RenderBufferFrames();
  PrefillSilence(*session, render_format, render_buffer_frames);
  session->StartStreams();
  state.store(kSidetoneRunning);
  AppendLog(kLogLoopRunning);

  SidetoneStream stream(*session, capture_format, render_format, render_buffer_frames);
  while (!stop_requested.load()) {
    std::this_thread::sleep_for(kPollPeriod);
    stream.CaptureStep(volume);
    stream.RenderStep();
  }
}
