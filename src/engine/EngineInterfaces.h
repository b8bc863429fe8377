// What the install engine sees of the user interface: the wizard's working state of the run
// and the progress window. The engine includes no window header; the wizard and the progress
// window implement these, and so do the tests.
#pragma once

#include <string>

#include "setup/SetupGlobals.h"

class TSysTree;

// Why a run of the engine ended; the process's exit code follows from it.
enum class TRunEnd {
  NotRun,          // the engine did not run
  Done,            // everything succeeded
  Failed,          // a step failed or raised, too little disk space, a library not loaded
  Aborted,         // the user cancelled, an abort question was answered so, a library aborted
  RestartPending,  // done, a restart finishes the work (the Windows 9x path)
};

// The run the wizard decided on. The wizard owns the trees; it hands every subsystem over
// with its Selected mark cleared, and the engine then uses Selected as its "done" mark.
struct TWizardState {
  SetupMode Mode = smInstall;
  std::string InstallDir;
  std::string ProgramGroup;
  int QuestionsLevel = 0;
  TSysTree* InstallTree = nullptr;  // subsystems to install or to add
  TSysTree* DeleteTree = nullptr;   // subsystems to remove
  bool Succeeded = false;           // written by the engine when it ends
  TRunEnd Ended = TRunEnd::NotRun;  // written by the engine when it ends
};

class TProgressThread;

// The progress window. Every call comes on the main thread. The window polls the engine's
// progress itself (TProgressThread::ReadProgress) and asks the engine to pause around its
// Cancel question.
class IProgressView {
 public:
  virtual ~IProgressView() = default;
  // Creates the window for the run's mode (hidden until Show).
  virtual void Create(TProgressThread& engine, SetupMode mode) = 0;
  virtual void Show() = 0;
  virtual void Hide() = 0;
  // Closes and frees the window.
  virtual void Close() = 0;
};

// What the progress window's Cancel handler may do to the loaded subsystem libraries. The
// library loader implements it; it exists only while the library step runs.
class ILibraryControl {
 public:
  virtual ~ILibraryControl() = default;
  virtual void SuspendAll() = 0;
  virtual void ResumeAll() = 0;
  // True while a library's question dialog runs on the main thread.
  virtual bool IsAsking() const = 0;
};
