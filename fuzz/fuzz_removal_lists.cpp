// libFuzzer target for reading an uninstall list (uninst.inf) or a saved state (temp.inf)
// into the removal lists. The bytes are loaded as the saved state (its subsystem tree gives
// the archives to remove, as a continuation or a removal builds them) and as the uninstall
// list, and the removal is planned against a fixed installed directory. Whatever the file
// holds, no planned file may lie outside that directory, and the list must still save.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/pathrules.h"
#include "description/InstIDF.h"
#include "description/InstList.h"
#include "engine/RemovalPlan.h"
#include "engine/UninstallList.h"
#include "setup/Messages.h"

namespace {

std::string ScratchPath(const char* suffix) {
  return "/tmp/removal_fuzz_" + std::to_string(getpid()) + suffix;
}

void WriteBytes(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
}

constexpr const char* kInstalled = "C:\\Program Files\\Prod";

void CheckPlan(const TRemovalPlan& plan) {
  for (const std::string& file : plan.Files) {
    if (!pathrules::IsStrictlyBelow(file, kInstalled)) std::abort();
    if (pathrules::NormalizeFullPath(file) != file) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string input = ScratchPath(".in");
  static const std::string output = ScratchPath(".out");
  static const bool quiet = [] {
    // The tree's loader reports a damaged description with a box: answer it unseen.
    SetMessageBoxHandler([](const std::string&, const std::string&, unsigned) { return mb::kIdOk; });
    return true;
  }();
  (void)quiet;
  WriteBytes(input, data, size);

  // The removal reads the list through the engine's check first: a damaged list must say
  // why in both languages, and one that passes must read as the plain file does.
  TIDFTextFile checked;
  TListDamage damage;
  const TUninstallListState state = LoadUninstallList(input, checked, damage);
  if (state == TUninstallListState::Missing) std::abort();
  if (state == TUninstallListState::Damaged && (damage.Russian.empty() || damage.English.empty()))
    std::abort();

  TIDFTextFile file;
  if (!file.LoadFromFile(input)) {
    if (state == TUninstallListState::Loaded) std::abort();
    return 0;
  }
  if (state == TUninstallListState::Loaded && checked.SectionCount() != file.SectionCount()) std::abort();

  // The saved state's tree, unmarked: every archive it names is to be removed.
  TSysTree tree;
  TArchiveList fromTree;
  try {
    if (tree.LoadFromIDF(&file)) {
      tree.DeselectAll();
      tree.CollectArchives(fromTree, false);
    }
  } catch (const std::exception&) {
    // A tree that does not load gives no archives; the list itself is still planned below.
  }
  // Every section of the list as an archive used once, and a second time (a shared archive).
  TArchiveList fromSections;
  TSubsystemInfo user;
  for (int s = 0; s < file.SectionCount(); ++s) {
    fromSections.AddArchive(file.Sections(s)->Name, &user);
    if (s % 2) fromSections.AddArchive(file.Sections(s)->Name, &user);
  }

  CheckPlan(PlanArchiveRemoval(file, fromTree, kInstalled));
  CheckPlan(PlanArchiveRemoval(file, fromSections, kInstalled));
  // A record that names a root plans nothing.
  TIDFTextFile again;
  if (again.LoadFromFile(input) && !PlanArchiveRemoval(again, fromSections, "C:\\").Files.empty())
    std::abort();
  if (!file.SaveToFile(output)) std::abort();
  return 0;
}
