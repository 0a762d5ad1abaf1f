#include "audio/sidetone_wasapi_session.h"

#include <timeapi.h>

namespace {

// 20 ms in 100-ns units, for both shared-mode streams.
constexpr REFERENCE_TIME kBufferDuration = 200000;
// The loop sleeps 5 ms between polls; at the default 15.6 ms timer
// resolution those sleeps would outlast much of the 20 ms render buffer.
constexpr UINT kTimerResolutionMs = 1;

SidetoneMixFormat FieldsOf(const WAVEFORMATEX& format) {
  SidetoneMixFormat fields;
  fields.format_tag = format.wFormatTag;
  fields.channels = format.nChannels;
  fields.samples_per_sec = format.nSamplesPerSec;
  fields.block_align = format.nBlockAlign;
  fields.bits_per_sample = format.wBitsPerSample;
  return fields;
}

}  // namespace

SidetoneWasapiSession::~SidetoneWasapiSession() {
  if (timer_resolution_raised) {
    timeEndPeriod(kTimerResolutionMs);
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
  enumerator.Reset();
  if (com_initialized) {
    CoUninitialize();
  }
}

bool SidetoneWasapiSession::InitializeCom() {
  com_initialized = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
  return com_initialized;
}

bool SidetoneWasapiSession::CreateEnumerator() {
  const HRESULT hr = CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                      IID_PPV_ARGS(enumerator.ReleaseAndGetAddressOf()));
  return SUCCEEDED(hr) && enumerator;
}

bool SidetoneWasapiSession::OpenDevice(SidetoneDirection direction, const std::wstring& id) {
  ComPtr<IMMDevice>& device =
      direction == SidetoneDirection::kCapture ? capture_device : render_device;
  if (!id.empty() && SUCCEEDED(enumerator->GetDevice(id.c_str(), &device)) && device) {
    return true;
  }
  // An id that names no endpoint (unplugged, or from another machine) plays
  // on the default device rather than not at all.
  device.Reset();
  const EDataFlow flow = direction == SidetoneDirection::kCapture ? eCapture : eRender;
  return SUCCEEDED(enumerator->GetDefaultAudioEndpoint(flow, eCommunications, &device)) && device;
}

bool SidetoneWasapiSession::ActivateClients() {
  if (FAILED(capture_device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                      reinterpret_cast<void**>(capture_client.GetAddressOf())))) {
    return false;
  }
  return SUCCEEDED(render_device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                           reinterpret_cast<void**>(render_client.GetAddressOf())));
}

bool SidetoneWasapiSession::GetMixFormats(SidetoneMixFormat& capture, SidetoneMixFormat& render) {
  if (FAILED(capture_client->GetMixFormat(&capture_format)) || capture_format == nullptr) {
    return false;
  }
  if (FAILED(render_client->GetMixFormat(&render_format)) || render_format == nullptr) {
    return false;
  }
  capture = FieldsOf(*capture_format);
  render = FieldsOf(*render_format);
  return true;
}

bool SidetoneWasapiSession::InitializeStream(SidetoneDirection direction) {
  IAudioClient* client =
      direction == SidetoneDirection::kCapture ? capture_client.Get() : render_client.Get();
  const WAVEFORMATEX* format =
      direction == SidetoneDirection::kCapture ? capture_format : render_format;
  return SUCCEEDED(
      client->Initialize(AUDCLNT_SHAREMODE_SHARED, 0, kBufferDuration, 0, format, nullptr));
}

bool SidetoneWasapiSession::GetServices() {
  if (FAILED(capture_client->GetService(IID_PPV_ARGS(capture_service.GetAddressOf()))) ||
      !capture_service) {
    return false;
  }
  return SUCCEEDED(render_client->GetService(IID_PPV_ARGS(render_service.GetAddressOf()))) &&
         render_service;
}

uint32_t SidetoneWasapiSession::RenderBufferFrames() {
  UINT32 frames = 0;
  render_client->GetBufferSize(&frames);
  return frames;
}

void SidetoneWasapiSession::StartStreams() {
  timer_resolution_raised = timeBeginPeriod(kTimerResolutionMs) == TIMERR_NOERROR;
  // The loop keeps only a few tens of milliseconds of audio ahead; on a busy
  // machine it must not wait behind ordinary work for its turn.
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
  capture_client->Start();
  render_client->Start();
}

bool SidetoneWasapiSession::GetNextPacketSize(uint32_t& frames) {
  UINT32 size = 0;
  if (FAILED(capture_service->GetNextPacketSize(&size))) {
    return false;
  }
  frames = size;
  return true;
}

bool SidetoneWasapiSession::GetCaptureBuffer(SidetoneCapturePacket& packet) {
  BYTE* data = nullptr;
  UINT32 frames = 0;
  DWORD flags = 0;
  if (FAILED(capture_service->GetBuffer(&data, &frames, &flags, nullptr, nullptr))) {
    return false;
  }
  packet.data = data;
  packet.frames = frames;
  packet.silent = (flags & AUDCLNT_BUFFERFLAGS_SILENT) != 0;
  return true;
}

void SidetoneWasapiSession::ReleaseCaptureBuffer(uint32_t frames) {
  capture_service->ReleaseBuffer(frames);
}

bool SidetoneWasapiSession::GetCurrentPadding(uint32_t& pending) {
  UINT32 padding = 0;
  if (FAILED(render_client->GetCurrentPadding(&padding))) {
    return false;
  }
  pending = padding;
  return true;
}

uint8_t* SidetoneWasapiSession::GetRenderBuffer(uint32_t frames) {
  BYTE* data = nullptr;
  if (FAILED(render_service->GetBuffer(frames, &data))) {
    return nullptr;
  }
  return data;
}

void SidetoneWasapiSession::ReleaseRenderBuffer(uint32_t frames) {
  render_service->ReleaseBuffer(frames, 0);
}
