// The registry records of an installation, the uninstall description and the entry in the
// Windows list of installed programs.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "common/errors.h"
#include "common/osfile.h"
#include "common/text.h"
#include "common/win32.h"
#include "description/InstIDF.h"
#include "description/InstList.h"
#include "engine/EngineMachine.h"
#include "engine/Journal.h"
#include "engine/Journal_win32.h"
#include "engine/ProgressThread.h"
#include "setup/Messages.h"
#include "setup/Platform_win32.h"
#include "setup/ProductKeys_win32.h"
#include "setup/SetupGlobals.h"

namespace {

std::string RealWindowsDirectory() {
  UINT n = GetWindowsDirectoryW(nullptr, 0);
  std::wstring buffer(n, L'\0');
  n = GetWindowsDirectoryW(buffer.data(), n);
  buffer.resize(n);
  return win32::Narrow(buffer);
}

bool IsFullPath(const std::string& path) {
  if (path.size() >= 3 && path[1] == ':' && os::IsPathSeparator(path[2])) return true;
  return path.size() >= 2 && os::IsPathSeparator(path[0]) && os::IsPathSeparator(path[1]);
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

// The system's registry tool by its full path: a "reg.exe" in the distribution directory or
// the current directory is never the one that runs.
std::string RegTool() { return SystemDirectory() + "\\reg.exe"; }

// The distribution's file, named by its full path rather than looked up in the current
// directory. "reg" of a 64-bit build would import into the 64-bit view; the product's records
// are in the 32-bit one, where a 32-bit build's import went.
std::string RegImportArguments() {
  std::string startDir = SetupGlobals.StartDir;
  if (startDir.empty() || !os::IsPathSeparator(startDir.back())) startDir += '\\';
  std::string args = "IMPORT " + Quoted(startDir + "OID_QMD_3.reg");
  if constexpr (sizeof(void*) == 8) args += " /reg:32";
  return args;
}

// The command the list of installed programs runs, its paths quoted so that a blank in the
// install directory cannot make Windows start another program ("C:\Program.exe").
std::string UninstallCommand(const std::string& windowsDir, const std::string& installDir,
                             bool quiet) {
  return Quoted(windowsDir + "\\ztkuinst.exe") + (quiet ? " /S " : " ") +
         Quoted(installDir + "\\uninst.idf");
}

// Kilobytes (rounded up) of every file below the directory; links are not followed.
std::uint64_t DirectorySizeKB(const std::string& directory) {
  std::uint64_t bytes = 0;
  std::vector<std::string> pending{directory};
  while (!pending.empty()) {
    const std::string dir = pending.back();
    pending.pop_back();
    for (const os::DirEntry& entry : os::ListDirectory(dir)) {
      const std::string path = dir + "\\" + entry.Name;
      if (entry.Attributes & os::kAttrReparsePoint) continue;
      if (entry.Attributes & os::kAttrDirectory) {
        pending.push_back(path);
      } else if (const std::int64_t size = os::GetFileSize(path); size > 0) {
        bytes += static_cast<std::uint64_t>(size);
      }
    }
  }
  return (bytes + 1023) / 1024;
}

std::string DescriptionParam(const char* name) {
  const TIDFTextFile* description = SetupGlobals.Description;
  const TIDFSection* params = description ? description->FindSection("Params") : nullptr;
  const TIDFParam* param = params ? params->FindParam(name) : nullptr;
  return param ? std::string(text::TrimControl(param->Value)) : std::string();
}

std::string UninstallEntryKey() { return productkeys::kUninstallBase + SetupGlobals.SystemName; }

// What the Windows list of installed programs shows besides the name and the command, and
// what administrators' tools read. Only what the description and the installation can say.
void WriteUninstallDetails(TWin32RegistryKey& key, const std::string& installDir,
                           const std::string& uninstallCommand) {
  if (const std::string company = DescriptionParam("Company Name"); !company.empty()) {
    key.WriteString("Publisher", company);
  }
  if (const std::string url = DescriptionParam("Company URL"); !url.empty()) {
    key.WriteString("URLInfoAbout", url);
  }
  key.WriteString("InstallLocation", installDir);
  key.WriteString("DisplayIcon", installDir + "\\EXE\\setup.exe");
  SYSTEMTIME now;
  GetLocalTime(&now);
  char date[16];
  std::snprintf(date, sizeof date, "%04u%02u%02u", now.wYear, now.wMonth, now.wDay);
  key.WriteString("InstallDate", date);
  key.WriteInteger("NoRepair", 1);
  key.WriteString("QuietUninstallString", uninstallCommand);
  key.WriteInteger("EstimatedSize", static_cast<std::uint32_t>(
                                        std::min<std::uint64_t>(DirectorySizeKB(installDir), 0xFFFFFFFF)));
}

}  // namespace

TEngineMachine& EngineMachine() {
  static TEngineMachine machine = [] {
    TEngineMachine real;
    real.WindowsDirectory = RealWindowsDirectory;
    real.RunAndWait = RunAndWaitReal;
    return real;
  }();
  return machine;
}

bool RunAndWaitReal(const std::string& program, const std::string& arguments, int show) {
  // Only a program named by its full path is started, and it is the application name, so
  // the command line cannot make another file run. The command line is not cut: a cut path
  // would hand the program another file.
  if (!IsFullPath(program)) {
    WriteLog(" not started, not a full path: " + program);
    return false;
  }
  const std::wstring application = win32::Wide(program);
  std::wstring wide = win32::Wide(Quoted(program) + " " + arguments);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(show);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(application.c_str(), wide.data(), nullptr, nullptr, FALSE,
                      NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &process))
    return false;
  win32::Handle processHandle(process.hProcess), threadHandle(process.hThread);
  WaitForSingleObject(processHandle.get(), INFINITE);
  return true;
}

