#include "channels/engine/binary_messenger_impl.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "testing/fake_engine/fake_engine.h"

namespace flutter {
namespace {

using Bytes = std::vector<uint8_t>;

class BinaryMessengerImplTest : public ::testing::Test {
 protected:
  void SetUp() override { fake_engine::Reset(); }

  BinaryMessengerImpl messenger_{fake_engine::MessengerHandle()};
};

TEST_F(BinaryMessengerImplTest, SendWithoutReplyUsesPlainSend) {
  const Bytes message = {1, 2, 3};
  messenger_.Send("velmo/test", message.data(), message.size());

  ASSERT_EQ(fake_engine::SentMessages().size(), 1u);
  const fake_engine::SentMessage sent = fake_engine::SentMessages()[0];
  EXPECT_EQ(sent.channel, "velmo/test");
  EXPECT_EQ(sent.data, message);
  EXPECT_FALSE(sent.with_reply);
  EXPECT_EQ(fake_engine::CallCount("FlutterDesktopMessengerSendWithReply"), 0);
}

TEST_F(BinaryMessengerImplTest, ReplyRunsOnceWithTheAnswerAndIsThenFreed) {
  auto token = std::make_shared<int>(0);
  int runs = 0;
  Bytes answer_seen;
  const Bytes message = {7};
  messenger_.Send("velmo/test", message.data(), message.size(),
                  [token, &runs, &answer_seen](const uint8_t* data, size_t size) {
                    ++runs;
                    answer_seen.assign(data, data + size);
                  });
  ASSERT_EQ(fake_engine::SentMessages().size(), 1u);
  EXPECT_TRUE(fake_engine::SentMessages()[0].with_reply);
  EXPECT_EQ(token.use_count(), 2) << "the reply must stay alive until the answer arrives";

  const Bytes answer = {0, 1};
  fake_engine::AnswerSend(0, answer.data(), answer.size());

  EXPECT_EQ(runs, 1);
  EXPECT_EQ(answer_seen, answer);
  EXPECT_EQ(token.use_count(), 1);
}

TEST_F(BinaryMessengerImplTest, RefusedSendWithReplyFreesTheReplyUnrun) {
  fake_engine::behaviour().send_with_reply_accepted = false;
  auto token = std::make_shared<int>(0);
  int runs = 0;
  const Bytes message = {7};
  messenger_.Send("velmo/test", message.data(), message.size(),
                  [token, &runs](const uint8_t*, size_t) { ++runs; });

  EXPECT_EQ(fake_engine::CallCount("FlutterDesktopMessengerSendWithReply"), 1);
  EXPECT_EQ(token.use_count(), 1);
  EXPECT_EQ(runs, 0);
}

class MessageHandlerTableTest : public BinaryMessengerImplTest {};

TEST_F(MessageHandlerTableTest, SecondHandlerReplacesFirstAtTheSameEntry) {
  auto first_token = std::make_shared<int>(0);
  int first_calls = 0;
  int second_calls = 0;
  Bytes second_saw;
  messenger_.SetMessageHandler(
      "velmo/test",
      [first_token, &first_calls](const uint8_t*, size_t, BinaryReply) { ++first_calls; });
  messenger_.SetMessageHandler(
      "velmo/test", [&second_calls, &second_saw](const uint8_t* data, size_t size, BinaryReply) {
        ++second_calls;
        second_saw.assign(data, data + size);
      });

  const auto registrations = fake_engine::CallbackRegistrations();
  ASSERT_EQ(registrations.size(), 2u);
  for (const auto& registration : registrations) {
    EXPECT_EQ(registration.channel, "velmo/test");
    EXPECT_NE(registration.callback, nullptr);
  }
  EXPECT_NE(registrations[0].user_data, nullptr);
  EXPECT_EQ(registrations[0].user_data, registrations[1].user_data);
  EXPECT_EQ(first_token.use_count(), 1) << "the replaced handler must be released";

  const Bytes message = {4, 5, 6};
  ASSERT_TRUE(fake_engine::DeliverMessage("velmo/test", message, fake_engine::ResponseHandle(0)));
  EXPECT_EQ(first_calls, 0);
  EXPECT_EQ(second_calls, 1);
  EXPECT_EQ(second_saw, message);
}

TEST_F(MessageHandlerTableTest, RemovingTellsTheEngineAndReleasesTheHandler) {
  auto token = std::make_shared<int>(0);
  messenger_.SetMessageHandler("velmo/test", [token](const uint8_t*, size_t, BinaryReply) {});
  messenger_.SetMessageHandler("velmo/test", nullptr);

  const auto registrations = fake_engine::CallbackRegistrations();
  ASSERT_EQ(registrations.size(), 2u);
  EXPECT_EQ(registrations[1].channel, "velmo/test");
  EXPECT_EQ(registrations[1].callback, nullptr);
  EXPECT_EQ(registrations[1].user_data, nullptr);
  EXPECT_EQ(token.use_count(), 1);
}

TEST_F(MessageHandlerTableTest, RemovingAnAbsentHandlerStillTellsTheEngine) {
  messenger_.SetMessageHandler("velmo/none", nullptr);

  const auto registrations = fake_engine::CallbackRegistrations();
  ASSERT_EQ(registrations.size(), 1u);
  EXPECT_EQ(registrations[0].channel, "velmo/none");
  EXPECT_EQ(registrations[0].callback, nullptr);
  EXPECT_EQ(registrations[0].user_data, nullptr);
}

// After changing its own entry a handler reads only statics: if it had been
// destroyed, its captures would be gone.
TEST_F(MessageHandlerTableTest, HandlerRemovingItselfLivesUntilItReturns) {
  static std::weak_ptr<int> watch;
  static long uses_after_removal;
  auto token = std::make_shared<int>(0);
  watch = token;
  uses_after_removal = 0;
  messenger_.SetMessageHandler("velmo/test", [this, token](const uint8_t*, size_t, BinaryReply) {
    messenger_.SetMessageHandler("velmo/test", nullptr);
    uses_after_removal = watch.use_count();
  });
  token.reset();

  ASSERT_TRUE(fake_engine::DeliverMessage("velmo/test", {}, fake_engine::ResponseHandle(0)));
  EXPECT_EQ(uses_after_removal, 1) << "the running handler was destroyed while it ran";
  EXPECT_TRUE(watch.expired());
}

TEST_F(MessageHandlerTableTest, HandlerReplacingItselfLivesUntilItReturns) {
  static std::weak_ptr<int> watch;
  static long uses_after_replacement;
  static int replacement_calls;
  auto token = std::make_shared<int>(0);
  watch = token;
  uses_after_replacement = 0;
  replacement_calls = 0;
  messenger_.SetMessageHandler("velmo/test", [this, token](const uint8_t*, size_t, BinaryReply) {
    messenger_.SetMessageHandler("velmo/test",
                                 [](const uint8_t*, size_t, BinaryReply) { ++replacement_calls; });
    uses_after_replacement = watch.use_count();
  });
  token.reset();

  ASSERT_TRUE(fake_engine::DeliverMessage("velmo/test", {}, fake_engine::ResponseHandle(0)));
  EXPECT_EQ(uses_after_replacement, 1) << "the running handler was destroyed while it ran";
  EXPECT_TRUE(watch.expired());
  ASSERT_TRUE(fake_engine::DeliverMessage("velmo/test", {}, fake_engine::ResponseHandle(1)));
  EXPECT_EQ(replacement_calls, 1);
}

TEST_F(MessageHandlerTableTest, ExceptionFromHandlerStopsAtTheEngineBoundary) {
  messenger_.SetMessageHandler("velmo/test", [](const uint8_t*, size_t, BinaryReply) {
    throw std::runtime_error("handler broke");
  });

  ::testing::internal::CaptureStderr();
  EXPECT_NO_THROW(fake_engine::DeliverMessage("velmo/test", {}, fake_engine::ResponseHandle(0)));
  const std::string errors = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(errors.find("handler broke"), std::string::npos) << errors;
}

TEST(BinaryMessengerImplLifetimeTest, DestructionMakesNoEngineCalls) {
  fake_engine::Reset();
  auto token = std::make_shared<int>(0);
  {
    BinaryMessengerImpl messenger(fake_engine::MessengerHandle());
    messenger.SetMessageHandler("velmo/test", [token](const uint8_t*, size_t, BinaryReply) {});
    fake_engine::Reset();
  }
  EXPECT_TRUE(fake_engine::Calls().empty());
  EXPECT_EQ(token.use_count(), 1);
}

}  // namespace
}  // namespace flutter
