// The start-up sequence with the machine replaced: which messages, log lines and flags each
// kind of command line and description leads to.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/errors.h"
#include "common/testsupport.h"
#include "common/text.h"
#include "description/InstIDF.h"
#include "setup/InstTool.h"
#include "setup/Startup.h"
#include "setup/SetupGlobals.h"

namespace fs = std::filesystem;

namespace {

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    text::SetAnsiCodePage(1251);
    SetupGlobals = TSetupGlobals();
    previousDir_ = fs::current_path();
    fs::current_path(dist_.Path());
    platform_.GetTempDirectory = [this] { return temp_.Path() + "\\"; };
    platform_.GetCurrentDirectory = [] { return fs::current_path().string(); };
    platform_.ClearUninstallMark = [this] { ++clearedMarks_; };
    platform_.RemoveContinueLink = [this] { ++removedLinks_; };
    platform_.SameTextLocale = [](const std::string& a, const std::string& b) {
      return text::SameTextAscii(a, b);
    };
    platform_.RunApplication = [this] { ++applicationRuns_; };
    platform_.RebootWindows = [this] {
      ++reboots_;
      // The description and the log are still there while the restart is asked for.
      EXPECT_NE(SetupGlobals.Description, nullptr);
      EXPECT_NE(SetupGlobals.Log, nullptr);
    };
    platform_.RunUnattended = [this](const TSwitches& switches) {
      seen_ = switches;
      ++unattendedRuns_;
      return unattendedAnswer_;
    };
    platform_.WriteConsole = [this](const std::string& line) { console_.push_back(line); };
  }
  void TearDown() override {
    fs::current_path(previousDir_);
    SetupGlobals = TSetupGlobals();
  }

  void WriteDescription(const std::string& body) {
    WriteFileBytes(dist_.File("setup.idf"), body);
  }
  std::string Log() const { return ReadFileBytes(temp_.File("ztkinst.log")); }

  // The log's lines without their time stamps ("[...]:" prefix).
  std::vector<std::string> LogMessages() const {
    std::vector<std::string> lines;
    std::string log = Log();
    std::size_t pos = 0;
    while (pos < log.size()) {
      std::size_t end = log.find("\r\n", pos);
      std::string line = log.substr(pos, end - pos);
      std::size_t cut = line.find("]:");
      lines.push_back(cut == std::string::npos ? line : line.substr(cut + 2));
      if (end == std::string::npos) break;
      pos = end + 2;
    }
    return lines;
  }

  TempDir dist_, temp_;
  fs::path previousDir_;
  TStartupPlatform platform_;
  int clearedMarks_ = 0, removedLinks_ = 0, applicationRuns_ = 0, reboots_ = 0;
  TSwitches seen_;  // what the unattended run was given
  std::vector<std::string> console_;
  int unattendedRuns_ = 0;
  int unattendedAnswer_ = exitcode::kDone;
};

const char kSmallDescription[] = "IDF-CPS-text\r\n\r\n[Params]\r\nSystem name=X\r\n";

TEST_F(StartupTest, MissingDescriptionIsReportedInRussianAndLoggedInEnglish) {
  ScriptedMessages boxes;
  boxes.Expect(mb::kIdOk);
  RunStartup(platform_);

  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_EQ(boxes.Shown()[0].text, "setup.idf не найден");
  EXPECT_EQ(boxes.Shown()[0].caption, "");
  EXPECT_EQ(boxes.Shown()[0].flags, mb::kIconError | mb::kTaskModal);
  EXPECT_EQ(LogMessages(), (std::vector<std::string>{"", "", " setup.idf does not exist"}));
  EXPECT_EQ(clearedMarks_, 1);
  EXPECT_EQ(applicationRuns_, 0);
  EXPECT_EQ(SetupGlobals.Log, nullptr);
}

TEST_F(StartupTest, LogLinesCarryTheTimeStampPrefix) {
  ScriptedMessages boxes;
  boxes.Expect(mb::kIdOk);
  RunStartup(platform_);
  std::string log = Log();
  // "[dd.mm.yyyy hh:mm:ss.ffff]:" then the message and CR LF.
  ASSERT_GE(log.size(), 29u);
  EXPECT_EQ(log[0], '[');
  EXPECT_EQ(log.substr(25, 4), "]:\r\n");
}

