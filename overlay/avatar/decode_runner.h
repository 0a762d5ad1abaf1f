#ifndef VELMO_OVERLAY_AVATAR_DECODE_RUNNER_H_
#define VELMO_OVERLAY_AVATAR_DECODE_RUNNER_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

// How a decode on a helper thread ended for the thread that waited for it.
enum class DecodeRun {
  kFinished,
  // Not finished by its deadline, or no helper thread could start: worth
  // trying again later.
  kPutOff,
  kStopped,
};

// A decoder may take as long as its input makes it and nothing cuts one of
// its calls short, so each decode runs on a thread of its own that is given
// up at its deadline or on Interrupt and left to finish alone. At most one
// such thread is left running: other decodes still run beside it, but one
// that overruns too is waited for until either ends, so a stream of bad
// pictures cannot pile threads up.
class DecodeRunner {
 public:
  using Clock = std::chrono::steady_clock;
  // Runs `body` on a new thread that no one joins; false when none started.
  using ThreadStarter = std::function<bool(std::function<void()> body)>;

  static bool StartDetachedThread(std::function<void()> body);

  explicit DecodeRunner(ThreadStarter start_thread = StartDetachedThread);

  // Runs `work` and waits for it until `deadline` or Interrupt. The work must
  // own what it touches; `abandoned` is set once it is given up, and it
  // should then end soon.
  DecodeRun Run(std::function<void(const std::atomic<bool>& abandoned)> work,
                Clock::time_point deadline);
  // From any thread: ends the running and every later wait.
  void Interrupt();

 private:
  // Outlives the runner while a given-up decode still runs.
  struct Shared {
    std::mutex mutex;
    std::condition_variable finished;
    bool stopped = false;
    bool abandoned_running = false;
  };

  ThreadStarter start_thread_;
  std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
};

#endif  // VELMO_OVERLAY_AVATAR_DECODE_RUNNER_H_
