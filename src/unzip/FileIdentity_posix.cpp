#include <sys/stat.h>

#include "common/osfile.h"
#include "unzip/FileIdentity.h"

namespace unzip {

TFileIdentity FileIdentity(const std::string& path) {
  TFileIdentity id;
  struct stat st {};
  if (::stat(os::NativePath(path).c_str(), &st) != 0) return id;
  id.Known = true;
  id.Volume = static_cast<std::uint64_t>(st.st_dev);
  id.Index = static_cast<std::uint64_t>(st.st_ino);
  return id;
}

}  // namespace unzip
