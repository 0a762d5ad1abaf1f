#include "channels/engine/flutter_engine.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "testing/fake_engine/fake_engine.h"

namespace flutter {
namespace {

constexpr char kNoEngineRegistrarLine[] =
    "Cannot get plugin registrar on an engine that isn't running; call Run first.\n";

EngineProject DataProject() {
  EngineProject project;
  project.assets_path = L"data\\flutter_assets";
  project.icu_data_path = L"data\\icudtl.dat";
  project.aot_library_path = L"data\\app.so";
  return project;
}

// Sets `seen` to whether the engine had been destroyed when it is destroyed.
struct DestructionProbe {
  explicit DestructionProbe(bool* seen) : seen(seen) {}
  ~DestructionProbe() { *seen = fake_engine::CallCount("FlutterDesktopEngineDestroy") == 1; }
  bool* seen;
};

class FlutterEngineTest : public ::testing::Test {
 protected:
  void SetUp() override { fake_engine::Reset(); }
};

TEST_F(FlutterEngineTest, PropertiesCarryTheProject) {
  EngineProject project = DataProject();
  project.dart_entrypoint_arguments = {"--first", "caf\xC3\xA9", ""};
  FlutterEngine engine(project);

  const auto created = fake_engine::CreatedProperties();
  ASSERT_TRUE(created.has_value());
  EXPECT_EQ(created->assets_path, L"data\\flutter_assets");
  EXPECT_EQ(created->icu_data_path, L"data\\icudtl.dat");
  EXPECT_EQ(created->aot_library_path, L"data\\app.so");
  EXPECT_FALSE(created->dart_entrypoint_null) << "an empty entry point is passed as \"\"";
  EXPECT_EQ(created->dart_entrypoint, "");
  EXPECT_EQ(created->dart_entrypoint_argc, 3);
  EXPECT_EQ(created->dart_entrypoint_argv, project.dart_entrypoint_arguments);
  EXPECT_EQ(created->gpu_preference, 0);
  EXPECT_EQ(created->ui_thread_policy, 0);
  EXPECT_EQ(created->windowing_mode, 0);
}

TEST_F(FlutterEngineTest, NoArgumentsGiveANullArray) {
  EngineProject project = DataProject();
  project.dart_entrypoint = "altMain";
  FlutterEngine engine(project);

  const auto created = fake_engine::CreatedProperties();
  ASSERT_TRUE(created.has_value());
  EXPECT_EQ(created->dart_entrypoint, "altMain");
  EXPECT_EQ(created->dart_entrypoint_argc, 0);
  EXPECT_TRUE(created->dart_entrypoint_argv_null);
}

TEST_F(FlutterEngineTest, OwnedEngineIsDestroyedBeforeItsMessengerAndCallback) {
  bool engine_gone_before_handler = false;
  bool engine_gone_before_callback = false;
  {
    FlutterEngine engine(DataProject());
    auto handler_probe = std::make_shared<DestructionProbe>(&engine_gone_before_handler);
    engine.messenger()->SetMessageHandler("velmo/test",
                                          [handler_probe](const uint8_t*, size_t, BinaryReply) {});
    auto callback_probe = std::make_shared<DestructionProbe>(&engine_gone_before_callback);
    engine.SetNextFrameCallback([callback_probe] {});
  }
  EXPECT_EQ(fake_engine::CallCount("FlutterDesktopEngineDestroy"), 1);
  EXPECT_TRUE(engine_gone_before_handler);
  EXPECT_TRUE(engine_gone_before_callback);
}

TEST_F(FlutterEngineTest, HandedOverEngineIsNotDestroyed) {
  {
    FlutterEngine engine(DataProject());
    EXPECT_EQ(engine.HandOverEngine(), fake_engine::EngineHandle());
    // Still usable after the handover.
    engine.ReloadSystemFonts();
  }
  EXPECT_EQ(fake_engine::CallCount("FlutterDesktopEngineReloadSystemFonts"), 1);
  EXPECT_EQ(fake_engine::CallCount("FlutterDesktopEngineDestroy"), 0);
}

TEST_F(FlutterEngineTest, RegistrarForAsksTheEngineByName) {
  FlutterEngine engine(DataProject());
  EXPECT_EQ(engine.RegistrarFor("WindowManagerPlugin"), fake_engine::RegistrarHandle());
  EXPECT_EQ(fake_engine::RegistrarNames(), std::vector<std::string>{"WindowManagerPlugin"});
}

TEST_F(FlutterEngineTest, RegistrarForWithoutEngineReportsAndReturnsNull) {
  fake_engine::behaviour().engine_create_succeeds = false;
  FlutterEngine engine(DataProject());

  ::testing::internal::CaptureStderr();
  const FlutterDesktopPluginRegistrarRef registrar = engine.RegistrarFor("WindowManagerPlugin");
  const std::string errors = ::testing::internal::GetCapturedStderr();

  EXPECT_EQ(registrar, nullptr);
  EXPECT_EQ(errors, kNoEngineRegistrarLine);
  EXPECT_EQ(fake_engine::CallCount("FlutterDesktopEngineGetPluginRegistrar"), 0);
}

class NextFrameCallbackTest : public FlutterEngineTest {};

TEST_F(NextFrameCallbackTest, FiresOnceForOneRegistration) {
  FlutterEngine engine(DataProject());
  int fired = 0;
  engine.SetNextFrameCallback([&fired] { ++fired; });
  EXPECT_EQ(fake_engine::CallCount("FlutterDesktopEngineSetNextFrameCallback"), 1);

  fake_engine::ProduceFrame();
  EXPECT_EQ(fired, 1);
  fake_engine::ReplayLastNextFrameCallback();
  fake_engine::ProduceFrame();
  EXPECT_EQ(fired, 1);

  engine.SetNextFrameCallback([&fired] { ++fired; });
  fake_engine::ProduceFrame();
  EXPECT_EQ(fired, 2);
}

TEST_F(NextFrameCallbackTest, LaterRegistrationReplacesAPendingOne) {
  FlutterEngine engine(DataProject());
  auto first_token = std::make_shared<int>(0);
  int first = 0;
  int second = 0;
  engine.SetNextFrameCallback([first_token, &first] { ++first; });
  engine.SetNextFrameCallback([&second] { ++second; });
  EXPECT_EQ(first_token.use_count(), 1);

  fake_engine::ProduceFrame();
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 1);
}

TEST_F(NextFrameCallbackTest, CallbackMayRegisterTheNextOne) {
  FlutterEngine engine(DataProject());
  int fired = 0;
  std::function<void()> again = [&] {
    ++fired;
    if (fired == 1) {
      engine.SetNextFrameCallback(again);
    }
  };
  engine.SetNextFrameCallback(again);

  fake_engine::ProduceFrame();
  fake_engine::ProduceFrame();
  fake_engine::ProduceFrame();
  EXPECT_EQ(fired, 2);
}

TEST_F(NextFrameCallbackTest, ExceptionStopsAtTheEngineBoundary) {
  FlutterEngine engine(DataProject());
  engine.SetNextFrameCallback([] { throw std::runtime_error("frame broke"); });

  ::testing::internal::CaptureStderr();
  EXPECT_NO_THROW(fake_engine::ProduceFrame());
  const std::string errors = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(errors.find("frame broke"), std::string::npos) << errors;
}

}  // namespace
}  // namespace flutter
