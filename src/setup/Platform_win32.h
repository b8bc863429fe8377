// Facts about the running Windows, replaceable so that the Windows 9x paths can be tested.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

struct TPlatformFacts {
  bool IsWindows9x = false;  // the 95 family (VER_PLATFORM_WIN32_WINDOWS)
  unsigned BuildNumber = 0;
};

TPlatformFacts GetPlatformFacts();
// Replaces the facts (tests); an empty function restores the real ones.
void SetPlatformFactsOverride(std::function<TPlatformFacts()> facts);

// RebootWindows with the final call replaced: it enables the shutdown privilege (on the NT
// family) and hands the flags and reason to `exitWindows` instead of ExitWindowsEx. Tests
// see what would be asked for without restarting anything.
using ExitWindowsFunction = std::function<void(unsigned flags, unsigned long reason)>;
void RebootWindowsWith(const ExitWindowsFunction& exitWindows);

// The real message box (wide API). Its owner is the window the person works in when it
// opens: the active window of the calling thread, else the one of the windows' thread (a
// worker's boxes), else the first shown and enabled window of that thread; the background
// window, which names itself when it is created (and nullptr when it is destroyed), when
// there is none. The owner takes no input while the box is open, and the box shows above
// it, above a window that is always on top too. A window that no longer exists owns nothing.
void SetMessageOwner(HWND window);
HWND MessageBoxOwner();
int Win32MessageBox(const std::string& text, const std::string& caption, unsigned flags);

// The first call of every program that runs elevated: from here on a library loaded by name
// comes from the system directory only (not from the program's directory, where a file
// beside setup.exe in a downloads folder would be taken, nor from the current directory or
// the Path), and SearchPath looks in the current directory last.
void HardenLibrarySearch();
// A library of Windows by its name, from the system directory only.
HMODULE LoadSystemLibrary(const wchar_t* name);
// A library by its full path; what it needs itself comes from its own directory and the
// system directory, never from the Path.
HMODULE LoadLibraryFromPath(const std::string& fullPath);
// The system directory (System32), without a trailing backslash.
std::string SystemDirectory();

// One installer at a time on the machine: takes the machine-wide lock that every setup.exe
// holds for its whole run and keeps it until the process ends. False when another process
// holds it (or has made it so that we cannot take it). A lock left by a process that died
// is taken over: the recovery of what that run left is then ours.
bool AcquireRunLock();
// True when another process holds the lock just now (it is not kept).
bool RunLockHeldByOther();
// The lock's name, for tests that hold it themselves.
extern const wchar_t* const kRunLockName;
