// Starting the real programs (setup.exe, ztkuinst.exe) as processes of their own and waiting
// for them, for the tests that use them from outside as an administrator or a person would.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "common/win32.h"

namespace proctest {

struct TProcessResult {
  bool Started = false;
  bool Finished = false;  // false: it was still running at the time limit and was killed
  DWORD ExitCode = 0;
};

// A path of the Linux build tree as the Windows programs see it.
inline std::string WindowsPath(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path.size() > 1 && path[1] == ':' ? path : "Z:" + path;
}

// Runs `commandLine` in `directory` and waits up to `limitMs`. `whileRunning`, when given, is
// called every 50 ms with the process id (a test answers windows from there).
inline TProcessResult RunProcess(const std::string& commandLine, const std::string& directory,
                                 DWORD limitMs = 60000,
                                 const std::function<void(DWORD processId)>& whileRunning = {}) {
  TProcessResult result;
  std::wstring line = win32::Wide(commandLine);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      win32::Wide(directory).c_str(), &si, &pi)) {
    return result;
  }
  result.Started = true;
  win32::Handle process(pi.hProcess), thread(pi.hThread);
  for (DWORD waited = 0; waited < limitMs; waited += 50) {
    if (WaitForSingleObject(pi.hProcess, 50) == WAIT_OBJECT_0) {
      result.Finished = true;
      break;
    }
    if (whileRunning) whileRunning(pi.dwProcessId);
  }
  if (!result.Finished) {
    TerminateProcess(pi.hProcess, 1);
    WaitForSingleObject(pi.hProcess, 5000);
  }
  GetExitCodeProcess(pi.hProcess, &result.ExitCode);
  return result;
}

// The first visible top-level window of the process with this class name (nullptr: none).
inline HWND FindProcessWindow(DWORD processId, const wchar_t* className) {
  struct TSearch {
    DWORD ProcessId;
    const wchar_t* ClassName;
    HWND Found;
  } search{processId, className, nullptr};
  EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<TSearch*>(param);
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        wchar_t cls[64] = {};
        GetClassNameW(window, cls, 64);
        if (pid == s->ProcessId && lstrcmpW(cls, s->ClassName) == 0 && IsWindowVisible(window)) {
          s->Found = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

}  // namespace proctest
