#ifndef VELMO_DIAGNOSTICS_SCOPED_FILE_HANDLE_H_
#define VELMO_DIAGNOSTICS_SCOPED_FILE_HANDLE_H_

#include <windows.h>

// Owns a file handle from CreateFileW and closes it once.
class ScopedFileHandle {
 public:
  explicit ScopedFileHandle(HANDLE handle) noexcept : handle_(handle) {}
  ~ScopedFileHandle() { Close(); }

  ScopedFileHandle(const ScopedFileHandle&) = delete;
  ScopedFileHandle& operator=(const ScopedFileHandle&) = delete;

  bool valid() const noexcept { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE get() const noexcept { return handle_; }

  void Close() noexcept {
    if (valid()) {
      ::CloseHandle(handle_);
    }
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_;
};

#endif  // VELMO_DIAGNOSTICS_SCOPED_FILE_HANDLE_H_
