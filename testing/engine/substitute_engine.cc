#include "testing/engine/substitute_engine.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <utility>

#include "testing/engine/driver_line.h"
#include "testing/engine/engine_registry.h"
#include "testing/engine/hex_text.h"
#include "testing/engine/payload_summary.h"
#include "testing/engine/substitute_messenger.h"
#include "testing/engine/substitute_view.h"

namespace {

using substitute_engine::HexField;

constexpr wchar_t kDispatchClassName[] = L"VelmoSubstituteEngineDispatch";
constexpr UINT kDriverLinesMessage = WM_APP + 1;
constexpr UINT kRenderFrameMessage = WM_APP + 2;
constexpr size_t kTrafficLinesKept = 80;
// Holds every frame back by this many milliseconds, so tests can look at a
// host before its first frame.
constexpr char kFrameDelayVariable[] = "VELMO_SUBSTITUTE_ENGINE_FRAME_DELAY_MS";
constexpr UINT_PTR kFrameDelayTimer = 1;

UINT FrameDelayMilliseconds() {
  char value[16] = {};
  if (GetEnvironmentVariableA(kFrameDelayVariable, value, sizeof(value)) == 0) {
    return 0;
  }
  return static_cast<UINT>(std::strtoul(value, nullptr, 10));
}

void ReportProblem(const std::string& text) {
  std::fprintf(stderr, "substitute engine: %s\n", text.c_str());
  std::fflush(stderr);
}

std::wstring OrEmpty(const wchar_t* text) { return text == nullptr ? std::wstring() : text; }

std::string PathStatus(const char* label, const wchar_t* path) {
  const std::wstring wide = OrEmpty(path);
  const bool found = !wide.empty() && GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
  return std::string(label) + ": " +
         substitute_engine::Utf8FromWide(wide.c_str(), static_cast<int>(wide.size())) +
         (found ? " (found)" : " (missing)");
}

}  // namespace

FlutterDesktopEngine::FlutterDesktopEngine() = default;

FlutterDesktopEngine* FlutterDesktopEngine::Create(
    const FlutterDesktopEngineProperties& properties) {
  std::unique_ptr<FlutterDesktopEngine> engine(new FlutterDesktopEngine());
  if (!engine->Start(properties)) {
    return nullptr;
  }
  return engine.release();
}

bool FlutterDesktopEngine::Start(const FlutterDesktopEngineProperties& properties) {
  static substitute_engine::WindowClass dispatch_class(kDispatchClassName, DispatchProc);
  main_thread_ = std::this_thread::get_id();
  dispatch_window_.reset(CreateWindowExW(0, dispatch_class.name(), L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                         nullptr, substitute_engine::ThisModule(), this));
  if (!dispatch_window_) {
    ReportProblem("cannot create the dispatch window");
    return false;
  }
  messenger_ = new FlutterDesktopMessenger(this);
  status_lines_.push_back(PathStatus("assets", properties.assets_path));
  status_lines_.push_back(PathStatus("icu data", properties.icu_data_path));
  status_lines_.push_back(PathStatus("aot library", properties.aot_library_path));

  std::vector<std::string> arguments;
  for (int i = 0; i < properties.dart_entrypoint_argc; ++i) {
    const char* argument =
        properties.dart_entrypoint_argv == nullptr ? nullptr : properties.dart_entrypoint_argv[i];
    arguments.emplace_back(argument == nullptr ? "" : argument);
  }
  if (auto address = substitute_engine::FindDriverAddress(arguments)) {
    const std::string where = address->host + ":" + std::to_string(address->port);
    link_ = substitute_engine::DriverLink::Connect(
        *address, [this](std::string line) { QueueDriverLine(std::move(line)); });
    if (link_) {
      status_lines_.push_back("driver: " + where);
    } else {
      status_lines_.push_back("driver: cannot reach " + where);
      ReportProblem("cannot reach the driver at " + where);
    }
  } else {
    status_lines_.push_back("driver: none");
  }
  std::string hello =
      "hello " + std::to_string(GetCurrentProcessId()) + " " + std::to_string(arguments.size());
  for (const std::string& argument : arguments) {
    hello += ' ';
    hello += HexField(argument);
  }
  SendToDriver(hello);
  substitute_engine::RegisterLiveEngine(this);
  return true;
}

