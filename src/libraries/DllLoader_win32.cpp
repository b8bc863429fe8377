// TCustomDLLLoader and TDllLoader: loading, setting up, asking, performing and unloading
// the subsystems' plug-in libraries. Every log line goes through Log, every call into a
// library through Call (guarded).
#include "libraries/DllLoader.h"

#include <cstdio>
#include <exception>

#include "common/errors.h"
#include "common/text.h"
#include "common/win32.h"
#include "description/InstList.h"
#include "libraries/GuardedCall.h"
#include "setup/Messages.h"
#include "setup/Platform_win32.h"
#include "setup/SetupGlobals.h"

namespace {

const char* const kExportNames[leExportCount] = {
    "SetIUGRegim",   "SetPath",         "SetExternalParameter",    "SetProgressCallBack",
    "SetLogCallBack", "SetHideProgressCallBack", "SetShowProgressCallBack", "SetClientNumber",
    "AskQuestions",  "Perform",         "SetTreePointer",          "SetQuestionsLevel",
    "SetSessionName", "UserAbort",      "UserResumeThread",        "UserSuspendThread"};

// The eleven setters: what SetAll resolves.
bool IsSetter(int e) {
  return e != leAskQuestions && e != lePerform && e != leUserAbort && e != leUserResumeThread &&
         e != leUserSuspendThread;
}

std::string Hex(unsigned long value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%08lX", value);
  return buffer;
}

std::string DescribeForLog(const std::exception& e) {
  const auto* own = dynamic_cast<const Exception*>(&e);
  return std::string(own ? own->ClassName() : "Exception") + " : " +
         (own ? own->Message() : std::string(e.what()));
}

}  // namespace

const char* ExportName(TLibraryExport e) { return kExportNames[e]; }

// ---- TCustomDLLLoader ------------------------------------------------------------------

TCustomDLLLoader::TCustomDLLLoader() {
  ProgressCallBack = reinterpret_cast<void*>(&LoaderProgressCallBack);
  LogCallBack = reinterpret_cast<void*>(&LoaderLogCallBack);
  HideProgressCallBack = reinterpret_cast<void*>(&LoaderHideProgressCallBack);
  ShowProgressCallBack = reinterpret_cast<void*>(&LoaderShowProgressCallBack);
}

TCustomDLLLoader::~TCustomDLLLoader() { Records.clear(); }

void TCustomDLLLoader::SetLoaderMode(std::uint8_t mode) {
  mode_ = mode;
  abortQuestion_ = mode == 2 ? "To abort uninstallation?" : "To abort installation?";
}

void TCustomDLLLoader::Log(const std::string& line) const {
  WriteLog(LogPrefix.empty() ? " " + line : " " + LogPrefix + ": " + line);
}

int TCustomDLLLoader::LoaderMessage(const std::string& russian, const std::string& english,
                                    unsigned flags, const std::string& caption) const {
  Log(english);
  // Every question the loader asks is whether to abort; with no one to ask, it aborts.
  TUnattendedAnswer abortWhenUnattended(mb::kIdYes);
  if (Language == 0) return ShowMessageBox(russian, caption, flags);
  if (Language == 1) return ShowMessageBox(english, caption, flags);
  return 1;
}

void TCustomDLLLoader::QuestionTail(std::string& russian, std::string& english) const {
  if (mode_ == 2) {
    russian = " не была удалена.\r\nПрервать деинсталляцию?";
    english = " was not uninstallated.\r\nTo abort uninstallation?";
  } else {
    russian = " не была установлена.\r\nПрервать инсталляцию?";
    english = " was not installated.\r\nTo abort installation?";
  }
}

void TCustomDLLLoader::ResolveExports(HMODULE handle, bool settersOnly) {
  for (int e = 0; e < leExportCount; ++e) {
    if (settersOnly && !IsSetter(e)) continue;
    exports_[e] = handle ? reinterpret_cast<void*>(GetProcAddress(handle, kExportNames[e])) : nullptr;
  }
}

