#include <windows.h>

#include "common/win32.h"
#include "unzip/FileIdentity.h"

namespace unzip {
namespace {

// The path as CreateFileW takes it past the classic length limit: absolute, with the
// extended-length prefix (the same form the portable file functions use).
std::wstring LongPath(const std::string& path) {
  std::wstring w = win32::Wide(path);
  constexpr std::size_t kShortLimit = 240;
  if (w.size() < kShortLimit || w.rfind(L"\\\\?\\", 0) == 0) return w;
  DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
  if (n == 0) return w;
  std::wstring full(n, L'\0');
  n = GetFullPathNameW(w.c_str(), n, full.data(), nullptr);
  full.resize(n);
  if (full.rfind(L"\\\\", 0) == 0) {
    if (full.rfind(L"\\\\.\\", 0) == 0) return full;
    return L"\\\\?\\UNC\\" + full.substr(2);
  }
  return L"\\\\?\\" + full;
}

}  // namespace

TFileIdentity FileIdentity(const std::string& path) {
  TFileIdentity id;
  // No access rights asked for: the identity of a file that is open without sharing (the
  // archive being read) can still be looked at.
  win32::FileHandle file(CreateFileW(LongPath(path).c_str(), 0,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file) return id;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file.get(), &info)) return id;
  id.Known = true;
  id.Volume = info.dwVolumeSerialNumber;
  id.Index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return id;
}

}  // namespace unzip
