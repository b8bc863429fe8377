// The program-wide state of one run.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "setup/LogFiles.h"

class TIDFTextFile;
class TfmBackGrnd;
class TfmInstDlg;

enum SetupMode { smInstall = 0, smAddDelete = 1, smUninstall = 2 };

struct TSetupGlobals {
  std::string DescriptionFileName = "setup.idf";
  std::string LicenceFileName = "licence.txt";
  std::string UninstallInfoFileName = "uninst.inf";
  std::string TempDir;   // ends with "\"
  std::string StartDir;
  std::unique_ptr<TLogFile> Log;
  TIDFTextFile* Description = nullptr;  // owned by start-up, which frees it at the end
  bool IsEnglish = false;
  bool UninstallRequested = false;
  bool ContinueAfterRestart = false;
  bool RebootRequired = false;
  std::string MessageCaption;  // stays empty: every box has an empty title
  std::string SystemName;
  bool RegisteredSetup = true;
  std::int32_t SetupType = 0;
  std::string DestDir;
  TfmBackGrnd* BackgroundForm = nullptr;  // the application's main window
  TfmInstDlg* Wizard = nullptr;           // created without an owner, freed after the loop
  // No person is present (the /S switch): no wizard, no box, no progress window; every
  // question gets its fixed unattended answer.
  bool Unattended = false;
  // What the process answers when it ends (see exitcode:: in setup/Startup.h).
  int ExitCode = 0;
};

extern TSetupGlobals SetupGlobals;

// Writes one line to the run's log when there is one; a failing log write is not the
// caller's concern and is swallowed.
void WriteLog(const std::string& message);
