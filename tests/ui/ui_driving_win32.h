// Driving the program's windows as a person would, for the user-interface tests: reading a
// window's text, letting the thread's messages run, and clicking a control.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>

#include "common/win32.h"

namespace uitest {

inline std::string Text(HWND window) {
  std::wstring buffer(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  buffer.resize(static_cast<size_t>(GetWindowTextW(window, buffer.data(), static_cast<int>(buffer.size()))));
  return win32::Narrow(buffer);
}

// Dispatches the thread's messages until `done` or two seconds have passed; answers `done`.
inline bool PumpUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (std::chrono::steady_clock::now() < deadline) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (done()) return true;
    Sleep(5);
  }
  return done();
}

// Dispatches what is queued now.
inline void PumpPending() {
  PumpUntil([] {
    MSG message;
    return !PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
  });
}

// A person's click in the middle of a control's client area.
inline void Click(HWND control) {
  RECT r{};
  GetClientRect(control, &r);
  const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(control, WM_LBUTTONUP, 0, at);
}

}  // namespace uitest
