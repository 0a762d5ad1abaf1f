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
    if (handler) {
      handlers[channel] = std::move(handler);
    } else {
      handlers.erase(channel);
    }
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

// The real tray, except that the shell refuses every icon.
class RefusingTraySystem : public NotifyIconSystem {
 public:
  RefusingTraySystem(HWND window, int* adds) : NotifyIconSystem(window), adds_(adds) {}

  // The test program has no application icon of its own.
  TrayImage LoadTrayImage() override {
    return reinterpret_cast<TrayImage>(CopyIcon(LoadIconW(nullptr, IDI_APPLICATION)));
  }
  bool AddIcon(TrayImage) override {
    ++*adds_;
    return false;
  }

 private:
  int* adds_;
};

int PendingQuitMessages() {
  int count = 0;
  MSG message;
  while (PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    ++count;
  }
  return count;
}

class DesktopShellWineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The shell is offered the window's messages by the test itself, so a
    // window of a system class will do.
    window_ = CreateWindowExW(WS_EX_APPWINDOW, L"STATIC", L"shell test", WS_OVERLAPPEDWINDOW, 10,
                              10, 300, 200, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window_, nullptr);
    ShowWindow(window_, SW_SHOW);
  }
  void TearDown() override {
    shell_.reset();
    EXPECT_TRUE(messenger_.handlers.empty()) << "a destroyed shell is still registered";
    DestroyWindow(window_);
    PendingQuitMessages();
  }

  LONG_PTR ExStyle() const { return GetWindowLongPtrW(window_, GWL_EXSTYLE); }

  HWND window_ = nullptr;
  FakeMessenger messenger_;
  std::unique_ptr<DesktopShell> shell_;
};

TEST_F(DesktopShellWineTest, RefusedIconIsRetriedAndEveryMethodStillWorksAndAnswersTrue) {
  int adds = 0;
  shell_ = std::make_unique<DesktopShell>(window_, &messenger_,
                                          std::make_unique<RefusingTraySystem>(window_, &adds));
  EXPECT_EQ(adds, 1);

  EXPECT_EQ(messenger_.Call("ensureTray"), kSuccessTrue);
  EXPECT_EQ(adds, 2);
  EXPECT_EQ(messenger_.Call("hideToTray"), kSuccessTrue);
  EXPECT_EQ(adds, 3);
  EXPECT_FALSE(shell_->tray_added());
  EXPECT_FALSE(IsWindowVisible(window_));
  EXPECT_EQ(ExStyle() & (WS_EX_TOOLWINDOW | WS_EX_APPWINDOW), WS_EX_TOOLWINDOW);
  EXPECT_EQ(messenger_.Call("showWindow"), kSuccessTrue);
  EXPECT_TRUE(IsWindowVisible(window_));
  EXPECT_EQ(ExStyle() & (WS_EX_TOOLWINDOW | WS_EX_APPWINDOW), WS_EX_APPWINDOW);

  LRESULT result = -1;
  EXPECT_TRUE(shell_->FilterWindowMessage(WM_CLOSE, 0, 0, &result));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(messenger_.sent.size(), 1u);
  EXPECT_EQ(messenger_.Call("quit"), kSuccessTrue);
  EXPECT_EQ(messenger_.Call("quit"), kSuccessTrue);
  EXPECT_EQ(PendingQuitMessages(), 1);
  // Once quitting, the close takes its normal course.
  EXPECT_FALSE(shell_->FilterWindowMessage(WM_CLOSE, 0, 0, &result));
  EXPECT_EQ(messenger_.sent.size(), 1u);
}

}  // namespace
