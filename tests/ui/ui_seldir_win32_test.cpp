// The directory dialog and its drive and directory lists under Wine, on real directories: the
// path shown as a tree, opening items with the mouse and the keyboard, switching drives, an
// unreadable drive, OK and Cancel, and the dialog shown for the engine.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "common/testsupport.h"
#include "common/win32.h"
#include "engine/EngineMachine.h"
#include "setup/SetupGlobals.h"
#include "ui/EngineForms_win32.h"
#include "ui/SelDir_win32.h"
#include "ui/ui_driving_win32.h"

namespace {

using namespace uitest;

using Kind = TDirectoryListBox::ItemKind;

std::string CurrentDirectory() {
  wchar_t buffer[MAX_PATH * 2] = {};
  GetCurrentDirectoryW(MAX_PATH * 2, buffer);
  return win32::Narrow(buffer);
}

bool SamePath(const std::string& a, const std::string& b) {
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, win32::Wide(a).c_str(), -1,
                        win32::Wide(b).c_str(), -1) == CSTR_EQUAL;
}

// A double click on an item of the directory list, at the item's place in the list.
void DoubleClickItem(TDirectoryListBox& list, int index) {
  RECT r{};
  ASSERT_NE(SendMessageW(list.Handle(), LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r)),
            LB_ERR);
  const LPARAM at = MAKELPARAM(r.left + 40, (r.top + r.bottom) / 2);
  PostMessageW(list.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(list.Handle(), WM_LBUTTONUP, 0, at);
  PostMessageW(list.Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, at);
  PostMessageW(list.Handle(), WM_LBUTTONUP, 0, at);
  PumpPending();
}

void Key(HWND control, WPARAM key) {
  PostMessageW(control, WM_KEYDOWN, key, 1);
  PostMessageW(control, WM_KEYUP, key, 0xC0000001);
  PumpPending();
}

struct Item {
  Kind kind;
  std::string text;
};

std::vector<Item> Items(const TDirectoryListBox& list) {
  std::vector<Item> items;
  for (int i = 0; i < list.Count(); ++i) items.push_back({list.Kind(i), list.ItemText(i)});
  return items;
}

// The tree a path shows: c:\, its elements as path elements, the last as the current one.
std::vector<Item> PathItems(const std::string& path) {
  std::vector<Item> items;
  size_t start = 0;
  for (size_t end; (end = path.find('\\', start)) != std::string::npos; start = end + 1) {
    items.push_back({Kind::PathElement, start == 0 ? path.substr(0, end + 1) : path.substr(start, end - start)});
  }
  items.push_back({Kind::Current, path.substr(start)});
  return items;
}

void ExpectItems(const TDirectoryListBox& list, const std::vector<Item>& expected) {
  const std::vector<Item> items = Items(list);
  ASSERT_EQ(items.size(), expected.size());
  for (size_t i = 0; i < items.size(); ++i) {
    SCOPED_TRACE("item " + std::to_string(i) + " " + expected[i].text);
    EXPECT_EQ(static_cast<int>(items[i].kind), static_cast<int>(expected[i].kind));
    EXPECT_TRUE(SamePath(items[i].text, expected[i].text)) << items[i].text;
    // The control shows the same strings.
    wchar_t text[MAX_PATH] = {};
    SendMessageW(list.Handle(), LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
    EXPECT_EQ(win32::Narrow(text), items[i].text);
  }
  // The current directory's item is the selected one.
  const LRESULT selected = SendMessageW(list.Handle(), LB_GETCURSEL, 0, 0);
  ASSERT_GE(selected, 0);
  EXPECT_EQ(static_cast<int>(items[static_cast<size_t>(selected)].kind), static_cast<int>(Kind::Current));
}

class DirSelect : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = CurrentDirectory();
    SetupGlobals.IsEnglish = false;
    work_ = temp_.File("work");
    sub_ = work_ + "\\sub";
    for (const std::string& dir : {work_, sub_, sub_ + "\\b", sub_ + "\\A", sub_ + "\\c"}) {
      ASSERT_TRUE(CreateDirectoryW(win32::Wide(dir).c_str(), nullptr)) << dir;
    }
    WriteFileBytes(sub_ + "\\file.txt", "not a directory");
    ASSERT_TRUE(SetCurrentDirectoryW(win32::Wide(sub_).c_str()));
    sub_ = CurrentDirectory();  // as the system spells it
    work_ = sub_.substr(0, sub_.rfind('\\'));
  }
  void TearDown() override {
    SetCurrentDirectoryW(win32::Wide(saved_).c_str());
    SetupGlobals.IsEnglish = false;
  }
  std::string saved_;
  TempDir temp_;
  std::string work_, sub_;
};

