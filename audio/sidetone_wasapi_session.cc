#include "audio/sidetone_wasapi_session.h"

#include <audiopolicy.h>
#include <avrt.h>

#include "audio/sidetone_device_choice.h"
#include "audio/sidetone_wasapi_endpoint.h"
#include "audio/sidetone_wasapi_format.h"
#include "diagnostics/app_log.h"

namespace {

// Generous device buffers, 100 ms in 100-ns units: the monitor's fill, not
// the buffer, sets how far behind it plays, and a late wake-up then finds
// room rather than an overrun.
constexpr REFERENCE_TIME kBufferDuration = 1000000;
constexpr REFERENCE_TIME kUnitsPerSecond = 10000000;
// Used where the device does not tell its period.
constexpr REFERENCE_TIME kFallbackPeriod = 100000;

static_assert(kSidetoneDeviceActive == DEVICE_STATE_ACTIVE &&
              kSidetoneDeviceDisabled == DEVICE_STATE_DISABLED &&
              kSidetoneDeviceNotPresent == DEVICE_STATE_NOTPRESENT &&
              kSidetoneDeviceUnplugged == DEVICE_STATE_UNPLUGGED);
static_assert(kSidetoneDeviceInvalidated == AUDCLNT_E_DEVICE_INVALIDATED &&
              kSidetoneServiceNotRunning == AUDCLNT_E_SERVICE_NOT_RUNNING &&
              kSidetoneResourcesInvalidated == AUDCLNT_E_RESOURCES_INVALIDATED);

}  // namespace

SidetoneWasapiSession::~SidetoneWasapiSession() {
  if (watch) {
    enumerator->UnregisterEndpointNotificationCallback(watch.Get());
  }
  capture_service.Reset();
  render_service.Reset();
  if (capture_client) {
    capture_client->Stop();
    capture_client.Reset();
  }
  if (render_client) {
    render_client->Stop();
    render_client.Reset();
  }
  CoTaskMemFree(capture_format);
  CoTaskMemFree(render_format);
  capture_device.Reset();
  render_device.Reset();
  watch.Reset();
  enumerator.Reset();
  if (mmcss_task != nullptr) {
    AvRevertMmThreadCharacteristics(mmcss_task);
  }
  if (com_initialized) {
    CoUninitialize();
  }
}

bool SidetoneWasapiSession::Succeeded(HRESULT result) {
  if (SUCCEEDED(result)) {
    return true;
  }
  last_error = result;
  lost = lost || SidetoneDeviceGone(result);
  return false;
}

bool SidetoneWasapiSession::InitializeCom() {
  com_initialized = Succeeded(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
  return com_initialized;
}

bool SidetoneWasapiSession::CreateEnumerator() {
  return Succeeded(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                    IID_PPV_ARGS(enumerator.ReleaseAndGetAddressOf()))) &&
         enumerator;
}

bool SidetoneWasapiSession::OpenDevice(SidetoneDirection direction, const std::wstring& id) {
  const bool capture = direction == SidetoneDirection::kCapture;
  ComPtr<IMMDevice>& device = capture ? capture_device : render_device;
  const SidetoneEndpoint opened =
      OpenSidetoneEndpoint(*enumerator.Get(), capture ? eCapture : eRender, id, device);
  SidetoneWatchedDirection& watched = capture ? capture_watch : render_watch;
  watched.follow_default = opened.choice.follow_default;
  watched.saved_id = id;
  watched.saved_open = opened.choice.open_saved;
  if (!Succeeded(opened.result) || !device) {
    return false;
  }
  // Only once the default plays in its place: a reopen that keeps failing
  // (no endpoint at all) adds no line per attempt.
  if (opened.choice.unavailable) {
    char line[96];
    FormatSidetoneUnavailableLine(direction, opened.saved_state, line, sizeof line);
    AppendLogNonBlocking(line);
  }
  return true;
}

