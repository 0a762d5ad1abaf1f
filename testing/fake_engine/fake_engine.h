#ifndef VELMO_TESTING_FAKE_ENGINE_FAKE_ENGINE_H_
#define VELMO_TESTING_FAKE_ENGINE_FAKE_ENGINE_H_

// A recording stand-in for the engine library, linked into unit-test programs
// in place of flutter_windows.dll: it defines the engine's C functions, logs
// every call by name and lets a test play the engine's side (deliver a
// message, answer a send, report a frame). Safe to call from several threads.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "channels/engine/engine_api.h"

namespace fake_engine {

// How the fake behaves; Reset() restores these defaults.
struct Behaviour {
  bool engine_create_succeeds = true;
  bool view_controller_create_succeeds = true;
  bool send_with_reply_accepted = true;
  // Whether FlutterDesktopMessengerLock returns the messenger or null.
  bool lock_returns_messenger = true;
  bool top_level_proc_consumes = false;
  LRESULT top_level_proc_result = 0;
};

// The properties FlutterDesktopEngineCreate was given, copied at the call.
struct CreatedEngine {
  std::wstring assets_path;
  std::wstring icu_data_path;
  std::wstring aot_library_path;
  bool dart_entrypoint_null = false;
  std::string dart_entrypoint;
  int dart_entrypoint_argc = 0;
  bool dart_entrypoint_argv_null = false;
  std::vector<std::string> dart_entrypoint_argv;
  int gpu_preference = 0;
  int ui_thread_policy = 0;
  int windowing_mode = 0;
};

struct CallbackRegistration {
  std::string channel;
  FlutterDesktopMessageCallback callback = nullptr;
  void* user_data = nullptr;
};

struct SentMessage {
  std::string channel;
  std::vector<uint8_t> data;
  bool with_reply = false;
  FlutterDesktopBinaryReply reply = nullptr;
  void* reply_user_data = nullptr;
};

struct Response {
  const FlutterDesktopMessageResponseHandle* handle = nullptr;
  bool data_null = false;
  std::vector<uint8_t> data;
  // Whether the sending thread held the messenger lock.
  bool under_lock = false;
  std::thread::id thread;
};

// Forgets all calls and registrations and restores the default behaviour.
void Reset();
Behaviour& behaviour();

// Names of the engine functions called so far, in order.
std::vector<std::string> Calls();
// How often the named function was called.
int CallCount(const std::string& name);

std::optional<CreatedEngine> CreatedProperties();
std::vector<CallbackRegistration> CallbackRegistrations();
std::vector<SentMessage> SentMessages();
std::vector<Response> Responses();
std::vector<std::string> RegistrarNames();
// The arguments FlutterDesktopMessengerUnlock received.
std::vector<FlutterDesktopMessengerRef> UnlockArguments();
// AddRef calls minus Release calls.
int OutstandingMessengerReferences();
bool IsAvailableCalledUnderLock();

// The handles the fake hands out.
FlutterDesktopEngineRef EngineHandle();
FlutterDesktopMessengerRef MessengerHandle();
FlutterDesktopViewControllerRef ControllerHandle();
FlutterDesktopViewRef ViewHandle();
HWND ViewWindow();
FlutterDesktopPluginRegistrarRef RegistrarHandle();
// A distinct response handle per index.
const FlutterDesktopMessageResponseHandle* ResponseHandle(int index);

// Plays the engine's side. DeliverMessage calls the callback most recently
// registered for the channel and returns false when there is none.
bool DeliverMessage(const std::string& channel, const std::vector<uint8_t>& message,
                    const FlutterDesktopMessageResponseHandle* response_handle);
// Calls the reply of the send at `index` (once, like the engine).
void AnswerSend(size_t index, const uint8_t* data, size_t data_size);
// Reports a frame: runs the pending next-frame callback once, if any.
void ProduceFrame();
// Calls the most recently registered next-frame callback again, as an engine
// that reported one registration twice would.
void ReplayLastNextFrameCallback();
// Stops the engine as its shutdown would: the messenger becomes unavailable.
void ShutDownEngine();

}  // namespace fake_engine

#endif  // VELMO_TESTING_FAKE_ENGINE_FAKE_ENGINE_H_
