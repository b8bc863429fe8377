#include "tools/ztkuinst/PrivateCopy_win32.h"

#include <aclapi.h>
#include <bcrypt.h>
#include <sddl.h>

#include <memory>

#include "common/osfile.h"
#include "engine/DirTree.h"
#include "setup/InstTool.h"
#include "setup/Platform_win32.h"

namespace uninst {

namespace {

// bcrypt is resolved at run time from the system directory, like every library that is not
// always mapped from there.
struct TBCrypt {
  using OpenProvider = LONG(WINAPI*)(BCRYPT_ALG_HANDLE*, LPCWSTR, LPCWSTR, ULONG);
  using CloseProvider = LONG(WINAPI*)(BCRYPT_ALG_HANDLE, ULONG);
  using CreateHash = LONG(WINAPI*)(BCRYPT_ALG_HANDLE, BCRYPT_HASH_HANDLE*, PUCHAR, ULONG, PUCHAR,
                                   ULONG, ULONG);
  using HashData = LONG(WINAPI*)(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG);
  using FinishHash = LONG(WINAPI*)(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG);
  using DestroyHash = LONG(WINAPI*)(BCRYPT_HASH_HANDLE);
  using GenRandom = LONG(WINAPI*)(BCRYPT_ALG_HANDLE, PUCHAR, ULONG, ULONG);

  OpenProvider Open = nullptr;
  CloseProvider Close = nullptr;
  CreateHash Create = nullptr;
  HashData Data = nullptr;
  FinishHash Finish = nullptr;
  DestroyHash Destroy = nullptr;
  GenRandom Random = nullptr;

  bool Complete() const { return Open && Close && Create && Data && Finish && Destroy && Random; }

  static const TBCrypt& Get() {
    static const TBCrypt api = [] {
      TBCrypt a;
      HMODULE module = LoadSystemLibrary(L"bcrypt.dll");
      if (!module) return a;
      const auto get = [module](const char* name) {
        return reinterpret_cast<void*>(GetProcAddress(module, name));
      };
      a.Open = reinterpret_cast<OpenProvider>(get("BCryptOpenAlgorithmProvider"));
      a.Close = reinterpret_cast<CloseProvider>(get("BCryptCloseAlgorithmProvider"));
      a.Create = reinterpret_cast<CreateHash>(get("BCryptCreateHash"));
      a.Data = reinterpret_cast<HashData>(get("BCryptHashData"));
      a.Finish = reinterpret_cast<FinishHash>(get("BCryptFinishHash"));
      a.Destroy = reinterpret_cast<DestroyHash>(get("BCryptDestroyHash"));
      a.Random = reinterpret_cast<GenRandom>(get("BCryptGenRandom"));
      return a;
    }();
    return api;
  }
};

// The process's user SID, copied out of its token.
std::vector<std::uint8_t> ProcessUserSid() {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return {};
  win32::Handle token(raw);
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  std::vector<std::uint8_t> buffer(size);
  if (size == 0 || !GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size))
    return {};
  PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
  std::vector<std::uint8_t> copy(GetLengthSid(sid));
  CopySid(static_cast<DWORD>(copy.size()), copy.data(), sid);
  return copy;
}

std::vector<std::uint8_t> WellKnownSid(WELL_KNOWN_SID_TYPE type) {
  std::vector<std::uint8_t> sid(SECURITY_MAX_SID_SIZE);
  DWORD size = static_cast<DWORD>(sid.size());
  if (!CreateWellKnownSid(type, nullptr, sid.data(), &size)) return {};
  sid.resize(size);
  return sid;
}

bool IsAdministrator() {
  std::vector<std::uint8_t> admins = WellKnownSid(WinBuiltinAdministratorsSid);
  BOOL member = FALSE;
  return !admins.empty() && CheckTokenMembership(nullptr, admins.data(), &member) && member;
}

std::string LastError(const std::string& what) {
  return what + ": " + win32::ErrorText(GetLastError());
}

}  // namespace

bool RunsAsSystem() {
  const std::vector<std::uint8_t> user = ProcessUserSid();
  return !user.empty() && IsWellKnownSid(const_cast<std::uint8_t*>(user.data()), WinLocalSystemSid);
}

std::string PrivateTempRoot() {
  using GetTempPath2 = DWORD(WINAPI*)(DWORD, LPWSTR);
  const auto getTempPath2 = reinterpret_cast<GetTempPath2>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTempPath2W")));
  wchar_t buffer[MAX_PATH + 2] = {};
  if (getTempPath2) {
    const DWORD n = getTempPath2(MAX_PATH + 1, buffer);
    if (n > 0 && n <= MAX_PATH + 1) return win32::Narrow(std::wstring(buffer, n));
  }
  if (RunsAsSystem()) {
    const UINT n = GetWindowsDirectoryW(buffer, MAX_PATH + 1);
    if (n > 0 && n <= MAX_PATH) return win32::Narrow(std::wstring(buffer, n)) + "\\Temp\\";
  }
  std::string temp = GetTempDirectory();
  if (!temp.empty() && !os::IsPathSeparator(temp.back())) temp += '\\';
  return temp;
}

