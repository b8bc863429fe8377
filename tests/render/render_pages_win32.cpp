// render_pages: every window of the installer drawn in both languages and saved as a picture,
// for the README and for reviewing the layout by eye. It runs the real windows in this
// process over a small product of its own, walks the wizard to each page with a person's
// clicks, and saves each window as a 24-bit BMP; scripts/render_pages.sh builds and runs it
// under Wine and turns the pictures into PNG files.
//
//   render_pages.exe OUTDIR        writes OUTDIR\<lang>-<nn>-<page>.bmp, lang "ru" or "en"
//
// The action page needs a previous installation: the product's registry record is made for
// it and removed afterwards. A prefix that already holds a record of the product is refused,
// so that a real installation is never overwritten.
//
// Exit code: 0 when every picture was saved, 1 when a window did not reach its page or a
// picture was not written, 2 for a bad command line or a prefix with an installation.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "common/capture_win32.h"
#include "common/osfile.h"
#include "common/text.h"
#include "common/win32.h"
#include "engine/ProgressThread.h"
#include "setup/Messages.h"
#include "setup/ProductKeys_win32.h"
#include "setup/SetupGlobals.h"
#include "ui/BackGrnd_win32.h"
#include "ui/InstProc_win32.h"
#include "ui/Search_win32.h"
#include "ui/SelDir_win32.h"
#include "ui/ui_wizard_support_win32.h"

namespace {

// ---- the product ------------------------------------------------------------------------

// One subsystem of the sample product, named in both languages.
struct TSampleSubsystem {
  int number;
  const char *nameRu, *nameEn, *fullRu, *fullEn;
  const char* archive;      // none for a group
  long long unpackedBytes;  // the archive's one member claims this size
  int viewParent;           // shown below this subsystem; -1: never shown
  const char* depend;
};

// Core, its documentation, a group of examples and tools (a group that installs nothing of
// its own), and a runtime that is always installed and never shown.
const TSampleSubsystem kSubsystems[] = {
    {1, "Ядро", "Core", "Основные программы системы", "The main programs of the system", "core.zip", 12 << 20, 0,
     "5"},
    {2, "Документация", "Documentation", "Руководство пользователя и справка", "User's guide and help", "docs.zip",
     3 << 20, 0, "1"},
    {3, "Примеры", "Examples", "Примеры использования", "Examples of use", "examples.zip", 1 << 20, 6, "1"},
    {4, "Утилиты", "Tools", "Утилиты обслуживания", "Maintenance tools", "tools.zip", 2 << 20, 6, "1"},
    {5, "Среда выполнения", "Runtime", "Библиотеки среды выполнения", "Runtime libraries", "runtime.zip", 5 << 20, -1,
     ""},
    {6, "Дополнительно", "Extras", "Примеры и утилиты", "Examples and tools", "", 0, 0, ""},
};
enum { kCore, kDocs, kExamples, kTools, kRuntime, kExtras };

// What each language's run shows besides the windows' own texts.
struct TLanguage {
  const char* code;
  bool english;
  const char* systemName;
  const char* group;
  const char* licence;
  const char* progress;   // the engine's message while it unpacks
  const char* duplicate;  // the engine's text on the duplicate-file form
};

const TLanguage kLanguages[] = {
    {"ru", false, "Кворвален Демо", "Кворвален Демо",
     "ЛИЦЕНЗИОННОЕ СОГЛАШЕНИЕ\r\n\r\n"
     "1. Настоящее соглашение заключается между вами и компанией «Кворвален».\r\n"
     "2. Вы можете установить систему на любое число компьютеров вашей организации.\r\n"
     "3. Распространение системы третьим лицам без письменного согласия запрещено.\r\n"
     "4. Система поставляется «как есть», без каких-либо гарантий.\r\n\r\n"
     "Нажимая «Согласен», вы принимаете условия соглашения.\r\n",
     "Распаковка файлов: core.zip",
     "Найден файл C:\\windows\\system32\\qvcore.dll\r\n"
     "Дата: 14.04.2025  время: 13:33:02  размер: 48128 байт\r\n"
     "Наличие одноименных компонент в пути может привести к неправильному функционированию "
     "устанавливаемых подсистем"},
    {"en", true, "Quorvalen Demo", "Quorvalen Demo",
     "LICENCE AGREEMENT\r\n\r\n"
     "1. This agreement is made between you and Quorvalen.\r\n"
     "2. You may install the system on any number of your organisation's computers.\r\n"
     "3. Passing the system on to third parties without written consent is not allowed.\r\n"
     "4. The system is provided as is, without warranty of any kind.\r\n\r\n"
     "By pressing \"I Agree\" you accept the terms of this agreement.\r\n",
     "Unpacking files: core.zip",
     "The file is retreived C:\\windows\\system32\\qvcore.dll\r\n"
     "Date: 14.04.2025  Time: 13:33:02  Size: 48128 bytes\r\n"
     "Presence of same components in path can result in incorrect operation of installed subsystems"},
};

const char kInstallDir[] = "C:\\Program Files\\Quorvalen Demo";

// ---- one language's run -----------------------------------------------------------------

// The wizard fixture of the UI tests gives the run its sandbox: a distribution directory of
// its own as the current directory, a clean product record, the log and the engine's seams.
class TRenderRun : public wizardtest::WizardFixture {
 public:
  TRenderRun(const TLanguage& language, std::string outDir) : lang_(language), outDir_(std::move(outDir)) {}
  void TestBody() override {}

