// The removal of directories on Windows, relative to open handles: each directory is opened
// without following a reparse point and everything in it is opened and deleted relative to
// that handle. A junction or symbolic link found inside (or put there while the removal
// runs) is deleted as the link it is; its target is never entered, so nothing outside the
// tree named can be deleted, whatever was checked about that tree before.
#include <windows.h>
#include <winternl.h>

#include <vector>

#include "common/errors.h"
#include "common/osfile.h"
#include "common/pathrules.h"
#include "common/win32.h"
#include "engine/DirTree.h"
#include "setup/Messages.h"
#include "setup/SetupGlobals.h"
#include "unzip/Pattern.h"

namespace {

constexpr DWORD kClearBits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr ACCESS_MASK kDirectoryAccess =
    DELETE | FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE;
constexpr ACCESS_MASK kEntryAccess = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE;

enum class TKind { File, Directory, Any };

// Opens `name` inside the directory `parent` without following a reparse point.
win32::FileHandle OpenRelative(HANDLE parent, const std::wstring& name, ACCESS_MASK access, TKind kind) {
  UNICODE_STRING unicode;
  unicode.Buffer = const_cast<PWSTR>(name.c_str());
  unicode.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  unicode.MaximumLength = unicode.Length;
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &unicode, OBJ_CASE_INSENSITIVE, parent, nullptr);
  IO_STATUS_BLOCK status{};
  ULONG options = FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT | FILE_SYNCHRONOUS_IO_NONALERT;
  if (kind == TKind::Directory) options |= FILE_DIRECTORY_FILE;
  if (kind == TKind::File) options |= FILE_NON_DIRECTORY_FILE;
  HANDLE handle = INVALID_HANDLE_VALUE;
  const NTSTATUS result = NtOpenFile(&handle, access, &attributes, &status, kShareAll, options);
  if (result < 0) {
    SetLastError(RtlNtStatusToDosError(result));
    return win32::FileHandle();
  }
  return win32::FileHandle(handle);
}

DWORD AttributesOf(HANDLE handle) {
  FILE_BASIC_INFO info{};
  if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &info, sizeof info)) return INVALID_FILE_ATTRIBUTES;
  return info.FileAttributes;
}

// Clears the bits that keep a file from being deleted, then marks it for deletion; it goes
// when the handle closes.
bool DeleteByHandle(HANDLE handle) {
  FILE_BASIC_INFO info{};
  if (GetFileInformationByHandleEx(handle, FileBasicInfo, &info, sizeof info) && (info.FileAttributes & kClearBits)) {
    info.FileAttributes &= ~kClearBits;
    if (info.FileAttributes == 0) info.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    SetFileInformationByHandle(handle, FileBasicInfo, &info, sizeof info);
  }
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

// Whether `name` is gone from `parent` (a deletion still pending counts as gone).
bool Gone(HANDLE parent, const std::wstring& name) {
  if (OpenRelative(parent, name, FILE_READ_ATTRIBUTES | SYNCHRONIZE, TKind::Any)) return false;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_ACCESS_DENIED;
}

struct TEntry {
  std::wstring Name;
  DWORD Attributes = 0;
};

std::vector<TEntry> ListEntries(HANDLE directory) {
  std::vector<TEntry> entries;
  std::vector<unsigned char> buffer(64 * 1024);
  FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
  while (GetFileInformationByHandleEx(directory, kind, buffer.data(), static_cast<DWORD>(buffer.size()))) {
    kind = FileIdBothDirectoryInfo;
    for (std::size_t offset = 0;;) {
      const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data() + offset);
      std::wstring name(info->FileName, info->FileNameLength / sizeof(wchar_t));
      if (name != L"." && name != L"..") entries.push_back({std::move(name), info->FileAttributes});
      if (info->NextEntryOffset == 0) break;
      offset += info->NextEntryOffset;
    }
  }
  return entries;
}

bool MatchesPattern(const std::string& pattern, const std::string& name) {
  if (pattern == "*.*" || pattern == "*") return true;
  return MatchPattern(pattern, name) == pmMatch;
}

void ReportFile(const std::string& path, bool showErrors) {
  if (showErrors) {
    ShowBilingualMessage("Ошибка удаления файла" + path, "Error deleting file " + path, "Error", kErrorBox);
  }
}

