// The notice about an abandoned run comes before start-up loads the description: it must
// speak the description's language all the same, and the early look at the language must
// leave the run as it was (the log's lines, the messages that follow, the order of effects).
#include <gtest/gtest.h>

#include <filesystem>

#include "common/testsupport.h"
#include "common/text.h"
#include "setup/Messages.h"
#include "setup/SetupGlobals.h"
#include "setup/Startup.h"

namespace fs = std::filesystem;

namespace {

const char kEnglish[] = "IDF-CPS-text\r\n\r\n[Language]\r\nLanguage=English\r\n";
const char kRussian[] = "IDF-CPS-text\r\n\r\n[Params]\r\nSystem name=X\r\n";

class StartupNotice : public ::testing::Test {
 protected:
  void SetUp() override {
    text::SetAnsiCodePage(1251);
    SetupGlobals = TSetupGlobals();
    previousDir_ = fs::current_path();
    fs::current_path(dist_.Path());
    platform_.GetTempDirectory = [this] { return temp_.Path() + "\\"; };
    platform_.GetCurrentDirectory = [] { return fs::current_path().string(); };
    platform_.ClearUninstallMark = [this] { effects_.push_back("mark"); };
    platform_.RemoveContinueLink = [this] { effects_.push_back("link"); };
    platform_.SameTextLocale = [](const std::string& a, const std::string& b) { return text::SameTextAscii(a, b); };
    platform_.RunApplication = [this] {
      effects_.push_back(std::string("application ") + (SetupGlobals.IsEnglish ? "en" : "ru"));
    };
    platform_.RebootWindows = [] {};
    platform_.RunUnattended = [](const TSwitches&) { return 0; };
    // A run that was abandoned is found: the notice goes through the program's box.
    platform_.RecoverAbandonedRuns = [this](bool notify) {
      effects_.push_back(notify ? "recover, notify" : "recover");
      if (notify) {
        ShowBilingualMessage("Предыдущая установка не была завершена.", "The previous installation did not end.",
                             SetupGlobals.MessageCaption, kNoticeBox | mb::kOk);
      }
    };
  }
  void TearDown() override {
    fs::current_path(previousDir_);
    SetupGlobals = TSetupGlobals();
  }

  std::string Log() const { return ReadFileBytes(temp_.File("ztkinst.log")); }
  static std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }

  TempDir dist_, temp_;
  fs::path previousDir_;
  TStartupPlatform platform_;
  std::vector<std::string> effects_;
};

TEST_F(StartupNotice, SpeaksTheLanguageOfTheDescription) {
  struct Row {
    const char* description;
    const char* shown;
    const char* application;
  };
  const Row rows[] = {
      {kEnglish, "The previous installation did not end.", "application en"},
      {kRussian, "Предыдущая установка не была завершена.", "application ru"},
  };
  for (const Row& row : rows) {
    SetupGlobals = TSetupGlobals();
    effects_.clear();
    WriteFileBytes(dist_.File("setup.idf"), row.description);
    ScriptedMessages boxes;
    boxes.Expect(mb::kIdOk);
    RunStartup(platform_);
    ASSERT_EQ(boxes.Shown().size(), 1u) << row.shown;
    EXPECT_EQ(boxes.Shown()[0].text, row.shown);
    EXPECT_EQ(effects_, (std::vector<std::string>{"recover, notify", "mark", row.application}));
  }
  // The early look at the language writes nothing: the description is loaded once in the log.
  EXPECT_EQ(Count(Log(), " Load IDF file setup.idf"), 2u);  // one per run above
}

TEST_F(StartupNotice, AContinuationRunLooksAtItsSavedStateFile) {
  WriteFileBytes(dist_.File("setup.idf"), kRussian);
  WriteFileBytes(dist_.File("temp state.inf"), kEnglish);
  platform_.Params = {"temp", "state.inf"};
  ScriptedMessages boxes;
  boxes.Expect(mb::kIdOk);
  RunStartup(platform_);
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_EQ(boxes.Shown()[0].text, "The previous installation did not end.");
  EXPECT_EQ(effects_, (std::vector<std::string>{"recover, notify", "mark", "link", "application en"}));
}

TEST_F(StartupNotice, AMissingOrBadDescriptionIsStillReportedInRussian) {
  // The notice itself then speaks Russian, as nothing says otherwise.
  for (const char* body : {static_cast<const char*>(nullptr), "not a description\r\n"}) {
    SetupGlobals = TSetupGlobals();
    if (body) WriteFileBytes(dist_.File("setup.idf"), body);
    ScriptedMessages boxes;
    boxes.Expect(mb::kIdOk);
    boxes.Expect(mb::kIdOk);
    RunStartup(platform_);
    ASSERT_EQ(boxes.Shown().size(), 2u);
    EXPECT_EQ(boxes.Shown()[0].text, "Предыдущая установка не была завершена.");
    EXPECT_EQ(boxes.Shown()[1].text, body ? "неверный формат файла setup.idf" : "setup.idf не найден");
  }
}

TEST_F(StartupNotice, AnUnattendedRunIsNotNotified) {
  WriteFileBytes(dist_.File("setup.idf"), kEnglish);
  platform_.RawCommandLine = "setup.exe /S";
  RunStartup(platform_);
  ASSERT_FALSE(effects_.empty());
  EXPECT_EQ(effects_[0], "recover");
}

}  // namespace