std::string RandomName() {
  std::uint8_t bytes[16] = {};
  const TBCrypt& api = TBCrypt::Get();
  if (!api.Random || api.Random(nullptr, bytes, sizeof bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0)
    return std::string();
  static const char kDigits[] = "0123456789abcdef";
  std::string name;
  for (std::uint8_t b : bytes) {
    name += kDigits[b >> 4];
    name += kDigits[b & 15];
  }
  return name;
}

bool TPrivateSecurity::Build(std::string& error) {
  const std::vector<std::uint8_t> system = WellKnownSid(WinLocalSystemSid);
  const std::vector<std::uint8_t> admins = WellKnownSid(WinBuiltinAdministratorsSid);
  const std::vector<std::uint8_t> user = ProcessUserSid();
  if (system.empty() || admins.empty() || user.empty()) {
    error = LastError("the security identifiers");
    return false;
  }
  const DWORD userRights =
      EqualSid(const_cast<std::uint8_t*>(user.data()), const_cast<std::uint8_t*>(system.data())) ||
              IsAdministrator()
          ? (FILE_GENERIC_READ | FILE_GENERIC_EXECUTE)
          : FILE_ALL_ACCESS;
  const DWORD aclSize = sizeof(ACL) + 3 * (sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD)) +
                        static_cast<DWORD>(system.size() + admins.size() + user.size());
  acl_.assign(aclSize, 0);
  PACL acl = reinterpret_cast<PACL>(acl_.data());
  const DWORD inherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
  if (!InitializeAcl(acl, aclSize, ACL_REVISION) ||
      !AddAccessAllowedAceEx(acl, ACL_REVISION, inherit, FILE_ALL_ACCESS,
                             const_cast<std::uint8_t*>(system.data())) ||
      !AddAccessAllowedAceEx(acl, ACL_REVISION, inherit, FILE_ALL_ACCESS,
                             const_cast<std::uint8_t*>(admins.data())) ||
      !AddAccessAllowedAceEx(acl, ACL_REVISION, inherit, userRights,
                             const_cast<std::uint8_t*>(user.data()))) {
    error = LastError("the access list");
    return false;
  }
  if (!InitializeSecurityDescriptor(&Descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&Descriptor, TRUE, acl, FALSE) ||
      !SetSecurityDescriptorControl(&Descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
    error = LastError("the security descriptor");
    return false;
  }
  return true;
}

std::string TPrivateSecurity::Text() const {
  LPWSTR sddl = nullptr;
  if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(
          const_cast<SECURITY_DESCRIPTOR*>(&Descriptor), SDDL_REVISION_1,
          DACL_SECURITY_INFORMATION, &sddl, nullptr))
    return std::string();
  const std::string text = win32::Narrow(sddl);
  LocalFree(sddl);
  return text;
}

TPrivateDirectory::~TPrivateDirectory() { Remove(); }

bool TPrivateDirectory::Create(const std::string& root, std::string& error) {
  const std::string random = RandomName();
  return Create(root, random.empty() ? std::string() : "ztkuinst-" + random, error);
}

bool TPrivateDirectory::Create(const std::string& root, const std::string& name,
                               std::string& error) {
  if (name.empty() || root.empty()) {
    error = "no random name or no temporary directory";
    return false;
  }
  TPrivateSecurity security;
  if (!security.Build(error)) return false;
  SECURITY_ATTRIBUTES attributes{sizeof attributes, &security.Descriptor, FALSE};
  std::string path = root;
  if (!os::IsPathSeparator(path.back())) path += '\\';
  path += name;
  // Made here, with its access list from the first moment; an existing one is never used.
  if (!CreateDirectoryW(win32::Wide(path).c_str(), &attributes)) {
    error = LastError(path);
    return false;
  }
  path_ = path;
  directory_.reset(CreateFileW(win32::Wide(path).c_str(), FILE_LIST_DIRECTORY | SYNCHRONIZE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                               nullptr));
  if (!directory_) {
    error = LastError(path);
    Remove();
    return false;
  }
  return true;
}

void TPrivateDirectory::Remove() {
  directory_.reset();
  if (path_.empty()) return;
  DeleteDirTree(path_, false);
  path_.clear();
}

bool Sha256OfFile(HANDLE file, std::vector<std::uint8_t>& digest, std::uint64_t& size) {
  const TBCrypt& api = TBCrypt::Get();
  if (!api.Complete()) return false;
  LARGE_INTEGER zero{};
  if (!SetFilePointerEx(file, zero, nullptr, FILE_BEGIN)) return false;
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (api.Open(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) return false;
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool ok = api.Create(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0;
  size = 0;
  std::vector<std::uint8_t> buffer(1 << 16);
  while (ok) {
    DWORD got = 0;
    if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
      ok = false;
      break;
    }
    if (got == 0) break;
    size += got;
    ok = api.Data(hash, buffer.data(), got, 0) == 0;
  }
  if (ok) {
    digest.assign(32, 0);
    ok = api.Finish(hash, digest.data(), 32, 0) == 0;
  }
  if (hash) api.Destroy(hash);
  api.Close(algorithm, 0);
  return ok;
}

bool CopyVerified(const std::string& from, const std::string& to, win32::FileHandle& held,
                  std::string& error) {
  if (!CopyFileW(win32::LongPath(from).c_str(), win32::LongPath(to).c_str(), TRUE)) {
    error = LastError(from);
    return false;
  }
  // Read-only sharing: from here on nobody writes, renames or deletes the copy.
  held.reset(CreateFileW(win32::LongPath(to).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!held) {
    error = LastError(to);
    return false;
  }
  win32::FileHandle original(CreateFileW(win32::LongPath(from).c_str(), GENERIC_READ,
                                         FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!original) {
    error = LastError(from);
    return false;
  }
  std::vector<std::uint8_t> copyDigest, originalDigest;
  std::uint64_t copySize = 0, originalSize = 0;
  if (!Sha256OfFile(held.get(), copyDigest, copySize) ||
      !Sha256OfFile(original.get(), originalDigest, originalSize)) {
    error = LastError("the check of " + to);
    return false;
  }
  if (copySize != originalSize || copyDigest != originalDigest) {
    error = to + " is not the same as " + from;
    return false;
  }
  return true;
}

}  // namespace uninst
