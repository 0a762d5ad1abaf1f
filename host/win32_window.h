#ifndef VELMO_HOST_WIN32_WINDOW_H_
#define VELMO_HOST_WIN32_WINDOW_H_

#include <windows.h>

#include <string>

#include "desktop_shell/frame_attribute_writer.h"

// A top-level window created at a size scaled for its monitor's DPI, which
// routes its messages to HandleWindowMessage and keeps one child window (the
// content) filling its client area.
class Win32Window {
 public:
  struct Point {
    int x;
    int y;
  };
  struct Size {
    int width;
    int height;
  };

  explicit Win32Window(FrameAttributeWriter& frame_writer = DwmFrameAttributeWriter::Instance());
  virtual ~Win32Window();

  Win32Window(const Win32Window&) = delete;
  Win32Window& operator=(const Win32Window&) = delete;

  // Creates the window hidden, replacing an earlier one. Origin and size are
  // logical pixels (96 DPI), scaled by the DPI of the monitor nearest to the
  // origin. False when the window or OnWindowCreated fails.
  bool CreateNativeWindow(const std::wstring& title, const Point& origin, const Size& size);

  bool ShowNormal();

  // Destroys the native window (if any) and, once no Win32Window is left,
  // unregisters the window class.
  void DestroyNative();

  void SetQuitWhenDestroyed(bool quit_when_destroyed);

  // Makes content a child of this window, filling the client area, and gives
  // it the focus. The content is not owned.
  void AttachContent(HWND content);

  HWND NativeHandle() const { return window_handle_; }
  RECT ClientArea() const;

  // Paints the frame dark or light and remembers the choice, also while no
  // native window exists.
  void ApplyFrameTheme(bool dark);

  static LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT message, WPARAM wparam,
                                          LPARAM lparam) noexcept;

  // Number of Win32Window objects alive in the process.
  static int LiveWindowCount();

 protected:
  virtual LRESULT HandleWindowMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  virtual bool OnWindowCreated();
  virtual void OnWindowDestroyed();

 private:
  bool quit_when_destroyed_ = false;
  bool dark_frame_ = true;
  HWND window_handle_ = nullptr;
  HWND child_content_ = nullptr;
  FrameAttributeWriter& frame_writer_;
};

#endif  // VELMO_HOST_WIN32_WINDOW_H_
