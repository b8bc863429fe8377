// setupkit unzip --test ARCHIVE [--password P]
//   Decodes every entry without writing anything and checks its CRC-32; one JSON object per
//   entry and line: {"index","path","method","ok","crc32","computedCrc32"} (plus "error"
//   when the entry failed). Exit status 1 when any entry failed.
// setupkit unzip --extract DIR ARCHIVE [--password P] [--overwrite always|never]
//                [--root-dir D] [--files PATTERN]...
//   Extracts as the installer does (directories recreated, attributes and time stamps
//   kept, a missing central directory rebuilt from the local headers) and prints a summary.
//   Exit status 1 when any entry failed.
#include <cstdio>
#include <exception>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/errors.h"
#include "common/text.h"
#include "setup/Messages.h"
#include "tools/setupkit/commands.h"
#include "unzip/UnZip.h"

namespace {

int Fail(const char* format, const std::string& value) {
  std::fprintf(stderr, format, value.c_str());
  return 2;
}

int ReportException(const std::exception& e) {
  if (auto* own = dynamic_cast<const Exception*>(&e)) {
    std::fprintf(stderr, "%s: %s\n", own->ClassName(), own->Message().c_str());
  } else {
    std::fprintf(stderr, "Exception: %s\n", e.what());
  }
  return 1;
}

// CRC-32 values as numbers, the way "unzip --list" gives them.
std::string Crc32Json(std::uint32_t v) { return std::to_string(v); }

// What OnBadSize reports, in words.
std::string SizeText(std::int64_t written, std::int64_t expected) {
  if (written > expected) {
    return "size mismatch (the data is longer than its " + std::to_string(expected) + " bytes)";
  }
  return "size mismatch (" + std::to_string(written) + " bytes, expected " +
         std::to_string(expected) + ")";
}

std::string SkipText(TSkipReason reason) {
  switch (reason) {
    case spWrongPassword: return "wrong password";
    case spNotOverwritten: return "not overwritten";
    case spUnsafePath: return "path leaves the target directory or cannot be a file name";
  }
  return "skipped";
}

// Routes the reader's message boxes ("Unknown Compression Method") to a callback for the
// duration of a command, and restores the previous handler.
class TMessageCapture {
 public:
  explicit TMessageCapture(std::function<void(const std::string&, const std::string&)> sink)
      : previous_(SetMessageBoxHandler(
            [sink](const std::string& text, const std::string& caption, unsigned flags) {
              sink(text, caption);
              // No one to ask: a prompt for the next disk is refused rather than repeated.
              return UnattendedAnswer(flags);
            })) {}
  ~TMessageCapture() { SetMessageBoxHandler(previous_); }

 private:
  MessageBoxHandler previous_;
};

// Options both commands share.
struct TCommonOptions {
  std::string password;
  bool hasPassword = false;
};

// Takes "--password P" at args[i]; true when it was that option (i moves past its value).
bool TakePassword(const Args& args, std::size_t& i, TCommonOptions& options, bool& error) {
  if (args[i] != "--password") return false;
  if (i + 1 >= args.size()) {
    error = true;
    return true;
  }
  options.password = args[++i];
  options.hasPassword = true;
  return true;
}

struct TEntryResult {
  bool done = false;
  bool ok = false;
  std::optional<std::uint32_t> computed;
  std::string error;
};

}  // namespace

int RunUnzipTest(const Args& args) {
  std::string archive;
  TCommonOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    bool error = false;
    if (TakePassword(args, i, options, error)) {
      if (error) return Fail("%s needs a value\n", "--password");
    } else if (archive.empty() && !args[i].empty() && args[i][0] != '-') {
      archive = args[i];
    } else {
      return Fail("Unexpected argument %s\n", args[i]);
    }
  }
  if (archive.empty()) return Fail("%sunzip --test needs an archive\n", "");

  try {
    TUnZip zip;
    zip.TestOnly = true;
    zip.DoAll = true;
    zip.RecreateDirs = true;
    zip.OverwriteMode = TUZOverwriteMode::Always;
    zip.IncompleteZipMode = izAssumeBad;
    zip.DoProcessMessages = false;
    zip.KeepZipOpen = true;
    zip.Password = options.password;
    zip.SetZipName(archive);

    std::map<int, TEntryResult> results;
    int current = -1;
    zip.OnStartUnZip = [&](TUnZip*, int index, const std::string&, bool&) { current = index; };
    zip.OnEndUnZip = [&](TUnZip* z, int index, const std::string&) {
      TEntryResult& r = results[index];
      r.done = r.ok = true;
      r.computed = z->EntryHeader(index).Crc32;
    };
    zip.OnBadCRC = [&](TUnZip*, std::uint32_t calc, std::uint32_t, int index) {
      TEntryResult& r = results[index];
      r.done = true;
      r.computed = calc;
      if (r.error.empty()) r.error = "CRC-32 mismatch";
    };
    zip.OnBadSize = [&](TUnZip*, std::int64_t written, std::int64_t expected, int index) {
      TEntryResult& r = results[index];
      r.done = true;
      if (r.error.empty()) r.error = SizeText(written, expected);
    };
    zip.OnSkippingFile = [&](TUnZip*, TSkipReason reason, const std::string&, int index) {
      TEntryResult& r = results[index];
      r.done = true;
      r.error = SkipText(reason);
    };
    zip.OnTestError = [&](TUnZip*, int index, const std::string& error) {
      TEntryResult& r = results[index];
      r.done = true;
      r.error = error;
    };
    TMessageCapture capture([&](const std::string& text, const std::string&) {
      if (current >= 0) results[current].error = text;
    });

    zip.ExtractFiles();

    bool allOk = true;
    for (int i = 0; i < zip.EntryCount(); ++i) {
      const TZipHeaderInfo& e = zip.EntryHeader(i);
      TEntryResult r = results.count(i) ? results[i] : TEntryResult{};
      if (e.FileName().empty() && !r.done) {
        r.ok = true;  // a directory entry has no data to check
        r.computed = 0;
      }
      if (!r.ok) allOk = false;
      std::string path = e.Directory() + e.FileName();
      for (char& c : path) {
        if (c == '\\') c = '/';
      }
      std::string line = "{\"index\":" + std::to_string(i) + ",\"path\":" + text::JsonQuote(path) +
                         ",\"method\":" + std::to_string(e.CompressionMethod) +
                         ",\"ok\":" + (r.ok ? "true" : "false") + ",\"crc32\":" + Crc32Json(e.Crc32) +
                         ",\"computedCrc32\":" + (r.computed ? Crc32Json(*r.computed) : "null");
      if (!r.ok) line += ",\"error\":" + text::JsonQuote(r.error.empty() ? "not checked" : r.error);
      line += "}\n";
      std::fputs(line.c_str(), stdout);
    }
    return allOk ? 0 : 1;
  } catch (const std::exception& e) {
    return ReportException(e);
  }
}

