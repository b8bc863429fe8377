// Files that other programs hold open. An entry whose target is held is asked about (Retry,
// Ignore, Cancel) or, in a run without a person, written beside the target and renamed over
// it at the next restart; a file of a removal that is held is deleted at the next restart.
// The machine is never restarted for this: the run ends saying that a restart finishes it.
#include <windows.h>
#include <restartmanager.h>

#include <set>

#include "common/osfile.h"
#include "common/win32.h"
#include "engine/EngineMachine.h"
#include "engine/Journal.h"
#include "engine/ProgressThread.h"
#include "engine/SetupUnZip.h"
#include "setup/Messages.h"
#include "setup/Platform_win32.h"
#include "setup/SetupGlobals.h"

namespace {

// Held so that it cannot be renamed over or deleted: an open without sharing the delete
// right fails for a sharing reason. Everything else (missing, no rights) is not "in use".
bool HeldByOther(const std::string& path) {
  HANDLE h = CreateFileW(win32::LongPath(path).c_str(), DELETE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
  }
  CloseHandle(h);
  return false;
}

// The restart manager's names of the programs holding the file (loaded at run time: older
// systems have none).
std::vector<std::string> RestartManagerHolders(const std::string& path) {
  std::vector<std::string> names;
  HMODULE rm = LoadSystemLibrary(L"rstrtmgr.dll");
  if (!rm) return names;
  using StartSession = DWORD(WINAPI*)(DWORD*, DWORD, WCHAR*);
  using EndSession = DWORD(WINAPI*)(DWORD);
  using Register = DWORD(WINAPI*)(DWORD, UINT, LPCWSTR*, UINT, RM_UNIQUE_PROCESS*, UINT, LPCWSTR*);
  using GetList = DWORD(WINAPI*)(DWORD, UINT*, UINT*, RM_PROCESS_INFO*, DWORD*);
  const auto start = reinterpret_cast<StartSession>(reinterpret_cast<void*>(GetProcAddress(rm, "RmStartSession")));
  const auto end = reinterpret_cast<EndSession>(reinterpret_cast<void*>(GetProcAddress(rm, "RmEndSession")));
  const auto reg = reinterpret_cast<Register>(reinterpret_cast<void*>(GetProcAddress(rm, "RmRegisterResources")));
  const auto list = reinterpret_cast<GetList>(reinterpret_cast<void*>(GetProcAddress(rm, "RmGetList")));
  DWORD session = 0;
  WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
  if (start && end && reg && list && start(&session, 0, key) == ERROR_SUCCESS) {
    const std::wstring wide = win32::Wide(path);
    LPCWSTR files[] = {wide.c_str()};
    if (reg(session, 1, files, 0, nullptr, 0, nullptr) == ERROR_SUCCESS) {
      UINT needed = 0, count = 0;
      DWORD reasons = 0;
      std::vector<RM_PROCESS_INFO> info;
      DWORD r = list(session, &needed, &count, nullptr, &reasons);
      if (r == ERROR_MORE_DATA && needed > 0) {
        info.resize(needed);
        count = needed;
        r = list(session, &needed, &count, info.data(), &reasons);
        if (r == ERROR_SUCCESS) {
          for (UINT i = 0; i < count; ++i) names.push_back(win32::Narrow(info[i].strAppName));
        }
      }
    }
    end(session);
  }
  FreeLibrary(rm);
  return names;
}

std::string Holders(const std::string& path) {
  const auto& seam = EngineMachine().ProgramsHoldingFile;
  const std::vector<std::string> names = seam ? seam(path) : RestartManagerHolders(path);
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

// Recorded first, so that an undo of the run can take the operation back out.
bool ScheduleAtRestart(TJournal* journal, const std::string& from, const std::string* to) {
  if (journal && !journal->WillActAtRestart(from, to ? *to : std::string())) return false;
  const std::wstring source = win32::Wide(from);
  const std::wstring target = to ? win32::Wide(*to) : std::wstring();
  const DWORD flags = MOVEFILE_DELAY_UNTIL_REBOOT | (to ? MOVEFILE_REPLACE_EXISTING : 0);
  if (MoveFileExW(source.c_str(), to ? target.c_str() : nullptr, flags)) return true;
  WriteLog(" cannot leave " + from + " for the next restart: " + os::LastErrorMessage());
  return false;
}

// Every directory below `directory` (itself last), deepest first.
void CollectDirectories(const std::string& directory, std::vector<std::string>& out) {
  for (const os::DirEntry& entry : os::ListDirectory(directory)) {
    if ((entry.Attributes & os::kAttrDirectory) && !(entry.Attributes & os::kAttrReparsePoint)) {
      CollectDirectories(directory + "\\" + entry.Name, out);
    }
  }
  out.push_back(directory);
}

}  // namespace

TFileInUse TProgressThread::ResolveFileInUse(const std::string& target) {
  for (;;) {
    if (!os::FileExists(target) || !HeldByOther(target)) return TFileInUse::Write;
    const std::string holders = Holders(target);
    WriteLog(" file in use " + target + (holders.empty() ? "" : " by " + holders));
    if (SetupGlobals.Unattended) return TFileInUse::Defer;  // nobody to ask: the restart replaces it
    const std::string by = holders.empty() ? "" : ": " + holders;
    const int answer = ShowBilingualMessage(
        "Файл " + target + " занят другой программой" + by +
            ".\r\nЗакройте её и нажмите «Повтор». «Пропустить» оставит прежний файл, "
            "«Прервать» отменит установку.",
        "The file " + target + " is in use by another program" + by +
            ".\r\nClose it and press Retry. Ignore keeps the old file, Abort cancels the "
            "installation.",
        SetupGlobals.MessageCaption, mb::kAbortRetryIgnore | mb::kIconExclamation | mb::kTaskModal);
    if (answer == mb::kIdRetry) continue;
    if (answer == mb::kIdIgnore) {
      WriteLog(" file in use kept as it was: " + target);
      return TFileInUse::Keep;
    }
    WriteLog(" installation cancelled at a file in use");
    NoteAborted();
    Terminate();
    return TFileInUse::Keep;
  }
}

void TProgressThread::ExtractForRestart(TSetupUnZip& zip, const std::string& destDir,
                                        const std::vector<std::string>& targets) {
  // Written on the targets' own volume, where a rename at the restart can take them.
  const std::string staging = destDir + "\\~restart";
  zip.OnlyTargets.clear();
  for (const std::string& target : targets) {
    zip.OnlyTargets.insert(staging + target.substr(destDir.size()));
  }
  zip.SetDestDir(staging);
  if (journal_) journal_->WillCreateDirectories(staging);  // an undo takes the staged files too
  zip.ExtractFiles();
  zip.OnlyTargets.clear();
  zip.SetDestDir(destDir);
  bool scheduled = false;
  for (const std::string& target : targets) {
    const std::string staged = staging + target.substr(destDir.size());
    if (!os::FileExists(staged)) continue;
    if (ScheduleAtRestart(journal_.get(), staged, &target)) {
      scheduled = true;
      WriteLog(" " + target + " is replaced at the next restart");
    }
  }
  // The staging directories go at the restart too, after the renames that empty them.
  std::vector<std::string> directories;
  CollectDirectories(staging, directories);
  for (const std::string& directory : directories) ScheduleAtRestart(journal_.get(), directory, nullptr);
  if (scheduled) NoteRestartScheduled();
}

bool TProgressThread::DeleteOrSchedule(const std::string& path) {
  if (journal_ ? journal_->DeleteWithBackup(path) : os::RemoveFile(path)) return true;
  if (!os::FileExists(path) || !HeldByOther(path)) return false;
  const std::string holders = Holders(path);
  if (!ScheduleAtRestart(journal_.get(), path, nullptr)) return false;
  WriteLog(" file in use " + path + (holders.empty() ? "" : " by " + holders) +
           " is deleted at the next restart");
  NoteRestartScheduled();
  return true;
}

void TProgressThread::ScheduleLeftovers(const std::string& directory) {
  std::vector<std::string> directories;
  CollectDirectories(directory, directories);
  bool any = false;
  for (const std::string& dir : directories) {
    for (const os::DirEntry& entry : os::ListDirectory(dir)) {
      if (entry.Attributes & os::kAttrDirectory) continue;
      const std::string path = dir + "\\" + entry.Name;
      if (ScheduleAtRestart(journal_.get(), path, nullptr)) {
        any = true;
        WriteLog(" file in use " + path + " is deleted at the next restart");
      }
    }
  }
  if (!any) return;
  for (const std::string& dir : directories) ScheduleAtRestart(journal_.get(), dir, nullptr);
  NoteRestartScheduled();
}
