#ifndef VELMO_TESTING_SIDETONE_SCRIPTED_SESSION_H_
#define VELMO_TESTING_SIDETONE_SCRIPTED_SESSION_H_

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/sidetone_audio_session.h"

// An audio session whose endpoints are scripted by the test: any set-up step
// can fail, capture packets come from a list, the render buffer is plain
// memory whose released frames are kept. What happened is kept in a Script
// the test shares with the session, so it can be read after the session is
// gone.
namespace scripted_session {

enum class Step {
  kNone,
  kInitializeCom,
  kCreateEnumerator,
  kOpenCapture,
  kOpenRender,
  kActivateClients,
  kGetMixFormats,
  kInitializeCapture,
  kInitializeRender,
  kGetServices,
};

struct Packet {
  std::vector<uint8_t> bytes;
  uint32_t frames = 0;
  bool silent = false;
  bool null_data = false;
  bool discontinuity = false;
};

struct Script {
  // Set before the run.
  Step fail_at = Step::kNone;
  SidetoneMixFormat capture_format{3, 1, 48000, 4, 32};
  SidetoneMixFormat render_format{3, 1, 48000, 4, 32};
  uint32_t render_buffer_frames = 960;
  uint32_t period_frames = 480;
  // Whenever the list runs dry, this packet (if it has frames) is offered
  // again, once per wait, so a running loop always has audio.
  Packet repeat_packet;
  // Set-up waits at this step until `hang_released` is set.
  Step hang_at = Step::kNone;
  std::atomic<bool> hang_released{false};
  // The device is gone while this is set, and calls fail with `last_error`.
  std::atomic<bool> device_lost{false};
  int32_t last_error = 0;
  // Released render frames add to `pending`, as a device queues them.
  bool writes_add_pending = false;
  bool padding_fails = false;
  bool render_buffer_fails = false;
  // Makes the render side throw, as a device lost mid-run might.
  std::atomic<bool> throw_while_running{false};

  // Filled by the session and read by the test; the lock guards it while a
  // worker thread runs.
  std::mutex lock;
  std::deque<Packet> packets;
  uint32_t pending = 0;
  std::vector<std::string> calls;
  std::vector<uint8_t> rendered;  // bytes of every released render buffer
  size_t capture_released = 0;    // frames of every released capture packet
  std::wstring capture_id;
  std::wstring render_id;
  bool released = false;
  // Set-up steps that have begun, across hangs.
  std::atomic<int> steps_begun{0};

  std::vector<std::string> Calls();
};

// A session acting out `script`.
std::unique_ptr<SidetoneAudioSession> MakeSession(std::shared_ptr<Script> script);

// Packets in the layouts the session formats use.
Packet FloatPacket(const std::vector<float>& interleaved, uint32_t channels);
Packet Pcm16Packet(const std::vector<int16_t>& interleaved, uint32_t channels);

// Every text logged so far through either call, in order (the test
// program's log), and those of them that went through the blocking AppendLog.
std::vector<std::string> LogLines();
std::vector<std::string> BlockingLogLines();
void ClearLog();

}  // namespace scripted_session

#endif  // VELMO_TESTING_SIDETONE_SCRIPTED_SESSION_H_
