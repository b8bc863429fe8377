// Sizes of the forms are designed at 96 DPI and scaled to the monitor's DPI; their text uses
// the system's dialog font (the message font of the non-client metrics) at that DPI.
#pragma once

#include <windows.h>

namespace ui {

constexpr UINT kDesignDpi = 96;

// The DPI of a monitor (GetDpiForMonitor where the system has it, else the screen's).
UINT MonitorDpi(HMONITOR monitor);
inline int Scale(int designPixels, UINT dpi) {
  return MulDiv(designPixels, static_cast<int>(dpi), static_cast<int>(kDesignDpi));
}
// The dialog font for a DPI; the caller deletes it with DeleteObject.
HFONT CreateDialogFont(UINT dpi);

}  // namespace ui
