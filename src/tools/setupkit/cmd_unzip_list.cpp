// setupkit unzip --list ARCHIVE [--sort MODE] [--incomplete assume-bad|assume-multi]
// Prints the archive's directory as JSON; decompresses nothing.
#include <cstdio>
#include <exception>
#include <string>

#include "common/errors.h"
#include "tools/setupkit/commands.h"
#include "unzip/UnZip.h"
#include "unzip/UnZipListing.h"

namespace {

int Fail(const char* format, const std::string& value) {
  std::fprintf(stderr, format, value.c_str());
  return 2;
}

}  // namespace

int RunUnzipList(const Args& args) {
  std::string archive;
  TZipSortMode sortMode = TZipSortMode::ByNone;
  TIncompleteZipMode incomplete = izAssumeMulti;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--sort" || arg == "--incomplete") {
      if (i + 1 >= args.size()) return Fail("%s needs a value\n", arg);
      const std::string& value = args[++i];
      if (arg == "--sort") {
        auto mode = ParseSortMode(value);
        if (!mode) return Fail("Unknown sort mode %s\n", value);
        sortMode = *mode;
      } else if (value == "assume-bad") {
        incomplete = izAssumeBad;
      } else if (value == "assume-multi") {
        incomplete = izAssumeMulti;
      } else {
        return Fail("Unknown --incomplete mode %s\n", value);
      }
    } else if (archive.empty() && !arg.empty() && arg[0] != '-') {
      archive = arg;
    } else {
      return Fail("Unexpected argument %s\n", arg);
    }
  }
  if (archive.empty()) return Fail("%sunzip --list needs an archive\n", "");

  try {
    TUnZip zip;
    zip.KeepZipOpen = true;  // the comments are read one after the other
    zip.DoProcessMessages = false;
    zip.IncompleteZipMode = incomplete;
    zip.SortMode = sortMode;
    zip.SetZipName(archive);
    zip.ReadArchive();
    std::string json = ArchiveListingJson(zip);
    std::fputs(json.c_str(), stdout);
    std::fputc('\n', stdout);
    return 0;
  } catch (const Exception& e) {
    std::fprintf(stderr, "%s: %s\n", e.ClassName(), e.Message().c_str());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Exception: %s\n", e.what());
    return 1;
  }
}
