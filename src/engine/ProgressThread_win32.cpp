// The worker thread: its life, the progress record, the pause, and the four modes' fixed
// sequences of steps.
#include "engine/ProgressThread.h"

#include "common/errors.h"
#include "description/InstList.h"
#include "engine/EngineMachine.h"
#include "engine/EnginePaths.h"
#include "engine/Journal.h"
#include "engine/MainThread.h"
#include "engine/SetupUnZip.h"
#include "setup/Messages.h"
#include "setup/Platform_win32.h"
#include "setup/SetupGlobals.h"

namespace {

bool HasTopLevel(const TSysTree* tree) { return tree && tree->ChildCount() > 0; }

// The four link lists of an installation: what the subsystems to install want, before the
// library step and after it (then only the entries of subsystems left not done).
struct TLinkLists {
  std::vector<std::string> MenuBefore, MenuAfter, DesktopBefore, DesktopAfter;

  void FillBefore(const TSysTree& tree) {
    tree.CollectLinks(MenuBefore, false);
    tree.CollectLinks(DesktopBefore, true);
  }
  // `leftOutMenu` and `leftOutDesktop`: the links of subsystems that are no longer in the
  // tree because the library step's clean-up took them out.
  void FillAfter(const TSysTree& tree, const std::vector<std::string>& leftOutMenu,
                 const std::vector<std::string>& leftOutDesktop) {
    tree.CollectLinks(MenuAfter, false);
    tree.CollectLinks(DesktopAfter, true);
    MenuAfter.insert(MenuAfter.end(), leftOutMenu.begin(), leftOutMenu.end());
    DesktopAfter.insert(DesktopAfter.end(), leftOutDesktop.begin(), leftOutDesktop.end());
  }
  // What is left in the before-lists are the links of the subsystems that were done.
  void KeepDone(const std::string& installDir) {
    SubtractList(MenuBefore, MenuAfter);
    MakeAbsolute(MenuBefore, installDir);
    SubtractList(DesktopBefore, DesktopAfter);
    MakeAbsolute(DesktopBefore, installDir);
  }
};

}  // namespace

TProgressThread::TProgressThread(TWizardState& state, IProgressView* view)
    : state_(state), view_(view) {}

TProgressThread::~TProgressThread() {
  if (thread_.joinable()) {
    Terminate();
    WaitFor();  // joins the thread
  }
}

void TProgressThread::Start() {
  thread_ = std::thread([this] {
    Execute();
    try {
      if (OnTerminate) mainthread::Run(OnTerminate);
    } catch (...) {
      // The handler's own failures are its business; the thread ends either way.
    }
    finished_ = true;
  });
}

void TProgressThread::WaitFor() {
  if (mainthread::IsMainThread()) {
    mainthread::PumpUntil([this] { return finished_.load(); });
  } else {
    while (!finished_) os::SleepMs(10);
  }
  if (thread_.joinable()) thread_.join();
}

// ---- progress, pause and cancel --------------------------------------------------------

bool TProgressThread::SetProgress(std::int32_t percent, const std::string& text,
                                  std::int32_t extra) {
  int report;
  {
    std::lock_guard<std::mutex> lock(progressLock_);
    extra_ = extra;
    percent_ = percent;
    text_ = text;
    report = ++reports_;
  }
  if (OnProgressReport) OnProgressReport(report);
  return CheckPause();
}

bool TProgressThread::CheckPause() {
  std::unique_lock<std::mutex> lock(pauseLock_);
  pauseChanged_.wait(lock, [this] { return pauseRequests_ == 0 || terminated_; });
  return !terminated_;
}

void TProgressThread::ReadProgress(std::int32_t& percent, std::string& text) const {
  std::lock_guard<std::mutex> lock(progressLock_);
  percent = percent_;
  text = text_;
}

// Requests nest (a question over a question, a test's pause around the person's): the
// worker goes on only when each has been resumed.
void TProgressThread::RequestPause() {
  std::lock_guard<std::mutex> lock(pauseLock_);
  ++pauseRequests_;
}

void TProgressThread::Resume() {
  {
    std::lock_guard<std::mutex> lock(pauseLock_);
    if (pauseRequests_ > 0) --pauseRequests_;
  }
  pauseChanged_.notify_all();
}

void TProgressThread::Terminate() {
  {
    std::lock_guard<std::mutex> lock(pauseLock_);
    terminated_ = true;
  }
  pauseChanged_.notify_all();
}

void TProgressThread::SetLibraries(ILibraryControl* loader) {
  std::lock_guard<std::mutex> lock(loaderLock_);
  loader_ = loader;
}

void TProgressThread::SuspendLibraries() {
  std::lock_guard<std::mutex> lock(loaderLock_);
  if (loader_) loader_->SuspendAll();
}

void TProgressThread::ResumeLibraries() {
  std::lock_guard<std::mutex> lock(loaderLock_);
  if (loader_) loader_->ResumeAll();
}