bool TCustomDLLLoader::Call(THndlRec& rec, TLibraryExport e, std::uintptr_t& result) {
  return Call(rec, e, 0, result);
}

bool TCustomDLLLoader::Call(THndlRec& rec, TLibraryExport e, std::uintptr_t argument,
                            std::uintptr_t& result) {
  result = 0;
  if (rec.Crashed || !exports_[e]) return false;
  const bool hasArgument = e != leAskQuestions && e != lePerform && e != leUserAbort &&
                           e != leUserResumeThread && e != leUserSuspendThread;
  unsigned long code = 0;
  if (GuardedCall(exports_[e], hasArgument ? 1 : 0, argument, &result, &code)) return true;
  rec.Crashed = true;
  result = 0;
  std::string name = rec.Node ? rec.Node->Info.Library : std::string();
  Log("library " + name + " raised exception 0x" + Hex(code) + " in " + kExportNames[e] +
      "; it is not called again");
  return false;
}

bool TCustomDLLLoader::LoadDlls() {
  Log("IN function LoadDlls");
  try {
    for (int i = 0; Tree && i < Tree->ChildCount(); ++i) {
      TSysNode* node = Tree->Children(i);
      TSubsystemInfo& info = node->Info;
      // Everything installed under a top-level subsystem starts done: no library of the
      // subtree is ever loaded, and a sub-subsystem left "not done" would be deleted right
      // after the installation that unpacked it. A library still sees the subtree in its
      // tree block and may clear a sub-subsystem it could not set up.
      node->SelectAll();
      if (info.Library.empty()) {
        Records.emplace_back(nullptr, node);
        info.Selected = true;
        continue;
      }
      const std::string& name = info.Library;
      const std::string path = FindLibrary(name, LibraryDirectories(mode_, Path));
      HMODULE handle = path.empty() ? nullptr : LoadLibraryFromPath(path);
      if (handle) {
        Records.emplace_back(handle, node);
        Log("library " + name + " loaded successful");
        continue;
      }
      if (mode_ == 2 && path.empty()) {
        // A damaged or half-removed product must not block its own removal for ever.
        Records.emplace_back(nullptr, node);
        info.Selected = true;
        Log("library " + name + " not found; subsystem " + info.ShortName +
            " is removed without it");
        continue;
      }
      std::string russian = "Не удалось загрузить " + name, english = "not load lybrary  " + name;
      switch (mode_) {
        case 1:
          russian += ". Инсталляция будет прервана.";
          english += ".Installation will be aborted";
          break;
        case 2:
          russian += ". Денсталяция будет прервана.";
          english += ".Unnstallation will be aborted";
          break;
        case 3:
          russian += ". Генерация будет прервана.";
          english += ".Generation will be aborted";
          break;
        default:
          russian = "Не удалось загрузить  " + name;
          break;
      }
      LoaderMessage(russian, english, kErrorBox, SetupGlobals.MessageCaption);
      return false;
    }
  } catch (const std::exception& e) {
    const auto* own = dynamic_cast<const Exception*>(&e);
    const std::string text = std::string(own ? own->ClassName() : "Exception") + ": " +
                             (own ? own->Message() : std::string(e.what()));
    LoaderMessage(text, text, kErrorBox, SetupGlobals.MessageCaption);
    return false;
  }
  Log("OUT function LoadDlls");
  return true;
}

