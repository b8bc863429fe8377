#include "robot/robot_scenarios_win32.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "common/text.h"
#include "description/InstIDF.h"
#include "engine/ShellFolders_win32.h"
#include "setup/ProductKeys_win32.h"

namespace fs = std::filesystem;

namespace robot {
namespace {

// ---- the demonstration product (samples/distribution/setup.idf) ------------------------

struct TExpectedLink {
  const char* Target;  // relative to the install directory
  const char* Name;
  const char* Description;
};

struct TSubsystemSpec {
  int Number;
  const char* ShortName;
  std::vector<const char*> Archives;
  std::vector<TExpectedLink> Menu, Desktop;
};

const std::vector<TSubsystemSpec> kProduct = {
    {1, "Ядро", {"core.zip"},
     {{"bin\\qvdemo.bat", "Кворвален Демо", "Главная программа"}, {"readme.txt", "Прочти меня", "Описание продукта"}},
     {{"bin\\qvdemo.bat", "Кворвален Демо", "Главная программа"}}},
    {2, "Документация", {"docs.zip", "help.zip"},
     {{"doc\\guide.txt", "Руководство пользователя", "Руководство пользователя"},
      {"help\\index.txt", "Справка", "Справка"}},
     {}},
    {3, "Примеры", {"examples.zip"}, {{"examples\\hello.bat", "Пример", "Пример использования"}}, {}},
    {4, "Утилиты", {"tools.zip", "help.zip"}, {{"tools\\qvcheck.bat", "Проверка установки", "Список файлов продукта"}}, {}},
    {5, "Среда выполнения", {"runtime.zip"}, {}, {}},
    {6, "Дополнительно", {}, {}, {}},
};

const char* const kStandardDirs[] = {"SYSTEM", "USER", "DATA", "EXE", "SOURCE", "SUBSYS"};

// The wizard's controls (their ids in the form) and pages (caption, Next button).
enum : int {
  idBtnNext = 102, idTypeFull = 104, idTypeCustom = 105, idEditSelDir = 107, idComponentTree = 109,
  idEdFolder = 110, idActUninstall = 113
};
constexpr int kUnticked = 2;  // the tree's picture of an unticked subsystem

struct TPage {
  const char* Name;  // for the screenshot
  std::string Caption;
  const char* Next;
};
const TPage kWelcome{"welcome", "Установка системы " + kSystemName, "Далее >"};
const TPage kLicence{"licence", "Лицензионное соглашение", "Согласен"};
const TPage kType{"install-type", "Выбор типа установки", "Далее >"};
const TPage kSelect{"subsystems", "Выбор устанавливаемых подсистем", "Далее >"};
const TPage kGroup{"program-group", "Выбор программной группы", "Далее >"};
const TPage kAction{"action", "Выбор действия", nullptr};
const TPage kAddDelete{"add-delete", "Выбор добавляемых/удаляемых подсистем", "Далее >"};
const TPage kSummaryInstall{"summary", "Установка системы " + kSystemName, "Установить"};
// The caption joins the two without a blank.
const TPage kSummaryAddDelete{"summary", "Добавление / удаление подсистем" + kSystemName, "Выполнить"};

constexpr DWORD kPageLimit = 20000, kRunLimit = 50000;

// ---- the wizard as a person sees it ------------------------------------------------------

class TWizard {
 public:
  explicit TWizard(TRun& run) : run_(run) {}

  // Waits until the wizard shows `page`, and saves its picture.
  void WaitPage(const TPage& page) {
    const bool shown = WaitUntil(
        [&] {
          const std::vector<HWND> found = run_.Windows(L"TfmInstDlg", &page.Caption);
          if (found.empty()) return false;
          window_ = found.front();
          HWND next = Control(window_, L"Button", idBtnNext);
          return next && (!page.Next || Caption(next) == page.Next);
        },
        kPageLimit, [&] {
          run_.NoUnexpectedBox();
          if (run_.Ended()) throw Failure("the program ended before the page \"" + page.Caption + "\"");
        });
    if (!shown) {
      const std::vector<HWND> any = run_.Windows(L"TfmInstDlg");
      throw Failure("the page \"" + page.Caption + "\" did not come; the wizard shows \"" +
                    (any.empty() ? std::string("nothing") : Text(any.front())) + "\"");
    }
    run_.Shot(page.Name, window_);
  }

  HWND Find(const wchar_t* className, int id) const {
    HWND control = Control(window_, className, id);
    if (!control) throw Failure("the wizard has no visible control " + std::to_string(id));
    return control;
  }
  void Click(int id) { robot::Click(Find(L"Button", id)); }
  // A radio button: clicked, and shown chosen.
  void Choose(int id) {
    HWND radio = Find(L"Button", id);
    robot::Click(radio);
    if (!WaitUntil([&] { return Ask(radio, BM_GETCHECK, 0, 0) == BST_CHECKED; }, 5000)) {
      throw Failure("the choice \"" + Text(radio) + "\" is not taken");
    }
  }
  void Next() { Click(idBtnNext); }

