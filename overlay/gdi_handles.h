#ifndef VELMO_OVERLAY_GDI_HANDLES_H_
#define VELMO_OVERLAY_GDI_HANDLES_H_

#include <windows.h>

#include <cstdint>

// The screen's device context, released when it goes.
class ScreenDc {
 public:
  ScreenDc() : dc_(GetDC(nullptr)) {}
  ~ScreenDc() {
    if (dc_ != nullptr) ReleaseDC(nullptr, dc_);
  }
  ScreenDc(const ScreenDc&) = delete;
  ScreenDc& operator=(const ScreenDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

// A memory device context compatible with `dc`.
class MemoryDc {
 public:
  explicit MemoryDc(HDC dc) : dc_(CreateCompatibleDC(dc)) {}
  ~MemoryDc() {
    if (dc_ != nullptr) DeleteDC(dc_);
  }
  MemoryDc(const MemoryDc&) = delete;
  MemoryDc& operator=(const MemoryDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

// An owned GDI bitmap.
class GdiBitmap {
 public:
  explicit GdiBitmap(HBITMAP bitmap) : bitmap_(bitmap) {}
  ~GdiBitmap() {
    if (bitmap_ != nullptr) DeleteObject(bitmap_);
  }
  GdiBitmap(const GdiBitmap&) = delete;
  GdiBitmap& operator=(const GdiBitmap&) = delete;
  HBITMAP get() const { return bitmap_; }

 private:
  HBITMAP bitmap_;
};

// Selects an object into a device context and restores the previous one.
class ScopedSelection {
 public:
  ScopedSelection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  ~ScopedSelection() {
    if (previous_ != nullptr) SelectObject(dc_, previous_);
  }
  ScopedSelection(const ScopedSelection&) = delete;
  ScopedSelection& operator=(const ScopedSelection&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// A top-down 32-bit DIB section selected into its own memory device context,
// kept from frame to frame while the size stays.
class DibSurface {
 public:
  DibSurface(HDC screen, int width, int height) : dc_(screen), width_(width), height_(height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap_ != nullptr && dc_.get() != nullptr) {
      pixels_ = static_cast<uint32_t*>(bits);
      previous_ = SelectObject(dc_.get(), bitmap_);
    }
  }
  ~DibSurface() {
    if (previous_ != nullptr) SelectObject(dc_.get(), previous_);
    if (bitmap_ != nullptr) DeleteObject(bitmap_);
  }
  DibSurface(const DibSurface&) = delete;
  DibSurface& operator=(const DibSurface&) = delete;
  HDC dc() const { return dc_.get(); }
  uint32_t* pixels() const { return pixels_; }
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  MemoryDc dc_;
  int width_;
  int height_;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ previous_ = nullptr;
  uint32_t* pixels_ = nullptr;
};

#endif  // VELMO_OVERLAY_GDI_HANDLES_H_
