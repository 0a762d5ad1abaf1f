#ifndef VELMO_DESKTOP_SHELL_FRAME_ATTRIBUTE_WRITER_H_
#define VELMO_DESKTOP_SHELL_FRAME_ATTRIBUTE_WRITER_H_

#include <windows.h>

#include <cstdint>

// Sets one 4-byte frame attribute of a window. The real writer goes to the
// desktop window manager; tests record the values instead, since not every
// system acts on them (and Wine may ignore them altogether).
class FrameAttributeWriter {
 public:
  virtual ~FrameAttributeWriter() = default;
  virtual HRESULT Write(HWND window, uint32_t attribute, uint32_t value) = 0;
};

class DwmFrameAttributeWriter : public FrameAttributeWriter {
 public:
  // The process-wide writer every window uses unless given another.
  static DwmFrameAttributeWriter& Instance();

  HRESULT Write(HWND window, uint32_t attribute, uint32_t value) override;
};

// Writes the theme's attributes in order, ignoring their results, then
// repaints the frame at once.
void PaintFrameTheme(HWND window, bool dark, FrameAttributeWriter& writer);

#endif  // VELMO_DESKTOP_SHELL_FRAME_ATTRIBUTE_WRITER_H_