  // Clicks into the edit, selects what is there and types `text` over it.
  void Type(int id, const std::string& text) {
    HWND edit = Find(L"Edit", id);
    robot::Click(edit);
    PostMessageW(edit, EM_SETSEL, 0, -1);
    for (wchar_t c : win32::Wide(text)) PostMessageW(edit, WM_CHAR, c, 1);
    if (!WaitUntil([&] { return Text(edit) == text; }, 5000)) {
      throw Failure("typed \"" + text + "\", the edit shows \"" + Text(edit) + "\"");
    }
  }
  std::string Read(int id) const { return Text(Find(L"Edit", id)); }

  // Clicks the picture of the tree item `name` and waits for it to show the tick (whole or
  // partial: a subsystem with unticked children) or the empty box.
  void ClickTreePicture(const std::string& name, bool ticked) {
    HWND tree = Find(WC_TREEVIEWW, idComponentTree);
    const TTreeItem item = TreeItem(tree, name);
    ClickAt(tree, TreePicturePoint(tree, item.Handle));
    if (!WaitUntil([&] { return (TreeItem(tree, name).Image != kUnticked) == ticked; }, 5000)) {
      throw Failure("the picture of \"" + name + "\" did not change to " + (ticked ? "ticked" : "unticked"));
    }
  }
  int TreePicture(const std::string& name) const { return TreeItem(Find(WC_TREEVIEWW, idComponentTree), name).Image; }

  // ---- the same by keys alone ----

