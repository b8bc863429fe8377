// The duplicate-file form under Wine: its texts in both languages, its three answers chosen
// with the mouse, no way out but its buttons, and the form shown for the engine.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

#include "common/win32.h"
#include "engine/EngineMachine.h"
#include "setup/SetupGlobals.h"
#include "ui/EngineForms_win32.h"
#include "ui/Search_win32.h"
#include "ui/ui_driving_win32.h"

namespace {

using namespace uitest;

class SearchForm : public ::testing::Test {
 protected:
  void TearDown() override { SetupGlobals.IsEnglish = false; }
};

TEST_F(SearchForm, TextsInBothLanguages) {
  const std::string memo =
      "Наличие одноименных компонент в пути может привести к неправильному функционированию \r\n"
      "устанавливаемых подсистем\".";
  struct Row {
    bool english;
    const char *button1, *button2, *checkBox;
  };
  const Row rows[] = {
      {false, "Продолжить инсталляцию", "Прервать инсталляцию", "Больше не выводить это предупреждение"},
      {true, "Continue installation", "Abort installation", "To not output are more this warning"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.button1);
    SetupGlobals.IsEnglish = row.english;
    TSearchForm form;
    form.Create();
    EXPECT_EQ(Text(form.Handle()), "");
    EXPECT_EQ(Text(form.Memo1()), memo);  // the engine's text replaces it in either language
    EXPECT_EQ(Text(form.Button1()), row.button1);
    EXPECT_EQ(Text(form.Button2()), row.button2);
    EXPECT_EQ(Text(form.CheckBox1()), row.checkBox);
    form.SetMessage("Found file c:\\x\\a.dll\r\nsecond line");
    EXPECT_EQ(Text(form.Memo1()), "Found file c:\\x\\a.dll\r\nsecond line");
    // Read-only: typing changes nothing.
    PostMessageW(form.Memo1(), WM_CHAR, 'z', 1);
    PumpPending();
    EXPECT_EQ(Text(form.Memo1()), "Found file c:\\x\\a.dll\r\nsecond line");
  }
}

TEST_F(SearchForm, TheButtonsAnswerOneSixOrTwo) {
  struct Row {
    const char* what;
    bool tick;
    bool abort;
    int result;
  };
  const Row rows[] = {
      {"continue, do not warn again", true, false, IDOK},
      {"continue", false, false, IDYES},
      {"abort with the box ticked", true, true, IDCANCEL},
      {"abort", false, true, IDCANCEL},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TSearchForm form;
    form.Create();
    // The title bar's close and Escape do not leave the form.
    PostMessageW(form.Handle(), WM_CLOSE, 0, 0);
    PostMessageW(form.Handle(), WM_COMMAND, IDCANCEL, 0);
    PumpPending();
    EXPECT_EQ(form.ModalResult(), 0);
    if (row.tick) Click(form.CheckBox1());
    Click(row.abort ? form.Button2() : form.Button1());
    PumpUntil([&] { return form.ModalResult() != 0; });
    EXPECT_EQ(SendMessageW(form.CheckBox1(), BM_GETCHECK, 0, 0), row.tick ? BST_CHECKED : BST_UNCHECKED);
    EXPECT_EQ(form.ModalResult(), row.result);
  }
}

// The engine's seam shows the form modally with the engine's text; the person ticks the box
// and continues.
TEST_F(SearchForm, TheEnginesFormShowsItsMessageAndAnswers) {
  SetupGlobals.IsEnglish = true;
  InstallEngineForms();
  static std::string shown;
  shown.clear();
  const UINT_PTR timer = SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR, DWORD) {
    HWND form = FindWindowW(L"TSearchForm", nullptr);
    if (!shown.empty() || !form || !IsWindowVisible(form)) return;
    shown = Text(GetDlgItem(form, 104));
    Click(GetDlgItem(form, 103));
    Click(GetDlgItem(form, 101));
  });
  const int answer = EngineMachine().ShowSearchForm("The file is retreived c:\\windows\\x.dll");
  KillTimer(nullptr, timer);
  EngineMachine().ShowSearchForm = nullptr;
  EngineMachine().SelectDirectory = nullptr;
  EXPECT_EQ(shown, "The file is retreived c:\\windows\\x.dll");
  EXPECT_EQ(answer, 1);
}

}  // namespace
