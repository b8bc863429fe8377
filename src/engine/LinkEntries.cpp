#include "engine/LinkEntries.h"

#include "common/text.h"

TLinkEntry ParseLinkEntry(std::string_view entry) {
  TLinkEntry link;
  std::string* fields[] = {&link.Target, &link.Arguments, &link.Icon, &link.Name,
                           &link.Description};
  std::size_t field = 0;
  for (char c : entry) {
    if (c == '|' && field + 1 < std::size(fields)) {
      ++field;
    } else {
      *fields[field] += c;
    }
  }
  return link;
}

namespace {

bool HasBadCharacter(std::string_view name) {
  for (unsigned char c : name) {
    if (c < 32) return true;
    switch (c) {
      case '\\': case '/': case ':': case '*': case '?': case '"': case '<': case '>': case '|':
        return true;
      default:
        break;
    }
  }
  return false;
}

}  // namespace

bool IsSafeLinkName(std::string_view name) {
  const std::string_view trimmed = text::TrimControl(name);
  return !trimmed.empty() && trimmed != "." && trimmed != ".." && !HasBadCharacter(name);
}

bool IsSafeGroupName(std::string_view group) {
  if (group.empty()) return false;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = group.find('\\', start);
    const std::string_view part =
        group.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    const std::string_view trimmed = text::TrimControl(part);
    if (trimmed.empty() || trimmed == "." || trimmed == ".." || HasBadCharacter(part)) return false;
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

std::string FolderOf(std::string_view path) {
  const std::size_t at = path.rfind('\\');
  return at == std::string_view::npos ? std::string() : std::string(path.substr(0, at + 1));
}

std::string LastPathComponent(std::string_view path) {
  const std::size_t at = path.rfind('\\');
  return std::string(at == std::string_view::npos ? path : path.substr(at + 1));
}
