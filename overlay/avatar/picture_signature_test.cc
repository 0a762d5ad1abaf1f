#include "overlay/avatar/picture_signature.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace {

TEST(PictureSignatureTest, FirstBytesTellAPictureEarly) {
  using Bytes = std::vector<uint8_t>;
  using enum PictureFormat;
  const auto none = std::nullopt;
  // The first bytes, the format they show, and whether they may yet start a picture.
  // clang-format off
  const std::tuple<Bytes, std::optional<PictureFormat>, bool> cases[] = {
      {{}, none, true}, {{0x89, 'P', 'N', 'G'}, none, true},
      {{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, kPng, true},
      {{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, 'x'}, none, false},
      {{0xFF}, none, true}, {{0xFF, 0xD8}, kJpeg, true}, {{0xFF, 0xD9}, none, false},
      {{'G', 'I', 'F', '8', '7', 'a'}, kGif, true}, {{'G', 'I', 'F', '8', '8', 'a'}, none, false},
      {{'B', 'M'}, kBmp, true}, {{'<', 'h'}, none, false}, {{'x'}, none, false}};
  // clang-format on
  for (const auto& [start, format, may_be_picture] : cases) {
    SCOPED_TRACE(testing::PrintToString(start));
    EXPECT_EQ(SniffPictureFormat(start), format);
    EXPECT_EQ(MayStartPicture(start), may_be_picture);
  }
}

}  // namespace