TEST_F(DirSelect, ShowsThePathAsATreeAndOpensItemsAsThePersonChooses) {
  TDirSelectDlg dialog;
  dialog.Create();
  TDirectoryListBox& list = dialog.DirectoryListBox1();
  EXPECT_EQ(list.Directory(), sub_);

  // The path as a tree, then the subdirectories sorted without regard to case (no files).
  std::vector<Item> expected = PathItems(sub_);
  const size_t pathItems = expected.size();
  for (const char* name : {"A", "b", "c"}) expected.push_back({Kind::Subdirectory, name});
  ExpectItems(list, expected);
  // Path elements step right by their place; subdirectories sit one step right of the
  // current directory.
  const int slashes = static_cast<int>(std::count(sub_.begin(), sub_.end(), '\\'));
  for (int i = 0; i < list.Count(); ++i) {
    EXPECT_EQ(list.Indent(i), static_cast<size_t>(i) < pathItems ? i * 4 + 2 : slashes * 4 + 6) << i;
  }

  struct Step {
    const char* what;
    std::function<void()> act;
    std::string directory;
    std::vector<const char*> subdirectories;
  };
  const std::vector<Step> steps = {
      {"a subdirectory opened", [&] { DoubleClickItem(list, static_cast<int>(pathItems) + 1); }, sub_ + "\\b", {}},
      {"a path element opened", [&] { DoubleClickItem(list, static_cast<int>(pathItems) - 1); }, sub_, {"A", "b", "c"}},
      {"the parent opened by the keyboard",
       [&] {
         SendMessageW(list.Handle(), LB_SETCURSEL, pathItems - 2, 0);
         Key(list.Handle(), VK_RETURN);
       },
       work_,
       {"sub"}},
      {"the current item opened again changes nothing",
       [&] { DoubleClickItem(list, static_cast<int>(pathItems) - 2); }, work_, {"sub"}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    step.act();
    EXPECT_TRUE(SamePath(list.Directory(), step.directory)) << list.Directory();
    EXPECT_EQ(CurrentDirectory(), list.Directory());
    expected = PathItems(list.Directory());
    for (const char* name : step.subdirectories) expected.push_back({Kind::Subdirectory, name});
    ExpectItems(list, expected);
  }

  // The drive's root: one current item.
  SendMessageW(list.Handle(), LB_SETCURSEL, 0, 0);
  Key(list.Handle(), VK_RETURN);
  EXPECT_EQ(list.Directory().size(), 3u);
  EXPECT_EQ(list.Directory().substr(1), ":\\");
  EXPECT_EQ(CurrentDirectory(), list.Directory());
  ASSERT_GE(list.Count(), 1);
  EXPECT_EQ(static_cast<int>(list.Kind(0)), static_cast<int>(Kind::Current));
  EXPECT_EQ(list.ItemText(0), list.Directory());
  for (int i = 1; i < list.Count(); ++i) EXPECT_EQ(static_cast<int>(list.Kind(i)), static_cast<int>(Kind::Subdirectory));

  // Cancel leaves no directory behind.
  Click(dialog.Button2());
  EXPECT_TRUE(PumpUntil([&] { return dialog.ModalResult() != 0; }));
  EXPECT_EQ(dialog.ModalResult(), IDCANCEL);
  EXPECT_EQ(dialog.Directory(), "");
}

TEST_F(DirSelect, DrawsEachItemWithItsPicture) {
  TDirSelectDlg dialog;
  dialog.Create();
  TDirectoryListBox& list = dialog.DirectoryListBox1();
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 300, 40);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(dc, bitmap);
  for (int i = 0; i < list.Count(); ++i) {
    SCOPED_TRACE(i);
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_LISTBOX;
    item.itemID = static_cast<UINT>(i);
    item.hwndItem = list.Handle();
    item.hDC = dc;
    item.rcItem = RECT{0, 0, 300, 20};
    SendMessageW(dialog.Handle(), WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&item));
    const COLORREF background = GetPixel(dc, 0, 10);
    EXPECT_EQ(background, GetSysColor(COLOR_WINDOW));
    // The picture starts at the item's indent and the folder fills its middle.
    const int left = list.Indent(i);
    EXPECT_EQ(GetPixel(dc, left - 1, 10), background);
    EXPECT_NE(GetPixel(dc, left + 8, 11), background);
  }
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

