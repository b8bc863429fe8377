#include "engine/EnvPath.h"

#include <vector>

#include "common/text.h"

std::string CutToken(std::string& text, char separator, bool fromEnd) {
  const std::size_t at = fromEnd ? text.rfind(separator) : text.find(separator);
  std::string token;
  if (at == std::string::npos) {
    token.swap(text);
    return token;
  }
  if (fromEnd) {
    token = text.substr(at + 1);
    text.erase(at);
  } else {
    token = text.substr(0, at);
    text.erase(0, at + 1);
  }
  return token;
}

namespace {

// An entry as a directory: blanks around it, trailing "\" and doubled "\" inside (a root
// directory joined with "\SYSTEM" gives "C:\\SYSTEM") do not count; a leading "\\" of a
// network path does.
std::string Entry(std::string_view s) {
  s = text::TrimControl(s);
  std::string entry;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i > 1 && s[i - 1] == '\\') continue;
    entry += s[i];
  }
  while (entry.size() > 1 && entry.back() == '\\') entry.pop_back();
  return entry;
}

std::string EditList(std::string_view value, const std::string& directory, bool add,
                     bool leadingSeparator) {
  std::string rest(value), result;
  while (!rest.empty()) {
    const std::string token = CutToken(rest, ';', false);
    if (text::TrimControl(token).empty() || SamePathEntry(token, directory)) continue;
    if (!result.empty()) result += ';';
    result += token;
  }
  if (add) {
    if (!result.empty() || leadingSeparator) result += ';';
    result += directory;
  }
  return result;
}

}  // namespace

std::string PathEntryBelow(std::string_view directory, std::string_view name) {
  std::string entry(text::TrimControl(directory));
  while (!entry.empty() && entry.back() == '\\') entry.pop_back();
  return entry + "\\" + std::string(name);
}

bool SamePathEntry(std::string_view a, std::string_view b) {
  const std::string x = Entry(a), y = Entry(b);
  return !x.empty() && text::SameTextNoCase(x, y);
}

std::string EditMachinePath(std::string_view value, const std::string& directory, bool add) {
  return EditList(value, directory, add, true);
}

std::string EditProcessPath(std::string_view value, const std::string& directory, bool add) {
  return EditList(value, directory, add, false);
}

bool IsPathLine(std::string_view line, std::size_t& prefixLength) {
  const std::string upper = text::UpperAscii(line.substr(0, 9));
  if (upper.rfind("REM", 0) == 0) return false;
  if (upper.rfind("PATH ", 0) == 0) {
    prefixLength = 5;
    return true;
  }
  if (upper == "SET PATH " || upper == "SET PATH=") {
    prefixLength = 9;
    return true;
  }
  return false;
}

namespace {

// The file's lines as a text file reader gives them: CR, LF and CR LF end a line, and a
// final line end does not start another line.
std::vector<std::string_view> SplitLines(std::string_view content) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < content.size(); ++i) {
    if (content[i] != '\r' && content[i] != '\n') continue;
    lines.push_back(content.substr(start, i - start));
    if (content[i] == '\r' && i + 1 < content.size() && content[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < content.size()) lines.push_back(content.substr(start));
  return lines;
}

void AppendLine(std::string& output, std::string_view line) {
  // Lines before the first non-empty one are not kept: an empty output takes the next line
  // as its first.
  if (output.empty()) {
    output = line;
  } else {
    output += "\r\n";
    output += line;
  }
}

bool IsEmptyPathLine(std::string_view line) {
  const std::string upper = text::UpperAscii(text::TrimControl(line));
  return upper == "PATH" || upper == "SET PATH=" || upper == "SET PATH=%PATH%";
}

}  // namespace

TAutoexecEdit EditAutoexecText(std::string_view content, bool exists,
                               const std::string& directory, const std::string& shortDirectory,
                               bool add) {
  TAutoexecEdit edit;
  if (!exists) {
    // Without a file there is nothing to remove; adding makes the file with the one line.
    if (add) {
      edit.Write = true;
      edit.Output = "SET PATH=%PATH%;" + directory;
    }
    return edit;
  }
  std::string output;
  for (std::string_view raw : SplitLines(content)) {
    const std::string_view line = text::TrimControl(raw);
    std::size_t prefixLength = 0;
    if (!IsPathLine(line, prefixLength)) {
      AppendLine(output, line);
      continue;
    }
    std::string rebuilt(line.substr(0, prefixLength));
    std::string rest(text::TrimControl(line.substr(prefixLength)));
    while (!rest.empty()) {
      const std::string token(text::TrimControl(CutToken(rest, ';', false)));
      if (token.empty()) continue;
      if (SamePathEntry(token, directory) || SamePathEntry(token, shortDirectory)) {
        if (add) return edit;  // present already: the file stays byte for byte
        continue;
      }
      rebuilt += token + ";";
    }
    if (!rebuilt.empty() && rebuilt.back() == ';') rebuilt.pop_back();
    if (IsEmptyPathLine(rebuilt)) continue;
    AppendLine(output, rebuilt);
  }
  if (add) {
    if (!output.empty()) output += "\r\n";
    output += "SET PATH=" + directory + ";%PATH%";
  }
  edit.Write = true;
  edit.Output = std::move(output);
  return edit;
}
