#include "ptt/watched_key.h"

#include "ptt/hook_event_records.h"

namespace {

constexpr uint32_t kShift = 0x10;
constexpr uint32_t kControl = 0x11;
constexpr uint32_t kAlt = 0x12;
constexpr uint32_t kLeftShift = 0xA0;
constexpr uint32_t kLeftControl = 0xA2;
constexpr uint32_t kLeftAlt = 0xA4;
constexpr uint32_t kRightShift = 0xA1;
constexpr uint32_t kRightControl = 0xA3;

// Set by the system in the scan code of an event it made up itself.
constexpr uint32_t kSimulatedScanCodeBit = 0x200;
// The hook's flag for a key that came with the E0 prefix.
constexpr uint32_t kExtendedFlag = 0x01;

constexpr uint32_t kLeftButton = 0x01;
constexpr uint32_t kRightButton = 0x02;
constexpr uint32_t kMiddleButton = 0x04;
constexpr uint32_t kSideButton1 = 0x05;
constexpr uint32_t kSideButton2 = 0x06;
constexpr uint32_t kFirstSideButton = 1;
constexpr uint32_t kSecondSideButton = 2;

constexpr uint32_t kSideBit = 1;

WatchedKey KeyboardKey(uint32_t virtual_key) {
  return {virtual_key, HookKind::kKeyboard, 0, virtual_key, kNoMouseMessage, 0};
}

WatchedKey BothSides(uint32_t virtual_key, uint32_t left_code) {
  return {virtual_key, HookKind::kKeyboard, kSideBit, left_code | kSideBit, kNoMouseMessage, 0};
}

WatchedKey MouseButton(uint32_t virtual_key, uintptr_t down_message, uint32_t x_button = 0) {
  return {virtual_key, HookKind::kMouse, 0, kNoKeyboardCode, down_message, x_button};
}

}  // namespace

WatchedKey WatchedKeyFor(uint32_t virtual_key) {
  switch (virtual_key) {
    case kShift:
      return BothSides(virtual_key, kLeftShift);
    case kControl:
      return BothSides(virtual_key, kLeftControl);
    case kAlt:
      return BothSides(virtual_key, kLeftAlt);
    case kLeftButton:
      return MouseButton(virtual_key, kMessageLeftButtonDown);
    case kRightButton:
      return MouseButton(virtual_key, kMessageRightButtonDown);
    case kMiddleButton:
      return MouseButton(virtual_key, kMessageMiddleButtonDown);
    case kSideButton1:
      return MouseButton(virtual_key, kMessageSideButtonDown, kFirstSideButton);
    case kSideButton2:
      return MouseButton(virtual_key, kMessageSideButtonDown, kSecondSideButton);
    default:
      return KeyboardKey(virtual_key);
  }
}

uint32_t SystemStateKeyFor(uint32_t virtual_key, bool buttons_swapped) {
  if (buttons_swapped && (virtual_key == kLeftButton || virtual_key == kRightButton)) {
    return virtual_key == kLeftButton ? kRightButton : kLeftButton;
  }
  return virtual_key;
}

bool IsFakeModifierEvent(uint32_t vk_code, uint32_t scan_code, uint32_t flags) {
  if (vk_code == kLeftShift && (flags & kExtendedFlag) != 0) {
    return true;
  }
  const bool modifier = vk_code == kLeftShift || vk_code == kRightShift ||
                        vk_code == kLeftControl || vk_code == kRightControl;
  return modifier && (scan_code & kSimulatedScanCodeBit) != 0;
}

bool HeldStateMayBeAltGrs(uint32_t code) { return code == kLeftControl; }
