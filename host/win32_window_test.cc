#include "host/win32_window.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "channels/engine/engine_api.h"
#include "host/window_identity.h"

namespace {

UINT monitor_dpi = 96;

}  // namespace

// Stands in for the engine library's answer, so the scaling can be checked at
// any DPI.
extern "C" UINT FlutterDesktopGetDpiForMonitor(HMONITOR) { return monitor_dpi; }

namespace {

using Write = std::pair<uint32_t, uint32_t>;

class RecordingFrameWriter : public FrameAttributeWriter {
 public:
  HRESULT Write(HWND window, uint32_t attribute, uint32_t value) override {
    windows.push_back(window);
    writes.emplace_back(attribute, value);
    return S_OK;
  }

  std::vector<HWND> windows;
  std::vector<std::pair<uint32_t, uint32_t>> writes;
};

class TestWindow : public Win32Window {
 public:
  explicit TestWindow(FrameAttributeWriter& writer) : Win32Window(writer) {}

  bool create_succeeds = true;
  int created = 0;
  int destroyed = 0;

 protected:
  bool OnWindowCreated() override {
    ++created;
    return create_succeeds;
  }
  void OnWindowDestroyed() override { ++destroyed; }
};

const std::vector<Write> kDarkWrites = {
    {20, 1}, {35, 0x00241A16}, {36, 0x00FAF6F5}, {34, 0x00241A16}};
const std::vector<Write> kLightWrites = {
    {20, 0}, {35, 0x00FBF8F8}, {36, 0x00201A18}, {34, 0x00ECE4E2}};

bool QuitPosted() {
  MSG message;
  return PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
}

bool ClassRegistered() {
  WNDCLASSW info;
  return GetClassInfoW(GetModuleHandleW(nullptr), kMainWindowClassName, &info) != FALSE;
}

RECT WindowRect(HWND window) {
  RECT rect = {};
  GetWindowRect(window, &rect);
  return rect;
}

class Win32WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    monitor_dpi = 96;
    if (GetSystemMetrics(SM_CXSCREEN) == 0) {
      GTEST_SKIP() << "no display: windows cannot be created";
    }
  }
  void TearDown() override { QuitPosted(); }

  RecordingFrameWriter writer;
};

TEST_F(Win32WindowTest, CreatesHiddenWindowWithClassAndTitleUntilShown) {
  TestWindow window(writer);
  ASSERT_TRUE(window.CreateNativeWindow(L"Velmo", {10, 10}, {1280, 720}));
  HWND hwnd = window.NativeHandle();
  ASSERT_NE(hwnd, nullptr);
  EXPECT_EQ(window.created, 1);
  EXPECT_FALSE(IsWindowVisible(hwnd));
  // Read from the window itself: a desktop-wide search may find the window of
  // another test process running beside this one.
  wchar_t text[64] = {};
  ASSERT_GT(GetClassNameW(hwnd, text, 64), 0);
  EXPECT_STREQ(text, kMainWindowClassName);
  ASSERT_GT(GetWindowTextW(hwnd, text, 64), 0);
  EXPECT_STREQ(text, L"Velmo");
  EXPECT_EQ(GetWindowLongW(hwnd, GWL_STYLE) & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW);

  window.ShowNormal();
  EXPECT_TRUE(IsWindowVisible(hwnd));
}

TEST_F(Win32WindowTest, FailingCreationHookFailsCreation) {
  TestWindow window(writer);
  window.create_succeeds = false;
  EXPECT_FALSE(window.CreateNativeWindow(L"Velmo", {10, 10}, {1280, 720}));
}

struct DpiCase {
  UINT dpi;
  RECT expected;
};

class Win32WindowDpiTest : public Win32WindowTest, public ::testing::WithParamInterface<DpiCase> {};

TEST_P(Win32WindowDpiTest, ScalesOriginAndSizeByMonitorDpiTruncating) {
  monitor_dpi = GetParam().dpi;
  TestWindow window(writer);
  ASSERT_TRUE(window.CreateNativeWindow(L"Velmo", {10, 10}, {1280, 720}));
  RECT rect = WindowRect(window.NativeHandle());
  const RECT& expected = GetParam().expected;
  EXPECT_EQ(rect.left, expected.left);
  EXPECT_EQ(rect.top, expected.top);
  EXPECT_EQ(rect.right - rect.left, expected.right);
  EXPECT_EQ(rect.bottom - rect.top, expected.bottom);
}

// Expected rectangles as {x, y, width, height}.
INSTANTIATE_TEST_SUITE_P(Dpi, Win32WindowDpiTest,
                         ::testing::Values(DpiCase{96, {10, 10, 1280, 720}},
                                           DpiCase{120, {12, 12, 1600, 900}},
                                           DpiCase{144, {15, 15, 1920, 1080}}));

TEST_F(Win32WindowTest, DpiChangeTakesSuggestedRectangle) {
  TestWindow window(writer);
  ASSERT_TRUE(window.CreateNativeWindow(L"Velmo", {10, 10}, {1280, 720}));
  RECT suggested = {40, 50, 40 + 900, 50 + 600};
  EXPECT_EQ(SendMessageW(window.NativeHandle(), WM_DPICHANGED, MAKEWPARAM(144, 144),
                         reinterpret_cast<LPARAM>(&suggested)),
            0);
  RECT rect = WindowRect(window.NativeHandle());
  EXPECT_EQ(rect.left, 40);
  EXPECT_EQ(rect.top, 50);
  EXPECT_EQ(rect.right - rect.left, 900);
  EXPECT_EQ(rect.bottom - rect.top, 600);
}

