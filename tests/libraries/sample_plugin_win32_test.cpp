// The SDK's sample plug-in in the sample distribution, installed and removed by the engine
// under Wine: its configuration file, its question at level 2, and the user's cancel.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "common/osfile.h"
#include "common/text.h"
#include "common/win32.h"
#include "description/InstList.h"
#include "engine/MainThread.h"
#include "engine/ProgressThread.h"
#include "engine/engine_support_win32.h"
#include "setup/SetupGlobals.h"

using namespace enginetest;

namespace {

std::string SamplesDir() {
  std::string path = SETUP_SAMPLES_DIR;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return "Z:" + path;
}

class SamplePlugin : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    previousCodePage = text::AnsiCodePage();
    text::SetAnsiCodePage(1251);  // the sample's description is written in it
    // The description, the licence and every archive of the sample.
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(win32::Wide(SamplesDir() + "\\*").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    do {
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      const std::string name = win32::Narrow(found.cFileName);
      EXPECT_TRUE(CopyFileW(win32::Wide(SamplesDir() + "\\" + name).c_str(),
                            win32::Wide(dist + "\\" + name).c_str(), FALSE)) << name;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    ASSERT_TRUE(CopyFileW(win32::Wide(TestProgramDirectory() + "\\sample_plugin.dll").c_str(),
                          win32::Wide(dist + "\\sample_plugin.dll").c_str(), FALSE));
    ASSERT_TRUE(description.LoadFromFile(dist + "\\setup.idf"));
  }
  void TearDown() override {
    text::SetAnsiCodePage(previousCodePage);
    EngineFixture::TearDown();
  }
  RunResult RunLevel(SetupMode mode, TSysTree* install, TSysTree* remove, int level,
                     std::function<void(TProgressThread&, int)> onReport = nullptr) {
    questionsLevel = level;
    return Run(mode, install, remove, std::move(onReport));
  }
  std::string Config() const { return ReadFileBytes(Installed("sample_plugin.ini")); }
  int previousCodePage = 0;
};

TEST_F(SamplePlugin, InstallsItsConfigurationAndRemovesItAgain) {
  ScriptedMessages none;
  auto tree = Tree();
  ASSERT_EQ(tree->ChildCount(), 3);  // Core (with the plug-in), Docs, the hidden runtime
  ASSERT_TRUE(RunLevel(smInstall, tree.get(), nullptr, 1).Succeeded);
  // Level 1 asks nothing: the greeting is the subsystem's parameter, in the ANSI code page.
  EXPECT_EQ(Config(), "[Sample]\r\nSubsystem=" + text::FromUtf8("Ядро", 1251) +
                          "\r\nGreeting=" + text::FromUtf8("Здравствуйте", 1251) +
                          "\r\nPath=" + installDir + "\r\n");
  EXPECT_TRUE(os::FileExists(Installed("bin\\qvdemo.bat")));
  bool logged = false;
  for (const std::string& line : LogLines()) {
    logged = logged || line.find(" sample plug-in: configuration written to ") == 0;
  }
  EXPECT_TRUE(logged);

  ASSERT_TRUE(RunLevel(smUninstall, nullptr, Tree().get(), 1).Succeeded);
  EXPECT_FALSE(os::DirectoryExists(installDir));
}

TEST_F(SamplePlugin, AsksForTheGreetingAtLevelTwoOnly) {
  // The person at the dialog: types a greeting and presses OK.
  std::atomic<bool> stop{false}, answered{false};
  std::thread person([&] {
    while (!stop && !answered) {
      // Visible only after its initialisation, which fills in the default greeting.
      HWND dialog = FindWindowW(nullptr, L"Sample plug-in");
      if (dialog && IsWindowVisible(dialog)) {
        SetDlgItemTextW(dialog, 100, L"Hi there");
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        answered = true;
      }
      Sleep(10);
    }
  });
  ScriptedMessages none;
  auto tree = Tree({1});
  const bool succeeded = RunLevel(smInstall, tree.get(), nullptr, 2).Succeeded;
  stop = true;
  person.join();
  ASSERT_TRUE(succeeded);
  EXPECT_TRUE(answered);
  EXPECT_NE(Config().find("\r\nGreeting=Hi there\r\n"), std::string::npos) << Config();
}

TEST_F(SamplePlugin, StopsWhenTheUserCancels) {
  ScriptedMessages none;
  auto tree = Tree({1});
  const RunResult r = RunLevel(smInstall, tree.get(), nullptr, 1, [](TProgressThread& t, int) {
    std::int32_t percent;
    std::string text;
    t.ReadProgress(percent, text);
    if (text.find("Sample plug-in") == 0 && percent > 0) t.Terminate();
  });
  EXPECT_FALSE(r.Succeeded);
  // The plug-in stopped at the answer, before it wrote its configuration ...
  bool cancelled = false, written = false;
  for (const std::string& line : LogLines()) {
    cancelled = cancelled || line == " sample plug-in: cancelled by the user";
    written = written || line.find(" sample plug-in: configuration written to ") == 0;
  }
  EXPECT_TRUE(cancelled);
  EXPECT_FALSE(written);
  // ... and the cancelled installation was undone, the core's files with it.
  EXPECT_FALSE(os::FileExists(Installed("bin\\qvdemo.bat")));
  EXPECT_FALSE(os::FileExists(Installed("sample_plugin.ini")));
}

}  // namespace
