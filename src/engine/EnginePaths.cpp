#include "engine/EnginePaths.h"

#include <algorithm>

#include "common/osfile.h"
#include "common/text.h"
#include "description/InstIDF.h"

std::string NormalizeDestDir(const std::string& path) {
  std::string result = path;
  if (!result.empty() && result.back() == '\\') result.pop_back();
  if (!result.empty() && result.back() == ':') result += '\\';
  return result;
}

void SubtractList(std::vector<std::string>& a, const std::vector<std::string>& b) {
  for (std::size_t i = a.size(); i-- > 0;) {
    if (std::find(b.begin(), b.end(), a[i]) != b.end()) a.erase(a.begin() + static_cast<long>(i));
  }
}

void MakeAbsolute(std::vector<std::string>& list, const std::string& installDir) {
  for (std::string& entry : list) entry = installDir + "\\" + entry;
}

std::string UninstallFilePath(const TIDFParam& param) {
  if (param.Value.empty()) return param.Name;
  // The reader split the line at its first "="; put it together and cut at the last one.
  std::string line = param.Name + "=" + param.Value;
  return line.substr(0, line.rfind('='));
}

namespace {

std::vector<std::string> Components(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : path) {
    if (os::IsPathSeparator(c)) {
      parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  parts.push_back(part);
  return parts;
}

}  // namespace

bool IsInsideDirectory(const std::string& path, const std::string& directory) {
  std::string dir = directory;
  while (!dir.empty() && os::IsPathSeparator(dir.back())) dir.pop_back();
  if (dir.empty() || path.size() <= dir.size() + 1) return false;
  if (!text::SameTextAscii(std::string_view(path).substr(0, dir.size()), dir) ||
      !os::IsPathSeparator(path[dir.size()]))
    return false;
  for (const std::string& part : Components(path.substr(dir.size() + 1))) {
    if (part.empty() || part == "." || part == "..") return false;
  }
  return true;
}

bool IsRootOrEmpty(const std::string& path) {
  std::string p = path;
  while (!p.empty() && os::IsPathSeparator(p.back())) p.pop_back();
  if (p.empty()) return true;
  if (p.size() == 2 && p[1] == ':') return true;
  if (p.size() > 2 && os::IsPathSeparator(p[0]) && os::IsPathSeparator(p[1])) {
    // "\\server\share" is a root; "\\?\C:" too.
    std::vector<std::string> parts = Components(p.substr(2));
    if (parts.size() <= 2) return true;
    if (parts[0] == "?" && parts.size() == 2 && parts[1].size() == 2 && parts[1][1] == ':') return true;
  }
  return false;
}
