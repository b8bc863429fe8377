#include "ui/WizardModel_win32.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <optional>

#include "common/CanonicalPath.h"
#include "common/osfile.h"
#include "common/text.h"
#include "common/win32.h"
#include "description/InstIDF.h"
#include "engine/ProgressThread.h"
#include "engine/ShellFolders_win32.h"
#include "setup/InstTool.h"
#include "setup/Messages.h"
#include "setup/ProductKeys_win32.h"
#include "setup/SetupGlobals.h"
#include "ui/SizeText_win32.h"

namespace {

constexpr const char* kDefaultDir = "C:\\Quorvalen";
constexpr const char* kDefaultGroup = "Quorvalen";
constexpr const char* kBuiltInCompany = "Quorvalen";
constexpr const char* kBuiltInUrl = "URL:  www.quorvalen.com";
constexpr const char* kGreetingRu = "Вас приветствует программа\r\n      установки  системы  ";
constexpr const char* kGreetingEn = "You are welcomed with a program\r\nof installation of system";

// ---- the step table ---------------------------------------------------------------------
// What each step shows. Steps 1 and 8 build their captions from the system's name, and step
// 8 its button from the mode; step 2's button changes only when the licence was loaded.
enum class TNextText { Unchanged, NextArrow, Agree, Perform };
enum class TBack { Unchanged, Hidden, Shown };

struct TStepRow {
  TWizardPage Page;
  const char* CaptionRu;
  const char* CaptionEn;
  TNextText Next;
  TBack Back;
};

constexpr TStepRow kSteps[] = {
    {pgFirst, nullptr, nullptr, TNextText::Unchanged, TBack::Unchanged},
    {pgLicense, "Лицензионное соглашение", "The license agreement", TNextText::Agree, TBack::Hidden},
    {pgTypeInst, "Выбор типа установки", "Select install type", TNextText::NextArrow, TBack::Shown},
    {pgSelComp, "Выбор устанавливаемых подсистем", "Select of installed subsystems", TNextText::NextArrow,
     TBack::Unchanged},
    {pgProgGrp, "Выбор программной группы", "Select program group", TNextText::NextArrow, TBack::Unchanged},
    {pgAction, "Выбор действия", "Select process", TNextText::Unchanged, TBack::Hidden},
    {pgSelComp, "Выбор добавляемых/удаляемых подсистем", "Select of add/delete subsystems", TNextText::NextArrow,
     TBack::Shown},
    {pgLast, nullptr, nullptr, TNextText::Perform, TBack::Unchanged},
};

std::string Trimmed(const std::string& s) { return std::string(text::TrimControl(s)); }

// A decimal integer with an optional sign, blanks around it allowed.
bool ParseInteger(const std::string& text, std::int32_t& value) {
  const std::string s = Trimmed(text);
  std::size_t i = (!s.empty() && (s[0] == '-' || s[0] == '+')) ? 1 : 0;
  if (i >= s.size()) return false;
  std::int64_t v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
    if (v > 0x80000000LL) return false;
  }
  if (s[0] == '-') v = -v;
  if (v > 0x7FFFFFFF) return false;
  value = static_cast<std::int32_t>(v);
  return true;
}

// Lines as a memo loads them: CR LF, a lone LF and a lone CR all end a line.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

int CompareNoCase(const std::string& a, const std::string& b) {
  const std::wstring wa = win32::Wide(a), wb = win32::Wide(b);
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, wa.c_str(), static_cast<int>(wa.size()), wb.c_str(),
                        static_cast<int>(wb.size())) - CSTR_EQUAL;
}

std::string ProgramDirectory() {
  const std::string path = win32::ProgramFile();
  const std::size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

std::string ExtractFileDrive(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
  if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    // "\\server\share": up to the separator after the share's name.
    std::size_t slash = path.find('\\', 2);
    if (slash == std::string::npos) return path;
    slash = path.find('\\', slash + 1);
    return slash == std::string::npos ? path : path.substr(0, slash);
  }
  return {};
}

std::string WithoutTrailingBackslash(const std::string& path) {
  if (!path.empty() && path.back() == '\\') return path.substr(0, path.size() - 1);
  return path;
}

