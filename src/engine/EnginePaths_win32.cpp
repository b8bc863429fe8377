#include "engine/EnginePaths_win32.h"

#include <windows.h>
#include <aclapi.h>
#include <knownfolders.h>
#include <shlobj.h>

#include "common/CanonicalPath.h"
#include "common/win32.h"
#include "setup/SetupGlobals.h"

namespace {

std::string KnownFolderPath(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  std::string result;
  if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path)) && path)
    result = CanonicalPath(win32::Narrow(path));
  CoTaskMemFree(path);
  return result;
}

struct TSid {
  BYTE Bytes[SECURITY_MAX_SID_SIZE] = {};
  bool Make(WELL_KNOWN_SID_TYPE type) {
    DWORD size = sizeof Bytes;
    return CreateWellKnownSid(type, nullptr, Bytes, &size) != 0;
  }
};

}  // namespace

bool ProtectInstallDirectory(const std::string& directory) {
  const std::string dir = CanonicalPath(directory);
  if (dir.empty()) return false;
  for (REFKNOWNFOLDERID id : {FOLDERID_ProgramFiles, FOLDERID_ProgramFilesX86, FOLDERID_ProgramFilesX64}) {
    const std::string programFiles = KnownFolderPath(id);
    if (!programFiles.empty() && pathrules::IsStrictlyBelow(dir, programFiles)) {
      WriteLog(" directory " + dir + " keeps the permissions of " + programFiles);
      return true;
    }
  }
  TSid administrators, system, users;
  if (!administrators.Make(WinBuiltinAdministratorsSid) || !system.Make(WinLocalSystemSid) ||
      !users.Make(WinBuiltinUsersSid))
    return false;
  EXPLICIT_ACCESSW entries[3] = {};
  const struct {
    TSid* sid;
    DWORD rights;
  } grants[3] = {{&administrators, GENERIC_ALL}, {&system, GENERIC_ALL}, {&users, GENERIC_READ | GENERIC_EXECUTE}};
  for (int i = 0; i < 3; ++i) {
    entries[i].grfAccessPermissions = grants[i].rights;
    entries[i].grfAccessMode = SET_ACCESS;
    entries[i].grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    entries[i].Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entries[i].Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    entries[i].Trustee.ptstrName = reinterpret_cast<LPWSTR>(grants[i].sid->Bytes);
  }
  PACL acl = nullptr;
  if (SetEntriesInAclW(3, entries, nullptr, &acl) != ERROR_SUCCESS) return false;
  std::wstring wide = win32::Wide(dir);
  const DWORD result = SetNamedSecurityInfoW(wide.data(), SE_FILE_OBJECT,
                                             DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                             nullptr, nullptr, acl, nullptr);
  LocalFree(acl);
  if (result != ERROR_SUCCESS) {
    WriteLog(" directory " + dir + ": permissions not set: " + win32::ErrorText(result));
    return false;
  }
  WriteLog(" directory " + dir + " is writable by administrators only");
  return true;
}
