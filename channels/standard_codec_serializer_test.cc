#include "channels/standard_codec_serializer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace flutter {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr char kInvalidRead[] = "Invalid read in StandardCodecByteStreamReader\n";

class StandardCodecSerializerTest : public ::testing::Test {
 protected:
  static Bytes Encode(const EncodableValue& value) {
    Bytes bytes;
    ByteBufferStreamWriter writer(&bytes);
    StandardCodecSerializer::GetInstance().WriteValue(value, &writer);
    return bytes;
  }

  // Decodes one value and records what was printed on the error stream.
  EncodableValue Decode(const Bytes& bytes) {
    ByteBufferStreamReader reader(bytes.data(), bytes.size());
    ::testing::internal::CaptureStderr();
    EncodableValue value = StandardCodecSerializer::GetInstance().ReadValue(&reader);
    diagnostics_ = ::testing::internal::GetCapturedStderr();
    read_position_ = reader.position();
    return value;
  }

  std::string diagnostics_;
  size_t read_position_ = 0;
};

TEST_F(StandardCodecSerializerTest, ScalarsHaveTheirExactBytes) {
  EXPECT_EQ(Encode(EncodableValue()), Bytes({0x00}));
  EXPECT_EQ(Encode(EncodableValue(true)), Bytes({0x01}));
  EXPECT_EQ(Encode(EncodableValue(false)), Bytes({0x02}));
  EXPECT_EQ(Encode(EncodableValue(int32_t{5})), Bytes({0x03, 5, 0, 0, 0}));
  EXPECT_EQ(Encode(EncodableValue(int32_t{-2})), Bytes({0x03, 0xFE, 0xFF, 0xFF, 0xFF}));
  // The alternative decides the type byte, not the magnitude.
  EXPECT_EQ(Encode(EncodableValue(int64_t{5})), Bytes({0x04, 5, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Encode(EncodableValue(1.0)),
            Bytes({0x06, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F}));
  EXPECT_EQ(Encode(EncodableValue("abc")), Bytes({0x07, 0x03, 0x61, 0x62, 0x63}));
  EXPECT_EQ(Encode(EncodableValue("")), Bytes({0x07, 0x00}));
}

TEST_F(StandardCodecSerializerTest, SizePrefixesSwitchAt254And65536) {
  auto prefix_of_string = [](size_t size) {
    Bytes bytes = Encode(EncodableValue(std::string(size, 'x')));
    EXPECT_EQ(bytes[0], 0x07);
    const size_t prefix_length = bytes.size() - 1 - size;
    return Bytes(bytes.begin() + 1, bytes.begin() + 1 + static_cast<ptrdiff_t>(prefix_length));
  };
  EXPECT_EQ(prefix_of_string(253), Bytes({0xFD}));
  EXPECT_EQ(prefix_of_string(254), Bytes({0xFE, 0xFE, 0x00}));
  EXPECT_EQ(prefix_of_string(65535), Bytes({0xFE, 0xFF, 0xFF}));
  EXPECT_EQ(prefix_of_string(65536), Bytes({0xFF, 0x00, 0x00, 0x01, 0x00}));

  for (size_t size : {253u, 254u, 65535u, 65536u}) {
    const EncodableValue value(std::string(size, 'y'));
    EXPECT_EQ(Decode(Encode(value)), value) << size;
    EXPECT_EQ(diagnostics_, "");
  }
}

TEST_F(StandardCodecSerializerTest, TypedListsAlignFromTheBufferStart) {
  EXPECT_EQ(Encode(EncodableValue(std::vector<int32_t>{})), Bytes({0x09, 0x00, 0x00, 0x00}));
  EXPECT_EQ(Encode(EncodableValue(std::vector<int32_t>{7})), Bytes({0x09, 0x01, 0, 0, 7, 0, 0, 0}));
  EXPECT_EQ(Encode(EncodableValue(std::vector<uint8_t>{1, 2})), Bytes({0x08, 0x02, 1, 2}));
  EXPECT_EQ(Encode(EncodableValue(std::vector<float>{1.0f})),
            Bytes({0x0E, 0x01, 0, 0, 0x00, 0x00, 0x80, 0x3F}));
  EXPECT_EQ(Encode(EncodableValue(std::vector<int64_t>{-1})),
            Bytes({0x0A, 0x01, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));

  // Inside a list the double's padding depends on where it lands.
  const EncodableValue nested(EncodableList{EncodableValue(true), EncodableValue(2.0)});
  EXPECT_EQ(Encode(nested), Bytes({0x0C, 0x02, 0x01, 0x06, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x40}));
  EXPECT_EQ(Decode(Encode(nested)), nested);
}

TEST_F(StandardCodecSerializerTest, EmptyTypedListKeepsTheFollowingValueIntact) {
  const EncodableValue value(EncodableList{
      EncodableValue(true), EncodableValue(std::vector<int64_t>{}), EncodableValue(int32_t{5})});
  EXPECT_EQ(Encode(value), Bytes({0x0C, 0x03, 0x01, 0x0A, 0x00, 0, 0, 0, 0x03, 5, 0, 0, 0}));
  EXPECT_EQ(Decode(Encode(value)), value);
  EXPECT_EQ(diagnostics_, "");
}

TEST_F(StandardCodecSerializerTest, EmptyTypedListAtTheEndReportsTheAlignmentOverrun) {
  EXPECT_EQ(Decode({0x09, 0x00}), EncodableValue(std::vector<int32_t>{}));
  EXPECT_EQ(diagnostics_, kInvalidRead);

  EXPECT_EQ(Decode({0x09, 0x00, 0x00, 0x00}), EncodableValue(std::vector<int32_t>{}));
  EXPECT_EQ(diagnostics_, "");
}

TEST_F(StandardCodecSerializerTest, MapsAreWrittenInKeyOrder) {
  EncodableMap single{{EncodableValue("a"), EncodableValue(int32_t{1})}};
  EXPECT_EQ(Encode(EncodableValue(single)),
            Bytes({0x0D, 0x01, 0x07, 0x01, 0x61, 0x03, 1, 0, 0, 0}));

  EncodableMap mixed{{EncodableValue(int64_t{1}), EncodableValue()},
                     {EncodableValue(int32_t{5}), EncodableValue()}};
  const Bytes mixed_bytes = Encode(EncodableValue(mixed));
  ASSERT_GE(mixed_bytes.size(), 3u);
  EXPECT_EQ(mixed_bytes[2], 0x03) << "the int32 key sorts before the int64 key";

  EncodableMap strings{{EncodableValue("b"), EncodableValue()},
                       {EncodableValue("ab"), EncodableValue()}};
  EXPECT_EQ(Encode(EncodableValue(strings)),
            Bytes({0x0D, 0x02, 0x07, 0x02, 0x61, 0x62, 0x00, 0x07, 0x01, 0x62, 0x00}));
}

TEST_F(StandardCodecSerializerTest, FirstOfDuplicateKeysWins) {
  const EncodableValue value = Decode({0x0D, 0x02, 0x07, 0x01, 0x6B, 0x03, 0x01, 0x00, 0x00, 0x00,
                                       0x07, 0x01, 0x6B, 0x03, 0x02, 0x00, 0x00, 0x00});
  const EncodableMap expected{{EncodableValue("k"), EncodableValue(int32_t{1})}};
  EXPECT_EQ(value, EncodableValue(expected));
  EXPECT_EQ(diagnostics_, "");
}

TEST_F(StandardCodecSerializerTest, EveryAlternativeSurvivesARoundTrip) {
  const EncodableValue value(EncodableList{
      EncodableValue(),
      EncodableValue(true),
      EncodableValue(false),
      EncodableValue(std::numeric_limits<int32_t>::min()),
      EncodableValue(std::numeric_limits<int64_t>::max()),
      EncodableValue(-0.5),
      EncodableValue("h\xC3\xA9llo"),
      EncodableValue(std::vector<uint8_t>{0, 255, 7}),
      EncodableValue(std::vector<int32_t>{-1, 2}),
      EncodableValue(std::vector<int64_t>{3, -4}),
      EncodableValue(std::vector<double>{1.5, -2.25}),
      EncodableValue(EncodableList{EncodableValue(int32_t{1})}),
      EncodableValue(EncodableMap{{EncodableValue(int32_t{1}), EncodableValue("x")},
                                  {EncodableValue("y"), EncodableValue(EncodableList{})}}),
      EncodableValue(std::vector<float>{0.25f, -8.0f}),
  });
  EXPECT_EQ(Decode(Encode(value)), value);
  EXPECT_EQ(diagnostics_, "");
  EXPECT_EQ(read_position_, Encode(value).size());
}

TEST_F(StandardCodecSerializerTest, LegacyStringTypeReadsAsString) {
  EXPECT_EQ(Decode({0x05, 0x02, 0x68, 0x69}), EncodableValue("hi"));
}

TEST_F(StandardCodecSerializerTest, CustomValueIsWrittenAsNullWithAReport) {
  ::testing::internal::CaptureStderr();
  const Bytes bytes = Encode(EncodableValue(CustomEncodableValue(42)));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Unhandled custom type in StandardCodecSerializer::WriteValue. Custom types require "
            "codec extensions.\n");
  EXPECT_EQ(bytes, Bytes({0x00}));
}

class StandardCodecMalformedInputTest : public StandardCodecSerializerTest {};

TEST_F(StandardCodecMalformedInputTest, UnknownTypeYieldsNullAndConsumesOnlyTheTypeByte) {
  EXPECT_TRUE(Decode({0x0F}).IsNull());
  EXPECT_EQ(diagnostics_, "Unknown type in StandardCodecSerializer::ReadValueOfType: 15\n");

  EXPECT_TRUE(Decode({0xFF, 0x01}).IsNull());
  EXPECT_EQ(diagnostics_, "Unknown type in StandardCodecSerializer::ReadValueOfType: 255\n");
  EXPECT_EQ(read_position_, 1u);
}

TEST_F(StandardCodecMalformedInputTest, EmptyMessageIsNull) {
  EXPECT_TRUE(Decode({}).IsNull());
  EXPECT_EQ(diagnostics_, kInvalidRead);
}

TEST_F(StandardCodecMalformedInputTest, TruncatedNumbersReadAsZero) {
  EXPECT_EQ(Decode({0x03, 0x01, 0x00}), EncodableValue(int32_t{0}));
  EXPECT_EQ(diagnostics_, kInvalidRead);
  EXPECT_EQ(read_position_, 1u);

  EXPECT_EQ(Decode({0x06, 0, 0, 0, 0, 0, 0, 0, 1, 2}), EncodableValue(0.0));
  EXPECT_EQ(diagnostics_, kInvalidRead);
}

TEST_F(StandardCodecMalformedInputTest, DeclaredSizeBeyondTheMessageIsRefused) {
  // A 4 GiB string declared in six bytes must not be allocated.
  EXPECT_EQ(Decode({0x07, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), EncodableValue(""));
  EXPECT_EQ(diagnostics_, kInvalidRead);

  EXPECT_EQ(Decode({0x07, 0x03, 0x61, 0x62}), EncodableValue(""));
  EXPECT_EQ(diagnostics_, kInvalidRead);

  EXPECT_EQ(Decode({0x08, 0xFE, 0xFF, 0xFF, 0x01}), EncodableValue(std::vector<uint8_t>{}));
  EXPECT_EQ(diagnostics_, kInvalidRead);

  EXPECT_EQ(Decode({0x0B, 0xFF, 0xFF, 0xFF, 0xFF, 0x1F, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8}),
            EncodableValue(std::vector<double>{}));
  EXPECT_EQ(diagnostics_, kInvalidRead);

  // Two int32 elements declared, one present.
  EXPECT_EQ(Decode({0x09, 0x02, 0, 0, 1, 0, 0, 0}), EncodableValue(std::vector<int32_t>{}));
  EXPECT_EQ(diagnostics_, kInvalidRead);

  EXPECT_EQ(Decode({0x0C, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x00}), EncodableValue(EncodableList{}));
  EXPECT_EQ(diagnostics_, kInvalidRead);

  EXPECT_EQ(Decode({0x0D, 0x02, 0x00, 0x00, 0x00}), EncodableValue(EncodableMap{}));
  EXPECT_EQ(diagnostics_, kInvalidRead);
}

TEST_F(StandardCodecMalformedInputTest, TruncatedListKeepsWhatWasRead) {
  // Three elements declared, the second is cut short and the third missing.
  const EncodableValue value = Decode({0x0C, 0x03, 0x01, 0x07, 0x05});
  EXPECT_EQ(value, EncodableValue(EncodableList{EncodableValue(true), EncodableValue("")}));
  EXPECT_EQ(diagnostics_, std::string(kInvalidRead) + kInvalidRead);
}

TEST_F(StandardCodecMalformedInputTest, NestingPastTheLimitIsRefused) {
  const int depth = StandardCodecSerializer::kMaxNestingDepth;
  auto nested_lists = [](int levels) {
    Bytes bytes;
    for (int i = 0; i < levels; ++i) {
      bytes.push_back(0x0C);
      bytes.push_back(0x01);
    }
    bytes.push_back(0x00);
    return bytes;
  };

  const EncodableValue at_limit = Decode(nested_lists(depth));
  EXPECT_EQ(diagnostics_, "");
  int levels = 0;
  for (const EncodableValue* v = &at_limit; std::holds_alternative<EncodableList>(*v);
       v = &std::get<EncodableList>(*v).front()) {
    ++levels;
  }
  EXPECT_EQ(levels, depth);

  Decode(nested_lists(depth + 1));
  EXPECT_NE(diagnostics_.find("Nesting deeper than " + std::to_string(depth) + " levels"),
            std::string::npos)
      << diagnostics_;

  // Far deeper than any stack could recurse; maps count as well.
  Bytes hostile;
  for (int i = 0; i < 200000; ++i) {
    hostile.push_back(i % 2 == 0 ? 0x0C : 0x0D);
    hostile.push_back(0x01);
    if (i % 2 == 1) hostile.push_back(0x00);
  }
  Decode(hostile);
  EXPECT_NE(diagnostics_.find("Nesting deeper"), std::string::npos);
}

TEST(ByteBufferStreamTest, ReadAlignmentCountsFromTheStartAndMayPassTheEnd) {
  const uint8_t bytes[3] = {1, 2, 3};
  ByteBufferStreamReader reader(bytes, sizeof(bytes));
  reader.ReadByte();
  reader.ReadAlignment(4);
  EXPECT_EQ(reader.position(), 4u);
  EXPECT_EQ(reader.BytesRemaining(), 0u);
  reader.ReadAlignment(4);
  EXPECT_EQ(reader.position(), 4u);
}

TEST(ByteBufferStreamTest, ReadBytesUpToTheEndIsAllowed) {
  const uint8_t bytes[4] = {1, 2, 3, 4};
  ByteBufferStreamReader reader(bytes, sizeof(bytes));
  uint8_t out[4] = {};
  ::testing::internal::CaptureStderr();
  reader.ReadBytes(out, 4);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(std::memcmp(out, bytes, 4), 0);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(reader.ReadByte(), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), kInvalidRead);
  EXPECT_EQ(reader.position(), 4u);
}

TEST(ByteBufferStreamTest, WriteAlignmentPadsWithZeros) {
  Bytes buffer{9};
  ByteBufferStreamWriter writer(&buffer);
  writer.WriteAlignment(8);
  EXPECT_EQ(buffer, Bytes({9, 0, 0, 0, 0, 0, 0, 0}));
  writer.WriteAlignment(8);
  EXPECT_EQ(buffer.size(), 8u);
}

}  // namespace
}  // namespace flutter
