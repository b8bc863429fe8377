// The search-path step: the product's SYSTEM and USER directories put on the machine's
// search path (the NT "Path" in the registry, or the startup batch file of Windows 9x) and
// taken off again on removal, and the installer's own "Path".
#include <windows.h>

#include <thread>

#include "common/errors.h"
#include "common/osfile.h"
#include "common/text.h"
#include "common/win32.h"
#include "engine/EngineMachine.h"
#include "engine/EnginePaths.h"
#include "engine/EnvPath.h"
#include "engine/EnvPath_win32.h"
#include "engine/Journal.h"
#include "engine/Journal_win32.h"
#include "engine/MainThread.h"
#include "engine/ProgressThread.h"
#include "setup/Messages.h"
#include "setup/Platform_win32.h"
#include "setup/SetupGlobals.h"

namespace {

const wchar_t kEnvironmentKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

// The raw value, never expanded, of any length the registry holds. A missing value is an
// empty list; a value that is there but cannot be read must not be replaced by a shorter one,
// so that raises.
std::wstring ReadRawPath(HKEY key) {
  for (;;) {
    DWORD type = 0, size = 0;
    LONG r = RegQueryValueExW(key, L"Path", nullptr, &type, nullptr, &size);
    if (r == ERROR_FILE_NOT_FOUND) return {};
    if (r != ERROR_SUCCESS) throw EInOutError(win32::ErrorText(static_cast<DWORD>(r)));
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
      throw EInOutError("the value \"Path\" is not a string");
    }
    std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
    DWORD got = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    r = RegQueryValueExW(key, L"Path", nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &got);
    if (r == ERROR_MORE_DATA) continue;  // it grew in between
    if (r != ERROR_SUCCESS) throw EInOutError(win32::ErrorText(static_cast<DWORD>(r)));
    buffer.resize(got / sizeof(wchar_t));
    while (!buffer.empty() && buffer.back() == L'\0') buffer.pop_back();
    return buffer;
  }
}

std::string ProcessPath() {
  DWORD n = GetEnvironmentVariableW(L"Path", nullptr, 0);
  for (;;) {
    if (n == 0) return {};
    std::wstring buffer(n, L'\0');
    const DWORD got = GetEnvironmentVariableW(L"Path", buffer.data(), n);
    if (got < n) {
      buffer.resize(got);
      return win32::Narrow(buffer);
    }
    n = got;
  }
}

void SetProcessPath(const std::string& value) {
  SetEnvironmentVariableW(L"Path", win32::Wide(value).c_str());
}

std::string StartupFileDrive() {
  const auto& drive = EngineMachine().StartupFileDrive;
  return drive ? drive() : std::string("c:");
}

std::string ReadWholeFile(const std::string& path) {
  os::File file = os::OpenFile(path, os::OpenMode::Read, false);
  if (!file.IsOpen()) throw EInOutError(path + ": " + os::LastErrorMessage());
  std::string bytes;
  char buffer[16384];
  for (std::size_t n; (n = file.Read(buffer, sizeof buffer)) > 0;) bytes.append(buffer, n);
  return bytes;
}

// The new content goes to a file beside the old one first, which then replaces it: a full
// disk or a crash leaves the old startup file, never half of a new one.
void ReplaceWholeFile(const std::string& path, const std::string& bytes) {
  const std::string temporary = path + ".new";
  {
    os::File file = os::OpenFile(temporary, os::OpenMode::Create, true);
    if (!file.IsOpen()) throw EInOutError(temporary + ": " + os::LastErrorMessage());
    try {
      file.Write(bytes.data(), bytes.size());
      file.Close();
    } catch (...) {
      file = os::File();
      os::RemoveFile(temporary);
      throw;
    }
  }
  if (!os::ReplaceFile(temporary, path)) {
    const std::string error = os::LastErrorMessage();
    os::RemoveFile(temporary);
    throw EInOutError(path + ": " + error);
  }
}

void ClearReadOnly(const std::string& path) {
  const std::uint32_t attributes = os::GetAttributes(path);
  if (attributes != os::kInvalidAttributes && (attributes & os::kAttrReadOnly)) {
    os::SetAttributes(path, attributes & ~os::kAttrReadOnly);
  }
}

}  // namespace

std::string ShortPathName(const std::string& path) {
  const std::wstring wide = win32::Wide(path);
  DWORD n = GetShortPathNameW(wide.c_str(), nullptr, 0);
  if (n == 0) return path;
  std::wstring buffer(n, L'\0');
  n = GetShortPathNameW(wide.c_str(), buffer.data(), n);
  if (n == 0 || n >= buffer.size()) return path;
  buffer.resize(n);
  return win32::Narrow(buffer);
}

void EditNtPath(const std::string& directory, bool add) {
  win32::RegKey key;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kEnvironmentKey, 0, nullptr, 0,
                      KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
    WriteLog(" environment key cannot be opened");
    return;
  }
  const std::string value = win32::Narrow(ReadRawPath(key.get()));
  const std::wstring result = win32::Wide(EditMachinePath(value, directory, add));
  // The installer's own value is the expanded one with the user's part: only the product's
  // entry changes there, so the libraries it loads still find everything they found before.
  SetProcessPath(EditProcessPath(ProcessPath(), directory, add));
  const LONG r = RegSetValueExW(key.get(), L"Path", 0, REG_EXPAND_SZ,
                                reinterpret_cast<const BYTE*>(result.c_str()),
                                static_cast<DWORD>((result.size() + 1) * sizeof(wchar_t)));
  if (r != ERROR_SUCCESS) throw EInOutError(win32::ErrorText(static_cast<DWORD>(r)));
}

