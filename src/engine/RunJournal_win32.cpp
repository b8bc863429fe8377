// The journal of a run of the engine: begun with the run, committed when the run succeeds,
// undone when it does not, and handed over to the run after a restart on the Windows 9x path.
// A journal that cannot be written stops the run: no change is made that could not be undone.
#include <exception>

#include "common/osfile.h"
#include "description/InstList.h"
#include "engine/Journal.h"
#include "engine/Journal_win32.h"
#include "engine/ProgressThread.h"
#include "setup/Messages.h"
#include "setup/SetupGlobals.h"

void TProgressThread::BeginJournal() {
  // A removal cannot bring deleted files back; it keeps no journal.
  if (state_.Mode == smUninstall) return;
  journal_ = std::make_unique<TJournal>();
  journal_->FinalPath = FinalPathOf;
  journal_->OnFailure = [this] {
    WriteLog(" the journal cannot be written: " + os::LastErrorMessage() + "; the run stops");
    Terminate();
  };
  if (state_.Mode == smInstall && SetupGlobals.ContinueAfterRestart) {
    const std::string restart = RestartJournalPath();
    if (!restart.empty() && os::FileExists(restart)) {
      // Trusted as a journal left by a run that died is: by its owner and access list.
      const std::string why = DistrustOf(restart, false);
      const std::string own = why.empty() ? NewRunJournalPath() : std::string();
      if (!why.empty()) {
        WriteLog(" journal of the installation before the restart left alone, it cannot be trusted (" + why +
                 "): " + restart);
      } else if (MoveJournal(restart, own) && journal_->Adopt(own)) {
        WriteLog(" journal of the installation before the restart taken over: " + own);
        return;
      }
    }
  }
  const std::string path = NewRunJournalPath();
  const bool created = !path.empty() && journal_->Create(path);
  // The header is kept in memory at least: what the run recorded can then still be undone.
  const bool headed = journal_->Append(ProductRecord(RunProduct(state_.InstallDir, state_.ProgramGroup)));
  if (created && headed) {
    WriteLog(" journal " + path);
    return;
  }
  // Without a journal on the disk a crash could not be undone: nothing is changed at all.
  WriteLog(" journal " + (path.empty() ? std::string("directory") : path) +
           " cannot be written: " + os::LastErrorMessage());
  journal_->Fail();
}

void TProgressThread::EndRun(bool raised) {
  try {
    const bool journalFailed = journal_ && journal_->Failed();
    if (rebootPending_ && !raised && !journalFailed) {
      // The second half after the restart commits the journal or undoes it.
      if (journal_) {
        const std::string path = journal_->Path();
        journal_->Close();
        if (!path.empty() && !MoveJournal(path, RestartJournalPath())) {
          WriteLog(" journal not kept for the restart: " + os::LastErrorMessage());
        }
        journal_.reset();
      }
      state_.Ended = TRunEnd::RestartPending;
      return;
    }
    bool succeeded = !raised && !journalFailed;
    switch (state_.Mode) {
      case smInstall:
        succeeded = succeeded && success_ && state_.InstallTree && state_.InstallTree->ChildCount() > 0;
        break;
      case smAddDelete:
        // A cancelled change of the product leaves it as it was, wherever it was cancelled.
        succeeded = succeeded && success_ && !Terminated();
        break;
      case smUninstall:
        succeeded = succeeded && success_;
        break;
    }
    if (journal_) {
      if (succeeded) {
        journal_->Commit();
      } else {
        WriteLog(" the run did not succeed: undoing its changes");
        TLogFile::TKeepOpen keepLog(SetupGlobals.Log.get());  // a line per change undone
        const int failed = journal_->Rollback(UndoRegistryRecord, WriteLog);
        WriteLog(failed == 0 ? std::string(" every change undone")
                             : " changes undone except " + std::to_string(failed));
      }
      journal_.reset();
    }
    if (journalFailed) {
      ShowBilingualMessage(
          "Не удаётся записать журнал изменений (диск переполнен?). Установка остановлена, "
          "сделанные ею изменения отменены.",
          "The journal of changes cannot be written (is the disk full?). The installation has "
          "been stopped and the changes it made have been undone.",
          SetupGlobals.MessageCaption, kErrorBox);
    }
    if (!succeeded && state_.Mode == smAddDelete) success_ = false;
    if (succeeded) {
      state_.Ended = restartScheduled_ ? TRunEnd::RestartPending : TRunEnd::Done;
    } else if (journalFailed) {
      state_.Ended = TRunEnd::Failed;
      success_ = false;
    } else {
      state_.Ended = (aborted_ || Terminated()) ? TRunEnd::Aborted : TRunEnd::Failed;
    }
    if (restartScheduled_ && succeeded) {
      WriteLog(" a restart finishes the work: files in use are replaced or deleted then");
    }
  } catch (const std::exception& e) {
    WriteLog(std::string(" the end of the run failed: ") + e.what());
    state_.Ended = TRunEnd::Failed;
  }
}