FlutterDesktopEngine::~FlutterDesktopEngine() {
  *alive_ = false;
  substitute_engine::UnregisterLiveEngine(this);
  if (messenger_ != nullptr) {
    {
      std::lock_guard lock(messenger_->mutex);
      messenger_->engine = nullptr;
    }
    // From here no other thread reaches this engine through the messenger.
    SendToDriver("bye");
  }
  link_.reset();
  view_.reset();
  dispatch_window_.reset();
  if (messenger_ != nullptr && --messenger_->references == 0) {
    delete messenger_;
  }
}

FlutterDesktopPluginRegistrar* FlutterDesktopEngine::Registrar(const char* name) {
  if (name == nullptr) {
    return nullptr;
  }
  auto& registrar = registrars_[name];
  if (!registrar) {
    registrar =
        std::make_unique<FlutterDesktopPluginRegistrar>(FlutterDesktopPluginRegistrar{this, name});
  }
  SendToDriver(std::string("registrar ") + name);
  NoteTraffic(std::string("registrar ") + name);
  return registrar.get();
}

void FlutterDesktopEngine::SetCallback(const char* channel, FlutterDesktopMessageCallback callback,
                                       void* user_data) {
  if (channel == nullptr) {
    return;
  }
  if (callback == nullptr) {
    callbacks_.erase(channel);
  } else {
    callbacks_[channel] = {callback, user_data};
  }
  const char* state = callback == nullptr ? " 0" : " 1";
  SendToDriver(std::string("handler ") + channel + state);
  NoteTraffic(std::string(callback == nullptr ? "handler removed " : "handler set ") + channel);
}

bool FlutterDesktopEngine::Send(const char* channel, const uint8_t* data, size_t size,
                                FlutterDesktopBinaryReply reply, void* user_data) {
  if (channel == nullptr || std::string_view(channel).find(' ') != std::string_view::npos ||
      *channel == '\0') {
    ReportProblem("message on an unusable channel name dropped");
    return false;
  }
  uint64_t tag = 0;
  if (reply != nullptr) {
    if (!link_) {
      return false;
    }
    std::lock_guard lock(state_mutex_);
    tag = next_send_tag_++;
    awaited_replies_[tag] = {reply, user_data};
  }
  SendToDriver(std::string("send ") + channel + " " + std::to_string(tag) + " " +
               HexField(data, size));
  NoteTraffic(std::string("host -> ") + channel + ": " +
              substitute_engine::SummarizeMessage(data, size));
  return true;
}

void FlutterDesktopEngine::Respond(const FlutterDesktopMessageResponseHandle* handle,
                                   const uint8_t* data, size_t size) {
  std::unique_ptr<FlutterDesktopMessageResponseHandle> used;
  {
    std::lock_guard lock(state_mutex_);
    auto open = open_responses_.find(handle);
    if (open != open_responses_.end()) {
      used = std::move(open->second);
      open_responses_.erase(open);
    }
  }
  if (!used) {
    ReportProblem("response with an unknown or already used handle ignored");
    return;
  }
  SendToDriver("response " + std::to_string(used->tag) + " " + HexField(data, size));
  NoteTraffic("host answered #" + std::to_string(used->tag) + ": " +
              substitute_engine::SummarizeAnswer(data, size));
}

void FlutterDesktopEngine::SetNextFrameCallback(FlutterDesktopOnNextFrameCallback callback,
                                                void* user_data) {
  next_frame_callback_ = callback;
  next_frame_user_data_ = user_data;
  // Also from other threads: the frame is rendered from the message loop.
  RequestFrame();
}

void FlutterDesktopEngine::ReloadSystemFonts() {
  SendToDriver("fonts");
  NoteTraffic("system fonts reloaded");
}

void FlutterDesktopEngine::ReportResync() {
  SendToDriver("resync");
  NoteTraffic("output streams resynchronised");
}

