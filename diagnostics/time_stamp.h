#ifndef VELMO_DIAGNOSTICS_TIME_STAMP_H_
#define VELMO_DIAGNOSTICS_TIME_STAMP_H_

#include <cstddef>
#include <span>

// A local wall-clock time as the system reports it, field by field.
struct StampTime {
  unsigned year = 0;
  unsigned month = 0;
  unsigned day = 0;
  unsigned hour = 0;
  unsigned minute = 0;
  unsigned second = 0;
};

// Size of the buffer an app.log line stamp is formatted into.
inline constexpr std::size_t kLogStampBufferBytes = 64;

// Writes "YYYY-MM-DD hh:mm:ss " (the trailing space separates the stamp from
// the line's text) NUL-terminated into `out`. Returns the length without the
// NUL, or 0 when it does not fit.
std::size_t FormatLogStamp(const StampTime& time, std::span<char> out);

// Writes the crash file-name stamp "YYYYMMDD-hhmmss" NUL-terminated into
// `out`. Returns the length without the NUL, or 0 when it does not fit.
std::size_t FormatFileStamp(const StampTime& time, std::span<wchar_t> out);

#endif  // VELMO_DIAGNOSTICS_TIME_STAMP_H_
