#include "overlay/overlay_canvas.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

uint8_t Cover(const CoverageMask& mask, int x, int y) {
  return mask.alpha[(y - mask.top) * mask.width + (x - mask.left)];
}

TEST(OverlayCanvasTest, ShapesCoverInsideNotOutsideAndBlendAtTheEdge) {
  const CoverageMask disc = DiscMask(17.5f, 30.0f, 17.5f);
  EXPECT_EQ(Cover(disc, 17, 29), 255);
  EXPECT_EQ(Cover(disc, 0, disc.top), 0) << "corner of the bounding box";
  const uint8_t edge = Cover(disc, 17, disc.top);
  EXPECT_GT(edge, 0);
  EXPECT_LT(edge, 255);

  const CoverageMask ring = RingMask(17.5f, 30.0f, 19.5f, 2.5f);
  EXPECT_EQ(Cover(ring, 17, 29), 0) << "hollow";
  EXPECT_EQ(Cover(ring, 17, 49), 255) << "on the pen's middle";

  const CoverageMask pill = CapsuleMask(39.0f, 16.2f, 100.0f, 27.6f);
  EXPECT_EQ(Cover(pill, 40, 30), 255) << "inside the left end";
  EXPECT_EQ(Cover(pill, 39, 17), 0) << "outside the rounded corner";
  EXPECT_EQ(Cover(pill, 90, 17), 255) << "along the straight top";
}

TEST(OverlayCanvasTest, CompositesPremultipliedSourceOver) {
  std::vector<uint32_t> pixels(4, 0);
  OverlayCanvas canvas{2, 2, pixels.data()};
  CoverageMask all{0, 0, 2, 1, {255, 128}};
  FillMask(canvas, all, 1, 0x80FF0000);  // half-transparent red, one row down
  EXPECT_EQ(pixels[0], 0u);
  EXPECT_EQ(pixels[2], 0x80800000u);
  EXPECT_EQ(pixels[3], 0x40400000u) << "half covered";
  FillMask(canvas, all, 1, 0xFF0000FF);
  EXPECT_EQ(pixels[2], 0xFF0000FFu) << "opaque covers all";
  EXPECT_EQ(pixels[3], 0xA0200080u);

  const uint32_t picture[] = {0xFF00FF00};
  CoverageMask clip{0, 0, 1, 1, {255}};
  DrawClippedPicture(canvas, picture, 1, 0, 0, clip, 0, 110);
  EXPECT_EQ(pixels[0], 0x6E006E00u) << "faded to the avatar level";
}

TEST(OverlayCanvasTest, DrawsOnlyInsideTheClipRectangle) {
  std::vector<uint32_t> pixels(9, 0);
  OverlayCanvas canvas{3, 3, pixels.data(), 1, 1, 2, 3};  // the middle column, lower two rows
  const CoverageMask all{-1, -1, 5, 5, std::vector<uint8_t>(25, 255)};
  FillMask(canvas, all, 0, 0xFF112233);
  const std::vector<uint32_t> picture(9, 0xFF445566);
  DrawClippedPicture(canvas, picture.data(), 3, 0, 0, all, 0, 255);
  EXPECT_EQ(pixels, (std::vector<uint32_t>{0, 0, 0, 0, 0xFF445566, 0, 0, 0xFF445566, 0}));
}

}  // namespace
