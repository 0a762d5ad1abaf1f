#ifndef VELMO_DIAGNOSTICS_CRASH_FILES_H_
#define VELMO_DIAGNOSTICS_CRASH_FILES_H_

#include <windows.h>

#include "diagnostics/stack_walk.h"

// One crash, as the thread that writes its files receives it.
struct CrashRequest {
  EXCEPTION_POINTERS* exception_pointers = nullptr;
  DWORD thread_id = 0;
  // The crashing thread's stack, for walking it from the exception's context.
  StackBounds stack;
};

// The calling thread's stack bounds. Cheap enough for a thread that has just
// overflowed its stack.
StackBounds CurrentThreadStack();

// Writes the crash set "crash-<stamp>.txt" and "crash-<stamp>.dmp" into the
// logs directory: the report first (cheap, and it survives a dump that fails
// or never ends), then the minidump. Allocates nothing and takes no lock.
void WriteCrashFiles(const CrashRequest& request);

// Writes the report's header, access-violation line and raw stack (the
// crashing thread's, walked from the exception's context) into `report`.
// `minidump_name` is the dump's bare file name, or null when there is none.
void WriteCrashReport(const CrashRequest& request, HANDLE report, const wchar_t* minidump_name);

// Deletes the crash sets beyond the newest ones kept from the logs directory.
void PruneCrashFiles();

#endif  // VELMO_DIAGNOSTICS_CRASH_FILES_H_
