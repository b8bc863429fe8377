// setup.exe: the program entry.
#include <windows.h>

#include "common/osfile.h"
#include "engine/MainThread.h"
#include "engine/ProgramGroup_win32.h"
#include "setup/InstTool.h"
#include "setup/Messages.h"
#include "setup/Platform_win32.h"
#include "setup/Startup.h"
#include "ui/EngineForms_win32.h"

namespace {

void RunApplication() {
  // The background window and the wizard are created here and the message loop runs until
  // the application ends.
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  SetMessageBoxHandler(Win32MessageBox);
  mainthread::Init();
  // The engine's duplicate-file warning and directory dialog are the user interface's forms.
  InstallEngineForms();
  // COM for the main thread, where every shell link is made and deleted; from here on, so
  // that start-up can remove the continuation link. Released when the program ends.
  TShellLinkModule shellLinks;
  TStartupPlatform platform;
  platform.Params = GetProgramParams();
  platform.GetTempDirectory = GetTempDirectory;
  platform.GetCurrentDirectory = [] { return os::CurrentDirectory(); };
  platform.ClearUninstallMark = ClearUninstallMark;
  platform.RemoveContinueLink = RemoveContinueLink;
  platform.SameTextLocale = SameTextLocale;
  platform.RunApplication = RunApplication;
  platform.RebootWindows = RebootWindows;
  RunStartup(platform);
  return 0;
}
