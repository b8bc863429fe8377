// What the removal of archives does to the uninstall list (uninst.inf), decided before
// anything is deleted and apart from the machine, so that a damaged or crafted list is
// tested (and fuzzed) natively.
#pragma once

#include <string>
#include <vector>

class TArchiveList;
class TIDFTextFile;

struct TRemovalPlan {
  // Files of archives no subsystem uses any more, each a normalised full path strictly
  // below the installed directory, in the list's order.
  std::vector<std::string> Files;
  // What the list names outside the installed directory (or names no full path at all):
  // never deleted, only logged.
  std::vector<std::string> Refused;
  // Log lines for what was kept and why.
  std::vector<std::string> Notes;
};

// Lowers the use count of each archive's section by the archive's number of subsystems;
// a section that reaches 0 or less gives its files to the plan and leaves the list. A count
// that is no number keeps the section and its files as they are. `installedDir` must be the
// canonical installed directory; when it names no directory of its own (empty, a root) no
// file is planned at all. The list is changed in memory only; saving it is the caller's.
TRemovalPlan PlanArchiveRemoval(TIDFTextFile& list, const TArchiveList& archives,
                                const std::string& installedDir);