  // Tabs until the control `id` has the focus, as a person watches the focus move.
  HWND TabTo(const wchar_t* className, int id) {
    HWND control = Find(className, id);
    for (int tabs = 0; FocusOf(window_) != control; ++tabs) {
      if (tabs == 20) throw Failure("Tab never brings the focus to control " + std::to_string(id));
      HWND before = FocusOf(window_);
      PressKey(window_, VK_TAB);
      WaitUntil([&] { return FocusOf(window_) != before; }, 5000);
    }
    return control;
  }
  // Tabs into the edit (which selects its text) and types `text` over it.
  void TypeByKeys(int id, const std::string& text) {
    HWND edit = TabTo(L"Edit", id);
    TypeKeys(window_, text);
    if (!WaitUntil([&] { return Text(edit) == text; }, 5000)) {
      throw Failure("typed \"" + text + "\", the edit shows \"" + Text(edit) + "\"");
    }
  }
  // Moves the tree's selection with the arrows to `name` and toggles it with Space.
  void ToggleByKeys(const std::string& name, bool ticked) {
    HWND tree = TabTo(WC_TREEVIEWW, idComponentTree);
    for (int moves = 0;; ++moves) {
      auto caret = reinterpret_cast<HTREEITEM>(Ask(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
      if (caret && TreeItem(tree, name).Handle == caret) break;
      if (moves == 20) throw Failure("the arrows never reach \"" + name + "\"");
      PressKey(window_, VK_DOWN);
      WaitUntil([&] { return reinterpret_cast<HTREEITEM>(Ask(tree, TVM_GETNEXTITEM, TVGN_CARET, 0)) != caret; }, 5000);
    }
    PressKey(window_, VK_SPACE);
    if (!WaitUntil([&] { return (TreeItem(tree, name).Image != kUnticked) == ticked; }, 5000)) {
      throw Failure("Space did not change \"" + name + "\" to " + (ticked ? "ticked" : "unticked"));
    }
  }

  HWND Window() const { return window_; }

 private:
  static TTreeItem TreeItem(HWND tree, const std::string& name) {
    for (const TTreeItem& item : TreeItems(tree)) {
      if (item.Text == name) return item;
    }
    throw Failure("the subsystem tree has no item \"" + name + "\"");
  }

  TRun& run_;
  HWND window_ = nullptr;
};

// The progress window from its first appearance to the closing message, answered with OK.
void FollowProgress(TRun& run, const std::string& closing) {
  HWND progress = nullptr;
  // Its picture once it shows a step (a short run may be over before).
  WaitUntil([&] {
    const std::vector<HWND> found = run.Windows(L"TfmInstProc");
    if (!found.empty()) progress = found.front();
    HWND label = progress ? FirstChild(progress, L"Static") : nullptr;
    return (label && !Text(label).empty()) || !run.Boxes().empty() || run.Ended();
  }, kRunLimit);
  if (progress && IsWindowVisible(progress)) run.Shot("progress", progress);
  run.Answer(closing, IDOK, kRunLimit, "closing-message");
  run.WaitEnd();
}

std::string SetupCommand(const TSetting& setting) { return "\"" + setting.Dist + "\\setup.exe\""; }

// ---- reading the machine -----------------------------------------------------------------

std::string ReadBytes(const std::string& path) {
  std::ifstream in(win32::Wide(path).c_str(), std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool Exists(const std::string& path) { return GetFileAttributesW(win32::Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

bool SameText(const std::string& a, const std::string& b) {
  const std::wstring wa = win32::Wide(a), wb = win32::Wide(b);
  return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, wa.c_str(), -1, wb.c_str(), -1) == CSTR_EQUAL;
}

// The vendor's file as the archive holds it: texts in code page 1251 with CR LF.
std::string ArchivedBytes(const fs::path& source) {
  std::string bytes = ReadBytes(source.string());
  const std::string ext = text::LowerAscii(source.extension().string());
  if (ext != ".txt" && ext != ".bat" && ext != ".ini" && ext != ".csv") return bytes;
  std::string crlf;
  for (char c : bytes) {
    if (c == '\r') continue;
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  const std::wstring wide = win32::Wide(crlf);
  std::string ansi(wide.size() * 2 + 1, '\0');
  ansi.resize(static_cast<size_t>(WideCharToMultiByte(1251, 0, wide.data(), static_cast<int>(wide.size()), ansi.data(),
                                                      static_cast<int>(ansi.size()), nullptr, nullptr)));
  return ansi;
}

// Files of an archive: path inside it (with "\") -> source file.
std::map<std::string, fs::path> ArchiveFiles(const TSetting& setting, const std::string& archive) {
  std::map<std::string, fs::path> files;
  const fs::path root = fs::path(win32::Wide(setting.Sources)) / win32::Wide(archive.substr(0, archive.size() - 4));
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    std::string inside = win32::Narrow(fs::relative(entry.path(), root).wstring());
    std::replace(inside.begin(), inside.end(), '/', '\\');
    files[inside] = entry.path();
  }
  return files;
}

std::string RegistryString(HKEY root, const std::string& key, const std::string& name) {
  std::string value;
  productkeys::Open(root, key, false).ReadString(name, value);
  return value;
}

// The NT search path, raw.
std::string SearchPath() {
  wchar_t buffer[32768] = {};
  DWORD size = sizeof buffer - sizeof(wchar_t);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", L"Path",
                   RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, buffer, &size) != ERROR_SUCCESS) {
    return {};
  }
  return win32::Narrow(buffer);
}

std::vector<std::string> Split(const std::string& s, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(s);
  while (std::getline(in, part, separator)) parts.push_back(part);
  return parts;
}

std::string WindowsDirectory() {
  wchar_t buffer[MAX_PATH] = {};
  GetWindowsDirectoryW(buffer, MAX_PATH);
  return win32::Narrow(buffer);
}

std::string GroupFolder(TShellFolder folder, const std::string& group) { return ShellFolderPath(folder) + "\\" + group; }

struct TLinkRead {
  std::string Target, Arguments, WorkingDir, Description;
};

bool ReadLink(const std::string& file, TLinkRead& link) {
  IShellLinkW* shell = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&shell)))) {
    return false;
  }
  IPersistFile* persist = nullptr;
  bool ok = SUCCEEDED(shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) &&
            SUCCEEDED(persist->Load(win32::Wide(file).c_str(), STGM_READ));
  if (ok) {
    wchar_t buffer[1024] = {};
    shell->GetPath(buffer, 1024, nullptr, SLGP_RAWPATH);
    link.Target = win32::Narrow(buffer);
    buffer[0] = 0;
    shell->GetArguments(buffer, 1024);
    link.Arguments = win32::Narrow(buffer);
    buffer[0] = 0;
    shell->GetWorkingDirectory(buffer, 1024);
    link.WorkingDir = win32::Narrow(buffer);
    buffer[0] = 0;
    shell->GetDescription(buffer, 1024);
    link.Description = win32::Narrow(buffer);
  }
  if (persist) persist->Release();
  shell->Release();
  return ok;
}

std::vector<std::string> LinkFiles(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(win32::Wide(folder), error)) {
    names.push_back(win32::Narrow(entry.path().filename().wstring()));
  }
  std::sort(names.begin(), names.end());
  return names;
}

void CheckLinks(std::vector<std::string>& problems, const std::string& folder, const std::vector<TExpectedLink>& expected,
                const std::string& installDir) {
  std::vector<std::string> names;
  for (const TExpectedLink& link : expected) names.push_back(std::string(link.Name) + ".lnk");
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  if (LinkFiles(folder) != names) {
    std::string shown;
    for (const std::string& n : LinkFiles(folder)) shown += " \"" + n + "\"";
    problems.push_back(folder + " holds" + (shown.empty() ? " nothing" : shown) + ", not the " +
                       std::to_string(names.size()) + " links of the subsystems");
  }
  for (const TExpectedLink& want : expected) {
    TLinkRead link;
    const std::string file = folder + "\\" + want.Name + ".lnk";
    if (!ReadLink(file, link)) {
      problems.push_back("the link " + file + " cannot be read");
      continue;
    }
    const std::string target = installDir + "\\" + want.Target;
    const std::string workDir = target.substr(0, target.find_last_of('\\') + 1);
    if (!SameText(link.Target, target) || !link.Arguments.empty() || !SameText(link.WorkingDir, workDir) ||
        link.Description != want.Description) {
      problems.push_back("the link " + file + " reads \"" + link.Target + "\" \"" + link.Arguments + "\" in \"" +
                         link.WorkingDir + "\" (\"" + link.Description + "\")");
    }
  }
}