std::string ReadInstalledPath() {
  TWin32RegistryKey key = productkeys::Open(HKEY_LOCAL_MACHINE, productkeys::kProduct, true);
  std::string path;
  if (!key.Opened()) {
    WriteLog(" ZTK path not found");
    return path;
  }
  key.ReadString("Path", path);
  return path;
}

void MarkUninstalled() {
  TWin32RegistryKey key =
      productkeys::Open(HKEY_CURRENT_USER, productkeys::kUninstallMark, true);
  if (key.Opened()) key.WriteString("SystemName", SetupGlobals.SystemName);
}

bool TProgressThread::WriteReg() {
  WriteLog(" IN function WRITEREG");
  bool result = true;
  SetProgressText("Изменение реестра", "Change registry");
  SetPercent(0);
  if (!Report()) return true;
  JournalKey(journal_.get(), HKEY_LOCAL_MACHINE, productkeys::kProduct, productkeys::kView);
  if (SetupGlobals.SetupType == 1 && productkeys::Exists(HKEY_LOCAL_MACHINE, productkeys::kProduct)) {
    productkeys::Delete(HKEY_LOCAL_MACHINE, productkeys::kProduct);
  }
  TWin32RegistryKey key = productkeys::Open(HKEY_LOCAL_MACHINE, productkeys::kProduct, true);
  if (!key.Opened()) {
    ShowBilingualMessage("Не могу изменить реестр! Возможно вы не имеете достаточных прав",
                         "error of change of the registry", SetupGlobals.MessageCaption,
                         kErrorBox);
    result = false;
  } else {
    key.WriteString("Path", state_.InstallDir);
    if (!Report(20)) return true;
    key.WriteString("Program Group", state_.ProgramGroup);
    key.WriteString("DestDir", os::CurrentDirectory());
    Report(40);
  }
  WriteLog(" OUT function WRITEREG");
  return result;
}

