// Cost of one overlay frame of 16 members (speaking, muted, plain; no
// pictures), composited and pushed to the layered window. Every frame
// changes who speaks, so every row is drawn again in new colours; the names
// stay, as between the frames of one voice session. A second case gives
// every frame new names, whose texts are laid out first.
#include <windows.h>
// After windows.h.
#include <objbase.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>

#include <memory>
#include <string>
#include <utility>

#include "channels/encodable_value.h"
#include "channels/standard_method_codec.h"
#include "overlay/avatar/windows_avatar_fetch_system.h"
#include "overlay/voice_overlay.h"

namespace {

// Keeps the one handler the overlay registers, so calls can be made to it.
class DirectMessenger : public flutter::BinaryMessenger {
 public:
  void Send(const std::string&, const uint8_t*, size_t, flutter::BinaryReply) const override {}
  void SetMessageHandler(const std::string&, flutter::BinaryMessageHandler handler) override {
    handler_ = std::move(handler);
  }
  void Call(const std::string& method, flutter::EncodableValue arguments) {
    const auto message = flutter::StandardMethodCodec::GetInstance().EncodeMethodCall(
        flutter::MethodCall(method, std::make_unique<flutter::EncodableValue>(arguments)));
    handler_(message->data(), message->size(), [](const uint8_t*, size_t) {});
  }

 private:
  flutter::BinaryMessageHandler handler_;
};

constexpr int kMembers = 16;
constexpr int kWidth = 322;   // at scale 1.15
constexpr int kHeight = 750;  // 16 rows at scale 1.15

void SetMembers(DirectMessenger& messenger, int frame, const std::string& name) {
  flutter::EncodableList members;
  for (int i = 0; i < kMembers; ++i) {
    members.push_back(flutter::EncodableValue(flutter::EncodableMap{
        {flutter::EncodableValue("name"), flutter::EncodableValue(name + std::to_string(i))},
        {flutter::EncodableValue("speaking"), flutter::EncodableValue((i + frame) % 3 == 0)},
        {flutter::EncodableValue("muted"), flutter::EncodableValue(i % 4 == 1)}}));
  }
  messenger.Call(
      "setMembers",
      flutter::EncodableValue(flutter::EncodableMap{
          {flutter::EncodableValue("members"), flutter::EncodableValue(std::move(members))}}));
}

void RenderFrames(benchmark::State& state, bool new_names) {
  DirectMessenger messenger;
  VoiceOverlay overlay(nullptr, &messenger);
  SetMembers(messenger, 0, "Member ");
  SetWindowPos(overlay.overlay_window_handle(), nullptr, 0, 0, kWidth, kHeight,
               SWP_NOZORDER | SWP_NOACTIVATE);
  overlay.Render();
  int frame = 0;
  for (auto _ : state) {
    state.PauseTiming();
    ++frame;
    SetMembers(messenger, frame, new_names ? "Frame " + std::to_string(frame) + " " : "Member ");
    state.ResumeTiming();
    overlay.Render();
  }
}

void BM_RenderSixteenMembers(benchmark::State& state) { RenderFrames(state, false); }
void BM_RenderSixteenNewNames(benchmark::State& state) { RenderFrames(state, true); }
BENCHMARK(BM_RenderSixteenNewNames)->Unit(benchmark::kMillisecond);

// Windows' own fetch system, except that its server took the request and
// never answers: Open waits, as a real one does, until its deadline or an
// interrupt. Loopback, where such a server could listen, is refused.
class SilentServerSystem : public AvatarFetchSystem {
 public:
  // `opened` is set once a request is out.
  explicit SilentServerSystem(HANDLE opened) : opened_(opened) {}

  AvatarClock::time_point Now() override { return real_.Now(); }
  DownloadStep Open(const std::string&, AvatarClock::time_point deadline) override {
    SetEvent(opened_);
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Now());
    const DWORD wait = static_cast<DWORD>(std::max<long long>(left.count(), 0));
    return WaitForSingleObject(interrupted_.get(), wait) == WAIT_OBJECT_0 ? DownloadStep::kStopped
                                                                          : DownloadStep::kFailed;
  }
  std::optional<uint64_t> DeclaredLength() override { return std::nullopt; }
  DownloadStep Read(std::vector<uint8_t>&, std::size_t, AvatarClock::time_point) override {
    return DownloadStep::kFailed;
  }
  void CloseDownload() override {}
  void Interrupt() override {
    SetEvent(interrupted_.get());
    real_.Interrupt();
  }
  std::optional<std::vector<uint8_t>> ReadFile(const std::string&, std::size_t) override {
    return std::nullopt;  // nothing stored: every request goes out
  }
  bool WriteFile(const std::string& name, std::span<const uint8_t> bytes) override {
    return real_.WriteFile(name, bytes);
  }
  bool RenameFile(const std::string& from, const std::string& to) override {
    return real_.RenameFile(from, to);
  }
  void RemoveFile(const std::string& name) override { real_.RemoveFile(name); }
  void TouchFile(const std::string& name) override { real_.TouchFile(name); }
  std::vector<AvatarFolderEntry> ListFiles() override { return real_.ListFiles(); }
  AvatarDigest Sha256(std::string_view bytes) override { return real_.Sha256(bytes); }
  DecodeRun DecodedSize(std::span<const uint8_t> file, AvatarClock::time_point deadline,
                        std::optional<PictureSize>& size) override {
    return real_.DecodedSize(file, deadline, size);
  }
  DecodeRun Decode(std::span<const uint8_t> file, int size, AvatarClock::time_point deadline,
                   std::optional<ScaledAvatar>& picture) override {
    return real_.Decode(file, size, deadline, picture);
  }

