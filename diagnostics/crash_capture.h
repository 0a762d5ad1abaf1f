#ifndef VELMO_DIAGNOSTICS_CRASH_CAPTURE_H_
#define VELMO_DIAGNOSTICS_CRASH_CAPTURE_H_

#include <windows.h>

#include <cstdint>

// Chooses the logs directory, deletes all but the newest crash sets in it,
// starts the crash writer and installs the unhandled-exception filter and the
// runtime's pure-call and invalid-parameter handlers, then logs
// "crash_logging_installed ...". The first thing the process does.
void InstallCrashCapture();

// Has the crash writer write a text report and a minidump into the logs
// directory, then lets the system's default handling end the process (always
// EXCEPTION_CONTINUE_SEARCH).
LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* exception_pointers);

// Logs "pure_virtual_call" and raises the non-continuable exception
// 0xE0000001, which ends in OnUnhandledException.
void __cdecl OnPureCall();

// Logs the runtime's report of an invalid parameter; the program goes on.
void __cdecl OnInvalidParameter(const wchar_t* expression, const wchar_t* function,
                                const wchar_t* file, unsigned int line, std::uintptr_t reserved);

inline constexpr DWORD kPureCallExceptionCode = 0xE0000001;

#endif  // VELMO_DIAGNOSTICS_CRASH_CAPTURE_H_