TEST_F(DirSelect, SwitchingDrivesMovesTheListAndTheCurrentDirectory) {
  TDirSelectDlg dialog;
  dialog.Create();
  TDriveComboBox& combo = dialog.DriveComboBox1();
  TDirectoryListBox& list = dialog.DirectoryListBox1();
  const std::vector<std::string> drives = combo.Items();
  ASSERT_GE(drives.size(), 2u) << "Wine gives c: and z:";
  for (const std::string& text : drives) {
    // Lower-case letters; fixed drives with their label in brackets.
    EXPECT_TRUE(text.size() >= 2 && text[1] == ':' && std::islower(static_cast<unsigned char>(text[0]))) << text;
    if (GetDriveTypeW(win32::Wide(text.substr(0, 2) + "\\").c_str()) == DRIVE_FIXED) {
      EXPECT_EQ(text.substr(2, 2), " [") << text;
      EXPECT_EQ(text.back(), ']') << text;
    }
  }
  EXPECT_EQ(combo.Drive(), static_cast<char>(std::tolower(static_cast<unsigned char>(sub_[0]))));

  // The last drive, then the first, chosen with the keyboard in the closed drop-down list.
  struct Row {
    WPARAM key;
    char letter;
  };
  const Row rows[] = {{VK_END, drives.back()[0]}, {VK_HOME, drives.front()[0]}};
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(1, row.letter));
    Key(combo.Handle(), row.key);
    EXPECT_EQ(combo.Drive(), row.letter);
    ASSERT_FALSE(list.Directory().empty());
    EXPECT_EQ(std::tolower(static_cast<unsigned char>(list.Directory()[0])), row.letter);
    EXPECT_EQ(CurrentDirectory(), list.Directory());
  }
}

