#include "ptt/key_watch.h"

#include <cstdio>
#include <utility>

namespace {

constexpr char kKeyDownEvent[] = "keyDown";
constexpr char kKeyUpEvent[] = "keyUp";

constexpr size_t kLogLineSize = 96;

constexpr uint32_t kFirstSide = 0;

const char* ReasonWord(ReinstallReason reason) {
  switch (reason) {
    case ReinstallReason::kMissedKeyUp:
      return "missed_key_up";
    case ReinstallReason::kMissedKeyDown:
      return "missed_key_down";
    case ReinstallReason::kMissedInput:
      return "missed_input";
    case ReinstallReason::kLateTick:
    case ReinstallReason::kNone:
      break;
  }
  return "late_tick";
}

const char* SessionWord(SessionEvent event) {
  switch (event) {
    case SessionEvent::kLock:
      return "session_lock";
    case SessionEvent::kDisconnect:
      return "session_disconnect";
    case SessionEvent::kSuspend:
      break;
  }
  return "suspend";
}

bool IsDownMessage(uintptr_t message) {
  return message == kMessageKeyDown || message == kMessageSysKeyDown;
}

bool IsUpMessage(uintptr_t message) {
  return message == kMessageKeyUp || message == kMessageSysKeyUp;
}

}  // namespace

KeyWatch* KeyWatch::active_instance_ = nullptr;

KeyWatch::KeyWatch(PushToTalkSystem& system, EdgeHandler edges)
    : system_(system), edges_(std::move(edges)) {}

KeyWatch::~KeyWatch() { Stop(); }

void KeyWatch::HandleRawKeyEvent(const RawKeyEvent& raw) {
  KeyWatch* watch = active_instance_;
  KeyOrButtonRecord record;
  if (watch == nullptr || !HookRecordFromRaw(raw, record)) {
    return;
  }
  ++watch->keyboard_.raw_events;
  if ((record.vk_code | watch->watched_.side_bit) == watch->watched_.match_code) {
    watch->HandleWatchedKeyEvent(raw.message, record, !kFromHook);
  }
}

void KeyWatch::HandleRawMouseButtons(uint16_t button_flags) {
  if (active_instance_ != nullptr) {
    active_instance_->mouse_.raw_events += RawButtonTransitions(button_flags);
  }
}

void KeyWatch::HandleSessionEvent(SessionEvent event) {
  KeyWatch* watch = active_instance_;
  if (watch == nullptr || !watch->ReleaseHeldKey()) {
    return;
  }
  char line[kLogLineSize];
  std::snprintf(line, sizeof(line), "ptt_key_released reason=%s", SessionWord(event));
  watch->system_.Log(line);
}

StartOutcome KeyWatch::Start(uint32_t virtual_key) {
  StartOutcome outcome;
  if (listening() && watched_.virtual_key == virtual_key) {
    outcome.installed = true;
    return outcome;
  }
  // The old key's "keyUp" goes out before the new hook can report anything.
  Stop();
  watched_ = WatchedKeyFor(virtual_key);
  // The hook may be called as soon as it is installed.
  active_instance_ = this;
  hook_ = system_.InstallHook(watched_.hook);
  if (hook_ == kNoHook) {
    active_instance_ = nullptr;
    outcome.refused = watched_.hook;
    watched_ = kNothingWatched;
    outcome.win32_error = system_.LastError();
    return outcome;
  }
  // Without Raw Input the watchdog falls back on the system's last-input time.
  raw_input_ = system_.StartRawInput(watched_.hook);
  seen_.Clear();
  sides_held_before_ = SidesHeldNow();
  watchdog_.Restart(ReadState());
  system_.StartWatchdogTimer();
  outcome.installed = true;
  return outcome;
}

void KeyWatch::Stop() {
  ReleaseHeldKey();
  if (listening()) {
    system_.StopWatchdogTimer();
    if (raw_input_) {
      system_.StopRawInput();
      raw_input_ = false;
    }
    system_.RemoveHook(hook_);
    hook_ = kNoHook;
  }
  if (active_instance_ == this) {
    active_instance_ = nullptr;
  }
  watched_ = kNothingWatched;
}

void KeyWatch::ReinstallHook(ReinstallReason reason) {
  char line[kLogLineSize];
  const HookId fresh = system_.InstallHook(watched_.hook);
  if (fresh == kNoHook) {
    // The old hook stays: it may still deliver, and the next late tick or
    // missed input tries again.
    std::snprintf(line, sizeof(line), "ptt_hook_reinstall_failed reason=%s win32_error=%u",
                  ReasonWord(reason), static_cast<unsigned>(system_.LastError()));
  } else {
    system_.RemoveHook(hook_);
    hook_ = fresh;
    std::snprintf(line, sizeof(line), "ptt_hook_reinstalled reason=%s", ReasonWord(reason));
  }
  system_.Log(line);
}

bool KeyWatch::ReleaseHeldKey() {
  sides_held_before_ = 0;
  if (!key_down()) {
    return false;
  }
  sides_down_ = 0;
  edges_(kKeyUpEvent, last_down_event_);
  return true;
}

