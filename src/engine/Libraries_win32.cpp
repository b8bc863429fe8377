// The library step: the subsystems' plug-in libraries are loaded, set, asked (on the main
// thread) and performed (on the worker) by the library loader; what they did is left in
// the subsystems' done marks. A fresh installation whose libraries failed is rolled back.
#include <windows.h>

#include <memory>

#include "description/InstList.h"
#include "engine/Journal.h"
#include "engine/MainThread.h"
#include "engine/ProgressThread.h"
#include "libraries/DllLoader.h"
#include "setup/SetupGlobals.h"

namespace {

// The engine as the loader and its callbacks see it.
class TEngineLoaderHost : public ILoaderHost {
 public:
  explicit TEngineLoaderHost(TProgressThread& thread) : thread_(thread) {}
  bool SetProgress(std::int32_t percent, const std::string& text, std::int32_t extra) override {
    return thread_.SetProgress(percent, text, extra);
  }
  void HideProgress() override { mainthread::Run([this] { thread_.HideProgress(); }); }
  void ShowProgress() override { mainthread::Run([this] { thread_.ShowProgress(); }); }

 private:
  TProgressThread& thread_;
};

// The loader with everything it lends out: the callbacks' host, and the Cancel handler's
// access through the thread (registered only while the records exist, so the handler never
// sees them change). The library step's every exit unloads and frees it.
class TLoaderSession {
 public:
  explicit TLoaderSession(TProgressThread& thread) : thread_(thread), host_(thread) {
    SetLoaderHost(&host_);
  }
  ~TLoaderSession() {
    Unregister();
    Loader.UnloadDlls();
    SetLoaderHost(nullptr);
  }
  void Register() { thread_.SetLibraries(&Loader); }
  void Unregister() { thread_.SetLibraries(nullptr); }

  TDllLoader Loader;

 private:
  TProgressThread& thread_;
  TEngineLoaderHost host_;
};

// True when a top-level subsystem of the tree names a library: only those do work of
// their own that the journal cannot undo.
bool HasLibrary(const TSysTree* tree) {
  if (!tree) return false;
  for (int i = 0; i < tree->ChildCount(); ++i) {
    if (!tree->Children(i)->Info.Library.empty()) return true;
  }
  return false;
}

}  // namespace

bool TProgressThread::ProcDlls(bool installMode, TSysTree* libraries) {
  WriteLog(" IN function PROCDLLS");
  bool result = false;
  bool cancelled = false;
  HMODULE package = LoadContainerPackage(LibraryDirectories(installMode ? 1 : 2, state_.InstallDir));
  if (installMode) treeCopy_ = std::make_unique<TSysTree>();
  SetPercent(0);
  SetProgressText("Загрузка необходимых библиотек", "loading of libraries");
  if (!Report()) {
    // Cancelled before any library ran: the run is not a success, whatever step it reached
    // (an installation cancelled at its registry step would otherwise count as done).
    cancelled = true;
    success_ = false;
  } else {
    auto session = std::make_unique<TLoaderSession>(*this);
    TDllLoader& loader = session->Loader;
    if (installMode) {
      loader.Tree = state_.InstallTree;
      state_.InstallTree->MergeInto(treeCopy_.get());
    } else {
      loader.Tree = state_.DeleteTree;
    }
    if (libraries) loader.Tree = libraries;
    loader.OwnerWindow = nullptr;
    loader.Path = state_.InstallDir;
    loader.SetLoaderMode(installMode ? 1 : 2);
    loader.Language = SetupGlobals.IsEnglish ? 1 : 0;
    loader.QuestionsLevel = static_cast<std::uint8_t>(state_.QuestionsLevel);
    loader.LogPrefix = "setup";
    WriteLog(" set loader params");
    // A library is often found in the product's own directories; this process may not have
    // seen the machine's new Path.
    AddLibraryDirsToPath(state_.InstallDir);
    if (loader.LoadDlls()) {
      session->Register();
      if (!Report()) {
        cancelled = true;
        success_ = false;
      } else if (const std::uint8_t set = loader.SetAll(); set != 1) {
        if (set == 2) NoteAborted();
      } else {
        if (!Report()) {
          cancelled = true;
          success_ = false;
        } else {
          WriteLog(" set params successful");
          mainthread::Run([this] { HideProgress(); });
          mainthread::Run([&loader] {
            loader.SetAsking(true);
            try {
              loader.AskAll();
            } catch (...) {
              loader.AskResult = 0;
            }
            loader.SetAsking(false);
          });
          mainthread::Run([this] { ShowProgress(); });
          if (!Report()) {
            cancelled = true;
            success_ = false;
            loader.AbortAll();
          } else {
            if (loader.AskResult == 2) NoteAborted();
            if (loader.AskResult == 1) {
              WriteLog(" ask params successful");
              if (journal_ && HasLibrary(loader.Tree)) {
                journal_->Note(std::string("what the subsystem libraries did when they ") +
                               (installMode ? "installed" : "removed") + " their subsystems");
              }
              const std::uint8_t performed = loader.PerformAll();
              if (performed == 2) NoteAborted();
              result = performed == 1;
              if (!Report()) {
                cancelled = true;
                success_ = false;
                loader.AbortAll();
                result = false;
              } else if (!result) {
                loader.AbortAll();
              }
            }
            if (!cancelled) loader.ReadBackTrees();
          }
        }
      }
      if (!cancelled && !Report()) {
        cancelled = true;
        result = false;
        success_ = false;
      }
    }
    session.reset();
  }
  mainthread::Run([&package] { UnloadContainerPackage(package); });
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
