// The reader's dialogs, drive queries and message pumping on Windows.
#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "common/win32.h"
#include "unzip/UnZipSeams.h"

namespace {

// The common dialog library is loaded on first use, so the program needs no import of it.
bool ShowOpenDialog(const std::string& title, const std::string& filter,
                    const std::string& initialDir, std::string& fileName) {
  using GetOpenFileNameFn = BOOL(WINAPI*)(LPOPENFILENAMEW);
  static HMODULE library = LoadLibraryW(L"comdlg32.dll");
  if (library == nullptr) return false;
  auto getOpenFileName = reinterpret_cast<GetOpenFileNameFn>(
      reinterpret_cast<void*>(GetProcAddress(library, "GetOpenFileNameW")));
  if (getOpenFileName == nullptr) return false;

  // "name|pattern|name|pattern" becomes "name\0pattern\0...\0\0".
  std::wstring wideFilter = win32::Wide(filter);
  for (wchar_t& c : wideFilter) {
    if (c == L'|') c = L'\0';
  }
  wideFilter.push_back(L'\0');
  wideFilter.push_back(L'\0');
  std::wstring wideTitle = win32::Wide(title);
  std::wstring wideDir = win32::Wide(initialDir);
  std::vector<wchar_t> buffer(32768, L'\0');

  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = GetActiveWindow();
  ofn.lpstrFilter = wideFilter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = buffer.data();
  ofn.nMaxFile = static_cast<DWORD>(buffer.size());
  ofn.lpstrInitialDir = wideDir.c_str();
  ofn.lpstrTitle = wideTitle.c_str();
  ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
  if (!getOpenFileName(&ofn)) return false;
  fileName = win32::Narrow(buffer.data());
  return true;
}

int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM, LPARAM data) {
  if (message == BFFM_INITIALIZED && data != 0) {
    SendMessageW(window, BFFM_SETSELECTIONW, TRUE, data);
  }
  return 0;
}

bool ShowDirectoryDialog(std::string& directory) {
  std::wstring start = win32::Wide(directory);
  BROWSEINFOW info{};
  info.hwndOwner = GetActiveWindow();
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  info.lpfn = BrowseCallback;
  info.lParam = reinterpret_cast<LPARAM>(start.c_str());
  PIDLIST_ABSOLUTE list = SHBrowseForFolderW(&info);
  if (list == nullptr) return false;
  std::vector<wchar_t> path(32768, L'\0');
  BOOL ok = SHGetPathFromIDListEx(list, path.data(), static_cast<DWORD>(path.size()), GPFIDL_DEFAULT);
  ILFree(list);
  if (!ok) return false;
  directory = win32::Narrow(path.data());
  return true;
}

}  // namespace

TUnZipSeams DefaultUnZipSeams() {
  TUnZipSeams seams;
  seams.OpenFileDialog = ShowOpenDialog;
  seams.SelectDirectory = ShowDirectoryDialog;
  seams.DriveType = [](const std::string& root) -> unsigned {
    return GetDriveTypeW(win32::Wide(root).c_str());
  };
  seams.VolumeLabel = [](const std::string& root, std::string& label) {
    wchar_t name[MAX_PATH + 1] = {};
    if (!GetVolumeInformationW(win32::Wide(root).c_str(), name, MAX_PATH + 1, nullptr, nullptr,
                               nullptr, nullptr, 0)) {
      return false;
    }
    label = win32::Narrow(name);
    return true;
  };
  seams.ProcessMessages = [] {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  };
  seams.SetBusyCursor = [](bool busy) {
    SetCursor(LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
  };
  return seams;
}
