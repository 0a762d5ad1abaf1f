#ifndef VELMO_AUDIO_SIDETONE_WASAPI_SESSION_H_
#define VELMO_AUDIO_SIDETONE_WASAPI_SESSION_H_

#include <windows.h>

#include <audioclient.h>
#include <mmdeviceapi.h>
#include <wrl/client.h>

#include <string>

#include "audio/sidetone_audio_session.h"
#include "audio/sidetone_default_device_watch.h"
#include "base/scoped_handle.h"

// The monitor's session over the MMDevice API and event-driven shared-mode
// WASAPI, with its own multithreaded COM apartment. Lives on the worker
// thread only.
class SidetoneWasapiSession : public SidetoneAudioSession {
 public:
  SidetoneWasapiSession() = default;
  ~SidetoneWasapiSession() override;

  SidetoneWasapiSession(const SidetoneWasapiSession&) = delete;
  SidetoneWasapiSession& operator=(const SidetoneWasapiSession&) = delete;

  bool InitializeCom() override;
  bool CreateEnumerator() override;
  bool OpenDevice(SidetoneDirection direction, const std::wstring& id) override;
  bool ActivateClients() override;
  bool GetMixFormats(SidetoneMixFormat& capture, SidetoneMixFormat& render) override;
  bool InitializeStream(SidetoneDirection direction) override;
  bool GetServices() override;
  uint32_t RenderBufferFrames() override;
  uint32_t RenderPeriodFrames() override;
  void StartCapture() override;
  void StartRender() override;
  void Wait(uint32_t timeout_ms) override;
  bool DeviceLost() override;
  int32_t LastError() override { return last_error; }

  bool GetNextPacketSize(uint32_t& frames) override;
  bool GetCaptureBuffer(SidetoneCapturePacket& packet) override;
  void ReleaseCaptureBuffer(uint32_t frames) override;

  bool GetCurrentPadding(uint32_t& pending) override;
  uint8_t* GetRenderBuffer(uint32_t frames) override;
  void ReleaseRenderBuffer(uint32_t frames) override;

 private:
  template <typename T>
  using ComPtr = Microsoft::WRL::ComPtr<T>;

  // True when `result` succeeded; otherwise keeps it as the last error, and
  // notes a device that has gone.
  bool Succeeded(HRESULT result);
  // Capture at the endpoint's shortest shared period, where one is offered.
  bool InitializeCaptureAtShortestPeriod();
  // Marks the render stream as no call's, before it is initialised.
  void DeclareNotACall();
  // Keeps the monitor out of the system's ducking of other sounds during a
  // call; best effort, a system without it plays the monitor all the same.
  void StayOutOfDucking();

  bool com_initialized = false;
  HANDLE mmcss_task = nullptr;
  HRESULT last_error = S_OK;
  bool lost = false;
  SidetoneWatchedDirection capture_watch;
  SidetoneWatchedDirection render_watch;
  ComPtr<IMMDeviceEnumerator> enumerator;
  ComPtr<SidetoneDefaultDeviceWatch> watch;
  ComPtr<IMMDevice> capture_device;
  ComPtr<IMMDevice> render_device;
  ComPtr<IAudioClient> capture_client;
  ComPtr<IAudioClient> render_client;
  WAVEFORMATEX* capture_format = nullptr;
  WAVEFORMATEX* render_format = nullptr;
  ScopedKernelHandle capture_event;
  ScopedKernelHandle render_event;
  ComPtr<IAudioCaptureClient> capture_service;
  ComPtr<IAudioRenderClient> render_service;
};

#endif  // VELMO_AUDIO_SIDETONE_WASAPI_SESSION_H_
