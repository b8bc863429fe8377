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
struct TTopWindowSearch {
  DWORD Thread;
  HWND Except;
  HWND Found;
};

BOOL CALLBACK FindTopWindow(HWND window, LPARAM param) {
  auto* s = reinterpret_cast<TTopWindowSearch*>(param);
  if (window == s->Except || GetWindowThreadProcessId(window, nullptr) != s->Thread) return TRUE;
  if (!IsWindowVisible(window) || !IsWindowEnabled(window)) return TRUE;
  s->Found = window;
  return FALSE;
}

HWND TopWindowOfThread(DWORD thread, HWND except) {
  TTopWindowSearch search{thread, except, nullptr};
  EnumWindows(FindTopWindow, reinterpret_cast<LPARAM>(&search));
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

namespace {

// Resolved at run time: Windows 7 without its loader update has none of these, and a static
// import of a missing function would keep the program from starting at all.
template <typename Function>
Function Kernel32(const char* name) {
  return reinterpret_cast<Function>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name)));
}

bool HasSearchFlags() {
  static const bool has = Kernel32<void*>("AddDllDirectory") != nullptr;
  return has;
}

}  // namespace

void HardenLibrarySearch() {
  using SetDefault = BOOL(WINAPI*)(DWORD);
  using SetMode = BOOL(WINAPI*)(DWORD);
  if (const auto setDefault = Kernel32<SetDefault>("SetDefaultDllDirectories")) {
    setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
  }
  // Takes the current directory out of the search of the older loaders as well.
  SetDllDirectoryW(L"");
  if (const auto setMode = Kernel32<SetMode>("SetSearchPathMode")) {
    setMode(BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE | BASE_SEARCH_PATH_PERMANENT);
  }
}

std::string SystemDirectory() {
  wchar_t buffer[MAX_PATH + 1];
  const UINT n = GetSystemDirectoryW(buffer, MAX_PATH + 1);
  if (n == 0 || n > MAX_PATH) return std::string();
  return win32::Narrow(std::wstring(buffer, n));
}

HMODULE LoadSystemLibrary(const wchar_t* name) {
  if (HasSearchFlags()) return LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  const std::string directory = SystemDirectory();
  if (directory.empty()) return nullptr;
  return LoadLibraryExW((win32::Wide(directory) + L"\\" + name).c_str(), nullptr,
                        LOAD_WITH_ALTERED_SEARCH_PATH);
}

HMODULE LoadLibraryFromPath(const std::string& fullPath) {
  const std::wstring path = win32::Wide(fullPath);
  if (HasSearchFlags()) {
    return LoadLibraryExW(path.c_str(), nullptr,
                          LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  }
  return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

const wchar_t* const kRunLockName = L"Global\\ZTKSetup.OneInstallerAtATime";

namespace {

// Owned by the thread that took it (the main thread) until the process ends.
HANDLE runLock = nullptr;

// Opens or creates the lock and waits for it without waiting: true when it is ours.
bool TakeLock(HANDLE& handle) {
  handle = CreateMutexW(nullptr, FALSE, kRunLockName);
  // Someone made the name ours cannot open (another user's object with a narrow access
  // list): we do not know that nobody installs, so we do not go on.
  if (!handle) return false;
  const DWORD wait = WaitForSingleObject(handle, 0);
  if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) return true;
  CloseHandle(handle);
  handle = nullptr;
  return false;
}

}  // namespace

bool AcquireRunLock() {
  if (runLock) return true;
  return TakeLock(runLock);
}

bool RunLockHeldByOther() {
  if (runLock) return false;
  HANDLE handle = nullptr;
  if (!TakeLock(handle)) return true;
  ReleaseMutex(handle);
  CloseHandle(handle);
  return false;
}