bool SidetoneWasapiSession::ActivateClients() {
  if (!Succeeded(
          capture_device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                   reinterpret_cast<void**>(capture_client.GetAddressOf())))) {
    return false;
  }
  return Succeeded(render_device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                           reinterpret_cast<void**>(render_client.GetAddressOf())));
}

bool SidetoneWasapiSession::GetMixFormats(SidetoneMixFormat& capture, SidetoneMixFormat& render) {
  if (!Succeeded(capture_client->GetMixFormat(&capture_format)) || capture_format == nullptr) {
    return false;
  }
  if (!Succeeded(render_client->GetMixFormat(&render_format)) || render_format == nullptr) {
    return false;
  }
  capture = SidetoneMixFormatOf(*capture_format);
  render = SidetoneMixFormatOf(*render_format);
  return true;
}

bool SidetoneWasapiSession::InitializeStream(SidetoneDirection direction) {
  const bool capture = direction == SidetoneDirection::kCapture;
  IAudioClient* client = capture ? capture_client.Get() : render_client.Get();
  ScopedKernelHandle& event = capture ? capture_event : render_event;
  event.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (!event.valid()) {
    Succeeded(HRESULT_FROM_WIN32(GetLastError()));
    return false;
  }
  if (!capture) {
    DeclareNotACall();
  }
  if (!(capture && InitializeCaptureAtShortestPeriod()) &&
      !Succeeded(client->Initialize(AUDCLNT_SHAREMODE_SHARED, AUDCLNT_STREAMFLAGS_EVENTCALLBACK,
                                    kBufferDuration, 0, capture ? capture_format : render_format,
                                    nullptr))) {
    return false;
  }
  if (!capture) {
    StayOutOfDucking();
  }
  return Succeeded(client->SetEventHandle(event.get()));
}

void SidetoneWasapiSession::DeclareNotACall() {
  // The monitor opens the communications endpoint, but it is no call of its
  // own: as a communications stream it would make the system duck the
  // user's other sounds whenever it runs, call or not. The category has to
  // be set before the stream is initialised.
  ComPtr<IAudioClient2> client;
  if (SUCCEEDED(render_client.As(&client))) {
    AudioClientProperties properties = {};
    properties.cbSize = sizeof properties;
    properties.eCategory = AudioCategory_Other;
    client->SetClientProperties(&properties);
  }
}

void SidetoneWasapiSession::StayOutOfDucking() {
  // During a call the system ducks every other session by default, and the
  // monitor's session is one of them: the user would hear their own voice
  // fall to a fifth the moment the call starts.
  ComPtr<IAudioSessionControl> control;
  ComPtr<IAudioSessionControl2> control2;
  if (SUCCEEDED(render_client->GetService(IID_PPV_ARGS(control.GetAddressOf()))) &&
      SUCCEEDED(control.As(&control2))) {
    control2->SetDuckingPreference(TRUE);
  }
}

bool SidetoneWasapiSession::InitializeCaptureAtShortestPeriod() {
  // Where the endpoint offers a period shorter than its default, each packet
  // reaches the monitor that much sooner. Only capture takes it: the render
  // side's delay is the fill, whatever its period, and it keeps a generous
  // buffer so that a late wake-up finds room. Where this is not offered
  // (before Windows 10, or a system that does not implement it) or is
  // refused, the client is still uninitialised and takes the default period.
  ComPtr<IAudioClient3> client;
  if (FAILED(capture_client.As(&client))) {
    return false;
  }
  UINT32 default_period = 0;
  UINT32 fundamental_period = 0;
  UINT32 shortest_period = 0;
  UINT32 longest_period = 0;
  if (FAILED(client->GetSharedModeEnginePeriod(capture_format, &default_period, &fundamental_period,
                                               &shortest_period, &longest_period)) ||
      shortest_period == 0 || shortest_period >= default_period) {
    return false;
  }
  return SUCCEEDED(client->InitializeSharedAudioStream(AUDCLNT_STREAMFLAGS_EVENTCALLBACK,
                                                       shortest_period, capture_format, nullptr));
}

