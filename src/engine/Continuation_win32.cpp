// The restart of a Windows 9x installation: the state saved in "temp.inf" in the install
// directory with a Startup-folder link that starts the installer again with it, and the
// second run that reads it back.
#include <windows.h>

#include "common/errors.h"
#include "common/osfile.h"
#include "common/win32.h"
#include "description/InstIDF.h"
#include "description/InstList.h"
#include "engine/Journal.h"
#include "engine/ProgramGroup_win32.h"
#include "engine/ProgressThread.h"
#include "setup/SetupGlobals.h"

void TProgressThread::MakeSaveInt() {
  WriteLog(" IN procedure MAKESAVEINT");
  TIDFTextFile file;
  TIDFSection* params = file.AddSection("Params");
  params->AddParam("Directory")->SetAsString(os::CurrentDirectory());
  params->AddParam("Sysname")->SetAsString(SetupGlobals.SystemName);
  params->AddParam("Path")->SetAsString(state_.InstallDir);
  params->AddParam("Folder")->SetAsString(state_.ProgramGroup);
  params->AddParam("Level")->SetAsInteger(state_.QuestionsLevel);
  params->AddParam("Language")->SetAsInteger(SetupGlobals.IsEnglish ? 1 : 0);
  if (state_.InstallTree) state_.InstallTree->SaveToIDF(&file);
  const std::string path = state_.InstallDir + "\\temp.inf";
  if (os::FileExists(path)) os::RemoveFile(path);
  // Without the saved state the second half cannot run: that ends the run with its message.
  if (!file.SaveToFile(path)) throw EInOutError(path + ": " + os::LastErrorMessage());
  WriteLog(" install information saved");
  try {
    const std::vector<std::string> links{ContinueLinkEntry(win32::ProgramFile(), state_.InstallDir)};
    std::string error;
    if (!DealProgramGroup(gjCreate, GetStartupGroupName(), &links, error, false, journal_.get())) {
      WriteLog(" link created error - " + error);
    }
    WriteLog(" registry run was filled");
  } catch (...) {
    // Without the link the user starts the installer again by hand; the restart still comes.
  }
  WriteLog(" OUT procedure MAKESAVEINT");
}

void TProgressThread::ReadSavedInfo() {
  WriteLog(" read saved information");
  state_.Mode = smInstall;
  SetupGlobals.IsEnglish = false;
  const TIDFTextFile* description = SetupGlobals.Description;
  if (TIDFSection* params = description ? description->FindSection("Params") : nullptr) {
    if (TIDFParam* p = params->FindParam("Sysname")) SetupGlobals.SystemName = p->AsString();
    if (TIDFParam* p = params->FindParam("Language")) SetupGlobals.IsEnglish = p->AsInteger() != 0;
    WriteLog(" system name is " + SetupGlobals.SystemName);
    if (TIDFParam* p = params->FindParam("Directory")) {
      if (!SetCurrentDirectoryW(win32::Wide(p->AsString()).c_str())) {
        throw EInOutError(p->AsString() + ": " + win32::ErrorText(GetLastError()));
      }
    }
    if (TIDFParam* p = params->FindParam("Path")) {
      state_.InstallDir = p->AsString();
      WriteLog(" install path is " + state_.InstallDir);
    }
    if (TIDFParam* p = params->FindParam("Folder")) {
      state_.ProgramGroup = p->AsString();
      WriteLog(" program group is " + state_.ProgramGroup);
    }
    if (TIDFParam* p = params->FindParam("Level")) {
      state_.QuestionsLevel = p->AsInteger();
      WriteLog(" question level is " + std::to_string(state_.QuestionsLevel));
    }
  }
  if (!state_.InstallTree) {
    savedInstallTree_ = std::make_unique<TSysTree>();
    state_.InstallTree = savedInstallTree_.get();
  }
  if (!state_.DeleteTree) {
    savedDeleteTree_ = std::make_unique<TSysTree>();
    state_.DeleteTree = savedDeleteTree_.get();
  }
  state_.InstallTree->ClearChildren();
  state_.InstallTree->LoadFromIDF(description);
  state_.DeleteTree->ClearChildren();
}
