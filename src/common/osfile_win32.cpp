// The portable file functions on Windows (wide APIs).
#include <windows.h>

#include <cstddef>
#include <cstring>
#include <utility>
#include <vector>

#include "common/errors.h"
#include "common/osfile.h"
#include "common/win32.h"

namespace win32 {
// The path as the wide APIs take it. Past the classic limit the path is made absolute and
// given the extended-length prefix ("\\?\C:\..." or "\\?\UNC\server\..."), which lifts
// the limit to about 32,000 characters. Such a path is not normalised by the system any
// more, so it is made absolute (and "." and ".." resolved) by GetFullPathNameW first.
std::wstring LongPath(const std::string& path) {
  std::wstring w = win32::Wide(path);
  constexpr std::size_t kShortLimit = 240;  // directories must leave room for an 8.3 name
  if (w.size() < kShortLimit || w.rfind(L"\\\\?\\", 0) == 0) return w;
  DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
  if (n == 0) return w;
  std::wstring full(n, L'\0');
  n = GetFullPathNameW(w.c_str(), n, full.data(), nullptr);
  full.resize(n);
  if (full.rfind(L"\\\\", 0) == 0) {
    if (full.rfind(L"\\\\.\\", 0) == 0) return full;  // a device path stays as it is
    return L"\\\\?\\UNC\\" + full.substr(2);
  }
  return L"\\\\?\\" + full;
}

std::string ErrorText(DWORD code) {
  wchar_t* buffer = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string msg;
  if (n && buffer) {
    msg = Narrow(std::wstring_view(buffer, n));
    LocalFree(buffer);
  }
  while (!msg.empty() && (msg.back() == '\n' || msg.back() == '\r' || msg.back() == ' ')) msg.pop_back();
  if (msg.empty()) msg = "System error " + std::to_string(code);
  return msg;
}
}  // namespace win32

namespace os {
namespace {

thread_local std::string tLastError;

bool Fail() {
  tLastError = win32::ErrorText(GetLastError());
  return false;
}

[[noreturn]] void Raise() { throw EInOutError(win32::ErrorText(GetLastError())); }

HANDLE H(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

// The bits SetFileAttributes takes from a DOS attribute byte; none is "normal".
DWORD SettableAttributes(std::uint32_t attributes) {
  const DWORD attrs = attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive);
  return attrs ? attrs : FILE_ATTRIBUTE_NORMAL;
}

std::wstring W(const std::string& path) { return win32::LongPath(path); }

}  // namespace

bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }
std::string NativePath(const std::string& path) { return path; }

File::~File() { Close(); }
File::File(File&& other) noexcept : handle_(other.handle_), path_(std::move(other.path_)) {
  other.handle_ = kInvalid;
}
File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    path_ = std::move(other.path_);
    other.handle_ = kInvalid;
  }
  return *this;
}

std::size_t File::Read(void* buffer, std::size_t count) {
  std::size_t done = 0;
  auto* p = static_cast<char*>(buffer);
  while (done < count) {
    DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 30));
    DWORD got = 0;
    if (!ReadFile(H(handle_), p + done, chunk, &got, nullptr)) Raise();
    if (got == 0) break;
    done += got;
  }
  return done;
}

void File::Write(const void* buffer, std::size_t count) {
  std::size_t done = 0;
  const auto* p = static_cast<const char*>(buffer);
  while (done < count) {
    DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 30));
    DWORD put = 0;
    if (!WriteFile(H(handle_), p + done, chunk, &put, nullptr)) Raise();
    if (put == 0) throw EInOutError("Disk full");
    done += put;
  }
}

std::int64_t File::Seek(std::int64_t offset, SeekOrigin origin) {
  DWORD method = origin == SeekOrigin::Begin ? FILE_BEGIN : origin == SeekOrigin::Current ? FILE_CURRENT : FILE_END;
  LARGE_INTEGER dist, result;
  dist.QuadPart = offset;
  if (!SetFilePointerEx(H(handle_), dist, &result, method)) Raise();
  return result.QuadPart;
}

bool File::Flush() { return IsOpen() && FlushFileBuffers(H(handle_)); }

std::int64_t File::Size() {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(H(handle_), &size)) Raise();
  return size.QuadPart;
}

void File::Close() {
  if (handle_ != kInvalid) {
    CloseHandle(H(handle_));
    handle_ = kInvalid;
  }
}

bool File::SetTimeAndAttributes(std::uint32_t dosDateTime, std::uint32_t attributes) {
  // One call on the handle sets both; a zero time or attribute field means "leave as it is".
  FILE_BASIC_INFO info{};
  FILETIME local, utc;
  if (DosDateTimeToFileTime(static_cast<WORD>(dosDateTime >> 16),
                            static_cast<WORD>(dosDateTime & 0xFFFF), &local) &&
      LocalFileTimeToFileTime(&local, &utc)) {
    info.LastWriteTime.LowPart = utc.dwLowDateTime;
    info.LastWriteTime.HighPart = static_cast<LONG>(utc.dwHighDateTime);
  }
  info.FileAttributes = SettableAttributes(attributes);
  return SetFileInformationByHandle(H(handle_), FileBasicInfo, &info, sizeof info) || Fail();
}

bool File::RenameTo(const std::string& newPath) {
  // FILE_RENAME_INFO ends in the name; the system takes a full path there.
  const std::wstring name = W(newPath);
  const std::size_t nameBytes = name.size() * sizeof(wchar_t);
  std::vector<unsigned char> block(offsetof(FILE_RENAME_INFO, FileName) + nameBytes + sizeof(wchar_t));
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(block.data());
  info->ReplaceIfExists = TRUE;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(nameBytes);
  std::memcpy(info->FileName, name.c_str(), nameBytes + sizeof(wchar_t));
  if (!SetFileInformationByHandle(H(handle_), FileRenameInfo, info,
                                  static_cast<DWORD>(block.size()))) {
    return Fail();
  }
  path_ = newPath;
  return true;
}

