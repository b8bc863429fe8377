// The JSON picture of an IDF file that "setupkit dump-idf" prints. Kept in the header so
// the tests can check it without running the tool.
#pragma once

#include <string>

#include "common/osfile.h"
#include "common/text.h"
#include "description/InstIDF.h"

inline const char* IdfTypeName(TIDFParamType type) {
  switch (type) {
    case ptString: return "string";
    case ptInteger: return "integer";
    case ptBoolean: return "boolean";
    case ptDouble: return "double";
    case ptBinary: return "binary";
  }
  return "string";
}

// {"roots":[{"name":..,"value":..}],
//  "sections":[{"name":..,"tree":true|false,"params":[{"name":..,"type":..,"value":..}]}]}
// on one line, in UTF-8.
inline std::string IdfToJson(const TIDFTextFile& file) {
  // Built by appending: GCC 12 warns falsely about "literal" + std::string at -O3.
  std::string out = "{\"roots\":[";
  for (int i = 0; i < file.ParamCount(); ++i) {
    const TIDFParam& param = *file.Params(i);
    if (i > 0) out += ',';
    out += "{\"name\":";
    out += text::JsonQuote(param.Name);
    out += ",\"value\":";
    out += text::JsonQuote(param.AsString());
    out += '}';
  }
  out += "],\"sections\":[";
  for (int s = 0; s < file.SectionCount(); ++s) {
    const TIDFSection& section = *file.Sections(s);
    if (s > 0) out += ',';
    out += "{\"name\":";
    out += text::JsonQuote(section.Name);
    out += ",\"tree\":";
    out += section.IsTree ? "true" : "false";
    out += ",\"params\":[";
    for (int i = 0; i < section.ParamCount(); ++i) {
      const TIDFParam& param = *section.Params(i);
      if (i > 0) out += ',';
      out += "{\"name\":";
      out += text::JsonQuote(param.Name);
      out += ",\"type\":\"";
      out += IdfTypeName(param.ParamType);
      out += "\",\"value\":";
      out += text::JsonQuote(param.AsString());
      out += '}';
    }
    out += "]}";
  }
  out += "]}";
  return out;
}

// Why a description could not be loaded: when the file cannot even be opened (a device, a
// pipe, no permission) the system's reason, otherwise "Invalid file format " + the name.
inline std::string DescriptionLoadError(const std::string& name) {
  os::File probe = os::OpenFile(name, os::OpenMode::Read, /*denyWriters*/ false);
  if (!probe.IsOpen()) {
    std::string error = "Cannot open ";
    error += name;
    error += ": ";
    error += os::LastErrorMessage();
    return error;
  }
  return "Invalid file format " + name;
}
