#include "audio/sidetone_stream.h"

#include <algorithm>

namespace {

constexpr uint32_t kMillisecondsPerSecond = 1000;
// Kept back from the device while playing, so running dry can fade out.
constexpr uint32_t kHandMs = 3;
// Fades in, out and across a trim last 2.5 ms. A trim's cut may move up to
// 7.5 ms earlier or 2.5 ms later, so a voice down to about 100 Hz finds a
// cut a whole cycle from the surplus; what follows the cut is matched over
// two fades.
constexpr uint32_t kFadeDivisor = 400;
constexpr uint32_t kSpliceEarlyFades = 3;
constexpr size_t kMatchFades = 2;
// A new volume is reached over 7.5 ms of input, one small step a sample.
constexpr uint32_t kVolumeRampNumerator = 3;
constexpr uint32_t kVolumeRampDenominator = 400;
// After a stop's fade-out, 40 ms of silence: the stream is stopped once the
// device holds no more than the last 10 ms of it, so what the sound server
// keeps beyond the device's count is silence too.
constexpr uint32_t kTailMs = 40;
constexpr uint32_t kTailKeptMs = 10;

}  // namespace

SidetoneStream::SidetoneStream(SidetoneAudioSession& session,
                               const SidetoneMixFormat& capture_format,
                               const SidetoneMixFormat& render_format,
                               uint32_t render_buffer_frames, uint32_t period_frames)
    : session(session),
      capture_layout(LayoutOf(capture_format)),
      render_layout(LayoutOf(render_format)),
      render_buffer_frames(render_buffer_frames),
      capture_rate(FormatRate(capture_format)),
      render_rate(FormatRate(render_format)),
      max_queue(MaxQueueSamples(capture_rate)),
      hand_frames(static_cast<size_t>(render_rate) * kHandMs / kMillisecondsPerSecond),
      control(render_rate, period_frames, period_frames, hand_frames),
      resampler(capture_rate, render_rate),
      fade_frames(std::max(render_rate / kFadeDivisor, 1u)),
      splice_early_frames(fade_frames * kSpliceEarlyFades),
      splice_late_frames(fade_frames),
      ramp_samples(std::max(capture_rate * kVolumeRampNumerator / kVolumeRampDenominator, 1u)) {
  monitor_queue.reserve(max_queue);
  render_samples.reserve(render_buffer_frames);
  // A trim may look at all the queue can give: up to twice the backlog limit
  // at the render rate, and its correction.
  splice_samples.reserve(
      kCaptureBacklogFactor * max_queue * render_rate / std::max(capture_rate, 1u) + fade_frames);
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
    stats.discontinuities += packet.discontinuity ? 1 : 0;
    const size_t first = monitor_queue.size();
    AppendCapturePacket(packet.data, packet.frames, packet.silent, capture_layout, 1.0f,
                        monitor_queue);
    ApplyVolume(first, volume.load(std::memory_order_relaxed));
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

void SidetoneStream::ApplyVolume(size_t first, float volume) {
  const float wanted = volume > kSidetoneSilentVolume ? volume : 0.0f;
  if (!gain_known) {
    gain = wanted;
    gain_target = wanted;
    gain_known = true;
  }
  if (wanted != gain_target) {
    gain_target = wanted;
    gain_step = (wanted - gain) / static_cast<float>(ramp_samples);
  }
  for (size_t i = first; i < monitor_queue.size(); ++i) {
    if (gain != gain_target) {
      gain += gain_step;
      // Lands on the value exactly, so a volume of 0 plays true silence.
      if ((gain_step > 0.0f) == (gain >= gain_target)) {
        gain = gain_target;
      }
    }
    monitor_queue[i] *= gain;
  }
}

void SidetoneStream::RenderStep(double now_seconds) {
  now = now_seconds;
  uint32_t pending = 0;
  if (!session.GetCurrentPadding(pending) || pending >= render_buffer_frames) {
    return;
  }
  size_t available = resampler.Available(monitor_queue.size());
  if (is_playing && pending == 0) {
    // Emptied before this thread got to it: it stopped on whatever came last.
    ++stats.underruns;
    control.RanDry(now);
    is_playing = false;
  }
  if (!is_playing) {
    if (available != 0) {
      StartPlayback(pending, available);
    }
    return;
  }
  const size_t delay = pending + available;
  stats.NoteDelay(delay, render_rate);
  const SidetoneDelayControl::Steering steering = control.Look(delay, last_written);
  resampler.SetCorrection(steering.correction);
  // Only when the queue has nothing beyond the hand and the device cannot
  // cover its next period does the hand fade out. A low reading of the
  // device's padding with input still queued is ridden out by writing it.
  if (BeyondHand(available) == 0 && pending < control.dry_line()) {
    RunDry(pending, available);
    return;
  }
  // A surplus only a stall, or a start far too high, leaves behind, and
  // fill given back, wait until the queue holds all of them and the frames
  // the cut is matched over, so each goes in one splice whose crossfade is
  // written before the next. The device holds no more than a period above
  // the fill, so a surplus stays in the queue where a trim can reach it;
  // what waits is kept out of the device too, though never the fill's last
  // period.
  size_t owed = std::max(steering.surplus, steering.deferred);
  if (owed != 0 && available >= owed + splice_late_frames + fade_frames * kMatchFades) {
    available = Trim(owed, available);
    owed = 0;
  }
  const size_t device_limit = control.fill() + control.period() - std::min(owed, control.fill());
  size_t audio = BeyondHand(available);
  audio = std::min(audio, device_limit > pending ? device_limit - pending : 0);
  audio = std::min<size_t>(audio, render_buffer_frames - pending);
  last_written = Write(0, audio, false) ? audio : 0;
}

void SidetoneStream::StartPlayback(uint32_t pending, size_t available) {
  // A short gap raises the fill first, so playback starts over at it rather
  // than below it, where the loop would take many seconds to bend it up.
  control.Resumed(now);
  control.Restart();
  // The device plays a period before the next look: the lowest delay then
  // is the fill.
  const size_t start = control.fill() + control.period();
  const size_t held = pending + available;
  uint32_t silence = 0;
  if (held > start) {
    available = DropOutputs(held - start);
  } else {
    silence = static_cast<uint32_t>(start - held);
  }
  faded = 0;
  last_written = 0;
  crossfade_frames = 0;
  const uint32_t room = render_buffer_frames - pending;
  silence = std::min(silence, room);
  // The hand stays queued from the start, so input that stops right after
  // playback starts can still fade out.
  const size_t audio = std::min<size_t>(BeyondHand(available), room - silence);
  is_playing = Write(silence, audio, false);
}

const SidetoneStatistics& SidetoneStream::statistics() {
  stats.fill_ms = static_cast<uint32_t>(control.fill() * kMillisecondsPerSecond / render_rate);
  return stats;
}

void SidetoneStream::RunDry(uint32_t pending, size_t available) {
  Write(0, std::min<size_t>(available, render_buffer_frames - pending), true);
  ++stats.underruns;
  control.RanDry(now);
  is_playing = false;
}

void SidetoneStream::FadeOut() {
  fading_out = false;
  uint32_t pending = 0;
  if (!ever_played || !session.GetCurrentPadding(pending) || pending >= render_buffer_frames) {
    return;
  }
  // Playback that already ran dry has faded out; the tail still follows, so
  // the stream does not stop while that fade plays.
  const size_t room = render_buffer_frames - pending;
  const size_t audio =
      is_playing ? std::min({resampler.Available(monitor_queue.size()), hand_frames, room}) : 0;
  is_playing = false;
  const size_t tail =
      std::min(room - audio, static_cast<size_t>(render_rate) * kTailMs / kMillisecondsPerSecond);
  fading_out = Write(0, audio, true) && Write(static_cast<uint32_t>(tail), 0, false);
  tail_frames = fading_out ? tail : 0;
}

bool SidetoneStream::Drained() {
  uint32_t pending = 0;
  if (!fading_out || !session.GetCurrentPadding(pending)) {
    return true;
  }
  const size_t kept = static_cast<size_t>(render_rate) * kTailKeptMs / kMillisecondsPerSecond;
  return pending <= std::min(tail_frames, kept);
}

size_t SidetoneStream::Trim(size_t count, size_t available) {
  // What would play next, far enough to find where beyond the surplus the
  // waveform best continues it: the cut moves there, a little earlier (never
  // below half the surplus) or a little later.
  const size_t match = std::min(fade_frames * kMatchFades, available);
  const size_t shortest = count - std::min(count / 2, splice_early_frames);
  const size_t longest = std::min(count + splice_late_frames, available - match);
  splice_samples.resize(std::min(longest + match, available));
  SidetoneResampler continuation = resampler;
  continuation.Resample(monitor_queue, splice_samples.data(), splice_samples.size());
  count = MatchingCut(splice_samples, count, shortest, longest, match);
  crossfade_frames = std::min<size_t>(fade_frames, match);
  crossfaded = 0;
  ++stats.trims;
  control.Trimmed(count);
  return DropOutputs(count);
}

size_t SidetoneStream::DropOutputs(size_t count) {
  ConsumeFront(monitor_queue, resampler.Consumption(count));
  resampler.Reset();
  return resampler.Available(monitor_queue.size());
}

void SidetoneStream::CutBacklogAndStartOver() {
  CutBacklog(monitor_queue, max_queue);
  resampler.Reset();
  is_playing = false;
}

bool SidetoneStream::Write(uint32_t silence, size_t audio, bool fade_out) {
  const uint32_t frames = silence + static_cast<uint32_t>(audio);
  if (frames == 0) {
    return true;
  }
  uint8_t* buffer = session.GetRenderBuffer(frames);
  if (buffer == nullptr) {
    return false;
  }
  render_samples.assign(frames, 0.0f);
  float* samples = render_samples.data() + silence;
  const size_t consumed = resampler.Resample(monitor_queue, samples, audio);
  for (size_t i = 0; i < audio && faded < fade_frames; ++i, ++faded) {
    samples[i] *= static_cast<float>(faded + 1) / static_cast<float>(fade_frames);
  }
  for (size_t i = 0; i < audio && crossfaded < crossfade_frames; ++i, ++crossfaded) {
    const float weight = static_cast<float>(crossfaded + 1) / static_cast<float>(fade_frames + 1);
    samples[i] = splice_samples[crossfaded] * (1.0f - weight) + samples[i] * weight;
  }
  if (fade_out) {
    // Down to silence on the last frame written.
    const size_t length = std::min<size_t>(audio, fade_frames);
    for (size_t i = 0; i < length; ++i) {
      samples[audio - length + i] *=
          static_cast<float>(length - 1 - i) / static_cast<float>(length);
    }
  }
  ever_played = true;
  ConsumeFront(monitor_queue, consumed);
  if (monitor_queue.size() > max_queue) {
    CutBacklogAndStartOver();
  }
  WriteRenderFrames(render_samples, render_layout, buffer);
  session.ReleaseRenderBuffer(frames);
  return true;
}
