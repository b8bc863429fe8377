#include "engine/DirTree.h"

#include <vector>

#include "common/errors.h"
#include "common/osfile.h"
#include "setup/Messages.h"
#include "setup/SetupGlobals.h"
#include "unzip/Pattern.h"

namespace {

constexpr std::uint32_t kClearBits = os::kAttrReadOnly | os::kAttrHidden | os::kAttrSystem;

bool MatchesPattern(const std::string& pattern, const std::string& name) {
  if (pattern == "*.*" || pattern == "*") return true;
  return MatchPattern(pattern, name) == pmMatch;
}

// A link is deleted as what it is: a directory link with the directory call, a file link
// with the file call; its target is never touched.
bool RemoveLink(const std::string& path, std::uint32_t attributes) {
  return (attributes & os::kAttrDirectory) ? os::RemoveDir(path) : os::RemoveFile(path);
}

}  // namespace

bool DeleteDirFiles(const std::string& directory, const std::string& pattern, bool showErrors) {
  for (const os::DirEntry& entry : os::ListDirectory(directory)) {
    if ((entry.Attributes & os::kAttrDirectory) || !MatchesPattern(pattern, entry.Name)) continue;
    const std::string path = directory + "\\" + entry.Name;
    if ((entry.Attributes & kClearBits) && !(entry.Attributes & os::kAttrReparsePoint))
      os::SetAttributes(path, entry.Attributes & ~kClearBits);
    if (!os::RemoveFile(path)) {
      if (showErrors) {
        ShowBilingualMessage("Ошибка удаления файла" + path, "Error deleting file " + path,
                             "Error", kErrorBox);
      }
      return false;
    }
  }
  return true;
}

bool DeleteDirTree(const std::string& directory, bool showErrors) {
  WriteLog(" deleting directory " + directory);
  if (directory.empty()) return false;
  try {
    const std::uint32_t own = os::GetAttributes(directory);
    if (own != os::kInvalidAttributes && (own & os::kAttrReparsePoint)) {
      const bool removed = RemoveLink(directory, own);
      WriteLog(" directory " + directory + (removed ? " was deleted" : " was not deleted"));
      return removed;
    }
    DeleteDirFiles(directory, "*.*", showErrors);
    std::vector<os::DirEntry> subdirectories;
    for (const os::DirEntry& entry : os::ListDirectory(directory)) {
      if (entry.Attributes & os::kAttrReparsePoint) {
        RemoveLink(directory + "\\" + entry.Name, entry.Attributes);
      } else if (entry.Attributes & os::kAttrDirectory) {
        subdirectories.push_back(entry);
      }
    }
    for (auto it = subdirectories.rbegin(); it != subdirectories.rend(); ++it) {
      DeleteDirTree(directory + "\\" + it->Name, showErrors);
    }
    const std::string path = directory;
    const std::uint32_t attributes = os::GetAttributes(path);
    if (attributes != os::kInvalidAttributes && (attributes & kClearBits)) {
      os::SetAttributes(path, attributes & ~kClearBits);
    }
    const bool removed = os::RemoveDir(path);
    WriteLog(" directory " + directory + (removed ? " was deleted" : " was not deleted"));
    return removed;
  } catch (const Exception& e) {
    WriteLog(std::string(" ") + e.ClassName() + " : " + e.Message());
    return false;
  }
}

bool ReachedWithoutLinks(const std::string& directory, const std::string& path) {
  if (directory.empty() || path.size() <= directory.size() + 1) return false;
  for (std::size_t at = directory.size() + 1; at < path.size(); ++at) {
    if (!os::IsPathSeparator(path[at])) continue;
    const std::uint32_t attributes = os::GetAttributes(path.substr(0, at));
    if (attributes == os::kInvalidAttributes || (attributes & os::kAttrReparsePoint) ||
        !(attributes & os::kAttrDirectory))
      return false;
  }
  const std::uint32_t attributes = os::GetAttributes(path);
  return attributes != os::kInvalidAttributes && !(attributes & (os::kAttrReparsePoint | os::kAttrDirectory));
}