TWizardModel::TWizardModel() : SourceTree(std::make_unique<TSysTree>()) {
  NextText = "Далее >";
  TypeItems[0] = "Полная";
  TypeItems[1] = "Выборочная";
}

TWizardModel::~TWizardModel() {
  // The engine reads the trees until it has ended.
  InstallThread.reset();
  EmptyComponentTree();
}

const char* TWizardModel::Lang(const char* russian, const char* english) const {
  return SetupGlobals.IsEnglish ? english : russian;
}

// ---- creation ---------------------------------------------------------------------------

void TWizardModel::ReadParams(const std::string& currentDirectory) {
  CompanyName = kBuiltInCompany;
  CompanyUrl = kBuiltInUrl;
  OnlyNewDir = false;
  // The drive combo's view of the current directory: a network path has no drive letter.
  NoDriveLetter = !(currentDirectory.size() >= 2 && currentDirectory[1] == ':');
  if (SetupGlobals.IsEnglish) {
    NextText = "Next";
    TypeItems[0] = "Full";
    TypeItems[1] = "Custom";
  }
  FullTypeCaption = TypeItems[0];
  WriteLog(" creation of a dialog window of installation");
  InstallDir.clear();
  SetInstallTree(nullptr);
  SetDeleteTree(nullptr);

  const TIDFSection* params = SetupGlobals.Description ? SetupGlobals.Description->FindSection("Params") : nullptr;
  if (params) {
    // A key's value; every value but the name and the logo loses one trailing "\".
    auto value = [&](const char* name, bool keepBackslash) -> std::optional<std::string> {
      const TIDFParam* param = params->FindParam(name);
      if (!param) return std::nullopt;
      return keepBackslash ? param->AsString() : WithoutTrailingBackslash(param->AsString());
    };
    WriteLog(" reading of the name of the system");
    if (auto v = value("System name", true)) SetupGlobals.SystemName = *v;
    WriteLog(" system name is " + SetupGlobals.SystemName);
    WriteLog(" reading of path of installation");
    if (auto v = value("System path", false)) InstallDir = *v;
    if (auto v = value("Program Group", false)) ProgramGroup = *v;
    WriteLog(" install path is " + InstallDir);
    if (auto v = value("Company URL", false)) CompanyUrl = v->empty() ? std::string() : "URL:  " + *v;
    if (auto v = value("Company Name", false)) CompanyName = *v;
    bool logoFailed = false;
    if (auto v = value("Logo file", true)) {
      try {
        const std::string file = ProgramDirectory() + *v;
        if (os::FileExists(file)) {
          LogoFile = file;
          CompanyVisible = !CompanyName.empty();
          UrlVisible = !CompanyUrl.empty();
        }
      } catch (...) {
        logoFailed = true;
      }
    }
    if (!logoFailed) {
      if (auto v = value("Install type", false)) SetupGlobals.RegisteredSetup = Trimmed(*v) != "0";
    }
    if (auto v = value("OnlyNewDir", false)) OnlyNewDir = Trimmed(*v) == "1";
    if (SetupGlobals.RegisteredSetup) {
      if (auto v = value("SetupType", false)) {
        std::int32_t type = 0;
        if (ParseInteger(*v, type)) SetupGlobals.SetupType = type;
      }
    }
  }
  if (InstallDir.empty()) InstallDir = kDefaultDir;
  if (ProgramGroup.empty()) ProgramGroup = kDefaultGroup;
  FullInstall = true;
  Mode = smInstall;
  SourceTree = std::make_unique<TSysTree>();
  SetStep(SetupGlobals.ContinueAfterRestart ? 9 : 1);
}

// ---- steps ------------------------------------------------------------------------------

void TWizardModel::SetStep(int step) {
  Step = step;
  if (step == 9) {
    Page = pgNone;
    if (OnStepShown) OnStepShown(step);
    StartInstallThread();
    return;
  }
  const TStepRow& row = kSteps[step - 1];
  Page = row.Page;
  if (row.CaptionRu) Caption = Lang(row.CaptionRu, row.CaptionEn);
  switch (row.Next) {
    case TNextText::NextArrow:
      NextText = Lang("Далее >", "Next >");
      break;
    case TNextText::Perform:
      if (Mode == smInstall) NextText = Lang("Установить", "Install");
      if (Mode == smAddDelete) NextText = Lang("Выполнить", "Add/Del");
      break;
    default:
      break;
  }
  if (row.Back != TBack::Unchanged) BackVisible = row.Back == TBack::Shown;
  UpdateStepTexts();
  if (OnStepShown) OnStepShown(step);
}

