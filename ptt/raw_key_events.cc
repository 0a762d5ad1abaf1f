#include "ptt/raw_key_events.h"

#include <bit>

namespace {

constexpr uint16_t kNoVirtualKey = 0xFF;
constexpr uint16_t kShift = 0x10;
constexpr uint16_t kControl = 0x11;
constexpr uint16_t kAlt = 0x12;
constexpr uint32_t kLeftShift = 0xA0;
constexpr uint32_t kRightShift = 0xA1;
constexpr uint32_t kLeftControl = 0xA2;
constexpr uint32_t kRightControl = 0xA3;
constexpr uint32_t kLeftAlt = 0xA4;
constexpr uint32_t kRightAlt = 0xA5;
constexpr uint16_t kRightShiftScanCode = 0x36;

// The hook's flags for a key with the E0 prefix and for a release.
constexpr uint32_t kHookExtendedFlag = 0x01;
constexpr uint32_t kHookUpFlag = 0x80;

// Ten bits: down and up of five buttons.
constexpr uint16_t kRawButtonBits = 0x03FF;

uint32_t SideCode(const RawKeyEvent& raw) {
  const bool e0 = (raw.flags & kRawKeyE0) != 0;
  switch (raw.vkey) {
    case kShift:
      return raw.make_code == kRightShiftScanCode ? kRightShift : kLeftShift;
    case kControl:
      return e0 ? kRightControl : kLeftControl;
    case kAlt:
      return e0 ? kRightAlt : kLeftAlt;
    default:
      return raw.vkey;
  }
}

uint8_t EventOf(uint32_t side, bool down) {
  return static_cast<uint8_t>(side << 1 | (down ? 1 : 0));
}

}  // namespace

bool HookRecordFromRaw(const RawKeyEvent& raw, KeyOrButtonRecord& record) {
  if (raw.vkey == 0 || raw.vkey == kNoVirtualKey) {
    return false;
  }
  record = KeyOrButtonRecord{};
  record.vk_code = SideCode(raw);
  record.scan_code = raw.make_code;
  record.flags = ((raw.flags & kRawKeyE0) != 0 ? kHookExtendedFlag : 0) |
                 ((raw.flags & kRawKeyBreak) != 0 ? kHookUpFlag : 0) |
                 (raw.injected ? kInjectedFlag : 0);
  return true;
}

uint32_t RawButtonTransitions(uint16_t button_flags) {
  return static_cast<uint32_t>(std::popcount(static_cast<uint16_t>(button_flags & kRawButtonBits)));
}

void SeenKeyEvents::Note(uint32_t side, bool down) {
  if (count_ == kCapacity) {
    Drop(1);
  }
  entries_[count_++] = Entry{EventOf(side, down), period_};
}

bool SeenKeyEvents::TakeMatching(uint32_t side, bool down) {
  const uint8_t wanted = EventOf(side, down);
  for (size_t i = 0; i < count_; ++i) {
    if (entries_[i].event == wanted) {
      Drop(i + 1);
      return true;
    }
  }
  return false;
}

void SeenKeyEvents::Expire() {
  size_t old = 0;
  while (old < count_ && entries_[old].period != period_) {
    ++old;
  }
  Drop(old);
  ++period_;
}

void SeenKeyEvents::Drop(size_t first_kept) {
  const size_t kept = count_ - first_kept;
  for (size_t i = 0; i < kept; ++i) {
    entries_[i] = entries_[first_kept + i];
  }
  count_ = kept;
}
