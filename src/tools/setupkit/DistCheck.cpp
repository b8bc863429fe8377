// The checks of "setupkit check": the description, the tree, the archives, the libraries,
// the licence and the links of a distribution directory.
#include "tools/setupkit/DistCheck.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <utility>

#include "common/errors.h"
#include "common/osfile.h"
#include "common/text.h"
#include "description/InstIDF.h"
#include "description/InstList.h"
#include "setup/Capture.h"
#include "setup/LogFiles.h"
#include "setup/Messages.h"
#include "setup/SetupGlobals.h"
#include "tools/setupkit/PeFile.h"
#include "tools/setupkit/dump_idf.h"
#include "unzip/UnZip.h"

namespace {

const char kDescription[] = "setup.idf";
const char kLicence[] = "licence.txt";
const char kSetupExe[] = "setup.exe";
// The installer copies itself there, so a link may start it (the uninstall link does).
const char kOwnCopy[] = "EXE\\setup.exe";

std::string Trimmed(std::string_view s) { return std::string(text::TrimControl(s)); }

std::vector<std::string> SplitList(const std::string& list, char separator) {
  std::vector<std::string> items;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(separator, start);
    if (end == std::string::npos) end = list.size();
    items.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return items;
}

bool IsAbsolute(const std::string& name) {
  return (!name.empty() && os::IsPathSeparator(name[0])) ||
         (name.size() >= 2 && name[1] == ':');
}

// Paths inside an archive and in links compare as Windows compares file names.
std::string WindowsPath(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  while (path.starts_with(".\\")) path.erase(0, 2);
  return path;
}

bool SameFile(const std::string& a, const std::string& b) {
  return text::SameTextNoCase(WindowsPath(a), WindowsPath(b));
}

struct TArchiveState {
  TArchiveReport Report;
  std::vector<std::string> Paths;  // every file entry, "dir\name"
};

class TChecker {
 public:
  explicit TChecker(const std::string& directory) : dir_(directory) {
    report_.Distribution = directory;
  }

  TCheckReport Run() {
    CheckMachine();
    CheckLicence();
    if (LoadDescription()) {
      for (TSysNode* node : tree_.Index()) CheckSubsystem(*node);
      CheckStrayLibraries();
    }
    return std::move(report_);
  }

 private:
  std::string PathOf(const std::string& name) const {
    if (IsAbsolute(name)) return name;
    std::string path = dir_;
    if (!path.empty() && !os::IsPathSeparator(path.back())) path += '\\';
    return path + name;
  }

  void Problem(std::string file, std::string section, std::string key, std::string message) {
    report_.Problems.push_back(
        {std::move(file), std::move(section), std::move(key), std::move(message)});
  }

  // A DLL that no subsystem names is of no use to the installer, and one named like a
  // library of Windows is what a planted file looks like: Windows may load it into an
  // installer that another program of the same directory starts.
  void CheckStrayLibraries() {
    std::set<std::string> named;
    for (const TSysNode* node : tree_.Index()) {
      const std::string library = Trimmed(node->Info.Library);
      if (library.empty() || IsAbsolute(library)) continue;
      std::string name = library.substr(library.find_last_of("\\/") + 1);
      if (name.find('.') == std::string::npos) name += ".dll";
      named.insert(text::UpperAscii(name));
    }
    std::vector<os::DirEntry> entries = os::ListDirectory(dir_);
    std::sort(entries.begin(), entries.end(), [](const os::DirEntry& a, const os::DirEntry& b) {
      return text::UpperAscii(a.Name) < text::UpperAscii(b.Name);
    });
    for (const os::DirEntry& entry : entries) {
      if (entry.Attributes & os::kAttrDirectory) continue;
      const std::string upper = text::UpperAscii(entry.Name);
      if (upper.size() < 4 || upper.compare(upper.size() - 4, 4, ".DLL") != 0) continue;
      if (named.count(upper)) continue;
      report_.Warnings.push_back({entry.Name, "", "",
                                  "a DLL that no Library key names: the installer never loads "
                                  "it, but Windows may load a DLL of that name from this "
                                  "directory into a program started from here; remove it"});
    }
  }

