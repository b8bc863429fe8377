#include "ui/Unattended_win32.h"

#include <algorithm>
#include <string>
#include <vector>

#include "common/CanonicalPath.h"
#include "common/osfile.h"
#include "description/InstList.h"
#include "description/TreeInterfaces.h"
#include "engine/EngineMachine.h"
#include "engine/MainThread.h"
#include "setup/Messages.h"
#include "setup/SetupGlobals.h"
#include "setup/Startup.h"
#include "ui/WizardModel_win32.h"

namespace {

void Log(const std::string& line) { WriteLog(" unattended: " + line); }

std::string NumberList(const std::vector<std::int32_t>& numbers) {
  std::string list;
  for (std::int32_t n : numbers) list += (list.empty() ? "" : ",") + std::to_string(n);
  return list;
}

// A disk root as the directory check tells one: "C:" or "C:\" (at most three characters).
bool IsDiskRoot(const std::string& dir) {
  if (dir.size() == 2) return dir[1] == ':';
  return dir.size() == 3 && dir[1] == ':' && dir[2] == '\\';
}

// The exit code of a Next that kept the model where it was.
int RefusalExitCode(TWizardRefusal refusal) {
  switch (refusal) {
    case TWizardRefusal::DirectoryRefused:
    case TWizardRefusal::DiskRootRefused:
      return exitcode::kRefused;
    case TWizardRefusal::NoTree:
    case TWizardRefusal::NoDirectory:
      return exitcode::kBadInput;
    case TWizardRefusal::GroupDeclined:
      return exitcode::kAborted;
    default:
      return exitcode::kFailed;
  }
}

class TUnattendedRun {
 public:
  explicit TUnattendedRun(const TSwitches& switches) : s_(switches) {
    model_.TreeView = &view_;
    model_.ClearTreeView = [this] { view_.Clear(); };
    model_.OnClose = [this] { closed_ = true; };
    // The engine's forms: the duplicate-file warning goes on, the directory dialog for a
    // missing required file is cancelled.
    TEngineMachine& machine = EngineMachine();
    savedSearch_ = machine.ShowSearchForm;
    savedSelect_ = machine.SelectDirectory;
    machine.ShowSearchForm = [](const std::string& message) {
      Log("the duplicate-file warning goes on: " + message);
      return mb::kIdYes;
    };
    machine.SelectDirectory = [](std::string&) {
      Log("a required file is missing and there is no one to choose its directory");
      return false;
    };
  }
  ~TUnattendedRun() {
    EngineMachine().ShowSearchForm = savedSearch_;
    EngineMachine().SelectDirectory = savedSelect_;
  }

  int Run() {
    model_.ReadParams(os::CurrentDirectory());
    if (model_.Step == 9) return WaitForEngine();  // a continuation run started the engine

    if (!model_.Next()) return Refused("the run cannot start here");
    const bool installed = model_.Step == 6;
    const bool changing = s_.Add || s_.Remove;
    if (SetupGlobals.UninstallRequested || changing) {
      if (!installed) {
        Log(std::string("nothing is installed: nothing to ") +
            (changing ? "add or remove" : "remove"));
        return exitcode::kNothingToDo;
      }
      return SetupGlobals.UninstallRequested ? Uninstall() : AddDelete();
    }
    if (installed) {
      if (s_.Components || s_.Dir) {
        Log("the product is installed: /COMPONENTS and /DIR choose a new installation; "
            "/ADD and /REMOVE change the installed one");
        return exitcode::kBadInput;
      }
      return AddDelete();  // the wizard's own rule for a found installation
    }
    return Install();
  }

 private:
  int Install() {
    if (!model_.Next()) return Refused("the description does not give a subsystem tree");
    if (s_.Components && !KnownNumbers(*s_.Components)) return exitcode::kBadInput;

    const std::string dir = s_.Dir.value_or(model_.InstallDir);
    if (!model_.EditSelDirExit(dir)) return Refused("no installation directory");
    model_.DirectoryText = dir;
    if (const pathrules::TRefusalReason refused = RefusedInstallDirectory(model_.InstallDir)) {
      Log("refused: " + pathrules::RefusalTextEn(refused));
      return exitcode::kRefused;
    }
    if (os::DirectoryExists(model_.InstallDir)) {
      if (IsDiskRoot(model_.InstallDir)) {
        Log("refused: " + model_.InstallDir + " is the root of a disk");
        return exitcode::kRefused;
      }
      if (!s_.Force) {
        Log("refused: " + model_.InstallDir + " exists and /FORCE is not given");
        return exitcode::kRefused;
      }
    }
    model_.TypeInstRadioGroupClick(s_.Components ? 1 : 0);
    model_.DefaultLevel = s_.Level != 2;
    {
      // With /FORCE the existing directory is accepted (and emptied, as the questions say).
      TUnattendedAnswer accept(mb::kIdYes);
      if (!model_.Next()) return Refused("the directory or the disk space");
    }
    if (s_.Components) {
      ChooseComponents(*s_.Components);
      if (!model_.Next()) return Refused("the disk space");
    }
    model_.edFolderChange(s_.Group.value_or(model_.ProgramGroup));
    {
      // An existing program group gets the product's links added: nothing is deleted.
      TUnattendedAnswer accept(mb::kIdYes);
      if (!model_.Next()) return Refused("the program group");
    }
    Log("installing into " + model_.InstallDir + ", program group " + model_.ProgramGroup);
    model_.Next();  // the summary starts the engine
    return WaitForEngine();
  }

