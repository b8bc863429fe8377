// The one wrapper around every window, dialog and timer procedure of the user interface. A
// C++ exception must never unwind through the system's frames that call a procedure: 64-bit
// Windows may swallow it there or end the process. Each procedure runs its body through
// GuardedCall, which catches everything, hands it to the application's exception handler
// (or, while there is none, logs it) and answers a fixed result instead.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <string>
#include <utility>

#include "common/errors.h"
#include "common/win32.h"
#include "setup/SetupGlobals.h"

namespace ui {

// The application's handler of an exception that escaped a handler on the main thread: it
// gets the exception's class name and message ("Exception" for the standard library's
// exceptions). The background window installs one for the message loop's lifetime.
using ApplicationExceptionHandler =
    std::function<void(const std::string& className, const std::string& message)>;

inline ApplicationExceptionHandler& InstalledExceptionHandler() {
  static ApplicationExceptionHandler handler;
  return handler;
}

// Installs a handler (an empty one removes it) and answers the previous one.
inline ApplicationExceptionHandler SetApplicationExceptionHandler(ApplicationExceptionHandler handler) {
  ApplicationExceptionHandler previous = std::move(InstalledExceptionHandler());
  InstalledExceptionHandler() = std::move(handler);
  return previous;
}

// Class name and message of a caught exception.
inline std::pair<std::string, std::string> ExceptionParts(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const Exception& e) {
    return {e.ClassName(), e.Message()};
  } catch (const std::exception& e) {
    return {"Exception", e.what()};
  } catch (...) {
    return {"Exception", "unknown exception"};
  }
}

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

// Gives an exception that reached a procedure to the application's handler, or logs it
// when none is installed. Whatever the handler itself throws is logged and goes no further.
inline void HandleWindowException(const char* where, std::exception_ptr error) noexcept {
  try {
    // A copy: the handler may be replaced while it runs (its box runs a message loop).
    const ApplicationExceptionHandler handler = InstalledExceptionHandler();
    if (handler) {
      const auto [className, message] = ExceptionParts(error);
      handler(className, message);
      return;
    }
  } catch (...) {
    LogWindowException(where, std::current_exception());
    return;
  }
  LogWindowException(where, error);
}

// Runs body(); an exception that escapes it goes to HandleWindowException and `failed` is
// answered instead.
template <typename Result, typename Body>
Result GuardedCall(const char* where, Result failed, Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    HandleWindowException(where, std::current_exception());
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
