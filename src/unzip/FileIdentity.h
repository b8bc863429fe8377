// Which file a path names, as the file system tells files apart (volume and file number), so
// that two names of one file (a hard link, a symbolic link, another spelling) compare equal.
#pragma once

#include <cstdint>
#include <string>

namespace unzip {

struct TFileIdentity {
  bool Known = false;  // false when the path names no file that could be looked at
  std::uint64_t Volume = 0;
  std::uint64_t Index = 0;
};

TFileIdentity FileIdentity(const std::string& path);

// True only when both are known and name the same file.
inline bool SameFile(const TFileIdentity& a, const TFileIdentity& b) {
  return a.Known && b.Known && a.Volume == b.Volume && a.Index == b.Index;
}

}  // namespace unzip