  void CheckMachine() {
    report_.Machine = PeMachineName(kPeMachineAmd64);
    machine_ = kPeMachineAmd64;
    const std::string path = PathOf(kSetupExe);
    if (!os::FileExists(path)) return;
    TPeInfo info;
    std::string error;
    if (!ReadPeFile(path, info, error)) {
      Problem(kSetupExe, "", "", error);
      return;
    }
    machine_ = info.Machine;
    report_.Machine = PeMachineName(info.Machine);
    report_.MachineFromSetup = true;
  }

  void CheckLicence() {
    const std::string path = PathOf(kLicence);
    if (!os::FileExists(path)) {
      Problem(kLicence, "", "", "the licence does not exist: the licence page would be empty");
      return;
    }
    os::File file = os::OpenFile(path, os::OpenMode::Read, /*denyWriters*/ false);
    if (!file.IsOpen()) {
      Problem(kLicence, "", "", "the licence cannot be opened: " + os::LastErrorMessage());
    }
  }

  bool LoadDescription() {
    const std::string path = PathOf(kDescription);
    if (!os::FileExists(path)) {
      Problem(kDescription, "", "", "the description does not exist");
      return false;
    }
    if (!idf_.LoadFromFile(path)) {
      Problem(kDescription, "", "", DescriptionLoadError(path));
      return false;
    }
    std::vector<std::string> messages, log;
    bool loaded = false;
    {
      TCaptureScope capture(messages, log);
      try {
        loaded = tree_.LoadFromIDF(&idf_);
      } catch (const std::exception& e) {
        Problem(kDescription, "SubSystems", "", "the tree cannot be built: " + DescribeException(e));
      }
    }
    for (const std::string& m : messages) Problem(kDescription, SectionOf(m), "", m);
    // A box is logged as well; it counts once.
    for (const std::string& line : log) {
      bool shown = false;
      for (const std::string& m : messages) shown = shown || Trimmed(line) == Trimmed(m);
      if (!shown) Problem(kDescription, "SubSystems", "", Trimmed(line));
    }
    if (!loaded) {
      tree_.ClearChildren();
      return false;
    }
    CheckAllLoaded();
    report_.Loaded = messages.empty() && log.empty();
    return true;
  }

  // The loading message about a "Depend" list names its section at the end.
  static std::string SectionOf(const std::string& message) {
    const std::string marker = "Section - ";
    const std::size_t at = message.rfind(marker);
    if (at == std::string::npos) return "SubSystems";
    return message.substr(at + marker.size());
  }

  // The tree skips, without a word, an entry whose section is missing or whose "Parent"
  // names no subsystem; a vendor wants to know.
  void CheckAllLoaded() {
    const TIDFSection* subsystems = idf_.FindSection("SubSystems");
    if (!subsystems) {
      Problem(kDescription, "SubSystems", "", "the description lists no subsystems");
      return;
    }
    for (int i = 0; i < subsystems->ParamCount(); ++i) {
      const std::string& name = subsystems->Params(i)->Name;
      bool found = false;
      for (const TSysNode* node : tree_.Index()) found = found || node->Info.SectionName == name;
      if (found) continue;
      if (!idf_.FindSection(name)) {
        Problem(kDescription, "SubSystems", name, "the subsystem has no section [" + name + "]");
      } else {
        Problem(kDescription, name, "Parent",
                "the subsystem is not in the tree (its number is 0 or below, its \"Parent\" "
                "names no subsystem, or a number is not one)");
      }
    }
  }

  TArchiveState& Archive(const std::string& name, const std::string& section) {
    for (auto& state : archives_) {
      if (text::SameTextAscii(state->Report.Name, name)) return *state;
    }
    archives_.push_back(std::make_unique<TArchiveState>());
    TArchiveState& state = *archives_.back();
    state.Report.Name = name;
    TestArchive(state, section);
    return state;
  }

