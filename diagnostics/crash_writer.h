#ifndef VELMO_DIAGNOSTICS_CRASH_WRITER_H_
#define VELMO_DIAGNOSTICS_CRASH_WRITER_H_

#include <windows.h>

// The crash writer: a thread of its own, started with crash capture, that
// writes a crash's files while the crashing thread waits. The crashing
// thread may have no stack left (an overflow), and the minidump library is
// not safe to run on two threads at once.

// Starts the writer thread. False when it could not be started; crashes are
// then written on the crashing thread itself.
bool StartCrashWriter();

// Has the files of the process's first crash written and returns when they
// are (or the writer gave up). A later crash on another thread waits for the
// first one's files instead; a crash of the writer itself, or one inside the
// filter, returns at once.
void CaptureCrash(EXCEPTION_POINTERS* exception_pointers);

#endif  // VELMO_DIAGNOSTICS_CRASH_WRITER_H_
