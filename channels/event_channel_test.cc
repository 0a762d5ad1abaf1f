#include "channels/event_channel.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "channels/standard_method_codec.h"

namespace flutter {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr char kChannel[] = "test/events";

class FakeMessenger : public BinaryMessenger {
 public:
  void Send(const std::string& channel, const uint8_t* message, size_t message_size,
            BinaryReply reply) const override {
    EXPECT_EQ(channel, kChannel);
    EXPECT_FALSE(reply) << "events are sent without a reply";
    events.emplace_back(message, message + message_size);
  }

  void SetMessageHandler(const std::string& channel, BinaryMessageHandler handler) override {
    if (handler) {
      handlers[channel] = std::move(handler);
    } else {
      handlers.erase(channel);
    }
  }

  // Delivers a message and returns its one reply.
  Bytes Deliver(const Bytes& message) {
    std::vector<Bytes> replies;
    handlers.at(kChannel)(message.data(), message.size(),
                          [&replies](const uint8_t* reply, size_t size) {
                            replies.emplace_back(reply, reply + size);
                          });
    EXPECT_EQ(replies.size(), 1u);
    return replies.empty() ? Bytes{0xEE} : replies.front();
  }

  mutable std::vector<Bytes> events;
  std::map<std::string, BinaryMessageHandler> handlers;
};

// Logs every call and keeps the latest sink.
class RecordingStreamHandler : public StreamHandler {
 public:
  RecordingStreamHandler(std::string* log, std::unique_ptr<EventSink>* sink)
      : log_(log), sink_(sink) {}

  bool fail_listen = false;
  bool fail_cancel = false;
  bool throw_listen = false;

 protected:
  std::unique_ptr<StreamHandlerError> OnListenInternal(
      const EncodableValue* arguments, std::unique_ptr<EventSink>&& events) override {
    *log_ += arguments && !arguments->IsNull() ? "listen(args);" : "listen;";
    *sink_ = std::move(events);
    if (throw_listen) throw std::runtime_error("no device");
    if (fail_listen) return std::make_unique<StreamHandlerError>("no", "cannot", nullptr);
    return nullptr;
  }

  std::unique_ptr<StreamHandlerError> OnCancelInternal(const EncodableValue* arguments) override {
    *log_ += arguments ? "cancel(args);" : "cancel(null);";
    if (fail_cancel) {
      return std::make_unique<StreamHandlerError>("stuck", "still running",
                                                  std::make_unique<EncodableValue>(int32_t{1}));
    }
    return nullptr;
  }

 private:
  std::string* log_;
  std::unique_ptr<EventSink>* sink_;
};

class EventChannelTest : public ::testing::Test {
 protected:
  void SetUp() override { Register(); }

  RecordingStreamHandler* Register() {
    auto handler = std::make_unique<RecordingStreamHandler>(&log_, &sink_);
    RecordingStreamHandler* raw = handler.get();
    channel_.SetStreamHandler(std::move(handler));
    return raw;
  }

  Bytes Call(const std::string& method) {
    return *codec_.EncodeMethodCall(MethodCall(method, nullptr));
  }

  const Bytes kSuccess{0x00, 0x00};
  const Bytes kNoActiveStream = [] {
    Bytes bytes{0x01, 0x07, 0x05, 'e', 'r', 'r', 'o', 'r', 0x07, 0x1A};
    const std::string message = "No active stream to cancel";
    bytes.insert(bytes.end(), message.begin(), message.end());
    bytes.push_back(0x00);
    return bytes;
  }();

  const StandardMethodCodec& codec_ = StandardMethodCodec::GetInstance();
  FakeMessenger messenger_;
  EventChannel channel_{&messenger_, kChannel, &codec_};
  std::string log_;
  std::unique_ptr<EventSink> sink_;
};

TEST_F(EventChannelTest, ThrowingListenIsReportedAndAnsweredEmpty) {
  Register()->throw_listen = true;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(messenger_.Deliver(Call("listen")), Bytes{});
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            std::string("Stream handler on channel ") + kChannel + " threw: no device\n");
}

TEST_F(EventChannelTest, CancelWithoutListenIsAnError) {
  EXPECT_EQ(messenger_.Deliver(Call("cancel")), kNoActiveStream);
  EXPECT_EQ(log_, "");
}

