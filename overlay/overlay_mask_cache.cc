#include "overlay/overlay_mask_cache.h"

#include <utility>

OverlayMaskCache::OverlayMaskCache(double scale, std::unique_ptr<OverlayTextRasteriser> text)
    : scale_(scale), text_(std::move(text)) {}

float OverlayMaskCache::LabelWidth(const std::u16string& label) {
  return widths_.Get(label, [&] { return text_->LabelWidth(label); });
}

const CoverageMask& OverlayMaskCache::Label(const std::u16string& label, float left, float top,
                                            float width, float height) {
  return labels_.Get(Key{label, left, top, width, height},
                     [&] { return text_->Label(label, left, top, width, height); });
}

const CoverageMask& OverlayMaskCache::Initial(const std::u16string& initial, float left, float top,
                                              float size) {
  return initials_.Get(Key{initial, left, top, size, size},
                       [&] { return text_->Initial(initial, left, top, size); });
}

const CoverageMask& OverlayMaskCache::Capsule(float left, float top, float width, float height) {
  return capsules_.Get(Key{u"", left, top, width, height},
                       [&] { return CapsuleMask(left, top, width, height); });
}

void OverlayMaskCache::EndFrame() {
  widths_.EndFrame();
  labels_.EndFrame();
  initials_.EndFrame();
  capsules_.EndFrame();
}
