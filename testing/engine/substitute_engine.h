#ifndef VELMO_TESTING_ENGINE_SUBSTITUTE_ENGINE_H_
#define VELMO_TESTING_ENGINE_SUBSTITUTE_ENGINE_H_

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "channels/engine/engine_api.h"
#include "testing/engine/driver_link.h"
#include "testing/engine/win_handles.h"

struct FlutterDesktopMessenger;
class FlutterDesktopView;

struct FlutterDesktopPluginRegistrar {
  FlutterDesktopEngine* engine;
  std::string name;
};

// Names the driver's message that the host answers.
struct FlutterDesktopMessageResponseHandle {
  uint64_t tag;
};

// A running substitute engine. Everything it delivers to the host (messages,
// replies, the next-frame call) runs on the thread that created it, from that
// thread's message loop.
struct FlutterDesktopEngine {
 public:
  static FlutterDesktopEngine* Create(const FlutterDesktopEngineProperties& properties);
  ~FlutterDesktopEngine();
  FlutterDesktopEngine(const FlutterDesktopEngine&) = delete;
  FlutterDesktopEngine& operator=(const FlutterDesktopEngine&) = delete;

  FlutterDesktopMessenger* messenger() const { return messenger_; }
  FlutterDesktopPluginRegistrar* Registrar(const char* name);

  void SetCallback(const char* channel, FlutterDesktopMessageCallback callback, void* user_data);
  // Any thread. False when no answer can come (no driver to give one).
  bool Send(const char* channel, const uint8_t* data, size_t size, FlutterDesktopBinaryReply reply,
            void* user_data);
  // Any thread, with the messenger locked.
  void Respond(const FlutterDesktopMessageResponseHandle* handle, const uint8_t* data, size_t size);

  void SetNextFrameCallback(FlutterDesktopOnNextFrameCallback callback, void* user_data);
  void ReloadSystemFonts();
  void ReportResync();

  // The engine's one view; null when it cannot be made.
  FlutterDesktopView* CreateView(int width, int height);
  FlutterDesktopView* view() const { return view_.get(); }
  // Asks for a new frame, rendered from the message loop.
  void RequestFrame();
  // Tells the driver once that the host has moved the view into its window.
  void ReportViewAttached(HWND parent);

 private:
  FlutterDesktopEngine();
  bool Start(const FlutterDesktopEngineProperties& properties);
  static LRESULT CALLBACK DispatchProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void QueueDriverLine(std::string line);
  void HandleDriverLines();
  void HandleDriverLine(const std::string& line);
  void DeliverMessage(const std::vector<std::string>& fields);
  void DeliverReply(const std::vector<std::string>& fields);
  void AnswerQuery(const std::vector<std::string>& fields);
  void RenderFrame();
  void SendToDriver(const std::string& line);
  void NoteTraffic(std::string text);

  // Cleared when the engine is destroyed, so a dispatch loop whose callback
  // destroyed the engine stops touching it.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  FlutterDesktopMessenger* messenger_ = nullptr;
  std::thread::id main_thread_;
  substitute_engine::UniqueWindow dispatch_window_;
  std::unique_ptr<substitute_engine::DriverLink> link_;
  std::vector<std::string> status_lines_;
  std::map<std::string, std::pair<FlutterDesktopMessageCallback, void*>> callbacks_;
  std::map<std::string, std::unique_ptr<FlutterDesktopPluginRegistrar>> registrars_;
  std::unique_ptr<FlutterDesktopView> view_;
  FlutterDesktopOnNextFrameCallback next_frame_callback_ = nullptr;
  void* next_frame_user_data_ = nullptr;
  std::atomic<bool> frame_requested_{false};
  uint64_t frames_ = 0;

  // Shared with other threads: the driver's incoming lines, the open response
  // handles, the replies awaited, the traffic shown in the view.
  std::mutex state_mutex_;
  std::deque<std::string> incoming_lines_;
  std::map<const FlutterDesktopMessageResponseHandle*,
           std::unique_ptr<FlutterDesktopMessageResponseHandle>>
      open_responses_;
  std::map<uint64_t, std::pair<FlutterDesktopBinaryReply, void*>> awaited_replies_;
  uint64_t next_send_tag_ = 1;
  std::deque<std::string> traffic_;
};

struct FlutterDesktopViewController {
  std::unique_ptr<FlutterDesktopEngine> engine;
};

#endif  // VELMO_TESTING_ENGINE_SUBSTITUTE_ENGINE_H_
