// The portable file functions: everything the portable core (description, unzip, the log)
// needs from the operating system. Paths are UTF-8. Natively "\" is accepted as a path
// separator too, so the same paths that are built for Windows work on Linux.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// <windows.h> maps ReplaceFile to its wide API; inside namespace os the name is ours.
#ifdef ReplaceFile
#undef ReplaceFile
#endif

namespace os {

enum class OpenMode {
  Read,       // existing file, read only
  ReadWrite,  // existing file, read and write
  Create,     // create or truncate, read and write
  CreateNew,  // create a file that must not exist yet, read and write; it may be renamed
              // while open (File::RenameTo)
};

enum class SeekOrigin { Begin, Current, End };

// An open file. Move-only; closes itself. Errors of the calls are reported by exceptions
// of class EInOutError whose message is the system's error text.
class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool IsOpen() const { return handle_ != kInvalid; }
  // Reads up to `count` bytes; returns how many were read (0 at the end of the file).
  std::size_t Read(void* buffer, std::size_t count);
  // Writes all `count` bytes or throws.
  void Write(const void* buffer, std::size_t count);
  // Moves the position; returns the new position from the start.
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin);
  std::int64_t Size();
  // Forces what was written to the disk itself (not only the system's cache); false on failure.
  bool Flush();
  void Close();
  // The path the file was opened under (after RenameTo, its new one).
  const std::string& Path() const { return path_; }

  // Through the open file, without opening it again by name (every open by name costs a
  // round trip to the system, and an extraction makes thousands of files): the modification
  // time from a DOS date-time stamp (local time; date in the high 16 bits) and the
  // read-only, hidden, system and archive bits of `attributes` (natively only read-only, as
  // the write bits). The time stays as set when the file is closed. False on failure (see
  // LastErrorMessage).
  bool SetTimeAndAttributes(std::uint32_t dosDateTime, std::uint32_t attributes);
  // Moves the open file to `newPath`, replacing a file there, as ReplaceFile does; the file
  // stays open. Only for a file opened with OpenMode::CreateNew. False on failure (see
  // LastErrorMessage): the file is then still open under its old name.
  bool RenameTo(const std::string& newPath);

 private:
  friend File OpenFile(const std::string& path, OpenMode mode, bool denyWriters);
  static constexpr std::intptr_t kInvalid = -1;
  std::intptr_t handle_ = kInvalid;
  std::string path_;
};

// Opens a file. With denyWriters other processes cannot open it for writing while it is
// open (on Windows the share mode; natively no such restriction exists). On failure the
// result is not open and LastErrorMessage() tells why.
File OpenFile(const std::string& path, OpenMode mode, bool denyWriters = true);
// The system's text for the last failed call of this thread.
std::string LastErrorMessage();

bool FileExists(const std::string& path);       // an existing file (not a directory)
bool DirectoryExists(const std::string& path);
// Creates the directory and every missing parent; true when it exists afterwards.
bool CreateDirectories(const std::string& path);
bool RemoveFile(const std::string& path);
bool RemoveDir(const std::string& path);
bool MoveFileTo(const std::string& from, const std::string& to);
// Moves `from` over `to`, replacing an existing file (atomically where the system allows it:
// a reader sees the old file or the new one, never a mix).
bool ReplaceFile(const std::string& from, const std::string& to);
// Copies a file; an existing target is overwritten only with `overwrite`.
bool CopyFileTo(const std::string& from, const std::string& to, bool overwrite);

// DOS file attribute bits as ZIP and Windows use them.
constexpr std::uint32_t kAttrReadOnly = 0x01;
constexpr std::uint32_t kAttrHidden = 0x02;
constexpr std::uint32_t kAttrSystem = 0x04;
constexpr std::uint32_t kAttrDirectory = 0x10;
constexpr std::uint32_t kAttrArchive = 0x20;
// A junction or symbolic link (natively: a symbolic link).
constexpr std::uint32_t kAttrReparsePoint = 0x400;
constexpr std::uint32_t kInvalidAttributes = 0xFFFFFFFF;

// The attributes of a file or directory (of a link itself, not its target);
// kInvalidAttributes when it does not exist.
std::uint32_t GetAttributes(const std::string& path);
// Sets the read-only, hidden, system and archive bits (natively only read-only, as the write
// bits).
bool SetAttributes(const std::string& path, std::uint32_t attributes);

struct DirEntry {
  std::string Name;
  std::uint32_t Attributes = 0;
};
// The entries of a directory, hidden and system ones included, without "." and "..";
// empty when the directory cannot be read.
std::vector<DirEntry> ListDirectory(const std::string& directory);

// Sets the modification time from a DOS date-time stamp (local time; date in the high 16
// bits) and then the attributes (natively only read-only is kept, as the write bits).
bool SetFileTimeAndAttributes(const std::string& path, std::uint32_t dosDateTime,
                              std::uint32_t attributes);
// The file's modification time as a DOS date-time stamp (local time); 0 when unknown.
std::uint32_t GetFileDosDateTime(const std::string& path);
// Size in bytes of an existing file, -1 when it cannot be read.
std::int64_t GetFileSize(const std::string& path);

std::string CurrentDirectory();
// The path as the operating system takes it (natively "\" becomes "/").
std::string NativePath(const std::string& path);
// True for "\" (and natively also "/").
bool IsPathSeparator(char c);

// Sleeps the calling thread.
void SleepMs(unsigned milliseconds);

}  // namespace os
