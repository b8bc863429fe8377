#include "setup/Startup.h"

#include <memory>

#include "common/errors.h"
#include "common/osfile.h"
#include "description/InstIDF.h"
#include "setup/InstTool.h"
#include "setup/Messages.h"
#include "setup/SetupGlobals.h"

const char* const kAnotherRunRussian =
    "Уже работает другая программа установки. Дождитесь её завершения и запустите "
    "установку снова.";
const char* const kAnotherRunEnglish =
    "Another setup program is already running. Wait until it has finished and start the "
    "setup again.";

namespace {

std::string WithTrailingBackslash(std::string path) {
  if (path.empty() || !os::IsPathSeparator(path.back())) path += '\\';
  return path;
}

// The language of a description that is not loaded yet. The run's own load comes later and
// writes its line to the log; this look leaves none.
bool PeekIsEnglish(const std::string& fileName) {
  struct TLogAside {
    std::unique_ptr<TLogFile> log = std::move(SetupGlobals.Log);
    ~TLogAside() { SetupGlobals.Log = std::move(log); }
  } aside;
  if (!os::FileExists(fileName)) return false;
  TIDFTextFile description;
  return description.LoadFromFile(fileName) && ReadIsEnglish(&description);
}

// Steps 2 to 10, run under the outermost guard.
void RunGuarded(const TStartupPlatform& platform) {
  TSetupGlobals& g = SetupGlobals;
  g.TempDir = platform.GetTempDirectory();
  g.StartDir = platform.GetCurrentDirectory();

  // Whatever happens below, the log goes last and the description before it.
  struct Cleanup {
    ~Cleanup() {
      delete SetupGlobals.Description;
      SetupGlobals.Description = nullptr;
      SetupGlobals.Log.reset();
    }
  } cleanup;

  g.Log = std::make_unique<TLogFile>();
  g.Log->SetFileName(WithTrailingBackslash(g.TempDir) + "ztkinst.log");
  g.Log->WriteHeader = false;
  g.Log->WriteLine("");
  g.Log->WriteLine("");

  // The unattended switches come out first; a command line that is refused changes nothing.
  const TCommandLine commandLine = ParseCommandLine(platform.RawCommandLine, platform.Params);
  if (!commandLine.Error.empty()) {
    g.Log->WriteLine(" bad command line: " + commandLine.Error);
    if (platform.WriteConsole) platform.WriteConsole("setup: bad command line: " + commandLine.Error);
    g.ExitCode = exitcode::kBadInput;
    return;
  }
  const TSwitches& switches = commandLine.Switches;
  if (switches.Silent) {
    g.Unattended = true;
    SetMessageBoxHandler(UnattendedMessageBox);
    g.Log->WriteLine(" unattended run");
  }

  // Two installers at once would undo each other's work, and the recovery below would roll
  // back the journal of a run that is still alive: nothing happens without the lock.
  if (platform.AcquireRunLock && !platform.AcquireRunLock()) {
    g.IsEnglish = PeekIsEnglish(g.DescriptionFileName);
    ShowBilingualMessage(kAnotherRunRussian, kAnotherRunEnglish, g.MessageCaption, kErrorBox);
    g.IsEnglish = false;
    g.ExitCode = exitcode::kFailed;
    return;
  }

  // An empty argument (setup.exe "") names nothing: a run with only such arguments is a run
  // without any, not a continuation run with an empty file name.
  std::vector<std::string> params;
  for (const std::string& param : commandLine.Params) {
    if (!param.empty()) params.push_back(param);
  }
  const std::string paramsText = GetCommandLineText(params);
  const bool uninstall = !params.empty() && platform.SameTextLocale(paramsText, "UNINSTALL");

  if (platform.RecoverAbandonedRuns) {
    const bool notify = !g.Unattended;
    // The notice about an abandoned run comes before the description is loaded; it speaks
    // the description's language all the same.
    if (notify) g.IsEnglish = PeekIsEnglish(params.empty() || uninstall ? g.DescriptionFileName : paramsText);
    platform.RecoverAbandonedRuns(notify);
    g.IsEnglish = false;
  }
  platform.ClearUninstallMark();

  g.ContinueAfterRestart = false;
  if (!params.empty()) {
    if (uninstall) {
      g.UninstallRequested = true;
    } else {
      try {
        platform.RemoveContinueLink();
      } catch (...) {
        // The continuation link may be gone already; the run goes on without it.
      }
      g.ContinueAfterRestart = true;
      g.DescriptionFileName = paramsText;
      g.Log->WriteLine(" command line parameter : " + g.DescriptionFileName);
    }
  }

  if (!os::FileExists(g.DescriptionFileName)) {
    ShowBilingualMessage(g.DescriptionFileName + " не найден",
                         g.DescriptionFileName + " does not exist", g.MessageCaption, kErrorBox);
    g.ExitCode = exitcode::kBadInput;
    return;
  }

  g.Description = new TIDFTextFile();
  if (!g.Description->LoadFromFile(g.DescriptionFileName)) {
    ShowBilingualMessage("неверный формат файла " + g.DescriptionFileName,
                         "Invalid file format " + g.DescriptionFileName, g.MessageCaption,
                         kErrorBox);
    g.ExitCode = exitcode::kBadInput;
    return;
  }

  g.IsEnglish = ReadIsEnglish(g.Description);
  if (g.Unattended) {
    // An unattended run never restarts the machine itself: it says so in its exit code.
    g.ExitCode = platform.RunUnattended(switches);
    if (g.RebootRequired) {
      g.Log->WriteLine(" a restart finishes the work; the machine is not restarted unattended");
      g.ExitCode = exitcode::kRestartNeeded;
    }
    return;
  }
  platform.RunApplication();
  if (g.RebootRequired) platform.RebootWindows();
}

}  // namespace

int RunStartup(const TStartupPlatform& platform) {
  SetupGlobals.ExitCode = exitcode::kDone;
  SetupGlobals.Unattended = false;
  SetupGlobals.DescriptionFileName = "setup.idf";
  SetupGlobals.LicenceFileName = "licence.txt";
  SetupGlobals.UninstallInfoFileName = "uninst.inf";
  try {
    RunGuarded(platform);
  } catch (const std::exception& e) {
    // Class name and message in a plain task-modal box: no icon, and the empty title that
    // every box of the program has.
    ShowMessageBox(DescribeException(e), SetupGlobals.MessageCaption, mb::kTaskModal);
    SetupGlobals.ExitCode = exitcode::kFailed;
  }
  return SetupGlobals.ExitCode;
}