void KeyWatch::HandleWatchedKeyEvent(uintptr_t message, const KeyOrButtonRecord& record,
                                     bool from_hook) {
  if (IsFakeModifierEvent(record.vk_code, record.scan_code, record.flags)) {
    return;
  }
  const bool down = IsDownMessage(message);
  if (!down && !IsUpMessage(message)) {
    return;
  }
  const uint32_t side = record.vk_code & watched_.side_bit;
  const uint32_t bit = 1u << side;
  const bool edge =
      down ? ((sides_down_ | sides_held_before_) & bit) == 0 : (sides_down_ & bit) != 0;
  if (from_hook) {
    if (edge && raw_input_) {
      seen_.Note(side, down);
    }
  } else if (seen_.TakeMatching(side, down) && edge) {
    // The hook made this edge, and a later event of the hook undid it.
    return;
  }
  if (down) {
    Press(side, record);
  } else {
    Release(side, record);
  }
}

void KeyWatch::HandleWatchedButtonEvent(uintptr_t message, const MouseEventRecord& record) {
  if (watched_.x_button != 0 && record.mouse_data >> kSideButtonShift != watched_.x_button) {
    return;
  }
  const KeyOrButtonRecord button{watched_.virtual_key, 0,
                                 (record.flags & kMouseInjectedFlag) != 0 ? kInjectedFlag : 0,
                                 record.time, record.extra_info};
  if (message == watched_.down_message) {
    Press(kFirstSide, button);
  } else {
    Release(kFirstSide, button);
  }
}

void KeyWatch::Press(uint32_t side, const KeyOrButtonRecord& record) {
  const uint32_t bit = 1u << side;
  // Auto-repeat of a held key, of a key held since before the watch, or the
  // other side of a modifier already held, reports nothing more.
  if (((sides_down_ | sides_held_before_) & bit) != 0) {
    return;
  }
  const bool first = sides_down_ == 0;
  sides_down_ |= bit;
  if (first) {
    last_down_event_ = record;
    edges_(kKeyDownEvent, record);
  }
}

void KeyWatch::Release(uint32_t side, const KeyOrButtonRecord& record) {
  const uint32_t bit = 1u << side;
  sides_held_before_ &= ~bit;
  // A release without a reported press (the key was held before the watch
  // began) reports nothing; neither does one side of a modifier while the
  // other stays held.
  if ((sides_down_ & bit) == 0) {
    return;
  }
  sides_down_ &= ~bit;
  if (sides_down_ == 0) {
    edges_(kKeyUpEvent, record);
  }
}

bool KeyWatch::SystemHolds(uint32_t code) const {
  return system_.IsKeyDown(code) &&
         !(HeldStateMayBeAltGrs(code) && system_.IsKeyDown(kRightAltKey));
}

uint32_t KeyWatch::SidesHeldNow() const {
  if (watched_.side_bit == 0) {
    return SystemHolds(SystemStateKeyFor(watched_.virtual_key, system_.ButtonsSwapped()))
               ? 1u << kFirstSide
               : 0;
  }
  uint32_t sides = 0;
  for (const uint32_t side : {0u, watched_.side_bit}) {
    if (SystemHolds((watched_.match_code & ~watched_.side_bit) | side)) {
      sides |= 1u << side;
    }
  }
  return sides;
}

WatchdogReading KeyWatch::ReadState() {
  WatchdogReading reading;
  reading.now_ms = system_.NowMs();
  reading.reported_down = (sides_down_ | sides_held_before_) != 0;
  reading.system_down = SidesHeldNow() != 0;
  const InputCounts& counts = CountsOfWatchedKind();
  reading.hook_calls = counts.hook_calls;
  reading.input_exact = raw_input_;
  reading.input = raw_input_ ? counts.raw_events : system_.LastInputTime();
  return reading;
}

void KeyWatch::CheckKeyState() {
  if (!listening()) {
    return;
  }
  seen_.Expire();
  const WatchdogVerdict verdict = watchdog_.Tick(ReadState());
  // A hook that missed an edge may have been dropped by the system; the event
  // it may still bring later finds the state already set and reports
  // nothing.
  if (verdict.edge == MissingEdge::kKeyUp) {
    ReleaseHeldKey();
  } else if (verdict.edge == MissingEdge::kKeyDown) {
    PressFromSystemState();
  }
  if (verdict.reinstall != ReinstallReason::kNone) {
    ReinstallHook(verdict.reinstall);
  }
}

void KeyWatch::PressFromSystemState() {
  const KeyOrButtonRecord record{watched_.virtual_key, system_.ScanCodeOf(watched_.virtual_key), 0,
                                 static_cast<uint32_t>(system_.NowMs())};
  // A modifier notes the sides held now, so that the release of each is
  // recognised.
  const uint32_t sides = SidesHeldNow();
  sides_down_ = sides != 0 ? sides : 1u << kFirstSide;
  last_down_event_ = record;
  edges_(kKeyDownEvent, record);
}
