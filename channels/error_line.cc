#include "channels/error_line.h"

#include <cstdio>
#include <string>

namespace flutter {

void WriteErrorLine(std::string_view text) {
  std::string line(text);
  line.push_back('\n');
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace flutter