bool TProgressThread::IsAsking() {
  std::lock_guard<std::mutex> lock(loaderLock_);
  return loader_ && loader_->IsAsking();
}

bool TProgressThread::Report() {
  std::int32_t percent, extra;
  std::string text;
  {
    std::lock_guard<std::mutex> lock(progressLock_);
    percent = percent_;
    extra = extra_;
    text = text_;
  }
  return SetProgress(percent, text, extra);
}

bool TProgressThread::Report(std::int32_t percent) {
  std::int32_t extra;
  std::string text;
  {
    std::lock_guard<std::mutex> lock(progressLock_);
    extra = extra_;
    text = text_;
  }
  return SetProgress(percent, text, extra);
}

void TProgressThread::SetProgressText(const std::string& russian, const std::string& english) {
  std::lock_guard<std::mutex> lock(progressLock_);
  text_ = SetupGlobals.IsEnglish ? english : russian;
}

std::int32_t TProgressThread::Percent() const {
  std::lock_guard<std::mutex> lock(progressLock_);
  return percent_;
}

void TProgressThread::SetPercent(std::int32_t percent) {
  std::lock_guard<std::mutex> lock(progressLock_);
  percent_ = percent;
}

std::string TProgressThread::UninstallInfoPath(const std::string& installDir) const {
  return installDir + "\\" + SetupGlobals.UninstallInfoFileName;
}

// ---- the progress window ---------------------------------------------------------------

void TProgressThread::InitProgress() {
  WriteLog(" init progress");
  SetupGlobals.RebootRequired = rebootPending_;
  unzip_ = std::make_unique<TSetupUnZip>(*this);
  if (view_) {
    view_->Create(*this, state_.Mode);
    viewCreated_ = true;
    view_->Show();
  }
}

void TProgressThread::HideProgress() {
  WriteLog(" hide progress");
  if (view_ && viewCreated_) view_->Hide();
}

void TProgressThread::ShowProgress() {
  WriteLog(" show progress");
  if (view_ && viewCreated_) view_->Show();
}

void TProgressThread::DoneProgress() {
  WriteLog(" done progress");
  if (view_ && viewCreated_) view_->Close();
  viewCreated_ = false;
  unzip_.reset();
}

// ---- the sequence ----------------------------------------------------------------------

void TProgressThread::Execute() {
  WriteLog(" execute of install thread");
  try {
    ExternalPerform();
    WriteLog(" terminate of install thread");
  } catch (const std::exception& e) {
    // An exception from outside the program's own family (out of memory, a library fault)
    // is shown the same way: a worker must never take the process down with it.
    const auto* own = dynamic_cast<const Exception*>(&e);
    const std::string name = own ? own->ClassName() : "Exception";
    ShowLoggedMessage(name + ": " + (own ? own->Message() : std::string(e.what())),
                      SetupGlobals.MessageCaption, kErrorBox);
  }
}

void TProgressThread::ExternalPerform() {
  WriteLog(" IN procedure EXTERNALPERFORM");
  SetPercent(0);
  struct Done {
    TProgressThread& self;
    ~Done() {
      try {
        mainthread::Run([this] { self.DoneProgress(); });
      } catch (...) {
      }
      WriteLog(" OUT procedure EXTERNALPERFORM");
    }
  } done{*this};
  mainthread::Run([this] { InitProgress(); });
  rebootPending_ = false;
  success_ = true;
  aborted_ = false;
  restartScheduled_ = false;
  removal_.reset();
  BeginJournal();
  try {
    switch (state_.Mode) {
      case smInstall:
        if (SetupGlobals.ContinueAfterRestart) {
          ReadSavedInfo();
          InstallContinue();
        } else {
          Install();
        }
        break;
      case smAddDelete:
        AddDelComp();
        break;
      case smUninstall:
        Uninstall();
        break;
    }
  } catch (...) {
    // The run's changes are undone before the exception's message is shown.
    EndRun(true);
    throw;
  }
  mainthread::Run([this] { HideProgress(); });
  EndRun(false);
  StoreResult();
}

void TProgressThread::StoreResult() {
  if (rebootPending_) return;
  switch (state_.Mode) {
    case smInstall:
      state_.Succeeded = HasTopLevel(state_.InstallTree) && success_;
      break;
    case smAddDelete:
      state_.Succeeded = success_;
      break;
    case smUninstall:
      state_.Succeeded = false;
      if (success_) {
        MarkUninstalled();
        state_.Succeeded = true;
      }
      break;
  }
}

void TProgressThread::ShowRebootNotice() {
  ShowBilingualMessage("Для продолжения инсталляции необходима перезагрузка системы",
                       "For continuation of installation system will be rebooted",
                       SetupGlobals.MessageCaption, kNoticeBox | mb::kOk);
}

