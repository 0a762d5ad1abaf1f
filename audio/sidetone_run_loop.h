#ifndef VELMO_AUDIO_SIDETONE_RUN_LOOP_H_
#define VELMO_AUDIO_SIDETONE_RUN_LOOP_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/sidetone_audio_session.h"
#include "audio/sidetone_dsp.h"

inline constexpr int32_t kSidetoneIdle = 0;
inline constexpr int32_t kSidetoneRunning = 1;
inline constexpr int32_t kSidetoneFailed = -1;

// The moving part of one monitor run: captured packets go into the queue,
// the render buffer's free space is filled from it.
class SidetoneStream {
 public:
  // While the render side takes nothing, capture alone may grow the queue to
  // this many times the backlog limit before it is cut.
  static constexpr size_t kCaptureBacklogFactor = 2;

  SidetoneStream(SidetoneAudioSession& session, const SidetoneMixFormat& capture_format,
                 const SidetoneMixFormat& render_format, uint32_t render_buffer_frames);

  // Drains every pending capture packet into the queue, reading the volume
  // once per packet.
  void CaptureStep(const std::atomic<float>& volume);
  // Fills the render buffer's free space once the queue can cover it.
  void RenderStep();

  const std::vector<float>& queue() const { return monitor_queue; }
  size_t max_queue_samples() const { return max_queue; }

 private:
  SidetoneAudioSession& session;
  SidetoneFrameLayout capture_layout;
  SidetoneFrameLayout render_layout;
  uint32_t render_buffer_frames;
  uint32_t capture_rate;
  uint32_t render_rate;
  size_t max_queue;
  std::vector<float> monitor_queue;
  // One render step's samples, kept so the 5 ms loop does not allocate.
  std::vector<float> render_samples;
};

// One run of the monitor on the worker thread: opens and starts both streams
// (logging the first failing step), then sets `state` to running and moves
// audio every 5 ms until `stop_requested` is set. The session is released
// before it returns; on a failed set-up `state` is left untouched.
void RunSidetoneLoop(std::unique_ptr<SidetoneAudioSession> session, const std::wstring& input_id,
                     const std::wstring& output_id, const std::atomic<bool>& stop_requested,
                     const std::atomic<float>& volume, std::atomic<int32_t>& state);

#endif  // VELMO_AUDIO_SIDETONE_RUN_LOOP_H_
