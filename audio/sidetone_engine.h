#ifndef VELMO_AUDIO_SIDETONE_ENGINE_H_
#define VELMO_AUDIO_SIDETONE_ENGINE_H_

#include <atomic>
#include <chrono>
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
// Threads: Start, Poll, Stop and SetVolume run on the platform thread, which
// alone owns `worker` and the pending start. The worker shares only the three
// atomics with it.
//
// A start never waits: Start returns at once, and the platform thread calls
// Poll every few milliseconds until the start is answered.
class SidetoneEngine {
 public:
  using SessionFactory = std::function<std::unique_ptr<SidetoneAudioSession>()>;
  // Receives a start's outcome, once: true when the monitor runs.
  using StartAnswer = std::function<void(bool)>;
  using Clock = std::chrono::steady_clock;

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

  // Answers a start still pending with false, stops any running monitor,
  // then starts one on the two endpoints (empty ids: the defaults). The
  // outcome goes to `answer`: at once when no worker thread can be made,
  // otherwise from Poll (or false from a Stop or Start that comes first).
  void Start(const std::wstring& input_device_id, const std::wstring& output_device_id,
             float volume, StartAnswer answer);
  // Answers the pending start once the worker runs (true), has failed
  // (false) or has not got there by the time-out, about 2 s after Start
  // (false, and the monitor is stopped). True while a start is still
  // pending afterwards.
  bool Poll(Clock::time_point now);
  bool StartPending() const { return static_cast<bool>(pending_answer); }
  // Answers a start still pending with false, ends the monitor and joins its
  // worker; also fine when nothing runs.
  void Stop();
  // Takes effect on the next captured packet of a running monitor.
  void SetVolume(float volume);

  float CurrentVolume() const;
  int32_t CurrentState() const;

 private:
  static float ClampVolume(float volume);
  void JoinWorker();
  void Answer(bool running);

  SessionFactory factory;
  std::atomic<bool> stop_requested{true};
  std::atomic<float> volume{kDefaultVolume};
  std::atomic<int32_t> state{0};
  std::thread worker;
  StartAnswer pending_answer;
  Clock::time_point start_deadline;
};

#endif  // VELMO_AUDIO_SIDETONE_ENGINE_H_