void TProgressThread::Install() {
  WriteLog(" IN procedure INSTALL");
  success_ = false;
  if (!SearchFiles()) return;
  const std::string& dir = state_.InstallDir;
  if (MakeDirStruct(dir) && ExtractComponentsFiles()) {
    if (!SetupGlobals.RegisteredSetup) {
      AddProcessPath(dir);
      InstallContinue();
    } else if (WriteReg() && RegisterComponentPath(NormalizeDestDir(dir))) {
      if (!GetPlatformFacts().IsWindows9x) {
        WriteLog(" OS platform is Windows NT");
        InstallContinue();
      } else {
        WriteLog(" OS platform is Windows 9x");
        MakeSaveInt();
        ShowRebootNotice();
        rebootPending_ = true;
        SetupGlobals.RebootRequired = true;
        WriteLog(" reboot windows");
      }
    }
  }
  WriteLog(" OUT procedure INSTALL");
}

void TProgressThread::InstallContinue() {
  WriteLog(" IN procedure INSTALLCONTINUE");
  TLinkLists links;
  success_ = true;
  links.FillBefore(*state_.InstallTree);
  WriteLog(" created lists of links");
  leftOutMenu_.clear();
  leftOutDesktop_.clear();
  if (ProcDlls(true) && HasTopLevel(state_.InstallTree)) {
    if (SetupGlobals.RegisteredSetup) RegisterComp();
    links.FillAfter(*state_.InstallTree, leftOutMenu_, leftOutDesktop_);
    links.KeepDone(state_.InstallDir);
    MakePrgGrpHolder(links.DesktopBefore, links.MenuBefore);
    if (SetupGlobals.RegisteredSetup) UninstallCopy();
  }
  WriteLog(" OUT procedure INSTALLCONTINUE");
}

void TProgressThread::AddDelComp() {
  success_ = false;
  if (!AddComp()) return;
  success_ = DelComp();
}

bool TProgressThread::AddComp() {
  WriteLog(" IN function ADDCOMP");
  bool result = true;
  if (HasTopLevel(state_.InstallTree)) {
    if (!FindReqFiles()) return false;
    state_.InstallTree->SaveSelection();
    result = false;
    if (ExtractComponentsFiles()) {
      TLinkLists links;
      links.FillBefore(*state_.InstallTree);
      WriteLog(" adding components");
      leftOutMenu_.clear();
      leftOutDesktop_.clear();
      if (ProcDlls(true)) {
        AddDelRegComp(true);
        links.FillAfter(*state_.InstallTree, leftOutMenu_, leftOutDesktop_);
        links.KeepDone(state_.InstallDir);
        MakePrgGrpHolder(links.DesktopBefore, links.MenuBefore);
        result = true;
      }
    }
  }
  WriteLog(" OUT function ADDCOMP");
  return result;
}

bool TProgressThread::DelComp() {
  WriteLog(" IN function DELCOMP");
  bool result = true;
  TSysTree* tree = state_.DeleteTree;
  if (removal_) {
    // The add/delete sequence comes here again after the addition's clean-up removed the
    // tree already: its libraries are not asked a second time, its archives not counted
    // twice, and a removal that failed stays failed.
    WriteLog(" components were removed already");
    result = *removal_;
  } else if (HasTopLevel(tree)) {
    tree->SaveSelection();
    std::vector<std::string> menu, desktop;
    tree->CollectLinks(menu, false);
    tree->CollectLinks(desktop, true);
    archives_ = std::make_unique<TArchiveList>();
    tree->CollectArchives(*archives_, false);
    // Only the top-level subsystems that go have their libraries remove them: a marked one
    // stays installed and is here only as the ancestor of a nested one that goes.
    TSysTree removing;
    for (int i = 0; i < tree->ChildCount(); ++i) {
      if (!tree->Children(i)->Info.Selected) TSysTree::CopyWithAncestors(tree->Children(i), &removing);
    }
    WriteLog("");
    WriteLog(" deleting not set components");
    result = false;
    removal_ = false;
    if (!UninstallListUsable()) {
      // Nothing is removed: the libraries would remove their parts, the registry would
      // forget subsystems whose files could not be told apart.
    } else if (ProcDlls(false, &removing)) {
      DelCompFiles();
      AddDelRegComp(false);
      MakeAbsolute(menu, state_.InstallDir);
      MakeAbsolute(desktop, state_.InstallDir);
      DelPrgGrpHolder(desktop, menu);
      WriteLog(" deleting not set components successful");
      result = true;
      removal_ = true;
    }
    archives_.reset();
  }
  WriteLog(" OUT function DELCOMP");
  return result;
}

void TProgressThread::Uninstall() {
  if (!SetupGlobals.RegisteredSetup) {
    success_ = true;
    return;
  }
  WriteLog(" IN procedure UNINSTALL");
  success_ = false;
  WriteLog(" uninstalling systems");
  if (ProcDlls(false) && DelDirs() && DelPath(ReadInstalledPath())) {
    DelProgramGroup();
    ClearProductKey();
    success_ = true;
  }
  WriteLog(" OUT procedure UNINSTALL");
}
