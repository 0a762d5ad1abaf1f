#include "channels/engine/error_line.h"

#include <string>

namespace flutter {

void ReportEscapedException(std::string_view where, std::exception_ptr error) {
  std::string line = "Error: exception escaped the ";
  line.append(where);
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    line.append(": ");
    line.append(e.what());
  } catch (...) {
  }
  line.push_back('.');
  WriteErrorLine(line);
}

}  // namespace flutter
