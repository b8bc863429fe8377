// The subsystem library loader. A top-level subsystem of the tree may name a plug-in
// library; the loader loads them all, sets each one up, lets each ask its questions (on
// the main thread), lets each perform (on the worker), and unloads them. What a library
// did ends up in its subsystem's Selected mark, the engine's done mark.
//
// The calls into a library go through GuardedCall: a library that crashes counts as a
// failed answer and is not called again.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/EngineInterfaces.h"

class TSysNode;
class TSysTree;

// What the loader and the callbacks it hands to the libraries need from the install
// engine. The engine implements it for the library step.
class ILoaderHost {
 public:
  virtual ~ILoaderHost() = default;
  // The worker's progress report; false once the user has confirmed cancelling.
  virtual bool SetProgress(std::int32_t percent, const std::string& text, std::int32_t extra) = 0;
  // Hide and show the progress window, on the main thread, waiting for it.
  virtual void HideProgress() = 0;
  virtual void ShowProgress() = 0;
};

// One processed subsystem: its library (nullptr without one) and its tree node.
struct THndlRec {
  THndlRec(HMODULE handle, TSysNode* node) : Handle(handle), Node(node) {}
  THndlRec(const THndlRec& other)
      : Handle(other.Handle), Node(other.Node), Crashed(other.Crashed.load()) {}
  HMODULE Handle = nullptr;
  TSysNode* Node = nullptr;
  // An export raised an exception: the library is not called again. The Cancel handler's
  // calls on the main thread may set it while the worker reads it.
  std::atomic<bool> Crashed{false};
};

// The library's exports, by slot. Setters and results are read through pointer-sized
// values (see sdk/ztkplugin.h).
enum TLibraryExport {
  leSetIUGRegim, leSetPath, leSetExternalParameter, leSetProgressCallBack, leSetLogCallBack,
  leSetHideProgressCallBack, leSetShowProgressCallBack, leSetClientNumber, leAskQuestions,
  lePerform, leSetTreePointer, leSetQuestionsLevel, leSetSessionName, leUserAbort,
  leUserResumeThread, leUserSuspendThread, leExportCount
};
const char* ExportName(TLibraryExport e);

class TCustomDLLLoader : public ILibraryControl {
 public:
  TCustomDLLLoader();
  ~TCustomDLLLoader() override;
  TCustomDLLLoader(const TCustomDLLLoader&) = delete;
  TCustomDLLLoader& operator=(const TCustomDLLLoader&) = delete;

  virtual void AskAll() = 0;
  virtual std::uint8_t PerformAll() = 0;
  virtual std::uint8_t SetAll() = 0;

  // The callbacks handed to the libraries (the loader's own functions by default).
  void* ProgressCallBack = nullptr;
  void* LogCallBack = nullptr;
  void* HideProgressCallBack = nullptr;
  void* ShowProgressCallBack = nullptr;
  std::int32_t ClientNumber = 0;
  std::uint8_t Language = 0;       // 0 Russian, 1 English
  std::uint8_t QuestionsLevel = 0;
  std::string LogPrefix;
  HWND OwnerWindow = nullptr;      // the boxes go through ShowMessageBox, which owns them
  std::string Path;                // UTF-8; handed over in the ANSI code page
  std::string SessionName;
  TSysTree* Tree = nullptr;
  std::vector<THndlRec> Records;
  std::uint8_t AskResult = 1;

  std::uint8_t LoaderMode() const { return mode_; }
  void SetLoaderMode(std::uint8_t mode);

  // ILibraryControl: the Cancel handler's access, from the main thread.
  void SuspendAll() override;
  void ResumeAll() override;
  bool IsAsking() const override { return asking_; }
  void SetAsking(bool asking) { asking_ = asking; }

  bool LoadDlls();
  bool SetParams(int index);
  void AbortAll();
  bool UnloadDlls();

  // Writes " " + prefix + ": " + text to the log.
  void Log(const std::string& text) const;
  // Logs the English text, shows the text of the loader's language; another language
  // shows nothing and answers 1.
  int LoaderMessage(const std::string& russian, const std::string& english, unsigned flags,
                    const std::string& caption) const;

 protected:
  // Refreshes the export slots from one library (all null for nullptr).
  void ResolveExports(HMODULE handle, bool settersOnly);
  // A guarded call of an export without arguments or with one pointer-sized argument;
  // false when the export raised an exception (logged; the record is marked).
  bool Call(THndlRec& rec, TLibraryExport e, std::uintptr_t& result);
  bool Call(THndlRec& rec, TLibraryExport e, std::uintptr_t argument, std::uintptr_t& result);
  // " не была удалена..." / " was not installated..." by mode.
  void QuestionTail(std::string& russian, std::string& english) const;

  void* exports_[leExportCount] = {};
  std::atomic<bool> asking_{false};
  std::uint8_t mode_ = 1;
  std::string abortQuestion_;
};

class TDllLoader : public TCustomDLLLoader {
 public:
  ~TDllLoader() override;
  void AskAll() override;
  std::uint8_t PerformAll() override;
  std::uint8_t SetAll() override;
  void ReadBackTrees();

  // One block per record: the subsystem's library image, or empty for none.
  std::vector<std::vector<std::uint8_t>> TreeBlocks;

 private:
  std::uint8_t PerformOne(THndlRec& rec, bool& leave);
};

// The host the loader's callbacks reach; the library step sets it while its loader exists.
void SetLoaderHost(ILoaderHost* host);
// The four callbacks, with the contract's calling convention (sdk/ztkplugin.h).
extern "C" {
BOOL WINAPI LoaderProgressCallBack(INT32 percent, const char* text, INT32 extra);
void WINAPI LoaderLogCallBack(const char* text);
void WINAPI LoaderHideProgressCallBack();
void WINAPI LoaderShowProgressCallBack();
}

// Where a library named by the description is looked for, in this order: installing, the
// distribution directory (the current directory at start), then the install directory and
// its SYSTEM and USER directories; removing (mode 2), the installed directories first and
// the distribution directory last. Never the Path, never the program's own directory.
std::vector<std::string> LibraryDirectories(std::uint8_t mode, const std::string& installDir);
// The full path of the library: a full path as it is, else the first of the directories
// that holds it (".dll" added to a name without an extension, as Windows does); empty when
// there is none. A name that climbs out of the directory ("..") or names a drive or a root
// without being a full path is found nowhere.
std::string FindLibrary(const std::string& name, const std::vector<std::string>& directories);

// The optional runtime package the libraries may need: loaded by full path when
// "vcontain.bpl" is in one of the directories or in the system directory, else nullptr.
HMODULE LoadContainerPackage(const std::vector<std::string>& directories);
void UnloadContainerPackage(HMODULE& package);

// Puts InstallDir\SYSTEM\ and InstallDir\USER\ on the installer's own Path unless there.
void AddLibraryDirsToPath(const std::string& installDir);
