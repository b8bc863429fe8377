// Steps that have their own home elsewhere in the engine's plan: the search for same-named
// and required files, the search path, the program group and the restart. Until each is
// built, it writes its log lines and lets the sequence go on; the required-file check still
// makes the distribution directory current, since the archives are opened relative to it.
#include <windows.h>

#include "common/osfile.h"
#include "common/win32.h"
#include "engine/ProgressThread.h"
#include "setup/SetupGlobals.h"

bool TProgressThread::SearchFiles() {
  WriteLog(" IN procedure SEARCHFILES");
  WriteLog(" OUT procedure SEARCHFILES");
  return true;
}

bool TProgressThread::FindReqFiles() {
  WriteLog(" IN function FINDREQFILES");
  const std::string& source = SetupGlobals.DestDir;
  if (!source.empty() && os::DirectoryExists(source)) {
    SetCurrentDirectoryW(win32::Wide(source).c_str());
  }
  WriteLog(" OUT function FINDREQFILES");
  return true;
}

void TProgressThread::MakeSaveInt() {
  WriteLog(" IN procedure MAKESAVEINT");
  WriteLog(" OUT procedure MAKESAVEINT");
}

void TProgressThread::ReadSavedInfo() {}
