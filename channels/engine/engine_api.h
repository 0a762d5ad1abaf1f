#ifndef VELMO_CHANNELS_ENGINE_ENGINE_API_H_
#define VELMO_CHANNELS_ENGINE_ENGINE_API_H_

// The functions of the Flutter engine library (flutter_windows.dll) that the
// host calls, and the records they exchange. The wrappers in this folder use
// it for everything about engines, views and messages. Beyond them, the host
// calls three engine functions that belong to no wrapper directly: the window
// base asks for a monitor's DPI, the console set-up resynchronises the output
// streams, and plug-in registration hands out the registrar handles.

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef _WIN32
#include <windows.h>
#else
// The native build compiles the wrappers against a fake engine; these stand in
// for the few Win32 types the interface mentions.
typedef void* HWND;
typedef void* HMONITOR;
typedef unsigned int UINT;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
#endif

#if defined(_WIN32) && defined(VELMO_ENGINE_IMPLEMENTATION)
#define VELMO_ENGINE_EXPORT __declspec(dllexport)
#else
#define VELMO_ENGINE_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct FlutterDesktopEngine* FlutterDesktopEngineRef;
typedef struct FlutterDesktopViewController* FlutterDesktopViewControllerRef;
typedef struct FlutterDesktopView* FlutterDesktopViewRef;
typedef struct FlutterDesktopMessenger* FlutterDesktopMessengerRef;
typedef struct FlutterDesktopPluginRegistrar* FlutterDesktopPluginRegistrarRef;
typedef struct FlutterDesktopMessageResponseHandle FlutterDesktopMessageResponseHandle;

// Start record of an engine. Paths are relative to the working directory or
// absolute; a null or empty entry point means the default one.
typedef struct {
  const wchar_t* assets_path;
  const wchar_t* icu_data_path;
  const wchar_t* aot_library_path;
  const char* dart_entrypoint;
  int dart_entrypoint_argc;
  const char** dart_entrypoint_argv;
  int gpu_preference;
  int ui_thread_policy;
  int windowing_mode;
} FlutterDesktopEngineProperties;

// One incoming platform message.
typedef struct {
  size_t struct_size;
  const char* channel;
  const uint8_t* message;
  size_t message_size;
  // Consumed by the one FlutterDesktopMessengerSendResponse that answers it.
  const FlutterDesktopMessageResponseHandle* response_handle;
} FlutterDesktopMessage;

typedef void (*FlutterDesktopBinaryReply)(const uint8_t* data, size_t data_size, void* user_data);
typedef void (*FlutterDesktopMessageCallback)(FlutterDesktopMessengerRef messenger,
                                              const FlutterDesktopMessage* message,
                                              void* user_data);
typedef void (*FlutterDesktopOnNextFrameCallback)(void* user_data);

VELMO_ENGINE_EXPORT FlutterDesktopEngineRef
FlutterDesktopEngineCreate(const FlutterDesktopEngineProperties* engine_properties);
VELMO_ENGINE_EXPORT bool FlutterDesktopEngineDestroy(FlutterDesktopEngineRef engine);
VELMO_ENGINE_EXPORT FlutterDesktopMessengerRef
FlutterDesktopEngineGetMessenger(FlutterDesktopEngineRef engine);
VELMO_ENGINE_EXPORT FlutterDesktopPluginRegistrarRef
FlutterDesktopEngineGetPluginRegistrar(FlutterDesktopEngineRef engine, const char* plugin_name);
VELMO_ENGINE_EXPORT void FlutterDesktopEngineSetNextFrameCallback(
    FlutterDesktopEngineRef engine, FlutterDesktopOnNextFrameCallback callback, void* user_data);
VELMO_ENGINE_EXPORT void FlutterDesktopEngineReloadSystemFonts(FlutterDesktopEngineRef engine);

// The controller takes ownership of the engine, also when creation fails.
VELMO_ENGINE_EXPORT FlutterDesktopViewControllerRef
FlutterDesktopViewControllerCreate(int width, int height, FlutterDesktopEngineRef engine);
VELMO_ENGINE_EXPORT void FlutterDesktopViewControllerDestroy(
    FlutterDesktopViewControllerRef controller);
VELMO_ENGINE_EXPORT FlutterDesktopViewRef
FlutterDesktopViewControllerGetView(FlutterDesktopViewControllerRef controller);
VELMO_ENGINE_EXPORT void FlutterDesktopViewControllerForceRedraw(
    FlutterDesktopViewControllerRef controller);
VELMO_ENGINE_EXPORT bool FlutterDesktopViewControllerHandleTopLevelWindowProc(
    FlutterDesktopViewControllerRef controller, HWND hwnd, UINT message, WPARAM wparam,
    LPARAM lparam, LRESULT* result);
VELMO_ENGINE_EXPORT HWND FlutterDesktopViewGetHWND(FlutterDesktopViewRef view);

VELMO_ENGINE_EXPORT UINT FlutterDesktopGetDpiForMonitor(HMONITOR monitor);
VELMO_ENGINE_EXPORT void FlutterDesktopResyncOutputStreams(void);

VELMO_ENGINE_EXPORT bool FlutterDesktopMessengerSend(FlutterDesktopMessengerRef messenger,
                                                     const char* channel, const uint8_t* message,
                                                     size_t message_size);
VELMO_ENGINE_EXPORT bool FlutterDesktopMessengerSendWithReply(
    FlutterDesktopMessengerRef messenger, const char* channel, const uint8_t* message,
    size_t message_size, FlutterDesktopBinaryReply reply, void* user_data);
VELMO_ENGINE_EXPORT void FlutterDesktopMessengerSendResponse(
    FlutterDesktopMessengerRef messenger, const FlutterDesktopMessageResponseHandle* handle,
    const uint8_t* data, size_t data_length);
VELMO_ENGINE_EXPORT void FlutterDesktopMessengerSetCallback(FlutterDesktopMessengerRef messenger,
                                                            const char* channel,
                                                            FlutterDesktopMessageCallback callback,
                                                            void* user_data);
VELMO_ENGINE_EXPORT FlutterDesktopMessengerRef
FlutterDesktopMessengerAddRef(FlutterDesktopMessengerRef messenger);
VELMO_ENGINE_EXPORT void FlutterDesktopMessengerRelease(FlutterDesktopMessengerRef messenger);
VELMO_ENGINE_EXPORT bool FlutterDesktopMessengerIsAvailable(FlutterDesktopMessengerRef messenger);
VELMO_ENGINE_EXPORT FlutterDesktopMessengerRef
FlutterDesktopMessengerLock(FlutterDesktopMessengerRef messenger);
VELMO_ENGINE_EXPORT void FlutterDesktopMessengerUnlock(FlutterDesktopMessengerRef messenger);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif  // VELMO_CHANNELS_ENGINE_ENGINE_API_H_
