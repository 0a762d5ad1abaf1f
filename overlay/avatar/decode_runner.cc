#include "overlay/avatar/decode_runner.h"

#include <system_error>
#include <thread>
#include <utility>

bool DecodeRunner::StartDetachedThread(std::function<void()> body) {
  try {
    std::thread(std::move(body)).detach();
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

DecodeRunner::DecodeRunner(ThreadStarter start_thread) : start_thread_(std::move(start_thread)) {}

DecodeRun DecodeRunner::Run(std::function<void(const std::atomic<bool>& abandoned)> work,
                            Clock::time_point deadline) {
  struct Job {
    std::atomic<bool> abandoned{false};
    bool finished = false;  // guarded by Shared::mutex
  };
  {
    std::lock_guard lock(shared_->mutex);
    if (shared_->stopped) {
      return DecodeRun::kStopped;
    }
  }
  auto job = std::make_shared<Job>();
  const bool started = start_thread_([shared = shared_, job, work = std::move(work)] {
    work(job->abandoned);
    std::lock_guard lock(shared->mutex);
    job->finished = true;
    if (job->abandoned) {
      shared->abandoned_running = false;
    }
    shared->finished.notify_all();
  });
  if (!started) {
    return DecodeRun::kPutOff;
  }
  std::unique_lock lock(shared_->mutex);
  shared_->finished.wait_until(lock, deadline, [&] { return job->finished || shared_->stopped; });
  // Only one decode is ever left to run alone: past its deadline, this one is
  // still waited for while an earlier given-up decode runs, until either ends.
  shared_->finished.wait(
      lock, [&] { return job->finished || shared_->stopped || !shared_->abandoned_running; });
  if (job->finished) {
    return DecodeRun::kFinished;
  }
  job->abandoned = true;
  shared_->abandoned_running = true;
  return shared_->stopped ? DecodeRun::kStopped : DecodeRun::kPutOff;
}

void DecodeRunner::Interrupt() {
  std::lock_guard lock(shared_->mutex);
  shared_->stopped = true;
  shared_->finished.notify_all();
}
