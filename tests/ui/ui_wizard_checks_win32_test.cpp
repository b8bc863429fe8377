// The wizard's checks under Wine, driven as a person: the subsystem tree's pictures, clicks
// and sizes; the directory questions with each answer, an emptied directory edit, the group
// that exists in another letter case, the browse dialog cancelled; and a handler that throws.
#include <gtest/gtest.h>

#include "common/osfile.h"
#include "common/testsupport.h"
#include "engine/ShellFolders_win32.h"
#include "setup/InstTool.h"
#include "ui/ui_wizard_support_win32.h"

namespace {

using namespace wizardtest;
using uitest::Text;

class WizardChecks : public WizardFixture {
 protected:
  // Base (1100 K), Docs (550 K) and Hidden (110 K, never shown); at the custom tree page.
  void OpenTreePage() {
    Describe({{1, "Base", "a.zip", ""}, {2, "Docs", "b.zip", ""}, {3, "Hidden", "c.zip", ""}});
    description.FindSection("Sub3")->AddParam("ViewParent")->SetAsString("-1");
    TIDFSection* params = description.AddSection("Params");
    params->AddParam("System path")->SetAsString(installDir);
    WriteSized("a.zip", 1024000);
    WriteSized("b.zip", 512000);
    WriteSized("c.zip", 102400);
    Open();
    Next();
    Next();
    Press(form->TypeInstRadio(1));
    Next();
    ASSERT_EQ(form->Model().Step, 4);
  }
  void WriteSized(const std::string& name, long long size) {
    extracttest::TestEntry entry;
    entry.name = "f.bin";
    entry.data = "x";
    entry.uncompressedSize = size;
    WriteArchive(name, {entry});
  }
  HTREEITEM Item(const std::string& text) {
    return FindTreeItem(form->ComponentTree(), TreeView_GetRoot(form->ComponentTree()), text);
  }
  // A mouse click on an item's picture (just left of its text) or on its text.
  void ClickItem(HTREEITEM item, bool onPicture, bool right = false) {
    RECT r{};
    TreeView_GetItemRect(form->ComponentTree(), item, &r, TRUE);
    const int x = onPicture ? r.left - GetSystemMetrics(SM_CXSMICON) / 2 - 1 : r.left + 4;
    const LPARAM at = MAKELPARAM(x, (r.top + r.bottom) / 2);
    PostMessageW(form->ComponentTree(), right ? WM_RBUTTONDOWN : WM_LBUTTONDOWN, right ? MK_RBUTTON : MK_LBUTTON, at);
    PostMessageW(form->ComponentTree(), right ? WM_RBUTTONUP : WM_LBUTTONUP, 0, at);
    uitest::PumpPending();
  }
  int Picture(HTREEITEM item) { return form->ComponentTreeGetImageIndex(item); }
};

TEST_F(WizardChecks, TreePicturesClicksAndSizes) {
  OpenTreePage();
  HTREEITEM base = Item("Base"), docs = Item("Docs");
  ASSERT_TRUE(base && docs);
  EXPECT_EQ(TreeView_GetCount(form->ComponentTree()), 2u);  // Hidden is not shown
  EXPECT_EQ(Picture(base), 0);
  EXPECT_EQ(Text(form->Label15()), "1\u00a0760 K");  // Hidden's archive counts
  // The drive's free space moves as other programs write: compared within a megabyte.
  std::string free = Text(form->Label14());
  // Its digits are grouped by no-break spaces.
  for (std::size_t at; (at = free.find("\u00a0")) != std::string::npos;) free.erase(at, 2);
  ASSERT_GE(free.size(), 3u);
  EXPECT_EQ(free.substr(free.size() - 2), " K");
  EXPECT_NEAR(std::stod(free), static_cast<double>(GetFreeDiskSpaceKB(installDir.substr(0, 2))), 1024.0);

  ClickItem(docs, true);
  EXPECT_EQ(Picture(docs), 2);
  EXPECT_EQ(Text(form->Label15()), "1\u00a0210 K");
  // A click on the text chooses the item and shows its full name, and toggles nothing.
  ClickItem(base, false);
  EXPECT_EQ(Picture(base), 0);
  EXPECT_EQ(Text(form->DescrMemo()), "Base (full)");
  EXPECT_EQ(Text(form->Label15()), "1\u00a0210 K");
  // A right click on the picture toggles as the left one does.
  ClickItem(base, true, true);
  EXPECT_EQ(Picture(base), 2);
  EXPECT_EQ(Text(form->Label15()), "110 K");
  // The blank toggles the current item.
  SetFocus(form->ComponentTree());
  TreeView_SelectItem(form->ComponentTree(), docs);
  SendMessageW(form->ComponentTree(), WM_KEYDOWN, VK_SPACE, 0);
  uitest::PumpPending();
  EXPECT_EQ(Picture(docs), 0);
  EXPECT_EQ(Text(form->Label15()), "660 K");

  Next();
  ASSERT_EQ(form->Model().Step, 5);
  std::vector<std::string> names;
  form->Model().InstallTree->CollectUnselectedNames(names);
  EXPECT_EQ(names, (std::vector<std::string>{"Docs", "Hidden"}));
}

TEST_F(WizardChecks, RequiredEqualToFreeRefuses) {
  // A drive that does not exist has 0 K free; a product without archives needs 0 K.
  DescribeProduct({{"System path", "Q:\\Wiz"}});
  Open();
  Next();
  Next();
  ScriptedMessages boxes;
  boxes.Expect(IDOK);
  Next();
  EXPECT_EQ(form->Model().Step, 3);
  EXPECT_EQ(form->Model().LastRefusal, TWizardRefusal::NotEnoughSpace);
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_EQ(boxes.Shown()[0].text, "Недостаточно места на диске");
  EXPECT_EQ(boxes.Shown()[0].flags, 0x2010u);
}

TEST_F(WizardChecks, DirectoryQuestionsWithEachAnswer) {
  struct Row {
    const char* what;
    bool onlyNew;
    bool root;
    std::vector<int> answers;
    int step;  // after Next
    TWizardRefusal refusal;
  };
  const Row rows[] = {
      {"only new directories", true, false, {IDOK}, 3, TWizardRefusal::DirectoryRefused},
      {"exists: No", false, false, {IDNO}, 3, TWizardRefusal::DirectoryRefused},
      {"data deleted: No", false, false, {IDYES, IDNO}, 3, TWizardRefusal::DirectoryRefused},
      {"accepted", false, false, {IDYES, IDYES}, 5, TWizardRefusal::None},
      // A disk root is never taken: one error box instead of the questions.
      {"disk root", false, true, {IDOK}, 3, TWizardRefusal::DiskRootRefused},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ASSERT_TRUE(os::CreateDirectories(installDir));
    DescribeProduct({{"OnlyNewDir", row.onlyNew ? "1" : "0"}});
    Open();
    Next();
    Next();
    // "C:\" typed loses its "\" and is a disk root.
    Type(form->EditSelDir(), row.root ? "C:\\" : installDir);
    ScriptedMessages boxes;
    for (int answer : row.answers) boxes.Expect(answer);
    Next();
    EXPECT_EQ(form->Model().Step, row.step);
    EXPECT_EQ(form->Model().LastRefusal, row.refusal);
    EXPECT_EQ(form->Model().InstallDir, row.root ? "C:" : installDir);
    ASSERT_EQ(boxes.Shown().size(), row.answers.size());
    EXPECT_EQ(boxes.Shown()[0].flags, row.onlyNew ? 0x2030u : row.root ? 0x2010u : 0x2004u);
    if (row.onlyNew) {
      EXPECT_EQ(boxes.Shown()[0].text, "Директория " + installDir + " уже существует. Выберите другую директорию");
    }
    if (row.root) {
      EXPECT_EQ(boxes.Shown()[0].text,
                "Каталог C:\\ является корневым каталогом диска и не может быть каталогом установки. "
                "Выберите другой каталог");
    }
    form.reset();
  }
}

TEST_F(WizardChecks, TheSystemsDirectoriesAreRefusedInEverySpelling) {
  wchar_t windows[MAX_PATH] = {};
  GetWindowsDirectoryW(windows, MAX_PATH);
  const std::string windowsDir = win32::Narrow(windows);
  const std::string marker = windowsDir + "\\ztk-wizard-marker.txt";
  WriteFileBytes(marker, "keep");
  const struct {
    std::string typed;
    TWizardRefusal refusal;
  } rows[] = {
      {"C:\\.", TWizardRefusal::DiskRootRefused},
      {"C:\\..", TWizardRefusal::DiskRootRefused},
      {"Q:\\X\\..", TWizardRefusal::DiskRootRefused},  // no such drive: judged all the same
      {"\\\\?\\C:\\", TWizardRefusal::DirectoryRefused},  // "\\?\C:" is the volume, no directory
      {windowsDir, TWizardRefusal::DirectoryRefused},
      {windowsDir + "\\x\\..", TWizardRefusal::DirectoryRefused},
      {"\\\\?\\" + windowsDir + "\\system32", TWizardRefusal::DirectoryRefused},
      {"C:\\Program Files\\.", TWizardRefusal::DirectoryRefused},
      {"C:\\ProgramData", TWizardRefusal::DirectoryRefused},
      {"C:\\users", TWizardRefusal::DirectoryRefused},
      {windowsDir + "\\Prod", TWizardRefusal::DirectoryRefused},  // nothing inside Windows
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.typed);
    DescribeProduct();
    Open();
    Next();
    Next();
    Type(form->EditSelDir(), row.typed);
    ScriptedMessages boxes;
    boxes.Expect(IDOK);
    Next();
    EXPECT_EQ(form->Model().Step, 3);
    EXPECT_EQ(form->Model().LastRefusal, row.refusal);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].flags, 0x2010u);
    EXPECT_NE(boxes.Shown()[0].text.find(". Выберите другой каталог"), std::string::npos);
    form.reset();
  }
  // In English too, naming the directory the spelling stands for.
  SetupGlobals.IsEnglish = true;
  DescribeProduct();
  Open();
  Next();
  Next();
  Type(form->EditSelDir(), windowsDir + "\\system32\\..");
  ScriptedMessages boxes;
  boxes.Expect(IDOK);
  Next();
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_EQ(boxes.Shown()[0].text.rfind("Folder ", 0), 0u) << boxes.Shown()[0].text;
  EXPECT_NE(boxes.Shown()[0].text.find("cannot be the installation folder"), std::string::npos);
  form.reset();
  SetupGlobals.IsEnglish = false;
  EXPECT_TRUE(os::FileExists(marker));
  os::RemoveFile(marker);
}

