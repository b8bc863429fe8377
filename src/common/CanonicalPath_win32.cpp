#include "common/CanonicalPath.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include "common/win32.h"

namespace {

std::wstring FullPathName(const std::wstring& path) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (n == 0) return {};
    if (n < buffer.size()) {
      buffer.resize(n);
      return buffer;
    }
    buffer.resize(n + 1);
  }
}

// The final path of an existing file or directory, or empty when it cannot be opened.
// The open follows links on purpose: the result is what the path leads to.
std::string FinalPath(const std::string& path) {
  win32::FileHandle file(CreateFileW(win32::LongPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file) return {};
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetFinalPathNameByHandleW(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0) return {};
    if (n < buffer.size()) {
      buffer.resize(n);
      return pathrules::NormalizeFullPath(win32::Narrow(buffer));
    }
    buffer.resize(n + 1);
  }
}

std::string KnownFolder(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  std::string result;
  if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path)) && path)
    result = win32::Narrow(path);
  CoTaskMemFree(path);
  return result;
}

std::string ExpandedRegistryString(HKEY key, const wchar_t* name) {
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ) || size == 0)
    return {};
  std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
  if (RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value.data()), &size) != ERROR_SUCCESS)
    return {};
  value.resize(wcsnlen(value.c_str(), value.size()));
  if (type == REG_EXPAND_SZ) {
    std::wstring expanded(32768, L'\0');
    const DWORD n = ExpandEnvironmentStringsW(value.c_str(), expanded.data(), static_cast<DWORD>(expanded.size()));
    if (n == 0 || n > expanded.size()) return {};
    expanded.resize(n - 1);
    value = expanded;
  }
  return win32::Narrow(value);
}

// Every profile the machine knows, and the profile list's own directories.
void AddProfiles(std::vector<std::string>& list) {
  win32::RegKey profiles;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", 0,
                    KEY_READ | KEY_WOW64_64KEY, profiles.put()) != ERROR_SUCCESS)
    return;
  for (const wchar_t* name : {L"ProfilesDirectory", L"Default", L"Public", L"ProgramData"})
    list.push_back(ExpandedRegistryString(profiles.get(), name));
  for (DWORD i = 0;; ++i) {
    wchar_t sid[256];
    DWORD length = 256;
    if (RegEnumKeyExW(profiles.get(), i, sid, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    win32::RegKey profile;
    if (RegOpenKeyExW(profiles.get(), sid, 0, KEY_READ, profile.put()) == ERROR_SUCCESS)
      list.push_back(ExpandedRegistryString(profile.get(), L"ProfileImagePath"));
  }
}

}  // namespace

std::string CanonicalPath(const std::string& path) {
  if (path.empty()) return {};
  // A bare "C:" is the drive's current directory to the system, but the installer has
  // always meant the drive itself by it (its directory rules strip "\" from "C:\"), and
  // so does every step that uses it.
  const bool bareDrive = path.size() == 2 && path[1] == ':';
  const std::string full =
      pathrules::NormalizeFullPath(win32::Narrow(FullPathName(win32::Wide(bareDrive ? path + "\\" : path))));
  if (full.empty()) return {};
  // The deepest part that exists decides what the whole names; the rest does not exist yet
  // and is taken as written.
  std::string head = full, tail;
  for (;;) {
    const std::string final = FinalPath(head);
    if (!final.empty()) return pathrules::NormalizeFullPath(tail.empty() ? final : final + "\\" + tail);
    const std::size_t cut = head.find_last_of('\\');
    if (pathrules::IsRoot(head) || cut == std::string::npos) return full;
    tail = tail.empty() ? head.substr(cut + 1) : head.substr(cut + 1) + "\\" + tail;
    head = head.substr(0, cut);
    if (head.size() == 2 && head[1] == ':') head += '\\';
  }
}

std::vector<std::string> ProtectedDirectories() {
  std::vector<std::string> raw;
  wchar_t buffer[MAX_PATH + 1];
  if (UINT n = GetWindowsDirectoryW(buffer, MAX_PATH); n > 0 && n < MAX_PATH) raw.push_back(win32::Narrow(buffer));
  if (UINT n = GetSystemWindowsDirectoryW(buffer, MAX_PATH); n > 0 && n < MAX_PATH) raw.push_back(win32::Narrow(buffer));
  if (UINT n = GetSystemDirectoryW(buffer, MAX_PATH); n > 0 && n < MAX_PATH) raw.push_back(win32::Narrow(buffer));
  if (UINT n = GetSystemWow64DirectoryW(buffer, MAX_PATH); n > 0 && n < MAX_PATH) raw.push_back(win32::Narrow(buffer));
  for (REFKNOWNFOLDERID id :
       {FOLDERID_Windows, FOLDERID_System, FOLDERID_SystemX86, FOLDERID_ProgramFiles, FOLDERID_ProgramFilesX86,
        FOLDERID_ProgramFilesX64, FOLDERID_ProgramFilesCommon, FOLDERID_ProgramFilesCommonX86,
        FOLDERID_ProgramFilesCommonX64, FOLDERID_ProgramData, FOLDERID_UserProfiles, FOLDERID_Profile,
        FOLDERID_Public, FOLDERID_Desktop, FOLDERID_Documents, FOLDERID_Downloads, FOLDERID_Music,
        FOLDERID_Pictures, FOLDERID_Videos, FOLDERID_Favorites, FOLDERID_RoamingAppData, FOLDERID_LocalAppData,
        FOLDERID_StartMenu, FOLDERID_Programs, FOLDERID_Startup, FOLDERID_CommonStartMenu,
        FOLDERID_CommonPrograms, FOLDERID_CommonStartup, FOLDERID_PublicDesktop, FOLDERID_PublicDocuments})
    raw.push_back(KnownFolder(id));
  AddProfiles(raw);
  std::vector<std::string> list;
  for (const std::string& dir : raw) {
    const std::string canonical = CanonicalPath(dir);
    if (canonical.empty()) continue;
    bool known = false;
    for (const std::string& other : list) known = known || text::SameTextNoCase(other, canonical);
    if (!known) list.push_back(canonical);
  }
  return list;
}

pathrules::TRefusalReason RefusedInstallDirectory(const std::string& directory) {
  const std::string canonical = CanonicalPath(directory);
  if (canonical.empty()) {
    pathrules::TRefusalReason reason;
    reason.Kind = pathrules::TRefusal::NotFull;
    reason.Directory = directory;
    return reason;
  }
  wchar_t windows[MAX_PATH + 1];
  std::vector<std::string> closed;
  if (UINT n = GetSystemWindowsDirectoryW(windows, MAX_PATH); n > 0 && n < MAX_PATH)
    closed.push_back(CanonicalPath(win32::Narrow(windows)));
  return pathrules::RefuseInstallDirectory(canonical, ProtectedDirectories(), closed);
}

bool IsCanonicallyBelow(const std::string& path, const std::string& directory) {
  const std::string p = CanonicalPath(path), d = CanonicalPath(directory);
  return !p.empty() && !d.empty() && pathrules::IsStrictlyBelow(p, d);
}