void DeleteTree(const std::string& path) {
  std::error_code ignored;
  fs::remove_all(win32::Wide(path), ignored);
}

// The search path without entries below `dir`.
void RemoveFromSearchPath(const std::string& dir) {
  if (dir.empty()) return;
  std::string kept;
  for (const std::string& token : Split(SearchPath(), ';')) {
    if (token.empty() || SameText(token.substr(0, std::min(token.size(), dir.size())), dir)) continue;
    kept += (kept.empty() ? "" : ";") + token;
  }
  const std::wstring value = win32::Wide(kept);
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", 0,
                    KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
    RegSetValueExW(key, L"Path", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
}

}  // namespace

// ---- the log -----------------------------------------------------------------------------

std::string LogFile() {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  return win32::Narrow(temp) + "ztkinst.log";
}

size_t LogSize() { return ReadBytes(LogFile()).size(); }

std::string LogSince(size_t offset) {
  const std::string bytes = ReadBytes(LogFile());
  return bytes.size() > offset ? text::AnsiToUtf8(bytes.substr(offset)) : std::string();
}

std::vector<std::string> LogSteps(const std::string& logPart) {
  std::vector<std::string> steps;
  for (const std::string& line : Split(logPart, '\n')) {
    for (const char* bracket : {" IN ", " OUT "}) {
      const size_t at = line.find(bracket);
      if (at == std::string::npos) continue;
      std::istringstream words(line.substr(at + strlen(bracket)));
      std::string kind, name;
      words >> kind >> name;
      if (kind == "procedure" || kind == "function" || kind == "funtion" || kind == "finction") {
        steps.push_back((bracket[1] == 'I' ? "+" : "-") + name);
      }
    }
  }
  return steps;
}

// ---- the runs -----------------------------------------------------------------------------

void InstallRun(TSetting& setting, const std::vector<std::string>& untick, bool overExisting) {
  TRun run(SetupCommand(setting), setting.Dist, setting.Shots);
  TWizard wizard(run);
  wizard.WaitPage(kWelcome);
  wizard.Next();
  wizard.WaitPage(kLicence);
  wizard.Next();
  wizard.WaitPage(kType);
  wizard.Choose(untick.empty() ? idTypeFull : idTypeCustom);
  if (setting.InstallDir.empty()) {
    setting.InstallDir = wizard.Read(idEditSelDir);
    while (!setting.InstallDir.empty() && setting.InstallDir.back() == '\\') setting.InstallDir.pop_back();
  } else {
    wizard.Type(idEditSelDir, setting.InstallDir);
  }
  run.Shot("install-type-filled", wizard.Window());
  wizard.Next();
  if (overExisting) {
    // The wizard's own questions: above it, and the wizard takes no input meanwhile.
    run.Answer("уже существует.\r\n Продолжить?", IDYES, 30000, "box", wizard.Window());
    run.Answer("будут уничтожены.\r\n Продолжить?", IDYES, 30000, "box", wizard.Window());
  }
  if (!untick.empty()) {
    wizard.WaitPage(kSelect);
    for (const std::string& name : untick) wizard.ClickTreePicture(name, false);
    run.Shot("subsystems-chosen", wizard.Window());
    wizard.Next();
  }
  wizard.WaitPage(kGroup);
  if (setting.Group.empty()) {
    setting.Group = wizard.Read(idEdFolder);
  } else {
    wizard.Type(idEdFolder, setting.Group);
  }
  wizard.Next();
  if (overExisting) {
    run.Answer("Программная группа " + setting.Group + " уже существует и будет изменена.", IDYES, 30000, "box",
               wizard.Window());
  }
  wizard.WaitPage(kSummaryInstall);
  wizard.Next();
  FollowProgress(run, "Инсталляция завершена");
}

void AddDeleteRun(const TSetting& setting, const std::vector<std::string>& add, const std::vector<std::string>& remove) {
  TRun run(SetupCommand(setting), setting.Dist, setting.Shots);
  TWizard wizard(run);
  wizard.WaitPage(kWelcome);
  wizard.Next();
  wizard.WaitPage(kAction);
  wizard.Next();  // "add or remove subsystems" is the proposed choice
  wizard.WaitPage(kAddDelete);
  for (const std::string& name : add) wizard.ClickTreePicture(name, true);
  for (const std::string& name : remove) wizard.ClickTreePicture(name, false);
  run.Shot("add-delete-chosen", wizard.Window());
  wizard.Next();
  wizard.WaitPage(kSummaryAddDelete);
  wizard.Next();
  FollowProgress(run, "Добавление/удаление подсистем завершено");
}

void UninstallThroughEntry(const TSetting& setting) {
  const std::string command =
      RegistryString(HKEY_LOCAL_MACHINE, productkeys::kUninstallBase + kSystemName, "UnInstallString");
  if (command.empty()) throw Failure("the uninstall entry holds no command");
  TRun run(command, WindowsDirectory(), setting.Shots);
  TWizard wizard(run);
  wizard.WaitPage(kWelcome);
  wizard.Next();
  wizard.WaitPage(kAction);
  wizard.Choose(idActUninstall);
  run.Shot("action-uninstall", wizard.Window());
  wizard.Next();
  FollowProgress(run, "Деинсталляция завершена");
}

