// The Win32 side of the shared operations.
#include <windows.h>
#include <shellapi.h>

#include "common/win32.h"
#include "setup/InstTool.h"
#include "setup/Messages.h"
#include "setup/Platform_win32.h"

std::vector<std::string> GetProgramParams() {
  std::vector<std::string> params;
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return params;
  for (int i = 1; i < argc; ++i) params.push_back(win32::Narrow(argv[i]));
  LocalFree(argv);
  return params;
}

std::string GetTempDirectory() {
  wchar_t buffer[261] = {};
  DWORD n = GetTempPathW(261, buffer);
  if (n == 0 || n > 261) return {};
  return win32::Narrow(std::wstring_view(buffer, n));
}

std::int64_t GetFreeDiskSpaceKB(const std::string& path) {
  std::string root = path;
  if (root.empty() || root.back() != '\\') root += '\\';
  std::wstring w = win32::Wide(root);
  const TPlatformFacts facts = GetPlatformFacts();
  if (facts.IsWindows9x && (facts.BuildNumber & 0xFFFF) <= 1000) {
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
    if (!GetDiskFreeSpaceW(w.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                           &totalClusters))
      return 0;
    std::int64_t bytes = static_cast<std::int64_t>(freeClusters) * sectorsPerCluster * bytesPerSector;
    return (bytes + 512) / 1024;
  }
  ULARGE_INTEGER available, total, totalFree;
  if (!GetDiskFreeSpaceExW(w.c_str(), &available, &total, &totalFree)) return 0;
  return static_cast<std::int64_t>((totalFree.QuadPart + 512) / 1024);
}

void ClearUninstallMark() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\ZTKUNINSTALL", 0, KEY_READ, &key) == ERROR_SUCCESS) {
    RegCloseKey(key);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"SOFTWARE\\ZTKUNINSTALL");
  }
}

void RebootWindowsWith(const ExitWindowsFunction& exitWindows) {
  if (!GetPlatformFacts().IsWindows9x) {
    HANDLE token = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
      win32::Handle owner(token);
      TOKEN_PRIVILEGES privileges{};
      if (LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid)) {
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
      }
    }
  }
  // Shut down and restart, without forcing: a program that refuses to close keeps its data
  // and the restart simply does not happen.
  exitWindows(EWX_SHUTDOWN | EWX_REBOOT, SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_FLAG_PLANNED);
}

void RebootWindows() {
  // The result is not checked: a refused restart leaves the machine as it is.
  RebootWindowsWith([](unsigned flags, unsigned long reason) {
    ExitWindowsEx(flags, static_cast<DWORD>(reason));
  });
}

bool SameTextLocale(const std::string& a, const std::string& b) {
  std::wstring wa = win32::Wide(a), wb = win32::Wide(b);
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, wa.c_str(), static_cast<int>(wa.size()),
                        wb.c_str(), static_cast<int>(wb.size())) == CSTR_EQUAL;
}
