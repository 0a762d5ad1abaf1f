#include "overlay/overlay_layout.h"

#include <gtest/gtest.h>

namespace {

// One row per step: the metrics at `scale` and the alpha levels at `opacity`.
struct StepCase {
  double scale;
  int diameter, row, edge;
  float name_font, initial_font, pill_height, inset;
  int width, margin;
  double opacity;
  int pill, speaking_pill, avatar, text, muted_text;
};

class StepTable : public ::testing::TestWithParam<StepCase> {};

TEST_P(StepTable, MetricsAndAlphaLevels) {
  const StepCase& c = GetParam();
  const OverlayMetrics m = ComputeMetrics(c.scale);
  EXPECT_EQ(m.avatar_diameter, c.diameter);
  EXPECT_EQ(m.row_height, c.row);
  EXPECT_EQ(m.edge_space, c.edge);
  EXPECT_FLOAT_EQ(m.name_font_size, c.name_font);
  EXPECT_FLOAT_EQ(m.initial_font_size, c.initial_font);
  EXPECT_FLOAT_EQ(m.pill_height, c.pill_height);
  EXPECT_FLOAT_EQ(m.text_inset, c.inset);
  EXPECT_EQ(m.window_width, c.width);
  EXPECT_EQ(m.screen_margin, c.margin);
  const OverlayAlphaLevels a = ComputeAlphaLevels(c.opacity);
  EXPECT_EQ(a.pill, c.pill);
  EXPECT_EQ(a.speaking_pill, c.speaking_pill);
  EXPECT_EQ(a.avatar, c.avatar);
  EXPECT_EQ(a.text, c.text);
  EXPECT_EQ(a.muted_text, c.muted_text);
}

INSTANTIATE_TEST_SUITE_P(Steps, StepTable,
                         ::testing::Values(StepCase{0.7, 21, 28, 4, 12, 10, 20, 8, 196, 20, 0.15,
                                                    29, 60, 41, 60, 45},
                                           StepCase{1.15, 35, 46, 7, 16.1f, 13.8f, 27.6f, 12.65f,
                                                    322, 32, 0.4, 78, 155, 110, 150, 112},
                                           StepCase{1.5, 45, 60, 9, 21, 18, 36, 16.5f, 420, 42, 1.0,
                                                    180, 230, 180, 220, 165}));

TEST(OverlayLayout, WindowHeightAndPill) {
  const OverlayMetrics m = ComputeMetrics(1.15);
  EXPECT_EQ(OverlayWindowHeight(m, 16), 750);
  EXPECT_EQ(OverlayWindowHeight(m, 0), OverlayWindowHeight(m, 1));
  EXPECT_FLOAT_EQ(RowCentre(m, 2), 122.0f);

  const PillGeometry pill = ComputePill(m, RowCentre(m, 0), 20, m.window_width);
  EXPECT_FLOAT_EQ(pill.left, 39);
  EXPECT_FLOAT_EQ(pill.top, 30 - 13.8f);
  EXPECT_FLOAT_EQ(pill.width, 2 * 12.65f + 20);
  EXPECT_FLOAT_EQ(ComputePill(m, 30, 0, 322).width, 36) << "narrowest pill";
  const PillGeometry long_pill = ComputePill(m, 30, 5000, 322);
  EXPECT_FLOAT_EQ(long_pill.left + long_pill.width, 322 - 6) << "ends 6 px before the edge";
}

TEST(OverlayLayout, InitialsAndLabels) {
  EXPECT_EQ(MemberInitial(u"(Bob)"), u"B");
  EXPECT_EQ(MemberInitial(u"  (ann"), u"a") << "never upper-cased";
  EXPECT_EQ(MemberInitial(u" (( "), u" ");
  EXPECT_EQ(MemberInitial(u"(( "), u"(");
  EXPECT_EQ(MemberInitial(u"用户"), u"用");
  EXPECT_EQ(MemberInitial(u""), u"?");
  EXPECT_EQ(MemberLabel(u"Ann", true), u"Ann \u00B7静音");
  EXPECT_EQ(MemberLabel(u"Ann", false), u"Ann");
}

TEST(OverlayLayout, Colours) {
  const MemberColors quiet = ComputeMemberColors(false, false, ComputeAlphaLevels(0.15));
  EXPECT_EQ(quiet.ring, 0u);
  EXPECT_EQ(quiet.placeholder, 0x29343A38u);
  EXPECT_EQ(quiet.pill, 0x1D1C1E20u);
  EXPECT_EQ(quiet.text, 0x3CECF0ECu);

  // A speaker's ring, disc and initial do not fade with the opacity.
  const MemberColors speaking = ComputeMemberColors(true, false, ComputeAlphaLevels(0.15));
  EXPECT_EQ(speaking.ring, 0xF0C8F542u);
  EXPECT_EQ(speaking.placeholder, 0xEBC8F542u);
  EXPECT_EQ(speaking.initial, 0xFF0E120Cu);
  EXPECT_EQ(speaking.text, 0xF5ECFADCu);
  const MemberColors speaking_muted = ComputeMemberColors(true, true, ComputeAlphaLevels(0.4));
  EXPECT_EQ(speaking_muted.pill, 0x9B1C281Eu);
  EXPECT_EQ(speaking_muted.text, 0x70969A9Eu);
}

}  // namespace
