// The uninstaller's reading of its command line and of uninst.idf.
#include <gtest/gtest.h>

#include "common/osfile.h"
#include "common/pathrules.h"
#include "common/testsupport.h"
#include "tools/ztkuinst/Uninstaller.h"

TEST(UninstallerRequest, PathsArriveWholeOrSplitAtBlanks) {
  const struct {
    std::vector<std::string> params;
    bool silent;
    const char* path;
  } cases[] = {
      {{"C:\\Program", "Files\\X", "Y\\uninst.idf"}, false, "C:\\Program Files\\X Y\\uninst.idf"},
      {{"C:\\Program Files\\X\\uninst.idf"}, false, "C:\\Program Files\\X\\uninst.idf"},
      {{"/S", "C:\\Program", "Files\\uninst.idf"}, true, "C:\\Program Files\\uninst.idf"},
      {{"/s", "", "C:\\u.idf"}, true, "C:\\u.idf"},
      // The entry's quoted form: the system hands the path over whole.
      {{"/S", "C:\\Program Files\\X  Y\\uninst.idf"}, true, "C:\\Program Files\\X  Y\\uninst.idf"},
      {{}, false, ""},
  };
  for (const auto& c : cases) {
    const uninst::TRequest r = uninst::ParseParams(c.params);
    EXPECT_EQ(r.Silent, c.silent) << c.path;
    EXPECT_EQ(r.DescriptionPath, c.path);
  }
}

TEST(UninstallerPlan, ReadsWhatTheInstallationLeft) {
  TempDir dir;
  const std::string good = dir.File("uninst.idf");
  WriteFileBytes(good,
                 "IDF-CPS-text\r\n\r\n[Uninstall]\r\nFileName=C:\\P\\EXE\\Setup.exe\r\n"
                 "ParamStr=UNINSTALL\r\n[Directories]\r\nC:\\P=\r\n");
  const std::string noParam = dir.File("noparam.idf");
  WriteFileBytes(noParam, "IDF-CPS-text\r\n\r\n[Uninstall]\r\nFileName=C:\\P\\EXE\\Setup.exe\r\n");
  const std::string noFile = dir.File("nofile.idf");
  WriteFileBytes(noFile, "IDF-CPS-text\r\n\r\n[Uninstall]\r\nParamStr=UNINSTALL\r\n");
  const std::string bad = dir.File("bad.idf");
  WriteFileBytes(bad, "not a description\r\n");

  const struct {
    std::string path;
    bool silent;
    bool ok;
    const char* arguments;
    std::size_t directories;
  } cases[] = {
      {good, false, true, "UNINSTALL", 1},
      {good, true, true, "UNINSTALL /S", 1},
      {noParam, false, true, "", 0},
      {noParam, true, true, "UNINSTALL /S", 0},
      {noFile, false, false, "", 0},
      {bad, false, false, "", 0},
      {dir.File("missing.idf"), false, false, "", 0},
      {"", true, false, "", 0},
  };
  for (const auto& c : cases) {
    uninst::TRequest request;
    request.Silent = c.silent;
    request.DescriptionPath = c.path;
    uninst::TPlan plan;
    std::string error;
    EXPECT_EQ(uninst::ReadPlan(request, plan, error), c.ok) << c.path;
    if (!c.ok) {
      EXPECT_FALSE(error.empty());
      continue;
    }
    EXPECT_EQ(plan.SetupFile, "C:\\P\\EXE\\Setup.exe");
    EXPECT_EQ(plan.Arguments, c.arguments);
    EXPECT_EQ(plan.Directories.size(), c.directories);
  }
}

TEST(UninstallerPlan, OnlyTheRecordedDirectoryAndBelowAreRemoved) {
  // Natively the paths are taken as written; on Windows the canonical form is used.
  const auto canonical = [](const std::string& p) { return pathrules::NormalizeFullPath(p); };
  const auto refused = [](const std::string& p) { return pathrules::IsSameOrBelow("C:\\Windows", p); };
  std::vector<std::string> logged;
  const auto log = [&](const std::string& line) { logged.push_back(line); };
  const std::vector<std::string> listed = {
      "C:\\Prod",           "C:\\Prod\\USER",   "c:\\prod\\data\\", "C:\\Prod\\..\\Windows",
      "C:\\Windows",        "C:\\",             "C:\\ProdX",        "D:\\Prod",
      "",                   "Prod",             "\\\\?\\C:\\Prod\\EXE"};
  EXPECT_EQ(uninst::RemovableDirectories(listed, "C:\\Prod\\", canonical, refused, log),
            (std::vector<std::string>{"C:\\Prod", "C:\\Prod\\USER", "C:\\prod\\data", "C:\\Prod\\EXE"}));
  EXPECT_EQ(logged.size(), 7u);

  // A record that names a root, the system's directory or nothing gives nothing.
  for (const char* recorded : {"C:\\", "C:\\Windows", "C:\\Windows\\..", "", "relative"}) {
    logged.clear();
    EXPECT_TRUE(uninst::RemovableDirectories(listed, recorded, canonical, refused, log).empty()) << recorded;
    EXPECT_EQ(logged.size(), 1u) << recorded;
  }
}