TEST_F(Win32WindowTest, AttachedContentKeepsFillingClientArea) {
  TestWindow window(writer);
  ASSERT_TRUE(window.CreateNativeWindow(L"Velmo", {10, 10}, {800, 600}));
  HWND content = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10,
                                 GetDesktopWindow(), nullptr, nullptr, nullptr);
  ASSERT_NE(content, nullptr);
  window.AttachContent(content);
  EXPECT_EQ(GetParent(content), window.NativeHandle());

  auto expect_fills = [&]() {
    RECT client = window.ClientArea();
    RECT child = {};
    GetWindowRect(content, &child);
    MapWindowPoints(HWND_DESKTOP, window.NativeHandle(), reinterpret_cast<POINT*>(&child), 2);
    EXPECT_EQ(child.left, client.left);
    EXPECT_EQ(child.top, client.top);
    EXPECT_EQ(child.right, client.right);
    EXPECT_EQ(child.bottom, client.bottom);
  };
  expect_fills();
  SetWindowPos(window.NativeHandle(), nullptr, 0, 0, 500, 400, SWP_NOMOVE | SWP_NOZORDER);
  expect_fills();
}

TEST_F(Win32WindowTest, DestroyingWindowDoesNotQuitUnlessAsked) {
  TestWindow window(writer);
  ASSERT_TRUE(window.CreateNativeWindow(L"Velmo", {10, 10}, {640, 480}));
  QuitPosted();
  const int destroyed_before = window.destroyed;
  DestroyWindow(window.NativeHandle());
  EXPECT_EQ(window.NativeHandle(), nullptr);
  EXPECT_EQ(window.destroyed, destroyed_before + 1);
  EXPECT_FALSE(QuitPosted());

  ASSERT_TRUE(window.CreateNativeWindow(L"Velmo", {10, 10}, {640, 480}));
  window.SetQuitWhenDestroyed(true);
  DestroyWindow(window.NativeHandle());
  EXPECT_TRUE(QuitPosted());
}

TEST_F(Win32WindowTest, ClassStaysRegisteredUntilLastWindowObjectIsGone) {
  const int before = Win32Window::LiveWindowCount();
  {
    TestWindow first(writer);
    TestWindow second(writer);
    EXPECT_EQ(Win32Window::LiveWindowCount(), before + 2);
    ASSERT_TRUE(first.CreateNativeWindow(L"Velmo", {10, 10}, {640, 480}));
    ASSERT_TRUE(second.CreateNativeWindow(L"Other", {20, 20}, {640, 480}));
    first.DestroyNative();
    EXPECT_TRUE(ClassRegistered());
  }
  EXPECT_EQ(Win32Window::LiveWindowCount(), before);
  EXPECT_FALSE(ClassRegistered());

  TestWindow again(writer);
  EXPECT_TRUE(again.CreateNativeWindow(L"Velmo", {10, 10}, {640, 480}));
}

class FrameThemeTest : public Win32WindowTest {};

TEST_F(FrameThemeTest, NewWindowStartsDarkWhateverWasChosenBefore) {
  TestWindow window(writer);
  window.ApplyFrameTheme(false);
  EXPECT_TRUE(writer.writes.empty());
  ASSERT_TRUE(window.CreateNativeWindow(L"Velmo", {10, 10}, {640, 480}));
  EXPECT_EQ(writer.writes, kDarkWrites);
  for (HWND target : writer.windows) {
    EXPECT_EQ(target, window.NativeHandle());
  }
}

TEST_F(FrameThemeTest, AppliesDarkLightAndDarkAgainInOrder) {
  TestWindow window(writer);
  ASSERT_TRUE(window.CreateNativeWindow(L"Velmo", {10, 10}, {640, 480}));
  writer.writes.clear();

  window.ApplyFrameTheme(false);
  EXPECT_EQ(writer.writes, kLightWrites);
  writer.writes.clear();

  window.ApplyFrameTheme(true);
  EXPECT_EQ(writer.writes, kDarkWrites);
}

TEST_F(FrameThemeTest, ColorizationChangeReappliesStoredTheme) {
  TestWindow window(writer);
  ASSERT_TRUE(window.CreateNativeWindow(L"Velmo", {10, 10}, {640, 480}));
  window.ApplyFrameTheme(false);
  writer.writes.clear();

  EXPECT_EQ(SendMessageW(window.NativeHandle(), WM_DWMCOLORIZATIONCOLORCHANGED, 0x00FF0000, 0), 0);
  EXPECT_EQ(writer.writes, kLightWrites);
  writer.writes.clear();

  window.ApplyFrameTheme(true);
  writer.writes.clear();
  SendMessageW(window.NativeHandle(), WM_DWMCOLORIZATIONCOLORCHANGED, 0x00FF0000, 0);
  EXPECT_EQ(writer.writes, kDarkWrites);
}

TEST_F(FrameThemeTest, FailingAttributesDoNotStopTheRest) {
  class RefusingWriter : public RecordingFrameWriter {
   public:
    HRESULT Write(HWND window, uint32_t attribute, uint32_t value) override {
      RecordingFrameWriter::Write(window, attribute, value);
      return attribute == 20 ? S_OK : E_INVALIDARG;
    }
  } refusing;
  TestWindow window(refusing);
  ASSERT_TRUE(window.CreateNativeWindow(L"Velmo", {10, 10}, {640, 480}));
  window.ApplyFrameTheme(false);
  ASSERT_EQ(refusing.writes.size(), 8u);
  EXPECT_EQ(std::vector<Write>(refusing.writes.begin() + 4, refusing.writes.end()), kLightWrites);
}

}  // namespace
