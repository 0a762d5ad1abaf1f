#include "audio/sidetone_stream.h"

#include <algorithm>

namespace {

// What the monitor holds between the render buffer and the queue whenever
// playback starts. Capture packets come every 10 ms, and a shared render
// buffer is drained a 10 ms period at a time, so 30 ms leaves one more period
// for a late packet or a late wake-up.
constexpr uint32_t kSidetoneFillMs = 30;
// A fresh start fades in over 2.5 ms.
constexpr uint32_t kFadeInDivisor = 400;
constexpr uint32_t kMillisecondsPerSecond = 1000;

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
      max_queue(MaxQueueSamples(capture_rate)),
      fill(render_rate * kSidetoneFillMs / kMillisecondsPerSecond),
      resampler(capture_rate, render_rate) {
  monitor_queue.reserve(max_queue);
  render_samples.reserve(render_buffer_frames);
}

void SidetoneStream::PrimeSilence() {
  const uint32_t frames = std::min(fill, render_buffer_frames);
  uint8_t* buffer = session.GetRenderBuffer(frames);
  if (buffer == nullptr) {
    return;
  }
  WriteSilentFrames(frames, render_layout, buffer);
  session.ReleaseRenderBuffer(frames);
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
      resampler.Reset();
      playing = false;
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
  if (pending == 0) {
    // The buffer ran empty: whatever played last ended abruptly, and the
    // queue may hold what piled up meanwhile. Start over.
    playing = false;
  }
  size_t available = resampler.Available(monitor_queue.size());
  if (available == 0) {
    return;
  }
  uint32_t silence = 0;
  if (!playing) {
    const size_t held = pending + available;
    if (held > fill) {
      const size_t drop = std::min(resampler.Consumption(held - fill), monitor_queue.size());
      ConsumeFront(monitor_queue, drop);
      resampler.Reset();
      available = resampler.Available(monitor_queue.size());
    } else {
      silence = static_cast<uint32_t>(fill - held);
    }
    faded = 0;
  }
  const uint32_t room = render_buffer_frames - pending;
  silence = std::min(silence, room);
  Write(silence, std::min<size_t>(available, room - silence));
}

void SidetoneStream::Write(uint32_t silence, size_t audio) {
  const uint32_t frames = silence + static_cast<uint32_t>(audio);
  uint8_t* buffer = frames != 0 ? session.GetRenderBuffer(frames) : nullptr;
  if (buffer == nullptr) {
    return;
  }
  playing = true;
  render_samples.assign(frames, 0.0f);
  const size_t consumed = resampler.Resample(monitor_queue, render_samples.data() + silence, audio);
  const uint32_t fade_frames = std::max(render_rate / kFadeInDivisor, 1u);
  for (size_t i = silence; i < frames && faded < fade_frames; ++i, ++faded) {
    render_samples[i] *= static_cast<float>(faded + 1) / static_cast<float>(fade_frames);
  }
  ConsumeFront(monitor_queue, consumed);
  if (monitor_queue.size() > max_queue) {
    CutBacklog(monitor_queue, max_queue);
    resampler.Reset();
    playing = false;
  }
  WriteRenderFrames(render_samples, render_layout, buffer);
  session.ReleaseRenderBuffer(frames);
}
