// The wizard's page sequences under Wine, driven by clicks on its buttons: every path of the
// step table with the caption, the Next button's text, Back's visibility and the page shown
// at each step, in both languages; and every row of the Back table.
#include <gtest/gtest.h>

#include "common/testsupport.h"
#include "ui/Mnemonics_win32.h"
#include "ui/ui_wizard_support_win32.h"

namespace {

using namespace wizardtest;
using uitest::Text;

struct Shown {
  int step;
  TWizardPage page;
  const char *captionRu, *captionEn, *nextRu, *nextEn;
  bool back;
};

// What each step shows on the paths below (the licence file exists on every path).
const Shown kFirst{1, pgFirst, "Установка системы Wiz", "Installation of system Wiz", "Далее >", "Next", false};
const Shown kLicence{2, pgLicense, "Лицензионное соглашение", "The license agreement", "Согласен", "I Agree", false};
const Shown kType{3, pgTypeInst, "Выбор типа установки", "Select install type", "Далее >", "Next >", true};
const Shown kSelComp{4, pgSelComp, "Выбор устанавливаемых подсистем", "Select of installed subsystems", "Далее >",
                     "Next >", true};
const Shown kGroup{5, pgProgGrp, "Выбор программной группы", "Select program group", "Далее >", "Next >", true};
const Shown kLastInstall{8, pgLast, "Установка системы Wiz", "Installation of Wiz", "Установить", "Install", true};
const Shown kAction{6, pgAction, "Выбор действия", "Select process", "Далее >", "Next", false};
const Shown kAddDel{7, pgSelComp, "Выбор добавляемых/удаляемых подсистем", "Select of add/delete subsystems",
                    "Далее >", "Next >", true};
const Shown kLastAddDel{8, pgLast, "Добавление / удаление подсистемWiz", "Add/Delete of Wiz", "Выполнить", "Add/Del",
                        true};

struct Path {
  const char* what;
  bool installed;     // a previous installation in the registry
  int setupType;
  bool uninstall;     // "UNINSTALL" on the command line
  bool registered;    // "Install type" not 0
  int choice;         // the radio button clicked on the page before the last Next: -1 none
  std::vector<Shown> steps;
  SetupMode mode;     // of the engine's start
};

class WizardPages : public WizardFixture, public ::testing::WithParamInterface<bool> {};

TEST_P(WizardPages, EveryPathOfTheStepTable) {
  const bool english = GetParam();
  const Path paths[] = {
      {"new, full", false, 0, false, true, -1, {kFirst, kLicence, kType, kGroup, kLastInstall}, smInstall},
      {"new, custom", false, 0, false, true, 1, {kFirst, kLicence, kType, kSelComp, kGroup, kLastInstall}, smInstall},
      {"found, SetupType 1", true, 1, false, true, -1, {kFirst, kLicence, kType, kGroup, kLastInstall}, smInstall},
      {"add/delete", true, 0, false, true, -1, {kFirst, kAction, kAddDel, kLastAddDel}, smAddDelete},
      {"uninstall chosen", true, 0, true, true, 1, {kFirst, kAction}, smUninstall},
      {"uninstall, SetupType 1", true, 1, true, true, -1, {kFirst, kAction}, smUninstall},
      {"Install type 0", true, 0, true, false, -1, {kFirst, kLicence, kType, kGroup, kLastInstall}, smInstall},
  };
  for (const Path& path : paths) {
    SCOPED_TRACE(path.what);
    CleanRegistry();
    if (path.installed) MarkInstalled({"Base"});
    DescribeProduct({{"SetupType", std::to_string(path.setupType)}, {"Install type", path.registered ? "1" : "0"}});
    WriteFileBytes(dist + "\\licence.txt", "line 1\r\nline 2\r\n");
    SetupGlobals.IsEnglish = english;
    SetupGlobals.UninstallRequested = path.uninstall;
    SetupGlobals.RegisteredSetup = true;
    SetupGlobals.SetupType = 0;
    engineStarts = 0;
    Open();
    for (std::size_t i = 0; i < path.steps.size(); ++i) {
      const Shown& s = path.steps[i];
      SCOPED_TRACE("step " + std::to_string(s.step));
      ASSERT_EQ(form->Model().Step, s.step);
      EXPECT_EQ(VisiblePage(), s.page);
      EXPECT_EQ(Text(form->Handle()), english ? s.captionEn : s.captionRu);
      // The step's text, with the letter that presses it underlined.
      EXPECT_EQ(ui::WithoutMnemonic(Text(form->BtnNext())), english ? s.nextEn : s.nextRu);
      EXPECT_NE(Text(form->BtnNext()).find('&'), std::string::npos);
      EXPECT_EQ(IsWindowVisible(form->BtnPrev()) != FALSE, s.back);
      if (s.step == 3 && path.choice == 1) Press(form->TypeInstRadio(1));
      if (s.step == 6) {
        const bool fixed = path.setupType == 1 && path.uninstall;
        EXPECT_EQ(IsWindowVisible(form->UninstallLabel()) != FALSE, fixed);
        EXPECT_EQ(IsWindowVisible(form->ActRadio(0)) != FALSE, !fixed);
        if (!fixed) {
          EXPECT_EQ(SendMessageW(form->ActRadio(0), BM_GETCHECK, 0, 0), BST_CHECKED);
        }
        if (path.choice == 1) Press(form->ActRadio(1));
      }
      EXPECT_EQ(engineStarts, 0);
      Next();
    }
    EXPECT_EQ(form->Model().Step, 9);
    EXPECT_FALSE(IsWindowVisible(form->Handle()));
    EXPECT_EQ(engineStarts, 1);
    EXPECT_EQ(form->Model().Mode, path.mode);
    form.reset();
  }
}

INSTANTIATE_TEST_SUITE_P(Languages, WizardPages, ::testing::Values(false, true));

TEST_F(WizardFixture, ContinuationRunStartsTheEngineAndStaysHidden) {
  DescribeProduct();
  SetupGlobals.ContinueAfterRestart = true;
  Open();
  EXPECT_EQ(form->Model().Step, 9);
  EXPECT_EQ(engineStarts, 1);
  EXPECT_FALSE(IsWindowVisible(form->Handle()));
}

TEST_F(WizardFixture, TheSidePictureShows) {
  DescribeProduct();
  Open();
  EXPECT_TRUE(wizardtest::SidePictureDrawn(*form));
}

TEST_F(WizardFixture, WithoutLicenceTheNextButtonKeepsItsText) {
  DescribeProduct();
  Open();
  Next();
  ASSERT_EQ(form->Model().Step, 2);
  EXPECT_EQ(Text(form->BtnNext()), "&Далее >");
  EXPECT_EQ(Text(form->LicenseMemo()), "");
}

TEST_F(WizardFixture, ALicenceBeyondTheEditsDefaultLimitIsShownWhole) {
  DescribeProduct();
  std::string licence;
  for (int i = 0; i < 4000; ++i) licence += "Licence line " + std::to_string(i) + " of the agreement\r\n";
  WriteFileBytes(dist + "\\licence.txt", licence);
  Open();
  Next();
  licence.resize(licence.size() - 2);  // the last line's end is no line of its own
  EXPECT_GT(licence.size(), 32767u);
  EXPECT_EQ(Text(form->LicenseMemo()), licence);
}

// Each row: the path walked with Next (and a choice), then Back, and the step it leads to.
TEST_F(WizardFixture, EveryRowOfTheBackTable) {
  struct Row {
    const char* what;
    bool installed;
    bool custom;
    int nexts;  // Next presses from step 1
    int from, to;
  };
  const Row rows[] = {
      {"licence page", false, false, 2, 3, 2},   {"custom tree", false, true, 3, 4, 3},
      {"group after full", false, false, 3, 5, 3}, {"group after custom", false, true, 4, 5, 4},
      {"summary of an installation", false, false, 4, 8, 5}, {"add/delete tree", true, false, 2, 7, 6},
      {"add/delete summary", true, false, 3, 8, 7},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CleanRegistry();
    if (row.installed) MarkInstalled({"Base"});
    DescribeProduct();
    Open();
    for (int i = 0; i < row.nexts; ++i) {
      if (form->Model().Step == 3 && row.custom) Press(form->TypeInstRadio(1));
      Next();
    }
    ASSERT_EQ(form->Model().Step, row.from);
    Back();
    EXPECT_EQ(form->Model().Step, row.to);
    if (row.to == 3 || row.to == 6) {
      EXPECT_EQ(TreeView_GetCount(form->ComponentTree()), 0u);
    }
    // And forward again to where Back started.
    Next();
    EXPECT_EQ(form->Model().Step, row.from);
    form.reset();
  }
  // Back is hidden on the licence and action pages; the model's Back there leads to step 1.
  DescribeProduct();
  Open();
  Next();
  EXPECT_FALSE(IsWindowVisible(form->BtnPrev()));
  EXPECT_TRUE(form->Model().Back());
  EXPECT_EQ(form->Model().Step, 1);
}

TEST_F(WizardFixture, AddDeleteSummaryListsWhatIsAddedAndRemoved) {
  MarkInstalled({"Base"});
  DescribeProduct();
  Open();
  Next();
  Next();
  ASSERT_EQ(form->Model().Step, 7);
  // Docs is not installed, Base is: tick Docs, untick Base.
  for (TSysNode* node : form->Model().SourceTree->Index()) form->Model().ToggleNode(node);
  Next();
  ASSERT_EQ(form->Model().Step, 8);
  EXPECT_EQ(Text(form->LastMemo()), "\r\nДобавляемые подсистемы:\r\nDocs\r\n\r\nУдаляемые подсистемы:\r\nBase");
}

TEST_F(WizardFixture, FullInstallationSummaryNamesEverySubsystem) {
  DescribeProduct();
  Open();
  for (int i = 0; i < 4; ++i) Next();
  ASSERT_EQ(form->Model().Step, 8);
  EXPECT_EQ(Text(form->LastMemo()),
            "Тип установки:\r\n   полная\r\n\r\nВыбранные подсистемы:\r\nBase\r\nDocs\r\n\r\nКаталог:\r\n   " + installDir);
  EXPECT_EQ(Text(form->Label8()), "Программа инсталляции системы\r\nWiz\r\nготова к копированию файлов.");
}

}  // namespace
