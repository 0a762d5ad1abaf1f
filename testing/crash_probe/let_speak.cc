#include "testing/crash_probe/pure_call.h"

void LetSpeak(Speaker& speaker) { speaker.Speak(); }