// The per-step actions besides the table's captions and buttons.
void TWizardModel::UpdateStepTexts() {
  const std::string& name = SetupGlobals.SystemName;
  switch (Step) {
    case 1:
      Caption = Lang("Установка системы ", "Installation of system ") + name;
      Label1 = std::string(Lang(kGreetingRu, kGreetingEn)) + "\r\n" + name + " !";
      break;
    case 2:
      if (LoadLicence()) NextText = Lang("Согласен", "I Agree");
      break;
    case 3:
      DirectoryText = InstallDir;
      break;
    case 5:
      GroupText = ProgramGroup;
      if (Folders.empty()) FillProgramGroups();
      break;
    case 6:
      if (SetupGlobals.SetupType == 1 && SetupGlobals.UninstallRequested) {
        Mode = smUninstall;
        ActionVisible = false;
      } else {
        // The mode follows the choice the radio group shows (it keeps it when the person
        // comes back to this page).
        Mode = ActionIndex == 0 ? smAddDelete : smUninstall;
        ActionVisible = true;
      }
      break;
    case 8:
      if (Mode == smInstall) {
        Caption = Lang("Установка системы ", "Installation of ") + name;
      } else {
        Caption = Lang("Добавление / удаление подсистем", "Add/Delete of ") + name;
      }
      if (Mode == smInstall || Mode == smAddDelete) {
        PrepareInstall();
        const bool install = Mode == smInstall;
        if (SetupGlobals.IsEnglish) {
          Label8 = "The installation routine of\r\n" + name + "\r\n" +
                   (install ? "system is ready to copying files." : "system is ready to add/delete subsystems.");
        } else {
          Label8 = "Программа инсталляции системы\r\n" + name + "\r\n" +
                   (install ? "готова к копированию файлов." : "готова к добавлению/удалению подсистем.");
        }
      }
      break;
    default:
      break;
  }
}

bool TWizardModel::Next() {
  LastRefusal = TWizardRefusal::None;
  const int before = Step;
  switch (Step) {
    case 1: NextFirst(); break;
    case 2: NextLicence(); break;
    case 3: NextTypeInst(); break;
    case 4: NextSelComp(); break;
    case 5: NextProgGrp(); break;
    case 6: NextAction(); break;
    case 7: NextAddDelete(); break;
    case 8: NextLast(); break;
    default: break;
  }
  return Step != before;
}

bool TWizardModel::NextFirst() {
  if (NoDriveLetter) {
    LastRefusal = TWizardRefusal::NetworkDrive;
    ShowBilingualMessage("Сетевой диск должен быть подключен. Инсталляция будет прервана",
                         "Network disk must be mapped. Installation failed", SetupGlobals.MessageCaption,
                         kErrorBox);
    if (OnClose) OnClose();
    return false;
  }
  InstalledSizeK = 0;
  const std::string& name = SetupGlobals.SystemName;
  if (SetupGlobals.RegisteredSetup && SearchRegistrySettings()) {
    WriteLog(" " + name + " was installed");
    if (SetupGlobals.SetupType == 1 && !SetupGlobals.UninstallRequested) {
      SetStep(2);
      WriteLog("  Install new system " + name);
    } else {
      Mode = SetupGlobals.UninstallRequested ? smUninstall : smAddDelete;
      SetStep(6);
    }
  } else {
    WriteLog(" " + name + " was not installed");
    SetStep(2);
  }
  return true;
}

bool TWizardModel::BuildSourceTree() {
  EmptyComponentTree();
  SourceTree = std::make_unique<TSysTree>();
  return SourceTree->LoadFromIDF(SetupGlobals.Description);
}

