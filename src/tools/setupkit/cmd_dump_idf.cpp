// setupkit dump-idf FILE [--codepage N]: the sections and parameters of an IDF file as the
// installer reads them, as JSON on standard output.
#include <cstdio>

#include "common/osfile.h"
#include "description/InstIDF.h"
#include "tools/setupkit/commands.h"
#include "tools/setupkit/dump_idf.h"

int RunDumpIdf(const Args& arguments) {
  Args args = arguments;
  if (!TakeCodePageOption(args)) return 2;
  if (args.size() != 1) {
    std::fputs("usage: setupkit dump-idf FILE [--codepage N]\n", stderr);
    return 2;
  }
  const std::string& name = args[0];
  if (!os::FileExists(name)) {
    std::fprintf(stderr, "%s does not exist\n", name.c_str());
    return 1;
  }
  TIDFTextFile file;
  if (!file.LoadFromFile(name)) {
    std::fprintf(stderr, "%s\n", DescriptionLoadError(name).c_str());
    return 1;
  }
  std::string json = IdfToJson(file);
  json += '\n';
  std::fwrite(json.data(), 1, json.size(), stdout);
  return 0;
}
