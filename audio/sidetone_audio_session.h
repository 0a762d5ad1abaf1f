#ifndef VELMO_AUDIO_SIDETONE_AUDIO_SESSION_H_
#define VELMO_AUDIO_SIDETONE_AUDIO_SESSION_H_

#include <cstdint>
#include <string>

#include "audio/sidetone_dsp.h"

enum class SidetoneDirection { kCapture, kRender };

// One captured packet as the capture service lends it.
struct SidetoneCapturePacket {
  const uint8_t* data = nullptr;
  uint32_t frames = 0;
  bool silent = false;
};

// The audio system calls one run of the microphone monitor makes, on its
// worker thread. The set-up steps are called in the order they are declared
// and each reports whether it succeeded; destroying the session releases
// whatever it acquired, in the reverse order of acquisition. The WASAPI
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
  // The render buffer's size in frames (0 when unknown).
  virtual uint32_t RenderBufferFrames() = 0;
  virtual void StartStreams() = 0;

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
