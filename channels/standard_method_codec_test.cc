#include "channels/standard_method_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace flutter {
namespace {

using Bytes = std::vector<uint8_t>;

// Remembers how it was answered.
class RecordingResult : public MethodResult {
 public:
  std::string outcome;
  std::optional<EncodableValue> value;
  std::string code;
  std::string message;

 protected:
  void SuccessInternal(const EncodableValue* result) override {
    outcome += "success;";
    if (result) value = *result;
  }
  void ErrorInternal(const std::string& error_code, const std::string& error_message,
                     const EncodableValue* error_details) override {
    outcome += "error;";
    code = error_code;
    message = error_message;
    if (error_details) value = *error_details;
  }
  void NotImplementedInternal() override { outcome += "not_implemented;"; }
};

Bytes StringValue(const std::string& text) {
  Bytes bytes(text.size() + 2);
  bytes[0] = 0x07;
  bytes[1] = static_cast<uint8_t>(text.size());
  std::copy(text.begin(), text.end(), bytes.begin() + 2);
  return bytes;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

class StandardMethodCodecTest : public ::testing::Test {
 protected:
  const StandardMethodCodec& codec_ = StandardMethodCodec::GetInstance();
};

TEST_F(StandardMethodCodecTest, GetInstanceIsOnePerSerializer) {
  EXPECT_EQ(&StandardMethodCodec::GetInstance(nullptr),
            &StandardMethodCodec::GetInstance(&StandardCodecSerializer::GetInstance()));
  const StandardCodecSerializer other;
  EXPECT_NE(&StandardMethodCodec::GetInstance(&other), &StandardMethodCodec::GetInstance());
  EXPECT_EQ(&StandardMethodCodec::GetInstance(&other), &StandardMethodCodec::GetInstance(&other));
}

TEST_F(StandardMethodCodecTest, CallWithoutArgumentsEndsWithNull) {
  EXPECT_EQ(*codec_.EncodeMethodCall(MethodCall("stop", nullptr)),
            Bytes({0x07, 0x04, 0x73, 0x74, 0x6F, 0x70, 0x00}));
  const auto encoded = codec_.EncodeMethodCall(
      MethodCall("setGain", std::make_unique<EncodableValue>(
                                EncodableMap{{EncodableValue("gain"), EncodableValue(0.5)}})));
  const auto decoded = codec_.DecodeMethodCall(*encoded);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->method_name(), "setGain");
  ASSERT_NE(decoded->arguments(), nullptr);
  EXPECT_EQ(*decoded->arguments(),
            EncodableValue(EncodableMap{{EncodableValue("gain"), EncodableValue(0.5)}}));
}

TEST_F(StandardMethodCodecTest, CallCutAfterTheNameHasNullArguments) {
  const Bytes message{0x07, 0x04, 0x73, 0x74, 0x6F, 0x70};
  ::testing::internal::CaptureStderr();
  const auto call = codec_.DecodeMethodCall(message);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Invalid read in StandardCodecByteStreamReader\n");
  ASSERT_TRUE(call);
  EXPECT_EQ(call->method_name(), "stop");
  ASSERT_NE(call->arguments(), nullptr);
  EXPECT_TRUE(call->arguments()->IsNull());
}

TEST_F(StandardMethodCodecTest, CallWhoseNameIsNotAStringIsRefused) {
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(codec_.DecodeMethodCall(Bytes{0x03, 0x01, 0x00, 0x00, 0x00}));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Invalid method call; method name is not a string.\n");
}

TEST_F(StandardMethodCodecTest, SuccessEnvelopes) {
  EXPECT_EQ(*codec_.EncodeSuccessEnvelope(), Bytes({0x00, 0x00}));
  const EncodableValue yes(true);
  EXPECT_EQ(*codec_.EncodeSuccessEnvelope(&yes), Bytes({0x00, 0x01}));
  // Alignment counts from the envelope byte.
  const EncodableValue one(1.0);
  EXPECT_EQ(*codec_.EncodeSuccessEnvelope(&one),
            Bytes({0x00, 0x06, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F}));
}

TEST_F(StandardMethodCodecTest, ErrorEnvelopes) {
  EXPECT_EQ(
      *codec_.EncodeErrorEnvelope("invalid_argument", "Expected a map."),
      Concat({{0x01}, StringValue("invalid_argument"), StringValue("Expected a map."), {0x00}}));
  EXPECT_EQ(*codec_.EncodeErrorEnvelope("e", ""), Bytes({0x01, 0x07, 0x01, 0x65, 0x00, 0x00}));
  const EncodableValue details(int32_t{3});
  EXPECT_EQ(*codec_.EncodeErrorEnvelope("e", "m", &details),
            Bytes({0x01, 0x07, 0x01, 0x65, 0x07, 0x01, 0x6D, 0x03, 3, 0, 0, 0}));
}

class ResponseEnvelopeTest : public StandardMethodCodecTest {
 protected:
  bool Process(const Bytes& bytes) {
    return codec_.DecodeAndProcessResponseEnvelope(bytes.data(), bytes.size(), &result_);
  }
  RecordingResult result_;
};

TEST_F(ResponseEnvelopeTest, SuccessWithAndWithoutValue) {
  EXPECT_TRUE(Process({0x00, 0x00}));
  EXPECT_EQ(result_.outcome, "success;");
  EXPECT_FALSE(result_.value.has_value());

  RecordingResult with_value;
  const Bytes bytes{0x00, 0x03, 7, 0, 0, 0};
  EXPECT_TRUE(codec_.DecodeAndProcessResponseEnvelope(bytes.data(), bytes.size(), &with_value));
  EXPECT_EQ(with_value.value, EncodableValue(int32_t{7}));
}

TEST_F(ResponseEnvelopeTest, ErrorWithEmptyMessageAndDetails) {
  EXPECT_TRUE(Process(*codec_.EncodeErrorEnvelope("busy", "")));
  EXPECT_EQ(result_.outcome, "error;");
  EXPECT_EQ(result_.code, "busy");
  EXPECT_EQ(result_.message, "");
  EXPECT_FALSE(result_.value.has_value());

  RecordingResult detailed;
  const EncodableValue details("why");
  const auto bytes = codec_.EncodeErrorEnvelope("busy", "later", &details);
  EXPECT_TRUE(codec_.DecodeAndProcessResponseEnvelope(bytes->data(), bytes->size(), &detailed));
  EXPECT_EQ(detailed.message, "later");
  EXPECT_EQ(detailed.value, details);
}

TEST_F(ResponseEnvelopeTest, MalformedEnvelopesLeaveTheResultUntouched) {
  EXPECT_FALSE(Process({0x02, 0x00}));
  EXPECT_FALSE(Process({}));
  // Code not a string; message neither null nor a string.
  EXPECT_FALSE(Process({0x01, 0x03, 1, 0, 0, 0, 0x00, 0x00}));
  EXPECT_FALSE(Process({0x01, 0x07, 0x01, 0x65, 0x01, 0x00}));
  EXPECT_EQ(result_.outcome, "");
}

}  // namespace
}  // namespace flutter
