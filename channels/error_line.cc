#include "channels/error_line.h"

#include <cstdio>
#include <new>
#include <string>

namespace flutter {

void WriteErrorLine(std::initializer_list<std::string_view> parts) noexcept {
  try {
    std::string line;
    for (std::string_view part : parts) line.append(part);
    line.push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stderr);
  } catch (const std::bad_alloc&) {
    // No memory for the joined line: the pieces are better than nothing.
    for (std::string_view part : parts) std::fwrite(part.data(), 1, part.size(), stderr);
    std::fputc('\n', stderr);
  }
  std::fflush(stderr);
}

void WriteErrorLine(std::string_view text) noexcept { WriteErrorLine({text}); }

}  // namespace flutter
