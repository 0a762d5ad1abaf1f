#ifndef VELMO_DIAGNOSTICS_SCOPED_FILE_HANDLE_H_
#define VELMO_DIAGNOSTICS_SCOPED_FILE_HANDLE_H_

#include "base/scoped_handle.h"

// A file handle from CreateFileW, closed once.
using ScopedFileHandle = ScopedKernelHandle;

#endif  // VELMO_DIAGNOSTICS_SCOPED_FILE_HANDLE_H_
