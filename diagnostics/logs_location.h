#ifndef VELMO_DIAGNOSTICS_LOGS_LOCATION_H_
#define VELMO_DIAGNOSTICS_LOGS_LOCATION_H_

#include <cstddef>
#include <string>
#include <string_view>

// Path buffers handed to the shell and module-name queries hold this many
// UTF-16 units; a result of this length or more counts as truncated.
inline constexpr std::size_t kPathBufferUnits = 260;

inline constexpr std::wstring_view kVelmoFolderName = L"Velmo";
inline constexpr std::wstring_view kLogsFolderName = L"logs";
inline constexpr std::wstring_view kWriteTestFileName = L".velmo_write_test";
inline constexpr std::wstring_view kAppLogFileName = L"app.log";

// The folder the fall-back logs directory goes into, from the executable path
// the module-name query returned (`length` is its result): the path cut at its
// last separator, or "." when the query failed, was truncated or gave no
// folder part.
std::wstring ExecutableFolder(std::wstring_view module_path, std::size_t length);

// `directory` + "\" + `name`.
std::wstring JoinPath(std::wstring_view directory, std::wstring_view name);

#endif  // VELMO_DIAGNOSTICS_LOGS_LOCATION_H_
