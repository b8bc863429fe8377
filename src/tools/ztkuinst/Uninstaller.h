// ztkuinst.exe, the product's uninstaller: Windows starts it from the list of installed
// programs as "<Windows>\ztkuinst.exe <InstallDir>\uninst.idf". It runs a copy of the
// installed setup program in removal mode from a temporary directory (a program cannot
// delete its own running file) and, once the product really is gone, removes what the
// setup program leaves on purpose: the entry in the list of installed programs and whatever
// is left of the installed directories.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace uninst {

// Exit codes of the uninstaller besides the setup program's own.
constexpr int kBadRequest = 3;  // a missing or damaged uninst.idf, a bad command line

struct TRequest {
  bool Silent = false;       // "/S": no window, no box; the setup copy runs "UNINSTALL /S"
  std::string DescriptionPath;  // uninst.idf
};

// The parameters as the system split them. "/S" (any case) may come first; the rest is
// the path, which may arrive whole (quoted) or split at its blanks (unquoted): the pieces
// are joined with single blanks.
TRequest ParseParams(const std::vector<std::string>& params);

struct TPlan {
  std::string SetupFile;     // the installed setup program ("FileName")
  std::string Arguments;     // what the copy is started with
  std::vector<std::string> Directories;  // what may be left of the installation
};

// Reads uninst.idf; false with a reason when it is missing or damaged.
bool ReadPlan(const TRequest& request, TPlan& plan, std::string& error);

// The [Directories] entries that may be deleted once the product is gone: only the
// installed directory, as the product's own registry key recorded it, and what lies below
// it. uninst.idf lies in a directory of its own and may have been changed; the registry key
// is the machine's. `canonical` makes a path full and canonical (empty when it names
// nothing); a recorded directory that `refused` judges a root or one of the system's own
// gives nothing at all. Logs what it leaves through `log`.
std::vector<std::string> RemovableDirectories(const std::vector<std::string>& listed,
                                              const std::string& recordedInstallDir,
                                              const std::function<std::string(const std::string&)>& canonical,
                                              const std::function<bool(const std::string&)>& refused,
                                              const std::function<void(const std::string&)>& log);

}  // namespace uninst
