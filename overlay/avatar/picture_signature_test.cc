#include "overlay/avatar/picture_signature.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(PictureSignatureTest, FirstBytesTellAPictureEarly) {
  using Bytes = std::vector<uint8_t>;
  const struct {
    Bytes start;
    std::optional<PictureFormat> format;
    bool may_be_picture;
  } cases[] = {{{}, std::nullopt, true},
               {{0x89, 'P', 'N', 'G'}, std::nullopt, true},
               {{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, PictureFormat::kPng, true},
               {{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, 'x'}, std::nullopt, false},
               {{0xFF}, std::nullopt, true},
               {{0xFF, 0xD8}, PictureFormat::kJpeg, true},
               {{0xFF, 0xD9}, std::nullopt, false},
               {{'G', 'I', 'F', '8', '7', 'a'}, PictureFormat::kGif, true},
               {{'G', 'I', 'F', '8', '8', 'a'}, std::nullopt, false},
               {{'B', 'M'}, PictureFormat::kBmp, true},
               {{'<', 'h'}, std::nullopt, false},
               {{'x'}, std::nullopt, false}};
  for (const auto& c : cases) {
    EXPECT_EQ(SniffPictureFormat(c.start), c.format) << c.start.size();
    EXPECT_EQ(MayStartPicture(c.start), c.may_be_picture) << c.start.size();
  }
}

}  // namespace