bool TWizardModel::NextLicence() {
  bool built = false;
  try {
    built = BuildSourceTree();
  } catch (...) {
    LastRefusal = TWizardRefusal::NoTree;
    throw;
  }
  if (!built) {
    LastRefusal = TWizardRefusal::NoTree;
    return false;
  }
  SourceTree->SelectAll();
  ArchiveSizes = std::make_unique<TArchiveSize>();
  SourceTree->ComputeArchiveSizes(*ArchiveSizes);
  TypeItems[0] = FullTypeCaption + " (" + sizetext::MegabytesText(RequiredK()) + ")";
  if (OnSizesChanged) OnSizesChanged();
  SetStep(3);
  return true;
}

bool TWizardModel::NextTypeInst() {
  WriteLog(" process is INSTALL");
  // Enter presses Next while the directory edit still has the focus, so its exit handler has
  // not run: the text is taken here as well.
  if (!EditSelDirExit(DirectoryText)) {
    LastRefusal = TWizardRefusal::NoDirectory;
    return false;
  }
  if (!CheckInstallDir(InstallDir)) return false;
  if (FullInstall) {
    // A custom choice made before the person came back here does not shrink a full
    // installation.
    SourceTree->SelectAll();
    if (!CheckSpace()) return false;
  }
  if (DefaultLevel) {
    QuestionsLevel = 1;
    WriteLog(" level of installation by default");
  } else {
    QuestionsLevel = 2;
    WriteLog(" level of installation by detail");
  }
  if (FullInstall) {
    WriteLog(" the type of installation - full");
    SetInstallTree(CopySelected());
    InstallTree->PruneDependencyLists();
    // Unmarked, so that the summary lists them.
    InstallTree->DeselectAll();
    SetDeleteTree(std::make_unique<TSysTree>());
    SetStep(5);
  } else {
    WriteLog(" the type of installation - custom");
    SetDeleteTree(nullptr);
    FillComponentTree();
    Label15 = sizetext::KilobytesText(RequiredK());
    Label14 = sizetext::KilobytesText(FreeSpaceK());
    if (OnSizesChanged) OnSizesChanged();
    SetStep(4);
  }
  return true;
}

bool TWizardModel::NextSelComp() {
  if (!CheckSpace()) return false;
  SetInstallTree(CopySelected());
  InstallTree->PruneDependencyLists();
  SetDeleteTree(std::make_unique<TSysTree>());
  InstallTree->DeselectAll();
  WriteLog(" the install tree of subsystems was created");
  SetStep(5);
  return true;
}

bool TWizardModel::NextProgGrp() {
  edFolderChange(GroupText);
  if (!CheckProgramGroup()) {
    LastRefusal = TWizardRefusal::GroupDeclined;
    return false;
  }
  WriteLog(" program group is " + ProgramGroup);
  SetStep(8);
  return true;
}

bool TWizardModel::NextAction() {
  if (ActionVisible) Mode = ActionIndex == 0 ? smAddDelete : smUninstall;
  if (BuildSourceTree()) {
    FillComponentTree();
    SourceTree->DeselectNotListed(ReadInstalledSubsystems());
  }
  if (Mode == smAddDelete) {
    WriteLog(" the process is INSTALL\\UNINSTALL");
    SetDeleteTree(CopySelected());
    InstalledCopy = CopySelected();
    ArchiveSizes = std::make_unique<TArchiveSize>();
    SourceTree->ComputeArchiveSizes(*ArchiveSizes);
    InstalledSizeK = 0;
    InstalledSizeK = RequiredK();
    Label15 = "0 K";
    Label14 = sizetext::KilobytesText(FreeSpaceK());
    if (OnSizesChanged) OnSizesChanged();
    SetStep(7);
  } else {
    WriteLog(" process is UNINSTALL");
    SetDeleteTree(CopySelected());
    DeleteTree->PruneDependencyLists();
    DeleteTree->DeselectAll();
    WriteLog(" the uninstall tree of subsystems was created");
    SetStep(9);
  }
  return true;
}

bool TWizardModel::NextAddDelete() {
  QuestionsLevel = 2;
  SetInstallTree(CopySelected());
  InstallTree->MatchAgainst(DeleteTree);
  DeleteTree->MatchAgainst(InstallTree);
  InstallTree->RemoveComplete();
  DeleteTree->RemoveComplete();
  InstallTree->PruneDependencyLists();
  DeleteTree->PruneDependencyLists();
  WriteLog(" trees of subsystems are created");
  SetStep(8);
  return true;
}

