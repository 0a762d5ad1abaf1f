#include "channels/engine/reply_context.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "channels/engine/binary_messenger_impl.h"
#include "testing/fake_engine/fake_engine.h"

namespace flutter {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr char kDuplicateResponseLine[] =
    "Error: Response can be set only once. Ignoring duplicate response.\n";

// Delivers one message through the messenger and keeps the reply function the
// handler was given, as a channel that answers later would.
class EngineReplyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake_engine::Reset();
    messenger_.SetMessageHandler("velmo/test", [this](const uint8_t*, size_t, BinaryReply reply) {
      reply_ = std::move(reply);
    });
    ASSERT_TRUE(fake_engine::DeliverMessage("velmo/test", {9}, fake_engine::ResponseHandle(3)));
    ASSERT_TRUE(reply_);
    calls_before_reply_ = fake_engine::Calls().size();
  }

  std::vector<std::string> CallsSinceDelivery() const {
    const std::vector<std::string> calls = fake_engine::Calls();
    return {calls.begin() + static_cast<std::ptrdiff_t>(calls_before_reply_), calls.end()};
  }

  BinaryMessengerImpl messenger_{fake_engine::MessengerHandle()};
  BinaryReply reply_;
  size_t calls_before_reply_ = 0;
};

TEST_F(EngineReplyTest, RespondsOnceUnderTheMessengerLock) {
  const Bytes answer = {0, 1};
  reply_(answer.data(), answer.size());

  const auto responses = fake_engine::Responses();
  ASSERT_EQ(responses.size(), 1u);
  EXPECT_EQ(responses[0].handle, fake_engine::ResponseHandle(3));
  EXPECT_EQ(responses[0].data, answer);
  EXPECT_TRUE(responses[0].under_lock);
  EXPECT_TRUE(fake_engine::IsAvailableCalledUnderLock());
  EXPECT_EQ(CallsSinceDelivery(),
            (std::vector<std::string>{
                "FlutterDesktopMessengerLock", "FlutterDesktopMessengerIsAvailable",
                "FlutterDesktopMessengerSendResponse", "FlutterDesktopMessengerUnlock"}));
  EXPECT_EQ(fake_engine::UnlockArguments(),
            std::vector<FlutterDesktopMessengerRef>{fake_engine::MessengerHandle()});
}

TEST_F(EngineReplyTest, EmptyReplySendsNoData) {
  reply_(nullptr, 0);

  const auto responses = fake_engine::Responses();
  ASSERT_EQ(responses.size(), 1u);
  EXPECT_TRUE(responses[0].data_null);
  EXPECT_TRUE(responses[0].data.empty());
}

TEST_F(EngineReplyTest, SecondReplyIsRefusedWithOneLine) {
  const Bytes first = {0, 1};
  const Bytes second = {0, 2};
  ::testing::internal::CaptureStderr();
  reply_(first.data(), first.size());
  reply_(second.data(), second.size());
  const std::string errors = ::testing::internal::GetCapturedStderr();

  const auto responses = fake_engine::Responses();
  ASSERT_EQ(responses.size(), 1u);
  EXPECT_EQ(responses[0].data, first);
  EXPECT_EQ(errors, kDuplicateResponseLine);
  EXPECT_EQ(fake_engine::CallCount("FlutterDesktopMessengerLock"),
            fake_engine::CallCount("FlutterDesktopMessengerUnlock"));
}

TEST_F(EngineReplyTest, ReplyAfterEngineShutdownIsDroppedSilently) {
  fake_engine::ShutDownEngine();
  const Bytes answer = {0, 1};
  ::testing::internal::CaptureStderr();
  reply_(answer.data(), answer.size());
  reply_(answer.data(), answer.size());
  const std::string errors = ::testing::internal::GetCapturedStderr();

  EXPECT_TRUE(fake_engine::Responses().empty());
  EXPECT_EQ(errors, "");
  EXPECT_EQ(fake_engine::CallCount("FlutterDesktopMessengerLock"), 2);
  EXPECT_EQ(fake_engine::CallCount("FlutterDesktopMessengerUnlock"), 2);
}

TEST_F(EngineReplyTest, LockThatReturnsNothingIsNotUnlocked) {
  fake_engine::behaviour().lock_returns_messenger = false;
  const Bytes answer = {0, 1};
  reply_(answer.data(), answer.size());

  EXPECT_EQ(fake_engine::Responses().size(), 1u);
  EXPECT_EQ(fake_engine::CallCount("FlutterDesktopMessengerUnlock"), 0);
}

TEST_F(EngineReplyTest, MessengerReferenceLastsAsLongAsTheLastCopy) {
  EXPECT_EQ(fake_engine::CallCount("FlutterDesktopMessengerAddRef"), 1);
  EXPECT_EQ(fake_engine::OutstandingMessengerReferences(), 1);

  BinaryReply copy = reply_;
  reply_ = nullptr;
  EXPECT_EQ(fake_engine::OutstandingMessengerReferences(), 1);

  const Bytes answer = {0, 1};
  copy(answer.data(), answer.size());
  EXPECT_EQ(fake_engine::OutstandingMessengerReferences(), 1);

  copy = nullptr;
  EXPECT_EQ(fake_engine::OutstandingMessengerReferences(), 0);
  EXPECT_EQ(fake_engine::CallCount("FlutterDesktopMessengerRelease"), 1);
}

TEST_F(EngineReplyTest, ReplyFromAnotherThreadIsSentUnderTheLock) {
  const Bytes answer = {0, 1};
  std::thread worker([this, &answer] { reply_(answer.data(), answer.size()); });
  worker.join();

  const auto responses = fake_engine::Responses();
  ASSERT_EQ(responses.size(), 1u);
  EXPECT_NE(responses[0].thread, std::this_thread::get_id());
  EXPECT_TRUE(responses[0].under_lock);
  EXPECT_TRUE(fake_engine::IsAvailableCalledUnderLock());
}

TEST(EngineReplyBalanceTest, EveryMessageReferenceIsGivenBack) {
  fake_engine::Reset();
  BinaryMessengerImpl messenger(fake_engine::MessengerHandle());
  std::vector<BinaryReply> kept;
  messenger.SetMessageHandler("velmo/test", [&kept](const uint8_t*, size_t, BinaryReply reply) {
    if (kept.size() % 2 == 0) {
      reply(nullptr, 0);
    }
    kept.push_back(std::move(reply));
  });
  constexpr int kMessages = 6;
  for (int i = 0; i < kMessages; ++i) {
    ASSERT_TRUE(fake_engine::DeliverMessage("velmo/test", {}, fake_engine::ResponseHandle(i)));
  }
  EXPECT_EQ(fake_engine::OutstandingMessengerReferences(), kMessages);

  kept.clear();
  EXPECT_EQ(fake_engine::OutstandingMessengerReferences(), 0);
  EXPECT_EQ(fake_engine::CallCount("FlutterDesktopMessengerAddRef"), kMessages);
  EXPECT_EQ(fake_engine::CallCount("FlutterDesktopMessengerRelease"), kMessages);
  EXPECT_EQ(fake_engine::Responses().size(), static_cast<size_t>(kMessages / 2));
}

}  // namespace
}  // namespace flutter
