// ztkuinst.exe, the product's uninstaller: Windows starts it from the list of installed
// programs as "<Windows>\ztkuinst.exe <InstallDir>\uninst.idf". It runs a copy of the
// installed setup program in removal mode from a temporary directory (a program cannot
// delete its own running file) and, once the product really is gone, removes what the
// setup program leaves on purpose: the entry in the list of installed programs and whatever
// is left of the installed directories.
#pragma once

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

}  // namespace uninst