  void TestArchive(TArchiveState& state, const std::string& section) {
    const std::string& name = state.Report.Name;
    const std::string path = PathOf(name);
    if (!os::FileExists(path)) {
      Problem(name, section, "Archive", "the archive does not exist");
      return;
    }
    std::map<int, std::string> failures;
    int current = -1;
    std::vector<std::string> log;
    const auto fail = [&failures](int index, const std::string& error) {
      if (failures[index].empty()) failures[index] = error;
    };
    try {
      TCaptureScope capture([&](const std::string& message) { fail(current, message); }, log);
      TUnZip zip;
      zip.TestOnly = true;
      zip.DoAll = true;
      zip.RecreateDirs = true;
      zip.OverwriteMode = TUZOverwriteMode::Always;
      zip.IncompleteZipMode = izAssumeBad;
      zip.DoProcessMessages = false;
      zip.KeepZipOpen = true;
      zip.SetZipName(path);
      zip.ReadArchive();
      // The installer would take what the local headers give, which need not be the whole
      // archive: a vendor ships the archive whole.
      if (zip.Rebuilt()) {
        Problem(name, section, "Archive",
                "the archive has no readable central directory (cut off or damaged)");
      }
      zip.OnStartUnZip = [&](TUnZip*, int index, const std::string&, bool&) { current = index; };
      zip.OnBadCRC = [&](TUnZip*, std::uint32_t, std::uint32_t, int index) {
        fail(index, "CRC-32 mismatch");
      };
      zip.OnBadSize = [&](TUnZip*, std::int64_t, std::int64_t, int index) {
        fail(index, "the data does not have its stored size");
      };
      zip.OnSkippingFile = [&](TUnZip*, TSkipReason reason, const std::string&, int index) {
        fail(index, reason == spWrongPassword ? "encrypted (the installer has no password)"
                    : reason == spUnsafePath  ? "its path leaves the install directory"
                                              : "skipped");
      };
      zip.OnTestError = [&](TUnZip*, int index, const std::string& error) { fail(index, error); };
      zip.ExtractFiles();
      state.Report.Entries = zip.EntryCount();
      for (int i = 0; i < zip.EntryCount(); ++i) {
        const TZipHeaderInfo& entry = zip.EntryHeader(i);
        if (entry.FileName().empty()) continue;  // a directory
        state.Paths.push_back(entry.Directory() + entry.FileName());
        state.Report.Size += static_cast<std::uint32_t>(entry.UncompressedSize);
        const auto failure = failures.find(i);
        if (failure != failures.end()) {
          Problem(name, section, "Archive",
                  "entry " + state.Paths.back() + ": " + failure->second);
        }
      }
      if (failures.count(-1)) Problem(name, section, "Archive", failures[-1]);
      state.Report.Readable = true;
    } catch (const std::exception& e) {
      Problem(name, section, "Archive", "the archive cannot be read: " + DescribeException(e));
    }
  }

  void CheckSubsystem(const TSysNode& node) {
    const TSubsystemInfo& info = node.Info;
    TSubsystemReport sub;
    sub.Number = info.Number;
    sub.Section = info.SectionName;
    sub.ShortName = info.ShortName;
    for (const std::string& item : SplitList(info.Archive, ',')) {
      const std::string name = Trimmed(item);
      if (name.empty()) continue;
      const TArchiveState& state = Archive(name, info.SectionName);
      TArchiveReport archive = state.Report;
      archive.Name = name;
      sub.Archives.push_back(archive);
      sub.Size += archive.Size;
    }
    const std::string library = Trimmed(info.Library);
    if (!library.empty()) {
      sub.HasLibrary = true;
      sub.Library = CheckLibrary(library, info.SectionName);
    }
    CheckLinks(node, sub);
    for (const std::string& f : SplitList(info.CheckFiles, ',')) {
      if (!Trimmed(f).empty()) sub.CheckFiles.push_back(Trimmed(f));
    }
    for (const std::string& f : SplitList(info.ReqFiles, ',')) {
      if (!Trimmed(f).empty()) sub.ReqFiles.push_back(Trimmed(f));
    }
    report_.Subsystems.push_back(std::move(sub));
  }

