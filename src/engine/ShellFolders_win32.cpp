#include "engine/ShellFolders_win32.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include "common/win32.h"

namespace {

std::string KnownFolder(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  std::string result;
  // The path is wanted even when the folder has not been made yet: the group makes it.
  if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path)) && path) {
    result = win32::Narrow(path);
  }
  CoTaskMemFree(path);
  return result;
}

std::string ShellFoldersValue(HKEY root, const wchar_t* name) {
  win32::RegKey key;
  if (RegOpenKeyExW(root, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", 0,
                    KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
    return {};
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return {};
  std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
  if (RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
      ERROR_SUCCESS)
    return {};
  buffer.resize(size / sizeof(wchar_t));
  while (!buffer.empty() && buffer.back() == L'\0') buffer.pop_back();
  return win32::Narrow(buffer);
}

}  // namespace

std::string ShellFolderPath(TShellFolder folder) {
  struct Source {
    const KNOWNFOLDERID* common;
    const KNOWNFOLDERID* user;
    const wchar_t* commonValue;
    const wchar_t* userValue;
  };
  static const Source sources[] = {
      {&FOLDERID_CommonPrograms, &FOLDERID_Programs, L"Common Programs", L"Programs"},
      {&FOLDERID_PublicDesktop, &FOLDERID_Desktop, L"Common Desktop", L"Desktop"},
      {&FOLDERID_CommonStartup, &FOLDERID_Startup, L"Common Startup", L"Startup"},
  };
  const Source& s = sources[static_cast<int>(folder)];
  std::string path = KnownFolder(*s.common);
  if (path.empty()) path = ShellFoldersValue(HKEY_LOCAL_MACHINE, s.commonValue);
  if (path.empty()) path = KnownFolder(*s.user);
  if (path.empty()) path = ShellFoldersValue(HKEY_CURRENT_USER, s.userValue);
  return path;
}
