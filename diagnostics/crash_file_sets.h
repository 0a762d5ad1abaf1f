#ifndef VELMO_DIAGNOSTICS_CRASH_FILE_SETS_H_
#define VELMO_DIAGNOSTICS_CRASH_FILE_SETS_H_

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Every crash leaves one set of files sharing a name: the report ".txt" and
// the minidump ".dmp". Start-up keeps the newest sets and deletes the rest,
// so a program that crashes at every start cannot fill the disk.

inline constexpr std::size_t kCrashSetsKept = 10;

// What a crash file's name says; only names this program gives are parsed.
struct CrashFileName {
  // "YYYYMMDD-hhmmss": local time, so names of one clock sort by age.
  std::wstring_view stamp;
  // 1 for the plain name, N for the "-N" a later crash in the same second got.
  unsigned attempt = 1;
};

// "crash-" + stamp + optional "-N" (N from 2) + ".txt" or ".dmp"; anything
// else is not a crash file and is never deleted.
std::optional<CrashFileName> ParseCrashFileName(std::wstring_view name);

// The names among `names` (bare file names of a logs directory) that belong
// to crash sets older than the newest `sets_to_keep`, both files of a set
// together.
std::vector<std::wstring> CrashFilesToPrune(std::span<const std::wstring> names,
                                            std::size_t sets_to_keep);

#endif  // VELMO_DIAGNOSTICS_CRASH_FILE_SETS_H_
