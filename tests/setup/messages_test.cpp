// The two message functions every part uses: which text is shown, which is logged.
#include <gtest/gtest.h>

#include "common/testsupport.h"
#include "common/text.h"
#include "setup/Messages.h"
#include "setup/SetupGlobals.h"

namespace {

class MessagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    text::SetAnsiCodePage(1251);
    SetupGlobals = TSetupGlobals();
    SetupGlobals.Log = std::make_unique<TLogFile>();
    SetupGlobals.Log->WriteHeader = false;
    SetupGlobals.Log->FormatString = false;
    SetupGlobals.Log->SetFileName(dir_.File("ztkinst.log"));
  }
  void TearDown() override { SetupGlobals = TSetupGlobals(); }
  std::string Log() const { return text::AnsiToUtf8(ReadFileBytes(dir_.File("ztkinst.log"))); }

  TempDir dir_;
};

TEST_F(MessagesTest, BilingualMessageShowsTheProgramsLanguageAndLogsEnglish) {
  ScriptedMessages boxes;
  boxes.Expect(mb::kIdYes);
  boxes.Expect(mb::kIdNo);
  EXPECT_EQ(ShowBilingualMessage("Удалить?", "Delete?", "", kQuestionBox), mb::kIdYes);
  SetupGlobals.IsEnglish = true;
  EXPECT_EQ(ShowBilingualMessage("Удалить?", "Delete?", "", kQuestionBox), mb::kIdNo);

  ASSERT_EQ(boxes.Shown().size(), 2u);
  EXPECT_EQ(boxes.Shown()[0].text, "Удалить?");
  EXPECT_EQ(boxes.Shown()[1].text, "Delete?");
  EXPECT_EQ(boxes.Shown()[0].flags, mb::kYesNo | mb::kIconQuestion | mb::kTaskModal);
  // The English text is logged whatever the language, with a leading blank.
  EXPECT_EQ(Log(), " Delete?\r\n Delete?\r\n");
}

TEST_F(MessagesTest, LoggedMessageShowsAndLogsItsOneText) {
  ScriptedMessages boxes;
  boxes.Expect(mb::kIdOk);
  EXPECT_EQ(ShowLoggedMessage("Только по-русски", "", kNoticeBox), mb::kIdOk);
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_EQ(boxes.Shown()[0].text, "Только по-русски");
  EXPECT_EQ(boxes.Shown()[0].flags, mb::kIconExclamation | mb::kTaskModal);
  EXPECT_EQ(Log(), " Только по-русски\r\n");
}

TEST_F(MessagesTest, WithoutALogTheMessageIsStillShown) {
  SetupGlobals.Log.reset();
  ScriptedMessages boxes;
  boxes.Expect(mb::kIdOk);
  EXPECT_EQ(ShowBilingualMessage("Ошибка", "Error", "", kErrorBox), mb::kIdOk);
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_EQ(boxes.Shown()[0].text, "Ошибка");
}

}  // namespace
