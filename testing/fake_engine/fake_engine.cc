#include "testing/fake_engine/fake_engine.h"

#include <algorithm>
#include <mutex>

namespace fake_engine {
namespace {

struct State {
  Behaviour behaviour;
  std::vector<std::string> calls;
  std::optional<CreatedEngine> created;
  std::vector<CallbackRegistration> registrations;
  std::vector<SentMessage> sent;
  std::vector<Response> responses;
  std::vector<std::string> registrar_names;
  std::vector<FlutterDesktopMessengerRef> unlock_arguments;
  int outstanding_references = 0;
  bool messenger_available = true;
  bool is_available_under_lock = true;
  FlutterDesktopOnNextFrameCallback next_frame_callback = nullptr;
  void* next_frame_user_data = nullptr;
  FlutterDesktopOnNextFrameCallback last_next_frame_callback = nullptr;
  void* last_next_frame_user_data = nullptr;
  std::thread::id lock_owner;
  int lock_depth = 0;
};

std::mutex state_mutex;
State state;
// The messenger lock the engine would take around responses and shutdown.
std::recursive_mutex messenger_lock;

// Distinct addresses serve as handles; nothing ever looks behind them.
char engine_object;
char messenger_object;
char controller_object;
char view_object;
char view_window;
char registrar_object;
constexpr int kResponseHandleCount = 16;
char response_objects[kResponseHandleCount];

void Record(const char* name) {
  std::lock_guard guard(state_mutex);
  state.calls.emplace_back(name);
}

bool HoldsLock() { return state.lock_depth > 0 && state.lock_owner == std::this_thread::get_id(); }

void MarkUnavailable() {
  std::lock_guard engine_guard(messenger_lock);
  std::lock_guard guard(state_mutex);
  state.messenger_available = false;
}

}  // namespace

void Reset() {
  std::lock_guard guard(state_mutex);
  state = State{};
}

Behaviour& behaviour() { return state.behaviour; }

std::vector<std::string> Calls() {
  std::lock_guard guard(state_mutex);
  return state.calls;
}

int CallCount(const std::string& name) {
  std::lock_guard guard(state_mutex);
  return static_cast<int>(std::count(state.calls.begin(), state.calls.end(), name));
}

std::optional<CreatedEngine> CreatedProperties() {
  std::lock_guard guard(state_mutex);
  return state.created;
}

std::vector<CallbackRegistration> CallbackRegistrations() {
  std::lock_guard guard(state_mutex);
  return state.registrations;
}

std::vector<SentMessage> SentMessages() {
  std::lock_guard guard(state_mutex);
  return state.sent;
}

std::vector<Response> Responses() {
  std::lock_guard guard(state_mutex);
  return state.responses;
}

std::vector<std::string> RegistrarNames() {
  std::lock_guard guard(state_mutex);
  return state.registrar_names;
}

std::vector<FlutterDesktopMessengerRef> UnlockArguments() {
  std::lock_guard guard(state_mutex);
  return state.unlock_arguments;
}

int OutstandingMessengerReferences() {
  std::lock_guard guard(state_mutex);
  return state.outstanding_references;
}

bool IsAvailableCalledUnderLock() {
  std::lock_guard guard(state_mutex);
  return state.is_available_under_lock;
}

FlutterDesktopEngineRef EngineHandle() {
  return reinterpret_cast<FlutterDesktopEngineRef>(&engine_object);
}
FlutterDesktopMessengerRef MessengerHandle() {
  return reinterpret_cast<FlutterDesktopMessengerRef>(&messenger_object);
}
FlutterDesktopViewControllerRef ControllerHandle() {
  return reinterpret_cast<FlutterDesktopViewControllerRef>(&controller_object);
}
FlutterDesktopViewRef ViewHandle() { return reinterpret_cast<FlutterDesktopViewRef>(&view_object); }
HWND ViewWindow() { return reinterpret_cast<HWND>(&view_window); }
FlutterDesktopPluginRegistrarRef RegistrarHandle() {
  return reinterpret_cast<FlutterDesktopPluginRegistrarRef>(&registrar_object);
}
const FlutterDesktopMessageResponseHandle* ResponseHandle(int index) {
  return reinterpret_cast<const FlutterDesktopMessageResponseHandle*>(
      &response_objects[index % kResponseHandleCount]);
}

bool DeliverMessage(const std::string& channel, const std::vector<uint8_t>& message,
                    const FlutterDesktopMessageResponseHandle* response_handle) {
  CallbackRegistration target;
  {
    std::lock_guard guard(state_mutex);
    auto it = std::find_if(state.registrations.rbegin(), state.registrations.rend(),
                           [&](const CallbackRegistration& r) { return r.channel == channel; });
    if (it == state.registrations.rend() || it->callback == nullptr) {
      return false;
    }
    target = *it;
  }
  FlutterDesktopMessage incoming = {};
  incoming.struct_size = sizeof(incoming);
  incoming.channel = channel.c_str();
  incoming.message = message.empty() ? nullptr : message.data();
  incoming.message_size = message.size();
  incoming.response_handle = response_handle;
  target.callback(MessengerHandle(), &incoming, target.user_data);
  return true;
}

void AnswerSend(size_t index, const uint8_t* data, size_t data_size) {
  SentMessage sent;
  {
    std::lock_guard guard(state_mutex);
    sent = state.sent.at(index);
  }
  sent.reply(data, data_size, sent.reply_user_data);
}

void ProduceFrame() {
  FlutterDesktopOnNextFrameCallback callback;
  void* user_data;
  {
    std::lock_guard guard(state_mutex);
    callback = state.next_frame_callback;
    user_data = state.next_frame_user_data;
    state.next_frame_callback = nullptr;
    state.next_frame_user_data = nullptr;
  }
  if (callback != nullptr) {
    callback(user_data);
  }
}

void ReplayLastNextFrameCallback() {
  FlutterDesktopOnNextFrameCallback callback;
  void* user_data;
  {
    std::lock_guard guard(state_mutex);
    callback = state.last_next_frame_callback;
    user_data = state.last_next_frame_user_data;
  }
  if (callback != nullptr) {
    callback(user_data);
  }
}

void ShutDownEngine() { MarkUnavailable(); }

}  // namespace fake_engine