void TWizardModel::NextLast() {
  ArchiveSizes.reset();
  if (Mode == smAddDelete) InstalledCopy.reset();
  if (Mode == smInstall && InstallTree) InstallTree->DeselectAll();
  SetStep(9);
}

bool TWizardModel::Back() {
  switch (Step) {
    case 2:
    case 6:
      SetStep(1);
      return true;
    case 3:
      ArchiveSizes.reset();
      SetStep(2);
      return true;
    case 4:
      EmptyComponentTree();
      SetStep(3);
      return true;
    case 5:
      if (Mode != smInstall) return false;
      SetInstallTree(nullptr);
      SetDeleteTree(nullptr);
      SetStep(FullInstall ? 3 : 4);
      return true;
    case 7:
      SetDeleteTree(nullptr);
      EmptyComponentTree();
      ArchiveSizes.reset();
      SetStep(6);
      return true;
    case 8:
      if (Mode == smAddDelete) {
        SetInstallTree(nullptr);
        auto tree = std::make_unique<TSysTree>();
        if (InstalledCopy) InstalledCopy->CopyChildrenTo(tree.get());
        tree->SelectAll();
        SetDeleteTree(std::move(tree));
        SetStep(7);
      } else {
        SetStep(5);
      }
      return true;
    default:
      return false;
  }
}

// ---- trees ------------------------------------------------------------------------------

void TWizardModel::SetInstallTree(std::unique_ptr<TSysTree> tree) {
  installTree_ = std::move(tree);
  InstallTree = installTree_.get();
}

void TWizardModel::SetDeleteTree(std::unique_ptr<TSysTree> tree) {
  deleteTree_ = std::move(tree);
  DeleteTree = deleteTree_.get();
}

std::unique_ptr<TSysTree> TWizardModel::CopySelected() const {
  auto tree = std::make_unique<TSysTree>();
  if (SourceTree) SourceTree->CopySelectedTo(tree.get());
  return tree;
}

void TWizardModel::EmptyComponentTree() {
  // The items point into SourceTree: they go before the tree does.
  if (ClearTreeView) ClearTreeView();
  memoryTree_.Clear();
}

bool TWizardModel::FillComponentTree() {
  EmptyComponentTree();
  ITreeViewItems& items = TreeView ? *TreeView : static_cast<ITreeViewItems&>(memoryTree_);
  return SourceTree->FillTreeView(items);
}

void TWizardModel::ToggleNode(TSysNode* node) {
  if (!node) return;
  ITreeViewItems* items = TreeView ? TreeView : &memoryTree_;
  items->BeginUpdate();
  try {
    if (node->Info.Selected) {
      node->Deselect();
    } else {
      node->Select();
    }
  } catch (...) {
    items->EndUpdate();
    throw;
  }
  items->EndUpdate();
  Label15 = sizetext::KilobytesText(RequiredK());
  if (OnSizesChanged) OnSizesChanged();
}

int TWizardModel::ImageIndex(const TSysNode& node) {
  const TSubsystemInfo& info = node.Info;
  if (!info.Selected) return 2;
  if (info.ViewOnly) return info.Complete ? 0 : 1;
  for (int i = 0; i < node.ChildCount(); ++i) {
    if (!node.Children(i)->Info.Complete) return 1;
  }
  return 0;
}

// ---- sizes ------------------------------------------------------------------------------

std::int64_t TWizardModel::RequiredK() const {
  std::int64_t total = 0;
  if (SourceTree && ArchiveSizes) {
    TArchiveList archives;
    SourceTree->CollectArchives(archives, true);
    RemoveDuplicateArchives(archives);
    total = ArchiveSizes->TotalSize(archives);
  }
  const std::int64_t k = sizetext::RequiredKilobytes(total) - InstalledSizeK;
  return k < 0 ? 0 : k;
}

std::int64_t TWizardModel::FreeSpaceK() const { return GetFreeDiskSpaceKB(ExtractFileDrive(InstallDir)); }

