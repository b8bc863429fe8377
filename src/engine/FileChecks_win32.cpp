// The two checks before anything is copied: files of the installation that are already on
// the search path (a same-named component may be loaded instead of the new one), and the
// distribution files that subsystems being added need.
#include <windows.h>
#include <shlobj.h>

#include "common/osfile.h"
#include "common/win32.h"
#include "description/InstList.h"
#include "engine/EngineMachine.h"
#include "engine/MainThread.h"
#include "engine/ProgressThread.h"
#include "setup/Messages.h"
#include "setup/SetupGlobals.h"

namespace {

bool FindOnSearchPath(const std::string& name, std::string& found) {
  const std::wstring wide = win32::Wide(name);
  std::wstring buffer(MAX_PATH + 1, L'\0');
  for (;;) {
    const DWORD n = SearchPathW(nullptr, wide.c_str(), nullptr, static_cast<DWORD>(buffer.size()),
                                buffer.data(), nullptr);
    if (n == 0) return false;
    if (n < buffer.size()) {
      buffer.resize(n);
      found = win32::Narrow(buffer);
      return true;
    }
    buffer.resize(n + 1);
  }
}

bool FormatLocal(const FILETIME& stamp, std::string& date, std::string& time) {
  FILETIME local;
  SYSTEMTIME st;
  if (!FileTimeToLocalFileTime(&stamp, &local) || !FileTimeToSystemTime(&local, &st)) return false;
  wchar_t buffer[128];
  int n = GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buffer, 128);
  if (n <= 0) return false;
  date = win32::Narrow(std::wstring_view(buffer, static_cast<std::size_t>(n - 1)));
  n = GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &st, nullptr, buffer, 128);
  if (n <= 0) return false;
  time = win32::Narrow(std::wstring_view(buffer, static_cast<std::size_t>(n - 1)));
  return true;
}

// Until the wizard's own form is installed: a question box, OK going on and Cancel
// aborting.
int SearchFormBox(const std::string& message) {
  const int answer = ShowMessageBox(message, SetupGlobals.MessageCaption,
                                    mb::kOkCancel | mb::kIconExclamation | mb::kTaskModal);
  return answer == mb::kIdOk ? mb::kIdYes : mb::kIdCancel;
}

int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM, LPARAM data) {
  if (message == BFFM_INITIALIZED) SendMessageW(window, BFFM_SETSELECTIONW, TRUE, data);
  return 0;
}

// Until the wizard's own directory dialog is installed: the shell's folder browser.
bool BrowseForDirectory(std::string& directory) {
  const std::wstring start = win32::Wide(directory);
  BROWSEINFOW info{};
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  info.lpfn = BrowseCallback;
  info.lParam = reinterpret_cast<LPARAM>(start.c_str());
  PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&info);
  if (!item) return false;
  wchar_t path[MAX_PATH] = {};
  const bool ok = SHGetPathFromIDListW(item, path);
  CoTaskMemFree(item);
  if (ok) directory = win32::Narrow(path);
  return ok;
}

}  // namespace

void TProgressThread::ShowSearchForm() {
  const auto& form = EngineMachine().ShowSearchForm;
  searchAnswer_ = form ? form(searchMessage_) : SearchFormBox(searchMessage_);
}

bool TProgressThread::SearchFiles() {
  WriteLog(" IN procedure SEARCHFILES");
  bool result = true;
  std::vector<std::string> names;
  if (state_.InstallTree) state_.InstallTree->CollectCheckFiles(names);
  const int n = static_cast<int>(names.size());
  for (int k = 0; k < n; ++k) {
    SetPercent(100 / (n - k) - 1);
    if (!Report()) return result;
    std::string path;
    if (!FindOnSearchPath(names[k], path)) continue;
    int answer = mb::kIdYes;
    WIN32_FILE_ATTRIBUTE_DATA data;
    // A file whose entry cannot be read is passed over without a question.
    if (GetFileAttributesExW(win32::Wide(path).c_str(), GetFileExInfoStandard, &data)) {
      std::string date, time;
      if (!FormatLocal(data.ftLastWriteTime, date, time)) {
        ShowBilingualMessage("Ошибка конвертирования", "error of converting",
                             SetupGlobals.MessageCaption, kErrorBox);
      } else {
        const std::string size = std::to_string((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) |
                                                data.nFileSizeLow);
        WriteLog("founded file " + path);
        if (SetupGlobals.IsEnglish) {
          searchMessage_ = "The file is retreived " + path + "\r\n" + "Date: " + date + "  Time: " + time +
                           "  Size: " + size + " bytes\r\n" +
                           "Presence of same components in path can result in incorrect " +
                           "operation of installed subsystems";
        } else {
          searchMessage_ = "Найден файл " + path + "\r\n" + "Дата: " + date + "  время: " + time +
                           "  размер: " + size + " байт" + "\r\n" +
                           "Наличие одноименных компонент в пути может привести к " +
                           "неправильному функционированию устанавливаемых подсистем";
        }
        mainthread::Run([this] { ShowSearchForm(); });
        answer = searchAnswer_;
      }
    }
    if (answer == 1) {
      WriteLog(" finish search files and continue install");
      break;
    }
    if (answer == mb::kIdCancel) {
      WriteLog(" finish search files and abort install");
      NoteAborted();
      result = false;
      break;
    }
  }
  WriteLog(" OUT procedure SEARCHFILES");
  return result;
}

bool TProgressThread::FindReqFiles() {
  WriteLog(" IN function FINDREQFILES");
  std::vector<std::string> names;
  if (state_.InstallTree) state_.InstallTree->CollectReqFiles(names);
  std::string& source = SetupGlobals.DestDir;
  for (bool complete = false; !complete;) {
    complete = true;
    for (const std::string& name : names) {
      const std::string path = source + "\\" + name;
      if (os::FileExists(path)) continue;
      WriteLog(" file " + path + " not found");
      std::string chosen = source;
      bool ok = false;
      mainthread::Run([&] {
        const auto& dialog = EngineMachine().SelectDirectory;
        ok = dialog ? dialog(chosen) : BrowseForDirectory(chosen);
      });
      if (!ok) {
        NoteAborted();
        return false;
      }
      source = chosen;
      WriteLog(" destination directory is " + source);
      complete = false;
      break;
    }
  }
  // The archives are opened relative to the distribution directory.
  if (!source.empty() && os::DirectoryExists(source)) {
    SetCurrentDirectoryW(win32::Wide(source).c_str());
  }
  WriteLog(" OUT function FINDREQFILES");
  return true;
}