using fake_engine::Record;
using fake_engine::state;
using fake_engine::state_mutex;

extern "C" {

FlutterDesktopEngineRef FlutterDesktopEngineCreate(const FlutterDesktopEngineProperties* p) {
  Record("FlutterDesktopEngineCreate");
  fake_engine::CreatedEngine created;
  created.assets_path = p->assets_path ? p->assets_path : L"";
  created.icu_data_path = p->icu_data_path ? p->icu_data_path : L"";
  created.aot_library_path = p->aot_library_path ? p->aot_library_path : L"";
  created.dart_entrypoint_null = p->dart_entrypoint == nullptr;
  created.dart_entrypoint = p->dart_entrypoint ? p->dart_entrypoint : "";
  created.dart_entrypoint_argc = p->dart_entrypoint_argc;
  created.dart_entrypoint_argv_null = p->dart_entrypoint_argv == nullptr;
  for (int i = 0; p->dart_entrypoint_argv != nullptr && i < p->dart_entrypoint_argc; ++i) {
    created.dart_entrypoint_argv.emplace_back(p->dart_entrypoint_argv[i]);
  }
  created.gpu_preference = p->gpu_preference;
  created.ui_thread_policy = p->ui_thread_policy;
  created.windowing_mode = p->windowing_mode;
  std::lock_guard guard(state_mutex);
  state.created = created;
  state.messenger_available = state.behaviour.engine_create_succeeds;
  return state.behaviour.engine_create_succeeds ? fake_engine::EngineHandle() : nullptr;
}

bool FlutterDesktopEngineDestroy(FlutterDesktopEngineRef) {
  Record("FlutterDesktopEngineDestroy");
  fake_engine::MarkUnavailable();
  return true;
}

FlutterDesktopMessengerRef FlutterDesktopEngineGetMessenger(FlutterDesktopEngineRef) {
  Record("FlutterDesktopEngineGetMessenger");
  return fake_engine::MessengerHandle();
}

FlutterDesktopPluginRegistrarRef FlutterDesktopEngineGetPluginRegistrar(FlutterDesktopEngineRef,
                                                                        const char* plugin_name) {
  Record("FlutterDesktopEngineGetPluginRegistrar");
  std::lock_guard guard(state_mutex);
  state.registrar_names.emplace_back(plugin_name);
  return fake_engine::RegistrarHandle();
}

void FlutterDesktopEngineSetNextFrameCallback(FlutterDesktopEngineRef,
                                              FlutterDesktopOnNextFrameCallback callback,
                                              void* user_data) {
  Record("FlutterDesktopEngineSetNextFrameCallback");
  std::lock_guard guard(state_mutex);
  state.next_frame_callback = callback;
  state.next_frame_user_data = user_data;
  state.last_next_frame_callback = callback;
  state.last_next_frame_user_data = user_data;
}

void FlutterDesktopEngineReloadSystemFonts(FlutterDesktopEngineRef) {
  Record("FlutterDesktopEngineReloadSystemFonts");
}

FlutterDesktopViewControllerRef FlutterDesktopViewControllerCreate(int, int,
                                                                   FlutterDesktopEngineRef) {
  Record("FlutterDesktopViewControllerCreate");
  bool succeeds;
  {
    std::lock_guard guard(state_mutex);
    succeeds = state.behaviour.view_controller_create_succeeds;
  }
  if (!succeeds) {
    // The controller owns the engine also on failure, and stops it.
    fake_engine::MarkUnavailable();
    return nullptr;
  }
  return fake_engine::ControllerHandle();
}

void FlutterDesktopViewControllerDestroy(FlutterDesktopViewControllerRef) {
  Record("FlutterDesktopViewControllerDestroy");
  fake_engine::MarkUnavailable();
}

FlutterDesktopViewRef FlutterDesktopViewControllerGetView(FlutterDesktopViewControllerRef) {
  Record("FlutterDesktopViewControllerGetView");
  return fake_engine::ViewHandle();
}

void FlutterDesktopViewControllerForceRedraw(FlutterDesktopViewControllerRef) {
  Record("FlutterDesktopViewControllerForceRedraw");
}

bool FlutterDesktopViewControllerHandleTopLevelWindowProc(FlutterDesktopViewControllerRef, HWND,
                                                          UINT, WPARAM, LPARAM, LRESULT* result) {
  Record("FlutterDesktopViewControllerHandleTopLevelWindowProc");
  std::lock_guard guard(state_mutex);
  if (!state.behaviour.top_level_proc_consumes) {
    return false;
  }
  *result = state.behaviour.top_level_proc_result;
  return true;
}

HWND FlutterDesktopViewGetHWND(FlutterDesktopViewRef view) {
  Record("FlutterDesktopViewGetHWND");
  return view == fake_engine::ViewHandle() ? fake_engine::ViewWindow() : nullptr;
}

UINT FlutterDesktopGetDpiForMonitor(HMONITOR) {
  Record("FlutterDesktopGetDpiForMonitor");
  return 96;
}

void FlutterDesktopResyncOutputStreams(void) { Record("FlutterDesktopResyncOutputStreams"); }

bool FlutterDesktopMessengerSend(FlutterDesktopMessengerRef, const char* channel,
                                 const uint8_t* message, size_t message_size) {
  Record("FlutterDesktopMessengerSend");
  fake_engine::SentMessage sent;
  sent.channel = channel;
  if (message != nullptr) {
    sent.data.assign(message, message + message_size);
  }
  std::lock_guard guard(state_mutex);
  state.sent.push_back(std::move(sent));
  return true;
}

bool FlutterDesktopMessengerSendWithReply(FlutterDesktopMessengerRef, const char* channel,
                                          const uint8_t* message, size_t message_size,
                                          FlutterDesktopBinaryReply reply, void* user_data) {
  Record("FlutterDesktopMessengerSendWithReply");
  fake_engine::SentMessage sent;
  sent.channel = channel;
  if (message != nullptr) {
    sent.data.assign(message, message + message_size);
  }
  sent.with_reply = true;
  sent.reply = reply;
  sent.reply_user_data = user_data;
  std::lock_guard guard(state_mutex);
  if (!state.behaviour.send_with_reply_accepted) {
    return false;
  }
  state.sent.push_back(std::move(sent));
  return true;
}

void FlutterDesktopMessengerSendResponse(FlutterDesktopMessengerRef,
                                         const FlutterDesktopMessageResponseHandle* handle,
                                         const uint8_t* data, size_t data_length) {
  Record("FlutterDesktopMessengerSendResponse");
  fake_engine::Response response;
  response.handle = handle;
  response.data_null = data == nullptr;
  if (data != nullptr) {
    response.data.assign(data, data + data_length);
  }
  response.thread = std::this_thread::get_id();
  std::lock_guard guard(state_mutex);
  response.under_lock = fake_engine::HoldsLock();
  state.responses.push_back(std::move(response));
}

void FlutterDesktopMessengerSetCallback(FlutterDesktopMessengerRef, const char* channel,
                                        FlutterDesktopMessageCallback callback, void* user_data) {
  Record("FlutterDesktopMessengerSetCallback");
  std::lock_guard guard(state_mutex);
  state.registrations.push_back({channel, callback, user_data});
}

FlutterDesktopMessengerRef FlutterDesktopMessengerAddRef(FlutterDesktopMessengerRef messenger) {
  Record("FlutterDesktopMessengerAddRef");
  std::lock_guard guard(state_mutex);
  ++state.outstanding_references;
  return messenger;
}

void FlutterDesktopMessengerRelease(FlutterDesktopMessengerRef) {
  Record("FlutterDesktopMessengerRelease");
  std::lock_guard guard(state_mutex);
  --state.outstanding_references;
}

bool FlutterDesktopMessengerIsAvailable(FlutterDesktopMessengerRef) {
  Record("FlutterDesktopMessengerIsAvailable");
  std::lock_guard guard(state_mutex);
  state.is_available_under_lock = state.is_available_under_lock && fake_engine::HoldsLock();
  return state.messenger_available;
}

FlutterDesktopMessengerRef FlutterDesktopMessengerLock(FlutterDesktopMessengerRef messenger) {
  Record("FlutterDesktopMessengerLock");
  {
    std::lock_guard guard(state_mutex);
    if (!state.behaviour.lock_returns_messenger) {
      return nullptr;
    }
  }
  fake_engine::messenger_lock.lock();
  std::lock_guard guard(state_mutex);
  state.lock_owner = std::this_thread::get_id();
  ++state.lock_depth;
  return messenger;
}

void FlutterDesktopMessengerUnlock(FlutterDesktopMessengerRef messenger) {
  Record("FlutterDesktopMessengerUnlock");
  {
    std::lock_guard guard(state_mutex);
    state.unlock_arguments.push_back(messenger);
    if (!fake_engine::HoldsLock()) {
      return;
    }
    if (--state.lock_depth == 0) {
      state.lock_owner = std::thread::id();
    }
  }
  fake_engine::messenger_lock.unlock();
}

}  // extern "C"
