#include "engine/ProgramGroup_win32.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <thread>

#include "common/errors.h"
#include "common/osfile.h"
#include "common/win32.h"
#include "engine/DirTree.h"
#include "engine/Journal.h"
#include "engine/LinkEntries.h"
#include "engine/MainThread.h"
#include "engine/ProgressThread.h"
#include "engine/ShellFolders_win32.h"
#include "setup/Messages.h"
#include "setup/ProductKeys_win32.h"
#include "setup/SetupGlobals.h"

namespace {

const char kContinueLinkName[] = "continue ZTK Setup";

// COM for the calling thread for as long as it lives; a thread that has it already (in
// either model) keeps what it has.
class TComScope {
 public:
  TComScope() {
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    initialized_ = SUCCEEDED(hr);
  }
  ~TComScope() {
    if (initialized_) CoUninitialize();
  }
  TComScope(const TComScope&) = delete;
  TComScope& operator=(const TComScope&) = delete;

 private:
  bool initialized_ = false;
};

template <typename T>
class TComPtr {
 public:
  TComPtr() = default;
  ~TComPtr() {
    if (p_) p_->Release();
  }
  TComPtr(const TComPtr&) = delete;
  TComPtr& operator=(const TComPtr&) = delete;
  T* operator->() const { return p_; }
  T* get() const { return p_; }
  void** put() { return reinterpret_cast<void**>(&p_); }

 private:
  T* p_ = nullptr;
};

std::string HresultText(HRESULT hr) { return win32::ErrorText(static_cast<DWORD>(hr)); }

// One job carried from the calling thread to the main thread.
class TDealProgramGroupThread {
 public:
  TDealProgramGroupThread(std::uint8_t job, const std::vector<std::string>* links, std::string group,
                          bool desktop, TJournal* journal)
      : job_(job), links_(links), group_(std::move(group)), desktop_(desktop), journal_(journal) {}

  // Runs the job on the main thread and waits for its end.
  void Execute() {
    if (mainthread::IsMainThread()) {
      Job();
      return;
    }
    std::thread thread([this] {
      TComScope com;
      mainthread::Run([this] { Job(); });
    });
    thread.join();
  }

  bool Success() const { return success_; }
  const std::string& Error() const { return error_; }

 private:
  // Only the first error is kept: the later ones are mostly its consequences.
  void Record(const std::string& error) {
    if (!success_) return;
    success_ = false;
    error_ = error;
  }

  void Job() {
    TComScope com;
    success_ = true;
    try {
      switch (job_) {
        case gjCreate:
          Create();
          break;
        case gjDeleteGroup:
          DeleteGroup();
          break;
        case gjDeleteLinks:
          DeleteLinks();
          break;
        default:
          Record("Неизвестное задание по изменению программной группы");
          break;
      }
    } catch (const std::exception& e) {
      const auto* own = dynamic_cast<const Exception*>(&e);
      Record("Ошибка при изменении программной группы \r\n" + (own ? own->Message() : std::string(e.what())));
    }
  }

  // The group's folder, without a trailing "\". A group never leaves its base folder, and
  // without a known base folder nothing is made or deleted (links would otherwise land in the
  // current directory).
  bool GroupFolder(std::string& folder, std::string& base) {
    const char* reason = nullptr;
    if (!IsSafeGroupName(group_)) {
      reason = "недопустимое имя программной группы ";
    } else {
      base = ShellFolderPath(desktop_ ? TShellFolder::Desktop : TShellFolder::Programs);
      if (base.empty()) reason = "не найден каталог для программной группы ";
    }
    if (reason) {
      Record("Ошибка при определении каталога программной группы \r\n" + std::string(reason) + group_);
      return false;
    }
    if (base.back() != '\\') base += '\\';
    folder = base + group_;
    return true;
  }

  void Create() {
    std::string folder, base;
    if (!GroupFolder(folder, base)) return;
    if (journal_) journal_->WillCreateDirectories(folder);
    if (!os::CreateDirectories(folder)) {
      Record("Ошибка при создании программной группы " + group_);
      return;
    }
    if (!links_) return;
    for (const std::string& entry : *links_) {
      const TLinkEntry link = ParseLinkEntry(entry);
      if (!IsSafeLinkName(link.Name)) {
        Record("Ошибка при добавлении программного элемента " + link.Name +
               "\r\nимя ссылки не может быть именем файла");
        continue;
      }
      TComPtr<IShellLinkW> shellLink;
      TComPtr<IPersistFile> file;
      HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                    shellLink.put());
      if (SUCCEEDED(hr)) hr = shellLink->QueryInterface(IID_IPersistFile, file.put());
      if (FAILED(hr)) {
        Record("Ошибка при добавлении программного элемента " + link.Name + "\r\n" + HresultText(hr));
        break;
      }
      shellLink->SetArguments(win32::Wide(link.Arguments).c_str());
      shellLink->SetPath(win32::Wide(link.Target).c_str());
      shellLink->SetWorkingDirectory(win32::Wide(FolderOf(link.Target)).c_str());
      shellLink->SetIconLocation(win32::Wide(link.Icon).c_str(), 0);
      shellLink->SetDescription(win32::Wide(link.Description).c_str());
      const std::string path = folder + "\\" + link.Name + ".lnk";
      if (journal_) journal_->WillWriteFile(path);
      if (FAILED(file->Save(win32::Wide(path).c_str(), TRUE))) Record("Error creation file " + path);
    }
  }

