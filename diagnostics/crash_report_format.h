#ifndef VELMO_DIAGNOSTICS_CRASH_REPORT_FORMAT_H_
#define VELMO_DIAGNOSTICS_CRASH_REPORT_FORMAT_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "diagnostics/time_stamp.h"

// Every formatter here writes NUL-terminated text into a caller's fixed buffer
// and returns its length without the NUL, or 0 when it does not fit (the
// buffer then holds an empty string). The crash path must not allocate.

inline constexpr std::size_t kCrashHeaderBufferBytes = 2048;
inline constexpr std::size_t kLogLineBufferBytes = 512;
inline constexpr std::size_t kCrashFileNameUnits = 64;
inline constexpr std::uint32_t kAccessViolationCode = 0xC0000005;
inline constexpr unsigned kMaxStackFrames = 32;

// Values of one unhandled exception as the report header shows them.
struct CrashHeader {
  StampTime time;
  unsigned long process_id = 0;
  unsigned long thread_id = 0;
  std::uint32_t exception_code = 0;
  std::uint32_t exception_flags = 0;
  std::uint64_t exception_address = 0;
  std::uint32_t number_parameters = 0;
  // The dump's bare file name; empty when there is none.
  std::wstring_view minidump_name;
  std::wstring_view logs_directory;
  std::string_view version;
};

// Encodes UTF-16 (or, where wchar_t is wider, UTF-32) as UTF-8; a lone
// surrogate becomes U+FFFD. Paths may hold any character, and the report and
// the log are 8-bit text. Unlike the formatters it keeps as many whole
// characters as fit.
std::size_t EncodeUtf8(std::wstring_view text, std::span<char> out);

// The report header, "=== VELMO crash ===" through "version=...", each line
// ending in CR LF.
std::size_t FormatCrashHeader(const CrashHeader& header, std::span<char> out);

// True when the report carries the access-violation line.
bool HasAccessViolationLine(std::uint32_t exception_code, std::uint32_t number_parameters);

// "read" (0), "write" (1) or "dep" (anything else).
std::string_view AccessViolationOp(std::uint64_t operation);

std::size_t FormatAccessViolationLine(std::uint64_t operation, std::uint64_t address,
                                      std::span<char> out);

// "  [NN] 0x<16 hex digits>\r\n".
std::size_t FormatStackLine(unsigned index, std::uint64_t return_address, std::span<char> out);

// "crash-" + stamp + extension for the first file of a second, then with
// "-2", "-3", ... before the extension, so a second crash in the same second
// keeps the first one's files.
std::size_t FormatCrashFileName(std::wstring_view stamp, unsigned attempt,
                                std::wstring_view extension, std::span<wchar_t> out);

// "invalid_parameter file=... function=... line=N expr=..." with "?" for each
// missing text.
std::size_t FormatInvalidParameterLine(const wchar_t* expression, const wchar_t* function,
                                       const wchar_t* file, unsigned line, std::span<char> out);

// "crash_logging_installed logs_chars=N", or "... logs_unavailable" when no
// logs directory could be chosen.
std::size_t FormatCrashLoggingInstalledLine(std::wstring_view logs_directory, std::span<char> out);

#endif  // VELMO_DIAGNOSTICS_CRASH_REPORT_FORMAT_H_