  // Renders every window; answers the number of pictures that failed.
  int RenderAll() {
    const ::testing::TestResult& checks = ::testing::UnitTest::GetInstance()->ad_hoc_test_result();
    const int checksBefore = checks.total_part_count();
    SetUp();
    if (checks.total_part_count() == checksBefore) {
      SetupGlobals.IsEnglish = lang_.english;
      DescribeSample();
      NewInstallation();
      AtOneAndAHalf();
      AddOrDelete();
      UninstallOnly();
      ProgressWindow();
      DirectoryDialog();
      DuplicateFileForm();
      BackgroundWindow();
    } else {
      Fail("the sandbox could not be made");
    }
    TearDown();
    return failures_;
  }

 private:
  std::string Name(const TSampleSubsystem& s) const { return lang_.english ? s.nameEn : s.nameRu; }

  void DescribeSample() {
    std::vector<enginetest::Subsystem> list;
    for (const TSampleSubsystem& s : kSubsystems) {
      list.push_back({s.number, Name(s), s.archive, s.depend});
    }
    Describe(list);
    for (const TSampleSubsystem& s : kSubsystems) {
      TIDFSection* section = description.FindSection("Sub" + std::to_string(s.number));
      section->FindParam("Full name")->SetAsString(lang_.english ? s.fullEn : s.fullRu);
      if (s.viewParent) section->AddParam("ViewParent")->SetAsInteger(s.viewParent);
      if (!*s.archive) {
        section->AddParam("ViewOnly")->SetAsString("TRUE");
        continue;
      }
      extracttest::TestEntry entry;
      entry.name = "data.bin";
      entry.data = "x";
      entry.uncompressedSize = s.unpackedBytes;
      WriteArchive(s.archive, {entry});
    }
    TIDFSection* params = description.AddSection("Params");
    params->AddParam("System name")->SetAsString(lang_.systemName);
    params->AddParam("System path")->SetAsString(std::string(kInstallDir) + "\\");
    params->AddParam("Program Group")->SetAsString(lang_.group);
    params->AddParam("Company Name")->SetAsString("Quorvalen");
    params->AddParam("Company URL")->SetAsString("www.example.com");
    WriteFileBytes(dist + "\\licence.txt", text::Utf8ToAnsi(lang_.licence));
  }

  // 1 welcome, 2 licence, 3 install type, 4 subsystems with the tools unticked (so the group
  // above them is partly chosen), 5 program group, 8 the installation's summary.
  void NewInstallation() {
    CleanRegistry();
    SetupGlobals.UninstallRequested = false;
    Open();
    Page(1, "01-welcome");
    CheckSidePicture();
    Next();
    Page(2, "02-licence");
    Next();
    Page(3, "03-install-type");
    Press(form->TypeInstRadio(1));
    Next();
    if (form->Model().Step == 4) {
      ClickItem(Name(kSubsystems[kTools]), true);
      ClickItem(Name(kSubsystems[kExamples]), false);  // its description shown
    }
    Page(4, "04-subsystems");
    Next();
    Page(5, "05-program-group");
    Next();
    Page(8, "08-summary");
    form.reset();
  }

