#ifndef VELMO_CHANNELS_ERROR_LINE_H_
#define VELMO_CHANNELS_ERROR_LINE_H_

#include <string_view>

namespace flutter {

// Writes `text` and a line end to the standard error stream in one write and
// flushes it. Results may be answered from any thread, so the runtime's
// diagnostics must never be assembled on the stream piece by piece.
void WriteErrorLine(std::string_view text);

}  // namespace flutter

#endif  // VELMO_CHANNELS_ERROR_LINE_H_
