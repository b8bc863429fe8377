// A real window whose handlers throw, for the tests of what happens to exceptions that
// escape a window procedure.
#pragma once

#include <windows.h>

#include <stdexcept>

#include "common/errors.h"
#include "ui/WindowProc_win32.h"

namespace uitest {

// Messages that make the window throw our exception, a standard one, something else, or
// answer 1234.
constexpr UINT kThrowOwn = WM_APP + 1, kThrowStd = WM_APP + 2, kThrowOther = WM_APP + 3,
               kAnswer = WM_APP + 4;

class ThrowingWindow {
 public:
  static constexpr const char* kWindowName = "ThrowingWindow";
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case kThrowOwn:
        throw EInOutError("Disk is gone");
      case kThrowStd:
        throw std::runtime_error("bad state");
      case kThrowOther:
        throw 42;
      case kAnswer:
        return 1234;
      default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
  }
};

// The window, created on construction and destroyed with the holder.
struct ThrowingWindowHolder {
  ThrowingWindowHolder() {
    ui::RegisterFormClass<ThrowingWindow>(GetModuleHandleW(nullptr), L"ZtkThrowingWindow",
                                          "the throwing window");
    window = CreateWindowExW(0, L"ZtkThrowingWindow", L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                             nullptr, GetModuleHandleW(nullptr), &owner);
  }
  ~ThrowingWindowHolder() {
    if (IsWindow(window)) DestroyWindow(window);
  }
  ThrowingWindow owner;
  HWND window = nullptr;
};

}  // namespace uitest
