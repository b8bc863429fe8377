#include "ui/Modal_win32.h"

#include <vector>

#include "ui/Dpi_win32.h"

namespace ui {

namespace {

struct DisabledWindows {
  HWND form;
  std::vector<HWND> windows;
};

BOOL CALLBACK DisableOne(HWND window, LPARAM data) {
  auto* disabled = reinterpret_cast<DisabledWindows*>(data);
  if (window != disabled->form && IsWindowVisible(window) && IsWindowEnabled(window)) {
    EnableWindow(window, FALSE);
    disabled->windows.push_back(window);
  }
  return TRUE;
}

}  // namespace

int RunModal(HWND form, int& result) {
  result = mrNone;
  DisabledWindows disabled{form, {}};
  EnumThreadWindows(GetCurrentThreadId(), DisableOne, reinterpret_cast<LPARAM>(&disabled));
  ShowWindow(form, SW_SHOWNORMAL);
  SetForegroundWindow(form);
  MSG message;
  while (result == mrNone && IsWindow(form)) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) {
      PostQuitMessage(static_cast<int>(message.wParam));
      result = mrCancel;
      break;
    }
    if (got < 0) {
      result = mrCancel;
      break;
    }
    if (!IsDialogMessageW(form, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  // The other windows first, so that activation goes back to one of them.
  for (HWND window : disabled.windows) {
    if (IsWindow(window)) EnableWindow(window, TRUE);
  }
  if (IsWindow(form)) ShowWindow(form, SW_HIDE);
  return result;
}

UINT CentreOnScreen(HWND window, int clientWidth, int clientHeight) {
  HMONITOR monitor = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  GetMonitorInfoW(monitor, &info);
  const UINT dpi = MonitorDpi(monitor);
  const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
  const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
  RECT frame{0, 0, Scale(clientWidth, dpi), Scale(clientHeight, dpi)};
  AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  const int x = info.rcMonitor.left + (info.rcMonitor.right - info.rcMonitor.left - width) / 2;
  const int y = info.rcMonitor.top + (info.rcMonitor.bottom - info.rcMonitor.top - height) / 2;
  SetWindowPos(window, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  return dpi;
}

}  // namespace ui
