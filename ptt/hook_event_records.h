#ifndef VELMO_PTT_HOOK_EVENT_RECORDS_H_
#define VELMO_PTT_HOOK_EVENT_RECORDS_H_

#include <cstdint>

// What the system's low-level keyboard hook reports for one key event, field
// for field, so the decisions about it can be made and tested anywhere. A
// mouse button's edge is reported in the same form, with the button's
// virtual-key code and no scan code.
struct KeyOrButtonRecord {
  uint32_t vk_code = 0;
  uint32_t scan_code = 0;
  uint32_t flags = 0;
  uint32_t time = 0;
  uintptr_t extra_info = 0;
};

// What the system's low-level mouse hook reports for one button event, less
// the pointer's position.
struct MouseEventRecord {
  uint32_t mouse_data = 0;
  uint32_t flags = 0;
  uint32_t time = 0;
  uintptr_t extra_info = 0;
};

// The hook code under which an event is to be looked at.
inline constexpr int kHookCodeAction = 0;

// The keyboard messages a low-level hook receives.
inline constexpr uintptr_t kMessageKeyDown = 0x0100;
inline constexpr uintptr_t kMessageKeyUp = 0x0101;
inline constexpr uintptr_t kMessageSysKeyDown = 0x0104;
inline constexpr uintptr_t kMessageSysKeyUp = 0x0105;

// The mouse messages of a button press; each button's release is the message
// after its press.
inline constexpr uintptr_t kMessageMouseMove = 0x0200;
inline constexpr uintptr_t kMessageLeftButtonDown = 0x0201;
inline constexpr uintptr_t kMessageRightButtonDown = 0x0204;
inline constexpr uintptr_t kMessageMiddleButtonDown = 0x0207;
inline constexpr uintptr_t kMessageSideButtonDown = 0x020B;
// Which side button: the high word of mouse_data.
inline constexpr unsigned kSideButtonShift = 16;

// Set in the keyboard record's flags for events some program synthesised.
inline constexpr uint32_t kInjectedFlag = 0x10;
// The same for a mouse record.
inline constexpr uint32_t kMouseInjectedFlag = 0x01;

#endif  // VELMO_PTT_HOOK_EVENT_RECORDS_H_