  TLibraryReport CheckLibrary(const std::string& name, const std::string& section) {
    TLibraryReport lib;
    lib.Name = name;
    std::string path = PathOf(name);
    // Windows adds ".dll" to a library name without an extension.
    const std::size_t base = name.find_last_of("\\/:");
    if (name.find('.', base == std::string::npos ? 0 : base) == std::string::npos) path += ".dll";
    if (!os::FileExists(path)) {
      Problem(name, section, "Library", "the library does not exist in the distribution");
      return lib;
    }
    TPeInfo pe;
    std::string error;
    if (!ReadPeFile(path, pe, error)) {
      Problem(name, section, "Library", error);
      return lib;
    }
    lib.Readable = true;
    lib.Machine = PeMachineName(pe.Machine);
    if (!pe.IsDll) Problem(name, section, "Library", "a program, not a DLL");
    if (pe.Machine != machine_) {
      Problem(name, section, "Library",
              "built for " + lib.Machine + ", the installer is " + report_.Machine +
                  (report_.MachineFromSetup ? "" : " (no setup.exe: the default)"));
    }
    const auto exports = [&pe](const std::string& n) {
      for (const std::string& e : pe.ExportNames) {
        if (e == n) return true;
      }
      return false;
    };
    for (const std::string& contract : ContractExportNames()) {
      if (exports(contract)) {
        lib.Exports.push_back(contract);
        continue;
      }
      // A 32-bit library linked without --kill-at carries the stdcall decoration, which
      // the installer's plain-name lookup never finds.
      for (const std::string& e : pe.ExportNames) {
        std::string_view bare = e;
        if (bare.starts_with('_')) bare.remove_prefix(1);
        const std::size_t at = bare.find('@');
        if (at != std::string_view::npos && bare.substr(0, at) == contract) {
          Problem(name, section, "Library",
                  "exports " + contract + " only as " + e +
                      ": the installer looks up the plain name");
          break;
        }
      }
    }
    if (!exports("AskQuestions")) {
      Problem(name, section, "Library",
              "does not export AskQuestions: the installer never counts the subsystem as done");
    }
    return lib;
  }

  // The subsystem, its parents and what it depends on (with their parents, and so on) are
  // installed together: ticking a subsystem ticks all of them.
  std::vector<const TSysNode*> InstalledWith(const TSysNode& node) {
    std::vector<const TSysNode*> result;
    std::set<const TSysNode*> seen;
    std::vector<const TSysNode*> work{&node};
    while (!work.empty()) {
      const TSysNode* n = work.back();
      work.pop_back();
      if (!n || !seen.insert(n).second) continue;
      result.push_back(n);
      if (auto* parent = dynamic_cast<const TSysNode*>(n->ParentNode)) work.push_back(parent);
      for (const std::string& item : SplitList(n->Info.Depend, ',')) {
        const std::string number = Trimmed(item);
        char* end = nullptr;
        const long value = std::strtol(number.c_str(), &end, 10);
        if (number.empty() || *end != '\0') continue;
        work.push_back(tree_.FindByNumber(static_cast<std::int32_t>(value)));
      }
    }
    return result;
  }