bool TWizardModel::CheckSpace() {
  if (RequiredK() < FreeSpaceK()) return true;
  ShowBilingualMessage("Недостаточно места на диске", "There is not enough place on the disk",
                       SetupGlobals.MessageCaption, kErrorBox);
  LastRefusal = TWizardRefusal::NotEnoughSpace;
  return false;
}

// ---- widgets ----------------------------------------------------------------------------

void TWizardModel::TypeInstRadioGroupClick(int index) { FullInstall = index == 0; }

void TWizardModel::ActRadioGroupClick(int index) {
  ActionIndex = index;
  Mode = index == 0 ? smAddDelete : smUninstall;
}

bool TWizardModel::EditSelDirExit(const std::string& text) {
  DirectoryText = text;
  if (text.empty()) {
    ShowMessageBox("Не указан каталог!", SetupGlobals.MessageCaption, mb::kOk | mb::kIconError);
    return false;
  }
  InstallDir = WithoutTrailingBackslash(text);
  return true;
}

void TWizardModel::DirectoryChosen(const std::string& directory) {
  DirectoryText = directory;
  InstallDir = WithoutTrailingBackslash(directory);
  WriteLog(" install path is " + InstallDir);
}

void TWizardModel::edFolderChange(const std::string& text) {
  GroupText = text;
  ProgramGroup = text.empty() ? std::string(kDefaultGroup) : text;
}

void TWizardModel::FoldersListBoxClick(int index) {
  if (index >= 0 && index < static_cast<int>(Folders.size())) edFolderChange(Folders[static_cast<std::size_t>(index)]);
}

std::string TWizardModel::CompanyUrlTarget(const std::string& labelText) {
  std::string url = labelText;
  if (url.empty()) return {};
  if (url.size() >= 4 && text::UpperAscii(url.substr(0, 4)) == "URL:") url = Trimmed(url.substr(4));
  // An address that names its scheme ("https://", "ftp://", "mailto:") is opened as given;
  // only a bare host and path gets "http://".
  const std::size_t colon = url.find(':');
  const bool named = colon != std::string::npos && colon > 0 &&
                     std::isalpha(static_cast<unsigned char>(url[0])) &&
                     std::all_of(url.begin(), url.begin() + static_cast<std::ptrdiff_t>(colon), [](char c) {
                       return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
                     });
  const std::string scheme = named ? text::LowerAscii(url.substr(0, colon)) : std::string();
  // "host:8080" is a host and a port, not a scheme: a scheme is followed by "//", or is mail.
  if (named && (url.compare(colon, 3, "://") == 0 || scheme == "mailto")) {
    // The address comes from the description and the program may run elevated: a web or
    // mail address is opened, never a file or a program.
    if (scheme != "http" && scheme != "https" && scheme != "ftp" && scheme != "mailto") return {};
    return url;
  }
  return "http://" + url;
}

// ---- licence and summary ----------------------------------------------------------------

bool TWizardModel::LoadLicence() {
  LicenceLines.clear();
  try {
    const std::string& name = SetupGlobals.LicenceFileName;
    if (!os::FileExists(name)) return false;
    os::File file = os::OpenFile(name, os::OpenMode::Read, false);
    if (!file.IsOpen()) return false;
    std::string bytes;
    char buffer[65536];
    for (;;) {
      const std::size_t n = file.Read(buffer, sizeof(buffer));
      if (n == 0) break;
      bytes.append(buffer, n);
    }
    LicenceLines = SplitLines(text::AnsiToUtf8(bytes));
    return true;
  } catch (...) {
    LicenceLines.clear();
    return false;
  }
}

