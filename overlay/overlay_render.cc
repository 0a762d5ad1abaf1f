// Drawing of the member rows with GDI+ and the push to the layered window.
#include <mutex>
#include <vector>

#include "base/wide_text.h"
#include "overlay/gdi_handles.h"
#include "overlay/overlay_layout.h"
#include "overlay/voice_overlay.h"

namespace {

constexpr wchar_t kFontFamilyName[] = L"Microsoft YaHei UI";
constexpr BYTE kOpaque = 255;

// Fonts and formats of one frame.
struct TextResources {
  TextResources(const OverlayMetrics& metrics)
      : family(kFontFamilyName, nullptr),
        name_font(&family, metrics.name_font_size, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel),
        initial_font(&family, metrics.initial_font_size, Gdiplus::FontStyleBold,
                     Gdiplus::UnitPixel) {
    name_format.SetAlignment(Gdiplus::StringAlignmentNear);
    name_format.SetLineAlignment(Gdiplus::StringAlignmentCenter);
    name_format.SetTrimming(Gdiplus::StringTrimmingEllipsisCharacter);
    name_format.SetFormatFlags(Gdiplus::StringFormatFlagsNoWrap);
    initial_format.SetAlignment(Gdiplus::StringAlignmentCenter);
    initial_format.SetLineAlignment(Gdiplus::StringAlignmentCenter);
  }

  Gdiplus::FontFamily family;
  Gdiplus::Font name_font;
  Gdiplus::Font initial_font;
  Gdiplus::StringFormat name_format;
  Gdiplus::StringFormat initial_format;
};

void DrawAvatarPicture(Gdiplus::Graphics& graphics, Gdiplus::Bitmap& picture, float top,
                       float diameter, bool speaking, const OverlayAlphaLevels& levels) {
  Gdiplus::GraphicsPath circle;
  circle.AddEllipse(0.0f, top, diameter, diameter);
  Gdiplus::Region saved;
  graphics.GetClip(&saved);
  graphics.SetClip(&circle, Gdiplus::CombineModeIntersect);

  const Gdiplus::RectF destination(0.0f, top, diameter, diameter);
  const auto width = static_cast<float>(picture.GetWidth());
  const auto height = static_cast<float>(picture.GetHeight());
  if (speaking) {
    graphics.DrawImage(&picture, destination, 0.0f, 0.0f, width, height, Gdiplus::UnitPixel);
  } else {
    Gdiplus::ColorMatrix matrix = {{{1, 0, 0, 0, 0},
                                    {0, 1, 0, 0, 0},
                                    {0, 0, 1, 0, 0},
                                    {0, 0, 0, AvatarAlphaFactor(levels), 0},
                                    {0, 0, 0, 0, 1}}};
    Gdiplus::ImageAttributes attributes;
    attributes.SetColorMatrix(&matrix, Gdiplus::ColorMatrixFlagsDefault,
                              Gdiplus::ColorAdjustTypeDefault);
    graphics.DrawImage(&picture, destination, 0.0f, 0.0f, width, height, Gdiplus::UnitPixel,
                       &attributes);
  }
  graphics.SetClip(&saved, Gdiplus::CombineModeReplace);
}

void DrawPlaceholder(Gdiplus::Graphics& graphics, const OverlayMember& member, float top,
                     float diameter, const MemberColors& colors, const TextResources& text) {
  Gdiplus::SolidBrush disc{Gdiplus::Color(colors.placeholder)};
  graphics.FillEllipse(&disc, 0.0f, top, diameter, diameter);
  const std::wstring initial = AsWide(MemberInitial(member.name));
  Gdiplus::SolidBrush letter{Gdiplus::Color(colors.initial)};
  graphics.DrawString(initial.c_str(), static_cast<INT>(initial.size()), &text.initial_font,
                      Gdiplus::RectF(0.0f, top, diameter, diameter), &text.initial_format, &letter);
}

void DrawPill(Gdiplus::Graphics& graphics, const PillGeometry& pill, const MemberColors& colors) {
  Gdiplus::GraphicsPath capsule;
  capsule.AddArc(pill.left, pill.top, pill.height, pill.height, 90.0f, 180.0f);
  capsule.AddArc(pill.left + pill.width - pill.height, pill.top, pill.height, pill.height, 270.0f,
                 180.0f);
  capsule.CloseFigure();
  Gdiplus::SolidBrush fill{Gdiplus::Color(colors.pill)};
  graphics.FillPath(&fill, &capsule);
}

}  // namespace

