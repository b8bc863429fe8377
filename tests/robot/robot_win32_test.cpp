// The robot's runs: setup.exe in a copy of the demonstration distribution, worked through its
// windows as a person would, and the machine checked after each run.
#include <windows.h>

#include <objbase.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/process_win32.h"
#include "common/testsupport.h"
#include "common/text.h"
#include "robot/robot_scenarios_win32.h"
#include "unzip/extract_test_support.h"

namespace {

using Steps = std::vector<std::string>;

// The engine's steps of each kind of run, as the log brackets them ("+" entry, "-" exit).
// An installation, full or custom: the core's plug-in is loaded, set, asked and performed.
const Steps kInstall = {
    "+PREPAREINSTALL", "-PREPAREINSTALL", "+EXTERNALPERFORM", "+INSTALL", "+SEARCHFILES", "-SEARCHFILES",
    "+MAKEDIRSTRUCT", "-MAKEDIRSTRUCT", "+EXTRACTCOMPONENTSFILES", "-EXTRACTCOMPONENTFILES", "+WRITEREG",
    "-WRITEREG", "+REGISTERCOMPONENTPATH", "-REGISTERCOMPONENTPATH", "+INSTALLCONTINUE", "+PROCDLLS",
    "+LoadDlls", "-LoadDlls", "+SETALL", "+SETPARAMS", "-SETPARAMS", "-SETALL", "+ASKALL", "-ASKALL",
    "+PERFORMALL", "-PERFORMALL", "+UNLOADDLLS", "-UNLOADDLLS", "+DELNOTSETSYSTEMS", "-DELNOTSETSYSTEMS",
    "-PROCDLLS", "+REGISTERCOMP", "-REGISTERCOMP", "+MAKEPRGGRPHOLDER", "-MAKEPRGGRPHOLDER", "+UNINSTALLCOPY",
    "-UNINSTALLCOPY", "-INSTALLCONTINUE", "-INSTALL", "-EXTERNALPERFORM",
};
// Add/delete: the clean-up after the library step of the additions removes the subsystems
// to be removed; the second removal pass then has nothing left to do.
const Steps kAddDelete = {
    "+PREPAREINSTALL", "-PREPAREINSTALL", "+EXTERNALPERFORM", "+ADDCOMP", "+FINDREQFILES", "-FINDREQFILES",
    "+EXTRACTCOMPONENTSFILES", "-EXTRACTCOMPONENTFILES", "+PROCDLLS", "+LoadDlls", "-LoadDlls", "+SETALL",
    "-SETALL", "+ASKALL", "-ASKALL", "+PERFORMALL", "-PERFORMALL", "+UNLOADDLLS", "-UNLOADDLLS",
    "+DELNOTSETSYSTEMS", "+DELCOMP", "+PROCDLLS", "+LoadDlls", "-LoadDlls", "+SETALL", "-SETALL", "+ASKALL",
    "-ASKALL", "+PERFORMALL", "-PERFORMALL", "+UNLOADDLLS", "-UNLOADDLLS", "-PROCDLLS", "+DELCOMPFILES",
    "-DELCOMPFILES", "+ADDDELREGCOMP", "-ADDDELREGCOMP", "+DELPRGGRPHOLDER", "-DELPRGGRPHOLDER", "-DELCOMP",
    "-DELNOTSETSYSTEMS", "-PROCDLLS", "+ADDDELREGCOMP", "-ADDDELREGCOMP", "+MAKEPRGGRPHOLDER",
    "-MAKEPRGGRPHOLDER", "-ADDCOMP", "+DELCOMP", "-DELCOMP", "-EXTERNALPERFORM",
};
const Steps kUninstall = {
    "+EXTERNALPERFORM", "+UNINSTALL", "+PROCDLLS", "+LoadDlls", "-LoadDlls", "+SETALL", "-SETALL", "+ASKALL",
    "-ASKALL", "+PERFORMALL", "-PERFORMALL", "+UNLOADDLLS", "-UNLOADDLLS", "-PROCDLLS", "+DELPATH",
    "-DELPATH", "-UNINSTALL", "-EXTERNALPERFORM",
};
// Cancelled in the extraction: no exit line for it, nothing after it.
const Steps kCancelled = {
    "+PREPAREINSTALL", "-PREPAREINSTALL", "+EXTERNALPERFORM", "+INSTALL", "+SEARCHFILES", "-SEARCHFILES",
    "+MAKEDIRSTRUCT", "-MAKEDIRSTRUCT", "+EXTRACTCOMPONENTSFILES", "-INSTALL", "-EXTERNALPERFORM",
};

std::string Joined(const Steps& steps) {
  std::string s;
  for (const std::string& step : steps) s += step + " ";
  return s;
}

class Robot : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(GetACP(), 1251u) << "the robot runs the Russian distribution under the Russian code page "
                                  "(LC_ALL=ru_RU.UTF-8, see scripts/deps.sh)";
    text::SetAnsiCodePage(static_cast<int>(GetACP()));
    CoInitialize(nullptr);
    setting_.Dist = root_.File("dist");
    setting_.Sources = proctest::WindowsPath(ROBOT_SAMPLES "/source");
    setting_.InstallDir = root_.File("Программы\\Кворвален Демо");
    setting_.Group = "Кворвален Робот";
    robot::MakeDistribution(proctest::WindowsPath(ROBOT_SAMPLES), setting_.Dist,
                            {proctest::WindowsPath(SETUP_EXE), proctest::WindowsPath(ZTKUINST_EXE),
                             proctest::WindowsPath(SAMPLE_PLUGIN_DLL)});
    robot::CleanMachine(setting_);
  }
  void TearDown() override {
    robot::CleanMachine(setting_);
    CoUninitialize();
  }

  // Runs `run` and answers the steps the log brackets during it.
  template <typename Run>
  Steps Logged(Run run) {
    const size_t before = robot::LogSize();
    try {
      run();
    } catch (const robot::Failure& failure) {
      ADD_FAILURE() << failure.what();
    }
    return robot::LogSteps(robot::LogSince(before));
  }

  void ExpectInstalled(const std::set<int>& subsystems, bool setupType1 = false, const std::set<int>& links = {}) {
    for (const std::string& problem : robot::CheckInstalled(setting_, subsystems, setupType1, links)) {
      ADD_FAILURE() << problem;
    }
  }
  void ExpectSteps(const Steps& actual, const Steps& expected) {
    EXPECT_EQ(Joined(actual), Joined(expected));
  }

  TempDir root_;
  robot::TSetting setting_;
};

