#ifndef VELMO_PTT_WIN32_PUSH_TO_TALK_SYSTEM_H_
#define VELMO_PTT_WIN32_PUSH_TO_TALK_SYSTEM_H_

#include <memory>

#include "ptt/push_to_talk_system.h"

// The system's low-level hooks for all threads of the desktop and a thread
// timer. Hook procedures and timer run on the installing thread while that
// thread pumps messages.
std::unique_ptr<PushToTalkSystem> CreateWin32PushToTalkSystem();

#endif  // VELMO_PTT_WIN32_PUSH_TO_TALK_SYSTEM_H_
