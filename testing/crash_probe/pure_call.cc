#include "testing/crash_probe/pure_call.h"

Speaker::Speaker() { LetSpeak(*this); }

Speaker::~Speaker() = default;

void LoudSpeaker::Speak() {}