bool SidetoneWasapiSession::GetServices() {
  if (!Succeeded(capture_client->GetService(IID_PPV_ARGS(capture_service.GetAddressOf()))) ||
      !capture_service) {
    return false;
  }
  return Succeeded(render_client->GetService(IID_PPV_ARGS(render_service.GetAddressOf()))) &&
         render_service;
}

uint32_t SidetoneWasapiSession::RenderBufferFrames() {
  UINT32 frames = 0;
  render_client->GetBufferSize(&frames);
  return frames;
}

uint32_t SidetoneWasapiSession::RenderPeriodFrames() {
  REFERENCE_TIME period = 0;
  if (FAILED(render_client->GetDevicePeriod(&period, nullptr)) || period <= 0) {
    period = kFallbackPeriod;
  }
  return static_cast<uint32_t>(period * render_format->nSamplesPerSec / kUnitsPerSecond);
}

void SidetoneWasapiSession::StartCapture() {
  // Where the system honours it, the worker is scheduled as pro audio; a
  // thread priority is the fallback.
  DWORD task_index = 0;
  mmcss_task = AvSetMmThreadCharacteristicsW(L"Pro Audio", &task_index);
  if (mmcss_task == nullptr) {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
  }
  // Every run depends on some endpoint: a default it follows or a device
  // the user chose.
  watch.Attach(new SidetoneDefaultDeviceWatch(capture_watch, render_watch));
  if (FAILED(enumerator->RegisterEndpointNotificationCallback(watch.Get()))) {
    watch.Reset();
  }
  Succeeded(capture_client->Start());
}

void SidetoneWasapiSession::StartRender() { Succeeded(render_client->Start()); }

void SidetoneWasapiSession::Wait(uint32_t timeout_ms) {
  const HANDLE events[] = {capture_event.get(), render_event.get()};
  WaitForMultipleObjects(2, events, FALSE, timeout_ms);
}

bool SidetoneWasapiSession::DeviceLost() { return lost || (watch && watch->changed()); }

bool SidetoneWasapiSession::GetNextPacketSize(uint32_t& frames) {
  UINT32 size = 0;
  if (!Succeeded(capture_service->GetNextPacketSize(&size))) {
    return false;
  }
  // With nothing to read, asking the client how much it holds is what tells
  // a capture stream whose device has gone: some stacks answer an empty
  // packet size regardless.
  UINT32 held = 0;
  if (size == 0 && !Succeeded(capture_client->GetCurrentPadding(&held))) {
    return false;
  }
  frames = size;
  return true;
}

bool SidetoneWasapiSession::GetCaptureBuffer(SidetoneCapturePacket& packet) {
  BYTE* data = nullptr;
  UINT32 frames = 0;
  DWORD flags = 0;
  if (!Succeeded(capture_service->GetBuffer(&data, &frames, &flags, nullptr, nullptr))) {
    return false;
  }
  packet.data = data;
  packet.frames = frames;
  packet.silent = (flags & AUDCLNT_BUFFERFLAGS_SILENT) != 0;
  packet.discontinuity = (flags & AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY) != 0;
  return true;
}

void SidetoneWasapiSession::ReleaseCaptureBuffer(uint32_t frames) {
  Succeeded(capture_service->ReleaseBuffer(frames));
}

bool SidetoneWasapiSession::GetCurrentPadding(uint32_t& pending) {
  UINT32 padding = 0;
  if (!Succeeded(render_client->GetCurrentPadding(&padding))) {
    return false;
  }
  pending = padding;
  return true;
}

uint8_t* SidetoneWasapiSession::GetRenderBuffer(uint32_t frames) {
  BYTE* data = nullptr;
  if (!Succeeded(render_service->GetBuffer(frames, &data))) {
    return nullptr;
  }
  return data;
}

void SidetoneWasapiSession::ReleaseRenderBuffer(uint32_t frames) {
  Succeeded(render_service->ReleaseBuffer(frames, 0));
}
