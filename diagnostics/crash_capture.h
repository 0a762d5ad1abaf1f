#ifndef VELMO_DIAGNOSTICS_CRASH_CAPTURE_H_
#define VELMO_DIAGNOSTICS_CRASH_CAPTURE_H_

#include <windows.h>

#include <cstdint>

// Chooses the logs directory and installs the unhandled-exception filter and
// the runtime's pure-call and invalid-parameter handlers, then logs
// "crash_logging_installed ...". The first thing the process does.
void InstallCrashCapture();

// Writes a minidump and a text report into the logs directory and lets the
// system's default handling end the process (always EXCEPTION_CONTINUE_SEARCH).
LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* exception_pointers);

// Logs "pure_virtual_call" and raises the non-continuable exception
// 0xE0000001, which ends in OnUnhandledException.
void __cdecl OnPureCall();

// Logs the runtime's report of an invalid parameter; the program goes on.
void __cdecl OnInvalidParameter(const wchar_t* expression, const wchar_t* function,
                                const wchar_t* file, unsigned int line, std::uintptr_t reserved);

// Writes "crash-<stamp>.txt": header, access-violation line, raw stack.
// `minidump_name` is the dump's bare file name, or null when there is none.
void WriteCrashReport(EXCEPTION_POINTERS* exception_pointers, const wchar_t* minidump_name);

inline constexpr DWORD kPureCallExceptionCode = 0xE0000001;

#endif  // VELMO_DIAGNOSTICS_CRASH_CAPTURE_H_