void TWizardModel::PrepareInstall() {
  WriteLog(" IN procedure PREPAREINSTALL");
  SummaryLines.clear();
  auto names = [this](const TSysTree* tree) {
    std::vector<std::string> list;
    if (tree) tree->CollectUnselectedNames(list);
    SummaryLines.insert(SummaryLines.end(), list.begin(), list.end());
  };
  if (Mode == smInstall) {
    SummaryLines.push_back(Lang("Тип установки:", "Installation type:"));
    if (FullInstall) {
      SummaryLines.push_back(Lang("   полная", "   full"));
    } else {
      SummaryLines.push_back(Lang("   выборочная", "   custom"));
    }
    SummaryLines.push_back("");
    SummaryLines.push_back(Lang("Выбранные подсистемы:", "Selected subsystems:"));
    names(InstallTree);
    SummaryLines.push_back("");
    SummaryLines.push_back(Lang("Каталог:", "Directory:"));
    SummaryLines.push_back("   " + InstallDir);
  } else if (Mode == smAddDelete) {
    if (InstallTree && InstallTree->ChildCount() > 0) {
      SummaryLines.push_back("");
      SummaryLines.push_back(Lang("Добавляемые подсистемы:", "Added subsystems:"));
      names(InstallTree);
    }
    if (DeleteTree && DeleteTree->ChildCount() > 0) {
      SummaryLines.push_back("");
      SummaryLines.push_back(Lang("Удаляемые подсистемы:", "Deleted subsystems:"));
      names(DeleteTree);
    }
  }
  WriteLog("");
  WriteLog(" list of subsystems:");
  for (std::size_t i = 1; i < SummaryLines.size(); ++i) WriteLog("     " + SummaryLines[i]);
  WriteLog("");
  WriteLog(" OUT procedure PREPAREINSTALL");
}

// ---- previous installation, directory and group -----------------------------------------

bool TWizardModel::SearchRegistrySettings() {
  WriteLog(" search of settings ZTK in the registry");
  {
    TWin32RegistryKey key = productkeys::Open(HKEY_LOCAL_MACHINE, productkeys::kProduct, false);
    if (key.Opened()) {
      WriteLog(" read of settings from the registry");
      std::string value;
      if (key.ReadString("Path", value)) InstallDir = WithoutTrailingBackslash(value);
      if (key.ReadString("Program Group", value)) ProgramGroup = value;
      if (key.ReadString("DestDir", value)) SetupGlobals.DestDir = value;
    }
  }
  return productkeys::Exists(HKEY_LOCAL_MACHINE, productkeys::kSubSystems);
}

std::vector<std::string> TWizardModel::ReadInstalledSubsystems() {
  TWin32RegistryKey key = productkeys::Open(HKEY_LOCAL_MACHINE, productkeys::kSubSystems, false);
  if (!key.Opened()) return {};
  return key.GetValueNames();
}

bool TWizardModel::CheckInstallDir(const std::string& typed) {
  const std::string& caption = SetupGlobals.MessageCaption;
  // A relative name, "." and "..", a trailing dot or the "\\?\" form: the directory goes on
  // under the full name of what it names, so that every later step means the same one.
  std::string directory = typed;
  const bool respell = pathrules::NormalizeFullPath(typed) != typed && !CanonicalPath(typed).empty();
  if (respell) directory = CanonicalPath(typed);
  // The directory is emptied now and removed with the product later: judged by what it
  // names, it must not be a root or one of the system's own directories, existing or not.
  if (const pathrules::TRefusalReason refused = RefusedInstallDirectory(directory)) {
    LastRefusal = refused.Kind == pathrules::TRefusal::Root ? TWizardRefusal::DiskRootRefused
                                                            : TWizardRefusal::DirectoryRefused;
    WriteLog(" install directory refused: " + pathrules::RefusalTextEn(refused));
    ShowBilingualMessage(pathrules::RefusalTextRu(refused), pathrules::RefusalTextEn(refused), caption,
                         mb::kIconError | mb::kTaskModal);
    return false;
  }
  if (respell && typed == InstallDir) {
    InstallDir = directory;
    WriteLog(" install path is " + directory);
  }
  const std::uint32_t attributes = os::GetAttributes(directory);
  if (attributes == os::kInvalidAttributes || !(attributes & os::kAttrDirectory)) return true;
  constexpr unsigned kAsk = mb::kYesNo | mb::kTaskModal;
  LastRefusal = TWizardRefusal::DirectoryRefused;
  if (OnlyNewDir) {
    ShowBilingualMessage("Директория " + directory + " уже существует. Выберите другую директорию",
                         "Folder " + directory + " already exists. Choose any folder", caption,
                         mb::kIconExclamation | mb::kTaskModal);
    return false;
  }
  if (ShowBilingualMessage("Директория " + directory + " уже существует.\r\n Продолжить?",
                           "Directory " + directory + " exists.\r\n Continue?", caption, kAsk) != mb::kIdYes) {
    return false;
  }
  if (ShowBilingualMessage("Все данные в директории " + directory + " будут уничтожены.\r\n Продолжить?",
                           "The data in " + directory + " directory will be deleted.\r\n Continue?", caption,
                           kAsk) != mb::kIdYes) {
    return false;
  }
  LastRefusal = TWizardRefusal::None;
  return true;
}

