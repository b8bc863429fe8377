// The two message functions every part uses: which text is shown, which is logged.
#include <gtest/gtest.h>

#include <thread>

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

TEST(UnattendedMessages, AQuestionWithoutAPersonIsRefusedAndStandardErrorSaysSo) {
  // An empty handler brings back the handler of a run without a person.
  const MessageBoxHandler previous = SetMessageBoxHandler({});
  struct Case {
    unsigned flags;
    int answer;
    const char* note;  // what standard error adds after the text; empty for none
  } const cases[] = {
      {kErrorBox | mb::kOk, mb::kIdOk, ""},
      {mb::kOkCancel | mb::kIconQuestion | mb::kTaskModal, mb::kIdCancel,
       "(no one to ask: answered Cancel)\n"},
      {mb::kYesNoCancel, mb::kIdCancel, "(no one to ask: answered Cancel)\n"},
      {mb::kRetryCancel, mb::kIdCancel, "(no one to ask: answered Cancel)\n"},
      {kQuestionBox, mb::kIdNo, "(no one to ask: answered No)\n"},
      {mb::kAbortRetryIgnore, mb::kIdAbort, "(no one to ask: answered Abort)\n"},
  };
  for (const Case& c : cases) {
    testing::internal::CaptureStderr();
    const int answer = ShowMessageBox("Please insert disk 2 of the multi-disk set.", "", c.flags);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(answer, c.answer) << c.flags;
    EXPECT_EQ(err, std::string("Please insert disk 2 of the multi-disk set.\n") + c.note)
        << c.flags;
  }
  testing::internal::CaptureStderr();
  ShowMessageBox("text", "Zip Error", mb::kOkCancel);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Zip Error: text\n(no one to ask: answered Cancel)\n");
  SetMessageBoxHandler(previous);
}

TEST(UnattendedMessages, AScopedAnswerHoldsForQuestionsOnItsThreadOnly) {
  EXPECT_EQ(UnattendedAnswer(kQuestionBox), mb::kIdNo);
  {
    TUnattendedAnswer abort(mb::kIdYes);
    EXPECT_EQ(UnattendedAnswer(kQuestionBox), mb::kIdYes);
    EXPECT_EQ(UnattendedAnswer(kErrorBox), mb::kIdOk);  // a box that only informs
    {
      TUnattendedAnswer inner(mb::kIdNo);
      EXPECT_EQ(UnattendedAnswer(kQuestionBox), mb::kIdNo);
    }
    EXPECT_EQ(UnattendedAnswer(kQuestionBox), mb::kIdYes);
    int other = 0;
    std::thread([&] { other = UnattendedAnswer(kQuestionBox); }).join();
    EXPECT_EQ(other, mb::kIdNo);
  }
  EXPECT_EQ(UnattendedAnswer(kQuestionBox), mb::kIdNo);
}

}  // namespace
