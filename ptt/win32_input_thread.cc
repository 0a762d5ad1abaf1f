#include "ptt/win32_input_thread.h"

#include <utility>

#include "diagnostics/app_log.h"

namespace {

constexpr wchar_t kReportWindowClass[] = L"VelmoPushToTalkReports";
// Posted to either side when tasks wait for it.
constexpr UINT kTasksWaitingMessage = WM_APP + 1;

}  // namespace

Win32InputThread::Win32InputThread() {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = ReportWindowProcedure;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = kReportWindowClass;
  // A second instance finds the class already there.
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
  RunQueued(input_mutex_, input_tasks_);
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.hwnd == nullptr && message.message == kTasksWaitingMessage) {
      RunQueued(input_mutex_, input_tasks_);
    } else {
      // The watchdog's WM_TIMER reaches its procedure here.
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
    AppendLog("ptt_task_failed");
  }
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