TEST_F(Robot, FreshFullInstallation) {
  ExpectSteps(Logged([&] { robot::InstallRun(setting_); }), kInstall);
  ExpectInstalled({1, 2, 3, 4, 5, 6});
}

TEST_F(Robot, CustomInstallationThenAddDeleteThenRemovalThroughTheUninstallEntry) {
  // Unticking the documentation unticks the examples, which depend on it.
  ExpectSteps(Logged([&] { robot::InstallRun(setting_, {"Документация"}); }), kInstall);
  ExpectInstalled({1, 4, 5, 6});

  // The documentation added, the tools removed: help.zip, which both have, stays, and so
  // does the hidden runtime, the tools' parent, which the core needs.
  ExpectSteps(Logged([&] { robot::AddDeleteRun(setting_, {"Документация"}, {"Утилиты"}); }), kAddDelete);
  ExpectInstalled({1, 2, 5, 6});

  ExpectSteps(Logged([&] { robot::UninstallThroughEntry(setting_); }), kUninstall);
  for (const std::string& problem : robot::CheckRemoved(setting_, true)) ADD_FAILURE() << problem;
}

TEST_F(Robot, CancelDuringExtractionLeavesNothingThenAFreshInstallationSucceeds) {
  // A bulky archive of the core makes the extraction last long enough for a person to see it
  // and cancel it: many small files, each a report at which the engine stops.
  std::vector<extracttest::TestEntry> bulk;
  for (int i = 0; i < 1500; ++i) {
    bulk.push_back({"bulk/file" + std::to_string(i) + ".dat", extracttest::SampleText(4096)});
  }
  WriteFileBytes(setting_.Dist + "\\bulk.zip", extracttest::BuildZip(bulk));
  robot::SetDescriptionLine(setting_.Dist, "Archive=core.zip", "Archive=core.zip, bulk.zip");
  const Steps cancelled = Logged([&] { robot::CancelDuringExtraction(setting_); });
  ExpectSteps(cancelled, kCancelled);
  for (const std::string& problem : robot::CheckRemoved(setting_, false)) ADD_FAILURE() << problem;

  robot::SetDescriptionLine(setting_.Dist, "Archive=core.zip", "Archive=core.zip");
  ExpectSteps(Logged([&] { robot::InstallRun(setting_); }), kInstall);
  ExpectInstalled({1, 2, 3, 4, 5, 6});
}

TEST_F(Robot, TheBadArchiveBoxShowsAboveTheProgressWindow) {
  extracttest::TestEntry bad{"bad/broken.txt", "these bytes do not match their checksum"};
  bad.ownCrc = true;
  bad.crc = extracttest::CrcOf(bad.data) ^ 1u;
  WriteFileBytes(setting_.Dist + "\\bad.zip", extracttest::BuildZip({bad}));
  robot::SetDescriptionLine(setting_.Dist, "Archive=core.zip", "Archive=core.zip, bad.zip");
  Logged([&] { robot::BadArchiveRun(setting_); });
}

TEST_F(Robot, KeysAloneLeaveTheWizardAndInstall) {
  // Esc is Exit, with its log line; nothing is installed.
  const size_t before = robot::LogSize();
  try {
    robot::LeaveByEsc(setting_);
  } catch (const robot::Failure& failure) {
    ADD_FAILURE() << failure.what();
  }
  EXPECT_NE(robot::LogSince(before).find(" the process is aborted by user"), std::string::npos);
  for (const std::string& problem : robot::CheckRemoved(setting_, false)) ADD_FAILURE() << problem;

  // Tab, Enter, the arrows, Space and the buttons' letters alone: a custom installation
  // without the documentation (and the examples, which depend on it).
  ExpectSteps(Logged([&] { robot::InstallByKeys(setting_, {"Документация"}); }), kInstall);
  ExpectInstalled({1, 4, 5, 6});
}

TEST_F(Robot, SecondInstallationWithSetupType1StartsOverTheFirst) {
  ExpectSteps(Logged([&] { robot::InstallRun(setting_); }), kInstall);
  ExpectInstalled({1, 2, 3, 4, 5, 6});

  // The same product found again with "SetupType" 1 is installed anew into the same
  // directory and group, which the person confirms; the documentation and examples left out
  // this time are gone from the files and the registry. Their links stay in the group: the
  // new installation only adds links (the group "will be changed", its question says).
  robot::SetDescriptionLine(setting_.Dist, "SetupType=", "SetupType=1");
  ExpectSteps(Logged([&] { robot::InstallRun(setting_, {"Документация"}, true); }), kInstall);
  ExpectInstalled({1, 4, 5, 6}, true, {1, 2, 3, 4, 5, 6});
}

}  // namespace