int RunUnzipExtract(const Args& args) {
  std::string dir, archive, rootDir;
  TCommonOptions options;
  TUZOverwriteMode overwrite = TUZOverwriteMode::Always;
  std::vector<std::string> patterns;
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    bool error = false;
    if (TakePassword(args, i, options, error)) {
      if (error) return Fail("%s needs a value\n", arg);
    } else if (arg == "--overwrite" || arg == "--root-dir" || arg == "--files") {
      if (i + 1 >= args.size()) return Fail("%s needs a value\n", arg);
      const std::string& value = args[++i];
      if (arg == "--root-dir") {
        rootDir = value;
      } else if (arg == "--files") {
        patterns.push_back(value);
      } else if (value == "always") {
        overwrite = TUZOverwriteMode::Always;
      } else if (value == "never") {
        overwrite = TUZOverwriteMode::Never;
      } else {
        return Fail("Unknown --overwrite mode %s\n", value);
      }
    } else if (!arg.empty() && arg[0] != '-' && positional.size() < 2) {
      positional.push_back(arg);
    } else {
      return Fail("Unexpected argument %s\n", arg);
    }
  }
  if (positional.size() != 2) return Fail("%sunzip --extract needs DIR and ARCHIVE\n", "");
  dir = positional[0];
  archive = positional[1];

  try {
    TUnZip zip;
    zip.RecreateDirs = true;
    zip.OverwriteMode = overwrite;
    zip.IncompleteZipMode = izAssumeBad;
    zip.RetainAttributes = true;
    zip.DoProcessMessages = false;
    zip.DoAll = patterns.empty();
    zip.FilesList = patterns;
    zip.Password = options.password;
    zip.SetZipName(archive);
    zip.SetDestDir(dir);
    zip.SetRootDir(rootDir);

    int failed = 0, skipped = 0, selected = 0;
    std::string current;
    auto entryName = [&](int index) {
      const TZipHeaderInfo& e = zip.EntryHeader(index);
      return e.Directory() + e.FileName();
    };
    zip.OnStartUnZipInfo = [&](TUnZip*, int count, std::int64_t, bool&) { selected = count; };
    zip.OnStartUnZip = [&](TUnZip*, int index, const std::string&, bool&) {
      current = entryName(index);
    };
    zip.OnBadCRC = [&](TUnZip*, std::uint32_t calc, std::uint32_t stored, int index) {
      ++failed;
      std::fprintf(stderr, "CRC-32 mismatch (%08x, expected %08x): %s\n", calc, stored,
                   entryName(index).c_str());
    };
    zip.OnBadSize = [&](TUnZip*, std::int64_t written, std::int64_t expected, int index) {
      ++failed;
      std::fprintf(stderr, "%s: %s\n", SizeText(written, expected).c_str(),
                   entryName(index).c_str());
    };
    zip.OnSkippingFile = [&](TUnZip*, TSkipReason reason, const std::string& name, int) {
      if (reason == spNotOverwritten) {
        ++skipped;
      } else {
        ++failed;
      }
      std::fprintf(stderr, "skipped (%s): %s\n", SkipText(reason).c_str(), name.c_str());
    };
    TMessageCapture capture([&](const std::string& text, const std::string& caption) {
      std::fprintf(stderr, "%s: %s: %s\n", caption.c_str(), text.c_str(), current.c_str());
    });

    int extracted = zip.ExtractFiles();
    std::printf("extracted %d of %d selected entries (%lld bytes) into %s", extracted, selected,
                static_cast<long long>(zip.TotalBytes()), dir.c_str());
    if (skipped > 0) std::printf(", %d not overwritten", skipped);
    if (failed > 0) std::printf(", %d failed", failed);
    std::printf("\n");
    return failed > 0 ? 1 : 0;
  } catch (const std::exception& e) {
    return ReportException(e);
  }
}
