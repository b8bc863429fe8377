// setupkit check DIST [--json] [--codepage N]: the vendor's preflight of a distribution
// directory. A report in words (or JSON with --json) on standard output, one line per
// problem naming the file, the section and the key; exit status 0 when nothing is wrong,
// 1 with problems.
#include <cstdio>

#include "common/osfile.h"
#include "tools/setupkit/DistCheck.h"
#include "tools/setupkit/commands.h"

int RunCheck(const Args& arguments) {
  Args args = arguments;
  if (!TakeCodePageOption(args)) return 2;
  bool json = false;
  std::string directory;
  for (const std::string& arg : args) {
    if (arg == "--json") {
      json = true;
    } else if (directory.empty() && !arg.empty() && !arg.starts_with("--")) {
      directory = arg;
    } else {
      directory.clear();
      break;
    }
  }
  if (directory.empty()) {
    std::fputs("usage: setupkit check DIST [--json] [--codepage N]\n", stderr);
    return 2;
  }
  if (!os::DirectoryExists(directory)) {
    std::fprintf(stderr, "%s is not a directory\n", directory.c_str());
    return 1;
  }
  const TCheckReport report = CheckDistribution(directory);
  std::string out = json ? CheckReportJson(report) + "\n" : CheckReportText(report);
  std::fwrite(out.data(), 1, out.size(), stdout);
  return report.Problems.empty() ? 0 : 1;
}
