#include "channels/engine/flutter_view_controller.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "testing/fake_engine/fake_engine.h"

namespace flutter {
namespace {

constexpr char kFailedViewControllerLine[] = "Failed to create view controller.\n";
constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr UINT kSomeMessage = 0x0113;
constexpr LRESULT kEngineResult = 42;

class FlutterViewControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake_engine::Reset();
    project_.assets_path = L"data\\flutter_assets";
    project_.icu_data_path = L"data\\icudtl.dat";
    project_.aot_library_path = L"data\\app.so";
  }

  EngineProject project_;
};

TEST_F(FlutterViewControllerTest, CreatesTheViewOfTheHandedOverEngine) {
  FlutterViewController controller(kWidth, kHeight, project_);

  ASSERT_NE(controller.engine(), nullptr);
  ASSERT_NE(controller.view(), nullptr);
  EXPECT_EQ(controller.view()->NativeWindow(), fake_engine::ViewWindow());
  EXPECT_EQ(fake_engine::Calls(),
            (std::vector<std::string>{
                "FlutterDesktopEngineCreate", "FlutterDesktopEngineGetMessenger",
                "FlutterDesktopViewControllerCreate", "FlutterDesktopViewControllerGetView",
                "FlutterDesktopViewGetHWND"}));
}

TEST_F(FlutterViewControllerTest, DestructionEndsControllerBeforeTheMessengerGoes) {
  bool controller_gone_before_handler = false;
  {
    FlutterViewController controller(kWidth, kHeight, project_);
    struct Probe {
      bool* seen;
      ~Probe() { *seen = fake_engine::CallCount("FlutterDesktopViewControllerDestroy") == 1; }
    };
    auto probe = std::make_shared<Probe>(Probe{&controller_gone_before_handler});
    controller.engine()->messenger()->SetMessageHandler(
        "velmo/test", [probe](const uint8_t*, size_t, BinaryReply) {});
  }
  EXPECT_EQ(fake_engine::CallCount("FlutterDesktopViewControllerDestroy"), 1);
  EXPECT_EQ(fake_engine::CallCount("FlutterDesktopEngineDestroy"), 0)
      << "the controller owns the engine";
  EXPECT_TRUE(controller_gone_before_handler);
}

TEST_F(FlutterViewControllerTest, FailedCreationLeavesNoViewAndIsNeverDestroyed) {
  fake_engine::behaviour().view_controller_create_succeeds = false;
  ::testing::internal::CaptureStderr();
  {
    FlutterViewController controller(kWidth, kHeight, project_);
    EXPECT_EQ(controller.view(), nullptr);
    controller.ForceRedraw();
    EXPECT_FALSE(controller.HandleTopLevelWindowProc(nullptr, kSomeMessage, 0, 0).has_value());
  }
  const std::string errors = ::testing::internal::GetCapturedStderr();

  EXPECT_EQ(errors, kFailedViewControllerLine);
  EXPECT_EQ(fake_engine::Calls(), (std::vector<std::string>{"FlutterDesktopEngineCreate",
                                                            "FlutterDesktopEngineGetMessenger",
                                                            "FlutterDesktopViewControllerCreate"}));
  EXPECT_EQ(fake_engine::CallCount("FlutterDesktopViewControllerDestroy"), 0);
  EXPECT_EQ(fake_engine::CallCount("FlutterDesktopEngineDestroy"), 0);
  EXPECT_EQ(fake_engine::CallCount("FlutterDesktopViewControllerGetView"), 0);
}

// The engine library destroyed the engine it was handed: none of the engine's
// operations may reach its handle or messenger any more.
TEST_F(FlutterViewControllerTest, EngineOfAFailedControllerNoLongerReachesTheLibrary) {
  fake_engine::behaviour().view_controller_create_succeeds = false;
  ::testing::internal::CaptureStderr();
  FlutterViewController controller(kWidth, kHeight, project_);
  ASSERT_NE(controller.engine(), nullptr);
  const size_t calls_after_creation = fake_engine::Calls().size();

  FlutterEngine& engine = *controller.engine();
  engine.ReloadSystemFonts();
  engine.SetNextFrameCallback([] {});
  EXPECT_EQ(engine.RegistrarFor("WindowManagerPlugin"), nullptr);
  engine.messenger()->Send("velmo/test", nullptr, 0);
  engine.messenger()->Send("velmo/test", nullptr, 0, [](const uint8_t*, size_t) {});
  engine.messenger()->SetMessageHandler("velmo/test", [](const uint8_t*, size_t, BinaryReply) {});
  engine.messenger()->SetMessageHandler("velmo/test", nullptr);
  ::testing::internal::GetCapturedStderr();

  EXPECT_EQ(fake_engine::Calls().size(), calls_after_creation);
}

TEST_F(FlutterViewControllerTest, EngineThatFailedToStartGetsNoController) {
  fake_engine::behaviour().engine_create_succeeds = false;
  ::testing::internal::CaptureStderr();
  FlutterViewController controller(kWidth, kHeight, project_);
  const std::string errors = ::testing::internal::GetCapturedStderr();

  EXPECT_EQ(errors, kFailedViewControllerLine);
  EXPECT_EQ(controller.view(), nullptr);
  EXPECT_EQ(fake_engine::CallCount("FlutterDesktopViewControllerCreate"), 0);
}

TEST_F(FlutterViewControllerTest, TopLevelMessageResultOnlyWhenConsumed) {
  FlutterViewController controller(kWidth, kHeight, project_);
  EXPECT_FALSE(controller.HandleTopLevelWindowProc(nullptr, kSomeMessage, 1, 2).has_value());

  fake_engine::behaviour().top_level_proc_consumes = true;
  fake_engine::behaviour().top_level_proc_result = kEngineResult;
  const std::optional<LRESULT> result =
      controller.HandleTopLevelWindowProc(nullptr, kSomeMessage, 1, 2);
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(*result, kEngineResult);
}

}  // namespace
}  // namespace flutter
