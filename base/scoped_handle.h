#ifndef VELMO_BASE_SCOPED_HANDLE_H_
#define VELMO_BASE_SCOPED_HANDLE_H_

#ifdef _WIN32
#include <windows.h>
#endif

// The one owner of a system handle: closed once, by `Traits::Close`, when the
// owner goes or is given another. `Traits` names the `Handle` type, the value
// that holds nothing (`Invalid`), and which values hold something
// (`IsValid`), so kinds with two "nothing" values (a file's
// INVALID_HANDLE_VALUE and null) need no wrapper of their own.
template <typename Traits>
class ScopedHandle {
 public:
  using Handle = typename Traits::Handle;

  ScopedHandle() noexcept = default;
  explicit ScopedHandle(Handle handle) noexcept : handle_(handle) {}
  ~ScopedHandle() { reset(); }

  ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.release()) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;

  bool valid() const noexcept { return Traits::IsValid(handle_); }
  Handle get() const noexcept { return handle_; }
  Handle release() noexcept {
    const Handle handle = handle_;
    handle_ = Traits::Invalid();
    return handle;
  }
  void reset(Handle handle = Traits::Invalid()) noexcept {
    if (valid()) Traits::Close(handle_);
    handle_ = handle;
  }

 private:
  Handle handle_ = Traits::Invalid();
};

#ifdef _WIN32
// Files, events, threads and the other handles CloseHandle closes.
struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() noexcept { return nullptr; }
  static bool IsValid(Handle handle) noexcept {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
  }
  static void Close(Handle handle) noexcept { ::CloseHandle(handle); }
};
using ScopedKernelHandle = ScopedHandle<KernelHandleTraits>;
#endif

#endif  // VELMO_BASE_SCOPED_HANDLE_H_
