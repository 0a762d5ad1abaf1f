#ifndef VELMO_DESKTOP_SHELL_FRAME_THEME_H_
#define VELMO_DESKTOP_SHELL_FRAME_THEME_H_

#include <array>
#include <cstddef>
#include <cstdint>

// The main window's frame colours. Values are the 4-byte payloads of the
// window manager's frame attributes; colours are laid out 0x00BBGGRR.

inline constexpr uint32_t kFrameAttributeImmersiveDarkMode = 20;
inline constexpr uint32_t kFrameAttributeBorderColor = 34;
inline constexpr uint32_t kFrameAttributeCaptionColor = 35;
inline constexpr uint32_t kFrameAttributeTextColor = 36;

struct FrameAttribute {
  uint32_t id;
  uint32_t value;

  friend bool operator==(const FrameAttribute&, const FrameAttribute&) = default;
};

inline constexpr std::size_t kFrameAttributeCount = 4;
using FrameAttributes = std::array<FrameAttribute, kFrameAttributeCount>;

// The attributes of one theme in the order they are applied: the dark-mode
// flag first, so that a system knowing only that one still follows the theme.
const FrameAttributes& FrameThemeAttributes(bool dark);

#endif  // VELMO_DESKTOP_SHELL_FRAME_THEME_H_
