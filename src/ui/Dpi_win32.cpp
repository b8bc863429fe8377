#include "ui/Dpi_win32.h"

namespace ui {

namespace {

// The DPI the system's metrics are given in.
UINT ScreenDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : kDesignDpi;
}

}  // namespace

UINT MonitorDpi(HMONITOR monitor) {
  // shcore.dll exists from Windows 8.1 on; an older system has one DPI for every monitor.
  using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  static const GetDpiForMonitorFn getDpiForMonitor = [] {
    HMODULE shcore = LoadLibraryExW(L"shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return shcore ? reinterpret_cast<GetDpiForMonitorFn>(
                        reinterpret_cast<void*>(GetProcAddress(shcore, "GetDpiForMonitor")))
                  : nullptr;
  }();
  UINT x = 0, y = 0;
  constexpr int kEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI
  if (monitor && getDpiForMonitor && SUCCEEDED(getDpiForMonitor(monitor, kEffectiveDpi, &x, &y)) &&
      y > 0) {
    return y;
  }
  return ScreenDpi();
}

HFONT CreateDialogFont(UINT dpi) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  LOGFONTW font{};
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
    font = metrics.lfMessageFont;
    font.lfHeight = MulDiv(font.lfHeight, static_cast<int>(dpi), static_cast<int>(ScreenDpi()));
  } else {
    font.lfHeight = -MulDiv(9, static_cast<int>(dpi), 72);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(font.lfFaceName, L"Segoe UI", LF_FACESIZE);
  }
  return CreateFontIndirectW(&font);
}

void TDpiLayout::Add(HWND control, const RECT& design, HFONT* font) {
  if (control) entries_.push_back({control, design, font});
}

void TDpiLayout::Apply(UINT dpi) const {
  for (const TEntry& entry : entries_) {
    if (!IsWindow(entry.control)) continue;
    const RECT& r = entry.design;
    const int left = Scale(r.left, dpi), top = Scale(r.top, dpi);
    SetWindowPos(entry.control, nullptr, left, top, Scale(r.right, dpi) - left, Scale(r.bottom, dpi) - top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    if (entry.font && *entry.font) SendMessageW(entry.control, WM_SETFONT, reinterpret_cast<WPARAM>(*entry.font), TRUE);
  }
}

UINT TakeSuggestedRect(HWND window, WPARAM wParam, LPARAM lParam) {
  const UINT dpi = HIWORD(wParam) ? HIWORD(wParam) : kDesignDpi;
  if (const auto* suggested = reinterpret_cast<const RECT*>(lParam)) {
    SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                 suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  return dpi;
}

}  // namespace ui