bool TCustomDLLLoader::SetParams(int index) {
  Log("IN function SETPARAMS");
  THndlRec& rec = Records[static_cast<std::size_t>(index)];
  const TSubsystemInfo& info = rec.Node->Info;
  const bool removing = mode_ == 2;
  std::uintptr_t answer = 0;
  if (!text::FitsAnsi(Path)) {
    Log("path " + Path + " cannot be given to library " + info.Library +
        " in the ANSI code page");
    return false;
  }
  const std::string parameter = text::Utf8ToAnsi(info.Parameter);
  if (exports_[leSetExternalParameter]) {
    Log("call SETEXTERNALPARAMETER");
    if (!Call(rec, leSetExternalParameter, reinterpret_cast<std::uintptr_t>(parameter.c_str()), answer) ||
        (answer & 0xFF) == 0) {
      LoaderMessage("Неверный параметр. Система " + info.SectionName +
                        (removing ? "не будет удалена" : "не будет установлена"),
                    "Invalid parameter. Subsystem " + info.SectionName +
                        (removing ? "does not uninstalling" : "does not installing"),
                    kErrorBox, SetupGlobals.MessageCaption);
      return false;
    }
  }
  if (exports_[leSetIUGRegim]) {
    Log("call SETUIGREGIM");
    if (!Call(rec, leSetIUGRegim, mode_, answer) || (answer & 0xFF) == 0) {
      LoaderMessage("Библиотека " + info.Library +
                        (removing ? " не поддерживает режим деинсталляции." : " не поддерживает режим инсталляции.") +
                        "\r\n" + "Система " + info.SectionName +
                        (removing ? " не будет удалена" : " не будет установлена"),
                    "library " + info.Library +
                        (removing ? " do not have uninstall regim." : " do not have install regim.") +
                        "\r\n" + "Subsystem " + info.SectionName +
                        (removing ? " not will be uninstalled" : " not will be installed"),
                    kNoticeBox, SetupGlobals.MessageCaption);
      return false;
    }
  }
  const std::string path = text::Utf8ToAnsi(Path);
  const std::string session = text::Utf8ToAnsi(SessionName);
  const struct {
    TLibraryExport e;
    const char* logName;
    std::uintptr_t argument;
  } rest[] = {
      {leSetQuestionsLevel, "SETQUESTIONSLEVEL", QuestionsLevel},
      {leSetPath, "SETPATH", reinterpret_cast<std::uintptr_t>(path.c_str())},
      {leSetClientNumber, "SETCLIENTNUMBER", static_cast<std::uint32_t>(ClientNumber)},
      {leSetProgressCallBack, "SETPROGRESSCALLBACK", reinterpret_cast<std::uintptr_t>(ProgressCallBack)},
      {leSetSessionName, "SETSESSIONNAME", reinterpret_cast<std::uintptr_t>(session.c_str())},
      {leSetHideProgressCallBack, "SETHIDEPROGRESSCALLBACK", reinterpret_cast<std::uintptr_t>(HideProgressCallBack)},
      {leSetShowProgressCallBack, "SETSHOWPROGRESSCALLBACK", reinterpret_cast<std::uintptr_t>(ShowProgressCallBack)},
  };
  for (const auto& setter : rest) {
    if (!exports_[setter.e]) continue;
    Log(std::string("call ") + setter.logName);
    if (!Call(rec, setter.e, setter.argument, answer) && rec.Crashed) return false;
  }
  Log("OUT function SETPARAMS");
  return true;
}

void TCustomDLLLoader::AbortAll() {
  Log("IN procedure ABORT");
  for (THndlRec& rec : Records) {
    if (!rec.Handle) continue;
    ResolveExports(rec.Handle, false);
    std::uintptr_t ignored;
    Call(rec, leUserAbort, ignored);
  }
  Log("OUT procedure ABORT");
}

bool TCustomDLLLoader::UnloadDlls() {
  Log("IN function UNLOADDLLS");
  bool result = true;
  for (THndlRec& rec : Records) {
    // A library that crashed may be in any state; its unloading could crash again.
    if (!rec.Handle || rec.Crashed) continue;
    if (!FreeLibrary(rec.Handle)) {
      LoaderMessage("Не удалось выгрузить библиотеку " + rec.Node->Info.ShortName,
                    "do not unload library " + rec.Node->Info.ShortName, kErrorBox,
                    SetupGlobals.MessageCaption);
      result = false;
    }
    rec.Handle = nullptr;
  }
  Records.clear();
  Log("OUT function UNLOADDLLS");
  return result;
}

