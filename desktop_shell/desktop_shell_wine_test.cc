#include "desktop_shell/desktop_shell.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "channels/standard_method_codec.h"
#include "desktop_shell/desktop_shell_channel.h"
#include "desktop_shell/notify_icon_system.h"

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kSuccessTrue = {0x00, 0x01};

class FakeMessenger : public flutter::BinaryMessenger {
 public:
  void Send(const std::string& channel, const uint8_t*, size_t,
            flutter::BinaryReply) const override {
    sent.push_back(channel);
  }
  void SetMessageHandler(const std::string& channel,
                         flutter::BinaryMessageHandler handler) override {
    handlers[channel] = std::move(handler);
  }

  // Calls a method of the shell's channel; the reply's bytes.
  Bytes Call(const std::string& method) {
    const auto message = flutter::StandardMethodCodec::GetInstance().EncodeMethodCall(
        flutter::MethodCall(method, nullptr));
    Bytes reply;
    handlers.at(kDesktopShellChannelName)(
        message->data(), message->size(),
        [&reply](const uint8_t* data, size_t size) { reply.assign(data, data + size); });
    return reply;
  }

  mutable std::vector<std::string> sent;
  std::map<std::string, flutter::BinaryMessageHandler> handlers;
};

struct ShellCall {
  DWORD message;
  NOTIFYICONDATAW record;
};

// How the shell answers an add: as it does, refusing it, or reporting failure
// after it added the icon, as a time-out does.
enum class AddAnswer { kReal, kRefused, kTimedOut };

// The real tray with every call to the shell recorded.
class RecordingTraySystem : public NotifyIconSystem {
 public:
  RecordingTraySystem(HWND window, std::vector<ShellCall>* calls, AddAnswer add)
      : NotifyIconSystem(window), calls_(calls), add_(add) {}

  // The test program has no application icon of its own.
  TrayImage LoadTrayImage() override {
    return reinterpret_cast<TrayImage>(CopyIcon(LoadIconW(nullptr, IDI_APPLICATION)));
  }

 protected:
  bool Notify(DWORD message, NOTIFYICONDATAW& record) override {
    calls_->push_back({message, record});
    const bool is_add = message == NIM_ADD;
    if (is_add && add_ == AddAnswer::kRefused) return false;
    return NotifyIconSystem::Notify(message, record) && !(is_add && add_ == AddAnswer::kTimedOut);
  }

 private:
  std::vector<ShellCall>* calls_;
  AddAnswer add_;
};

long Adds(const std::vector<ShellCall>& calls) {
  return std::count_if(calls.begin(), calls.end(),
                       [](const ShellCall& c) { return c.message == NIM_ADD; });
}

// Only an icon the shell holds can be modified.
bool TrayHoldsIconOne(HWND window) {
  NOTIFYICONDATAW probe{};
  probe.cbSize = sizeof(probe);
  probe.hWnd = window;
  probe.uID = 1;
  return Shell_NotifyIconW(NIM_MODIFY, &probe) != FALSE;
}

TEST(DesktopShellWineTest, IconOneAsksForVersionFourAndQuitRemovesItAlsoAfterATimedOutAdd) {
  HWND window = CreateWindowExW(0, L"STATIC", L"tray test", WS_OVERLAPPEDWINDOW, 10, 10, 300, 200,
                                nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  for (const AddAnswer answer : {AddAnswer::kReal, AddAnswer::kTimedOut}) {
    const bool timed_out = answer == AddAnswer::kTimedOut;
    SCOPED_TRACE(timed_out ? "add timed out" : "add succeeded");
    FakeMessenger messenger;
    std::vector<ShellCall> calls;
    auto shell = std::make_unique<DesktopShell>(
        window, &messenger, std::make_unique<RecordingTraySystem>(window, &calls, answer));
    ASSERT_EQ(calls.size(), timed_out ? 1u : 2u);
    const NOTIFYICONDATAW& add = calls[0].record;
    EXPECT_EQ(std::tuple(calls[0].message, add.cbSize, add.hWnd, add.uID, add.uFlags,
                         add.uCallbackMessage, std::wstring(add.szTip)),
              std::tuple(DWORD{NIM_ADD}, DWORD{976}, window, UINT{1},
                         UINT{NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP}, UINT{0x8020},
                         std::wstring(L"Velmo")));
    if (!timed_out) {
      EXPECT_EQ(std::tuple(calls[1].message, calls[1].record.uID, calls[1].record.uVersion),
                std::tuple(DWORD{NIM_SETVERSION}, UINT{1}, UINT{NOTIFYICON_VERSION_4}));
    }
    EXPECT_TRUE(TrayHoldsIconOne(window));

    EXPECT_EQ(messenger.Call("quit"), kSuccessTrue);
    EXPECT_EQ(std::pair(calls.back().message, calls.back().record.uID),
              std::pair(DWORD{NIM_DELETE}, UINT{1}));
    EXPECT_FALSE(TrayHoldsIconOne(window)) << "a ghost icon is left in the tray";
    MSG quit;
    PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
  }
  DestroyWindow(window);
}

TEST(DesktopShellWineTest, RefusedIconIsRetriedEveryMethodAnswersTrueAndQuitLetsTheCloseThrough) {
  // The test offers the shell the window's messages itself: a system class will do.
  HWND window =
      CreateWindowExW(WS_EX_APPWINDOW, L"STATIC", L"shell test", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                      10, 10, 300, 200, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  FakeMessenger messenger;
  std::vector<ShellCall> calls;
  auto shell = std::make_unique<DesktopShell>(
      window, &messenger,
      std::make_unique<RecordingTraySystem>(window, &calls, AddAnswer::kRefused));
  EXPECT_EQ(Adds(calls), 1);
  EXPECT_EQ(messenger.Call("ensureTray"), kSuccessTrue);
  EXPECT_EQ(messenger.Call("hideToTray"), kSuccessTrue);
  EXPECT_EQ(Adds(calls), 3);
  EXPECT_FALSE(shell->tray_added());
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_EQ(messenger.Call("showWindow"), kSuccessTrue);
  EXPECT_TRUE(IsWindowVisible(window));

  LRESULT result = -1;
  EXPECT_TRUE(shell->FilterWindowMessage(WM_CLOSE, 0, 0, &result));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(messenger.sent.size(), 1u);
  EXPECT_EQ(messenger.Call("quit"), kSuccessTrue);
  EXPECT_EQ(messenger.Call("quit"), kSuccessTrue);
  MSG quit;
  EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_FALSE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "quit posted twice";
  EXPECT_FALSE(shell->FilterWindowMessage(WM_CLOSE, 0, 0, &result));
  EXPECT_EQ(messenger.sent.size(), 1u);

  shell.reset();
  EXPECT_FALSE(messenger.handlers.at(kDesktopShellChannelName))
      << "a destroyed shell still answers";
  DestroyWindow(window);
}

}  // namespace