TEST_F(WizardChecks, EmptiedDirectoryEditLosingFocus) {
  for (bool english : {false, true}) {
    SCOPED_TRACE(english);
    SetupGlobals.IsEnglish = english;
    DescribeProduct();
    Open();
    Next();
    Next();
    Type(form->EditSelDir(), "");
    ScriptedMessages boxes;
    boxes.Expect(IDOK);
    SetFocus(form->BtnNext());
    uitest::PumpPending();
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, "Не указан каталог!");  // Russian in both languages
    EXPECT_EQ(GetFocus(), form->EditSelDir());
    EXPECT_EQ(form->Model().InstallDir, installDir);
    form.reset();
  }
}

TEST_F(WizardChecks, GroupThatDiffersInLetterCase) {
  const std::string programs = ShellFolderPath(TShellFolder::Programs);
  ASSERT_FALSE(programs.empty());
  const std::string folder = programs + "\\ZTK Wizard Case";
  ASSERT_TRUE(os::CreateDirectories(folder));
  DescribeProduct({{"Program Group", "ztk wizard CASE"}});
  Open();
  for (int i = 0; i < 3; ++i) Next();
  ASSERT_EQ(form->Model().Step, 5);
  EXPECT_NE(SendMessageW(form->FoldersListBox(), LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                         reinterpret_cast<LPARAM>(L"ZTK Wizard Case")),
            LB_ERR);
  {
    ScriptedMessages boxes;
    boxes.Expect(IDNO);
    Next();
    EXPECT_EQ(form->Model().Step, 5);
    EXPECT_EQ(form->Model().LastRefusal, TWizardRefusal::GroupDeclined);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text,
              "Программная группа ztk wizard CASE уже существует и будет изменена. Продолжить?");
    EXPECT_EQ(boxes.Shown()[0].flags, 0x34u);
  }
  // An emptied group edit keeps the default group, which does not exist.
  Type(form->edFolder(), "");
  EXPECT_EQ(form->Model().ProgramGroup, "Quorvalen");
  Next();
  EXPECT_EQ(form->Model().Step, 8);
  os::RemoveDir(folder);
}

