#include <windows.h>

#include "common/win32.h"
#include "unzip/FileIdentity.h"

namespace unzip {
TFileIdentity FileIdentity(const std::string& path) {
  TFileIdentity id;
  // No access rights asked for: the identity of a file that is open without sharing (the
  // archive being read) can still be looked at.
  win32::FileHandle file(CreateFileW(win32::LongPath(path).c_str(), 0,
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