TEST_F(DirSelect, AnUnreadableDriveIsReportedOnceAndLeavesTheList) {
  char missing = 0;
  const DWORD drives = GetLogicalDrives();
  for (int n = 24; n >= 3 && !missing; --n) {
    if (!(drives & (1u << n))) missing = static_cast<char>('a' + n);
  }
  ASSERT_NE(missing, 0);
  struct Row {
    bool english;
    std::string text;
  };
  const Row rows[] = {{false, std::string("Ошибка чтения диска ") + missing + ":"},
                      {true, std::string("Drive ") + missing + ": reading error"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    SetupGlobals.IsEnglish = row.english;
    TDirSelectDlg dialog;
    dialog.Create();
    {
      ScriptedMessages boxes;
      boxes.Expect(IDOK);
      dialog.DriveComboBox1().SetDrive(missing);
      ASSERT_EQ(boxes.Shown().size(), 1u);
      EXPECT_EQ(boxes.Shown()[0].text, row.text);
      EXPECT_EQ(boxes.Shown()[0].caption, "");
      EXPECT_EQ(boxes.Shown()[0].flags, 0u);
      // The same drive again: no second message.
      dialog.DriveComboBox1().SetDrive(missing);
    }
    EXPECT_EQ(dialog.DirectoryListBox1().Directory(), sub_);
    EXPECT_EQ(CurrentDirectory(), sub_);
    // The dialog's texts stay Russian.
    wchar_t text[64] = {};
    GetWindowTextW(dialog.Button2(), text, 64);
    EXPECT_EQ(win32::Narrow(text), "Отмена");
    GetWindowTextW(dialog.Handle(), text, 64);
    EXPECT_EQ(win32::Narrow(text), "Выбор каталога");
  }
}

TEST_F(DirSelect, OkWritesTheDirectoryIntoTheWizardsEdit) {
  HWND edit = CreateWindowExW(0, L"EDIT", L"c:\\old", WS_POPUP, 0, 0, 100, 20, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  ASSERT_TRUE(edit);
  TDirSelectDlg dialog;
  dialog.Create(edit);
  DoubleClickItem(dialog.DirectoryListBox1(), dialog.DirectoryListBox1().Count() - 1);  // "c"
  Click(dialog.Button1());
  EXPECT_TRUE(PumpUntil([&] { return dialog.ModalResult() != 0; }));
  EXPECT_EQ(dialog.ModalResult(), IDOK);
  EXPECT_EQ(dialog.Directory(), sub_ + "\\c");
  wchar_t text[MAX_PATH] = {};
  GetWindowTextW(edit, text, MAX_PATH);
  EXPECT_EQ(win32::Narrow(text), sub_ + "\\c");
  DestroyWindow(edit);
}

// A folder removed behind the list's back: opening it fails, the list and the current
// directory stay, and the dialog goes on (the error goes to the window guard's log).
TEST_F(DirSelect, AVanishedFolderLeavesTheListWhereItWas) {
  TDirSelectDlg dialog;
  dialog.Create();
  TDirectoryListBox& list = dialog.DirectoryListBox1();
  const int count = list.Count();
  ASSERT_TRUE(RemoveDirectoryW(win32::Wide(sub_ + "\\c").c_str()));
  DoubleClickItem(list, count - 1);
  EXPECT_EQ(list.Directory(), sub_);
  EXPECT_EQ(CurrentDirectory(), sub_);
  EXPECT_EQ(list.Count(), count);
  DoubleClickItem(list, count - 2);  // "b" still opens
  EXPECT_EQ(list.Directory(), sub_ + "\\b");
}

// The engine's seam shows the real dialog modally; a person picks a subdirectory and OK.
TEST_F(DirSelect, TheEnginesDirectoryDialogAnswersThePersonsChoice) {
  InstallEngineForms();
  static bool acted;
  acted = false;
  const UINT_PTR timer = SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR, DWORD) {
    HWND dialog = FindWindowW(L"TDirSelectDlg", nullptr);
    if (acted || !dialog || !IsWindowVisible(dialog)) return;
    acted = true;
    HWND list = FindWindowExW(dialog, nullptr, L"LISTBOX", nullptr);
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    // "A" by the keyboard: inside the dialog Enter opens the item and does not press OK.
    SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(count - 3), 0);
    SetFocus(list);
    PostMessageW(list, WM_KEYDOWN, VK_RETURN, 1);
    PostMessageW(list, WM_KEYUP, VK_RETURN, 0xC0000001);
    Click(GetDlgItem(dialog, IDOK));
  });
  std::string directory = "unchanged";
  const bool chosen = EngineMachine().SelectDirectory(directory);
  KillTimer(nullptr, timer);
  EngineMachine().ShowSearchForm = nullptr;
  EngineMachine().SelectDirectory = nullptr;
  EXPECT_TRUE(acted);
  EXPECT_TRUE(chosen);
  EXPECT_EQ(directory, sub_ + "\\A");
}

}  // namespace