 private:
  HANDLE opened_;
  ScopedKernelHandle interrupted_ = MakeEvent(true);
  WindowsAvatarFetchSystem real_;
};

// Destroying the overlay while its fetcher waits for that server's answer.
void BM_DestroyWithDownloadInFlight(benchmark::State& state) {
  const ScopedKernelHandle opened = MakeEvent(false);
  int round = 0;
  for (auto _ : state) {
    DirectMessenger messenger;
    std::optional<VoiceOverlay> overlay(std::in_place, nullptr, &messenger,
                                        std::make_unique<SilentServerSystem>(opened.get()));
    messenger.Call(
        "setMembers",
        flutter::EncodableValue(flutter::EncodableMap{
            {flutter::EncodableValue("members"),
             flutter::EncodableValue(flutter::EncodableList{flutter::EncodableValue(
                 flutter::EncodableMap{{flutter::EncodableValue("avatarUrl"),
                                        flutter::EncodableValue("http://avatars.test/" +
                                                                std::to_string(++round))}})})}}));
    if (WaitForSingleObject(opened.get(), 10000) != WAIT_OBJECT_0) {
      state.SkipWithError("no request went out");
      return;
    }
    const auto start = std::chrono::steady_clock::now();
    overlay.reset();
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
}
BENCHMARK(BM_DestroyWithDownloadInFlight)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_RenderSixteenMembers)->Unit(benchmark::kMillisecond);

// A side x side JPEG of a busy pattern, encoded by WIC, small enough to be
// stored (noise would pass the body cap).
std::vector<uint8_t> NoiseJpeg(UINT side) {
  using Microsoft::WRL::ComPtr;
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  ComPtr<IWICImagingFactory> factory;
  ComPtr<IStream> stream;
  ComPtr<IWICBitmapEncoder> encoder;
  ComPtr<IWICBitmapFrameEncode> frame;
  CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory));
  CreateStreamOnHGlobal(nullptr, TRUE, &stream);
  factory->CreateEncoder(GUID_ContainerFormatJpeg, nullptr, &encoder);
  encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache);
  encoder->CreateNewFrame(&frame, nullptr);
  frame->Initialize(nullptr);
  frame->SetSize(side, side);
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  frame->SetPixelFormat(&format);
  std::vector<BYTE> pixels(static_cast<std::size_t>(side) * side * 3);
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    const std::size_t x = i / 3 % side;
    const std::size_t y = i / 3 / side;
    pixels[i] = static_cast<BYTE>((x ^ y) + i % 3 * 85);
  }
  frame->WritePixels(side, side * 3, static_cast<UINT>(pixels.size()), pixels.data());
  frame->Commit();
  encoder->Commit();
  STATSTG stat{};
  stream->Stat(&stat, STATFLAG_NONAME);
  std::vector<uint8_t> bytes(static_cast<std::size_t>(stat.cbSize.QuadPart));
  stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
  ULONG read = 0;
  stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
  CoUninitialize();
  return bytes;
}

// How long a stop takes while the worker decodes the largest stored square
// JPEG the pixel budget allows:
// each iteration stops a little later into the decode (0 to 1 s).
void BM_StopWhileDecodingLargest(benchmark::State& state) {
  constexpr UINT kLargestSquareSide = 2048;
  static_assert(uint64_t{kLargestSquareSide} * kLargestSquareSide == kAvatarPixelBudget);
  const std::vector<uint8_t> jpeg = NoiseJpeg(kLargestSquareSide);
  const std::string url = "http://avatars.test/largest.jpg";
  double whole = 0;  // one fetch of the stored picture left to its end
  {
    WindowsAvatarFetchSystem system;
    system.WriteFile(AvatarFileName(system.Sha256(url)), StoredAvatar(url, jpeg));
    AvatarFetcher fetcher(system, [] {});
    const auto start = std::chrono::steady_clock::now();
    if (fetcher.Fetch(url, 35).outcome != AvatarFetchOutcome::kStored) {
      state.SkipWithError("the stored picture did not decode");
      return;
    }
    whole = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  int round = 0;
  double worst = 0;
  for (auto _ : state) {
    WindowsAvatarFetchSystem system;
    const std::string name = AvatarFileName(system.Sha256(url));
    system.WriteFile(name, StoredAvatar(url, jpeg));
    AvatarFetcher fetcher(system, [] {});
    fetcher.Start();
    fetcher.Request(url, 35);
    std::this_thread::sleep_for(std::chrono::milliseconds(50 * (round++ % 20)));
    const auto start = std::chrono::steady_clock::now();
    fetcher.Stop();
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    worst = std::max(worst, took);
    state.SetIterationTime(took);
  }
  state.counters["worst_ms"] = worst * 1000;
  state.counters["whole_decode_ms"] = whole * 1000;
  state.counters["jpeg_kib"] = static_cast<double>(jpeg.size()) / 1024;
}
BENCHMARK(BM_StopWhileDecodingLargest)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(40);

}  // namespace
