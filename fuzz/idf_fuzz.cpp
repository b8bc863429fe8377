// libFuzzer target for the IDF reader and writer: any bytes must load (or be rejected)
// without a crash, and whatever loaded must save and load again.
//
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -I src \
//     fuzz/idf_fuzz.cpp src/description/InstIDF.cpp src/setup/LogFiles.cpp \
//     src/setup/SetupGlobals.cpp src/common/*.cpp (without the *_win32.cpp files)
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "description/InstIDF.h"

namespace {

std::string ScratchPath(const char* suffix) {
  return "/tmp/idf_fuzz_" + std::to_string(getpid()) + suffix;
}

void WriteBytes(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string input = ScratchPath(".in");
  static const std::string output = ScratchPath(".out");
  WriteBytes(input, data, size);

  TIDFTextFile idf;
  if (!idf.LoadFromFile(input)) return 0;
  // Everything a caller can reach must be consistent.
  int params = idf.ParamCount();
  for (int s = 0; s < idf.SectionCount(); ++s) {
    TIDFSection* section = idf.Sections(s);
    if (idf.FindSection(section->Name) == nullptr) std::abort();
    for (int i = 0; i < section->ParamCount(); ++i) {
      TIDFParam* p = section->Params(i);
      if (p->ParamType > ptBinary) std::abort();
      if (p->ParamType == ptBoolean && p->Value != "0" && p->Value != "1") std::abort();
      try {
        (void)p->AsInteger();
      } catch (const std::exception&) {
      }
    }
    params += section->ParamCount();
  }
  (void)params;

  if (!idf.SaveToFile(output)) std::abort();
  TIDFTextFile back;
  if (!back.LoadFromFile(output)) std::abort();
  // Section headers are written as they were read, so the sections come back one to one.
  if (back.SectionCount() != idf.SectionCount()) std::abort();
  if (back.ParamCount() != idf.ParamCount()) std::abort();
  return 0;
}