TEST_F(EventChannelTest, ListenThenCancelThenCancelAgain) {
  EXPECT_EQ(messenger_.Deliver(Call("listen")), kSuccess);
  EXPECT_EQ(messenger_.Deliver(Call("cancel")), kSuccess);
  EXPECT_EQ(messenger_.Deliver(Call("cancel")), kNoActiveStream);
  EXPECT_EQ(log_, "listen;cancel(args);");
}

TEST_F(EventChannelTest, SecondListenCancelsTheFirstStream) {
  EXPECT_EQ(messenger_.Deliver(Call("listen")), kSuccess);
  EventSink* first_sink = sink_.get();
  EXPECT_EQ(messenger_.Deliver(Call("listen")), kSuccess);
  EXPECT_EQ(log_, "listen;cancel(null);listen;");
  EXPECT_NE(sink_.get(), nullptr);
  EXPECT_NE(sink_.get(), first_sink);
}

TEST_F(EventChannelTest, FailedCancelDuringListenIsOnlyReported) {
  RecordingStreamHandler* handler = Register();
  handler->fail_cancel = true;
  messenger_.Deliver(Call("listen"));
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(messenger_.Deliver(Call("listen")), kSuccess);
  const std::string report = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(report.rfind("Failed to cancel existing stream: stuck, still running, ", 0), 0u)
      << report;
  EXPECT_EQ(report.back(), '\n');
}

TEST_F(EventChannelTest, ListenErrorIsAnsweredAndStillCountsAsListening) {
  Register()->fail_listen = true;
  EXPECT_EQ(messenger_.Deliver(Call("listen")), *codec_.EncodeErrorEnvelope("no", "cannot"));
  EXPECT_EQ(messenger_.Deliver(Call("cancel")), kSuccess);
}

TEST_F(EventChannelTest, CancelErrorIsAnsweredAndStopsListening) {
  Register()->fail_cancel = true;
  messenger_.Deliver(Call("listen"));
  const EncodableValue details(int32_t{1});
  EXPECT_EQ(messenger_.Deliver(Call("cancel")),
            *codec_.EncodeErrorEnvelope("stuck", "still running", &details));
  EXPECT_EQ(messenger_.Deliver(Call("cancel")), kNoActiveStream);
}

TEST_F(EventChannelTest, ReRegisteringResetsTheListeningFlag) {
  messenger_.Deliver(Call("listen"));
  Register();
  EXPECT_EQ(messenger_.Deliver(Call("cancel")), kNoActiveStream);
}

TEST_F(EventChannelTest, OtherMethodsAndUndecodableCallsGetAnEmptyReply) {
  EXPECT_EQ(messenger_.Deliver(Call("pause")), Bytes{});
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(messenger_.Deliver({0x03, 0x01, 0x00, 0x00, 0x00}), Bytes{});
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Invalid method call; method name is not a string.\n"
            "Unable to construct method call from message on channel: test/events\n");
  EXPECT_EQ(log_, "");
}

TEST_F(EventChannelTest, ArgumentsReachTheHandler) {
  messenger_.Deliver(
      *codec_.EncodeMethodCall(MethodCall("listen", std::make_unique<EncodableValue>(int32_t{3}))));
  EXPECT_EQ(log_, "listen(args);");
}

TEST_F(EventChannelTest, SinkSendsEnvelopesAndEndOfStream) {
  messenger_.Deliver(Call("listen"));
  ASSERT_TRUE(sink_);
  sink_->Success(EncodableValue(int32_t{65}));
  sink_->Success();
  sink_->Error("bad", "", EncodableValue(true));
  sink_->EndOfStream();
  EXPECT_EQ(messenger_.events, std::vector<Bytes>({{0x00, 0x03, 65, 0, 0, 0},
                                                   {0x00, 0x00},
                                                   {0x01, 0x07, 0x03, 'b', 'a', 'd', 0x00, 0x01},
                                                   {}}));
}

TEST_F(EventChannelTest, NullHandlerUnregisters) {
  channel_.SetStreamHandler(nullptr);
  EXPECT_EQ(messenger_.handlers.count(kChannel), 0u);
}

}  // namespace
}  // namespace flutter
