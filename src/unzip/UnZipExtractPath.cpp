#include "unzip/UnZipExtractPath.h"

#include "common/text.h"

namespace unzip {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool HasDrive(const std::string& d) { return d.size() > 1 && d[1] == ':'; }

}  // namespace

bool StaysInside(const std::string& relativeDirectory, const std::string& fileName) {
  if (fileName == "." || fileName == "..") return false;
  int depth = 0;
  std::size_t i = 0;
  const std::string& d = relativeDirectory;
  while (i < d.size()) {
    std::size_t j = i;
    while (j < d.size() && !IsSeparator(d[j])) ++j;
    std::string_view part(d.data() + i, j - i);
    if (part == "..") {
      if (--depth < 0) return false;
    } else if (!part.empty() && part != ".") {
      ++depth;
    }
    i = j + 1;
  }
  return true;
}

TTargetPlan PlanTargetDirectory(const std::string& storedDirectory, const std::string& fileName,
                                const std::string& destDir, const std::string& rootDir,
                                bool recreateDirs) {
  TTargetPlan plan;
  if (!recreateDirs || storedDirectory.empty()) {
    plan.Directory = destDir + "\\";
    plan.Unsafe = !StaysInside("", fileName);
    return plan;
  }
  std::string d = storedDirectory;
  if (!rootDir.empty() && d.size() >= rootDir.size() &&
      text::SameTextAscii(std::string_view(d).substr(0, rootDir.size()), rootDir)) {
    d.erase(0, rootDir.size());
  }
  // `below` is the part that ends up under DestDir (or under the drive's root when the
  // stored directory is absolute and there is no DestDir).
  std::string below;
  if (d.empty() || !(IsSeparator(d[0]) || HasDrive(d))) {
    plan.Directory = destDir + "\\" + d;
    below = d;
  } else if (destDir.empty()) {
    plan.Directory = d;
    below = HasDrive(d) ? d.substr(2) : d;
  } else if (IsSeparator(d[0])) {
    plan.Directory = destDir + d;
    below = d;
  } else {
    // "x:dir\" would otherwise run into DestDir's own last name ("C:\tdir\").
    below = d.substr(2);
    plan.Directory = destDir + (below.empty() || !IsSeparator(below[0]) ? "\\" : "") + below;
  }
  if (plan.Directory.empty() || !IsSeparator(plan.Directory.back())) plan.Directory += "\\";
  plan.Unsafe = !StaysInside(below, fileName);
  return plan;
}

}  // namespace unzip
