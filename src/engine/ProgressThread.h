// TProgressThread, the install engine's worker: it carries out what the wizard decided (a
// fresh installation, its second half after a restart, adding and removing subsystems, or
// removing the product) as a fixed sequence of steps, each of which returns a Boolean and
// reports its own failures with a message box. The steps live in the files of this folder:
//
//   ProgressThread_win32.cpp   the thread, the progress record, the pause, the four modes
//   Extract_win32.cpp          MakeDirStruct, ExtractComponentsFiles, TSetupUnZip
//   Registry_win32.cpp         WriteReg, RegisterComp, AddDelRegComp, UninstallCopy, ...
//   DirTree.cpp, EnginePaths.cpp   the portable parts: directory removal, path rules
//   Removal_win32.cpp          DelDirs, DelCompFiles, DelNotSetSystems
//   UninstallList.cpp          reading uninst.inf, and what makes it unusable
//   Libraries_win32.cpp        ProcDlls
//   EnvPath_win32.cpp, EnvPath.cpp   RegisterComponentPath, DelPath, AddProcessPath
//   ProgramGroup_win32.cpp     MakePrgGrpHolder, DelPrgGrpHolder, DelProgramGroup
//   Continuation_win32.cpp     MakeSaveInt, ReadSavedInfo (the Windows 9x restart)
//   FileChecks_win32.cpp       SearchFiles, FindReqFiles
//   Journal*.cpp, RunJournal_win32.cpp   the journal of every change a run makes, and the
//                              rollback of a run that did not succeed
//   FilesInUse_win32.cpp       files held open by other programs
//
// Progress flows one way: the steps store percent, text and an extra integer under the
// progress lock, and the progress window copies them on its timer. Cancelling flows back:
// Terminate makes every later SetProgress answer false, and each step stops at its next
// report. Pausing is cooperative: while a pause is requested the worker blocks inside its
// next report (or at the archive reader's next refill) until Resume or Terminate.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/EngineInterfaces.h"

class TArchiveList;
class TJournal;

// What becomes of an archive entry whose target another program holds open.
enum class TFileInUse { Write, Keep, Defer };
class TIDFTextFile;
class TSetupUnZip;
class TSysTree;

class TProgressThread {
 public:
  TProgressThread(TWizardState& state, IProgressView* view);
  ~TProgressThread();
  TProgressThread(const TProgressThread&) = delete;
  TProgressThread& operator=(const TProgressThread&) = delete;

  // Starts the worker. When it has ended, OnTerminate runs on the main thread.
  void Start();
  std::function<void()> OnTerminate;
  // True once Execute and OnTerminate have run.
  bool Finished() const { return finished_; }
  // Waits for the end; on the main thread it keeps the message loop running meanwhile.
  void WaitFor();

  // ---- progress, pause and cancel (safe from any thread) ----
  // Stores the three values under the progress lock; waits while a pause is requested;
  // answers false once the thread has been told to terminate.
  bool SetProgress(std::int32_t percent, const std::string& text, std::int32_t extra);
  void ReadProgress(std::int32_t& percent, std::string& text) const;
  // Nested: the worker waits until every RequestPause has had its Resume.
  void RequestPause();
  void Resume();
  void Terminate();
  bool Terminated() const { return terminated_; }
  // Blocks while a pause is requested; false once terminated. The archive reader calls it at
  // every refill of its input.
  bool CheckPause();
  // The Cancel handler's access to the libraries: safe at any moment, the loader is created
  // and freed only under the same lock.
  void SuspendLibraries();
  void ResumeLibraries();
  bool IsAsking();
  // The library step registers its loader here while it exists (nullptr when it is freed).
  void SetLibraries(ILibraryControl* loader);

  // Tests: called inside every progress report before its answer is decided, with the
  // report's number (from 1). A test may Terminate or pause from here.
  std::function<void(int report)> OnProgressReport;

  // ---- the sequence ----
  void Execute();
  void ExternalPerform();
  void Install();
  void InstallContinue();
  void AddDelComp();
  bool AddComp();
  bool DelComp();
  void Uninstall();
  void StoreResult();
  void ShowRebootNotice();

  // ---- the journal and the end of the run ----
  // The journal of this run's changes (none in an uninstall): the steps record every change
  // in it before they make it.
  TJournal* Journal() { return journal_.get(); }
  void BeginJournal();
  // Commits the journal when the run succeeded, else undoes it; then writes Ended.
  void EndRun(bool raised);
  // The user (or a library for the user) chose to abort: the run ends as Aborted.
  void NoteAborted() { aborted_ = true; }
  // A file could only be replaced or deleted at the next restart: the run ends as
  // RestartPending (the machine is not restarted for it).
  void NoteRestartScheduled() { restartScheduled_ = true; }
  bool RestartScheduled() const { return restartScheduled_; }
  // The extraction's files held by other programs: the wizard asks Retry / Ignore / Cancel,
  // an unattended run leaves them for the restart. True when the entry is to be written now.
  TFileInUse ResolveFileInUse(const std::string& target);
  // The deferred entries written beside their targets and renamed over them at the restart.
  void ExtractForRestart(TSetupUnZip& zip, const std::string& destDir,
                         const std::vector<std::string>& targets);
  // Deletes a file of a removal; a file in use is deleted at the next restart instead. False
  // when it could be neither.
  bool DeleteOrSchedule(const std::string& path);
  // What DeleteDirTree left of a directory (files in use) goes at the next restart.
  void ScheduleLeftovers(const std::string& directory);

