#ifndef VELMO_OVERLAY_GDIPLUS_TEXT_RASTERISER_H_
#define VELMO_OVERLAY_GDIPLUS_TEXT_RASTERISER_H_

#include <string>

#include "overlay/gdiplus_include.h"
#include "overlay/overlay_layout.h"
#include "overlay/overlay_mask_cache.h"

// The overlay's texts laid out and rasterised by GDI+ in "Microsoft YaHei UI".
class GdiplusTextRasteriser : public OverlayTextRasteriser {
 public:
  explicit GdiplusTextRasteriser(double scale);

  GdiplusTextRasteriser(const GdiplusTextRasteriser&) = delete;
  GdiplusTextRasteriser& operator=(const GdiplusTextRasteriser&) = delete;

  float LabelWidth(const std::u16string& label) override;
  CoverageMask Label(const std::u16string& label, float left, float top, float width,
                     float height) override;
  CoverageMask Initial(const std::u16string& initial, float left, float top, float size) override;

 private:
  CoverageMask RenderText(const std::u16string& text, const Gdiplus::Font& font,
                          const Gdiplus::StringFormat& format, float left, float top, float width,
                          float height) const;

  OverlayMetrics metrics_;
  Gdiplus::FontFamily family_;
  Gdiplus::Font name_font_;
  Gdiplus::Font initial_font_;
  Gdiplus::StringFormat name_format_;
  Gdiplus::StringFormat initial_format_;
  Gdiplus::Bitmap measure_bitmap_{1, 1, PixelFormat32bppPARGB};
};

#endif  // VELMO_OVERLAY_GDIPLUS_TEXT_RASTERISER_H_
