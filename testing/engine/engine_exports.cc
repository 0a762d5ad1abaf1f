// The engine library's published functions over the substitute engine.
#include <windows.h>

#include <cstdio>
#include <mutex>

#include "channels/engine/engine_api.h"
#include "testing/engine/engine_registry.h"
#include "testing/engine/plugin_registrar_api.h"
#include "testing/engine/substitute_engine.h"
#include "testing/engine/substitute_messenger.h"
#include "testing/engine/substitute_view.h"

namespace {

constexpr UINT kDefaultDpi = 96;
// GetDpiForMonitor's MDT_EFFECTIVE_DPI.
constexpr int kEffectiveDpi = 0;
// Makes view-controller creation fail, so tests can see how a host copes.
constexpr char kFailViewVariable[] = "VELMO_SUBSTITUTE_ENGINE_FAIL_VIEW";

using GetDpiForMonitorFunction = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);

// shcore.dll is not on every system this could run on; it stays loaded once
// found, like the system libraries the engine links.
GetDpiForMonitorFunction LoadGetDpiForMonitor() {
  HMODULE shcore = LoadLibraryW(L"shcore.dll");
  if (shcore == nullptr) {
    return nullptr;
  }
  return reinterpret_cast<GetDpiForMonitorFunction>(
      reinterpret_cast<void*>(GetProcAddress(shcore, "GetDpiForMonitor")));
}

bool ViewCreationMustFail() {
  char value[8] = {};
  return GetEnvironmentVariableA(kFailViewVariable, value, sizeof(value)) > 0 && value[0] == '1';
}

// The engine behind a messenger, with the messenger locked for the scope.
class LockedEngine {
 public:
  explicit LockedEngine(FlutterDesktopMessengerRef messenger)
      : messenger_(messenger), lock_(messenger->mutex) {}
  FlutterDesktopEngine* get() const { return messenger_->engine; }

 private:
  FlutterDesktopMessengerRef messenger_;
  std::lock_guard<std::recursive_mutex> lock_;
};

}  // namespace

FlutterDesktopEngineRef FlutterDesktopEngineCreate(
    const FlutterDesktopEngineProperties* engine_properties) {
  if (engine_properties == nullptr) {
    return nullptr;
  }
  return FlutterDesktopEngine::Create(*engine_properties);
}

bool FlutterDesktopEngineDestroy(FlutterDesktopEngineRef engine) {
  delete engine;
  return true;
}

FlutterDesktopMessengerRef FlutterDesktopEngineGetMessenger(FlutterDesktopEngineRef engine) {
  return engine == nullptr ? nullptr : engine->messenger();
}

FlutterDesktopPluginRegistrarRef FlutterDesktopEngineGetPluginRegistrar(
    FlutterDesktopEngineRef engine, const char* plugin_name) {
  return engine == nullptr ? nullptr : engine->Registrar(plugin_name);
}

void FlutterDesktopEngineSetNextFrameCallback(FlutterDesktopEngineRef engine,
                                              FlutterDesktopOnNextFrameCallback callback,
                                              void* user_data) {
  if (engine != nullptr) {
    engine->SetNextFrameCallback(callback, user_data);
  }
}

void FlutterDesktopEngineReloadSystemFonts(FlutterDesktopEngineRef engine) {
  if (engine != nullptr) {
    engine->ReloadSystemFonts();
  }
}

FlutterDesktopViewControllerRef FlutterDesktopViewControllerCreate(int width, int height,
                                                                   FlutterDesktopEngineRef engine) {
  if (engine == nullptr) {
    return nullptr;
  }
  // The controller owns the engine from here on, also when it fails.
  std::unique_ptr<FlutterDesktopEngine> owned(engine);
  if (ViewCreationMustFail() || owned->CreateView(width, height) == nullptr) {
    return nullptr;
  }
  return new FlutterDesktopViewController{std::move(owned)};
}

void FlutterDesktopViewControllerDestroy(FlutterDesktopViewControllerRef controller) {
  delete controller;
}

FlutterDesktopViewRef FlutterDesktopViewControllerGetView(
    FlutterDesktopViewControllerRef controller) {
  return controller == nullptr ? nullptr : controller->engine->view();
}