void CancelDuringExtraction(TSetting& setting) {
  TRun run(SetupCommand(setting), setting.Dist, setting.Shots);
  TWizard wizard(run);
  wizard.WaitPage(kWelcome);
  wizard.Next();
  wizard.WaitPage(kLicence);
  wizard.Next();
  wizard.WaitPage(kType);
  wizard.Type(idEditSelDir, setting.InstallDir);
  wizard.Next();
  wizard.WaitPage(kGroup);
  wizard.Type(idEdFolder, setting.Group);
  wizard.Next();
  wizard.WaitPage(kSummaryInstall);
  wizard.Next();
  // The person waits until the window says that files are being copied, then cancels.
  HWND progress = nullptr, label = nullptr;
  const bool copying = WaitUntil(
      [&] {
        const std::vector<HWND> found = run.Windows(L"TfmInstProc");
        if (found.empty()) return false;
        progress = found.front();
        label = FirstChild(progress, L"Static");
        return label && Text(label).rfind("Копирование файлов подсистемы", 0) == 0;
      },
      kRunLimit, [&] { run.NoUnexpectedBox(); });
  if (!copying) throw Failure("the progress window never showed the extraction");
  run.Shot("progress-extracting", progress);
  HWND cancel = Control(progress, L"Button", IDCANCEL);
  const std::string question = "Прервать установку?";
  // Esc asks, above the window that is always on top, which takes no input meanwhile (so
  // its Cancel cannot ask a second time); No by keys goes on, and the window stays.
  if (!WaitUntil([&] { return FocusOf(progress) == cancel; }, 5000)) {
    throw Failure("Cancel does not have the focus in the progress window");
  }
  PressKey(progress, VK_ESCAPE);
  run.WaitBox(question, kPageLimit, progress);
  if (Enabled(cancel)) throw Failure("Cancel can be pressed again while its question is open");
  run.AnswerByKeys(question, 1);
  if (!IsWindowVisible(progress)) throw Failure("the progress window went away after No");
  // Alt+F4 asks too, and the run holds while the question is open: nothing more is
  // extracted (the log does not grow) until it is answered.
  PressAltF4(progress);
  run.WaitBox(question, kPageLimit, progress);
  Sleep(500);  // what the worker was writing when asked to wait
  const size_t logAtQuestion = LogSize();
  Sleep(1500);
  const size_t logLater = LogSize();
  if (!IsWindowVisible(progress)) throw Failure("Alt+F4 hid the progress window");
  run.Answer(question, IDYES, kPageLimit, "cancel-question", progress);
  if (logLater != logAtQuestion) throw Failure("the run went on while the Cancel question was open");
  run.Answer("Установка была прервана", IDOK, kRunLimit);
  run.WaitEnd();
}

void BadArchiveRun(TSetting& setting) {
  TRun run(SetupCommand(setting), setting.Dist, setting.Shots);
  TWizard wizard(run);
  wizard.WaitPage(kWelcome);
  wizard.Next();
  wizard.WaitPage(kLicence);
  wizard.Next();
  wizard.WaitPage(kType);
  wizard.Type(idEditSelDir, setting.InstallDir);
  wizard.Next();
  wizard.WaitPage(kGroup);
  wizard.Type(idEdFolder, setting.Group);
  wizard.Next();
  wizard.WaitPage(kSummaryInstall);
  wizard.Next();
  HWND progress = nullptr;
  WaitUntil([&] {
    const std::vector<HWND> found = run.Windows(L"TfmInstProc");
    if (!found.empty()) progress = found.front();
    return progress != nullptr || !run.Boxes().empty();
  }, kRunLimit);
  if (!progress) throw Failure("the progress window did not come");
  // The worker's box goes above the window that is always on top, which waits for it.
  run.Answer("Плохой архив !!!", IDOK, kRunLimit, "bad-archive", progress);
  // What the run does then is the extraction's business: every later box is answered OK.
  if (!WaitUntil([&] { return run.Ended(); }, kRunLimit, [&] {
        for (const TBox& box : run.Boxes()) {
          if (HWND ok = GetDlgItem(box.Window, IDOK)) Click(ok);
        }
      })) {
    throw Failure("the program did not end after the bad archive");
  }
  run.WaitEnd();
}

