#include "common/pathrules.h"

#include <vector>

#include "common/text.h"

namespace pathrules {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Characters no file or directory name may hold (the separators are split off before).
bool IsForbidden(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u < 32 || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' ||
         c == '|';
}

}  // namespace

std::string NormalizeFullPath(std::string_view path) {
  std::string_view rest = path;
  bool unc = false;
  if (rest.size() >= 4 && IsSeparator(rest[0]) && IsSeparator(rest[1]) && rest[2] == '?' &&
      IsSeparator(rest[3])) {
    rest.remove_prefix(4);
    if (rest.size() >= 4 && text::SameTextAscii(rest.substr(0, 3), "UNC") && IsSeparator(rest[3])) {
      rest.remove_prefix(4);
      unc = true;
    }
  } else if (rest.size() >= 2 && IsSeparator(rest[0]) && IsSeparator(rest[1])) {
    if (rest.size() >= 3 && (rest[2] == '.' || rest[2] == '?')) return {};  // a device path
    rest.remove_prefix(2);
    unc = true;
  }

  std::string root;
  std::size_t fixed = 0;  // how many leading names are the share's and cannot be climbed above
  if (unc) {
    root = "\\\\";
    fixed = 2;
  } else {
    if (rest.size() < 3 || !IsLetter(rest[0]) || rest[1] != ':' || !IsSeparator(rest[2])) return {};
    root = std::string(1, static_cast<char>(rest[0] & ~0x20)) + ":\\";
    rest.remove_prefix(3);
  }

  std::vector<std::string> names;
  std::size_t start = 0;
  while (start <= rest.size()) {
    std::size_t end = start;
    while (end < rest.size() && !IsSeparator(rest[end])) ++end;
    std::string_view name = rest.substr(start, end - start);
    start = end + 1;
    if (name.empty() || name == ".") {
      if (unc && names.size() < fixed && !name.empty()) return {};
      continue;
    }
    for (char c : name)
      if (IsForbidden(c)) return {};
    if (name == "..") {
      if (names.size() <= fixed) return {};
      names.pop_back();
      continue;
    }
    // "name. " is "name" to Windows; a name of dots and spaces alone is not a name.
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.remove_suffix(1);
    if (name.empty()) return {};
    names.emplace_back(name);
  }
  if (names.size() < fixed) return {};

  std::string full = root;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) full += '\\';
    full += names[i];
  }
  return full;
}

bool IsSameOrBelow(std::string_view path, std::string_view directory) {
  const std::string p = NormalizeFullPath(path), d = NormalizeFullPath(directory);
  if (p.empty() || d.empty() || p.size() < d.size()) return false;
  if (!text::SameTextNoCase(p.substr(0, d.size()), d)) return false;
  // "C:\" ends in its separator; any other directory must be followed by one.
  return p.size() == d.size() || d.back() == '\\' || p[d.size()] == '\\';
}

bool IsStrictlyBelow(std::string_view path, std::string_view directory) {
  return IsSameOrBelow(path, directory) && !IsSameOrBelow(directory, path);
}

bool IsRoot(std::string_view path) {
  const std::string p = NormalizeFullPath(path);
  if (p.empty()) return false;
  if (p.size() == 3 && p[1] == ':') return true;
  if (p.rfind("\\\\", 0) != 0) return false;
  const std::size_t server = p.find('\\', 2);
  return server != std::string::npos && p.find('\\', server + 1) == std::string::npos;
}

}  // namespace pathrules

namespace pathrules {

TRefusalReason RefuseInstallDirectory(std::string_view directory,
                                      const std::vector<std::string>& protectedDirectories,
                                      const std::vector<std::string>& closedTrees) {
  TRefusalReason reason;
  reason.Directory = NormalizeFullPath(directory);
  if (reason.Directory.empty()) {
    reason.Kind = TRefusal::NotFull;
    reason.Directory = std::string(directory);
    return reason;
  }
  if (IsRoot(reason.Directory)) {
    reason.Kind = TRefusal::Root;
    return reason;
  }
  for (const std::string& system : protectedDirectories) {
    if (NormalizeFullPath(system).empty() || !IsSameOrBelow(system, reason.Directory)) continue;
    reason.Protected = NormalizeFullPath(system);
    reason.Kind = IsSameOrBelow(reason.Directory, system) ? TRefusal::Protected : TRefusal::Ancestor;
    if (reason.Kind == TRefusal::Protected) return reason;  // the plainer message wins
  }
  if (reason) return reason;
  for (const std::string& tree : closedTrees) {
    if (NormalizeFullPath(tree).empty() || !IsSameOrBelow(reason.Directory, tree)) continue;
    reason.Protected = NormalizeFullPath(tree);
    reason.Kind = TRefusal::Protected;
    return reason;
  }
  return reason;
}

std::string RefusalTextRu(const TRefusalReason& reason) {
  const std::string& dir = reason.Directory;
  switch (reason.Kind) {
    case TRefusal::NotFull:
      return "Каталог " + dir + " не является каталогом диска. Выберите другой каталог";
    case TRefusal::Root:
      return "Каталог " + dir +
             " является корневым каталогом диска и не может быть каталогом установки. "
             "Выберите другой каталог";
    case TRefusal::Protected:
      return "Каталог " + dir +
             " является системным каталогом и не может быть каталогом установки. "
             "Выберите другой каталог";
    case TRefusal::Ancestor:
      return "Каталог " + dir + " содержит системный каталог " + reason.Protected +
             " и не может быть каталогом установки. Выберите другой каталог";
    case TRefusal::None:
      break;
  }
  return {};
}

std::string RefusalTextEn(const TRefusalReason& reason) {
  const std::string& dir = reason.Directory;
  switch (reason.Kind) {
    case TRefusal::NotFull:
      return "Folder " + dir + " is not a folder of a disk. Choose another folder";
    case TRefusal::Root:
      return "Folder " + dir +
             " is the root of a disk and cannot be the installation folder. Choose another folder";
    case TRefusal::Protected:
      return "Folder " + dir +
             " is a folder of the system and cannot be the installation folder. "
             "Choose another folder";
    case TRefusal::Ancestor:
      return "Folder " + dir + " holds the system folder " + reason.Protected +
             " and cannot be the installation folder. Choose another folder";
    case TRefusal::None:
      break;
  }
  return {};
}

}  // namespace pathrules
