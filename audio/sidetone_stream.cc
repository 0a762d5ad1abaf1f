#include "audio/sidetone_stream.h"

#include <algorithm>

namespace {

// What the monitor holds between the render buffer and the queue whenever
// playback starts. Capture packets come every 10 ms, and a shared render
// buffer is drained a 10 ms period at a time, so 30 ms leaves one more period
// for a late packet or a late wake-up.
constexpr uint32_t kSidetoneFillMs = 30;
// A fresh start fades in, and a drop crossfades, over 2.5 ms.
constexpr uint32_t kFadeDivisor = 400;
// Long enough to hold several capture packets and render periods, so the
// lowest delay in it is the delay the monitor really keeps.
constexpr uint32_t kDelayWindowDivisor = 5;
// How far the lowest delay of a window may stand above the fill before the
// surplus is dropped: arrival and drain times alone move it by a packet.
constexpr uint32_t kDelayToleranceMs = 10;
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
      resampler(capture_rate, render_rate),
      fade_frames(std::max(render_rate / kFadeDivisor, 1u)),
      window_frames(render_rate / kDelayWindowDivisor),
      tolerance(render_rate * kDelayToleranceMs / kMillisecondsPerSecond) {
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
      CutBacklogAndStartOver();
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
      available = DropOutputs(held - fill);
    } else {
      silence = static_cast<uint32_t>(fill - held);
    }
    faded = 0;
    lowest_held = std::numeric_limits<size_t>::max();
    window_written = 0;
    crossfade_tail.clear();
  } else {
    available = TrimDelay(pending + available, available);
  }
  const uint32_t room = render_buffer_frames - pending;
  silence = std::min(silence, room);
  Write(silence, std::min<size_t>(available, room - silence));
}

size_t SidetoneStream::TrimDelay(size_t held, size_t available) {
  lowest_held = std::min(lowest_held, held);
  if (window_written < window_frames) {
    return available;
  }
  const size_t surplus = lowest_held > fill + tolerance ? lowest_held - fill : 0;
  lowest_held = std::numeric_limits<size_t>::max();
  window_written = 0;
  // Only the queue can be dropped from, and the crossfade needs its frames.
  const size_t droppable = available > fade_frames ? available - fade_frames : 0;
  const size_t drop = std::min(surplus, droppable);
  if (drop == 0) {
    return available;
  }
  crossfade_tail.resize(fade_frames);
  SidetoneResampler continuation = resampler;
  continuation.Resample(monitor_queue, crossfade_tail.data(), fade_frames);
  crossfaded = 0;
  return DropOutputs(drop);
}

size_t SidetoneStream::DropOutputs(size_t count) {
  ConsumeFront(monitor_queue, resampler.Consumption(count));
  resampler.Reset();
  return resampler.Available(monitor_queue.size());
}

void SidetoneStream::CutBacklogAndStartOver() {
  CutBacklog(monitor_queue, max_queue);
  resampler.Reset();
  playing = false;
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
  for (size_t i = silence; i < frames && faded < fade_frames; ++i, ++faded) {
    render_samples[i] *= static_cast<float>(faded + 1) / static_cast<float>(fade_frames);
  }
  for (size_t i = silence; i < frames && crossfaded < crossfade_tail.size(); ++i, ++crossfaded) {
    const float weight = static_cast<float>(crossfaded + 1) / static_cast<float>(fade_frames + 1);
    render_samples[i] = crossfade_tail[crossfaded] * (1.0f - weight) + render_samples[i] * weight;
  }
  window_written += audio;
  ConsumeFront(monitor_queue, consumed);
  if (monitor_queue.size() > max_queue) {
    CutBacklogAndStartOver();
  }
  WriteRenderFrames(render_samples, render_layout, buffer);
  session.ReleaseRenderBuffer(frames);
}
