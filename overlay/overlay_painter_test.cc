#include "overlay/overlay_painter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "overlay/avatar/avatar_memory.h"
#include "overlay/frame_cache.h"
#include "overlay/overlay_layout.h"

namespace {

// Texts as boxes whose coverage tells the text apart, on the heap like real
// masks, so a mask used after it went is found by the sanitizers and a
// wrong one by the pixels.
uint8_t Fingerprint(const std::u16string& text) {
  uint32_t hash = 7;
  for (char16_t c : text) hash = hash * 31 + c;
  return static_cast<uint8_t>(40 + hash % 200);
}

CoverageMask Box(const std::u16string& text, float left, float top, float width, float height) {
  CoverageMask mask;
  mask.left = static_cast<int>(std::floor(left));
  mask.top = static_cast<int>(std::floor(top));
  mask.width = std::max(0, static_cast<int>(std::ceil(left + width)) - mask.left);
  mask.height = std::max(0, static_cast<int>(std::ceil(top + height)) - mask.top);
  mask.alpha.assign(static_cast<std::size_t>(mask.width) * mask.height, Fingerprint(text));
  return mask;
}

struct BoxText : OverlayTextRasteriser {
  float LabelWidth(const std::u16string& label) override {
    return 3.0f * static_cast<float>(label.size());
  }
  CoverageMask Label(const std::u16string& label, float left, float top, float width,
                     float height) override {
    return Box(label, left, top, width, height);
  }
  CoverageMask Initial(const std::u16string& initial, float left, float top, float size) override {
    return Box(initial, left, top, size, size);
  }
};

OverlayTextFactory BoxTexts() {
  return [](double) { return std::make_unique<BoxText>(); };
}

TEST(FrameCacheTest, EvictsOnlyBetweenFramesAndNeverWhatTheFrameUsed) {
  FrameCache<int, std::vector<int>> cache(2);
  const std::vector<int>& first = cache.Get(1, [] { return std::vector<int>{1}; });
  cache.Get(2, [] { return std::vector<int>{2}; });
  cache.Get(3, [] { return std::vector<int>{3}; });
  EXPECT_EQ(cache.size(), 3u) << "nothing goes while the frame runs";
  EXPECT_EQ(first, std::vector<int>{1});
  cache.EndFrame();
  EXPECT_EQ(cache.size(), 3u) << "all three were used by the frame that ended";

  cache.Get(1, [] { return std::vector<int>{}; });
  cache.EndFrame();
  cache.Get(3, [] { return std::vector<int>{}; });
  cache.EndFrame();
  EXPECT_EQ(cache.size(), 2u) << "the longest unused went";
  int made = 0;
  cache.Get(3, [&] { return ++made, std::vector<int>{}; });
  cache.Get(1, [&] { return ++made, std::vector<int>{}; });
  EXPECT_EQ(made, 0);
}

// 100,000 frames of random member lists, renames, speakers and pictures out
// of 1,000 labels, far more than the caches hold, painted change by change
// into one surface; every 1,000th frame must equal the same frame painted
// whole by a painter that starts afresh.
TEST(OverlayPainterTest, ChurnPaintsWhatAFreshPainterPaints) {
  constexpr int kFrames = 100000;
  constexpr int kLabels = 1000;
  constexpr int kWidth = 96;
  std::mt19937 random(26);
  const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  const auto label = [](int i) { return std::u16string{u'm', static_cast<char16_t>(0x4E00 + i)}; };

  OverlayPainter painter(BoxTexts());
  AvatarMemory avatars;
  std::vector<OverlayMember> members;
  std::vector<uint32_t> surface;
  double scale = kMinOverlayScale;
  double opacity = kDefaultOverlayOpacity;
  const OverlayPictureLookup lookup = [&](const std::string& url, int size) {
    return avatars.Find(url, size).picture;
  };
  for (int frame = 0; frame < kFrames; ++frame) {
    // Between frames: fetched pictures arrive, the caches make room.
    if (pick(4) == 0) {
      const int size = ComputeMetrics(pick(2) ? scale : kMaxOverlayScale).avatar_diameter;
      ScaledAvatar picture{size, std::vector<uint32_t>(size * size, 0xFF000000u | random()), 0};
      avatars.Take("http://a/" + std::to_string(pick(200)), std::move(picture));
      avatars.Trim();
    }
    switch (pick(24)) {
      case 0:
        if (members.size() < kMaxOverlayMembers)
          members.push_back({label(pick(kLabels)), "", false, false});
        break;
      case 1:
        if (!members.empty())
          members.erase(members.begin() + pick(static_cast<int>(members.size())));
        break;
      case 2:
        if (pick(500) == 0) scale = scale == kMinOverlayScale ? 0.8 : kMinOverlayScale;
        if (pick(500) == 0)
          opacity = opacity == kDefaultOverlayOpacity ? 1.0 : kDefaultOverlayOpacity;
        break;
      default:
        for (int changes = pick(3); changes > 0 && !members.empty(); --changes) {
          OverlayMember& member = members[pick(static_cast<int>(members.size()))];
          member.name = label(pick(kLabels));
          member.speaking = pick(2) == 0;
          member.muted = pick(3) == 0;
          member.avatar_url = pick(3) == 0 ? "http://a/" + std::to_string(pick(300)) : "";
        }
    }
    if (members.empty()) continue;
    const int height = OverlayWindowHeight(ComputeMetrics(scale), members.size());
    const bool fresh = surface.size() != static_cast<std::size_t>(kWidth) * height;
    if (fresh) surface.assign(static_cast<std::size_t>(kWidth) * height, 0x12345678u);
    const PixelRect dirty =
        painter.Paint(surface.data(), kWidth, height, fresh, members, scale, opacity, lookup);
    ASSERT_TRUE(!fresh || dirty == (PixelRect{0, 0, kWidth, height})) << frame;
    if (frame % 1000 == 999) {
      std::vector<uint32_t> whole(surface.size());
      OverlayPainter(BoxTexts())
          .Paint(whole.data(), kWidth, height, true, members, scale, opacity, lookup);
      ASSERT_EQ(surface, whole) << "frame " << frame;
    }
  }
}

// What the churn cannot tell, as a painter starting afresh would paint the
// same: each drawn part is there, and labels no longer drawn are let go.
TEST(OverlayPainterTest, DrawsEveryPartAndLetsGoOfUnusedTexts) {
  constexpr int kWidth = 96;
  const int height = OverlayWindowHeight(ComputeMetrics(1.0), 1);
  const auto painted = [&](OverlayMember member, const OverlayPictureLookup& lookup) {
    std::vector<uint32_t> surface(static_cast<std::size_t>(kWidth) * height);
    OverlayPainter(BoxTexts())
        .Paint(surface.data(), kWidth, height, true, {member}, 1.0, 1.0, lookup);
    return surface;
  };
  const OverlayPictureLookup none = [](const std::string&, int) { return nullptr; };
  const int side = ComputeMetrics(1.0).avatar_diameter;
  const ScaledAvatar white{side, std::vector<uint32_t>(side * side, 0xFFFFFFFFu), 1};
  const OverlayPictureLookup picture = [&](const std::string&, int) { return &white; };
  const OverlayMember quiet{u"Ann", "", false, false};
  const struct {
    const char* part;
    OverlayMember with;
    OverlayMember without;
  } parts[] = {
      {"muted marker", {u"Ann", "", false, true}, quiet},
      {"initial on the placeholder", quiet, {u"Bob", "", false, false}},
      {"label, with the same initial and width", quiet, {u"Amy", "", false, false}},
  };
  for (const auto& p : parts) {
    EXPECT_NE(painted(p.with, none), painted(p.without, none)) << p.part;
  }
  const int centre = static_cast<int>(RowCentre(ComputeMetrics(1.0), 0)) * kWidth;
  // The initial's box covers the whole disc, only partly: the placeholder's
  // colour shows through it.
  uint32_t under = 0;
  OverlayCanvas dot{1, 1, &under};
  const MemberColors colors = ComputeMemberColors(false, false, ComputeAlphaLevels(1.0));
  FillMask(dot, CoverageMask{0, 0, 1, 1, {255}}, 0, colors.placeholder);
  FillMask(dot, CoverageMask{0, 0, 1, 1, {Fingerprint(u"A")}}, 0, colors.initial);
  EXPECT_EQ(painted(quiet, none)[centre + side / 2], under) << "the placeholder, then the initial";
  const OverlayMetrics metrics = ComputeMetrics(1.0);
  const PillGeometry pill =
      ComputePill(metrics, RowCentre(metrics, 0), BoxText().LabelWidth(u"Ann"), kWidth);
  uint32_t capsule = 0;
  OverlayCanvas capsule_dot{1, 1, &capsule};
  FillMask(capsule_dot, CoverageMask{0, 0, 1, 1, {255}}, 0, colors.pill);
  EXPECT_EQ(painted(quiet, none)[centre + static_cast<int>(pill.left + metrics.text_inset / 2)],
            capsule)
      << "the capsule, left of its label";
  const std::vector<uint32_t> shown = painted({u"Ann", "http://a/1", true, false}, picture);
  EXPECT_EQ(shown[centre + side / 2], 0xFFFFFFFFu) << "a speaker's picture is opaque";
  EXPECT_EQ(shown[kWidth - 1], 0u) << "where nothing is drawn, nothing shows";
  EXPECT_NE(shown[centre], 0u) << "the picture starts at the disc's left edge";
  const auto ring_top = static_cast<int>(RowCentre(ComputeMetrics(1.0), 0) -
                                         static_cast<float>(side) / 2 - kRingOutset);
  EXPECT_NE(shown[ring_top * kWidth + side / 2], 0u) << "the speaking ring, above the disc";

  int labels_made = 0;
  OverlayPainter painter([&](double) {
    struct Counting : BoxText {
      int* made;
      explicit Counting(int* m) : made(m) {}
      CoverageMask Label(const std::u16string& l, float x, float y, float w, float h) override {
        ++*made;
        return BoxText::Label(l, x, y, w, h);
      }
    };
    return std::make_unique<Counting>(&labels_made);
  });
  std::vector<uint32_t> surface(static_cast<std::size_t>(kWidth) * height);
  const auto paint = [&](int label) {
    painter.Paint(
        surface.data(), kWidth, height, true,
        {{u"m" + std::u16string(1, static_cast<char16_t>(0x4E00 + label)), "", false, false}}, 1.0,
        1.0, none);
  };
  const int many = static_cast<int>(OverlayMaskCache::kMostMasks * 2);
  for (int i = 0; i < many; ++i) paint(i);
  paint(0);
  EXPECT_EQ(labels_made, many + 1) << "the first label went once unused for long";
}

// A surface whose record cannot be trusted is painted whole, and a change
// repaints only the rows it touches.
TEST(OverlayPainterTest, PaintsWholeOnlyWhenItsRecordCannotBeTrusted) {
  constexpr int kWidth = 96;
  const OverlayMetrics metrics = ComputeMetrics(1.0);
  const std::vector<OverlayMember> two = {{u"Ann", "", false, false}, {u"Bob", "", false, false}};
  const int height = OverlayWindowHeight(metrics, two.size());
  const OverlayPictureLookup none = [](const std::string&, int) { return nullptr; };
  const std::vector<OverlayMember> one(two.begin(), two.begin() + 1);
  const auto whole = [&](int width, int tall, const std::vector<OverlayMember>& members) {
    std::vector<uint32_t> surface(static_cast<std::size_t>(width) * tall);
    OverlayPainter(BoxTexts()).Paint(surface.data(), width, tall, true, members, 1.0, 1.0, none);
    return surface;
  };
  const struct {
    const char* why;
    bool fresh;
    bool forget;
    int width;
    int height;
    const std::vector<OverlayMember>& members;
  } cases[] = {{"a fresh surface", true, false, kWidth, height, two},
               {"forgotten", false, true, kWidth, height, two},
               {"another width", false, false, kWidth - 10, height, two},
               {"another height", false, false, kWidth, height - 10, two},
               {"one row fewer, the same size", false, false, kWidth, height, one}};
  for (const auto& c : cases) {
    OverlayPainter painter(BoxTexts());
    std::vector<uint32_t> surface = whole(kWidth, height, two);
    painter.Paint(surface.data(), kWidth, height, true, two, 1.0, 1.0, none);
    if (c.forget) painter.Forget();
    surface.assign(static_cast<std::size_t>(c.width) * c.height, 0x12345678u);
    EXPECT_EQ(painter.Paint(surface.data(), c.width, c.height, c.fresh, c.members, 1.0, 1.0, none),
              (PixelRect{0, 0, c.width, c.height}))
        << c.why;
    EXPECT_EQ(surface, whole(c.width, c.height, c.members)) << c.why;
  }
  OverlayPainter painter(BoxTexts());
  std::vector<uint32_t> surface = whole(kWidth, height, two);
  painter.Paint(surface.data(), kWidth, height, true, two, 1.0, 1.0, none);
  std::vector<OverlayMember> renamed = two;
  renamed[1].name = u"Bo";
  EXPECT_GE(painter.Paint(surface.data(), kWidth, height, false, renamed, 1.0, 1.0, none).top,
            metrics.row_height / 2)
      << "only the second row";
}

}  // namespace
