// The uninstaller's own directory for the setup copy it starts elevated. A directory in a
// place other users can write, or a copy that changed after it was made, would let them
// choose the program that runs with the administrator's (or SYSTEM's) rights.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/win32.h"

namespace uninst {

// Where the directory is made. Run as SYSTEM: the system's own temporary directory
// (GetTempPath2, "SystemTemp", where there is one; else <Windows>\Temp), never the TEMP
// variable, which the tool that started us may point anywhere. Otherwise the user's
// temporary directory. Ends with "\".
std::string PrivateTempRoot();

// True when the process runs as LocalSystem.
bool RunsAsSystem();

// The protected access list of the directory below: SYSTEM and Administrators full control,
// the running user full control only when it is neither of them (an elevated
// administrator's own programs without elevation get read and execute); nothing inherited.
struct TPrivateSecurity {
  TPrivateSecurity() = default;
  TPrivateSecurity(const TPrivateSecurity&) = delete;  // the descriptor points into acl_
  TPrivateSecurity& operator=(const TPrivateSecurity&) = delete;
  SECURITY_DESCRIPTOR Descriptor{};
  bool Build(std::string& error);
  // The access list in the system's text form (SDDL).
  std::string Text() const;

 private:
  std::vector<std::uint8_t> acl_;
};

// A new directory with a random name below the root, created by us (it fails when the name
// exists), with the protected access list above from its first moment. Held open without delete sharing while the object
// lives, so that it cannot be renamed or replaced; removed with its contents at the end.
class TPrivateDirectory {
 public:
  TPrivateDirectory() = default;
  ~TPrivateDirectory();
  TPrivateDirectory(const TPrivateDirectory&) = delete;
  TPrivateDirectory& operator=(const TPrivateDirectory&) = delete;

  // False with the reason when the directory cannot be made. The name is RandomName()
  // prefixed with "ztkuinst-"; tests give their own.
  bool Create(const std::string& root, std::string& error);
  bool Create(const std::string& root, const std::string& name, std::string& error);
  const std::string& Path() const { return path_; }
  // Closes what is held and removes the directory with its contents.
  void Remove();

 private:
  std::string path_;
  win32::FileHandle directory_;
};

// Copies `from` to `to` (which must not exist) and keeps the copy open for reading only,
// shared for reading only, so that nobody can change or replace it until `held` is closed;
// then compares the size and the SHA-256 of the copy with the original. False with the
// reason when the copy cannot be made or differs.
bool CopyVerified(const std::string& from, const std::string& to, win32::FileHandle& held,
                  std::string& error);

// The SHA-256 of what an open file holds from its start (bcrypt, loaded from the system
// directory); false when it cannot be read.
bool Sha256OfFile(HANDLE file, std::vector<std::uint8_t>& digest, std::uint64_t& size);

// 32 hexadecimal digits from the system's random number generator.
std::string RandomName();

}  // namespace uninst
