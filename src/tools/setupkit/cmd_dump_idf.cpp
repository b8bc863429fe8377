// setupkit dump-idf FILE [--codepage N]: the sections and parameters of an IDF file as the
// installer reads them, as JSON on standard output.
#include <cstdio>

#include "common/osfile.h"
#include "common/text.h"
#include "description/InstIDF.h"
#include "tools/setupkit/commands.h"
#include "tools/setupkit/dump_idf.h"

namespace {

const char* TypeName(TIDFParamType type) {
  switch (type) {
    case ptString: return "string";
    case ptInteger: return "integer";
    case ptBoolean: return "boolean";
    case ptDouble: return "double";
    case ptBinary: return "binary";
  }
  return "string";
}

}  // namespace

std::string IdfToJson(const TIDFTextFile& file) {
  std::string out = "{\"roots\":[";
  for (int i = 0; i < file.ParamCount(); ++i) {
    const TIDFParam& param = *file.Params(i);
    if (i > 0) out += ',';
    out += "{\"name\":" + text::JsonQuote(param.Name) + ",\"value\":" +
           text::JsonQuote(param.AsString()) + "}";
  }
  out += "],\"sections\":[";
  for (int s = 0; s < file.SectionCount(); ++s) {
    const TIDFSection& section = *file.Sections(s);
    if (s > 0) out += ',';
    out += "{\"name\":" + text::JsonQuote(section.Name) +
           ",\"tree\":" + (section.IsTree ? "true" : "false") + ",\"params\":[";
    for (int i = 0; i < section.ParamCount(); ++i) {
      const TIDFParam& param = *section.Params(i);
      if (i > 0) out += ',';
      out += "{\"name\":" + text::JsonQuote(param.Name) + ",\"type\":\"" +
             TypeName(param.ParamType) + "\",\"value\":" + text::JsonQuote(param.AsString()) +
             "}";
    }
    out += "]}";
  }
  out += "]}";
  return out;
}

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
    std::fprintf(stderr, "Invalid file format %s\n", name.c_str());
    return 1;
  }
  const std::string json = IdfToJson(file) + "\n";
  std::fwrite(json.data(), 1, json.size(), stdout);
  return 0;
}
