#include "testing/sidetone/scripted_session.h"

#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <utility>

#include "diagnostics/app_log.h"

namespace scripted_session {
namespace {

std::mutex log_lock;
std::vector<std::string> log_lines;
std::vector<std::string> blocking_lines;

void Record(const char* text, bool blocking) {
  if (text != nullptr) {
    std::lock_guard<std::mutex> guard(log_lock);
    log_lines.push_back(text);
    if (blocking) {
      blocking_lines.push_back(text);
    }
  }
}

class ScriptedSession : public SidetoneAudioSession {
 public:
  explicit ScriptedSession(std::shared_ptr<Script> script) : script(std::move(script)) {}
  ~ScriptedSession() override {
    std::lock_guard<std::mutex> guard(script->lock);
    script->calls.push_back("release");
    script->released = true;
  }

  bool InitializeCom() override { return Attempt("com", Step::kInitializeCom); }
  bool CreateEnumerator() override { return Attempt("enumerator", Step::kCreateEnumerator); }
  bool OpenDevice(SidetoneDirection direction, const std::wstring& id) override {
    const bool capture = direction == SidetoneDirection::kCapture;
    HangAt(capture ? Step::kOpenCapture : Step::kOpenRender);
    std::lock_guard<std::mutex> guard(script->lock);
    (capture ? script->capture_id : script->render_id) = id;
    return AttemptLocked(capture ? "capture_device" : "render_device",
                         capture ? Step::kOpenCapture : Step::kOpenRender);
  }
  bool ActivateClients() override { return Attempt("activate", Step::kActivateClients); }
  bool GetMixFormats(SidetoneMixFormat& capture, SidetoneMixFormat& render) override {
    capture = script->capture_format;
    render = script->render_format;
    return Attempt("mix_formats", Step::kGetMixFormats);
  }
  bool InitializeStream(SidetoneDirection direction) override {
    return direction == SidetoneDirection::kCapture
               ? Attempt("capture_init", Step::kInitializeCapture)
               : Attempt("render_init", Step::kInitializeRender);
  }
  bool GetServices() override { return Attempt("services", Step::kGetServices); }
  uint32_t RenderBufferFrames() override { return script->render_buffer_frames; }
  uint32_t RenderPeriodFrames() override { return script->period_frames; }
  void StartCapture() override { Attempt("start_capture", Step::kNone); }
  void StartRender() override { Attempt("start_render", Step::kNone); }
  void Wait(uint32_t) override {
    // A device period, shortened: paces a running loop without slowing tests.
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::lock_guard<std::mutex> guard(script->lock);
    offered_repeat = false;
  }
  bool DeviceLost() override { return script->device_lost.load(); }
  int32_t LastError() override { return script->last_error; }

  bool GetNextPacketSize(uint32_t& frames) override {
    std::lock_guard<std::mutex> guard(script->lock);
    if (script->device_lost) {
      return false;
    }
    // Like a device, at most one fresh packet per wait.
    if (script->packets.empty() && script->repeat_packet.frames != 0 && !offered_repeat) {
      script->packets.push_back(script->repeat_packet);
      offered_repeat = true;
    }
    frames = script->packets.empty() ? 0 : script->packets.front().frames;
    return true;
  }
  bool GetCaptureBuffer(SidetoneCapturePacket& packet) override {
    std::lock_guard<std::mutex> guard(script->lock);
    if (script->packets.empty()) {
      return false;
    }
    lent = std::move(script->packets.front());
    script->packets.pop_front();
    packet.data = lent.null_data ? nullptr : lent.bytes.data();
    packet.frames = lent.frames;
    packet.silent = lent.silent;
    packet.discontinuity = lent.discontinuity;
    return true;
  }
  void ReleaseCaptureBuffer(uint32_t frames) override {
    std::lock_guard<std::mutex> guard(script->lock);
    script->capture_released += frames;
  }

  bool GetCurrentPadding(uint32_t& pending) override {
    std::lock_guard<std::mutex> guard(script->lock);
    if (script->throw_while_running) {
      throw std::runtime_error("device lost");
    }
    pending = script->pending;
    return !script->padding_fails && !script->device_lost;
  }
  uint8_t* GetRenderBuffer(uint32_t frames) override {
    std::lock_guard<std::mutex> guard(script->lock);
    if (script->render_buffer_fails) {
      return nullptr;
    }
    // Stale bytes show whether the caller really wrote every frame.
    render_buffer.assign(static_cast<size_t>(frames) * script->render_format.block_align, 0xAB);
    return render_buffer.data();
  }
  void ReleaseRenderBuffer(uint32_t frames) override {
    std::lock_guard<std::mutex> guard(script->lock);
    script->pending += script->writes_add_pending ? frames : 0;
    const size_t bytes = static_cast<size_t>(frames) * script->render_format.block_align;
    script->rendered.insert(script->rendered.end(), render_buffer.begin(),
                            render_buffer.begin() + static_cast<std::ptrdiff_t>(bytes));
  }

 private:
  bool Attempt(const char* name, Step step) {
    HangAt(step);
    std::lock_guard<std::mutex> guard(script->lock);
    return AttemptLocked(name, step);
  }
  void HangAt(Step step) {
    if (step == Step::kNone) {
      return;
    }
    ++script->steps_begun;
    while (script->hang_at == step && !script->hang_released) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  bool AttemptLocked(const char* name, Step step) {
    script->calls.push_back(name);
    // No step of a set-up gets through while the device is gone.
    return step == Step::kNone || (script->fail_at != step && !script->device_lost);
  }

  std::shared_ptr<Script> script;
  Packet lent;
  bool offered_repeat = false;
  std::vector<uint8_t> render_buffer;
};

}  // namespace

std::vector<std::string> Script::Calls() {
  std::lock_guard<std::mutex> guard(lock);
  return calls;
}

std::unique_ptr<SidetoneAudioSession> MakeSession(std::shared_ptr<Script> script) {
  return std::make_unique<ScriptedSession>(std::move(script));
}

Packet FloatPacket(const std::vector<float>& interleaved, uint32_t channels) {
  Packet packet;
  packet.frames = static_cast<uint32_t>(interleaved.size() / channels);
  packet.bytes.resize(interleaved.size() * sizeof(float));
  std::memcpy(packet.bytes.data(), interleaved.data(), packet.bytes.size());
  return packet;
}

Packet Pcm16Packet(const std::vector<int16_t>& interleaved, uint32_t channels) {
  Packet packet;
  packet.frames = static_cast<uint32_t>(interleaved.size() / channels);
  packet.bytes.resize(interleaved.size() * sizeof(int16_t));
  std::memcpy(packet.bytes.data(), interleaved.data(), packet.bytes.size());
  return packet;
}

std::vector<std::string> LogLines() {
  std::lock_guard<std::mutex> guard(log_lock);
  return log_lines;
}

std::vector<std::string> BlockingLogLines() {
  std::lock_guard<std::mutex> guard(log_lock);
  return blocking_lines;
}

void ClearLog() {
  std::lock_guard<std::mutex> guard(log_lock);
  log_lines.clear();
  blocking_lines.clear();
}

}  // namespace scripted_session

void AppendLog(const char* text) { scripted_session::Record(text, true); }

void AppendLogNonBlocking(const char* text) { scripted_session::Record(text, false); }