bool TProgressThread::RegisterComp() {
  WriteLog(" IN function REGISTERCOMP");
  JournalKey(journal_.get(), HKEY_LOCAL_MACHINE, productkeys::kSubSystems, productkeys::kView);
  {
    TWin32RegistryKey key =
        productkeys::Open(HKEY_LOCAL_MACHINE, productkeys::kSubSystems, true);
    if (key.Opened()) {
      if (!Report(40)) return true;
      state_.InstallTree->UpdateInstalledValues(key, 1);
      if (!Terminated()) Report(100);
    }
  }
  if (journal_) journal_->Note("the registry tool's import of OID_QMD_3.reg");
  EngineMachine().RunAndWait(RegTool(), RegImportArguments(), SW_HIDE);
  WriteLog(" OUT function REGISTERCOMP");
  return true;
}

bool TProgressThread::AddDelRegComp(bool adding) {
  WriteLog(" IN function ADDDELREGCOMP");
  SetProgressText("Изменение реестра", "Change of the registry");
  SetPercent(0);
  if (!Report()) return true;
  JournalKey(journal_.get(), HKEY_LOCAL_MACHINE, productkeys::kSubSystems, productkeys::kView);
  if (adding) {
    TWin32RegistryKey key =
        productkeys::Open(HKEY_LOCAL_MACHINE, productkeys::kSubSystems, true);
    WriteLog(" registering components in registry");
    state_.InstallTree->UpdateInstalledValues(key, 1);
    WriteLog(" registering components in registry successful");
    if (!Report(40)) return true;
  } else {
    TWin32RegistryKey key =
        productkeys::Open(HKEY_LOCAL_MACHINE, productkeys::kSubSystems, false);
    if (key.Opened()) {
      WriteLog(" unregistering components from registry");
      state_.DeleteTree->UpdateInstalledValues(key, 2);
      WriteLog(" unregistering components from registry successful");
      if (!Report(80)) return true;
    }
  }
  // The size the list of installed programs shows follows the change.
  if (SetupGlobals.RegisteredSetup) {
    TWin32RegistryKey entry = productkeys::Open(HKEY_LOCAL_MACHINE, UninstallEntryKey(), false);
    if (entry.Opened() && entry.ValueExists("EstimatedSize")) {
      JournalValue(journal_.get(), HKEY_LOCAL_MACHINE, UninstallEntryKey(), "EstimatedSize",
                   productkeys::kView);
      try {
        entry.WriteInteger("EstimatedSize", static_cast<std::uint32_t>(std::min<std::uint64_t>(
                                                DirectorySizeKB(state_.InstallDir), 0xFFFFFFFF)));
      } catch (const Exception& e) {
        WriteLog(std::string(" ") + e.ClassName() + " : " + e.Message());
      }
    }
  }
  if (!Terminated()) Report(100);
  WriteLog(" OUT function ADDDELREGCOMP");
  return true;
}

