#include "desktop_shell/desktop_shell.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
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

// The test program has no application icon of its own.
TrayImage StockIcon() {
  return reinterpret_cast<TrayImage>(CopyIcon(LoadIconW(nullptr, IDI_APPLICATION)));
}

// The real tray, except that the shell refuses every icon.
class RefusingTraySystem : public NotifyIconSystem {
 public:
  RefusingTraySystem(HWND window, int* adds) : NotifyIconSystem(window), adds_(adds) {}

  TrayImage LoadTrayImage() override { return StockIcon(); }
  bool AddIcon(TrayImage) override {
    ++*adds_;
    return false;
  }

 private:
  int* adds_;
};

struct ShellCall {
  DWORD message;
  NOTIFYICONDATAW record;
};

// The real tray with every call to the shell recorded. An add can be made to
// report failure after it succeeded, as a time-out does.
class RecordingTraySystem : public NotifyIconSystem {
 public:
  RecordingTraySystem(HWND window, std::vector<ShellCall>* calls, bool add_times_out)
      : NotifyIconSystem(window), calls_(calls), add_times_out_(add_times_out) {}

  TrayImage LoadTrayImage() override { return StockIcon(); }

 protected:
  bool Notify(DWORD message, NOTIFYICONDATAW& record) override {
    calls_->push_back({message, record});
    const bool done = NotifyIconSystem::Notify(message, record);
    return done && !(message == NIM_ADD && add_times_out_);
  }

 private:
  std::vector<ShellCall>* calls_;
  bool add_times_out_;
};

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
  for (const bool add_times_out : {false, true}) {
    SCOPED_TRACE(add_times_out ? "add timed out" : "add succeeded");
    FakeMessenger messenger;
    std::vector<ShellCall> calls;
    auto shell = std::make_unique<DesktopShell>(
        window, &messenger, std::make_unique<RecordingTraySystem>(window, &calls, add_times_out));
    ASSERT_EQ(calls.size(), add_times_out ? 1u : 2u);
    const NOTIFYICONDATAW& added = calls[0].record;
    EXPECT_EQ(calls[0].message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(added.cbSize, 976u);
    EXPECT_EQ(added.hWnd, window);
    EXPECT_EQ(added.uID, 1u);
    EXPECT_EQ(added.uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_EQ(added.uCallbackMessage, 0x8020u);
    EXPECT_STREQ(added.szTip, L"Velmo");
    if (!add_times_out) {
      EXPECT_EQ(calls[1].message, static_cast<DWORD>(NIM_SETVERSION));
      EXPECT_EQ(calls[1].record.uID, 1u);
      EXPECT_EQ(calls[1].record.uVersion, static_cast<UINT>(NOTIFYICON_VERSION_4));
    }
    EXPECT_TRUE(TrayHoldsIconOne(window));

    EXPECT_EQ(messenger.Call("quit"), kSuccessTrue);
    EXPECT_EQ(calls.back().message, static_cast<DWORD>(NIM_DELETE));
    EXPECT_EQ(calls.back().record.uID, 1u);
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
  int adds = 0;
  auto shell = std::make_unique<DesktopShell>(window, &messenger,
                                              std::make_unique<RefusingTraySystem>(window, &adds));
  EXPECT_EQ(adds, 1);
  EXPECT_EQ(messenger.Call("ensureTray"), kSuccessTrue);
  EXPECT_EQ(messenger.Call("hideToTray"), kSuccessTrue);
  EXPECT_EQ(adds, 3);
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
