#include "channels/method_channel.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "channels/standard_method_codec.h"

namespace flutter {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr char kChannel[] = "test/methods";

// Delivers messages to registered handlers and records what goes out.
class FakeMessenger : public BinaryMessenger {
 public:
  struct Sent {
    std::string channel;
    Bytes message;
    BinaryReply reply;
  };

  void Send(const std::string& channel, const uint8_t* message, size_t message_size,
            BinaryReply reply) const override {
    sent.push_back({channel, Bytes(message, message + message_size), std::move(reply)});
  }

  void SetMessageHandler(const std::string& channel, BinaryMessageHandler handler) override {
    if (handler) {
      handlers[channel] = std::move(handler);
    } else {
      handlers.erase(channel);
    }
  }

  // Delivers a message and returns every reply it got (each as its bytes).
  std::vector<Bytes> Deliver(const std::string& channel, const Bytes& message) {
    std::vector<Bytes> replies;
    handlers.at(channel)(message.data(), message.size(),
                         [&replies](const uint8_t* reply, size_t size) {
                           replies.emplace_back(reply, reply + size);
                         });
    return replies;
  }

  mutable std::vector<Sent> sent;
  std::map<std::string, BinaryMessageHandler> handlers;
};

class RecordingResult : public MethodResult {
 public:
  explicit RecordingResult(std::string* log) : log_(log) {}

 protected:
  void SuccessInternal(const EncodableValue* result) override {
    *log_ += result ? "success(value);" : "success;";
  }
  void ErrorInternal(const std::string& error_code, const std::string& error_message,
                     const EncodableValue*) override {
    *log_ += "error(" + error_code + "," + error_message + ");";
  }
  void NotImplementedInternal() override { *log_ += "not_implemented;"; }

 private:
  std::string* log_;
};

class MethodChannelTest : public ::testing::Test {
 protected:
  Bytes Call(const std::string& method) {
    return *codec_.EncodeMethodCall(MethodCall(method, nullptr));
  }

  const StandardMethodCodec& codec_ = StandardMethodCodec::GetInstance();
  FakeMessenger messenger_;
  MethodChannel channel_{&messenger_, kChannel, &codec_};
};

TEST_F(MethodChannelTest, HandlerAnswersThroughTheReply) {
  std::string seen_method;
  channel_.SetMethodCallHandler(
      [&seen_method](const MethodCall& call, std::unique_ptr<MethodResult> result) {
        seen_method = call.method_name();
        result->Success(EncodableValue(true));
      });
  const auto replies = messenger_.Deliver(kChannel, Call("ping"));
  EXPECT_EQ(seen_method, "ping");
  EXPECT_EQ(replies, std::vector<Bytes>({{0x00, 0x01}}));
}

TEST_F(MethodChannelTest, ErrorDetailsReachTheReply) {
  const EncodableValue details(int32_t{3});
  channel_.SetMethodCallHandler(
      [&details](const MethodCall&, std::unique_ptr<MethodResult> result) {
        result->Error("busy", "later", details);
      });
  EXPECT_EQ(messenger_.Deliver(kChannel, Call("x")),
            std::vector<Bytes>({*codec_.EncodeErrorEnvelope("busy", "later", &details)}));
}

TEST_F(MethodChannelTest, SecondAnswerIsRefusedWithOneReport) {
  channel_.SetMethodCallHandler([](const MethodCall&, std::unique_ptr<MethodResult> result) {
    result->Success();
    result->Error("late", "too late");
    result->NotImplemented();
  });
  ::testing::internal::CaptureStderr();
  const auto replies = messenger_.Deliver(kChannel, Call("x"));
  const std::string duplicate =
      "Error: Only one of Success, Error, or NotImplemented can be called, and it can be called "
      "exactly once. Ignoring duplicate result.\n";
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), duplicate + duplicate);
  EXPECT_EQ(replies, std::vector<Bytes>({{0x00, 0x00}}));
}

TEST_F(MethodChannelTest, NotImplementedIsAnEmptyReply) {
  channel_.SetMethodCallHandler(
      [](const MethodCall&, std::unique_ptr<MethodResult> result) { result->NotImplemented(); });
  EXPECT_EQ(messenger_.Deliver(kChannel, Call("x")), std::vector<Bytes>({{}}));
}

TEST_F(MethodChannelTest, UnansweredCallWarnsAndSendsNothing) {
  channel_.SetMethodCallHandler([](const MethodCall&, std::unique_ptr<MethodResult>) {});
  ::testing::internal::CaptureStderr();
  const auto replies = messenger_.Deliver(kChannel, Call("x"));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Warning: Failed to respond to a message. This is a memory leak.\n");
  EXPECT_TRUE(replies.empty());
}

TEST_F(MethodChannelTest, UndecodableCallIsAnsweredNotImplemented) {
  bool called = false;
  channel_.SetMethodCallHandler(
      [&called](const MethodCall&, std::unique_ptr<MethodResult>) { called = true; });
  ::testing::internal::CaptureStderr();
  const auto replies = messenger_.Deliver(kChannel, {0x03, 0x01, 0x00, 0x00, 0x00});
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Invalid method call; method name is not a string.\n"
            "Unable to construct method call from message on channel test/methods\n");
  EXPECT_FALSE(called);
  EXPECT_EQ(replies, std::vector<Bytes>({{}}));
}

