#ifndef VELMO_PTT_WIN32_PUSH_TO_TALK_SYSTEM_H_
#define VELMO_PTT_WIN32_PUSH_TO_TALK_SYSTEM_H_

#include <memory>

#include "ptt/push_to_talk_system.h"

// The system's low-level hooks for all threads of the desktop and the
// watchdog's timer, all on an input thread of their own; reports come back to
// the platform thread, which creates this.
std::unique_ptr<PushToTalkSystem> CreateWin32PushToTalkSystem();

#endif  // VELMO_PTT_WIN32_PUSH_TO_TALK_SYSTEM_H_
