// The library step. Every top-level subsystem without a library of its own is done at once;
// the subsystems' plug-in libraries are loaded and driven by the library loader, which
// plugs in at the marked places.
#include <memory>

#include "description/InstList.h"
#include "engine/MainThread.h"
#include "engine/ProgressThread.h"
#include "setup/Messages.h"
#include "setup/SetupGlobals.h"

namespace {

// The loader's box for a library that could not be loaded, by mode (1 install, 2 uninstall).
void ShowNotLoaded(const std::string& name, int mode) {
  std::string russian = "Не удалось загрузить " + name, english = "not load lybrary  " + name;
  if (mode == 1) {
    russian += ". Инсталляция будет прервана.";
    english += ".Installation will be aborted";
  } else {
    russian += ". Денсталяция будет прервана.";
    english += ".Unnstallation will be aborted";
  }
  ShowBilingualMessage(russian, english, SetupGlobals.MessageCaption, kErrorBox);
}

}  // namespace

bool TProgressThread::ProcDlls(bool installMode) {
  WriteLog(" IN function PROCDLLS");
  bool result = false;
  bool cancelled = false;
  if (installMode) treeCopy_ = std::make_unique<TSysTree>();
  SetPercent(0);
  SetProgressText("Загрузка необходимых библиотек", "loading of libraries");
  if (!Report()) {
    // Cancelled before any library ran: the run is not a success, whatever step it reached
    // (an installation cancelled at its registry step would otherwise count as done).
    cancelled = true;
    success_ = false;
  } else {
    TSysTree* tree = installMode ? state_.InstallTree : state_.DeleteTree;
    if (installMode) state_.InstallTree->MergeInto(treeCopy_.get());
    WriteLog(" set loader params");
    // LoadDlls: a subsystem without a library is done as it stands.
    bool loaded = true;
    for (int i = 0; tree && i < tree->ChildCount(); ++i) {
      TSubsystemInfo& info = tree->Children(i)->Info;
      if (info.Library.empty()) {
        info.Selected = true;
      } else {
        ShowNotLoaded(info.Library, installMode ? 1 : 2);
        loaded = false;
        break;
      }
    }
    if (loaded) {
      if (!Report()) {
        cancelled = true;
        success_ = false;
      } else if (!Report()) {  // SetAll answered 1: every record was set
        cancelled = true;
        success_ = false;
      } else {
        WriteLog(" set params successful");
        mainthread::Run([this] { HideProgress(); });
        const int asked = 1;  // AskAll
        mainthread::Run([this] { ShowProgress(); });
        if (!Report()) {
          cancelled = true;
          success_ = false;
        } else {
          if (asked == 1) {
            WriteLog(" ask params successful");
            result = true;  // PerformAll
            if (!Report()) {
              cancelled = true;
              success_ = false;
              result = false;
            }
          }
          if (!cancelled && !Report()) {
            cancelled = true;
            result = false;
            success_ = false;
          }
        }
      }
    }
  }
  if (!cancelled && installMode) {
    if (result || state_.Mode != smInstall) {
      DelNotSetSystems();
    } else {
      RollBackInstall();
    }
  }
  if (installMode) treeCopy_.reset();
  WriteLog(" OUT function PROCDLLS");
  return result;
}

void TProgressThread::RollBackInstall() {
  state_.DeleteTree->ClearChildren();
  treeCopy_->RemoveUnselected(true);
  state_.InstallTree->RemoveUnselected(true);
  state_.InstallTree->MatchAgainst(treeCopy_.get());
  state_.InstallTree->MergeInto(state_.DeleteTree);
  Uninstall();
  success_ = false;
}