  // The subsystem page after the wizard moved to a monitor of 150 per cent (144 DPI): the
  // system's message with the rectangle it suggests, centred where the wizard was.
  void AtOneAndAHalf() {
    CleanRegistry();
    SetupGlobals.UninstallRequested = false;
    Open();
    Next();
    Next();
    Press(form->TypeInstRadio(1));
    Next();
    if (form->Model().Step == 4) ClickItem(Name(kSubsystems[kTools]), true);
    const UINT from = form->Dpi(), to = 144;
    RECT r{};
    GetWindowRect(form->Handle(), &r);
    const int width = MulDiv(r.right - r.left, static_cast<int>(to), static_cast<int>(from));
    const int height = MulDiv(r.bottom - r.top, static_cast<int>(to), static_cast<int>(from));
    const LONG x = std::max(0L, (r.left + r.right - width) / 2), y = std::max(0L, (r.top + r.bottom - height) / 2);
    RECT suggested{x, y, x + width, y + height};
    SendMessageW(form->Handle(), WM_DPICHANGED, MAKEWPARAM(to, to), reinterpret_cast<LPARAM>(&suggested));
    uitest::PumpPending();
    if (form->Dpi() != to) Fail("13-subsystems-150: the wizard did not take the new DPI");
    if (form->Model().Step == 4) ClickItem(Name(kSubsystems[kExamples]), false);
    Page(4, "13-subsystems-150");
    form.reset();
  }

  // 6 the action choice, 7 the installed subsystems to add to or take away, 8 its summary.
  void AddOrDelete() {
    CleanRegistry();
    MarkInstalled({Name(kSubsystems[kCore]), Name(kSubsystems[kDocs]), Name(kSubsystems[kExamples]),
                   Name(kSubsystems[kRuntime])});
    SetupGlobals.UninstallRequested = false;
    Open();
    Next();
    Page(6, "06-action");
    Next();
    if (form->Model().Step == 7) {
      ClickItem(Name(kSubsystems[kTools]), true);  // added
      ClickItem(Name(kSubsystems[kDocs]), true);   // taken away
      ClickItem(Name(kSubsystems[kTools]), false);
    }
    Page(7, "07-add-delete");
    Next();
    Page(8, "08-summary-add-delete");
    form.reset();
    CleanRegistry();
  }

  // 6 with only the removal to confirm: the program was started to uninstall a product of
  // "SetupType" 1.
  void UninstallOnly() {
    CleanRegistry();
    MarkInstalled({Name(kSubsystems[kCore])});
    TIDFParam* setupType = description.FindSection("Params")->AddParam("SetupType");
    setupType->SetAsString("1");
    SetupGlobals.UninstallRequested = true;
    Open();
    Next();
    if (IsWindowVisible(form->ActRadio(0))) Fail("06-action-uninstall: the choice is shown, not the removal alone");
    Page(6, "06-action-uninstall");
    form.reset();
    setupType->SetAsString("0");
    SetupGlobals.UninstallRequested = false;
    SetupGlobals.SetupType = 0;
    CleanRegistry();
  }

  // The progress window over an engine that is never started: its progress record is set
  // as the worker sets it, and the window's timer shows it.
  void ProgressWindow() {
    TWizardState state;
    TProgressThread engine(state, nullptr);
    TfmInstProc window;
    window.Create(engine, smInstall);
    engine.SetProgress(42, lang_.progress, 0);
    window.Show();
    const bool shown = uitest::PumpUntil([&] {
      return uitest::Text(window.ProcessMesLabel()) == lang_.progress &&
             SendMessageW(window.ProgressBar(), PBM_GETPOS, 0, 0) == 42;
    });
    if (!shown) Fail("the progress window did not show the engine's progress");
    Save(window.Handle(), "09-progress");
    window.Close();
  }

  // The directory dialog in the prefix's program directory (a few subdirectories of its
  // own); its texts are Russian in both languages.
  void DirectoryDialog() {
    std::string at = "C:\\Program Files";
    if (!os::DirectoryExists(at)) {
      at = root.File("Program Files");
      for (const char* sub : {"Common Files", "Quorvalen Demo"}) os::CreateDirectories(at + "\\" + sub);
    }
    const std::string before = os::CurrentDirectory();
    SetCurrentDirectoryW(win32::Wide(at).c_str());
    {
      TDirSelectDlg dialog;
      dialog.Create();
      ShowWindow(dialog.Handle(), SW_SHOW);
      uitest::PumpPending();
      Save(dialog.Handle(), "10-directory");
    }
    SetCurrentDirectoryW(win32::Wide(before).c_str());
  }

