// The start-up sequence of setup.exe: file names, the log, the command line, the install
// description and the language; then the windows (through the platform), and the restart
// when the install engine asked for it.
#pragma once

#include <functional>
#include <string>
#include <vector>

// What start-up needs from the machine. The product fills it with the Win32 operations of
// InstTool; tests replace single members.
struct TStartupPlatform {
  std::vector<std::string> Params;  // the program's parameters
  std::function<std::string()> GetTempDirectory;
  std::function<std::string()> GetCurrentDirectory;
  std::function<void()> ClearUninstallMark;
  std::function<void()> RemoveContinueLink;
  std::function<bool(const std::string&, const std::string&)> SameTextLocale;
  // Creates the windows and runs the message loop until the application ends.
  std::function<void()> RunApplication;
  std::function<void()> RebootWindows;
};

// Runs start-up to the end (the log and the description are freed when it returns).
void RunStartup(const TStartupPlatform& platform);