void VoiceOverlay::Render() {
  if (overlay_window == nullptr || !gdiplus_started) {
    return;
  }
  std::vector<OverlayMember> members;
  double scale = 0;
  double opacity = 0;
  {
    std::lock_guard lock(state.state_mutex);
    members = state.members;
    scale = state.scale;
    opacity = state.opacity;
  }
  if (members.empty()) {
    return;
  }
  RECT rect{};
  GetWindowRect(overlay_window, &rect);
  const int w = rect.right - rect.left;
  const int h = rect.bottom - rect.top;
  if (w <= 0 || h <= 0) {
    return;
  }
  const OverlayMetrics metrics = ComputeMetrics(scale);
  const OverlayAlphaLevels levels = ComputeAlphaLevels(opacity);
  const auto diameter = static_cast<float>(metrics.avatar_diameter);

  ScreenDc screen;
  MemoryDc memory(screen.get());
  Gdiplus::Bitmap canvas(w, h, PixelFormat32bppPARGB);
  {
    Gdiplus::Graphics graphics(&canvas);
    graphics.Clear(Gdiplus::Color(0, 0, 0, 0));
    graphics.SetCompositingMode(Gdiplus::CompositingModeSourceOver);
    graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    graphics.SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAliasGridFit);
    const TextResources text(metrics);

    for (int i = 0; i < static_cast<int>(members.size()); ++i) {
      const OverlayMember& member = members[i];
      const MemberColors colors = ComputeMemberColors(member.speaking, member.muted, levels);
      const float cy = RowCentre(metrics, i);
      const float ay = cy - diameter * 0.5f;
      if (member.speaking) {
        Gdiplus::Pen ring(Gdiplus::Color(colors.ring), kRingPenWidth);
        graphics.DrawEllipse(&ring, -kRingOutset, ay - kRingOutset, diameter + 2 * kRingOutset,
                             diameter + 2 * kRingOutset);
      }
      Gdiplus::Bitmap* picture = member.avatar_url.empty() ? nullptr : GetAvatar(member.avatar_url);
      if (picture != nullptr) {
        DrawAvatarPicture(graphics, *picture, ay, diameter, member.speaking, levels);
      } else {
        DrawPlaceholder(graphics, member, ay, diameter, colors, text);
      }

      const std::wstring label = AsWide(MemberLabel(member.name, member.muted));
      Gdiplus::RectF box;
      graphics.MeasureString(label.c_str(), static_cast<INT>(label.size()), &text.name_font,
                             Gdiplus::RectF(0, 0, 0, 0), &text.name_format, &box);
      const PillGeometry pill = ComputePill(metrics, cy, box.Width, w);
      DrawPill(graphics, pill, colors);
      Gdiplus::SolidBrush ink{Gdiplus::Color(colors.text)};
      graphics.DrawString(label.c_str(), static_cast<INT>(label.size()), &text.name_font,
                          Gdiplus::RectF(pill.left + metrics.text_inset, pill.top,
                                         pill.width - 2 * metrics.text_inset, pill.height),
                          &text.name_format, &ink);
    }
  }

  HBITMAP converted = nullptr;
  if (canvas.GetHBITMAP(Gdiplus::Color(0, 0, 0, 0), &converted) != Gdiplus::Ok ||
      converted == nullptr) {
    return;
  }
  GdiBitmap frame(converted);
  ScopedSelection selection(memory.get(), frame.get());
  POINT destination{rect.left, rect.top};
  SIZE size{w, h};
  POINT source{0, 0};
  BLENDFUNCTION blend{AC_SRC_OVER, 0, kOpaque, AC_SRC_ALPHA};
  UpdateLayeredWindow(overlay_window, screen.get(), &destination, &size, memory.get(), &source, 0,
                      &blend, ULW_ALPHA);
}
