// The unattended switches: how the raw command line splits and what each switch takes.
#include <gtest/gtest.h>

#include "setup/Switches.h"

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

}  // namespace
