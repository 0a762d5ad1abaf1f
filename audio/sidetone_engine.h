#ifndef VELMO_AUDIO_SIDETONE_ENGINE_H_
#define VELMO_AUDIO_SIDETONE_ENGINE_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/sidetone_audio_session.h"

// The microphone monitor: plays the capture endpoint's signal, mono and
// scaled by a volume, on a render endpoint, from a worker thread of its own.
// One per process.
//
// Threads: Start, Poll, Stop, SetVolume and Shutdown run on the platform
// thread, which alone owns the workers and the pending start. Each worker
// shares only its own run's flags and the volume with it.
//
// The platform thread never waits for a worker: Start returns at once and is
// answered from Poll; a stop only asks the worker to end. A worker that has
// not ended yet is kept aside and joined by a later Start, Stop or Poll once
// it has. Only Shutdown, at the window's teardown, waits, and not for long.
class SidetoneEngine {
 public:
  using SessionFactory = std::function<std::unique_ptr<SidetoneAudioSession>()>;
  // Receives a start's outcome, once: true when the monitor runs.
  using StartAnswer = std::function<void(bool)>;
  using Clock = std::chrono::steady_clock;

  static constexpr float kDefaultVolume = 0.35f;
  static constexpr float kMinVolume = 0.0f;
  static constexpr float kMaxVolume = 1.0f;
  // How long the window's teardown waits for workers to end.
  static constexpr std::chrono::milliseconds kShutdownWait{500};

  // The process's engine over WASAPI.
  static SidetoneEngine& Instance();

  // Each run of the worker opens its devices through a session `factory`
  // makes on the worker thread.
  explicit SidetoneEngine(SessionFactory factory);
  // Joins every worker, so no thread outlives the engine. The process's
  // engine is never destroyed; this is for engines that tests make.
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
  // (false, and the monitor is stopped), and joins stopped workers that have
  // ended. True while there is still a start or a stopped worker to watch.
  bool Poll(Clock::time_point now);
  bool StartPending() const { return static_cast<bool>(pending_answer); }
  bool NeedsPolling() const { return StartPending() || !stopping.empty(); }
  // Answers a start still pending with false and asks the monitor to end;
  // also fine when nothing runs. Returns at once.
  void Stop();
  // Stops, then waits up to `wait` for every worker to end. One still stuck
  // in a driver call after that is let go: it ends on its own once the call
  // returns, or with the process.
  void Shutdown(std::chrono::milliseconds wait = kShutdownWait);
  // Takes effect on the next captured packet of a running monitor.
  void SetVolume(float volume);

  float CurrentVolume() const;
  int32_t CurrentState() const;
  // Workers asked to end that have not been joined yet.
  size_t StoppingWorkers() const { return stopping.size(); }

 private:
  // One worker and the flags it shares with the platform thread. The worker
  // holds the flags too, so a worker that is let go never touches freed ones.
  struct Run {
    std::atomic<bool> stop_requested{false};
    std::atomic<int32_t> state{0};
    std::thread thread;
    // Set by the worker as its last act.
    std::mutex lock;
    std::condition_variable ended_changed;
    bool ended = false;

    bool HasEnded();
    // False when `deadline` came first.
    bool WaitUntilEnded(Clock::time_point deadline);
    void MarkEnded();
  };

  static float ClampVolume(float volume);
  // Asks the current worker to end and keeps it for joining.
  void StopCurrent();
  void JoinEnded();
  void Answer(bool running);

  SessionFactory factory;
  std::shared_ptr<std::atomic<float>> volume;
  std::shared_ptr<Run> current;
  std::vector<std::shared_ptr<Run>> stopping;
  StartAnswer pending_answer;
  Clock::time_point start_deadline;
};

#endif  // VELMO_AUDIO_SIDETONE_ENGINE_H_
