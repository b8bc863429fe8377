// The portable file functions on POSIX systems (the native build of the core and its tests).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <thread>
#include <utility>
#include <vector>

#include "common/errors.h"
#include "common/osfile.h"

namespace os {
namespace {

thread_local std::string tLastError;

bool Fail() {
  tLastError = std::strerror(errno);
  return false;
}

[[noreturn]] void Raise() { throw EInOutError(std::strerror(errno)); }

int Fd(std::intptr_t h) { return static_cast<int>(h); }

// A DOS date-time stamp (local time) as a time_t; -1 when it names no valid time.
std::time_t DosDateTimeToTime(std::uint32_t dosDateTime) {
  std::tm tm{};
  tm.tm_year = static_cast<int>((dosDateTime >> 25) & 0x7F) + 80;
  tm.tm_mon = static_cast<int>((dosDateTime >> 21) & 0x0F) - 1;
  tm.tm_mday = static_cast<int>((dosDateTime >> 16) & 0x1F);
  tm.tm_hour = static_cast<int>((dosDateTime >> 11) & 0x1F);
  tm.tm_min = static_cast<int>((dosDateTime >> 5) & 0x3F);
  tm.tm_sec = static_cast<int>((dosDateTime & 0x1F) * 2);
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

// The permission bits of `mode` with the write bits as the read-only attribute says.
mode_t WriteBits(mode_t mode, std::uint32_t attributes) {
  mode &= 07777;
  return (attributes & kAttrReadOnly) ? (mode & ~static_cast<mode_t>(0222)) : (mode | 0200);
}

}  // namespace

bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

std::string NativePath(const std::string& path) {
  std::string out = path;
  for (char& c : out) {
    if (c == '\\') c = '/';
  }
  return out;
}

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
    ssize_t n = ::read(Fd(handle_), p + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      Raise();
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

void File::Write(const void* buffer, std::size_t count) {
  std::size_t done = 0;
  const auto* p = static_cast<const char*>(buffer);
  while (done < count) {
    ssize_t n = ::write(Fd(handle_), p + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      Raise();
    }
    done += static_cast<std::size_t>(n);
  }
}

std::int64_t File::Seek(std::int64_t offset, SeekOrigin origin) {
  int whence = origin == SeekOrigin::Begin ? SEEK_SET : origin == SeekOrigin::Current ? SEEK_CUR : SEEK_END;
  off_t r = ::lseek(Fd(handle_), static_cast<off_t>(offset), whence);
  if (r < 0) Raise();
  return r;
}

std::int64_t File::Size() {
  struct stat st {};
  if (::fstat(Fd(handle_), &st) != 0) Raise();
  return st.st_size;
}

bool File::Flush() { return IsOpen() && ::fsync(Fd(handle_)) == 0; }

void File::Close() {
  if (handle_ != kInvalid) {
    ::close(Fd(handle_));
    handle_ = kInvalid;
  }
}

bool File::SetTimeAndAttributes(std::uint32_t dosDateTime, std::uint32_t attributes) {
  bool ok = true;
  const std::time_t t = DosDateTimeToTime(dosDateTime);
  if (t != static_cast<std::time_t>(-1)) {
    struct timespec times[2];
    times[0].tv_sec = t;
    times[0].tv_nsec = 0;
    times[1] = times[0];
    if (::futimens(Fd(handle_), times) != 0) ok = Fail();
  }
  struct stat st {};
  if (::fstat(Fd(handle_), &st) != 0) return Fail();
  if (::fchmod(Fd(handle_), WriteBits(st.st_mode, attributes)) != 0) ok = Fail();
  return ok;
}

bool File::RenameTo(const std::string& newPath) {
  if (::rename(NativePath(path_).c_str(), NativePath(newPath).c_str()) != 0) return Fail();
  path_ = newPath;
  return true;
}

File OpenFile(const std::string& path, OpenMode mode, bool /*denyWriters*/) {
  // O_NONBLOCK: opening a FIFO must not wait for a writer; anything but a regular file is
  // refused below, and the flag is cleared again for the file.
  int flags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  switch (mode) {
    case OpenMode::Read: flags |= O_RDONLY; break;
    case OpenMode::ReadWrite: flags |= O_RDWR; break;
    case OpenMode::Create: flags |= O_RDWR | O_CREAT; break;
    case OpenMode::CreateNew: flags |= O_RDWR | O_CREAT | O_EXCL; break;
  }
  File f;
  std::string native = NativePath(path);
  int fd = ::open(native.c_str(), flags, 0666);
  if (fd < 0) {
    Fail();
    return f;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    bool isDir = S_ISDIR(st.st_mode);
    ::close(fd);
    if (isDir) {
      errno = EISDIR;
      Fail();
    } else {
      tLastError = "Not a regular file";
    }
    return f;
  }
  // Truncated only now that it is known to be a regular file.
  if ((mode == OpenMode::Create && ::ftruncate(fd, 0) != 0) ||
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    Fail();
    ::close(fd);
    return f;
  }
  f.handle_ = fd;
  f.path_ = path;
  return f;
}

std::string LastErrorMessage() { return tLastError; }

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(NativePath(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return ::stat(NativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDirectories(const std::string& path) {
  std::string native = NativePath(path);
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  if (native.empty()) return false;
  for (std::size_t i = 1; i <= native.size(); ++i) {
    if (i == native.size() || native[i] == '/') {
      std::string part = native.substr(0, i);
      if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return Fail();
    }
  }
  return DirectoryExists(native) || Fail();
}

bool RemoveFile(const std::string& path) {
  return ::unlink(NativePath(path).c_str()) == 0 || Fail();
}

bool RemoveDir(const std::string& path) {
  std::string native = NativePath(path);
  struct stat st {};
  // A link to a directory goes itself, as a junction does on Windows.
  if (::lstat(native.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    return ::unlink(native.c_str()) == 0 || Fail();
  }
  return ::rmdir(native.c_str()) == 0 || Fail();
}

bool MoveFileTo(const std::string& from, const std::string& to) {
  return ::rename(NativePath(from).c_str(), NativePath(to).c_str()) == 0 || Fail();
}

bool ReplaceFile(const std::string& from, const std::string& to) {
  return ::rename(NativePath(from).c_str(), NativePath(to).c_str()) == 0 || Fail();
}

bool CopyFileTo(const std::string& from, const std::string& to, bool overwrite) {
  if (!overwrite && GetAttributes(to) != kInvalidAttributes) {
    errno = EEXIST;
    return Fail();
  }
  try {
    File in = OpenFile(from, OpenMode::Read);
    if (!in.IsOpen()) return false;
    File out = OpenFile(to, OpenMode::Create);
    if (!out.IsOpen()) return false;
    std::vector<char> buffer(1 << 16);
    while (std::size_t n = in.Read(buffer.data(), buffer.size())) out.Write(buffer.data(), n);
    return true;
  } catch (const EInOutError& e) {
    tLastError = e.Message();
    return false;
  }
}

std::uint32_t GetAttributes(const std::string& path) {
  struct stat st {};
  std::string native = NativePath(path);
  if (::lstat(native.c_str(), &st) != 0) return kInvalidAttributes;
  std::uint32_t attrs = 0;
  if (S_ISLNK(st.st_mode)) {
    attrs |= kAttrReparsePoint;
    struct stat target {};
    if (::stat(native.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) attrs |= kAttrDirectory;
  } else if (S_ISDIR(st.st_mode)) {
    attrs |= kAttrDirectory;
  }
  if (!(st.st_mode & 0200)) attrs |= kAttrReadOnly;
  return attrs ? attrs : kAttrArchive;
}

bool SetAttributes(const std::string& path, std::uint32_t attributes) {
  std::string native = NativePath(path);
  struct stat st {};
  if (::stat(native.c_str(), &st) != 0) return Fail();
  mode_t mode = st.st_mode & 07777;
  mode = (attributes & kAttrReadOnly) ? (mode & ~static_cast<mode_t>(0222)) : (mode | 0200);
  return ::chmod(native.c_str(), mode) == 0 || Fail();
}

std::vector<DirEntry> ListDirectory(const std::string& directory) {
  std::vector<DirEntry> entries;
  std::string native = NativePath(directory);
  DIR* dir = ::opendir(native.c_str());
  if (!dir) {
    Fail();
    return entries;
  }
  while (dirent* d = ::readdir(dir)) {
    std::string name = d->d_name;
    if (name == "." || name == "..") continue;
    entries.push_back({name, GetAttributes(directory + "/" + name)});
  }
  ::closedir(dir);
  return entries;
}

bool SetFileTimeAndAttributes(const std::string& path, std::uint32_t dosDateTime,
                              std::uint32_t attributes) {
  std::string native = NativePath(path);
  const std::time_t t = DosDateTimeToTime(dosDateTime);
  bool ok = true;
  if (t != static_cast<std::time_t>(-1)) {
    struct timespec times[2];
    times[0].tv_sec = t;
    times[0].tv_nsec = 0;
    times[1] = times[0];
    if (::utimensat(AT_FDCWD, native.c_str(), times, 0) != 0) ok = Fail();
  }
  struct stat st {};
  if (::stat(native.c_str(), &st) != 0) return Fail();
  if (::chmod(native.c_str(), WriteBits(st.st_mode, attributes)) != 0) ok = Fail();
  return ok;
}

std::uint32_t GetFileDosDateTime(const std::string& path) {
  struct stat st {};
  if (::stat(NativePath(path).c_str(), &st) != 0) return 0;
  std::tm tm{};
  std::time_t t = st.st_mtime;
  if (!::localtime_r(&t, &tm) || tm.tm_year < 80) return 0;
  return (static_cast<std::uint32_t>(tm.tm_year - 80) << 25) |
         (static_cast<std::uint32_t>(tm.tm_mon + 1) << 21) |
         (static_cast<std::uint32_t>(tm.tm_mday) << 16) |
         (static_cast<std::uint32_t>(tm.tm_hour) << 11) |
         (static_cast<std::uint32_t>(tm.tm_min) << 5) | static_cast<std::uint32_t>(tm.tm_sec / 2);
}

std::int64_t GetFileSize(const std::string& path) {
  struct stat st {};
  if (::stat(NativePath(path).c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
  return st.st_size;
}

std::string CurrentDirectory() {
  char buf[4096];
  return ::getcwd(buf, sizeof buf) ? std::string(buf) : std::string();
}

void SleepMs(unsigned milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace os