void TCustomDLLLoader::SuspendAll() {
  Log("IN procedure SUSPENDALL");
  for (THndlRec& rec : Records) {
    if (!rec.Handle) continue;
    Log("before calling UserSuspendThread :" + rec.Node->Info.ShortName);
    void* entry = reinterpret_cast<void*>(GetProcAddress(rec.Handle, "UserSuspendThread"));
    std::uintptr_t result = 0;
    unsigned long code = 0;
    if (entry && !rec.Crashed && !GuardedCall(entry, 0, 0, &result, &code)) {
      rec.Crashed = true;
      Log("library " + rec.Node->Info.Library + " raised exception 0x" + Hex(code) +
          " in UserSuspendThread");
      break;
    }
  }
  Log("OUT procedure SUSPENDALL");
}

void TCustomDLLLoader::ResumeAll() {
  Log("IN procedure RESUMEALL");
  for (THndlRec& rec : Records) {
    if (!rec.Handle) continue;
    Log("before calling UserResumeThread :" + rec.Node->Info.ShortName);
    void* entry = reinterpret_cast<void*>(GetProcAddress(rec.Handle, "UserResumeThread"));
    std::uintptr_t result = 0;
    unsigned long code = 0;
    if (entry && !rec.Crashed && !GuardedCall(entry, 0, 0, &result, &code)) {
      rec.Crashed = true;
      Log("library " + rec.Node->Info.Library + " raised exception 0x" + Hex(code) +
          " in UserResumeThread");
      break;
    }
  }
  Log("OUT procedure RESUMEALL");
}

// ---- TDllLoader ------------------------------------------------------------------------

TDllLoader::~TDllLoader() { TreeBlocks.clear(); }

std::uint8_t TDllLoader::SetAll() {
  Log("IN function SETALL");
  TreeBlocks.clear();
  std::uint8_t result = 1;
  try {
    for (std::size_t j = 0; j < Records.size(); ++j) {
      THndlRec& rec = Records[j];
      TSubsystemInfo& info = rec.Node->Info;
      if (!rec.Handle) {
        TreeBlocks.emplace_back();
        continue;
      }
      Log("get functions addesses : " + info.ShortName);
      ResolveExports(rec.Handle, true);
      Log("set all : " + info.ShortName);
      std::uintptr_t answer = 0;
      if (exports_[leSetLogCallBack]) {
        Log("call SETLOGCALLBACK");
        Call(rec, leSetLogCallBack, reinterpret_cast<std::uintptr_t>(LogCallBack), answer);
      }
      bool ok = true;
      bool treeSent = false;
      if (exports_[leSetTreePointer]) {
        Log("call SETTREEPOINTER");
        std::vector<std::uint8_t> block(static_cast<std::size_t>(rec.Node->GetRecordSize()));
        rec.Node->WriteRecord(block.data());
        TreeBlocks.push_back(std::move(block));
        treeSent = true;
        ok = Call(rec, leSetTreePointer, reinterpret_cast<std::uintptr_t>(TreeBlocks[j].data()), answer) &&
             (answer & 0xFF) != 0;
      } else {
        TreeBlocks.emplace_back();
      }
      if (ok && !rec.Crashed) {
        ok = SetParams(static_cast<int>(j));
      } else if (treeSent) {
        LoaderMessage("Ошибка при передаче дерева подсистем",
                      "error of transmission of tree of subsystems", mb::kIconError,
                      SetupGlobals.MessageCaption);
      }
      if (ok && !rec.Crashed) {
        info.Selected = true;
        continue;
      }
      Log("error sending subsystems params : " + info.ShortName);
      info.Selected = false;
      if (mode_ == 1 || mode_ == 2) {
        const bool removing = mode_ == 2;
        if (LoaderMessage(removing ? "Прервать деинсталляцию?" : "Прервать инсталляцию?",
                          abortQuestion_, kQuestionBox,
                          SetupGlobals.MessageCaption) == mb::kIdYes) {
          Log(removing ? "user abort uninstalling" : "user abort installing");
          result = 2;
          break;
        }
      }
    }
  } catch (const std::exception& e) {
    Log(DescribeForLog(e));
    result = 0;
  }
  Log("OUT function SETALL");
  return result;
}

