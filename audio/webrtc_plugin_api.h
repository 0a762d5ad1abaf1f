#ifndef VELMO_AUDIO_WEBRTC_PLUGIN_API_H_
#define VELMO_AUDIO_WEBRTC_PLUGIN_API_H_

// The WebRTC plug-in's interfaces as the host calls them. The plug-in is built
// separately, so only the order of the virtual operations and their argument
// types matter here: never reorder, insert or remove a declaration.

namespace libwebrtc {

// Result of dropping one counted reference.
enum class RefCountReleaseStatus { kDroppedLastRef, kOtherRefsRemained };

// The plug-in's audio-processing object, handed out as a counted reference.
class RTCAudioProcessing {
 public:
  // A processing step the plug-in runs on each audio block. The plug-in keeps
  // only the pointer; the implementer owns the object.
  class CustomProcessing {
   public:
    virtual void Initialize(int sample_rate_hz, int num_channels) = 0;
    // Processes `buffer` in place.
    virtual void Process(int num_bands, int num_frames, int buffer_size, float* buffer) = 0;
    virtual void Reset(int new_rate) = 0;
    virtual void Release() = 0;
    // Declared after the operations so that it comes last in the table.
    virtual ~CustomProcessing() = default;
  };

  virtual void AddRef() const = 0;
  virtual RefCountReleaseStatus Release() const = 0;
  virtual bool HasOneRef() const = 0;
  // From this call on the plug-in runs `processing` on every captured block.
  virtual void SetCapturePostProcessing(CustomProcessing* processing) = 0;

 protected:
  // Only Release() ends the object's life. Non-virtual so it adds no slot.
  ~RTCAudioProcessing() = default;
};

}  // namespace libwebrtc

namespace flutter_webrtc_plugin {

// The plug-in's process-wide instance.
class SharedInstance {
 public:
  // Stores a counted reference to the audio-processing object in `*out` (the
  // caller drops it with Release()), or null when there is none yet.
  virtual void GetAudioProcessing(libwebrtc::RTCAudioProcessing** out) = 0;

 protected:
  ~SharedInstance() = default;
};

}  // namespace flutter_webrtc_plugin

extern "C" {

// Exported by flutter_webrtc_plugin.dll; null until the plug-in is set up.
flutter_webrtc_plugin::SharedInstance* FlutterWebRTCPluginSharedInstance();

}  // extern "C"

#endif  // VELMO_AUDIO_WEBRTC_PLUGIN_API_H_
