// Where journals may live and whether one found there may be trusted; the places a run's
// journal allows an undo to touch; the final paths its judgement rests on; and taking back the
// renames and deletions a run left for the next restart.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include "common/osfile.h"
#include "common/pathrules.h"
#include "common/win32.h"
#include "engine/EngineMachine.h"
#include "engine/Journal_win32.h"
#include "engine/ShellFolders_win32.h"
#include "setup/ProductKeys_win32.h"
#include "setup/SetupGlobals.h"

std::function<std::string(const std::string& path)> JournalSecurityForTest;

namespace {

// Only SYSTEM and the Administrators, inherited by every journal and backup made inside.
const wchar_t kProtectedOwned[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
const wchar_t kProtected[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
const char kProgramFolder[] = "ztkinst";
const char kJournalFolder[] = "Journals";

bool IsWindows9x() { return (GetVersion() & 0x80000000u) != 0; }

struct TSid {
  explicit TSid(const wchar_t* text) { ConvertStringSidToSidW(text, &sid); }
  ~TSid() { LocalFree(sid); }
  TSid(const TSid&) = delete;
  TSid& operator=(const TSid&) = delete;
  bool Is(PSID other) const { return sid && other && EqualSid(sid, other); }
  PSID sid = nullptr;
};

// The administrator running this program: under Wine (which shows every file as owned by the
// user) and for an elevated administrator's own files, that user owns what this program made.
bool IsOwnAdministrator(PSID sid) {
  static const TSid administrators(L"S-1-5-32-544");
  BOOL member = FALSE;
  if (!CheckTokenMembership(nullptr, administrators.sid, &member) || !member) return false;
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  win32::Handle owned(token);
  BYTE buffer[256];
  DWORD size = 0;
  if (!GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size)) return false;
  return EqualSid(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, sid) != FALSE;
}

bool TrustedSid(PSID sid, bool creatorToo) {
  static const TSid system(L"S-1-5-18"), administrators(L"S-1-5-32-544"),
      installer(L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"), creator(L"S-1-3-0");
  if (system.Is(sid) || administrators.Is(sid) || installer.Is(sid)) return true;
  if (creatorToo && creator.Is(sid)) return true;  // the maker of what is made inside: us
  return IsOwnAdministrator(sid);
}

std::string SidText(PSID sid) {
  LPWSTR text = nullptr;
  if (!sid || !ConvertSidToStringSidW(sid, &text)) return "?";
  const std::string narrow = win32::Narrow(text);
  LocalFree(text);
  return narrow;
}

}  // namespace

std::string DistrustOfDescriptor(PSECURITY_DESCRIPTOR descriptor, bool directory) {
  PSID owner = nullptr;
  BOOL defaulted = FALSE, present = FALSE;
  PACL dacl = nullptr;
  if (!descriptor || !GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) ||
      !GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) {
    return "its security cannot be read";
  }
  if (!TrustedSid(owner, false)) return "owned by " + SidText(owner);
  if (!present || !dacl) return "writable by everybody (no access list)";
  constexpr ACCESS_MASK kWrites = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD |
                                  FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                  GENERIC_ALL | MAXIMUM_ALLOWED;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* entry = nullptr;
    if (!GetAce(dacl, i, &entry)) return "its access list cannot be read";
    const auto* header = static_cast<ACE_HEADER*>(entry);
    if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return "an access entry of another kind";
    const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    if (!(allowed->Mask & kWrites)) continue;
    // In a directory an entry only for what is made inside still gives those their rights.
    const PSID sid = const_cast<DWORD*>(&allowed->SidStart);
    if (!TrustedSid(sid, directory)) return "writable by " + SidText(sid);
  }
  return {};
}

std::string DistrustOf(const std::string& path, bool directory) {
  if (IsWindows9x()) return {};
  if (JournalSecurityForTest) {
    const std::string sddl = JournalSecurityForTest(path);
    if (!sddl.empty()) {
      PSECURITY_DESCRIPTOR descriptor = nullptr;
      if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(win32::Wide(sddl).c_str(), SDDL_REVISION_1,
                                                                &descriptor, nullptr)) {
        return "its security cannot be read";
      }
      const std::string why = DistrustOfDescriptor(descriptor, directory);
      LocalFree(descriptor);
      return why;
    }
  }
  win32::FileHandle handle(CreateFileW(win32::LongPath(path).c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!handle) return "it cannot be opened: " + os::LastErrorMessage();
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle.get(), &info)) return "it cannot be read";
  if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return "a link to elsewhere";
  if (((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) != directory) return "not what it should be";
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(handle.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                      nullptr, nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
    return "its security cannot be read";
  }
  const std::string why = DistrustOfDescriptor(descriptor, directory);
  LocalFree(descriptor);
  return why;
}

