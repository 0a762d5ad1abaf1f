#include "desktop_shell/frame_theme.h"

namespace {

constexpr uint32_t kDarkCaptionColor = 0x00241A16;
constexpr uint32_t kDarkTextColor = 0x00FAF6F5;
// The dark frame has no separate border: it takes the caption colour.
constexpr uint32_t kDarkBorderColor = kDarkCaptionColor;

constexpr uint32_t kLightCaptionColor = 0x00FBF8F8;
constexpr uint32_t kLightTextColor = 0x00201A18;
constexpr uint32_t kLightBorderColor = 0x00ECE4E2;

constexpr FrameAttributes kDarkFrame = {{
    {kFrameAttributeImmersiveDarkMode, 1},
    {kFrameAttributeCaptionColor, kDarkCaptionColor},
    {kFrameAttributeTextColor, kDarkTextColor},
    {kFrameAttributeBorderColor, kDarkBorderColor},
}};

constexpr FrameAttributes kLightFrame = {{
    {kFrameAttributeImmersiveDarkMode, 0},
    {kFrameAttributeCaptionColor, kLightCaptionColor},
    {kFrameAttributeTextColor, kLightTextColor},
    {kFrameAttributeBorderColor, kLightBorderColor},
}};

}  // namespace

const FrameAttributes& FrameThemeAttributes(bool dark) { return dark ? kDarkFrame : kLightFrame; }