void InstallByKeys(TSetting& setting, const std::vector<std::string>& untick) {
  TRun run(SetupCommand(setting), setting.Dist, setting.Shots);
  TWizard wizard(run);
  wizard.WaitPage(kWelcome);
  PressKey(wizard.Window(), VK_RETURN);  // Next is the default button
  wizard.WaitPage(kLicence);
  PressAlt(wizard.Window(), L'С');  // "&Согласен"
  wizard.WaitPage(kType);
  if (!untick.empty()) {
    // The arrows move within the choices and take the one they reach.
    wizard.TabTo(L"Button", idTypeFull);
    PressKey(wizard.Window(), VK_DOWN);
    HWND custom = wizard.Find(L"Button", idTypeCustom);
    if (!WaitUntil([&] { return Ask(custom, BM_GETCHECK, 0, 0) == BST_CHECKED; }, 5000)) {
      throw Failure("the arrow did not choose the custom installation");
    }
  }
  wizard.TypeByKeys(idEditSelDir, setting.InstallDir);
  PressKey(wizard.Window(), VK_RETURN);  // from the edit: Next
  if (!untick.empty()) {
    wizard.WaitPage(kSelect);
    for (const std::string& name : untick) wizard.ToggleByKeys(name, false);
    run.Shot("subsystems-chosen-by-keys", wizard.Window());
    PressAlt(wizard.Window(), L'Д');  // "&Далее >"
  }
  wizard.WaitPage(kGroup);
  wizard.TypeByKeys(idEdFolder, setting.Group);
  PressKey(wizard.Window(), VK_RETURN);
  wizard.WaitPage(kSummaryInstall);
  PressAlt(wizard.Window(), L'У');  // "&Установить"
  run.AnswerByKeys("Инсталляция завершена", 0, kRunLimit);
  run.WaitEnd();
}

void LeaveByEsc(const TSetting& setting) {
  TRun run(SetupCommand(setting), setting.Dist, setting.Shots);
  TWizard wizard(run);
  wizard.WaitPage(kWelcome);
  PressKey(wizard.Window(), VK_RETURN);
  wizard.WaitPage(kLicence);
  PressKey(wizard.Window(), VK_ESCAPE);  // Exit
  run.WaitEnd();
}

// ---- the machine --------------------------------------------------------------------------

int SubsystemNumber(const std::string& shortName) {
  for (const TSubsystemSpec& s : kProduct) {
    if (shortName == s.ShortName) return s.Number;
  }
  throw Failure("the product has no subsystem \"" + shortName + "\"");
}

