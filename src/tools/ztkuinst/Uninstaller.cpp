#include "tools/ztkuinst/Uninstaller.h"

#include "common/osfile.h"
#include "common/pathrules.h"
#include "common/text.h"
#include "description/InstIDF.h"

namespace uninst {

TRequest ParseParams(const std::vector<std::string>& params) {
  TRequest request;
  std::size_t first = 0;
  if (!params.empty() && text::SameTextAscii(params[0], "/S")) {
    request.Silent = true;
    first = 1;
  }
  for (std::size_t i = first; i < params.size(); ++i) {
    if (params[i].empty()) continue;
    if (!request.DescriptionPath.empty()) request.DescriptionPath += ' ';
    request.DescriptionPath += params[i];
  }
  return request;
}

bool ReadPlan(const TRequest& request, TPlan& plan, std::string& error) {
  if (request.DescriptionPath.empty()) {
    error = "no uninst.idf given";
    return false;
  }
  if (!os::FileExists(request.DescriptionPath)) {
    error = request.DescriptionPath + " does not exist";
    return false;
  }
  TIDFTextFile file;
  const TIDFSection* section = nullptr;
  const TIDFParam* setup = nullptr;
  if (!file.LoadFromFile(request.DescriptionPath) ||
      !(section = file.FindSection("Uninstall")) || !(setup = section->FindParam("FileName")) ||
      text::TrimControl(setup->Value).empty()) {
    error = "Invalid file format " + request.DescriptionPath;
    return false;
  }
  plan.SetupFile = std::string(text::TrimControl(setup->Value));
  const TIDFParam* args = section->FindParam("ParamStr");
  plan.Arguments = args ? std::string(text::TrimControl(args->Value)) : std::string();
  if (request.Silent) plan.Arguments = "UNINSTALL /S";
  if (const TIDFSection* dirs = file.FindSection("Directories")) {
    for (int i = 0; i < dirs->ParamCount(); ++i) plan.Directories.push_back(dirs->Params(i)->Name);
  }
  return true;
}

std::vector<std::string> RemovableDirectories(const std::vector<std::string>& listed,
                                              const std::string& recordedInstallDir,
                                              const std::function<std::string(const std::string&)>& canonical,
                                              const std::function<bool(const std::string&)>& refused,
                                              const std::function<void(const std::string&)>& log) {
  std::vector<std::string> result;
  const std::string installed = recordedInstallDir.empty() ? std::string() : canonical(recordedInstallDir);
  if (installed.empty() || pathrules::IsRoot(installed) || refused(installed)) {
    log(" installed directory " + recordedInstallDir + " is not one of its own: no directory deleted");
    return result;
  }
  for (const std::string& entry : listed) {
    const std::string dir = entry.empty() ? std::string() : canonical(entry);
    if (dir.empty() || !pathrules::IsSameOrBelow(dir, installed)) {
      log(" directory " + entry + " is not the installed directory " + installed + " or below it; not deleted");
      continue;
    }
    result.push_back(dir);
  }
  return result;
}

}  // namespace uninst