  void CheckLinks(const TSysNode& node, TSubsystemReport& sub) {
    const TIDFSection* section = idf_.FindSection(node.Info.SectionName);
    if (!section) return;
    std::vector<const TArchiveState*> archives;
    for (const TSysNode* n : InstalledWith(node)) {
      for (const std::string& item : SplitList(n->Info.Archive, ',')) {
        const std::string name = Trimmed(item);
        if (!name.empty()) archives.push_back(&Archive(name, n->Info.SectionName));
      }
    }
    for (int i = 0; i < section->ParamCount(); ++i) {
      const TIDFParam& param = *section->Params(i);
      const std::string key = text::UpperAscii(Trimmed(param.Name.substr(0, 11)));
      const bool menu = text::UpperAscii(Trimmed(param.Name.substr(0, 8))) == "MENULINK";
      if (!menu && key != "DESKTOPLINK") continue;
      // The loader reads the value of the first key of that name.
      const TIDFParam* first = section->FindParam(param.Name);
      const std::string value = first ? first->AsString() : param.AsString();
      TLinkReport link;
      link.Key = param.Name;
      link.Target = Trimmed(value.substr(0, value.find('|')));
      if (link.Target.empty()) {
        Problem(kDescription, node.Info.SectionName, param.Name, "the link has no target");
      } else if (SameFile(link.Target, kOwnCopy)) {
        link.Found = true;
      } else {
        for (const TArchiveState* a : archives) {
          for (const std::string& p : a->Paths) link.Found = link.Found || SameFile(p, link.Target);
        }
        if (!link.Found) {
          Problem(kDescription, node.Info.SectionName, param.Name,
                  "the target " + link.Target +
                      " is in no archive of the subsystem or of those installed with it");
        }
      }
      sub.Links.push_back(std::move(link));
    }
  }

  std::string dir_;
  TCheckReport report_;
  std::uint16_t machine_ = kPeMachineAmd64;
  TIDFTextFile idf_;
  TSysTree tree_;
  std::vector<std::unique_ptr<TArchiveState>> archives_;
};

void Field(std::string& out, const char* name, const std::string& value) {
  out += '"';
  out += name;
  out += "\":";
  out += text::JsonQuote(value);
}

std::string Strings(const std::vector<std::string>& items) {
  std::string out = "[";
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) out += ',';
    out += text::JsonQuote(items[i]);
  }
  return out + "]";
}

std::string Joined(const std::vector<std::string>& items) {
  std::string out;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) out += ", ";
    out += items[i];
  }
  return out;
}

std::string Problems(const std::vector<TCheckProblem>& problems) {
  std::string out = "[";
  for (std::size_t i = 0; i < problems.size(); ++i) {
    const TCheckProblem& p = problems[i];
    if (i > 0) out += ',';
    out += '{';
    Field(out, "file", p.File);
    out += ',';
    Field(out, "section", p.Section);
    out += ',';
    Field(out, "key", p.Key);
    out += ',';
    Field(out, "message", p.Message);
    out += '}';
  }
  return out + "]";
}

}  // namespace

const std::vector<std::string>& ContractExportNames() {
  static const std::vector<std::string> names = {
      "SetLogCallBack",      "SetTreePointer",          "SetExternalParameter",
      "SetIUGRegim",         "SetQuestionsLevel",       "SetPath",
      "SetClientNumber",     "SetProgressCallBack",     "SetSessionName",
      "SetHideProgressCallBack", "SetShowProgressCallBack", "AskQuestions",
      "Perform",             "UserAbort",               "UserSuspendThread",
      "UserResumeThread"};
  return names;
}

TCheckReport CheckDistribution(const std::string& directory) {
  return TChecker(directory).Run();
}

std::string ProblemLine(const TCheckProblem& p) {
  std::string line = p.File + ":";
  if (!p.Section.empty()) line += " [" + p.Section + "]";
  if (!p.Key.empty()) line += " " + p.Key + ":";
  else if (!p.Section.empty()) line += ":";
  return line + " " + p.Message;
}