TEST_F(StartupTest, UninstallInAnyCaseSetsTheFlagAndKeepsTheDescriptionName) {
  for (const char* arg : {"UNINSTALL", "uninstall", "UnInstall"}) {
    SetupGlobals = TSetupGlobals();
    platform_.Params = {arg};
    ScriptedMessages boxes;
    boxes.Expect(mb::kIdOk);
    RunStartup(platform_);
    EXPECT_TRUE(SetupGlobals.UninstallRequested) << arg;
    EXPECT_FALSE(SetupGlobals.ContinueAfterRestart) << arg;
    EXPECT_EQ(SetupGlobals.DescriptionFileName, "setup.idf") << arg;
    EXPECT_EQ(removedLinks_, 0);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, "setup.idf не найден");
  }
}

TEST_F(StartupTest, SplitUninstallIsAContinuationRunWithTheJoinedName) {
  platform_.Params = {"UN", "INSTALL"};
  ScriptedMessages boxes;
  boxes.Expect(mb::kIdOk);
  RunStartup(platform_);
  EXPECT_FALSE(SetupGlobals.UninstallRequested);
  EXPECT_TRUE(SetupGlobals.ContinueAfterRestart);
  EXPECT_EQ(SetupGlobals.DescriptionFileName, "UN INSTALL");
  EXPECT_EQ(removedLinks_, 1);
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_EQ(boxes.Shown()[0].text, "UN INSTALL не найден");
  EXPECT_EQ(LogMessages(), (std::vector<std::string>{"", "", " command line parameter : UN INSTALL",
                                                     " UN INSTALL does not exist"}));
}

TEST_F(StartupTest, ContinuationRunLoadsTheSavedStateFileWhosePathHasBlanks) {
  fs::create_directories(dist_.File("saved state"));
  WriteFileBytes(dist_.File("saved state/temp.inf"), "IDF-CPS-text\r\n\r\n[Params]\r\nLevel=1\r\n");
  platform_.Params = {"saved", "state/temp.inf"};
  platform_.RemoveContinueLink = [] { throw Exception("no link"); };  // ignored
  RunStartup(platform_);
  EXPECT_TRUE(SetupGlobals.ContinueAfterRestart);
  EXPECT_EQ(applicationRuns_, 1);
}

TEST_F(StartupTest, InvalidDescriptionGivesTheInvalidFormatMessage) {
  WriteDescription("IDF-cps-text\r\n\r\n[Language]\r\nLanguage=English\r\n");
  ScriptedMessages boxes;
  boxes.Expect(mb::kIdOk);
  RunStartup(platform_);
  ASSERT_EQ(boxes.Shown().size(), 1u);
  // The language is not read yet, so the Russian text is shown.
  EXPECT_EQ(boxes.Shown()[0].text, "неверный формат файла setup.idf");
  std::vector<std::string> lines = LogMessages();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), " Invalid file format setup.idf");
  EXPECT_EQ(applicationRuns_, 0);
  EXPECT_EQ(SetupGlobals.Description, nullptr);
}

TEST_F(StartupTest, ValidDescriptionSettlesTheLanguageAndRunsTheApplication) {
  WriteDescription("IDF-CPS-text\r\n\r\n[language]\r\nLANGUAGE= english \r\n");
  platform_.RunApplication = [this] {
    ++applicationRuns_;
    EXPECT_TRUE(SetupGlobals.IsEnglish);
    ASSERT_NE(SetupGlobals.Description, nullptr);
    SetupGlobals.RebootRequired = true;
  };
  RunStartup(platform_);
  EXPECT_EQ(applicationRuns_, 1);
  EXPECT_EQ(reboots_, 1);
  EXPECT_EQ(SetupGlobals.Description, nullptr);  // freed at the end of the run
  EXPECT_EQ(SetupGlobals.StartDir, fs::current_path().string());
  std::vector<std::string> lines = LogMessages();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[2], " Load IDF file setup.idf");
}

TEST_F(StartupTest, ExceptionEscapingTheRunShowsClassNameAndMessage) {
  WriteDescription("IDF-CPS-text\r\n\r\n");
  platform_.RunApplication = [] { throw EListError("List index out of bounds (3)"); };
  ScriptedMessages boxes;
  boxes.Expect(mb::kIdOk);
  RunStartup(platform_);
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_EQ(boxes.Shown()[0].text, "EListErrorList index out of bounds (3)");
  EXPECT_EQ(boxes.Shown()[0].caption, "");
  EXPECT_EQ(boxes.Shown()[0].flags, mb::kTaskModal);  // no icon
  EXPECT_EQ(reboots_, 0);
  EXPECT_EQ(SetupGlobals.Description, nullptr);
  EXPECT_EQ(SetupGlobals.Log, nullptr);
}

