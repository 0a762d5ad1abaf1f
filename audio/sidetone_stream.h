#ifndef VELMO_AUDIO_SIDETONE_STREAM_H_
#define VELMO_AUDIO_SIDETONE_STREAM_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "audio/sidetone_audio_session.h"
#include "audio/sidetone_dsp.h"
#include "audio/sidetone_resampler.h"

// The moving part of one monitor run: captured packets go into the queue,
// and the render buffer is kept ahead from it.
//
// Pacing: when playback starts (and again whenever the render buffer has run
// empty), the monitor holds exactly kSidetoneFillMs of audio between the
// render buffer and the queue: silence makes up a shortfall, and the oldest
// queued input beyond it is dropped, so a stall never adds to the delay for
// good. From then on every render step writes all the queue can give, up to
// the buffer's free space, so capture packets that arrive late or in bursts,
// and late wake-ups of the loop, are absorbed as long as that fill lasts.
// Playback that starts over fades in, so it resumes without a click.
//
// A stall can also add delay where the monitor cannot see it run dry: the
// audio stack below the render buffer may go silent and resume with the
// render buffer never reported empty, while the capture side delivers what
// it held back. So the monitor keeps the lowest delay it held over each
// stretch of 200 ms of playback; when even that lowest
// point stands well above the fill, the surplus is dropped from the queue with a
// short crossfade.
class SidetoneStream {
 public:
  // While the render side takes nothing, capture alone may grow the queue to
  // this many times the backlog limit before it is cut.
  static constexpr size_t kCaptureBacklogFactor = 2;

  SidetoneStream(SidetoneAudioSession& session, const SidetoneMixFormat& capture_format,
                 const SidetoneMixFormat& render_format, uint32_t render_buffer_frames);

  // Primes the render buffer with silence up to the fill the monitor holds.
  void PrimeSilence();
  // Drains every pending capture packet into the queue, reading the volume
  // once per packet.
  void CaptureStep(const std::atomic<float>& volume);
  // Keeps the render buffer ahead from the queue.
  void RenderStep();

  const std::vector<float>& queue() const { return monitor_queue; }
  size_t max_queue_samples() const { return max_queue; }
  // Render frames held at every start of playback.
  uint32_t fill_frames() const { return fill; }

 private:
  // Writes `silence` frames of silence, then `audio` resampled frames
  // (faded in from a fresh start, or crossfaded from what was dropped),
  // unless the buffer is not lent.
  void Write(uint32_t silence, size_t audio);
  // Notes the delay `held` before a write while playing, and drops the
  // surplus at the end of each window. Returns the frames now available.
  size_t TrimDelay(size_t held, size_t available);
  // Drops the input `count` outputs would read from the head of the queue;
  // returns the frames then available.
  size_t DropOutputs(size_t count);
  // Keeps only the newest part of an overlong queue, and plays it as a
  // fresh start.
  void CutBacklogAndStartOver();

  SidetoneAudioSession& session;
  SidetoneFrameLayout capture_layout;
  SidetoneFrameLayout render_layout;
  uint32_t render_buffer_frames;
  uint32_t capture_rate;
  uint32_t render_rate;
  size_t max_queue;
  uint32_t fill;
  SidetoneResampler resampler;
  std::vector<float> monitor_queue;
  // False until playback starts, and again once the render buffer ran empty.
  bool playing = false;
  // Frames into the current fade-in.
  uint32_t faded = 0;
  uint32_t fade_frames;
  // The lowest delay (render buffer plus queue, in render frames) seen in
  // the current window, and the frames written since it began.
  size_t lowest_held = std::numeric_limits<size_t>::max();
  size_t window_written = 0;
  size_t window_frames;
  size_t tolerance;
  // What would have played next had nothing been dropped, faded out under
  // the first frames written after a drop.
  std::vector<float> crossfade_tail;
  size_t crossfaded = 0;
  // One render step's samples, kept so the 5 ms loop does not allocate.
  std::vector<float> render_samples;
};

#endif  // VELMO_AUDIO_SIDETONE_STREAM_H_
