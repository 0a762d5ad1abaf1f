#include "ptt/key_watch.h"

#include <cstdio>
#include <utility>

namespace {

constexpr char kKeyDownEvent[] = "keyDown";
constexpr char kKeyUpEvent[] = "keyUp";

constexpr char kMissedKeyUpReason[] = "missed_key_up";
constexpr char kMissedKeyDownReason[] = "missed_key_down";
constexpr char kLateTickReason[] = "late_tick";
constexpr size_t kLogLineSize = 96;

constexpr uint32_t kFirstSide = 0;

HookKind OtherKind(HookKind kind) {
  return kind == HookKind::kKeyboard ? HookKind::kMouse : HookKind::kKeyboard;
}

}  // namespace

KeyWatch* KeyWatch::active_instance_ = nullptr;

KeyWatch::KeyWatch(PushToTalkSystem& system, EdgeHandler edges)
    : system_(system), edges_(std::move(edges)) {}

KeyWatch::~KeyWatch() { Stop(); }

StartOutcome KeyWatch::Start(uint32_t virtual_key) {
  StartOutcome outcome;
  if (listening() && watched_.virtual_key == virtual_key) {
    outcome.installed = true;
    return outcome;
  }
  // The old key's "keyUp" goes out before the new hooks can report anything.
  Stop();
  watched_ = WatchedKeyFor(virtual_key);
  // The hooks may be called as soon as they are installed.
  active_instance_ = this;
  if (!InstallHooks(hooks_, outcome.refused)) {
    active_instance_ = nullptr;
    watched_ = kNothingWatched;
    outcome.win32_error = system_.LastError();
    return outcome;
  }
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
    RemoveHooks(hooks_);
  }
  if (active_instance_ == this) {
    active_instance_ = nullptr;
  }
  watched_ = kNothingWatched;
}

bool KeyWatch::InstallHooks(HookPair& hooks, HookKind& refused) {
  HookPair fresh;
  for (const HookKind kind : {watched_.hook, OtherKind(watched_.hook)}) {
    const HookId id = system_.InstallHook(kind);
    if (id == kNoHook) {
      refused = kind;
      RemoveHooks(fresh);
      return false;
    }
    (kind == HookKind::kKeyboard ? fresh.keyboard : fresh.mouse) = id;
  }
  hooks = fresh;
  return true;
}

void KeyWatch::RemoveHooks(HookPair& hooks) {
  for (HookId* hook : {&hooks.keyboard, &hooks.mouse}) {
    if (*hook != kNoHook) {
      system_.RemoveHook(*hook);
      *hook = kNoHook;
    }
  }
}

void KeyWatch::ReinstallHooks(const char* reason) {
  char line[kLogLineSize];
  HookPair fresh;
  HookKind refused = HookKind::kKeyboard;
  if (!InstallHooks(fresh, refused)) {
    // The old hooks stay: they may still deliver, and the next late tick or
    // missed edge tries again.
    std::snprintf(line, sizeof(line), "ptt_hook_reinstall_failed reason=%s win32_error=%u", reason,
                  static_cast<unsigned>(system_.LastError()));
  } else {
    RemoveHooks(hooks_);
    hooks_ = fresh;
    std::snprintf(line, sizeof(line), "ptt_hook_reinstalled reason=%s", reason);
  }
  system_.Log(line);
}

void KeyWatch::ReleaseHeldKey() {
  sides_held_before_ = 0;
  if (key_down()) {
    sides_down_ = 0;
    edges_(kKeyUpEvent, last_down_event_);
  }
}

void KeyWatch::HandleWatchedKeyEvent(uintptr_t message, const KeyOrButtonRecord& record) {
  if (IsFakeModifierEvent(record.vk_code, record.scan_code, record.flags)) {
    return;
  }
  const uint32_t side = record.vk_code & watched_.side_bit;
  switch (message) {
    case kMessageKeyDown:
    case kMessageSysKeyDown:
      Press(side, record);
      break;
    case kMessageKeyUp:
    case kMessageSysKeyUp:
      Release(side, record);
      break;
    default:
      break;
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

uint32_t KeyWatch::SidesHeldNow() const {
  if (watched_.side_bit == 0) {
    return system_.IsKeyDown(SystemStateKeyFor(watched_.virtual_key, system_.ButtonsSwapped()))
               ? 1u << kFirstSide
               : 0;
  }
  uint32_t sides = 0;
  for (const uint32_t side : {0u, watched_.side_bit}) {
    if (system_.IsKeyDown((watched_.match_code & ~watched_.side_bit) | side)) {
      sides |= 1u << side;
    }
  }
  return sides;
}

WatchdogReading KeyWatch::ReadState() const {
  WatchdogReading reading;
  reading.now_ms = system_.NowMs();
  reading.reported_down = (sides_down_ | sides_held_before_) != 0;
  reading.system_down =
      system_.IsKeyDown(SystemStateKeyFor(watched_.virtual_key, system_.ButtonsSwapped()));
  reading.last_input_time = system_.LastInputTime();
  reading.hook_calls = hook_calls_;
  return reading;
}

void KeyWatch::CheckKeyState() {
  if (!listening()) {
    return;
  }
  const WatchdogVerdict verdict = watchdog_.Tick(ReadState());
  // Hooks that missed an edge may have been dropped by the system; the event
  // they may still bring later finds the state already set and reports
  // nothing.
  if (verdict.edge == MissingEdge::kKeyUp) {
    ReleaseHeldKey();
    ReinstallHooks(kMissedKeyUpReason);
  } else if (verdict.edge == MissingEdge::kKeyDown) {
    PressFromSystemState();
    ReinstallHooks(kMissedKeyDownReason);
  } else if (verdict.late) {
    ReinstallHooks(kLateTickReason);
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