std::vector<std::string> CheckInstalled(const TSetting& setting, const std::set<int>& subsystems, bool setupType1,
                                        const std::set<int>& linkSubsystems) {
  std::vector<std::string> problems;
  const std::string& dir = setting.InstallDir;
  std::map<std::string, int> uses;  // archive -> installed subsystems that use it
  std::set<std::string> names;
  std::vector<TExpectedLink> menu, desktop;
  for (const TSubsystemSpec& s : kProduct) {
    if ((linkSubsystems.empty() ? subsystems : linkSubsystems).count(s.Number)) {
      menu.insert(menu.end(), s.Menu.begin(), s.Menu.end());
      desktop.insert(desktop.end(), s.Desktop.begin(), s.Desktop.end());
    }
    if (!subsystems.count(s.Number)) continue;
    for (const char* archive : s.Archives) ++uses[archive];
    if (!s.Archives.empty()) names.insert(s.ShortName);  // a group that installs nothing is not recorded
  }

  // Files: those of the installed archives byte for byte, none of the others.
  for (const char* archive : {"core.zip", "docs.zip", "help.zip", "examples.zip", "tools.zip", "runtime.zip"}) {
    for (const auto& [inside, source] : ArchiveFiles(setting, archive)) {
      const std::string path = dir + "\\" + inside;
      if (!uses.count(archive)) {
        if (Exists(path)) problems.push_back(path + " is there, but no installed subsystem has " + archive);
      } else if (!Exists(path)) {
        problems.push_back(path + " is missing");
      } else if (ReadBytes(path) != ArchivedBytes(source)) {
        problems.push_back(path + " differs from the distribution's file");
      }
    }
  }
  for (const char* sub : kStandardDirs) {
    if (!Exists(dir + "\\" + sub)) problems.push_back(dir + "\\" + sub + " is missing");
  }
  for (const char* copy : {"EXE\\setup.exe", "EXE\\setup.idf"}) {
    if (!Exists(dir + "\\" + copy)) problems.push_back(dir + "\\" + copy + " (the uninstall copy) is missing");
  }
  const std::string plugin = text::AnsiToUtf8(ReadBytes(dir + "\\sample_plugin.ini"));
  if (subsystems.count(1) != (plugin.find("Greeting=Здравствуйте") != std::string::npos)) {
    problems.push_back("sample_plugin.ini reads \"" + plugin + "\"");
  }

  // uninst.inf: a section per installed archive with its use count and files.
  TIDFTextFile inf;
  if (!inf.LoadFromFile(dir + "\\uninst.inf")) {
    problems.push_back("uninst.inf cannot be read");
  } else {
    std::set<std::string> sections;
    for (int i = 0; i < inf.SectionCount(); ++i) sections.insert(inf.Sections(i)->Name);
    std::set<std::string> expected;
    for (const auto& [archive, count] : uses) expected.insert(archive);
    if (sections != expected) problems.push_back("uninst.inf has " + std::to_string(sections.size()) + " sections, not " +
                                                 std::to_string(expected.size()));
    for (const auto& [archive, count] : uses) {
      const TIDFSection* section = inf.FindSection(archive);
      if (!section) continue;
      const TIDFParam* first = section->ParamCount() ? section->Params(0) : nullptr;
      if (!first || first->Name != "UsesCount" || first->Value != std::to_string(count)) {
        problems.push_back("uninst.inf [" + archive + "] does not begin with UsesCount=" + std::to_string(count));
      }
      for (const auto& [inside, source] : ArchiveFiles(setting, archive)) {
        if (!section->FindParam(dir + "\\" + inside)) problems.push_back("uninst.inf [" + archive + "] lacks " + inside);
      }
    }
  }

  // uninst.idf: the installed setup program and the directory; "UNINSTALL" only for SetupType 1.
  TIDFTextFile idf;
  if (!idf.LoadFromFile(dir + "\\uninst.idf")) {
    problems.push_back("uninst.idf cannot be read");
  } else {
    const TIDFSection* uninstall = idf.FindSection("Uninstall");
    const TIDFSection* dirs = idf.FindSection("Directories");
    const TIDFParam* file = uninstall ? uninstall->FindParam("FileName") : nullptr;
    const TIDFParam* param = uninstall ? uninstall->FindParam("ParamStr") : nullptr;
    if (!file || file->Value != dir + "\\EXE\\Setup.exe") problems.push_back("uninst.idf names another setup program");
    if (setupType1 != (param && param->Value == "UNINSTALL")) problems.push_back("uninst.idf's ParamStr is wrong");
    if (!dirs || dirs->ParamCount() != 1 || dirs->Params(0)->Name != dir) {
      problems.push_back("uninst.idf does not list the install directory");
    }
  }

  // Registry: the product key, its subsystems, the uninstall entry.
  const std::string product = productkeys::kProduct;
  if (RegistryString(HKEY_LOCAL_MACHINE, product, "Path") != dir) problems.push_back("the product's Path value is wrong");
  if (RegistryString(HKEY_LOCAL_MACHINE, product, "Program Group") != setting.Group) {
    problems.push_back("the product's Program Group value is wrong");
  }
  if (!SameText(RegistryString(HKEY_LOCAL_MACHINE, product, "DestDir"), setting.Dist)) {
    problems.push_back("the product's DestDir is \"" + RegistryString(HKEY_LOCAL_MACHINE, product, "DestDir") + "\"");
  }
  auto key = productkeys::Open(HKEY_LOCAL_MACHINE, productkeys::kSubSystems, false);
  std::set<std::string> registered;
  if (key.Opened()) {
    for (const std::string& name : key.GetValueNames()) {
      std::string value;
      key.ReadString(name, value);
      if (value == "Installed") registered.insert(name);
    }
  }
  if (registered != names) {
    std::string shown;
    for (const std::string& n : registered) shown += " " + n;
    problems.push_back("SubSystems lists" + shown);
  }
  const std::string entry = productkeys::kUninstallBase + kSystemName;
  if (RegistryString(HKEY_LOCAL_MACHINE, entry, "DisplayName") != kSystemName) {
    problems.push_back("the uninstall entry's DisplayName is wrong");
  }
  const std::string command = "\"" + WindowsDirectory() + "\\ztkuinst.exe\" \"" + dir + "\\uninst.idf\"";
  if (!SameText(RegistryString(HKEY_LOCAL_MACHINE, entry, "UnInstallString"), command)) {
    problems.push_back("the uninstall entry's command is \"" + RegistryString(HKEY_LOCAL_MACHINE, entry, "UnInstallString") +
                       "\"");
  }
  if (!Exists(WindowsDirectory() + "\\ztkuinst.exe")) problems.push_back("ztkuinst.exe is not in the Windows directory");

  // Links, read back.
  CheckLinks(problems, GroupFolder(TShellFolder::Programs, setting.Group), menu, dir);
  CheckLinks(problems, GroupFolder(TShellFolder::Desktop, setting.Group), desktop, dir);

  // The search path: SYSTEM and USER once each.
  for (const char* sub : {"SYSTEM", "USER"}) {
    const std::vector<std::string> tokens = Split(SearchPath(), ';');
    if (std::count_if(tokens.begin(), tokens.end(), [&](const std::string& t) { return SameText(t, dir + "\\" + sub); }) != 1) {
      problems.push_back("the search path does not hold " + dir + "\\" + sub + " once");
    }
  }
  return problems;
}

std::vector<std::string> CheckRemoved(const TSetting& setting, bool markExpected) {
  std::vector<std::string> problems;
  if (Exists(setting.InstallDir)) problems.push_back(setting.InstallDir + " is still there");
  if (productkeys::Exists(HKEY_LOCAL_MACHINE, productkeys::kProduct)) problems.push_back("the product key is still there");
  if (productkeys::Exists(HKEY_LOCAL_MACHINE, productkeys::kUninstallBase + kSystemName)) {
    problems.push_back("the uninstall entry is still there");
  }
  for (TShellFolder folder : {TShellFolder::Programs, TShellFolder::Desktop}) {
    if (Exists(GroupFolder(folder, setting.Group))) problems.push_back(GroupFolder(folder, setting.Group) + " is still there");
  }
  const std::string path = SearchPath();
  for (const std::string& token : Split(path, ';')) {
    if (!token.empty() && SameText(token.substr(0, std::min(token.size(), setting.InstallDir.size())), setting.InstallDir)) {
      problems.push_back("the search path still holds " + token);
    }
  }
  const bool mark = RegistryString(HKEY_CURRENT_USER, productkeys::kUninstallMark, "SystemName") == kSystemName;
  if (mark != markExpected) problems.push_back(markExpected ? "the removal mark is missing" : "a removal mark is there");
  return problems;
}