// Opens a directory named by a full path one name at a time from its volume's root, never
// through a reparse point: a link anywhere on the way fails the open. The directory itself
// may be a link only when `linkItself` (it is then opened as the link, to be deleted).
win32::FileHandle OpenDirectoryChain(const std::string& directory, ACCESS_MASK access, bool linkItself) {
  std::string full = pathrules::NormalizeFullPath(directory);
  if (full.empty()) {
    // A relative name: made full against the current directory as the system would.
    std::wstring buffer(32768, L'\0');
    const DWORD n = GetFullPathNameW(win32::Wide(directory).c_str(), static_cast<DWORD>(buffer.size()),
                                     buffer.data(), nullptr);
    if (n == 0 || n >= buffer.size()) return win32::FileHandle();
    buffer.resize(n);
    full = pathrules::NormalizeFullPath(win32::Narrow(buffer));
  }
  if (full.empty()) return win32::FileHandle();
  std::string root, rest;
  if (full.rfind("\\\\", 0) == 0) {
    // "\\server\share": the share is the root that is opened by name.
    const std::size_t server = full.find('\\', 2);
    const std::size_t share = server == std::string::npos ? server : full.find('\\', server + 1);
    root = "\\\\?\\UNC\\" + full.substr(2, share == std::string::npos ? std::string::npos : share - 2) + "\\";
    rest = share == std::string::npos ? std::string() : full.substr(share + 1);
  } else {
    root = "\\\\?\\" + full.substr(0, 3);
    rest = full.substr(3);
  }
  const bool atRoot = rest.empty();
  win32::FileHandle handle(CreateFileW(win32::Wide(root).c_str(),
                                       atRoot ? access : FILE_TRAVERSE | FILE_LIST_DIRECTORY | SYNCHRONIZE,
                                       kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  std::size_t at = 0;
  while (handle && at < rest.size()) {
    std::size_t end = rest.find('\\', at);
    if (end == std::string::npos) end = rest.size();
    const bool last = end == rest.size();
    win32::FileHandle next = OpenRelative(handle.get(), win32::Wide(rest.substr(at, end - at)),
                                          last ? access : FILE_TRAVERSE | SYNCHRONIZE | FILE_READ_ATTRIBUTES,
                                          TKind::Directory);
    if (next && (!last || !linkItself) && (AttributesOf(next.get()) & FILE_ATTRIBUTE_REPARSE_POINT)) {
      SetLastError(ERROR_CANT_ACCESS_FILE);
      return win32::FileHandle();
    }
    handle = std::move(next);
    at = end + 1;
  }
  return handle;
}

bool DeleteFilesIn(HANDLE directory, const std::string& path, const std::string& pattern, bool showErrors) {
  for (const TEntry& entry : ListEntries(directory)) {
    if (entry.Attributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const std::string name = win32::Narrow(entry.Name);
    if (!MatchesPattern(pattern, name)) continue;
    win32::FileHandle file = OpenRelative(directory, entry.Name, kEntryAccess, TKind::File);
    if (!file || !DeleteByHandle(file.get())) {
      ReportFile(path + "\\" + name, showErrors);
      return false;
    }
  }
  return true;
}

// Removes what `directory` holds, then the directory itself (marked on its own handle; it
// goes when the caller closes it). True when the mark was set.
bool DeleteTreeAt(HANDLE directory, const std::string& path, bool showErrors) {
  DeleteFilesIn(directory, path, "*.*", showErrors);
  std::vector<TEntry> subdirectories;
  for (const TEntry& entry : ListEntries(directory)) {
    if (entry.Attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      // A link of either kind: the link goes, its target stays.
      if (win32::FileHandle link = OpenRelative(directory, entry.Name, kEntryAccess, TKind::Any))
        DeleteByHandle(link.get());
    } else if (entry.Attributes & FILE_ATTRIBUTE_DIRECTORY) {
      subdirectories.push_back(entry);
    }
  }
  for (auto it = subdirectories.rbegin(); it != subdirectories.rend(); ++it) {
    const std::string childPath = path + "\\" + win32::Narrow(it->Name);
    WriteLog(" deleting directory " + childPath);
    {
      win32::FileHandle child = OpenRelative(directory, it->Name, kDirectoryAccess, TKind::Any);
      if (child) {
        const DWORD attributes = AttributesOf(child.get());
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
          DeleteByHandle(child.get());  // became a link after it was listed
        } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
          DeleteTreeAt(child.get(), childPath, showErrors);
        }
      }
    }
    const bool removed = Gone(directory, it->Name);
    WriteLog(" directory " + childPath + (removed ? " was deleted" : " was not deleted"));
  }
  return DeleteByHandle(directory);
}

}  // namespace

bool DeleteDirFiles(const std::string& directory, const std::string& pattern, bool showErrors) {
  win32::FileHandle handle = OpenDirectoryChain(directory, FILE_LIST_DIRECTORY | FILE_TRAVERSE | SYNCHRONIZE, false);
  if (!handle) return true;  // nothing there to delete
  return DeleteFilesIn(handle.get(), directory, pattern, showErrors);
}

bool DeleteDirTree(const std::string& directory, bool showErrors) {
  WriteLog(" deleting directory " + directory);
  if (directory.empty()) return false;
  try {
    {
      win32::FileHandle handle = OpenDirectoryChain(directory, kDirectoryAccess, true);
      if (!handle) {
        WriteLog(" directory " + directory + " was not deleted");
        return false;
      }
      const DWORD attributes = AttributesOf(handle.get());
      if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        DeleteByHandle(handle.get());  // the directory named is itself a link: only it goes
      } else {
        DeleteTreeAt(handle.get(), directory, showErrors);
      }
    }
    const bool removed = os::GetAttributes(directory) == os::kInvalidAttributes;
    WriteLog(" directory " + directory + (removed ? " was deleted" : " was not deleted"));
    return removed;
  } catch (const Exception& e) {
    WriteLog(std::string(" ") + e.ClassName() + " : " + e.Message());
    return false;
  }
}

bool ReachedWithoutLinks(const std::string& directory, const std::string& path) {
  const std::size_t cut = path.find_last_of('\\');
  if (directory.empty() || cut == std::string::npos || cut < directory.size() || cut + 1 >= path.size())
    return false;
  win32::FileHandle parent = OpenDirectoryChain(path.substr(0, cut), FILE_TRAVERSE | SYNCHRONIZE, false);
  if (!parent) return false;
  win32::FileHandle file =
      OpenRelative(parent.get(), win32::Wide(path.substr(cut + 1)), FILE_READ_ATTRIBUTES | SYNCHRONIZE, TKind::File);
  return file && !(AttributesOf(file.get()) & FILE_ATTRIBUTE_REPARSE_POINT);
}