TEST_F(StartupTest, EmptyArgumentsAreAsIfThereWereNone) {
  for (const auto& params : {std::vector<std::string>{""}, std::vector<std::string>{"", ""}}) {
    SetupGlobals = TSetupGlobals();
    platform_.Params = params;
    ScriptedMessages boxes;
    boxes.Expect(mb::kIdOk);
    RunStartup(platform_);
    EXPECT_FALSE(SetupGlobals.ContinueAfterRestart) << params.size();
    EXPECT_FALSE(SetupGlobals.UninstallRequested) << params.size();
    EXPECT_EQ(SetupGlobals.DescriptionFileName, "setup.idf") << params.size();
    EXPECT_EQ(removedLinks_, 0);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, "setup.idf не найден");
  }
  // Beside a real argument an empty one changes nothing either.
  SetupGlobals = TSetupGlobals();
  platform_.Params = {"", "uninstall", ""};
  ScriptedMessages boxes;
  boxes.Expect(mb::kIdOk);
  RunStartup(platform_);
  EXPECT_TRUE(SetupGlobals.UninstallRequested);
}

TEST_F(StartupTest, ABadCommandLineChangesNothingAndAnswersThree) {
  WriteDescription(kSmallDescription);
  platform_.RawCommandLine = "setup.exe /S /COMPONENTS=1,x";
  EXPECT_EQ(RunStartup(platform_), exitcode::kBadInput);
  EXPECT_EQ(clearedMarks_ + removedLinks_ + applicationRuns_ + unattendedRuns_, 0);
  ASSERT_EQ(console_.size(), 1u);
  EXPECT_EQ(console_[0],
            "setup: bad command line: the switch /COMPONENTS needs a comma list of subsystem "
            "numbers: /COMPONENTS=1,x");
  EXPECT_NE(ReadFileBytes(temp_.File("ztkinst.log")).find(" bad command line: the switch"),
            std::string::npos);
}

TEST_F(StartupTest, UninstallWithSIsStillTheRemovalRequestAndRunsUnattended) {
  WriteDescription(kSmallDescription);
  platform_.RawCommandLine = "setup.exe UNINSTALL /S";
  platform_.Params = {"UNINSTALL", "/S"};
  unattendedAnswer_ = exitcode::kNothingToDo;
  EXPECT_EQ(RunStartup(platform_), exitcode::kNothingToDo);
  EXPECT_TRUE(SetupGlobals.UninstallRequested);
  EXPECT_FALSE(SetupGlobals.ContinueAfterRestart);
  EXPECT_TRUE(seen_.Silent);
  EXPECT_EQ(unattendedRuns_, 1);
  EXPECT_EQ(applicationRuns_, 0);
}

TEST_F(StartupTest, AnUnattendedRunNeverRestartsTheMachine) {
  WriteDescription(kSmallDescription);
  platform_.RawCommandLine = "setup.exe /S";
  platform_.RunUnattended = [](const TSwitches&) {
    SetupGlobals.RebootRequired = true;
    return exitcode::kDone;
  };
  EXPECT_EQ(RunStartup(platform_), exitcode::kRestartNeeded);
  EXPECT_EQ(reboots_, 0);
}

TEST_F(StartupTest, AMissingDescriptionAnswersThreeAlsoWithAWizard) {
  platform_.RawCommandLine = "setup.exe /S";
  EXPECT_EQ(RunStartup(platform_), exitcode::kBadInput);
  platform_.RawCommandLine = "setup.exe";
  ScriptedMessages boxes;
  boxes.Expect(mb::kIdOk);
  EXPECT_EQ(RunStartup(platform_), exitcode::kBadInput);
  EXPECT_EQ(unattendedRuns_ + applicationRuns_, 0);
}

