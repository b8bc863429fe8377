// What bad input and a busy machine do to an installation: the user is told, the step
// fails, and nothing is recorded that did not happen. And the pause: a paused worker does
// nothing until it is resumed.
#include <gtest/gtest.h>

#include <atomic>

#include "common/osfile.h"
#include "common/win32.h"
#include "engine/MainThread.h"
#include "engine/ProgressThread.h"
#include "engine/engine_support_win32.h"
#include "setup/ProductKeys_win32.h"
#include "setup/SetupGlobals.h"

using namespace enginetest;
using extracttest::TestEntry;

namespace {

class EngineFailures : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    Prepare();
  }
  void Prepare() {
    Describe({{1, "Base", "base.zip", ""}, {2, "Tools", "tools.zip", ""}});
    WriteArchive("base.zip", {{"readme.txt", "base readme"}});
    std::vector<TestEntry> many;
    for (int i = 0; i < 40; ++i) many.push_back({"tools/f" + std::to_string(i) + ".txt", extracttest::SampleText(70000)});
    WriteArchive("tools.zip", many);
  }
  bool Recorded() const { return ProductKeyExists(productkeys::kProduct); }
};

TEST_F(EngineFailures, BadInputIsReportedAndNothingFalseIsRecorded) {
  const struct {
    const char* name;
    std::function<void(EngineFailures&)> prepare;
    std::vector<const char*> boxes;  // the English texts expected, in order
  } cases[] = {
      {"missing archive", [](EngineFailures& f) { os::RemoveFile(f.dist + "\\tools.zip"); },
       {"the open error of archive tools.zip"}},
      {"damaged archive",
       [](EngineFailures& f) {
         TestEntry bad{"bad.txt", "stored bytes"};
         bad.ownCrc = true;
         bad.crc = 0x12345678;
         f.WriteArchive("tools.zip", {bad});
       },
       {"Invalid archive"}},
      {"install directory cannot be made",
       [](EngineFailures& f) {
         WriteFileBytes(f.root.File("blocker"), "a file where a directory should be");
         f.installDir = f.root.File("blocker\\Prod");
       },
       {"error of creation of the directory "}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CleanRegistry();
    installDir = root.File("Program Files\\Prod");
    Prepare();
    c.prepare(*this);
    SetupGlobals.IsEnglish = true;
    ScriptedMessages boxes;
    for (std::size_t i = 0; i < c.boxes.size(); ++i) boxes.Expect(mb::kIdOk);
    const RunResult r = Install();
    ASSERT_EQ(boxes.Shown().size(), c.boxes.size());
    for (std::size_t i = 0; i < c.boxes.size(); ++i) {
      EXPECT_EQ(boxes.Shown()[i].text.rfind(c.boxes[i], 0), 0u) << boxes.Shown()[i].text;
      EXPECT_EQ(boxes.Shown()[i].flags, mb::kIconError | mb::kTaskModal);
    }
    if (std::string(c.name) == "damaged archive") {
      // A bad checksum is reported while the extraction goes on; the file is not left.
      EXPECT_TRUE(r.Succeeded);
      EXPECT_FALSE(os::FileExists(Installed("bad.txt")));
    } else {
      EXPECT_FALSE(r.Succeeded);
      EXPECT_FALSE(Recorded());
      EXPECT_FALSE(os::FileExists(Installed("uninst.inf")));
    }
  }
}

TEST_F(EngineFailures, TargetHeldOpenIsAskedAboutAndAbortEndsTheRun) {
  ASSERT_TRUE(Install().Succeeded);
  // Another program holds a file of the product open, sharing nothing.
  win32::FileHandle held(CreateFileW(win32::Wide(Installed("tools\\f3.txt")).c_str(), GENERIC_READ, 0,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(held);
  productkeys::Delete(HKEY_LOCAL_MACHINE, productkeys::kProduct);
  SetupGlobals.IsEnglish = true;
  ScriptedMessages boxes;
  boxes.Expect(mb::kIdOk);  // the old file cannot be deleted with the old directory
  boxes.Expect(mb::kIdAbort);  // nor replaced by the extraction: Abort
  const RunResult r = Install();
  EXPECT_FALSE(r.Succeeded);
  EXPECT_EQ(r.Ended, TRunEnd::Aborted);
  ASSERT_EQ(boxes.Shown().size(), 2u);
  EXPECT_EQ(boxes.Shown()[0].text.rfind("Error deleting file ", 0), 0u) << boxes.Shown()[0].text;
  EXPECT_EQ(boxes.Shown()[1].text.rfind("The file " + Installed("tools\\f3.txt") + " is in use", 0), 0u)
      << boxes.Shown()[1].text;
  EXPECT_FALSE(Recorded());
  EXPECT_FALSE(os::FileExists(Installed("uninst.inf")));
}

TEST_F(EngineFailures, APausedWorkerDoesNothingUntilResumed) {
  std::atomic<int> pausedAt{0};
  std::atomic<int> lastReport{0};
  TSysTree tree;
  auto install = Tree();
  TWizardState state;
  state.Mode = smInstall;
  state.InstallDir = installDir;
  state.InstallTree = install.get();
  state.DeleteTree = &tree;
  TProgressThread thread(state, nullptr);
  thread.OnProgressReport = [&](int report) {
    lastReport = report;
    std::int32_t percent;
    std::string text;
    thread.ReadProgress(percent, text);
    // Part-way through the big archive, the Cancel question opens.
    if (pausedAt == 0 && text.find("Tools") != std::string::npos && percent >= 30 &&
        percent < 100) {
      pausedAt = report;
      thread.RequestPause();
    }
  };
  thread.Start();
  mainthread::PumpUntil([&] { return pausedAt != 0 || thread.Finished(); });
  ASSERT_NE(pausedAt, 0);
  const auto countFiles = [&] { return os::ListDirectory(Installed("tools")).size(); };
  const std::size_t filesAtPause = countFiles();
  EXPECT_GT(filesAtPause, 0u);
  EXPECT_LT(filesAtPause, 40u);
  const DWORD until = GetTickCount() + 400;
  mainthread::PumpUntil([&] { return GetTickCount() >= until; });
  EXPECT_EQ(lastReport, pausedAt);
  EXPECT_EQ(countFiles(), filesAtPause);
  EXPECT_FALSE(thread.Finished());
  thread.Resume();
  thread.WaitFor();
  EXPECT_TRUE(state.Succeeded);
  EXPECT_EQ(countFiles(), 40u);
}

}  // namespace