  void DeleteGroup() {
    std::string folder, base;
    if (!GroupFolder(folder, base)) return;
    if (os::DirectoryExists(folder) && !DeleteDirTree(folder, false)) {
      Record("Ошибка при удалении программной группы " + group_);
      return;
    }
    // A nested group's parents go too once they are empty ("Vendor" of "Vendor\Product").
    for (std::string parent = group_; parent.find('\\') != std::string::npos;) {
      parent.erase(parent.rfind('\\'));
      if (!os::RemoveDir(base + parent)) break;
    }
  }

  void DeleteLinks() {
    std::string folder, base;
    if (!GroupFolder(folder, base) || !links_) return;
    for (const std::string& entry : *links_) {
      const std::string name = ParseLinkEntry(entry).Name;
      const std::string path = folder + "\\" + name + ".lnk";
      if (!IsSafeLinkName(name)) continue;  // no link of ours has such a name
      if (os::FileExists(path) && !(journal_ ? journal_->DeleteWithBackup(path) : os::RemoveFile(path))) {
        Record("Ошибка при удалении ссылки. Не найдена ссылка " + group_ + "\\" + name);
        break;
      }
    }
  }

  std::uint8_t job_;
  const std::vector<std::string>* links_;
  std::string group_;
  bool desktop_;
  TJournal* journal_;
  bool success_ = false;
  std::string error_;
};

}  // namespace

bool DealProgramGroup(std::uint8_t job, const std::string& group,
                      const std::vector<std::string>* links, std::string& error, bool desktop,
                      TJournal* journal) {
  TDealProgramGroupThread thread(job, links, group, desktop, journal);
  thread.Execute();
  error = thread.Error();
  return thread.Success();
}

std::string GetStartupGroupName() {
  return LastPathComponent(ShellFolderPath(TShellFolder::Startup));
}

std::string ContinueLinkEntry(const std::string& program, const std::string& installDir) {
  return program + "|" + installDir + "\\temp.inf||" + kContinueLinkName;
}

void RemoveContinueLink() {
  try {
    const std::vector<std::string> links{std::string("|||") + kContinueLinkName};
    std::string error;
    DealProgramGroup(gjDeleteLinks, GetStartupGroupName(), &links, error, false);
  } catch (...) {
  }
}

TShellLinkModule::TShellLinkModule() {
  initialized_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  TComPtr<IShellLinkW> link;
  CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put());
}

TShellLinkModule::~TShellLinkModule() {
  if (initialized_) CoUninitialize();
}

// ---- the steps ---------------------------------------------------------------------------

bool TProgressThread::MakePrgGrpHolder(const std::vector<std::string>& desktop,
                                       const std::vector<std::string>& menu) {
  WriteLog(" IN finction MAKEPRGGRPHOLDER");
  const auto make = [this](const std::vector<std::string>& links, bool onDesktop) {
    std::string error;
    if (!DealProgramGroup(gjCreate, state_.ProgramGroup, &links, error, onDesktop, journal_.get())) {
      ShowBilingualMessage("Ошибка при создании программной группы", "error at creation of program group",
                           error, kErrorBox);
    }
  };
  SetPercent(Percent() + 10);
  if (!Report(20)) return false;
  SetPercent(Percent() + 10);
  if (!desktop.empty()) make(desktop, true);
  SetPercent(Percent() + 10);
  if (!Report(20)) return false;
  SetPercent(Percent() + 10);
  if (!menu.empty()) make(menu, false);
  if (!Report(100)) return false;
  WriteLog(" OUT finction MAKEPRGGRPHOLDER");
  return true;
}

void TProgressThread::DelPrgGrpHolder(const std::vector<std::string>& desktop,
                                      const std::vector<std::string>& menu) {
  WriteLog(" IN procedure DELPRGGRPHOLDER");
  const auto remove = [this](const std::vector<std::string>& links, bool onDesktop) {
    std::string error;
    if (!DealProgramGroup(gjDeleteLinks, state_.ProgramGroup, &links, error, onDesktop, journal_.get())) {
      ShowBilingualMessage("Ошибка при удалении программной группы", "error at deleting of program group",
                           error, kErrorBox);
    }
  };
  SetPercent(Percent() + 10);
  if (!Report(20)) return;
  SetPercent(Percent() + 10);
  if (!desktop.empty()) remove(desktop, true);
  SetPercent(Percent() + 10);
  if (!Report(20)) return;
  SetPercent(Percent() + 10);
  if (!menu.empty()) remove(menu, false);
  if (!Report(100)) return;
  WriteLog(" OUT procedure DELPRGGRPHOLDER");
}

void TProgressThread::DelProgramGroup() {
  WriteLog(" deleting program group");
  try {
    std::string group;
    TWin32RegistryKey key = productkeys::Open(HKEY_LOCAL_MACHINE, productkeys::kProduct, false);
    if (key.Opened()) key.ReadString("Program Group", group);
    WriteLog(" program group is " + group);
    if (!group.empty()) {
      std::string error;
      DealProgramGroup(gjDeleteGroup, group, nullptr, error, true);
      DealProgramGroup(gjDeleteGroup, group, nullptr, error, false);
    }
  } catch (const std::exception&) {
    ShowBilingualMessage("Ошибка изменения реестра!", "error of change of the registry",
                         SetupGlobals.MessageCaption, kErrorBox);
  }
}