TEST_F(MethodChannelTest, ThrowingHandlerDoesNotEscape) {
  channel_.SetMethodCallHandler([](const MethodCall&, std::unique_ptr<MethodResult> result) {
    result->Success();
    throw std::runtime_error("boom");
  });
  ::testing::internal::CaptureStderr();
  std::vector<Bytes> replies;
  EXPECT_NO_THROW(replies = messenger_.Deliver(kChannel, Call("x")));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Method call handler on channel test/methods threw: boom\n");
  EXPECT_EQ(replies, std::vector<Bytes>({{0x00, 0x00}}));
}

TEST_F(MethodChannelTest, HandlerThrowingBeforeItAnswersGetsTheCallAnsweredWithAnError) {
  struct Row {
    const char* name;
    std::function<void()> raise;
    std::string error_line;
    std::string message;
  };
  const Row rows[] = {
      {"standard exception", [] { throw std::runtime_error("no device"); },
       "Method call handler on channel test/methods threw: no device\n", "no device"},
      {"anything else", [] { throw 7; }, "Method call handler on channel test/methods threw.\n",
       "unknown error"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    channel_.SetMethodCallHandler(
        [&row](const MethodCall&, std::unique_ptr<MethodResult>) { row.raise(); });
    ::testing::internal::CaptureStderr();
    const auto replies = messenger_.Deliver(kChannel, Call("x"));
    // No warning about an unanswered call: it is answered.
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), row.error_line);
    EXPECT_EQ(replies,
              std::vector<Bytes>({*codec_.EncodeErrorEnvelope("internal_error", row.message)}));
  }
}

TEST_F(MethodChannelTest, LateAnswerOfAHandlerThatThrewIsDropped) {
  std::unique_ptr<MethodResult> kept;
  channel_.SetMethodCallHandler([&kept](const MethodCall&, std::unique_ptr<MethodResult> result) {
    kept = std::move(result);
    throw std::runtime_error("boom");
  });
  const Bytes message = Call("x");
  std::vector<Bytes> replies;
  ::testing::internal::CaptureStderr();
  messenger_.handlers.at(kChannel)(
      message.data(), message.size(),
      [&replies](const uint8_t* reply, size_t size) { replies.emplace_back(reply, reply + size); });
  kept->Success();
  ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(replies, std::vector<Bytes>({*codec_.EncodeErrorEnvelope("internal_error", "boom")}));
}

TEST_F(MethodChannelTest, ThrowingHandlerOfACallWithoutReplyFunctionSendsNothing) {
  channel_.SetMethodCallHandler(
      [](const MethodCall&, std::unique_ptr<MethodResult>) { throw std::runtime_error("boom"); });
  const Bytes message = Call("x");
  ::testing::internal::CaptureStderr();
  EXPECT_NO_THROW(messenger_.handlers.at(kChannel)(message.data(), message.size(), nullptr));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Method call handler on channel test/methods threw: boom\n");
}

TEST_F(MethodChannelTest, HandlerOutlivesTheChannelAndCanBeRemoved) {
  {
    MethodChannel temporary(&messenger_, "other", &codec_);
    temporary.SetMethodCallHandler(
        [](const MethodCall&, std::unique_ptr<MethodResult> result) { result->Success(); });
  }
  EXPECT_EQ(messenger_.Deliver("other", Call("x")), std::vector<Bytes>({{0x00, 0x00}}));
  MethodChannel(&messenger_, "other", &codec_).SetMethodCallHandler(nullptr);
  EXPECT_EQ(messenger_.handlers.count("other"), 0u);
}

class InvokeMethodTest : public MethodChannelTest {
 protected:
  void Answer(const Bytes& reply) {
    ASSERT_EQ(messenger_.sent.size(), 1u);
    ASSERT_TRUE(messenger_.sent[0].reply);
    messenger_.sent[0].reply(reply.empty() ? nullptr : reply.data(), reply.size());
  }
  std::string log_;
};

TEST_F(InvokeMethodTest, FireAndForgetSendsTheCallWithoutReply) {
  channel_.InvokeMethod("onCloseRequested");
  ASSERT_EQ(messenger_.sent.size(), 1u);
  EXPECT_EQ(messenger_.sent[0].channel, kChannel);
  EXPECT_EQ(messenger_.sent[0].message, Call("onCloseRequested"));
  EXPECT_FALSE(messenger_.sent[0].reply);
}

TEST_F(InvokeMethodTest, RepliesReachTheResult) {
  channel_.InvokeMethod("a", std::make_unique<EncodableValue>(int32_t{1}),
                        std::make_unique<RecordingResult>(&log_));
  EXPECT_EQ(messenger_.sent[0].message, Bytes({0x07, 0x01, 0x61, 0x03, 1, 0, 0, 0}));
  Answer({0x00, 0x01});
  EXPECT_EQ(log_, "success(value);");
}

TEST_F(InvokeMethodTest, EmptyReplyIsNotImplemented) {
  channel_.InvokeMethod("a", nullptr, std::make_unique<RecordingResult>(&log_));
  Answer({});
  EXPECT_EQ(log_, "not_implemented;");
}

TEST_F(InvokeMethodTest, ErrorReply) {
  channel_.InvokeMethod("a", nullptr, std::make_unique<RecordingResult>(&log_));
  Answer(*codec_.EncodeErrorEnvelope("code", "text"));
  EXPECT_EQ(log_, "error(code,text);");
}

TEST_F(InvokeMethodTest, UndecodableReplyIsReportedAndNotImplemented) {
  channel_.InvokeMethod("a", nullptr, std::make_unique<RecordingResult>(&log_));
  ::testing::internal::CaptureStderr();
  Answer({0x02});
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Unable to decode reply to method invocation on channel test/methods\n");
  EXPECT_EQ(log_, "not_implemented;");
}

}  // namespace
}  // namespace flutter
