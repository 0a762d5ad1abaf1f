#ifndef VELMO_AUDIO_SIDETONE_STREAM_H_
#define VELMO_AUDIO_SIDETONE_STREAM_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "audio/sidetone_audio_session.h"
#include "audio/sidetone_delay_control.h"
#include "audio/sidetone_dsp.h"
#include "audio/sidetone_resampler.h"
#include "audio/sidetone_statistics.h"

// The moving part of one monitor run: captured packets go into the queue,
// scaled by the volume, and the render buffer is kept ahead from it, at the
// delay the delay control asks for.
//
// Playback starts (and starts over after running dry) with silence up to the
// fill ahead of the queued input, fading in. While it plays, all the queue
// can give goes to the device but for a few milliseconds kept in hand: when
// the input stops coming, those are played fading out, so the device never
// stops on a live sample. A stop or a switch of device ends the same way:
// the hand fades out, silence follows, and the stream is stopped once the
// device has played past the fade.
class SidetoneStream {
 public:
  // While the render side takes nothing, capture alone may grow the queue to
  // this many times the backlog limit before it is cut.
  static constexpr size_t kCaptureBacklogFactor = 2;

  SidetoneStream(SidetoneAudioSession& session, const SidetoneMixFormat& capture_format,
                 const SidetoneMixFormat& render_format, uint32_t render_buffer_frames,
                 uint32_t period_frames);

  // Drains every pending capture packet into the queue, reading the volume
  // once per packet. A new volume is reached over a few milliseconds, a
  // step each sample, never at once.
  void CaptureStep(const std::atomic<float>& volume);
  // Keeps the render buffer ahead from the queue; `now_seconds` is any
  // steady clock.
  void RenderStep(double now_seconds);

  // Ends playback: fades out what is in hand and writes silence after it.
  void FadeOut();
  // True once the device has played past the fade-out (or there was nothing
  // to fade, or the device no longer answers): the stream may stop.
  bool Drained();

  const std::vector<float>& queue() const { return monitor_queue; }
  size_t max_queue_samples() const { return max_queue; }
  // The delay aimed at, in render frames.
  size_t fill_frames() const { return control.fill(); }
  // Where the lowest delay is held, in render frames.
  size_t target_frames() const { return control.target(); }
  bool playing() const { return is_playing; }
  double correction() const { return resampler.correction(); }
  // The counters so far, with the fill the run has settled at.
  const SidetoneStatistics& statistics();

 private:
  // Starts playback: silence up to the fill, or the oldest input beyond it
  // dropped, then the queue fading in.
  void StartPlayback(uint32_t pending, size_t available);
  // Plays all it has, fading out to silence, and stops.
  void RunDry(uint32_t pending, size_t available);
  // Drops the input about `count` outputs would read from the head of the
  // queue, cutting where the waveform after the cut continues what would
  // have played next, and keeps that for a crossfade; returns the frames
  // then available, of the `available` before.
  size_t Trim(size_t count, size_t available);
  size_t DropOutputs(size_t count);
  // Writes `silence` frames of silence, then `audio` resampled frames
  // (faded in from a fresh start, crossfaded after a trim, or faded out to
  // silence when `fade_out`), unless the buffer is not lent.
  bool Write(uint32_t silence, size_t audio, bool fade_out);
  void CutBacklogAndStartOver();
  // Scales the queued samples from `first` on by the volume, moving towards
  // `volume` by one step a sample.
  void ApplyVolume(size_t first, float volume);
  // Of `available` frames, those that may go to the device now.
  size_t BeyondHand(size_t available) const {
    return available > hand_frames ? available - hand_frames : 0;
  }

  SidetoneAudioSession& session;
  SidetoneFrameLayout capture_layout;
  SidetoneFrameLayout render_layout;
  uint32_t render_buffer_frames;
  uint32_t capture_rate;
  uint32_t render_rate;
  size_t max_queue;
  // Frames kept in hand for a fade-out.
  size_t hand_frames;
  SidetoneDelayControl control;
  SidetoneResampler resampler;
  SidetoneStatistics stats;
  std::vector<float> monitor_queue;
  bool is_playing = false;
  double now = 0.0;
  // Frames written at the last look, for the delay control's windows.
  size_t last_written = 0;
  // The length of every fade.
  uint32_t fade_frames;
  // Frames into the current fade-in.
  uint32_t faded = 0;
  // How far a trim's cut may move either way, and what it looks at to
  // choose: what would play next had nothing been trimmed. Its first
  // `crossfade_frames` fade out under the first frames written after the
  // trim.
  size_t splice_early_frames;
  size_t splice_late_frames;
  std::vector<float> splice_samples;
  size_t crossfade_frames = 0;
  size_t crossfaded = 0;
  // The volume being applied, where it is going and its step per sample.
  uint32_t ramp_samples;
  bool gain_known = false;
  float gain = 0.0f;
  float gain_target = 0.0f;
  float gain_step = 0.0f;
  // Whether anything was ever written, and the silence written after a
  // fade-out (none: nothing to wait for).
  bool ever_played = false;
  bool fading_out = false;
  size_t tail_frames = 0;
  // One render step's samples, kept so the loop does not allocate.
  std::vector<float> render_samples;
};

#endif  // VELMO_AUDIO_SIDETONE_STREAM_H_
