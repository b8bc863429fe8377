#include "setup/Platform_win32.h"

#include <windows.h>

#include <string>

#include "common/win32.h"
#include "setup/SetupGlobals.h"

namespace {
std::function<TPlatformFacts()>& Override() {
  static std::function<TPlatformFacts()> facts;
  return facts;
}
}  // namespace

TPlatformFacts GetPlatformFacts() {
  if (Override()) return Override()();
  TPlatformFacts facts;
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (GetVersionExW(&info)) {
#pragma GCC diagnostic pop
    facts.IsWindows9x = info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
    facts.BuildNumber = info.dwBuildNumber;
  }
  return facts;
}

void SetPlatformFactsOverride(std::function<TPlatformFacts()> facts) { Override() = std::move(facts); }

namespace {
HWND messageOwner = nullptr;

bool OfThisProcess(HWND window) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  return pid == GetCurrentProcessId();
}

// A window that can carry a box: ours, still there and shown. A disabled one is only fit when
// it is the active window (a box over a box, a modal form's owner never is).
bool Usable(HWND window) { return window && IsWindow(window) && IsWindowVisible(window) && OfThisProcess(window); }

// The first shown, enabled top-level window of the thread in the z-order: what the person
// works in when the program is not the foreground application.
HWND TopWindowOfThread(DWORD thread, HWND except) {
  struct TSearch {
    DWORD Thread;
    HWND Except;
    HWND Found;
  } search{thread, except, nullptr};
  EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<TSearch*>(param);
        if (window == s->Except || GetWindowThreadProcessId(window, nullptr) != s->Thread) return TRUE;
        if (!IsWindowVisible(window) || !IsWindowEnabled(window)) return TRUE;
        s->Found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

}  // namespace

void SetMessageOwner(HWND window) { messageOwner = window; }

HWND MessageBoxOwner() {
  // The background window lives on the thread of every window; a box asked for by a worker
  // goes above the window that thread has active.
  HWND background = messageOwner != nullptr && IsWindow(messageOwner) ? messageOwner : nullptr;
  HWND active = GetActiveWindow();
  if (!Usable(active)) {
    const DWORD uiThread = background ? GetWindowThreadProcessId(background, nullptr) : GetCurrentThreadId();
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    active = GetGUIThreadInfo(uiThread, &info) ? info.hwndActive : nullptr;
    if (!Usable(active)) active = TopWindowOfThread(uiThread, background);
  }
  if (Usable(active)) return GetAncestor(active, GA_ROOT);
  return background;
}

int Win32MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  // Owned by the window the person works in: the box shows above it (also above a window
  // that is always on top) and that window takes no input until the box is answered. A
  // box given a destroyed owner fails and answers nothing: such a box has no owner.
  HWND owner = MessageBoxOwner();
  if (owner && (GetWindowLongPtrW(owner, GWL_EXSTYLE) & WS_EX_TOPMOST)) flags |= MB_TOPMOST;
  // A worker's box comes to the front too: its thread has no window the system would activate.
  if (owner && GetWindowThreadProcessId(owner, nullptr) != GetCurrentThreadId()) flags |= MB_SETFOREGROUND;
  return MessageBoxW(owner, win32::Wide(text).c_str(), win32::Wide(caption).c_str(), flags);
}
