// The unattended switches: how the raw command line splits, what each switch takes, and
// what start-up does with a good and a bad command line.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/testsupport.h"
#include "common/text.h"
#include "setup/SetupGlobals.h"
#include "setup/Startup.h"
#include "setup/Switches.h"

namespace fs = std::filesystem;

namespace {

using Numbers = std::vector<std::int32_t>;

TEST(Switches, RawCommandLinesSplitWithQuotesGroupingAndBackslashesPlain) {
  const struct {
    const char* raw;
    std::vector<std::string> tokens;
  } cases[] = {
      {R"("C:\dist dir\setup.exe" /S /DIR="C:\X\")", {"/S", R"(/DIR=C:\X\)"}},
      {R"(setup.exe /DIR="C:\Program Files\X" /group=Vendor)",
       {R"(/DIR=C:\Program Files\X)", "/group=Vendor"}},
      {R"(setup.exe "/DIR=C:\A B" UNINSTALL)", {R"(/DIR=C:\A B)", "UNINSTALL"}},
      {"setup.exe   C:\\tmp dir\\temp.inf  ", {"C:\\tmp", "dir\\temp.inf"}},
      {"setup.exe", {}},
      {R"("setup.exe")", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitRawCommandLine(c.raw), c.tokens) << c.raw;
}

TEST(Switches, KnownSwitchesAreTakenOutAndTheRestKeepsItsMeaning) {
  TCommandLine line = ParseCommandLine(
      R"(setup.exe uninstall /s /Dir="C:\Program Files\X\" /GROUP="A B" /level=2 /FORCE)", {});
  ASSERT_EQ(line.Error, "");
  EXPECT_EQ(line.Params, std::vector<std::string>{"uninstall"});
  const TSwitches& s = line.Switches;
  EXPECT_TRUE(s.Silent);
  EXPECT_TRUE(s.Force);
  EXPECT_EQ(s.Dir.value_or(""), R"(C:\Program Files\X\)");
  EXPECT_EQ(s.Group.value_or(""), "A B");
  EXPECT_EQ(s.Level, 2);

  line = ParseCommandLine("setup.exe /S /COMPONENTS=\"3, 1,12\"", {});
  ASSERT_EQ(line.Error, "");
  EXPECT_EQ(line.Switches.Components.value_or(Numbers{}), (Numbers{3, 1, 12}));
  line = ParseCommandLine("setup.exe /S /ADD=2 /REMOVE=4,5", {});
  ASSERT_EQ(line.Error, "");
  EXPECT_EQ(line.Switches.Add.value_or(Numbers{}), Numbers{2});
  EXPECT_EQ(line.Switches.Remove.value_or(Numbers{}), (Numbers{4, 5}));

  // Without any switch the system's own splitting stands, backslash rules and all.
  const std::vector<std::string> usual{"C:\\a \"b\\", "x"};
  EXPECT_EQ(ParseCommandLine("setup.exe \"C:\\a \\\"b\\\\\" x", usual).Params, usual);
}

TEST(Switches, MalformedCommandLinesAreRefusedWithAReason) {
  const struct {
    const char* raw;
    const char* reason;
  } cases[] = {
      {"setup.exe /S /X", "unknown switch: /X"},
      {"setup.exe /S C:\\dir\\temp.inf /QUIET", "unknown switch: /QUIET"},
      {"setup.exe /S /DIR=", "the switch /DIR needs a value: /DIR="},
      {"setup.exe /S /DIR=\"\"", "the switch /DIR needs a value: /DIR="},
      {"setup.exe /S /S", "the switch /S is given twice"},
      {"setup.exe /S=1", "the switch /S takes no value: /S=1"},
      {"setup.exe /S /COMPONENTS=1,,2",
       "the switch /COMPONENTS needs a comma list of subsystem numbers: /COMPONENTS=1,,2"},
      {"setup.exe /S /ADD=-1",
       "the switch /ADD needs a comma list of subsystem numbers: /ADD=-1"},
      {"setup.exe /S /LEVEL=3", "the switch /LEVEL takes 1 or 2: /LEVEL=3"},
      {"setup.exe /DIR=C:\\X",
       "the switches /DIR, /GROUP, /COMPONENTS, /ADD, /REMOVE, /LEVEL and /FORCE need /S"},
      {"setup.exe /S /COMPONENTS=1 /ADD=2",
       "/COMPONENTS chooses a new installation; /ADD and /REMOVE change an installed one: "
       "give one or the other"},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseCommandLine(c.raw, {}).Error, c.reason) << c.raw;
}

class StartupSwitchesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    text::SetAnsiCodePage(1251);
    SetupGlobals = TSetupGlobals();
    previousDir_ = fs::current_path();
    fs::current_path(dist_.Path());
    WriteFileBytes(dist_.File("setup.idf"), "IDF-CPS-text\r\n\r\n[Params]\r\nSystem name=X\r\n");
    platform_.GetTempDirectory = [this] { return temp_.Path() + "\\"; };
    platform_.GetCurrentDirectory = [] { return fs::current_path().string(); };
    platform_.ClearUninstallMark = [this] { ++machineChanges_; };
    platform_.RemoveContinueLink = [this] { ++machineChanges_; };
    platform_.SameTextLocale = [](const std::string& a, const std::string& b) {
      return text::SameTextAscii(a, b);
    };
    platform_.RunApplication = [this] { ++applicationRuns_; };
    platform_.RebootWindows = [this] { ++reboots_; };
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

  TempDir dist_, temp_;
  fs::path previousDir_;
  TStartupPlatform platform_;
  TSwitches seen_;
  std::vector<std::string> console_;
  int machineChanges_ = 0, applicationRuns_ = 0, unattendedRuns_ = 0, reboots_ = 0;
  int unattendedAnswer_ = exitcode::kDone;
};

TEST_F(StartupSwitchesTest, ABadCommandLineChangesNothingAndAnswersThree) {
  platform_.RawCommandLine = "setup.exe /S /COMPONENTS=1,x";
  EXPECT_EQ(RunStartup(platform_), exitcode::kBadInput);
  EXPECT_EQ(machineChanges_ + applicationRuns_ + unattendedRuns_, 0);
  ASSERT_EQ(console_.size(), 1u);
  EXPECT_EQ(console_[0],
            "setup: bad command line: the switch /COMPONENTS needs a comma list of subsystem "
            "numbers: /COMPONENTS=1,x");
  EXPECT_NE(ReadFileBytes(temp_.File("ztkinst.log")).find(" bad command line: the switch"),
            std::string::npos);
}

TEST_F(StartupSwitchesTest, UninstallWithSIsStillTheRemovalRequestAndRunsUnattended) {
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

TEST_F(StartupSwitchesTest, AnUnattendedRunNeverRestartsTheMachine) {
  platform_.RawCommandLine = "setup.exe /S";
  platform_.RunUnattended = [](const TSwitches&) {
    SetupGlobals.RebootRequired = true;
    return exitcode::kDone;
  };
  EXPECT_EQ(RunStartup(platform_), exitcode::kRestartNeeded);
  EXPECT_EQ(reboots_, 0);
}

TEST_F(StartupSwitchesTest, AMissingDescriptionAnswersThreeAlsoWithAWizard) {
  fs::remove(dist_.File("setup.idf"));
  platform_.RawCommandLine = "setup.exe /S";
  EXPECT_EQ(RunStartup(platform_), exitcode::kBadInput);
  platform_.RawCommandLine = "setup.exe";
  ScriptedMessages boxes;
  boxes.Expect(mb::kIdOk);
  EXPECT_EQ(RunStartup(platform_), exitcode::kBadInput);
  EXPECT_EQ(unattendedRuns_ + applicationRuns_, 0);
}

TEST_F(StartupSwitchesTest, AContinuationPathWithBlanksStaysAContinuationRun) {
  const std::string path = "saved state.inf";
  WriteFileBytes(dist_.File(path), "IDF-CPS-text\r\n\r\n");
  platform_.RawCommandLine = "setup.exe " + path;
  platform_.Params = SplitRawCommandLine(platform_.RawCommandLine);
  RunStartup(platform_);
  EXPECT_TRUE(SetupGlobals.ContinueAfterRestart);
  EXPECT_EQ(SetupGlobals.DescriptionFileName, path);
  EXPECT_EQ(applicationRuns_, 1);
}

}  // namespace
