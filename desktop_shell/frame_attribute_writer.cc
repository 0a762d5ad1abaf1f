#include "desktop_shell/frame_attribute_writer.h"

#include <dwmapi.h>

#include "desktop_shell/frame_theme.h"

DwmFrameAttributeWriter& DwmFrameAttributeWriter::Instance() {
  static DwmFrameAttributeWriter writer;
  return writer;
}

HRESULT DwmFrameAttributeWriter::Write(HWND window, uint32_t attribute, uint32_t value) {
  DWORD payload = value;
  return DwmSetWindowAttribute(window, attribute, &payload, sizeof(payload));
}

void PaintFrameTheme(HWND window, bool dark, FrameAttributeWriter& writer) {
  // A system that does not know an attribute keeps its default for it; the
  // others still apply, so the results are not checked.
  for (const FrameAttribute& attribute : FrameThemeAttributes(dark)) {
    writer.Write(window, attribute.id, attribute.value);
  }
  RedrawWindow(window, nullptr, nullptr, RDW_FRAME | RDW_UPDATENOW | RDW_INVALIDATE);
}
