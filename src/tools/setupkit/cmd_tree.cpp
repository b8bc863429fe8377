// setupkit tree FILE [--select N | --deselect N]... [--codepage N]: the subsystem tree of
// a description as the wizard's subsystem page shows it, after the given ticks, as JSON.
#include <cstdio>

#include "common/osfile.h"
#include "common/text.h"
#include "description/InstIDF.h"
#include "description/InstListJson.h"
#include "tools/setupkit/commands.h"
#include "tools/setupkit/dump_idf.h"

namespace {

const char kTreeUsage[] = "usage: setupkit tree FILE [--select N | --deselect N]... [--codepage N]\n";

bool ParseNumber(const std::string& text, std::int32_t& value) {
  if (text.empty()) return false;
  std::size_t i = 0;
  bool negative = false;
  if (text[0] == '-' || text[0] == '+') {
    negative = text[0] == '-';
    i = 1;
  }
  if (i == text.size()) return false;
  std::int64_t n = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    n = n * 10 + (text[i] - '0');
    if (n > 2147483648LL) return false;
  }
  n = negative ? -n : n;
  if (n > 2147483647LL) return false;
  value = static_cast<std::int32_t>(n);
  return true;
}

}  // namespace

int RunTree(const Args& arguments) {
  Args args = arguments;
  if (!TakeCodePageOption(args)) return 2;
  std::string fileName;
  std::vector<TTreeTick> ticks;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--select" || arg == "--deselect") {
      TTreeTick tick;
      tick.Select = arg == "--select";
      if (i + 1 >= args.size() || !ParseNumber(args[i + 1], tick.Number)) {
        std::fprintf(stderr, "%s needs a subsystem number\n", arg.c_str());
        return 2;
      }
      ticks.push_back(tick);
      ++i;
    } else if (fileName.empty() && !arg.starts_with("--")) {
      fileName = arg;
    } else {
      std::fputs(kTreeUsage, stderr);
      return 2;
    }
  }
  if (fileName.empty()) {
    std::fputs(kTreeUsage, stderr);
    return 2;
  }
  // A description that cannot be read is a tree that cannot be loaded.
  const auto notLoaded = [](const std::string& error) {
    std::fprintf(stderr, "%s\n", error.c_str());
    const std::string json = "{\"loaded\":false,\"messages\":[],\"log\":[],\"error\":" +
                             text::JsonQuote(error) + ",\"nodes\":[]}\n";
    std::fwrite(json.data(), 1, json.size(), stdout);
    return 1;
  };
  if (!os::FileExists(fileName)) return notLoaded(fileName + " does not exist");
  TIDFTextFile file;
  if (!file.LoadFromFile(fileName)) return notLoaded(DescriptionLoadError(fileName));
  std::string json;
  const int status = TreeReport(file, ticks, json);
  json += '\n';
  std::fwrite(json.data(), 1, json.size(), stdout);
  if (status == 2) std::fputs("a tick names a number that no subsystem bears\n", stderr);
  return status;
}
