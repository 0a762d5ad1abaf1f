#ifndef VELMO_PTT_WATCHED_KEY_H_
#define VELMO_PTT_WATCHED_KEY_H_

#include <cstdint>

enum class HookKind { kKeyboard, kMouse };

// Which hook sees a chosen virtual key and which of its events count as it.
struct WatchedKey {
  uint32_t virtual_key = 0;
  HookKind hook = HookKind::kKeyboard;
  // Keyboard records whose code, with side_bit set, equals match_code are this
  // key. Only a generic modifier has a side bit: the keyboard hook reports its
  // left (even) and right (odd) codes, never the generic one.
  uint32_t side_bit = 0;
  uint32_t match_code = 0;
  // Mouse messages down_message (press) and down_message + 1 (release) are
  // this button; the side buttons share theirs and differ by x_button.
  uintptr_t down_message = 0;
  uint32_t x_button = 0;
};

// A code the keyboard hook never reports (they are 1 to 254).
inline constexpr uint32_t kNoKeyboardCode = 0x100;
// Matches no mouse message, nor the one after it.
inline constexpr uintptr_t kNoMouseMessage = UINTPTR_MAX - 1;

inline constexpr WatchedKey kNothingWatched{0, HookKind::kKeyboard, kNoKeyboardCode,
                                            0, kNoMouseMessage,     0};

// `virtual_key` from 1 to 254.
WatchedKey WatchedKeyFor(uint32_t virtual_key);

// The code under which the system keeps the state of `virtual_key`: the key
// itself, except that with swapped buttons the system's state of buttons 1
// and 2 is the physical one while the mouse hook reports the logical one.
uint32_t SystemStateKeyFor(uint32_t virtual_key, bool buttons_swapped);

// Keyboard events no key press of the user made, which input tools ignore: the
// left Control that AltGr sends ahead of the right Alt (scan code 0x21D: 0x200
// is the system's mark for an event it simulated), the Shift releases and
// presses the system simulates around the numpad's navigation keys while
// NumLock is on (the same mark), and the keyboard's own E0 2A / E0 AA, a left
// Shift with the extended flag. A right Shift with the extended flag is real:
// the hook reports it so.
bool IsFakeModifierEvent(uint32_t vk_code, uint32_t scan_code, uint32_t flags);

// The right Alt, which AltGr is.
inline constexpr uint32_t kRightAltKey = 0xA5;

// Whether the system may count `code` as held for fake events alone, while
// the right Alt is held: AltGr sends a left Control along with it, which the
// system counts and the hook ignores.
bool HeldStateMayBeAltGrs(uint32_t code);

#endif  // VELMO_PTT_WATCHED_KEY_H_
