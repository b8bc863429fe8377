// The machine facts and actions of the engine that a test must not take from the real
// system: the Windows directory (the uninstaller is copied there) and running a program to
// its end. The product uses the real ones; tests replace them.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct TEngineMachine {
  std::function<std::string()> WindowsDirectory;
  // Starts program + " " + arguments with the window show state and waits for its end;
  // false when it could not be started.
  std::function<bool(const std::string& program, const std::string& arguments, int show)>
      RunAndWait;

  // The members below mean the real thing while they are empty.
  // The drive of the Windows 9x startup file ("c:": autoexec.bat and its backup there).
  std::function<std::string()> StartupFileDrive = {};
  // The duplicate-file form, on the main thread: shows the message and answers 1 (go on and
  // do not warn again), 6 (go on) or 2 (abort the installation).
  std::function<int(const std::string& message)> ShowSearchForm = {};
  // The directory selection dialog, on the main thread: true with the chosen directory,
  // false when the user cancelled.
  std::function<bool(std::string& directory)> SelectDirectory = {};
  // The programs that hold a file open, as the system can tell (the restart manager);
  // empty when it cannot.
  std::function<std::vector<std::string>(const std::string& path)> ProgramsHoldingFile = {};
};

// The engine's machine; starts with the real functions.
TEngineMachine& EngineMachine();

// The real RunAndWait: the command line (cut to 255 characters) started with normal
// priority, waited for without a time limit, both handles closed.
bool RunAndWaitReal(const std::string& program, const std::string& arguments, int show);

// The registry records of an installation that other steps and the wizard read.
// "Path" of the product key ("" with a logged line when the key cannot be opened).
std::string ReadInstalledPath();
// Writes HKEY_CURRENT_USER\SOFTWARE\ZTKUNINSTALL "SystemName" after a removal.
void MarkUninstalled();
