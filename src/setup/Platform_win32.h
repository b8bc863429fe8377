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
