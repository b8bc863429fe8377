#include "setup/Startup.h"

#include <memory>

#include "common/errors.h"
#include "common/osfile.h"
#include "description/InstIDF.h"
#include "setup/InstTool.h"
#include "setup/Messages.h"
#include "setup/SetupGlobals.h"

namespace {

std::string WithTrailingBackslash(std::string path) {
  if (path.empty() || !os::IsPathSeparator(path.back())) path += '\\';
  return path;
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

  platform.ClearUninstallMark();

  // An empty argument (setup.exe "") names nothing: a run with only such arguments is a run
  // without any, not a continuation run with an empty file name.
  std::vector<std::string> params;
  for (const std::string& param : platform.Params) {
    if (!param.empty()) params.push_back(param);
  }
  g.ContinueAfterRestart = false;
  if (!params.empty()) {
    std::string commandLine = GetCommandLineText(params);
    if (platform.SameTextLocale(commandLine, "UNINSTALL")) {
      g.UninstallRequested = true;
    } else {
      try {
        platform.RemoveContinueLink();
      } catch (...) {
        // The continuation link may be gone already; the run goes on without it.
      }
      g.ContinueAfterRestart = true;
      g.DescriptionFileName = commandLine;
      g.Log->WriteLine(" command line parameter : " + g.DescriptionFileName);
    }
  }

  if (!os::FileExists(g.DescriptionFileName)) {
    ShowBilingualMessage(g.DescriptionFileName + " не найден",
                         g.DescriptionFileName + " does not exist", g.MessageCaption, kErrorBox);
    return;
  }

  g.Description = new TIDFTextFile();
  if (!g.Description->LoadFromFile(g.DescriptionFileName)) {
    ShowBilingualMessage("неверный формат файла " + g.DescriptionFileName,
                         "Invalid file format " + g.DescriptionFileName, g.MessageCaption,
                         kErrorBox);
    return;
  }

  g.IsEnglish = ReadIsEnglish(g.Description);
  platform.RunApplication();
  if (g.RebootRequired) platform.RebootWindows();
}

}  // namespace

void RunStartup(const TStartupPlatform& platform) {
  SetupGlobals.DescriptionFileName = "setup.idf";
  SetupGlobals.LicenceFileName = "licence.txt";
  SetupGlobals.UninstallInfoFileName = "uninst.inf";
  try {
    RunGuarded(platform);
  } catch (const std::exception& e) {
    // Class name and message in a plain task-modal box: no icon, and the empty title that
    // every box of the program has.
    ShowMessageBox(DescribeException(e), SetupGlobals.MessageCaption, mb::kTaskModal);
  }
}
