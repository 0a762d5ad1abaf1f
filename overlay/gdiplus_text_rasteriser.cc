#include "overlay/gdiplus_text_rasteriser.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "base/wide_text.h"

namespace {

constexpr wchar_t kFontFamilyName[] = L"Microsoft YaHei UI";

}  // namespace

GdiplusTextRasteriser::GdiplusTextRasteriser(double scale)
    : metrics_(ComputeMetrics(scale)),
      family_(kFontFamilyName, nullptr),
      name_font_(&family_, metrics_.name_font_size, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel),
      initial_font_(&family_, metrics_.initial_font_size, Gdiplus::FontStyleBold,
                    Gdiplus::UnitPixel) {
  name_format_.SetAlignment(Gdiplus::StringAlignmentNear);
  name_format_.SetLineAlignment(Gdiplus::StringAlignmentCenter);
  name_format_.SetTrimming(Gdiplus::StringTrimmingEllipsisCharacter);
  name_format_.SetFormatFlags(Gdiplus::StringFormatFlagsNoWrap);
  initial_format_.SetAlignment(Gdiplus::StringAlignmentCenter);
  initial_format_.SetLineAlignment(Gdiplus::StringAlignmentCenter);
}

float GdiplusTextRasteriser::LabelWidth(const std::u16string& label) {
  Gdiplus::Graphics graphics(&measure_bitmap_);
  graphics.SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAliasGridFit);
  const std::wstring text = AsWide(label);
  Gdiplus::RectF box;
  graphics.MeasureString(text.c_str(), static_cast<INT>(text.size()), &name_font_,
                         Gdiplus::RectF(0, 0, 0, 0), &name_format_, &box);
  return box.Width;
}

CoverageMask GdiplusTextRasteriser::Label(const std::u16string& label, float left, float top,
                                          float width, float height) {
  return RenderText(label, name_font_, name_format_, left, top, width, height);
}

CoverageMask GdiplusTextRasteriser::Initial(const std::u16string& initial, float left, float top,
                                            float size) {
  return RenderText(initial, initial_font_, initial_format_, left, top, size, size);
}

// White text on a transparent bitmap laid over the box on whole pixels; its
// alpha is the coverage. GDI+ clips the text to the box.
CoverageMask GdiplusTextRasteriser::RenderText(const std::u16string& text,
                                               const Gdiplus::Font& font,
                                               const Gdiplus::StringFormat& format, float left,
                                               float top, float width, float height) const {
  CoverageMask mask;
  mask.left = static_cast<int>(std::floor(left));
  mask.top = static_cast<int>(std::floor(top));
  mask.width = std::max(0, static_cast<int>(std::ceil(left + width)) - mask.left);
  mask.height = std::max(0, static_cast<int>(std::ceil(top + height)) - mask.top);
  if (mask.width == 0 || mask.height == 0) {
    mask.width = mask.height = 0;
    return mask;
  }
  std::vector<uint32_t> pixels(static_cast<std::size_t>(mask.width) * mask.height);
  {
    Gdiplus::Bitmap bitmap(mask.width, mask.height, mask.width * 4, PixelFormat32bppPARGB,
                           reinterpret_cast<BYTE*>(pixels.data()));
    Gdiplus::Graphics graphics(&bitmap);
    graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    graphics.SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAliasGridFit);
    const std::wstring wide = AsWide(text);
    Gdiplus::SolidBrush white{Gdiplus::Color(255, 255, 255, 255)};
    graphics.DrawString(wide.c_str(), static_cast<INT>(wide.size()), &font,
                        Gdiplus::RectF(left - static_cast<float>(mask.left),
                                       top - static_cast<float>(mask.top), width, height),
                        &format, &white);
    graphics.Flush(Gdiplus::FlushIntentionSync);
  }
  mask.alpha.resize(pixels.size());
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    mask.alpha[i] = static_cast<uint8_t>(pixels[i] >> 24);
  }
  return mask;
}
