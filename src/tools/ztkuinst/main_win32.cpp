// ztkuinst.exe: the entry of the uninstaller (see Uninstaller.h).
#include <windows.h>

#include <string>

#include "common/CanonicalPath.h"
#include "common/errors.h"
#include "common/osfile.h"
#include "common/text.h"
#include "common/win32.h"
#include "description/InstIDF.h"
#include "engine/DirTree.h"
#include "engine/EnginePaths.h"
#include "setup/InstTool.h"
#include "setup/Messages.h"
#include "setup/Platform_win32.h"
#include "setup/ProductKeys_win32.h"
#include "setup/SetupGlobals.h"
#include "setup/Startup.h"
#include "tools/ztkuinst/PrivateCopy_win32.h"
#include "tools/ztkuinst/Uninstaller.h"

namespace {

std::string DirectoryOf(const std::string& path) {
  const std::size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? std::string(".") : path.substr(0, cut);
}

// Runs the setup copy in its own directory (it reads setup.idf from the current directory)
// and waits for it; its exit code, or -1 when it could not be started. The program is the
// application name, by its full path.
int RunSetup(const std::string& program, const std::string& arguments) {
  const std::wstring application = win32::Wide(program);
  std::wstring commandLine = L"\"" + application + L"\"";
  if (!arguments.empty()) commandLine += L" " + win32::Wide(arguments);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  const std::wstring directory = win32::Wide(DirectoryOf(program));
  if (!CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                      nullptr, directory.c_str(), &startup, &process))
    return -1;
  win32::Handle processHandle(process.hProcess), threadHandle(process.hThread);
  WaitForSingleObject(processHandle.get(), INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(processHandle.get(), &code);
  return static_cast<int>(code);
}

// The product's name as the setup program registers it ("System name" of the description).
std::string SystemNameOf(const TIDFTextFile& description) {
  const TIDFSection* params = description.FindSection("Params");
  const TIDFParam* name = params ? params->FindParam("System name") : nullptr;
  return name ? std::string(text::TrimControl(name->Value)) : std::string();
}

int Run(const uninst::TRequest& request) {
  uninst::TPlan plan;
  std::string error;
  if (!uninst::ReadPlan(request, plan, error)) {
    ShowBilingualMessage("Ошибка деинсталляции: " + error, "Uninstallation failed: " + error,
                         SetupGlobals.MessageCaption, kErrorBox);
    return uninst::kBadRequest;
  }
  // The copy would refuse to run anyway; nothing is copied while another installer works.
  if (RunLockHeldByOther()) {
    ShowBilingualMessage(kAnotherRunRussian, kAnotherRunEnglish, SetupGlobals.MessageCaption,
                         kErrorBox);
    return exitcode::kFailed;
  }
  const std::string installedDescription = DirectoryOf(plan.SetupFile) + "\\setup.idf";
  TIDFTextFile description;
  const bool haveDescription = description.LoadFromFile(installedDescription);
  if (haveDescription) SetupGlobals.IsEnglish = ReadIsEnglish(&description);

  // The copy runs with our rights: it is made where nobody else can write, and it is what
  // is installed, checked before it starts and held unchangeable until it ends.
  uninst::TPrivateDirectory temp;
  win32::FileHandle heldSetup, heldDescription;
  std::string reason;
  bool ready = temp.Create(uninst::PrivateTempRoot(), reason);
  const std::string copy = temp.Path() + "\\setup.exe";
  ready = ready && uninst::CopyVerified(plan.SetupFile, copy, heldSetup, reason);
  ready = ready && (!haveDescription ||
                    uninst::CopyVerified(installedDescription, temp.Path() + "\\setup.idf",
                                         heldDescription, reason));
  if (!ready) {
    reason = plan.SetupFile + ": " + reason;
    ShowBilingualMessage("Не могу запустить программу установки " + reason,
                         "Cannot start the setup program " + reason, SetupGlobals.MessageCaption,
                         kErrorBox);
    return uninst::kBadRequest;
  }
  // Read before the setup copy removes the product's key: the one directory that may go.
  std::string recorded;
  productkeys::Open(HKEY_LOCAL_MACHINE, productkeys::kProduct, false).ReadString("Path", recorded);
  const int result = RunSetup(copy, plan.Arguments);
  heldSetup.reset();
  heldDescription.reset();

  // Only a product that really was removed loses its entry and its leftovers, and only
  // while no other installer runs: one that started after the copy ended may be installing
  // the product again.
  if (result != -1 && AcquireRunLock() &&
      !productkeys::Exists(HKEY_LOCAL_MACHINE, productkeys::kProduct)) {
    const std::string name = haveDescription ? SystemNameOf(description) : std::string();
    if (!name.empty()) productkeys::Delete(HKEY_LOCAL_MACHINE, productkeys::kUninstallBase + name);
    for (const std::string& directory : uninst::RemovableDirectories(
             plan.Directories, recorded, CanonicalPath,
             [](const std::string& dir) { return bool(RefusedInstallDirectory(dir)); }, WriteLog)) {
      if (os::DirectoryExists(directory)) DeleteDirTree(directory, false);
    }
  }
  return result == -1 ? uninst::kBadRequest : result;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Before anything can load a library.
  HardenLibrarySearch();
  const uninst::TRequest request = uninst::ParseParams(GetProgramParams());
  // Without /S the person sees the boxes; with it they go to standard error unanswered.
  if (!request.Silent) SetMessageBoxHandler(Win32MessageBox);
  try {
    return Run(request);
  } catch (const std::exception& e) {
    ShowMessageBox(DescribeException(e), "", mb::kIconError | mb::kTaskModal);
    return uninst::kBadRequest;
  }
}