  void DuplicateFileForm() {
    TSearchForm form;
    form.Create();
    form.SetMessage(lang_.duplicate);
    ShowWindow(form.Handle(), SW_SHOW);
    uitest::PumpPending();
    Save(form.Handle(), "11-duplicate-files");
  }

  // The background window as it covers the screen, with the built-in picture.
  void BackgroundWindow() {
    SetupGlobals.SystemName = lang_.systemName;
    TfmBackGrnd background;
    uitest::PumpPending();
    Save(background.Handle(), "12-background");
  }

  // ---- driving and saving ----

  // Saves the wizard when it shows `step`; a wrong step is reported and saved all the same,
  // so that the picture shows where the walk went astray.
  void Page(int step, const std::string& name) {
    if (form->Model().Step != step) {
      Fail(name + ": the wizard is at step " + std::to_string(form->Model().Step) + ", not " + std::to_string(step));
    }
    Save(form->Handle(), name);
  }

  void CheckSidePicture() {
    if (!wizardtest::SidePictureDrawn(*form)) Fail("01-welcome: the side picture is not drawn");
  }

  // A click on a subsystem's picture (ticks or unticks it) or on its text (selects it).
  void ClickItem(const std::string& text, bool onPicture) {
    HWND tree = form->ComponentTree();
    HTREEITEM item = wizardtest::FindTreeItem(tree, TreeView_GetRoot(tree), text);
    if (!item) {
      Fail("no subsystem " + text + " on the subsystem page");
      return;
    }
    RECT r{};
    TreeView_GetItemRect(tree, item, &r, TRUE);
    const int x = onPicture ? r.left - GetSystemMetrics(SM_CXSMICON) / 2 - 1 : r.left + 4;
    const LPARAM at = MAKELPARAM(x, (r.top + r.bottom) / 2);
    PostMessageW(tree, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(tree, WM_LBUTTONUP, 0, at);
    uitest::PumpPending();
  }

  void Save(HWND window, const std::string& name) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    uitest::PumpPending();
    const std::string path = outDir_ + "\\" + lang_.code + "-" + name + ".bmp";
    if (capture::SaveWindowBitmap(window, path)) {
      std::printf("%s\n", path.c_str());
    } else {
      Fail("could not save " + path);
    }
  }

  void Fail(const std::string& what) {
    std::fprintf(stderr, "render_pages (%s): %s\n", lang_.code, what.c_str());
    ++failures_;
  }

  const TLanguage& lang_;
  std::string outDir_;
  int failures_ = 0;
};

std::string OutputDirectory() {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::string dir = argv && argc == 2 ? win32::Narrow(argv[1]) : std::string();
  LocalFree(argv);
  while (dir.size() > 3 && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
  return dir;
}

}  // namespace

int main() {
  const std::string outDir = OutputDirectory();
  if (outDir.empty()) {
    std::fprintf(stderr, "usage: render_pages OUTDIR\n");
    return 2;
  }
  if (!os::CreateDirectories(outDir)) {
    std::fprintf(stderr, "render_pages: cannot create %s\n", outDir.c_str());
    return 2;
  }
  if (productkeys::Exists(HKEY_LOCAL_MACHINE, productkeys::kProduct)) {
    std::fprintf(stderr,
                 "render_pages: this prefix holds an installation of the product; render in a fresh one, "
                 "the record is not touched\n");
    return 2;
  }
  // No window here asks anything on the paths walked; a box that comes all the same is a
  // fault of the walk, reported and answered No.
  int boxes = 0;
  SetMessageBoxHandler([&boxes](const std::string& text, const std::string&, unsigned) {
    std::fprintf(stderr, "render_pages: unexpected message box: %s\n", text.c_str());
    ++boxes;
    return mb::kIdNo;
  });
  int failures = 0;
  for (const TLanguage& language : kLanguages) {
    TRenderRun run(language, outDir);
    failures += run.RenderAll();
  }
  std::fflush(stdout);
  return failures || boxes || ::testing::UnitTest::GetInstance()->ad_hoc_test_result().Failed() ? 1 : 0;
}
