#ifndef VELMO_CHANNELS_ENGINE_ERROR_LINE_H_
#define VELMO_CHANNELS_ENGINE_ERROR_LINE_H_

#include <exception>
#include <string_view>

#include "channels/error_line.h"

namespace flutter {

// Reports an exception stopped at a boundary the engine calls through:
// `where` names the callback, the exception's text follows when it has one.
void ReportEscapedException(std::string_view where, std::exception_ptr error);

}  // namespace flutter

#endif  // VELMO_CHANNELS_ENGINE_ERROR_LINE_H_
