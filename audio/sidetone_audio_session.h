#ifndef VELMO_AUDIO_SIDETONE_AUDIO_SESSION_H_
#define VELMO_AUDIO_SIDETONE_AUDIO_SESSION_H_

#include <cstdint>
#include <string>

#include "audio/sidetone_mix_format.h"

enum class SidetoneDirection { kCapture, kRender };

// One captured packet as the capture service lends it.
struct SidetoneCapturePacket {
  const uint8_t* data = nullptr;
  uint32_t frames = 0;
  bool silent = false;
  // The device lost input before this packet.
  bool discontinuity = false;
};

// The audio system calls one run of the microphone monitor makes, on its
// worker thread, between opening the devices and losing or closing them. The set-up steps are
// called in the order they are declared and each reports whether it succeeded; destroying the
// session releases whatever it acquired, in the reverse order of acquisition. The WASAPI
// implementation is the real one; tests put a scripted one in its place to
// make any step fail.
class SidetoneAudioSession {
 public:
  virtual ~SidetoneAudioSession() = default;

  virtual bool InitializeCom() = 0;
  virtual bool CreateEnumerator() = 0;
  // An empty id, or one that names no endpoint, opens the default
  // communications endpoint of the direction.
  virtual bool OpenDevice(SidetoneDirection direction, const std::wstring& id) = 0;
  virtual bool ActivateClients() = 0;
  virtual bool GetMixFormats(SidetoneMixFormat& capture, SidetoneMixFormat& render) = 0;
  virtual bool InitializeStream(SidetoneDirection direction) = 0;
  virtual bool GetServices() = 0;
  // The render buffer's size in frames (0 when unknown), and the render
  // device's period: the frames it takes between two wake-ups.
  virtual uint32_t RenderBufferFrames() = 0;
  virtual uint32_t RenderPeriodFrames() = 0;
  // Render starts only once capture delivers: a render stream started
  // early runs dry before the first packet.
  virtual void StartCapture() = 0;
  virtual void StartRender() = 0;

  // Waits until either stream has work or `timeout_ms` passed.
  virtual void Wait(uint32_t timeout_ms) = 0;
  // True once the device has gone (unplugged, disabled, or for an empty id
  // no longer the default): the session must be reopened.
  virtual bool DeviceLost() = 0;
  // The error code of the last failing call, 0 if none or none to give.
  virtual int32_t LastError() = 0;

  // While running: the capture service.
  virtual bool GetNextPacketSize(uint32_t& frames) = 0;
  virtual bool GetCaptureBuffer(SidetoneCapturePacket& packet) = 0;
  virtual void ReleaseCaptureBuffer(uint32_t frames) = 0;

  // While running: the render client and service. GetRenderBuffer returns
  // null on failure.
  virtual bool GetCurrentPadding(uint32_t& pending) = 0;
  virtual uint8_t* GetRenderBuffer(uint32_t frames) = 0;
  virtual void ReleaseRenderBuffer(uint32_t frames) = 0;
};

#endif  // VELMO_AUDIO_SIDETONE_AUDIO_SESSION_H_
