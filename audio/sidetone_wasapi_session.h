#ifndef VELMO_AUDIO_SIDETONE_WASAPI_SESSION_H_
#define VELMO_AUDIO_SIDETONE_WASAPI_SESSION_H_

#include <windows.h>

#include <audioclient.h>
#include <mmdeviceapi.h>
#include <wrl/client.h>

#include "audio/sidetone_audio_session.h"

// The monitor's session over the MMDevice API and shared-mode WASAPI, with
// its own multithreaded COM apartment. Lives on the worker thread only.
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
  void StartStreams() override;

  bool GetNextPacketSize(uint32_t& frames) override;
  bool GetCaptureBuffer(SidetoneCapturePacket& packet) override;
  void ReleaseCaptureBuffer(uint32_t frames) override;

  bool GetCurrentPadding(uint32_t& pending) override;
  uint8_t* GetRenderBuffer(uint32_t frames) override;
  void ReleaseRenderBuffer(uint32_t frames) override;

 private:
  template <typename T>
  using ComPtr = Microsoft::WRL::ComPtr<T>;

  bool com_initialized = false;
  bool timer_resolution_raised = false;
  ComPtr<IMMDeviceEnumerator> enumerator;
  ComPtr<IMMDevice> capture_device;
  ComPtr<IMMDevice> render_device;
  ComPtr<IAudioClient> capture_client;
  ComPtr<IAudioClient> render_client;
  WAVEFORMATEX* capture_format = nullptr;
  WAVEFORMATEX* render_format = nullptr;
  ComPtr<IAudioCaptureClient> capture_service;
  ComPtr<IAudioRenderClient> render_service;
};

#endif  // VELMO_AUDIO_SIDETONE_WASAPI_SESSION_H_
