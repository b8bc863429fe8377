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
}  // namespace

void SetMessageOwner(HWND window) { messageOwner = window; }

int Win32MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  // A box given a destroyed owner fails and answers nothing: such a box has no owner.
  HWND owner = messageOwner != nullptr && IsWindow(messageOwner) ? messageOwner : nullptr;
  return MessageBoxW(owner, win32::Wide(text).c_str(), win32::Wide(caption).c_str(), flags);
}