void CleanMachine(const TSetting& setting) {
  productkeys::Delete(HKEY_LOCAL_MACHINE, productkeys::kProduct);
  productkeys::Delete(HKEY_LOCAL_MACHINE, productkeys::kUninstallBase + kSystemName);
  productkeys::Delete(HKEY_CURRENT_USER, productkeys::kUninstallMark);
  if (!setting.Group.empty()) {
    DeleteTree(GroupFolder(TShellFolder::Programs, setting.Group));
    DeleteTree(GroupFolder(TShellFolder::Desktop, setting.Group));
  }
  if (!setting.InstallDir.empty()) {
    DeleteTree(setting.InstallDir);
    RemoveFromSearchPath(setting.InstallDir);
  }
}

std::string DescribeMachine(const TSetting& setting) {
  std::ostringstream out;
  out << "== installed files in " << setting.InstallDir
      << (Exists(setting.InstallDir) ? "" : ": the directory is not there") << "\n";
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(win32::Wide(setting.InstallDir), error);
       it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (it->is_regular_file()) {
      out << "  " << win32::Narrow(fs::relative(it->path(), win32::Wide(setting.InstallDir)).wstring()) << "  ("
          << it->file_size() << " bytes)\n";
    }
  }
  out << "== registry\n";
  if (!productkeys::Exists(HKEY_LOCAL_MACHINE, productkeys::kProduct)) {
    out << "  HKLM" << productkeys::kProduct << ": not there\n";
  } else {
    for (const char* name : {"Path", "Program Group", "DestDir"}) {
      out << "  HKLM" << productkeys::kProduct << "  " << name << " = "
          << RegistryString(HKEY_LOCAL_MACHINE, productkeys::kProduct, name) << "\n";
    }
    auto key = productkeys::Open(HKEY_LOCAL_MACHINE, productkeys::kSubSystems, false);
    if (key.Opened()) {
      for (const std::string& name : key.GetValueNames()) out << "  HKLM" << productkeys::kSubSystems << "  " << name << "\n";
    }
  }
  const std::string entry = productkeys::kUninstallBase + kSystemName;
  if (!productkeys::Exists(HKEY_LOCAL_MACHINE, entry)) {
    out << "  HKLM" << entry << ": not there\n";
  } else {
    for (const char* name : {"DisplayName", "UnInstallString"}) {
      out << "  HKLM" << entry << "  " << name << " = " << RegistryString(HKEY_LOCAL_MACHINE, entry, name) << "\n";
    }
  }
  const std::string mark = RegistryString(HKEY_CURRENT_USER, productkeys::kUninstallMark, "SystemName");
  if (!mark.empty()) out << "  HKCU" << productkeys::kUninstallMark << "  SystemName = " << mark << "  (until the next start)\n";
  out << "== links\n";
  for (TShellFolder folder : {TShellFolder::Programs, TShellFolder::Desktop}) {
    const std::string dir = GroupFolder(folder, setting.Group);
    for (const std::string& name : LinkFiles(dir)) {
      TLinkRead link;
      ReadLink(dir + "\\" + name, link);
      out << "  " << dir << "\\" << name << " -> " << link.Target << "  (" << link.Description << ")\n";
    }
  }
  out << "== search path entries of the product\n";
  for (const std::string& token : Split(SearchPath(), ';')) {
    if (!setting.InstallDir.empty() && SameText(token.substr(0, std::min(token.size(), setting.InstallDir.size())),
                                                setting.InstallDir)) {
      out << "  " << token << "\n";
    }
  }
  return out.str();
}

void MakeDistribution(const std::string& samples, const std::string& dist, const std::vector<std::string>& programs) {
  const fs::path target(win32::Wide(dist));
  fs::create_directories(target);
  fs::copy(fs::path(win32::Wide(samples)) / L"distribution", target,
           fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  for (const std::string& program : programs) {
    const fs::path from(win32::Wide(program));
    fs::copy_file(from, target / from.filename(), fs::copy_options::overwrite_existing);
  }
}

void SetDescriptionLine(const std::string& dist, const std::string& key, const std::string& line) {
  const std::string path = dist + "\\setup.idf";
  std::string bytes = ReadBytes(path);
  const size_t at = bytes.find("\n" + key);
  if (at == std::string::npos) throw Failure("setup.idf has no line " + key);
  const size_t end = bytes.find('\r', at + 1);
  bytes.replace(at + 1, end - at - 1, text::Utf8ToAnsi(line));
  std::ofstream(win32::Wide(path).c_str(), std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace robot
