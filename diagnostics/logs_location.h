#ifndef VELMO_DIAGNOSTICS_LOGS_LOCATION_H_
#define VELMO_DIAGNOSTICS_LOGS_LOCATION_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Path buffers handed to the shell and module-name queries hold this many
// UTF-16 units; a result of this length or more counts as truncated.
inline constexpr std::size_t kPathBufferUnits = 260;

inline constexpr std::wstring_view kVelmoFolderName = L"Velmo";
inline constexpr std::wstring_view kLogsFolderName = L"logs";
inline constexpr std::wstring_view kWriteTestFileName = L".velmo_write_test";
inline constexpr std::wstring_view kAppLogFileName = L"app.log";
// The one older generation a large app.log is moved to at start-up.
inline constexpr std::wstring_view kPreviousAppLogFileName = L"app.1.log";
inline constexpr std::uint64_t kAppLogRotationBytes = 4ull * 1024 * 1024;

// Whether an app.log of this size is moved aside before this process logs.
bool AppLogNeedsRotation(std::uint64_t size_bytes);

// The write-test file's name for one process: two processes choosing the
// directory at the same moment must not refuse each other's unshared probe.
std::wstring WriteTestFileName(unsigned long process_id);

// The folder the fall-back logs directory goes into, from the executable path
// the module-name query returned (`length` is its result): the path cut at its
// last separator, or "." when the query failed, was truncated or gave no
// folder part.
std::wstring ExecutableFolder(std::wstring_view module_path, std::size_t length);

// `directory` + "\" + `name`.
std::wstring JoinPath(std::wstring_view directory, std::wstring_view name);

#endif  // VELMO_DIAGNOSTICS_LOGS_LOCATION_H_