void TDllLoader::AskAll() {
  Log("IN procedure ASKALL");
  AskResult = 1;
  std::string tailRussian, tailEnglish;
  QuestionTail(tailRussian, tailEnglish);
  try {
    for (THndlRec& rec : Records) {
      TSubsystemInfo& info = rec.Node->Info;
      if (!rec.Handle || !info.Selected) continue;
      Log("before calling AskQuestions :" + info.ShortName);
      info.Selected = false;
      LoaderHideProgressCallBack();
      ResolveExports(rec.Handle, false);
      if (!exports_[leAskQuestions] || rec.Crashed) continue;
      std::uintptr_t answer = 0;
      Call(rec, leAskQuestions, answer);  // a crash answers 0
      switch (answer & 0xFF) {
        case 1:
          Log("AskQuestions = TRUE  :" + info.ShortName);
          info.Selected = true;
          break;
        case 2:
          Log("abort installation");
          AskResult = 2;
          break;
        case 0:
          Log("AskQuestions = FALSE  :" + info.ShortName);
          if (LoaderMessage("Система " + info.ShortName + tailRussian,
                            "subsystem " + info.ShortName + tailEnglish,
                            mb::kYesNo | mb::kIconQuestion,
                            SetupGlobals.MessageCaption) == mb::kIdYes) {
            Log("user abort installation");
            AskResult = 2;
            Log("OUT procedure ASKALL");
            return;
          }
          break;
        default:
          break;
      }
    }
  } catch (const std::exception& e) {
    Log(DescribeForLog(e));
    AskResult = 0;
  }
  Log("OUT procedure ASKALL");
}

std::uint8_t TDllLoader::PerformOne(THndlRec& rec, bool& leave) {
  TSubsystemInfo& info = rec.Node->Info;
  std::string tailRussian, tailEnglish;
  QuestionTail(tailRussian, tailEnglish);
  Log("before calling Perform :" + info.ShortName);
  info.Selected = false;
  ResolveExports(rec.Handle, false);
  std::uint8_t result = 1;
  if (exports_[lePerform] && !rec.Crashed) {
    std::uintptr_t answer = 0;
    Call(rec, lePerform, answer);  // a crash answers 0
    if (!LoaderProgressCallBack(100, "", 0)) {
      leave = true;
      return result;
    }
    switch (answer & 0xFF) {
      case 1:
        Log("Perform = TRUE  :" + info.ShortName);
        info.Selected = true;
        break;
      case 2:
        if (mode_ == 1) info.Selected = true;
        result = 2;
        Log("abort installation");
        break;
      case 0:
        Log("Perform = FALSE  :" + info.ShortName);
        if (LoaderMessage("Система " + info.ShortName + tailRussian,
                          "subsystem " + info.ShortName + tailEnglish,
                          mb::kYesNo | mb::kIconQuestion,
                          SetupGlobals.MessageCaption) == mb::kIdYes) {
          Log("user abort installation");
          leave = true;
          return 2;
        }
        break;
      default:
        break;
    }
  }
  if (!LoaderProgressCallBack(100, "", 0)) leave = true;
  return result;
}

std::uint8_t TDllLoader::PerformAll() {
  Log("IN procedure PERFORMALL");
  std::uint8_t result = 1;
  try {
    for (THndlRec& rec : Records) {
      if (!rec.Handle) {
        rec.Node->Info.Selected = true;
        continue;
      }
      if (!rec.Node->Info.Selected) continue;
      bool leave = false;
      if (PerformOne(rec, leave) == 2) result = 2;
      if (leave) break;
    }
  } catch (const std::exception& e) {
    Log(DescribeForLog(e));
    result = 0;
  }
  Log("OUT procedure PERFORMALL");
  return result;
}

void TDllLoader::ReadBackTrees() {
  for (std::size_t j = 0; j < Records.size() && j < TreeBlocks.size(); ++j) {
    const std::vector<std::uint8_t>& block = TreeBlocks[j];
    if (block.empty()) continue;
    try {
      Records[j].Node->ReadSelectionFromRecord(block.data(), block.size());
    } catch (...) {
      // A damaged block leaves the subsystem's marks as they are.
    }
  }
}