void FlutterDesktopViewControllerForceRedraw(FlutterDesktopViewControllerRef controller) {
  if (controller != nullptr) {
    controller->engine->RequestFrame();
  }
}

bool FlutterDesktopViewControllerHandleTopLevelWindowProc(FlutterDesktopViewControllerRef, HWND,
                                                          UINT, WPARAM, LPARAM, LRESULT*) {
  // The substitute has no use for the host window's messages.
  return false;
}

HWND FlutterDesktopViewGetHWND(FlutterDesktopViewRef view) {
  return view == nullptr ? nullptr : view->window();
}

UINT FlutterDesktopGetDpiForMonitor(HMONITOR monitor) {
  static const GetDpiForMonitorFunction get_dpi_for_monitor = LoadGetDpiForMonitor();
  if (monitor != nullptr && get_dpi_for_monitor != nullptr) {
    UINT dpi_x = 0;
    UINT dpi_y = 0;
    if (SUCCEEDED(get_dpi_for_monitor(monitor, kEffectiveDpi, &dpi_x, &dpi_y)) && dpi_x > 0) {
      return dpi_x;
    }
  }
  HDC screen = GetDC(nullptr);
  if (screen == nullptr) {
    return kDefaultDpi;
  }
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

void FlutterDesktopResyncOutputStreams(void) {
  std::fflush(stdout);
  std::fflush(stderr);
  substitute_engine::ForEachLiveEngine(
      [](FlutterDesktopEngine* engine) { engine->ReportResync(); });
}

bool FlutterDesktopMessengerSend(FlutterDesktopMessengerRef messenger, const char* channel,
                                 const uint8_t* message, size_t message_size) {
  return FlutterDesktopMessengerSendWithReply(messenger, channel, message, message_size, nullptr,
                                              nullptr);
}

bool FlutterDesktopMessengerSendWithReply(FlutterDesktopMessengerRef messenger, const char* channel,
                                          const uint8_t* message, size_t message_size,
                                          FlutterDesktopBinaryReply reply, void* user_data) {
  if (messenger == nullptr) {
    return false;
  }
  LockedEngine engine(messenger);
  if (engine.get() == nullptr) {
    return false;
  }
  return engine.get()->Send(channel, message, message_size, reply, user_data);
}

void FlutterDesktopMessengerSendResponse(FlutterDesktopMessengerRef messenger,
                                         const FlutterDesktopMessageResponseHandle* handle,
                                         const uint8_t* data, size_t data_length) {
  if (messenger == nullptr || handle == nullptr) {
    return;
  }
  LockedEngine engine(messenger);
  if (engine.get() != nullptr) {
    engine.get()->Respond(handle, data, data_length);
  }
}

void FlutterDesktopMessengerSetCallback(FlutterDesktopMessengerRef messenger, const char* channel,
                                        FlutterDesktopMessageCallback callback, void* user_data) {
  if (messenger == nullptr) {
    return;
  }
  LockedEngine engine(messenger);
  if (engine.get() != nullptr) {
    engine.get()->SetCallback(channel, callback, user_data);
  }
}

FlutterDesktopMessengerRef FlutterDesktopMessengerAddRef(FlutterDesktopMessengerRef messenger) {
  if (messenger != nullptr) {
    ++messenger->references;
  }
  return messenger;
}

void FlutterDesktopMessengerRelease(FlutterDesktopMessengerRef messenger) {
  if (messenger != nullptr && --messenger->references == 0) {
    delete messenger;
  }
}

bool FlutterDesktopMessengerIsAvailable(FlutterDesktopMessengerRef messenger) {
  if (messenger == nullptr) {
    return false;
  }
  LockedEngine engine(messenger);
  return engine.get() != nullptr;
}

FlutterDesktopMessengerRef FlutterDesktopMessengerLock(FlutterDesktopMessengerRef messenger) {
  if (messenger != nullptr) {
    messenger->mutex.lock();
  }
  return messenger;
}

void FlutterDesktopMessengerUnlock(FlutterDesktopMessengerRef messenger) {
  if (messenger != nullptr) {
    messenger->mutex.unlock();
  }
}

FlutterDesktopMessengerRef FlutterDesktopPluginRegistrarGetMessenger(
    FlutterDesktopPluginRegistrarRef registrar) {
  return registrar == nullptr ? nullptr : registrar->engine->messenger();
}
