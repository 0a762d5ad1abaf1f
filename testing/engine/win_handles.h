#ifndef VELMO_TESTING_ENGINE_WIN_HANDLES_H_
#define VELMO_TESTING_ENGINE_WIN_HANDLES_H_

#include <windows.h>

#include <memory>
#include <string>
#include <type_traits>

namespace substitute_engine {

struct WindowDestroyer {
  void operator()(HWND window) const { DestroyWindow(window); }
};
using UniqueWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDestroyer>;

struct HandleCloser {
  void operator()(HANDLE handle) const {
    if (handle != INVALID_HANDLE_VALUE) {
      CloseHandle(handle);
    }
  }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

struct GdiObjectDeleter {
  void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
using UniqueBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDeleter>;
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiObjectDeleter>;
using UniqueBrush = std::unique_ptr<std::remove_pointer_t<HBRUSH>, GdiObjectDeleter>;

struct MemoryDcDeleter {
  void operator()(HDC dc) const { DeleteDC(dc); }
};
using UniqueMemoryDc = std::unique_ptr<std::remove_pointer_t<HDC>, MemoryDcDeleter>;

// Selects an object into a device context for one scope.
class ScopedSelect {
 public:
  ScopedSelect(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  ~ScopedSelect() { SelectObject(dc_, previous_); }
  ScopedSelect(const ScopedSelect&) = delete;
  ScopedSelect& operator=(const ScopedSelect&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// A window class of this library, registered for as long as the object lives.
class WindowClass {
 public:
  WindowClass(const wchar_t* name, WNDPROC procedure);
  ~WindowClass();
  WindowClass(const WindowClass&) = delete;
  WindowClass& operator=(const WindowClass&) = delete;
  const wchar_t* name() const { return name_; }

 private:
  const wchar_t* name_;
};

// The module this library was loaded as (its window classes belong to it).
HINSTANCE ThisModule();

// UTF-16 to UTF-8; empty for an empty or unconvertible text.
std::string Utf8FromWide(const wchar_t* text, int length);

// UTF-8 to UTF-16; empty for an empty or unconvertible text.
std::wstring WideFromUtf8(const std::string& text);

}  // namespace substitute_engine

#endif  // VELMO_TESTING_ENGINE_WIN_HANDLES_H_