bool TWizardModel::CheckProgramGroup() {
  for (const std::string& folder : Folders) {
    if (CompareNoCase(folder, ProgramGroup) != 0) continue;
    // Format's %s, filled in by hand: the group's name may itself hold a "%".
    const std::string ru = "Программная группа " + ProgramGroup + " уже существует и будет изменена. Продолжить?";
    const std::string en = "Program group " + ProgramGroup + " already exists and will be changed. Continue?";
    if (ShowBilingualMessage(ru, en, "", mb::kYesNo | mb::kIconExclamation) == mb::kIdNo) return false;
    break;
  }
  return true;
}

void TWizardModel::FillProgramGroups() {
  const std::string programs = ShellFolderPath(TShellFolder::Programs);
  if (!programs.empty()) AddSubfolders(programs);
}

void TWizardModel::AddSubfolders(const std::string& path) {
  for (const os::DirEntry& entry : os::ListDirectory(path)) {
    if (entry.Attributes != os::kAttrDirectory || entry.Name == "." || entry.Name == "..") continue;
    const bool known = std::any_of(Folders.begin(), Folders.end(), [&](const std::string& f) {
      return CompareNoCase(Trimmed(f), Trimmed(entry.Name)) == 0;
    });
    if (known) continue;
    auto at = std::upper_bound(Folders.begin(), Folders.end(), entry.Name,
                               [](const std::string& a, const std::string& b) { return CompareNoCase(a, b) < 0; });
    Folders.insert(at, entry.Name);
  }
}

// ---- the engine -------------------------------------------------------------------------

void TWizardModel::StartInstallThread() {
  WriteLog(" creation if install thread");
  InstallThread.reset();
  if (StartEngine) {
    StartEngine(*this);
    return;
  }
  InstallThread = std::make_unique<TProgressThread>(*this, ProgressView);
  InstallThread->OnTerminate = [this] { InstallThreadTerminated(); };
  InstallThread->Start();
}

void TWizardModel::InstallThreadTerminated() {
  WriteLog(" close application");
  ShowFinalMessage();
  if (OnClose) OnClose();
}

void TWizardModel::ShowFinalMessage() {
  WriteLog(" show final message");
  if (SetupGlobals.RebootRequired) return;
  struct TFinal {
    const char* DoneRu;
    const char* DoneEn;
    const char* FailedRu;
    const char* FailedEn;
  };
  static constexpr TFinal kFinal[] = {
      {"Инсталляция завершена", "Installation is completed", "Установка была прервана",
       "Installation was interrupted"},
      {"Добавление/удаление подсистем завершено", "Add/Delete subsystems is completed",
       "Добавление/удаление подсистем не завершено полностью", "Add/Delete subsystems was not completed"},
      {"Деинсталляция завершена", "Installation is completed", "Деинсталляция не завершена",
       "Installation was interrupted"},
  };
  const TFinal& texts = kFinal[Mode];
  if (Succeeded) {
    ShowBilingualMessage(texts.DoneRu, texts.DoneEn, SetupGlobals.MessageCaption, mb::kSystemModal);
  } else {
    ShowBilingualMessage(texts.FailedRu, texts.FailedEn, SetupGlobals.MessageCaption,
                         mb::kSystemModal | mb::kIconError);
  }
  // Files that were in use are replaced or deleted at the next restart, which the program
  // never starts for them itself.
  if (Ended == TRunEnd::RestartPending) {
    ShowBilingualMessage("Работа будет завершена после перезагрузки компьютера.",
                         "A restart of the computer finishes the work.",
                         SetupGlobals.MessageCaption, mb::kSystemModal | mb::kIconInformation);
  }
}