  // Synchronised with the main thread.
  void InitProgress();
  void HideProgress();
  void ShowProgress();
  void DoneProgress();

  // ---- directory structure and extraction ----
  bool MakeDirStruct(const std::string& installDir);
  bool ExtractComponentsFiles();

  // ---- registry ----
  bool WriteReg();
  bool RegisterComp();
  bool AddDelRegComp(bool adding);
  void UninstallCopy();
  void WriteUninstIdf();
  bool ClearProductKey();

  // ---- removal ----
  bool DelDirs();
  void DelCompFiles();
  void DelNotSetSystems();
  void ConfirmNotSetSystems();

  // ---- libraries ----
  // `libraries`: the tree whose top-level subsystems' libraries run (by default the tree of
  // the mode, InstallTree or DeleteTree).
  bool ProcDlls(bool installMode, TSysTree* libraries = nullptr);
  void RollBackInstall();

  // ---- search path, program group, restart, file checks (steps of their own) ----
  bool SearchFiles();
  bool FindReqFiles();
  bool RegisterComponentPath(const std::string& path);
  void AddProcessPath(const std::string& path);
  bool DelPath(const std::string& path);
  bool MakePrgGrpHolder(const std::vector<std::string>& desktop,
                        const std::vector<std::string>& menu);
  void DelPrgGrpHolder(const std::vector<std::string>& desktop,
                       const std::vector<std::string>& menu);
  void DelProgramGroup();
  void MakeSaveInt();
  void ReadSavedInfo();

  // ---- state ----
  TWizardState& State() { return state_; }
  bool Success() const { return success_; }
  bool RebootPending() const { return rebootPending_; }
  TSetupUnZip* UnZip() { return unzip_.get(); }
  TSysTree* TreeCopy() { return treeCopy_.get(); }
  void SetSuccess(bool success) { success_ = success; }
  // The current progress values reported again (the steps' plain progress report), or with
  // another percent.
  bool Report();
  bool Report(std::int32_t percent);
  void SetProgressText(const std::string& russian, const std::string& english);
  std::int32_t Percent() const;
  void SetPercent(std::int32_t percent);

 private:
  // The path of uninst.inf in the install directory.
  std::string UninstallInfoPath(const std::string& installDir) const;
  // Loads uninst.inf into `list` (left empty when there is none, and `missing` set); false,
  // after telling the person, when the file is there but damaged.
  bool LoadUninstallInfo(const std::string& path, TIDFTextFile& list, bool& missing);
  // False, after telling the person, when the installed product's uninst.inf is damaged.
  bool UninstallListUsable();
  // The duplicate-file form, on the main thread: shows searchMessage_ and stores its answer
  // (1, 6 or 2) in searchAnswer_.
  void ShowSearchForm();
  std::string searchMessage_;
  std::int32_t searchAnswer_ = 0;
  // The trees a continuation run reads from the saved state when the wizard gave none.
  std::unique_ptr<TSysTree> savedInstallTree_;
  std::unique_ptr<TSysTree> savedDeleteTree_;

  TWizardState& state_;
  IProgressView* view_;
  bool viewCreated_ = false;

  mutable std::mutex progressLock_;
  std::int32_t percent_ = 0;
  std::string text_;
  std::int32_t extra_ = 0;
  int reports_ = 0;

  std::mutex pauseLock_;
  std::condition_variable pauseChanged_;
  int pauseRequests_ = 0;
  std::atomic<bool> terminated_{false};

  std::mutex loaderLock_;
  ILibraryControl* loader_ = nullptr;

  bool rebootPending_ = false;
  bool success_ = false;
  bool aborted_ = false;
  bool restartScheduled_ = false;
  std::unique_ptr<TJournal> journal_;
  std::unique_ptr<TSysTree> notSetTree_;
  std::unique_ptr<TSysTree> treeCopy_;
  std::unique_ptr<TSetupUnZip> unzip_;
  std::unique_ptr<TArchiveList> archives_;
  // The links of the subsystems the clean-up after the library step took out of
  // InstallTree: they are no longer there when the links left not done are collected.
  std::vector<std::string> leftOutMenu_, leftOutDesktop_;
  // The outcome of this run's removal of DeleteTree, once it has been tried: the removal
  // (and with it every removing library) runs once, whatever it answered.
  std::optional<bool> removal_;

  std::thread thread_;
  std::atomic<bool> finished_{false};
};
