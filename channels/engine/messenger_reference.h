#ifndef VELMO_CHANNELS_ENGINE_MESSENGER_REFERENCE_H_
#define VELMO_CHANNELS_ENGINE_MESSENGER_REFERENCE_H_

#include "channels/engine/engine_api.h"

namespace flutter {

// A counted reference to the engine's messenger: the handle stays valid while
// this object lives, also after the engine has been destroyed.
class MessengerReference {
 public:
  explicit MessengerReference(FlutterDesktopMessengerRef messenger);
  ~MessengerReference();

  MessengerReference(const MessengerReference&) = delete;
  MessengerReference& operator=(const MessengerReference&) = delete;

  FlutterDesktopMessengerRef get() const { return messenger_; }

 private:
  FlutterDesktopMessengerRef messenger_;
};

// Holds the messenger's lock for one scope. The engine takes the same lock
// when it shuts down, so what is tested under it stays true until unlock.
class ScopedMessengerLock {
 public:
  explicit ScopedMessengerLock(FlutterDesktopMessengerRef messenger);
  ~ScopedMessengerLock();

  ScopedMessengerLock(const ScopedMessengerLock&) = delete;
  ScopedMessengerLock& operator=(const ScopedMessengerLock&) = delete;

 private:
  // What the lock call returned; unlock takes exactly that, and only when set.
  FlutterDesktopMessengerRef locked_;
};

}  // namespace flutter

#endif  // VELMO_CHANNELS_ENGINE_MESSENGER_REFERENCE_H_
