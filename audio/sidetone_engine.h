#ifndef VELMO_AUDIO_SIDETONE_ENGINE_H_
#define VELMO_AUDIO_SIDETONE_ENGINE_H_

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "audio/sidetone_audio_session.h"

// The microphone monitor: plays the capture endpoint's signal, mono and
// scaled by a volume, on a render endpoint, from a worker thread of its own.
// One per process.
//
// Threads: Start, Stop and SetVolume run on the platform thread, which alone
// owns `worker`. The worker shares only the three atomics with it.
class SidetoneEngine {
 public:
  using SessionFactory = std::function<std::unique_ptr<SidetoneAudioSession>()>;

  static constexpr float kDefaultVolume = 0.35f;
  static constexpr float kMinVolume = 0.0f;
  static constexpr float kMaxVolume = 1.0f;

  // The process's engine over WASAPI.
  static SidetoneEngine& Instance();

  // Each run of the worker opens its devices through a session `factory`
  // makes on the worker thread.
  explicit SidetoneEngine(SessionFactory factory);
  // Joins a worker still running, so no thread outlives the engine.
  ~SidetoneEngine();

  SidetoneEngine(const SidetoneEngine&) = delete;
  SidetoneEngine& operator=(const SidetoneEngine&) = delete;

  // Stops any running monitor, then starts one on the two endpoints (empty
  // ids: the defaults) and waits up to about 2 s for it to run. True when it
  // runs.
  bool Start(const std::wstring& input_device_id, const std::wstring& output_device_id,
             float volume);
  // Ends the monitor and joins its worker; also fine when nothing runs.
  void Stop();
  // Takes effect on the next captured packet of a running monitor.
  void SetVolume(float volume);

  float CurrentVolume() const;
  int32_t CurrentState() const;

 private:
  static float ClampVolume(float volume);
  void JoinWorker();

  SessionFactory factory;
  std::atomic<bool> stop_requested{true};
  std::atomic<float> volume{kDefaultVolume};
  std::atomic<int32_t> state{0};
  std::thread worker;
};

#endif  // VELMO_AUDIO_SIDETONE_ENGINE_H_
