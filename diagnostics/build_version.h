#ifndef VELMO_DIAGNOSTICS_BUILD_VERSION_H_
#define VELMO_DIAGNOSTICS_BUILD_VERSION_H_

#include <string_view>

// The version text of this build, the same text as the executable's version
// resource.
std::string_view BuildVersionText();

#endif  // VELMO_DIAGNOSTICS_BUILD_VERSION_H_
