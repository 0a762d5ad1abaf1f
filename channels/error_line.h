#ifndef VELMO_CHANNELS_ERROR_LINE_H_
#define VELMO_CHANNELS_ERROR_LINE_H_

#include <initializer_list>
#include <string_view>

namespace flutter {

// Writes the parts and a line end to the standard error stream in one write
// and flushes it. Results may be answered from any thread, so the runtime's
// diagnostics must never be assembled on the stream piece by piece. Never
// throws: it also reports from destructors and after allocation failures.
void WriteErrorLine(std::initializer_list<std::string_view> parts) noexcept;
void WriteErrorLine(std::string_view text) noexcept;

}  // namespace flutter

#endif  // VELMO_CHANNELS_ERROR_LINE_H_
