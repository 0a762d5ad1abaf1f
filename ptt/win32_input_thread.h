#ifndef VELMO_PTT_WIN32_INPUT_THREAD_H_
#define VELMO_PTT_WIN32_INPUT_THREAD_H_

#include <windows.h>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <type_traits>

#include "base/scoped_handle.h"

// A thread that does nothing but pump its own message queue, so that the
// low-level hooks and timers it owns are called at once, whatever the platform
// thread is busy with; it runs above normal priority, so that a busy desktop
// does not starve it into the hooks' timeout. Its own message window (for Raw
// Input and the session's notifications) gets what `input_window_procedure`
// does not answer with true. And the way back: reports posted to a message
// window of the platform thread, run there in the order they were posted.
class Win32InputThread {
 public:
  // True when it handled the message.
  using InputWindowProcedure = bool (*)(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  // On the platform thread.
  explicit Win32InputThread(InputWindowProcedure input_window_procedure);
  ~Win32InputThread();

  Win32InputThread(const Win32InputThread&) = delete;
  Win32InputThread& operator=(const Win32InputThread&) = delete;

  // From the platform thread: runs `task` on the input thread, or at once
  // when that thread could not be started.
  void Post(std::function<void()> task);
  // From the input thread: runs `task` on the platform thread.
  void Report(std::function<void()> task);
  // On the platform thread: ends the input thread once the tasks already
  // posted have run, then runs the reports it left. Nothing posted later runs.
  void Stop();

  // The input thread's message window, null until that thread made it or
  // when it could not. Read on the input thread.
  HWND input_window() const { return input_window_.get(); }

 private:
  using Tasks = std::deque<std::function<void()>>;

  struct WindowDestroyer {
    void operator()(HWND window) const { DestroyWindow(window); }
  };

  static DWORD WINAPI ThreadEntry(void* self);
  static LRESULT CALLBACK ReportWindowProcedure(HWND window, UINT message, WPARAM wparam,
                                                LPARAM lparam);
  static LRESULT CALLBACK InputWindowProcedureEntry(HWND window, UINT message, WPARAM wparam,
                                                    LPARAM lparam);
  void RunLoop();
  // The input thread's message loop, with the session's notifications
  // registered for the input window.
  void PumpMessages();
  // Takes the tasks queued so far under the lock and runs them outside it.
  static void RunQueued(std::mutex& mutex, Tasks& queue);
  static void RunGuarded(const std::function<void()>& task);

  std::mutex input_mutex_;
  Tasks input_tasks_;
  std::mutex report_mutex_;
  Tasks reports_;
  using UniqueWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDestroyer>;

  InputWindowProcedure input_window_procedure_;
  UniqueWindow report_window_;
  // Made and destroyed on the input thread, which owns its messages.
  UniqueWindow input_window_;
  ScopedKernelHandle thread_;
  DWORD thread_id_ = 0;
  bool stopped_ = false;
  // Set only when no input thread was started, before any report can come.
  bool run_inline_ = false;
};

#endif  // VELMO_PTT_WIN32_INPUT_THREAD_H_