// Tells the running programs that the environment changed. The message is sent from the
// main thread, which owns the windows; a hung window elsewhere is skipped, not waited for.
class TChangeEnvironmentThread {
 public:
  static void Run() {
    if (mainthread::IsMainThread()) {
      Broadcast();
      return;
    }
    std::thread thread([] { mainthread::Run(Broadcast); });
    thread.join();
  }

 private:
  static void Broadcast() {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0,
                        reinterpret_cast<LPARAM>(L"Environment"), SMTO_ABORTIFHUNG, 5000, &result);
  }
};

void EditAutoexecPath(const std::string& directory, bool add, bool backup) {
  const std::string drive = StartupFileDrive();
  const std::string file = drive + "\\autoexec.bat";
  const std::string backupFile = drive + "\\autoexec.ztk";
  const bool exists = os::FileExists(file);
  const std::string content = exists ? text::AnsiToUtf8(ReadWholeFile(file)) : std::string();
  const TAutoexecEdit edit = EditAutoexecText(content, exists, directory, ShortPathName(directory), add);
  if (!edit.Write) return;
  if (exists) {
    if (backup) {
      if (os::FileExists(backupFile)) {
        ClearReadOnly(backupFile);
        if (!os::RemoveFile(backupFile)) throw EInOutError(backupFile + ": " + os::LastErrorMessage());
      }
      if (add && !os::CopyFileTo(file, backupFile, true)) {
        throw EInOutError(backupFile + ": " + os::LastErrorMessage());
      }
    }
    ClearReadOnly(file);
  }
  ReplaceWholeFile(file, text::Utf8ToAnsi(edit.Output));
}

bool ChangePath(const std::string& directory, bool add, bool backup, bool broadcast,
                std::string& error) {
  try {
    if (!GetPlatformFacts().IsWindows9x) {
      EditNtPath(directory, add);
      if (broadcast) TChangeEnvironmentThread::Run();
    } else {
      EditAutoexecPath(directory, add, backup);
    }
    return true;
  } catch (const Exception& e) {
    error = e.Message();
  } catch (const std::exception& e) {
    error = e.what();
  }
  return false;
}

namespace {

// The value or the files the change is about to touch, in the run's journal.
void JournalPathChange(TJournal* journal) {
  if (!journal) return;
  if (!GetPlatformFacts().IsWindows9x) {
    JournalValue(journal, HKEY_LOCAL_MACHINE, win32::Narrow(kEnvironmentKey), "Path", 0);
  } else {
    journal->WillWriteFile(StartupFileDrive() + "\\autoexec.bat");
    journal->WillWriteFile(StartupFileDrive() + "\\autoexec.ztk");
  }
}

bool ChangeOrReport(TJournal* journal, const std::string& directory, const char* which, bool add,
                    bool backup, bool broadcast) {
  JournalPathChange(journal);
  std::string error;
  if (ChangePath(directory, add, backup, broadcast, error)) return true;
  ShowLoggedMessage(std::string("Ошибка при прописывании пути к каталогу ") + which + "\r\n" + error,
                    "Ошибка при прописывании путей", kErrorBox);
  return false;
}

}  // namespace

bool TProgressThread::RegisterComponentPath(const std::string& path) {
  WriteLog(" IN function REGISTERCOMPONENTPATH");
  SetProgressText("Прописывание путей", "writing path");
  if (!Report(60)) return false;
  const bool broadcast = state_.Mode == smInstall;
  const std::string system = PathEntryBelow(path, "SYSTEM");
  if (!ChangeOrReport(journal_.get(), system, "SYSTEM", true, true, broadcast)) return false;
  WriteLog(" path " + system + " written");
  SetPercent(Percent() + 80);
  if (!ChangeOrReport(journal_.get(), PathEntryBelow(path, "USER"), "USER", true, false, broadcast)) return false;
  if (!Report(100)) return false;
  WriteLog(" OUT function REGISTERCOMPONENTPATH");
  return true;
}

bool TProgressThread::DelPath(const std::string& path) {
  WriteLog(" IN function DELPATH");
  SetProgressText("Удаление каталогов", "Deleting of the directories");
  SetPercent(0);
  if (text::TrimControl(path).empty()) {
    // Without a recorded installation there is no entry of ours to take off. A drive root
    // is an installation like any other: its "C:\SYSTEM" goes too.
    WriteLog(" no installed path; search path left as it is");
  } else {
    const bool broadcast = state_.Mode == smInstall;
    if (!ChangeOrReport(journal_.get(), PathEntryBelow(path, "SYSTEM"), "SYSTEM", false, false, broadcast))
      return false;
    SetPercent(Percent() + 50);
    if (!ChangeOrReport(journal_.get(), PathEntryBelow(path, "USER"), "USER", false, true, broadcast))
      return false;
  }
  if (!Report(50)) return false;
  SetPercent(Percent() + 50);
  WriteLog(" OUT function DELPATH");
  return true;
}

void TProgressThread::AddProcessPath(const std::string& path) {
  std::string d = path;
  if (d.empty() || d.back() != '\\') d += '\\';
  const std::string entries = d + "EXE\\;" + d + "SYSTEM\\;" + d + "USER\\";
  const std::string old = ProcessPath();
  SetProcessPath(old.empty() ? entries : old + ";" + entries);
}