  int AddDelete() {
    model_.ActRadioGroupClick(0);
    if (!model_.Next()) return Refused("the subsystem page");
    if (s_.Add && !KnownNumbers(*s_.Add)) return exitcode::kBadInput;
    if (s_.Remove && !KnownNumbers(*s_.Remove)) return exitcode::kBadInput;
    for (std::int32_t n : s_.Add.value_or(std::vector<std::int32_t>{})) SetChosen(n, true);
    for (std::int32_t n : s_.Remove.value_or(std::vector<std::int32_t>{})) SetChosen(n, false);
    if (!model_.Next()) return Refused("the subsystem page");
    model_.QuestionsLevel = s_.Level;
    Log("adding " + NumberList(s_.Add.value_or(std::vector<std::int32_t>{})) + ", removing " +
        NumberList(s_.Remove.value_or(std::vector<std::int32_t>{})));
    model_.Next();
    return WaitForEngine();
  }

  int Uninstall() {
    // With an installation found this is always a removal: there is no one to choose.
    model_.ActRadioGroupClick(1);
    model_.QuestionsLevel = s_.Level;
    Log("removing the product");
    model_.Next();
    return WaitForEngine();
  }

  int WaitForEngine() {
    mainthread::PumpUntil([this] { return closed_; });
    return ExitCodeOfRun(model_);
  }

  int Refused(const std::string& what) {
    Log("stopped at step " + std::to_string(model_.Step) + ": " + what);
    return RefusalExitCode(model_.LastRefusal);
  }

  bool KnownNumbers(const std::vector<std::int32_t>& numbers) {
    for (std::int32_t n : numbers) {
      if (model_.SourceTree->FindByNumber(n) == nullptr) {
        Log("unknown subsystem number " + std::to_string(n));
        return false;
      }
    }
    return true;
  }

  // Ticks or unticks a subsystem as a click on its picture does, when it is not so already.
  void SetChosen(std::int32_t number, bool chosen) {
    TSysNode* node = model_.SourceTree->FindByNumber(number);
    if (node != nullptr && node->Info.Selected != chosen) model_.ToggleNode(node);
  }

  // The custom page as the person would leave it: every shown subsystem that is not listed
  // unticked, in the order of the tree's list, then every listed one ticked, in the order
  // given; the tree's selection rules follow each click.
  void ChooseComponents(const std::vector<std::int32_t>& listed) {
    std::vector<TSysNode*> shown;
    for (int i = 0; i < view_.Count(); ++i) shown.push_back(view_.At(i).Node);
    for (TSysNode* node : model_.SourceTree->Index()) {
      const bool isShown = std::find(shown.begin(), shown.end(), node) != shown.end();
      const bool isListed =
          std::find(listed.begin(), listed.end(), node->Info.Number) != listed.end();
      if (isShown && !isListed && node->Info.Selected) model_.ToggleNode(node);
    }
    for (std::int32_t n : listed) SetChosen(n, true);
  }

  const TSwitches& s_;
  TWizardModel model_;
  TMemoryTreeView view_;
  bool closed_ = false;
  std::function<int(const std::string&)> savedSearch_;
  std::function<bool(std::string&)> savedSelect_;
};

}  // namespace

int ExitCodeOfRun(const TWizardModel& model) {
  switch (model.Ended) {
    case TRunEnd::Done: return exitcode::kDone;
    case TRunEnd::Failed: return exitcode::kFailed;
    case TRunEnd::Aborted: return exitcode::kAborted;
    case TRunEnd::RestartPending: return exitcode::kRestartNeeded;
    case TRunEnd::NotRun: break;
  }
  if (model.LastRefusal == TWizardRefusal::NetworkDrive) return exitcode::kFailed;
  if (model.Step == 9) return model.Succeeded ? exitcode::kDone : exitcode::kFailed;
  return exitcode::kAborted;
}

int RunUnattended(const TSwitches& switches) {
  TUnattendedRun run(switches);
  return run.Run();
}
