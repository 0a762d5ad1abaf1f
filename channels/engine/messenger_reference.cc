#include "channels/engine/messenger_reference.h"

namespace flutter {

MessengerReference::MessengerReference(FlutterDesktopMessengerRef messenger)
    : messenger_(FlutterDesktopMessengerAddRef(messenger)) {}

MessengerReference::~MessengerReference() {
  if (messenger_ != nullptr) {
    FlutterDesktopMessengerRelease(messenger_);
  }
}

ScopedMessengerLock::ScopedMessengerLock(FlutterDesktopMessengerRef messenger)
    : locked_(FlutterDesktopMessengerLock(messenger)) {}

ScopedMessengerLock::~ScopedMessengerLock() {
  if (locked_ != nullptr) {
    FlutterDesktopMessengerUnlock(locked_);
  }
}

}  // namespace flutter
