#include "engine/RemovalPlan.h"

#include <cstdint>

#include "common/errors.h"
#include "common/pathrules.h"
#include "common/text.h"
#include "description/InstIDF.h"
#include "description/InstList.h"
#include "engine/EnginePaths.h"

TRemovalPlan PlanArchiveRemoval(TIDFTextFile& list, const TArchiveList& archives,
                                const std::string& installedDir) {
  TRemovalPlan plan;
  // A record that names a drive root (or nothing) as the installation would put every
  // listed path "inside" it.
  const std::string dir = pathrules::NormalizeFullPath(installedDir);
  const bool ownDirectory = !dir.empty() && !pathrules::IsRoot(dir);
  if (!ownDirectory) plan.Notes.push_back(" installed path " + installedDir + " is not a directory of its own");
  for (int i = 0; i < archives.Count(); ++i) {
    const TArchive& archive = *archives.Items(i);
    const std::string name(text::TrimControl(archive.ArchiveName));
    TIDFSection* section = list.FindSection(name);
    if (!section || section->ParamCount() == 0) continue;
    TIDFParam& usesCount = *section->Params(0);
    std::int64_t count;
    try {
      count = static_cast<std::int64_t>(usesCount.AsInteger()) - archive.Count();
    } catch (const EConvertError&) {
      // A count that is no number cannot say that the files are unused: keep them.
      plan.Notes.push_back(" uninstall file: no use count for " + name);
      continue;
    }
    if (count < INT32_MIN) count = INT32_MIN;
    usesCount.SetAsInteger(static_cast<std::int32_t>(count));
    if (count > 0) continue;
    for (int p = 1; p < section->ParamCount(); ++p) {
      const std::string path = UninstallFilePath(*section->Params(p));
      const std::string full = pathrules::NormalizeFullPath(path);
      if (ownDirectory && !full.empty() && pathrules::IsStrictlyBelow(full, dir)) {
        plan.Files.push_back(full);
      } else {
        plan.Refused.push_back(path);
      }
    }
    list.DeleteSection(section->Name);
  }
  return plan;
}
