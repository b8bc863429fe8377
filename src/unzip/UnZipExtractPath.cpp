#include "unzip/UnZipExtractPath.h"

#include "common/text.h"

namespace unzip {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool HasDrive(const std::string& d) { return d.size() > 1 && d[1] == ':'; }

// a and b with one separator between them, also when a is a root such as C:\ .
std::string Join(const std::string& a, const std::string& b) {
  const bool aEnds = !a.empty() && IsSeparator(a.back());
  const bool bStarts = !b.empty() && IsSeparator(b[0]);
  if (aEnds && bStarts) return a + b.substr(1);
  if (aEnds || bStarts) return a + b;
  return a + "\\" + b;
}

// The devices that Windows finds behind a file name of their own, with any extension.
bool IsDeviceName(std::string_view part) {
  std::string_view base = part.substr(0, part.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  std::string upper = text::UpperAscii(std::string(base));
  static constexpr const char* kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : kDevices) {
    if (upper == device) return true;
  }
  if (upper.size() < 4 || (upper.compare(0, 3, "COM") != 0 && upper.compare(0, 3, "LPT") != 0)) {
    return false;
  }
  std::string_view number = std::string_view(upper).substr(3);
  // COM1..COM9 and the superscript digits 1 to 3 in UTF-8.
  return (number.size() == 1 && number[0] >= '0' && number[0] <= '9') ||
         number == "\xC2\xB9" || number == "\xC2\xB2" || number == "\xC2\xB3";
}

}  // namespace

bool IsHoldableName(std::string_view part) {
  if (part.empty() || part == "." || part == "..") return true;
  for (char c : part) {
    if (static_cast<unsigned char>(c) < 0x20) return false;
    if (c == ':' || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*') {
      return false;
    }
  }
  if (part.back() == '.' || part.back() == ' ') return false;
  return !IsDeviceName(part);
}

bool HoldableNames(const std::string& relativeDirectory, const std::string& fileName) {
  if (!IsHoldableName(fileName)) return false;
  const std::string& d = relativeDirectory;
  std::size_t i = 0;
  while (i < d.size()) {
    std::size_t j = i;
    while (j < d.size() && !IsSeparator(d[j])) ++j;
    if (!IsHoldableName(std::string_view(d.data() + i, j - i))) return false;
    i = j + 1;
  }
  return true;
}

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
    plan.Directory = Join(destDir, "");
    plan.Unsafe = !StaysInside("", fileName) || !IsHoldableName(fileName);
    return plan;
  }
  std::string d = storedDirectory;
  if (!rootDir.empty() && d.size() >= rootDir.size() &&
      text::SameTextNoCase(std::string_view(d).substr(0, rootDir.size()), rootDir)) {
    d.erase(0, rootDir.size());
  }
  // `below` is the part that ends up under DestDir (or under the drive's root when the
  // stored directory is absolute and there is no DestDir).
  std::string below;
  if (d.empty() || !(IsSeparator(d[0]) || HasDrive(d))) {
    plan.Directory = Join(destDir, d);
    below = d;
  } else if (destDir.empty()) {
    plan.Directory = d;
    below = HasDrive(d) ? d.substr(2) : d;
  } else if (IsSeparator(d[0])) {
    plan.Directory = Join(destDir, d);
    below = d;
  } else {
    // "x:dir\" would otherwise run into DestDir's own last name ("C:\tdir\").
    below = d.substr(2);
    plan.Directory = Join(destDir, below);
  }
  if (plan.Directory.empty() || !IsSeparator(plan.Directory.back())) plan.Directory += "\\";
  plan.Unsafe = !StaysInside(below, fileName) || !HoldableNames(below, fileName);
  return plan;
}

}  // namespace unzip
