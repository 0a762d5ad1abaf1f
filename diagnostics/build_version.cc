#include "diagnostics/build_version.h"

#ifndef VELMO_VERSION_TEXT
#error "The build defines VELMO_VERSION_TEXT"
#endif

std::string_view BuildVersionText() { return VELMO_VERSION_TEXT; }
