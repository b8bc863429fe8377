#include "setup/Switches.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <limits>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string Trim(const std::string& text) {
  std::size_t first = 0, last = text.size();
  while (first < last && IsBlank(text[first])) ++first;
  while (last > first && IsBlank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

// "n,n,...": decimal numbers with blanks allowed around each; at least one.
bool ParseNumbers(const std::string& value, std::vector<std::int32_t>& numbers) {
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = value.find(',', start);
    const std::string item =
        Trim(value.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (item.empty() || item.size() > 9 ||
        !std::all_of(item.begin(), item.end(),
                     [](char c) { return c >= '0' && c <= '9'; })) {
      return false;
    }
    numbers.push_back(static_cast<std::int32_t>(std::strtol(item.c_str(), nullptr, 10)));
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

// Takes one switch token ("/NAME" or "/NAME=value") into `switches`; an error text for a
// token it refuses.
std::string TakeSwitch(const std::string& token, TSwitches& switches) {
  const std::size_t equals = token.find('=');
  const std::string name = Upper(token.substr(1, equals == std::string::npos ? std::string::npos
                                                                               : equals - 1));
  const bool hasValue = equals != std::string::npos;
  const std::string value = hasValue ? token.substr(equals + 1) : std::string();
  auto once = [&](bool given) {
    return given ? "the switch /" + name + " is given twice" : std::string();
  };
  auto flag = [&](bool& target) -> std::string {
    if (hasValue) return "the switch /" + name + " takes no value: " + token;
    if (target) return once(true);
    target = true;
    return {};
  };
  auto text = [&](std::optional<std::string>& target) -> std::string {
    if (target) return once(true);
    if (Trim(value).empty()) return "the switch /" + name + " needs a value: " + token;
    target = value;
    return {};
  };
  auto numbers = [&](std::optional<std::vector<std::int32_t>>& target) -> std::string {
    if (target) return once(true);
    std::vector<std::int32_t> list;
    if (!ParseNumbers(value, list)) {
      return "the switch /" + name + " needs a comma list of subsystem numbers: " + token;
    }
    target = std::move(list);
    return {};
  };

  if (name == "S") return flag(switches.Silent);
  if (name == "FORCE") return flag(switches.Force);
  if (name == "DIR") return text(switches.Dir);
  if (name == "GROUP") return text(switches.Group);
  if (name == "COMPONENTS") return numbers(switches.Components);
  if (name == "ADD") return numbers(switches.Add);
  if (name == "REMOVE") return numbers(switches.Remove);
  if (name == "LEVEL") {
    if (value != "1" && value != "2") return "the switch /LEVEL takes 1 or 2: " + token;
    switches.Level = value[0] - '0';
    return {};
  }
  return "unknown switch: " + token;
}

}  // namespace

bool TSwitches::AnyBesidesSilent() const {
  return Force || Dir || Group || Components || Add || Remove || Level != 1;
}

std::vector<std::string> SplitRawCommandLine(const std::string& raw) {
  std::size_t i = 0;
  // The program's name: quoted up to the next quote, or up to the first blank.
  if (i < raw.size() && raw[i] == '"') {
    const std::size_t close = raw.find('"', i + 1);
    i = close == std::string::npos ? raw.size() : close + 1;
  }
  while (i < raw.size() && !IsBlank(raw[i])) ++i;

  std::vector<std::string> tokens;
  while (true) {
    while (i < raw.size() && IsBlank(raw[i])) ++i;
    if (i >= raw.size()) return tokens;
    std::string token;
    bool quoted = false;
    for (; i < raw.size() && (quoted || !IsBlank(raw[i])); ++i) {
      if (raw[i] == '"') {
        quoted = !quoted;
      } else {
        token += raw[i];
      }
    }
    tokens.push_back(std::move(token));
  }
}

TCommandLine ParseCommandLine(const std::string& raw, const std::vector<std::string>& usualParams) {
  TCommandLine result;
  const std::vector<std::string> tokens = SplitRawCommandLine(raw);
  const bool anySwitch = std::any_of(tokens.begin(), tokens.end(), [](const std::string& t) {
    return !t.empty() && t[0] == '/';
  });
  if (!anySwitch) {
    result.Params = usualParams;
    return result;
  }
  for (const std::string& token : tokens) {
    if (token.empty() || token[0] != '/') {
      result.Params.push_back(token);
      continue;
    }
    std::string error = TakeSwitch(token, result.Switches);
    if (!error.empty() && result.Error.empty()) result.Error = std::move(error);
  }
  const TSwitches& s = result.Switches;
  if (result.Error.empty()) {
    if (!s.Silent && s.AnyBesidesSilent()) {
      result.Error = "the switches /DIR, /GROUP, /COMPONENTS, /ADD, /REMOVE, /LEVEL and /FORCE "
                     "need /S";
    } else if (s.Components && (s.Add || s.Remove)) {
      result.Error = "/COMPONENTS chooses a new installation; /ADD and /REMOVE change an "
                     "installed one: give one or the other";
    }
  }
  return result;
}
