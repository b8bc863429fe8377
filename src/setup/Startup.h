// The start-up sequence of setup.exe: file names, the log, the command line, the install
// description and the language; then the windows (through the platform), and the restart
// when the install engine asked for it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "setup/Switches.h"

// What start-up needs from the machine. The product fills it with the Win32 operations of
// InstTool; tests replace single members.
struct TStartupPlatform {
  std::vector<std::string> Params;  // the program's parameters
  // The command line as the system hands it over (the program's name first), for the
  // switches of an unattended run; empty: no switches are looked for.
  std::string RawCommandLine;
  std::function<std::string()> GetTempDirectory;
  std::function<std::string()> GetCurrentDirectory;
  std::function<void()> ClearUninstallMark;
  std::function<void()> RemoveContinueLink;
  std::function<bool(const std::string&, const std::string&)> SameTextLocale;
  // Creates the windows and runs the message loop until the application ends.
  std::function<void()> RunApplication;
  std::function<void()> RebootWindows;
  // The run without a person (/S): decides everything from the switches, runs the engine and
  // answers the process's exit code.
  std::function<int(const TSwitches&)> RunUnattended;
  // Rolls back what runs that died (a killed process, a lost power) left half done; with
  // `notify`, a person is told.
  std::function<void(bool notify)> RecoverAbandonedRuns;
  // Takes the machine-wide lock of one installer at a time for the rest of the process;
  // false when another installer holds it. Empty: no lock (tests).
  std::function<bool()> AcquireRunLock;
  // A line for the console the program was started from, when there is one.
  std::function<void(const std::string&)> WriteConsole;
};

// The process's exit codes.
namespace exitcode {
constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kAborted = 2;
constexpr int kBadInput = 3;     // bad command line, unknown subsystem, description missing or bad
constexpr int kNothingToDo = 4;  // removal or add/delete asked for with nothing installed
constexpr int kRefused = 5;      // an existing directory without /FORCE, a disk root
constexpr int kRestartNeeded = 3010;
}  // namespace exitcode

// What a second installer says while another one runs.
extern const char* const kAnotherRunRussian;
extern const char* const kAnotherRunEnglish;

// Runs start-up to the end (the log and the description are freed when it returns) and
// answers the process's exit code: SetupGlobals.ExitCode as the application left it, or
// kBadInput when the command line or the description stopped the run before it.
int RunStartup(const TStartupPlatform& platform);
