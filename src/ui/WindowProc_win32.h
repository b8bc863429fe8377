// The one wrapper around every window, dialog and timer procedure of the user interface. A
// C++ exception must never unwind through the system's frames that call a procedure: 64-bit
// Windows may swallow it there or end the process. Each procedure runs its body through
// GuardedCall, which catches everything, logs it, and answers a fixed result instead.
#pragma once

#include <windows.h>

#include <exception>
#include <string>
#include <utility>

#include "common/errors.h"
#include "common/win32.h"
#include "setup/SetupGlobals.h"

namespace ui {

// The log line of an exception that reached a procedure: where, then "class name: message".
inline void LogWindowException(const char* where, std::exception_ptr error) noexcept {
  try {
    std::string what;
    try {
      std::rethrow_exception(error);
    } catch (const Exception& e) {
      what = std::string(e.ClassName()) + ": " + e.Message();
    } catch (const std::exception& e) {
      what = std::string("Exception: ") + e.what();
    } catch (...) {
      what = "unknown exception";
    }
    WriteLog(std::string(" exception in ") + where + ": " + what);
  } catch (...) {
    // Not even the log line could be made (out of memory): nothing more to do here.
  }
}

// Runs body(); an exception that escapes it is logged and `failed` is answered instead.
template <typename Result, typename Body>
Result GuardedCall(const char* where, Result failed, Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    LogWindowException(where, std::current_exception());
    return failed;
  }
}

// A window procedure made of a member handler: the window's object is kept in
// GWLP_USERDATA from WM_NCCREATE on (CreateWindowExW's last argument), and every message
// goes to Owner::HandleMessage under GuardedCall. Messages before WM_NCCREATE and after the
// object let go of its window go to DefWindowProcW.
template <typename Owner>
LRESULT CALLBACK MemberWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* owner = reinterpret_cast<Owner*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!owner) return DefWindowProcW(window, message, wParam, lParam);
  const LRESULT result = GuardedCall<LRESULT>(Owner::kWindowName, 0, [&] {
    return owner->HandleMessage(window, message, wParam, lParam);
  });
  if (message == WM_NCDESTROY) SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  return result;
}

// Registers the window class of a form whose messages go to Owner::HandleMessage (once per
// process); raises Exception naming the form when the system refuses.
template <typename Owner>
void RegisterFormClass(HINSTANCE instance, const wchar_t* className, const char* formName) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof(existing);
  if (GetClassInfoExW(instance, className, &existing)) return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = MemberWindowProc<Owner>;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = className;
  if (!RegisterClassExW(&wc)) {
    throw Exception(std::string("Cannot register ") + formName + ": " +
                    win32::ErrorText(GetLastError()));
  }
}

}  // namespace ui
