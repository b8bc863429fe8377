// setup.exe: the program entry.
#include <windows.h>

#include "common/osfile.h"
#include "common/win32.h"
#include "engine/Journal.h"
#include "engine/MainThread.h"
#include "engine/ProgramGroup_win32.h"
#include "setup/InstTool.h"
#include "setup/Messages.h"
#include "setup/Platform_win32.h"
#include "setup/Startup.h"
#include "ui/Application_win32.h"
#include "ui/EngineForms_win32.h"
#include "ui/Unattended_win32.h"

namespace {

// A line on the console the program was started from: standard error when it was handed
// one, else the parent's console window; nothing when there is neither.
void WriteConsoleLine(const std::string& line) {
  HANDLE out = GetStdHandle(STD_ERROR_HANDLE);
  bool attached = false;
  if (out == nullptr || out == INVALID_HANDLE_VALUE) {
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    attached = true;
    out = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                      nullptr);
    if (out == INVALID_HANDLE_VALUE) {
      FreeConsole();
      return;
    }
  }
  DWORD mode = 0, written = 0;
  if (GetConsoleMode(out, &mode)) {
    const std::wstring wide = win32::Wide(line + "\r\n");
    WriteConsoleW(out, wide.c_str(), static_cast<DWORD>(wide.size()), &written, nullptr);
  } else {
    const std::string bytes = line + "\r\n";
    WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  }
  if (attached) {
    CloseHandle(out);
    FreeConsole();
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Before anything can load a library.
  HardenLibrarySearch();
  SetMessageBoxHandler(Win32MessageBox);
  mainthread::Init();
  // The engine's duplicate-file warning and directory dialog are the user interface's forms.
  InstallEngineForms();
  // COM for the main thread, where every shell link is made and deleted; from here on, so
  // that start-up can remove the continuation link. Released when the program ends.
  TShellLinkModule shellLinks;
  TStartupPlatform platform;
  platform.Params = GetProgramParams();
  platform.RawCommandLine = win32::Narrow(GetCommandLineW());
  platform.RunUnattended = RunUnattended;
  platform.WriteConsole = WriteConsoleLine;
  platform.AcquireRunLock = AcquireRunLock;
  platform.RecoverAbandonedRuns = [](bool notify) { RecoverAbandonedRuns(notify); };
  platform.GetTempDirectory = GetTempDirectory;
  platform.GetCurrentDirectory = [] { return os::CurrentDirectory(); };
  platform.ClearUninstallMark = ClearUninstallMark;
  platform.RemoveContinueLink = RemoveContinueLink;
  platform.SameTextLocale = SameTextLocale;
  platform.RunApplication = ui::RunApplication;
  platform.RebootWindows = RebootWindows;
  return RunStartup(platform);
}
