#ifndef VELMO_PTT_RAW_KEY_EVENTS_H_
#define VELMO_PTT_RAW_KEY_EVENTS_H_

#include <array>
#include <cstddef>
#include <cstdint>

#include "ptt/hook_event_records.h"

// What Raw Input reports for one key event, less the device's extra
// information. Raw Input reaches a background window with no cost to the
// desktop's input, and only after the low-level hooks had their turn; it
// names the generic modifier and tells the side by the E0 prefix or the scan
// code.
struct RawKeyEvent {
  uint16_t make_code = 0;
  // kRawKeyBreak, kRawKeyE0, kRawKeyE1.
  uint16_t flags = 0;
  uint16_t vkey = 0;
  // The keyboard message the event becomes.
  uint32_t message = 0;
  // No device: a program synthesised it.
  bool injected = false;
};

inline constexpr uint16_t kRawKeyBreak = 0x01;
inline constexpr uint16_t kRawKeyE0 = 0x02;
inline constexpr uint16_t kRawKeyE1 = 0x04;

// The record the keyboard hook gets for the same event; false for an event
// that carries no key (Raw Input's virtual key 0xFF for the keyboard's own
// prefix bytes), which no hook is called for.
bool HookRecordFromRaw(const RawKeyEvent& raw, KeyOrButtonRecord& record);

// The mouse's button presses and releases in one Raw Input report's button
// flags (each button has a down and an up bit).
uint32_t RawButtonTransitions(uint16_t button_flags);

// The edges of the watched key the keyboard hook made, each waiting for the
// same event from Raw Input. One found here was seen; one not found was
// missed by the hook, which then has to be made up from Raw Input. An entry
// whose event never reaches Raw Input (a later hook swallowed it) must not
// stay to hide a later miss, so entries last one watchdog period at most.
class SeenKeyEvents {
 public:
  // `side` 0 or 1, as KeyWatch counts the sides of a key.
  void Note(uint32_t side, bool down);
  // True when the hook made this edge. It goes, with any older one never
  // matched.
  bool TakeMatching(uint32_t side, bool down);
  // A watchdog tick: entries noted before the previous tick go.
  void Expire();
  void Clear() { count_ = 0; }

 private:
  struct Entry {
    uint8_t event = 0;
    uint32_t period = 0;
  };

  // Far more than can wait: Raw Input follows the hook within one message.
  static constexpr size_t kCapacity = 16;

  void Drop(size_t first_kept);

  std::array<Entry, kCapacity> entries_{};
  size_t count_ = 0;
  uint32_t period_ = 0;
};

#endif  // VELMO_PTT_RAW_KEY_EVENTS_H_