TEST_F(WizardChecks, BrowseDialogCancelled) {
  DescribeProduct();
  Open();
  Next();
  Next();
  const std::string before = os::CurrentDirectory();
  // The dialog runs its own loop inside the click: a timer presses its Cancel button.
  const UINT_PTR timer = SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR, DWORD) {
    HWND dialog = FindWindowW(L"TDirSelectDlg", nullptr);
    if (!dialog || !IsWindowVisible(dialog)) return;
    HWND cancel = FindWindowExW(dialog, nullptr, L"BUTTON", L"Отмена");
    if (cancel) uitest::Click(cancel);
  });
  Press(form->BtnSelDir());
  KillTimer(nullptr, timer);
  EXPECT_EQ(form->Model().InstallDir, installDir);
  EXPECT_EQ(Text(form->EditSelDir()), installDir);
  EXPECT_EQ(os::CurrentDirectory(), before);
  EXPECT_EQ(form->Model().Step, 3);
}

TEST_F(WizardChecks, HandlerThatThrowsLeavesTheWizardUsable) {
  DescribeProduct();
  // A subsystem number that is not one: building the tree raises.
  description.FindSection("SubSystems")->AddParam("SubX")->SetAsString("x");
  Open();
  Next();
  Next();
  EXPECT_EQ(form->Model().Step, 2);
  EXPECT_EQ(form->Model().LastRefusal, TWizardRefusal::NoTree);
  bool logged = false;
  for (const std::string& line : LogLines()) logged = logged || line.find(" exception in TfmInstDlg") == 0;
  EXPECT_TRUE(logged);
  description.FindSection("SubSystems")->DeleteParam(2);
  Next();
  EXPECT_EQ(form->Model().Step, 3);
}

}  // namespace