TEST_F(StartupTest, AContinuationPathWithBlanksStaysAContinuationRun) {
  const std::string path = "saved state.inf";
  WriteFileBytes(dist_.File(path), "IDF-CPS-text\r\n\r\n");
  platform_.RawCommandLine = "setup.exe " + path;
  platform_.Params = SplitRawCommandLine(platform_.RawCommandLine);
  RunStartup(platform_);
  EXPECT_TRUE(SetupGlobals.ContinueAfterRestart);
  EXPECT_EQ(SetupGlobals.DescriptionFileName, path);
  EXPECT_EQ(applicationRuns_, 1);
}

TEST(CommandLineText, JoinsWithSingleBlanksOnlyAfterNonBlankText) {
  EXPECT_EQ(GetCommandLineText({}), "");
  EXPECT_EQ(GetCommandLineText({"a"}), "a");
  EXPECT_EQ(GetCommandLineText({"C:\\My", "Dir\\temp.inf"}), "C:\\My Dir\\temp.inf");
  EXPECT_EQ(GetCommandLineText({" ", "a"}), " a");  // nothing but blanks so far: no separator
  EXPECT_EQ(GetCommandLineText({"", "", "b"}), "b");
  EXPECT_EQ(GetCommandLineText({"a ", "b"}), "a  b");
}

TEST(ReadIsEnglishTest, NeedsTheLanguageSectionAndValue) {
  TIDFTextFile file;
  EXPECT_FALSE(ReadIsEnglish(&file));
  EXPECT_FALSE(ReadIsEnglish(nullptr));
  TIDFSection* section = file.AddSection("LANGUAGE");
  TIDFParam* param = section->AddParam("language");
  param->SetAsString("  English\t");
  EXPECT_TRUE(ReadIsEnglish(&file));
  param->SetAsString("Englisch");
  EXPECT_FALSE(ReadIsEnglish(&file));
  param->SetAsString("Russian");
  EXPECT_FALSE(ReadIsEnglish(&file));
}

}  // namespace

// While another installer runs, a second start says so in the description's language and
// touches nothing: no recovery of journals, no removal mark cleared, no window, no engine.
TEST_F(StartupTest, ASecondInstallerSaysSoAndChangesNothing) {
  const struct {
    const char* description;
    std::vector<std::string> params;
    const char* shown;
  } cases[] = {
      {kSmallDescription, {}, kAnotherRunRussian},
      {"IDF-CPS-text\r\n\r\n[Language]\r\nLanguage=English\r\n", {}, kAnotherRunEnglish},
      {nullptr, {"UNINSTALL"}, kAnotherRunRussian},
  };
  for (const auto& c : cases) {
    SetupGlobals = TSetupGlobals();
    clearedMarks_ = applicationRuns_ = unattendedRuns_ = 0;
    if (c.description) WriteDescription(c.description);
    else fs::remove(dist_.File("setup.idf"));
    platform_.Params = c.params;
    platform_.RawCommandLine = c.params.empty() ? "setup.exe" : "setup.exe " + c.params[0];
    int recoveries = 0;
    platform_.RecoverAbandonedRuns = [&recoveries](bool) { ++recoveries; };
    platform_.AcquireRunLock = [] { return false; };
    ScriptedMessages boxes;
    boxes.Expect(mb::kIdOk);
    EXPECT_EQ(RunStartup(platform_), exitcode::kFailed) << c.shown;
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, c.shown);
    EXPECT_EQ(boxes.Shown()[0].flags, mb::kIconError | mb::kTaskModal);
    EXPECT_EQ(recoveries, 0);
    EXPECT_EQ(clearedMarks_, 0);
    EXPECT_EQ(applicationRuns_ + unattendedRuns_, 0);
    EXPECT_NE(Log().find(std::string(" ") + kAnotherRunEnglish), std::string::npos);
  }
  // With the lock, the recovery runs, and before anything else changes.
  SetupGlobals = TSetupGlobals();
  WriteDescription(kSmallDescription);
  platform_.Params = {};
  platform_.RawCommandLine = "setup.exe";
  std::vector<std::string> order;
  platform_.AcquireRunLock = [&order] {
    order.push_back("lock");
    return true;
  };
  platform_.RecoverAbandonedRuns = [&order](bool) { order.push_back("recover"); };
  platform_.ClearUninstallMark = [&order] { order.push_back("clear mark"); };
  platform_.RunApplication = [&order] { order.push_back("application"); };
  EXPECT_EQ(RunStartup(platform_), exitcode::kDone);
  EXPECT_EQ(order, (std::vector<std::string>{"lock", "recover", "clear mark", "application"}));
}
