#ifndef VELMO_AUDIO_SIDETONE_ENGINE_CONTROL_H_
#define VELMO_AUDIO_SIDETONE_ENGINE_CONTROL_H_

#include <memory>

#include "audio/sidetone_channel.h"
#include "channels/binary_messenger.h"
#include "channels/method_channel.h"

// The channel's calls on the process's SidetoneEngine, device ids converted
// to UTF-16. A pending start, and a stopped worker until it is joined, are
// polled by a thread timer of the platform thread, which therefore never
// waits for a worker.
class SidetoneEngineControl : public SidetoneControl {
 public:
  void Start(const std::string& input_device_id, const std::string& output_device_id, float volume,
             std::function<void(bool)> answer) override;
  void SetVolume(float volume) override;
  void Stop() override;
};

// The "parlora/sidetone" channel on `messenger`, answered by
// HandleSidetoneCall on the process's engine.
std::unique_ptr<flutter::MethodChannel> CreateSidetoneChannel(flutter::BinaryMessenger* messenger);

#endif  // VELMO_AUDIO_SIDETONE_ENGINE_CONTROL_H_
