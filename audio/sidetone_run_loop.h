#ifndef VELMO_AUDIO_SIDETONE_RUN_LOOP_H_
#define VELMO_AUDIO_SIDETONE_RUN_LOOP_H_

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "audio/sidetone_audio_session.h"

inline constexpr int32_t kSidetoneIdle = 0;
inline constexpr int32_t kSidetoneRunning = 1;
inline constexpr int32_t kSidetoneFailed = -1;

using SidetoneSessionFactory = std::function<std::unique_ptr<SidetoneAudioSession>()>;

// One run of the monitor on the worker thread: opens and starts both streams
// through a session from `factory` (logging the first failing step), then
// sets `state` to running and moves audio whenever a stream has work, until
// `stop_requested` is set. A device that goes away is reopened, with a
// back-off while it cannot be. Set-up looks for a stop between its steps.
// A stop, or a device that changes, fades playback out first and lets the
// fade play before the streams are released.
// Every session is released before it returns; on a failed or stopped
// set-up `state` is left untouched. A run that was running logs its
// statistics when it ends.
void RunSidetoneLoop(const SidetoneSessionFactory& factory, const std::wstring& input_id,
                     const std::wstring& output_id, const std::atomic<bool>& stop_requested,
                     const std::atomic<float>& volume, std::atomic<int32_t>& state);

#endif  // VELMO_AUDIO_SIDETONE_RUN_LOOP_H_
