#include "ptt/win32_input_thread.h"

#include <wtsapi32.h>

#include <utility>

#include "diagnostics/app_log.h"

namespace {

constexpr wchar_t kReportWindowClass[] = L"VelmoPushToTalkReports";
constexpr wchar_t kInputWindowClass[] = L"VelmoPushToTalkInput";
// Posted to either side when tasks wait for it.
constexpr UINT kTasksWaitingMessage = WM_APP + 1;

struct PowerNotificationRemover {
  void operator()(HPOWERNOTIFY notification) const {
    UnregisterSuspendResumeNotification(notification);
  }
};
using UniquePowerNotification = std::unique_ptr<void, PowerNotificationRemover>;

// The session's notifications for one window, for as long as this lives.
class SessionNotification {
 public:
  explicit SessionNotification(HWND window)
      : window_(WTSRegisterSessionNotification(window, NOTIFY_FOR_THIS_SESSION) ? window
                                                                                : nullptr) {}
  ~SessionNotification() {
    if (window_ != nullptr) {
      WTSUnRegisterSessionNotification(window_);
    }
  }
  SessionNotification(const SessionNotification&) = delete;
  SessionNotification& operator=(const SessionNotification&) = delete;

  bool registered() const { return window_ != nullptr; }

 private:
  HWND window_;
};

}  // namespace

Win32InputThread::Win32InputThread(InputWindowProcedure input_window_procedure)
    : input_window_procedure_(input_window_procedure) {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = ReportWindowProcedure;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = kReportWindowClass;
  // A second instance finds the classes already there.
  RegisterClassW(&window_class);
  window_class.lpfnWndProc = InputWindowProcedureEntry;
  window_class.lpszClassName = kInputWindowClass;
  RegisterClassW(&window_class);
  report_window_.reset(CreateWindowExW(0, kReportWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                       nullptr, window_class.hInstance, nullptr));
  if (!report_window_) {
    AppendLog("ptt_report_window_failed");
    run_inline_ = true;
    return;
  }
  SetWindowLongPtrW(report_window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  thread_.reset(CreateThread(nullptr, 0, ThreadEntry, this, 0, &thread_id_));
  if (!thread_.valid()) {
    AppendLog("ptt_input_thread_failed");
    run_inline_ = true;
    return;
  }
  if (!SetThreadPriority(thread_.get(), THREAD_PRIORITY_HIGHEST)) {
    AppendLog("ptt_input_thread_priority_failed");
  }
}

Win32InputThread::~Win32InputThread() { Stop(); }

void Win32InputThread::Post(std::function<void()> task) {
  if (run_inline_) {
    // Without a thread of its own the platform thread does the input work
    // itself, as it did before there was one, rather than leave a call
    // unanswered for good.
    RunGuarded(task);
    return;
  }
  {
    const std::lock_guard<std::mutex> lock(input_mutex_);
    if (stopped_) {
      return;
    }
    input_tasks_.push_back(std::move(task));
  }
  // Fails only before the thread made its queue; it runs what waits right
  // after.
  PostThreadMessageW(thread_id_, kTasksWaitingMessage, 0, 0);
}

void Win32InputThread::Report(std::function<void()> task) {
  if (run_inline_) {
    // Called on the platform thread, which does the input work then.
    RunGuarded(task);
    return;
  }
  {
    const std::lock_guard<std::mutex> lock(report_mutex_);
    reports_.push_back(std::move(task));
  }
  PostMessageW(report_window_.get(), kTasksWaitingMessage, 0, 0);
}

void Win32InputThread::Stop() {
  if (thread_.valid()) {
    Post([] { PostQuitMessage(0); });
    {
      const std::lock_guard<std::mutex> lock(input_mutex_);
      stopped_ = true;
    }
    // Bounded: the input thread never waits on anything but its queue, and
    // its tasks and hook calls are short.
    WaitForSingleObject(thread_.get(), INFINITE);
    thread_.reset();
  }
  RunQueued(report_mutex_, reports_);
  report_window_.reset();
}

DWORD WINAPI Win32InputThread::ThreadEntry(void* self) {
  static_cast<Win32InputThread*>(self)->RunLoop();
  return 0;
}

void Win32InputThread::RunLoop() {
  MSG message;
  // Makes this thread's message queue, so that posts from now on arrive.
  PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  input_window_.reset(CreateWindowExW(0, kInputWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                      nullptr, GetModuleHandleW(nullptr), nullptr));
  if (input_window_) {
    SetWindowLongPtrW(input_window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  } else {
    AppendLogNonBlocking("ptt_input_window_failed");
  }
  PumpMessages();
  // Its owner is this thread, which alone may destroy it.
  input_window_.reset();
}

void Win32InputThread::PumpMessages() {
  // Lock, a remote session's disconnect and suspend take the keys away
  // without their releases. A message window gets no broadcasts, so it asks
  // for both kinds of notification by name.
  const SessionNotification session(input_window_.get());
  const UniquePowerNotification power(
      input_window_
          ? RegisterSuspendResumeNotification(input_window_.get(), DEVICE_NOTIFY_WINDOW_HANDLE)
          : nullptr);
  if (input_window_ && (!session.registered() || !power)) {
    AppendLogNonBlocking("ptt_session_notification_failed");
  }
  RunQueued(input_mutex_, input_tasks_);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.hwnd == nullptr && message.message == kTasksWaitingMessage) {
      RunQueued(input_mutex_, input_tasks_);
    } else {
      // The watchdog's WM_TIMER reaches its procedure here, Raw Input the
      // input window.
      DispatchMessageW(&message);
    }
  }
}

void Win32InputThread::RunQueued(std::mutex& mutex, Tasks& queue) {
  Tasks taken;
  {
    const std::lock_guard<std::mutex> lock(mutex);
    taken.swap(queue);
  }
  for (std::function<void()>& task : taken) {
    RunGuarded(task);
  }
}

void Win32InputThread::RunGuarded(const std::function<void()>& task) {
  // Nothing may unwind out of a thread entry, a hook or a window procedure.
  try {
    task();
  } catch (...) {
    AppendLogNonBlocking("ptt_task_failed");
  }
}

LRESULT CALLBACK Win32InputThread::InputWindowProcedureEntry(HWND window, UINT message,
                                                             WPARAM wparam, LPARAM lparam) {
  auto* self = reinterpret_cast<Win32InputThread*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  try {
    if (self != nullptr && self->input_window_procedure_(window, message, wparam, lparam)) {
      return 0;
    }
  } catch (...) {
    AppendLogNonBlocking("ptt_task_failed");
  }
  // WM_INPUT wants it too, to free what the system kept for the message.
  return DefWindowProcW(window, message, wparam, lparam);
}

LRESULT CALLBACK Win32InputThread::ReportWindowProcedure(HWND window, UINT message, WPARAM wparam,
                                                         LPARAM lparam) {
  if (message == kTasksWaitingMessage) {
    auto* self = reinterpret_cast<Win32InputThread*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr) {
      RunQueued(self->report_mutex_, self->reports_);
    }
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}