namespace {

// Made new with the protected access list; false when it could not be made.
bool MakeProtectedDirectory(const std::string& path) {
  for (const wchar_t* sddl : {kProtectedOwned, kProtected}) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr)) {
      continue;
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    const BOOL made = CreateDirectoryW(win32::LongPath(path).c_str(), IsWindows9x() ? nullptr : &attributes);
    const DWORD error = GetLastError();
    LocalFree(descriptor);
    if (made) return true;
    if (error != ERROR_INVALID_OWNER) return false;  // not an owner this token may give: without it
  }
  return false;
}

std::string CommonAppData() {
  wchar_t buffer[MAX_PATH] = {};
  if (IsWindows9x() || FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer))) {
    return {};
  }
  return win32::Narrow(buffer);
}

std::string WindowsDirectory() {
  wchar_t buffer[MAX_PATH] = {};
  const UINT n = GetSystemWindowsDirectoryW(buffer, MAX_PATH);
  return n > 0 && n < MAX_PATH ? win32::Narrow(buffer) : std::string();
}

// Made when missing; empty when it may be trusted, else why not.
std::string ReadyDirectory(const std::string& path) {
  if (!os::DirectoryExists(path) && !MakeProtectedDirectory(path) && !os::DirectoryExists(path)) {
    return "it cannot be made: " + os::LastErrorMessage();
  }
  return DistrustOf(path, true);
}

}  // namespace

std::vector<std::string> JournalDirectories() {
  std::vector<std::string> dirs;
  for (const std::string& base : {CommonAppData(), WindowsDirectory()}) {
    if (base.empty()) continue;
    std::string dir = base;
    if (dir.back() != '\\') dir += '\\';
    dirs.push_back(dir + kProgramFolder + "\\" + kJournalFolder);
  }
  return dirs;
}

std::string TrustedJournalDirectory() {
  for (const std::string& dir : JournalDirectories()) {
    // The program's folder too: whoever may write there may swap the journals' folder.
    const std::string parent = dir.substr(0, dir.rfind('\\'));
    std::string why = ReadyDirectory(parent);
    if (why.empty()) why = ReadyDirectory(dir);
    if (why.empty()) return dir + "\\";
    WriteLog(" journal directory " + dir + " not used: " + why);
  }
  return {};
}

