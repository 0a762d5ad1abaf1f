#ifndef VELMO_AUDIO_SIDETONE_RUN_LOOP_H_
#define VELMO_AUDIO_SIDETONE_RUN_LOOP_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "audio/sidetone_audio_session.h"

inline constexpr int32_t kSidetoneIdle = 0;
inline constexpr int32_t kSidetoneRunning = 1;
inline constexpr int32_t kSidetoneFailed = -1;

// One run of the monitor on the worker thread: opens and starts both streams
// (logging the first failing step), then sets `state` to running and moves
// audio every 5 ms until `stop_requested` is set. The session is released
// before it returns; on a failed set-up `state` is left untouched.
void RunSidetoneLoop(std::unique_ptr<SidetoneAudioSession> session, const std::wstring& input_id,
                     const std::wstring& output_id, const std::atomic<bool>& stop_requested,
                     const std::atomic<float>& volume, std::atomic<int32_t>& state);

#endif  // VELMO_AUDIO_SIDETONE_RUN_LOOP_H_