std::string CheckReportText(const TCheckReport& report) {
  std::string out = "distribution " + report.Distribution + "\n";
  out += "machine type " + report.Machine +
         (report.MachineFromSetup ? " (of setup.exe)\n" : " (no setup.exe: the default)\n");
  std::int64_t total = 0;
  for (const TSubsystemReport& s : report.Subsystems) {
    out += "subsystem " + std::to_string(s.Number) + " [" + s.Section + "] " + s.ShortName +
           ": " + std::to_string(s.Size) + " bytes\n";
    total += s.Size;
    for (const TArchiveReport& a : s.Archives) {
      out += "  archive " + a.Name + ": " +
             (a.Readable ? std::to_string(a.Entries) + " entries, " + std::to_string(a.Size) +
                               " bytes\n"
                         : "not readable\n");
    }
    if (s.HasLibrary) {
      out += "  library " + s.Library.Name + ": " +
             (s.Library.Readable ? s.Library.Machine + ", exports " + Joined(s.Library.Exports)
                                 : "not readable") +
             "\n";
    }
    for (const TLinkReport& l : s.Links) {
      out += "  link " + l.Key + ": " + l.Target + (l.Found ? "\n" : " (not found)\n");
    }
    if (!s.CheckFiles.empty()) out += "  check files: " + Joined(s.CheckFiles) + "\n";
    if (!s.ReqFiles.empty()) out += "  required files: " + Joined(s.ReqFiles) + "\n";
  }
  out += "total " + std::to_string(total) + " bytes\n";
  for (const TCheckProblem& w : report.Warnings) out += "warning: " + ProblemLine(w) + "\n";
  if (report.Problems.empty()) return out + "no problems\n";
  out += std::to_string(report.Problems.size()) +
         (report.Problems.size() == 1 ? " problem:\n" : " problems:\n");
  for (const TCheckProblem& p : report.Problems) out += ProblemLine(p) + "\n";
  return out;
}

std::string CheckReportJson(const TCheckReport& report) {
  std::string out = "{";
  Field(out, "distribution", report.Distribution);
  out += ',';
  Field(out, "machine", report.Machine);
  out += ",\"machineFromSetup\":";
  out += report.MachineFromSetup ? "true" : "false";
  out += ",\"loaded\":";
  out += report.Loaded ? "true" : "false";
  out += ",\"subsystems\":[";
  std::int64_t total = 0;
  for (std::size_t i = 0; i < report.Subsystems.size(); ++i) {
    const TSubsystemReport& s = report.Subsystems[i];
    total += s.Size;
    if (i > 0) out += ',';
    out += "{\"number\":" + std::to_string(s.Number) + ',';
    Field(out, "section", s.Section);
    out += ',';
    Field(out, "shortName", s.ShortName);
    out += ",\"size\":" + std::to_string(s.Size) + ",\"archives\":[";
    for (std::size_t j = 0; j < s.Archives.size(); ++j) {
      const TArchiveReport& a = s.Archives[j];
      if (j > 0) out += ',';
      out += '{';
      Field(out, "name", a.Name);
      out += ",\"readable\":";
      out += a.Readable ? "true" : "false";
      out += ",\"entries\":" + std::to_string(a.Entries) + ",\"size\":" + std::to_string(a.Size) +
             '}';
    }
    out += "],\"library\":";
    if (!s.HasLibrary) {
      out += "null";
    } else {
      out += '{';
      Field(out, "name", s.Library.Name);
      out += ",\"readable\":";
      out += s.Library.Readable ? "true" : "false";
      out += ',';
      Field(out, "machine", s.Library.Machine);
      out += ",\"exports\":" + Strings(s.Library.Exports) + '}';
    }
    out += ",\"links\":[";
    for (std::size_t j = 0; j < s.Links.size(); ++j) {
      if (j > 0) out += ',';
      out += '{';
      Field(out, "key", s.Links[j].Key);
      out += ',';
      Field(out, "target", s.Links[j].Target);
      out += ",\"found\":";
      out += s.Links[j].Found ? "true" : "false";
      out += '}';
    }
    out += "],\"checkFiles\":" + Strings(s.CheckFiles) + ",\"reqFiles\":" + Strings(s.ReqFiles) +
           '}';
  }
  out += "],\"totalSize\":" + std::to_string(total) + ",\"warnings\":" +
         Problems(report.Warnings) + ",\"problems\":" + Problems(report.Problems) + ",\"ok\":";
  out += report.Problems.empty() ? "true" : "false";
  return out + "}";
}