File OpenFile(const std::string& path, OpenMode mode, bool denyWriters) {
  DWORD access = GENERIC_READ, disposition = OPEN_EXISTING;
  if (mode != OpenMode::Read) access |= GENERIC_WRITE;
  if (mode == OpenMode::Create) disposition = CREATE_ALWAYS;
  if (mode == OpenMode::CreateNew) {
    disposition = CREATE_NEW;
    access |= DELETE;  // for RenameTo
  }
  DWORD share = FILE_SHARE_READ | (denyWriters ? 0 : FILE_SHARE_WRITE);
  HANDLE h = CreateFileW(W(path).c_str(), access, share, nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  File f;
  if (h == INVALID_HANDLE_VALUE) {
    Fail();
    return f;
  }
  f.handle_ = reinterpret_cast<std::intptr_t>(h);
  f.path_ = path;
  // Devices and pipes ("CON", "\\.\pipe\...") are no files to read or write here.
  if (GetFileType(h) != FILE_TYPE_DISK) {
    f.Close();
    tLastError = "Not a regular file";
  }
  return f;
}

std::string LastErrorMessage() { return tLastError; }

bool FileExists(const std::string& path) {
  DWORD a = GetFileAttributesW(W(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
  DWORD a = GetFileAttributesW(W(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateDirectories(const std::string& path) {
  std::string p = path;
  while (p.size() > 3 && IsPathSeparator(p.back())) p.pop_back();
  if (p.empty()) return false;
  if (DirectoryExists(p)) return true;
  std::size_t cut = p.find_last_of("\\/");
  if (cut != std::string::npos && cut > 0) {
    std::string parent = p.substr(0, cut);
    if (!(parent.size() == 2 && parent[1] == ':') && !CreateDirectories(parent)) return false;
  }
  if (CreateDirectoryW(W(p).c_str(), nullptr)) return true;
  if (GetLastError() == ERROR_ALREADY_EXISTS && DirectoryExists(p)) return true;
  return Fail();
}

bool RemoveFile(const std::string& path) {
  return DeleteFileW(W(path).c_str()) || Fail();
}

bool RemoveDir(const std::string& path) {
  return RemoveDirectoryW(W(path).c_str()) || Fail();
}

bool MoveFileTo(const std::string& from, const std::string& to) {
  return MoveFileW(W(from).c_str(), W(to).c_str()) || Fail();
}

bool ReplaceFile(const std::string& from, const std::string& to) {
  return MoveFileExW(W(from).c_str(), W(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ||
         Fail();
}

bool CopyFileTo(const std::string& from, const std::string& to, bool overwrite) {
  return CopyFileW(W(from).c_str(), W(to).c_str(), overwrite ? FALSE : TRUE) || Fail();
}

std::uint32_t GetAttributes(const std::string& path) {
  DWORD a = GetFileAttributesW(W(path).c_str());
  return a == INVALID_FILE_ATTRIBUTES ? kInvalidAttributes : a;
}

bool SetAttributes(const std::string& path, std::uint32_t attributes) {
  return SetFileAttributesW(W(path).c_str(), SettableAttributes(attributes)) || Fail();
}

std::vector<DirEntry> ListDirectory(const std::string& directory) {
  std::vector<DirEntry> entries;
  std::string pattern = directory;
  if (!pattern.empty() && !IsPathSeparator(pattern.back())) pattern += '\\';
  pattern += '*';
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileExW(W(pattern).c_str(), FindExInfoBasic, &data,
                                 FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) {
    Fail();
    return entries;
  }
  do {
    std::wstring_view name(data.cFileName);
    if (name == L"." || name == L"..") continue;
    entries.push_back({win32::Narrow(name), data.dwFileAttributes});
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return entries;
}

bool SetFileTimeAndAttributes(const std::string& path, std::uint32_t dosDateTime,
                              std::uint32_t attributes) {
  std::wstring w = W(path);
  bool ok = true;
  {
    win32::FileHandle h(CreateFileW(w.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    FILETIME local, utc;
    if (!h) {
      ok = Fail();
    } else if (DosDateTimeToFileTime(static_cast<WORD>(dosDateTime >> 16),
                                     static_cast<WORD>(dosDateTime & 0xFFFF), &local) &&
               LocalFileTimeToFileTime(&local, &utc)) {
      if (!SetFileTime(h.get(), nullptr, nullptr, &utc)) ok = Fail();
    }
  }
  if (!SetFileAttributesW(w.c_str(), SettableAttributes(attributes))) ok = Fail();
  return ok;
}

std::uint32_t GetFileDosDateTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(W(path).c_str(), GetFileExInfoStandard, &data)) return 0;
  FILETIME local;
  WORD date = 0, time = 0;
  if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) ||
      !FileTimeToDosDateTime(&local, &date, &time))
    return 0;
  return (static_cast<std::uint32_t>(date) << 16) | time;
}

std::int64_t GetFileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(W(path).c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return -1;
  return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string CurrentDirectory() {
  DWORD n = GetCurrentDirectoryW(0, nullptr);
  std::wstring buf(n, L'\0');
  n = GetCurrentDirectoryW(n, buf.data());
  buf.resize(n);
  return win32::Narrow(buf);
}

void SleepMs(unsigned milliseconds) { Sleep(milliseconds); }

}  // namespace os