void TProgressThread::UninstallCopy() {
  WriteLog(" IN procedure UNINSTALLCOPY");
  const std::string windowsDir = EngineMachine().WindowsDirectory();
  const std::string& installDir = state_.InstallDir;
  const std::string& startDir = SetupGlobals.StartDir;
  const std::string uninstaller = "ztkuinst.exe";
  // Every copy below is recorded before it is made (nothing happens without a journal).
  const auto willWrite = [this](const std::string& path) {
    if (journal_) journal_->WillWriteFile(path);
  };
  if (!os::FileExists(windowsDir + "\\" + uninstaller)) {
    willWrite(windowsDir + "\\" + uninstaller);
    if (os::FileExists(installDir + "\\" + uninstaller)) {
      os::CopyFileTo(installDir + "\\" + uninstaller, windowsDir + "\\" + uninstaller, true);
    } else if (os::FileExists(startDir + "\\" + uninstaller)) {
      os::CopyFileTo(startDir + "\\" + uninstaller, windowsDir + "\\" + uninstaller, true);
    }
  }
  if (!os::FileExists(installDir + "\\EXE\\setup.exe")) {
    willWrite(installDir + "\\EXE\\setup.exe");
    os::CopyFileTo(startDir + "\\setup.exe", installDir + "\\EXE\\setup.exe", true);
  }
  if (!os::FileExists(installDir + "\\EXE\\setup.idf")) {
    willWrite(installDir + "\\EXE\\setup.idf");
    os::CopyFileTo(startDir + "\\setup.idf", installDir + "\\EXE\\setup.idf", true);
  }
  WriteUninstIdf();
  JournalKey(journal_.get(), HKEY_LOCAL_MACHINE, UninstallEntryKey(), productkeys::kView);
  TWin32RegistryKey key = productkeys::Open(HKEY_LOCAL_MACHINE, UninstallEntryKey(), true);
  if (key.Opened()) {
    key.WriteString("DisplayName", SetupGlobals.SystemName);
    key.WriteString("UnInstallString", UninstallCommand(windowsDir, installDir, false));
    try {
      WriteUninstallDetails(key, installDir, UninstallCommand(windowsDir, installDir, true));
    } catch (const Exception& e) {
      WriteLog(std::string(" ") + e.ClassName() + " : " + e.Message());
    }
  }
  WriteLog(" uninstall copy successful");
  WriteLog(" OUT procedure UNINSTALLCOPY");
}

void TProgressThread::WriteUninstIdf() {
  TIDFTextFile file;
  TIDFSection* uninstall = file.AddSection("Uninstall");
  uninstall->AddParam("FileName")->SetAsString(state_.InstallDir + "\\EXE\\Setup.exe");
  if (SetupGlobals.SetupType == 1) uninstall->AddParam("ParamStr")->SetAsString("UNINSTALL");
  file.AddSection("Directories")->AddParam(state_.InstallDir);
  if (journal_) journal_->WillWriteFile(state_.InstallDir + "\\uninst.idf");
  if (!file.SaveToFile(state_.InstallDir + "\\uninst.idf")) {
    WriteLog(" uninst.idf not written: " + os::LastErrorMessage());
  }
}

namespace {

// The product's entry in the list of installed programs goes with the product key: its
// command would find no uninst.idf and could never remove anything. A system name that
// would name the list itself (or another key above an entry) names no entry of ours.
void DeleteUninstallEntry(TJournal* journal) {
  const std::string& name = SetupGlobals.SystemName;
  if (text::TrimControl(name).empty() || name.find('\\') != std::string::npos) return;
  if (!productkeys::Exists(HKEY_LOCAL_MACHINE, UninstallEntryKey())) return;
  JournalKey(journal, HKEY_LOCAL_MACHINE, UninstallEntryKey(), productkeys::kView);
  if (productkeys::Delete(HKEY_LOCAL_MACHINE, UninstallEntryKey())) {
    WriteLog(" uninstall entry deleted");
  } else {
    WriteLog(" uninstall entry not deleted: " + UninstallEntryKey());
  }
}

}  // namespace

bool TProgressThread::ClearProductKey() {
  SetProgressText("Изменение реестра", "change of the registry");
  SetPercent(0);
  if (!Report()) return true;
  if (!productkeys::Exists(HKEY_LOCAL_MACHINE, productkeys::kProduct)) {
    DeleteUninstallEntry(journal_.get());
    return true;
  }
  if (productkeys::Delete(HKEY_LOCAL_MACHINE, productkeys::kProduct)) {
    DeleteUninstallEntry(journal_.get());
    if (!Report(100)) return true;
    WriteLog(" registry cleared successful");
    return true;
  }
  ShowBilingualMessage("Ошибка удаления данных из реестра",
                       "error of deleting of the data from registry", SetupGlobals.MessageCaption,
                       kErrorBox);
  return false;
}