FlutterDesktopView* FlutterDesktopEngine::CreateView(int width, int height) {
  if (view_ || width < 0 || height < 0) {
    return nullptr;
  }
  view_ = FlutterDesktopView::Create(this, width, height);
  if (!view_) {
    ReportProblem("cannot create the view window");
    return nullptr;
  }
  SendToDriver("view " + std::to_string(reinterpret_cast<uintptr_t>(view_->window())) + " " +
               std::to_string(width) + " " + std::to_string(height));
  RequestFrame();
  return view_.get();
}

void FlutterDesktopEngine::RequestFrame() {
  if (!frame_requested_.exchange(true)) {
    static const UINT delay = FrameDelayMilliseconds();
    if (delay == 0 || SetTimer(dispatch_window_.get(), kFrameDelayTimer, delay, nullptr) == 0) {
      PostMessageW(dispatch_window_.get(), kRenderFrameMessage, 0, 0);
    }
  }
}

LRESULT CALLBACK FlutterDesktopEngine::DispatchProc(HWND window, UINT message, WPARAM wparam,
                                                    LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<FlutterDesktopEngine*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self != nullptr) {
    try {
      if (message == kDriverLinesMessage) {
        self->HandleDriverLines();
        return 0;
      }
      if (message == WM_TIMER && wparam == kFrameDelayTimer) {
        KillTimer(window, kFrameDelayTimer);
        self->RenderFrame();
        return 0;
      }
      if (message == kRenderFrameMessage) {
        self->RenderFrame();
        return 0;
      }
    } catch (const std::exception& error) {
      ReportProblem(std::string("dispatch failed: ") + error.what());
      return 0;
    }
  }
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void FlutterDesktopEngine::QueueDriverLine(std::string line) {
  bool first;
  {
    std::lock_guard lock(state_mutex_);
    first = incoming_lines_.empty();
    incoming_lines_.push_back(std::move(line));
  }
  if (first) {
    PostMessageW(dispatch_window_.get(), kDriverLinesMessage, 0, 0);
  }
}

void FlutterDesktopEngine::HandleDriverLines() {
  const std::shared_ptr<bool> alive = alive_;
  while (*alive) {
    std::string line;
    {
      std::lock_guard lock(state_mutex_);
      if (incoming_lines_.empty()) {
        return;
      }
      line = std::move(incoming_lines_.front());
      incoming_lines_.pop_front();
    }
    HandleDriverLine(line);
  }
}

void FlutterDesktopEngine::RenderFrame() {
  frame_requested_ = false;
  if (!view_) {
    return;
  }
  ++frames_;
  ViewFrameContent content;
  RECT client{};
  GetClientRect(view_->window(), &client);
  content.status_lines.push_back("view " + std::to_string(client.right) + " x " +
                                 std::to_string(client.bottom) + ", frame " +
                                 std::to_string(frames_));
  content.status_lines.insert(content.status_lines.end(), status_lines_.begin(),
                              status_lines_.end());
  std::string channels = "handlers:";
  for (const auto& [channel, callback] : callbacks_) {
    channels += " " + channel;
  }
  content.status_lines.push_back(callbacks_.empty() ? "handlers: none" : channels);
  {
    std::lock_guard lock(state_mutex_);
    content.traffic_lines.assign(traffic_.rbegin(), traffic_.rend());
  }
  view_->RenderFrame(content);

  if (next_frame_callback_ != nullptr) {
    auto callback = std::exchange(next_frame_callback_, nullptr);
    void* user_data = std::exchange(next_frame_user_data_, nullptr);
    const std::shared_ptr<bool> alive = alive_;
    callback(user_data);
    if (*alive) {
      SendToDriver("frame");
    }
  }
}

void FlutterDesktopEngine::ReportViewAttached(HWND parent) {
  SendToDriver("attached " + std::to_string(reinterpret_cast<uintptr_t>(parent)));
  NoteTraffic("view attached");
}

void FlutterDesktopEngine::SendToDriver(const std::string& line) {
  if (link_) {
    link_->SendLine(line);
  }
}

void FlutterDesktopEngine::NoteTraffic(std::string text) {
  {
    std::lock_guard lock(state_mutex_);
    traffic_.push_back(std::move(text));
    while (traffic_.size() > kTrafficLinesKept) {
      traffic_.pop_front();
    }
  }
  // Also from other threads: the frame is rendered from the message loop.
  RequestFrame();
}
