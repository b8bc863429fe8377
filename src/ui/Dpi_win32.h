// Sizes of the forms are designed at 96 DPI and scaled to the monitor's DPI; their text uses
// the system's dialog font (the message font of the non-client metrics) at that DPI.
#pragma once

#include <windows.h>

#include <vector>

namespace ui {

constexpr UINT kDesignDpi = 96;

// The DPI of a monitor (GetDpiForMonitor where the system has it, else the screen's).
UINT MonitorDpi(HMONITOR monitor);
inline int Scale(int designPixels, UINT dpi) {
  return MulDiv(designPixels, static_cast<int>(dpi), static_cast<int>(kDesignDpi));
}
// The dialog font for a DPI; the caller deletes it with DeleteObject.
HFONT CreateDialogFont(UINT dpi);

// The controls of a form with their rectangles at 96 DPI (client coordinates of their
// parents), so that the form can place them again when it moves to a monitor of another DPI
// (WM_DPICHANGED). Each control names the form's slot of its font: the form makes new fonts
// for the new DPI, and Apply hands every control the one now in its slot.
class TDpiLayout {
 public:
  // `font` may be null: the control keeps the font it has.
  void Add(HWND control, const RECT& design, HFONT* font);
  // Places every control at its rectangle scaled to `dpi`, with the font of its slot.
  void Apply(UINT dpi) const;
  void Clear() { entries_.clear(); }

 private:
  struct TEntry {
    HWND control;
    RECT design;
    HFONT* font;
  };
  std::vector<TEntry> entries_;
};

// The new DPI of WM_DPICHANGED, after the window has taken the rectangle the system
// suggests for it (in screen coordinates, at the new DPI).
UINT TakeSuggestedRect(HWND window, WPARAM wParam, LPARAM lParam);

}  // namespace ui