std::string FinalPathOf(const std::string& path) {
  std::string existing = pathrules::NormalizeFullPath(path);
  if (existing.empty()) return {};
  std::string rest;
  for (;;) {
    win32::FileHandle handle(CreateFileW(win32::LongPath(existing).c_str(), 0,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (handle) {
      std::wstring buffer(MAX_PATH, L'\0');
      for (;;) {
        const DWORD n = GetFinalPathNameByHandleW(handle.get(), buffer.data(), static_cast<DWORD>(buffer.size()),
                                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (n == 0) return {};
        if (n < buffer.size()) {
          buffer.resize(n);
          break;
        }
        buffer.resize(n + 1);
      }
      return pathrules::NormalizeFullPath(win32::Narrow(buffer) + rest);
    }
    const std::size_t cut = existing.rfind('\\');
    if (cut == std::string::npos || pathrules::IsRoot(existing)) return {};
    rest = existing.substr(cut) + rest;
    existing.erase(pathrules::IsRoot(existing.substr(0, cut + 1)) ? cut + 1 : cut);
  }
}

TJournalProduct RunProduct(const std::string& installDir, const std::string& programGroup) {
  TJournalProduct product;
  product.Name = SetupGlobals.SystemName;
  product.ProductKey = productkeys::kProduct;
  if (!SetupGlobals.SystemName.empty()) product.EntryKey = productkeys::kUninstallBase + SetupGlobals.SystemName;
  product.Places.push_back(installDir);
  // A group's folders only when they lie inside their shell folder ("" or ".." would not).
  const auto group = [&](TShellFolder folder) {
    const std::string base = ShellFolderPath(folder);
    if (base.empty() || programGroup.empty()) return;
    const std::string place = base + "\\" + programGroup;
    if (pathrules::IsStrictlyBelow(place, base)) product.Places.push_back(place);
  };
  group(TShellFolder::Programs);
  group(TShellFolder::Desktop);
  const std::string startup = ShellFolderPath(TShellFolder::Startup);
  if (!startup.empty()) product.Places.push_back(startup + "\\continue ZTK Setup.lnk");
  const auto& windows = EngineMachine().WindowsDirectory;
  if (windows) product.Places.push_back(windows() + "\\ztkuinst.exe");
  const auto& drive = EngineMachine().StartupFileDrive;
  const std::string startupDrive = drive ? drive() : std::string("c:");
  product.Places.push_back(startupDrive + "\\autoexec.bat");
  product.Places.push_back(startupDrive + "\\autoexec.ztk");
  return product;
}

// ---- the renames and deletions of the next restart ----------------------------------------

namespace {

const wchar_t kSessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kPendingValue[] = L"PendingFileRenameOperations";

// A name as the system keeps it ("\??\C:\x", "!\??\C:\x" for a rename that replaces), as we do.
std::string PlainName(std::wstring name) {
  if (!name.empty() && name[0] == L'!') name.erase(0, 1);
  if (name.rfind(L"\\??\\", 0) == 0) name.erase(0, 4);
  return name.empty() ? std::string() : pathrules::NormalizeFullPath(win32::Narrow(name));
}

bool SameName(const std::wstring& kept, const std::string& ours) {
  const std::string a = PlainName(kept), b = ours.empty() ? std::string() : pathrules::NormalizeFullPath(ours);
  return a.empty() ? b.empty() : (!b.empty() && pathrules::IsSameOrBelow(a, b) && pathrules::IsSameOrBelow(b, a));
}

}  // namespace

bool RemovePendingOperation(const std::string& path, const std::string& target) {
  win32::RegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, key.put()) !=
      ERROR_SUCCESS) {
    return false;
  }
  DWORD type = 0, size = 0;
  LONG r = RegQueryValueExW(key.get(), kPendingValue, nullptr, &type, nullptr, &size);
  if (r == ERROR_FILE_NOT_FOUND) return true;
  if (r != ERROR_SUCCESS || type != REG_MULTI_SZ) return false;
  std::vector<wchar_t> data(size / sizeof(wchar_t) + 2, L'\0');
  r = RegQueryValueExW(key.get(), kPendingValue, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
  if (r != ERROR_SUCCESS) return false;
  // Pairs of strings: the source, then the target (empty for a deletion). Empty strings
  // inside are targets, so the list is read pairwise up to the data's end.
  std::vector<std::wstring> items;
  const std::size_t count = size / sizeof(wchar_t);
  for (std::size_t i = 0; i < count;) {
    std::size_t end = i;
    while (end < count && data[end] != L'\0') ++end;
    items.emplace_back(data.data() + i, end - i);
    i = end + 1;
  }
  while (!items.empty() && items.back().empty() && items.size() % 2 == 1) items.pop_back();
  std::vector<std::wstring> kept;
  bool removed = false;
  for (std::size_t i = 0; i + 1 < items.size() + 1; i += 2) {
    const std::wstring& from = items[i];
    const std::wstring to = i + 1 < items.size() ? items[i + 1] : std::wstring();
    if (!removed && SameName(from, path) && SameName(to, target)) {
      removed = true;  // only our one operation: the same may stand there for another reason
      continue;
    }
    kept.push_back(from);
    kept.push_back(to);
  }
  if (!removed) return true;
  if (kept.empty()) return RegDeleteValueW(key.get(), kPendingValue) == ERROR_SUCCESS;
  std::wstring joined;
  for (const std::wstring& item : kept) {
    joined += item;
    joined += L'\0';
  }
  joined += L'\0';
  return RegSetValueExW(key.get(), kPendingValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(joined.data()),
                        static_cast<DWORD>(joined.size() * sizeof(wchar_t))) == ERROR_SUCCESS;
}
