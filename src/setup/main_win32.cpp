// setup.exe: the program entry.
#include <windows.h>

#include "common/osfile.h"
#include "setup/InstTool.h"
#include "setup/Messages.h"
#include "setup/Platform_win32.h"
#include "setup/Startup.h"

namespace {

void RunApplication() {
  // The background window and the wizard are created here and the message loop runs until
  // the application ends.
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  SetMessageBoxHandler(Win32MessageBox);
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
