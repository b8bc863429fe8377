// Steps that have their own home elsewhere in the engine's plan: the search for same-named
// and required files, the search path, the program group and the restart. Until each is
// built, it writes its log lines and lets the sequence go on; the required-file check still
// makes the distribution directory current, since the archives are opened relative to it.
#include <windows.h>

#include "common/osfile.h"
#include "common/win32.h"
#include "engine/ProgressThread.h"
#include "setup/SetupGlobals.h"

void TProgressThread::MakeSaveInt() {
  WriteLog(" IN procedure MAKESAVEINT");
  WriteLog(" OUT procedure MAKESAVEINT");
}

void TProgressThread::ReadSavedInfo() {}
