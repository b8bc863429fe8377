// The library step under Wine with real LoadLibrary: fixture plug-ins, scripted through
// their parameter strings, record every call they receive; the tests read the record and
// what the step left on disk.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <sstream>

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

struct Sub {
  int Number;
  std::string ShortName;
  std::string Library;
  std::string Parameter;
  int Parent = 0;
};

class Libraries : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    record = root.File("calls.txt");
    SetEnvironmentVariableW(L"ZTK_FIXTURE_RECORD", win32::Wide(record).c_str());
    previousCodePage = text::AnsiCodePage();
    text::SetAnsiCodePage(1251);
  }
  void TearDown() override {
    text::SetAnsiCodePage(previousCodePage);
    SetEnvironmentVariableW(L"ZTK_FIXTURE_RECORD", nullptr);
    EngineFixture::TearDown();
  }

  // Every subsystem gets an archive of its own with one file, "<name>.txt".
  void DescribeSubs(const std::vector<Sub>& subs) {
    description.ClearSections();
    TIDFSection* list = description.AddSection("SubSystems");
    for (const Sub& s : subs) {
      const std::string section = "Sub" + std::to_string(s.Number);
      list->AddParam(section)->SetAsInteger(s.Number);
      TIDFSection* own = description.AddSection(section);
      own->AddParam("Short name")->SetAsString(s.ShortName);
      own->AddParam("Full name")->SetAsString(s.ShortName);
      own->AddParam("Archive")->SetAsString(s.ShortName + ".zip");
      if (s.Parent) own->AddParam("Parent")->SetAsInteger(s.Parent);
      if (!s.Library.empty()) own->AddParam("Library")->SetAsString(s.Library);
      if (!s.Parameter.empty()) own->AddParam("Parameter")->SetAsString(s.Parameter);
      WriteArchive(s.ShortName + ".zip", {{s.ShortName + ".txt", s.ShortName}});
    }
    ASSERT_TRUE(description.SaveToFile(dist + "\\setup.idf"));
  }
  // A copy of a fixture library under another name, in the distribution directory.
  void Place(const std::string& kind, const std::string& as) {
    ASSERT_TRUE(CopyFileW(win32::Wide(TestProgramDirectory() + "\\fixture_" + kind + ".dll").c_str(),
                          win32::Wide(dist + "\\" + as).c_str(), FALSE));
  }
  std::vector<std::string> Calls(bool withThreads = false) const {
    std::vector<std::string> lines;
    std::istringstream in(ReadFileBytes(record));
    for (std::string line; std::getline(in, line);) {
      const auto thread = line.find(" thread=");
      if (!withThreads && thread != std::string::npos) line.erase(thread);
      lines.push_back(line);
    }
    return lines;
  }
  bool Called(const std::string& line) const {
    for (const std::string& l : Calls()) {
      if (l == line) return true;
    }
    return false;
  }
  bool Logged(const std::string& text) const {
    for (const std::string& l : LogLines()) {
      if (l.find(text) != std::string::npos) return true;
    }
    return false;
  }
  RunResult RunWith(SetupMode mode, TSysTree* install, TSysTree* remove, int level = 2,
                    std::function<void(TProgressThread&, int)> onReport = nullptr) {
    questionsLevel = level;
    return Run(mode, install, remove, std::move(onReport));
  }

  std::string record;
  int previousCodePage = 0;
};

std::vector<std::string> SetPhase(const std::string& dll, const std::string& tree,
                                  const std::string& parameter, const std::string& ansiPath) {
  return {dll + ":SetLogCallBack",        dll + ":SetTreePointer " + tree,
          dll + ":SetExternalParameter " + parameter,
          dll + ":SetIUGRegim 1",         dll + ":SetQuestionsLevel 2",
          dll + ":SetPath " + ansiPath,   dll + ":SetClientNumber 0",
          dll + ":SetProgressCallBack",   dll + ":SetSessionName []",
          dll + ":SetHideProgressCallBack", dll + ":SetShowProgressCallBack"};
}

TEST_F(Libraries, EveryLibraryIsSetThenAskedOnTheMainThreadThenPerformedOnTheWorker) {
  installDir = root.File("Установка\\Prod");
  DescribeSubs({{1, "Alpha", "plugA.dll", "p=a"},
                {2, "Plain", "", ""},
                {3, "Beta", "plugB.dll", "p=b;hide=1"},
                {4, "Gamma", "plugC.dll", "p=c"},
                {5, "Child", "", "", 1}});
  Place("full", "plugA.dll");
  Place("full", "plugB.dll");
  // plugC.dll comes with the product, into its SYSTEM directory, found through the Path.
  std::string gamma = ReadFileBytes(TestProgramDirectory() + "\\fixture_full.dll");
  WriteArchive("Gamma.zip", {{"Gamma.txt", "Gamma"}, {"SYSTEM/plugC.dll", gamma}});
  auto tree = Tree();
  const auto image = [&](int index, const std::string& library, const std::string& parameter,
                         int children) {
    const TSysNode* node = tree->Children(index);
    return "size=" + std::to_string(node->GetRecordSize()) + " selected=0 library=" + library +
           " parameter=" + parameter + " name=" + node->Info.ShortName +
           " children=" + std::to_string(children);
  };
  const std::string trees[] = {image(0, "plugA.dll", "p=a", 1), image(2, "plugB.dll", "p=b;hide=1", 0),
                               image(3, "plugC.dll", "p=c", 0)};
  ASSERT_TRUE(RunWith(smInstall, tree.get(), nullptr).Succeeded);

  const std::string ansiPath = text::FromUtf8(installDir, 1251);
  ASSERT_NE(ansiPath, installDir);
  std::vector<std::string> expected;
  for (const auto& lines : {SetPhase("plugA.dll", trees[0], "p=a", ansiPath),
                            SetPhase("plugB.dll", trees[1], "p=b;hide=1", ansiPath),
                            SetPhase("plugC.dll", trees[2], "p=c", ansiPath)}) {
    expected.insert(expected.end(), lines.begin(), lines.end());
  }
  for (const char* phase : {"AskQuestions", "Perform", "Unload"}) {
    for (const char* dll : {"plugA.dll", "plugB.dll", "plugC.dll"}) {
      expected.push_back(std::string(dll) + ":" + phase);
    }
  }
  EXPECT_EQ(Calls(), expected);

  const std::string mainThread = " thread=" + std::to_string(GetCurrentThreadId());
  for (const std::string& line : Calls(true)) {
    if (line.find(":AskQuestions") != std::string::npos) {
      EXPECT_NE(line.find(mainThread), std::string::npos) << line;
    }
    if (line.find(":Perform") != std::string::npos) {
      EXPECT_EQ(line.find(mainThread), std::string::npos) << line;
    }
  }
  // The child was handed over done and the library left it so in its block.
  for (const char* sub : {"Alpha", "Plain", "Beta", "Gamma", "Child"}) {
    EXPECT_TRUE(os::FileExists(Installed(std::string(sub) + ".txt"))) << sub;
  }
  for (int i = 0; i < tree->ChildCount(); ++i) EXPECT_TRUE(tree->Children(i)->Info.Selected) << i;
  EXPECT_TRUE(Logged(" setup: library plugA.dll loaded successful"));
  EXPECT_TRUE(Logged(" setup: Perform = TRUE  :Gamma"));
  EXPECT_TRUE(Logged(" hide progress"));
}

TEST_F(Libraries, LibrariesWithFewOrNoExportsAndOnesThatCannotBeLoaded) {
  DescribeSubs({{1, "Alpha", "minimal.dll", "p=a"}, {2, "Beta", "none.dll", ""}, {3, "Plain", "", ""}});
  Place("minimal", "minimal.dll");
  Place("none", "none.dll");
  ASSERT_TRUE(RunWith(smInstall, Tree().get(), nullptr).Succeeded);
  EXPECT_EQ(Calls(), (std::vector<std::string>{"minimal.dll:AskQuestions", "minimal.dll:Perform",
                                               "minimal.dll:Unload", "none.dll:Unload"}));
  // Without AskQuestions a subsystem is never done, and is taken out again.
  EXPECT_TRUE(os::FileExists(Installed("Alpha.txt")));
  EXPECT_FALSE(os::FileExists(Installed("Beta.txt")));
  EXPECT_TRUE(os::FileExists(Installed("Plain.txt")));

  for (const char* name : {"missing.dll", "broken.dll"}) {
    SCOPED_TRACE(name);
    CleanRegistry();
    DeleteFileW(win32::Wide(record).c_str());
    WriteFileBytes(dist + "\\broken.dll", "MZ but not a library");
    DescribeSubs({{1, "Plain", "", ""}, {2, "Alpha", name, ""}, {3, "Beta", "minimal.dll", ""}});
    SetupGlobals.IsEnglish = true;
    ScriptedMessages boxes;
    boxes.Expect(mb::kIdOk);
    EXPECT_FALSE(RunWith(smInstall, Tree().get(), nullptr).Succeeded);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, std::string("not load lybrary  ") + name + ".Installation will be aborted");
    EXPECT_EQ(boxes.Shown()[0].flags, mb::kIconError | mb::kTaskModal);
    // A fresh installation whose libraries failed is rolled back; the library after the
    // failing one was never loaded.
    EXPECT_FALSE(os::FileExists(Installed("Plain.txt")));
    EXPECT_FALSE(os::DirectoryExists(installDir));
    EXPECT_EQ(Calls(), std::vector<std::string>{});
  }
}

TEST_F(Libraries, AnswersAndAbortQuestionsDecideWhatStaysInstalled) {
  const int Yes = mb::kIdYes, No = mb::kIdNo;
  const std::string tail = " was not installated.\r\nTo abort installation?";
  const struct {
    const char* parameter;
    std::vector<std::pair<std::string, int>> boxes;  // English text, answer
    bool succeeded, alphaKept, aborted;
  } cases[] = {
      {"ask=1", {}, true, true, false},
      {"ask=0", {{"subsystem Alpha" + tail, No}}, true, false, false},
      {"ask=0", {{"subsystem Alpha" + tail, Yes}}, false, false, false},
      {"ask=2", {}, false, false, false},
      {"ask=7", {}, true, false, false},
      {"perform=0", {{"subsystem Alpha" + tail, No}}, true, false, false},
      {"perform=0", {{"subsystem Alpha" + tail, Yes}}, false, false, true},
      {"perform=2", {}, false, false, true},
      {"perform=5", {}, true, false, false},
      {"set=0", {{"Invalid parameter. Subsystem Sub1does not installing", 1}, {"To abort installation?", No}},
       true, false, false},
      {"regim=0",
       {{"library plug10.dll do not have install regim.\r\nSubsystem Sub1 not will be installed", 1},
        {"To abort installation?", Yes}},
       false, false, false},
      {"tree=0", {{"error of transmission of tree of subsystems", 1}, {"To abort installation?", No}},
       true, false, false},
      // An exception that leaves the library is its answer 0; one it handles is its own.
      {"crash=Perform", {{"subsystem Alpha" + tail, No}}, true, false, false},
      {"crash=AskQuestions", {{"subsystem Alpha" + tail, Yes}}, false, false, false},
      {"crash=SetExternalParameter",
       {{"Invalid parameter. Subsystem Sub1does not installing", 1}, {"To abort installation?", No}},
       true, false, false},
      {"catch=Perform", {}, true, true, false},
      {"catch=AskQuestions", {}, true, true, false},
  };
  int index = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.parameter) + (c.boxes.empty() ? "" : " answered " + std::to_string(c.boxes.back().second)));
    CleanRegistry();
    ClearLog();
    DeleteFileW(win32::Wide(record).c_str());
    // A library of its own for each case: one that crashed stays loaded.
    const std::string dll = "plug" + std::to_string(index++) + ".dll";
    Place("full", dll);
    DescribeSubs({{1, "Alpha", dll, c.parameter}, {2, "Plain", "", ""}});
    SetupGlobals.IsEnglish = true;
    ScriptedMessages boxes;
    for (const auto& box : c.boxes) boxes.Expect(box.second);
    EXPECT_EQ(RunWith(smInstall, Tree().get(), nullptr).Succeeded, c.succeeded);
    ASSERT_EQ(boxes.Shown().size(), c.boxes.size());
    for (std::size_t i = 0; i < c.boxes.size(); ++i) EXPECT_EQ(boxes.Shown()[i].text, c.boxes[i].first);
    EXPECT_EQ(os::FileExists(Installed("Alpha.txt")), c.alphaKept);
    // Plain stays with a successful run; a failed fresh installation is rolled back whole.
    EXPECT_EQ(os::FileExists(Installed("Plain.txt")), c.succeeded);
    EXPECT_EQ(Called(dll + ":UserAbort"), c.aborted);
    const bool crashed = std::string(c.parameter).rfind("crash=", 0) == 0;
    EXPECT_EQ(Logged("raised exception 0xC0000005"), crashed);
    if (crashed) {
      // Not called again: not even unloaded.
      EXPECT_FALSE(Called(dll + ":Unload"));
    }
    if (std::string(c.parameter).rfind("catch=", 0) == 0) {
      const std::string where = std::string(c.parameter).substr(6);
      EXPECT_TRUE(Called(dll + ":" + where + " caught handled inside the library"));
    }
  }
}

TEST_F(Libraries, CancellingWhileALibraryPerformsAbortsTheLibraries) {
  DescribeSubs({{1, "Alpha", "plugA.dll", "steps=100"}, {2, "Plain", "", ""}});
  Place("full", "plugA.dll");
  bool askingSeen = true;
  const RunResult r = RunWith(smInstall, Tree().get(), nullptr, 2, [&](TProgressThread& t, int) {
    std::int32_t percent;
    std::string text;
    t.ReadProgress(percent, text);
    if (text == "performing") {
      askingSeen = askingSeen && t.IsAsking();
      if (percent >= 10) t.Terminate();
    }
  });
  EXPECT_FALSE(r.Succeeded);
  EXPECT_FALSE(askingSeen);
  const auto calls = Calls();
  ASSERT_GE(calls.size(), 3u);
  EXPECT_TRUE(Called("plugA.dll:Perform progress answered false at 10"));
  EXPECT_EQ(calls[calls.size() - 2], "plugA.dll:UserAbort");
  EXPECT_EQ(calls.back(), "plugA.dll:Unload");
}

TEST_F(Libraries, TheCancelQuestionDuringTheQuestionsSuspendsOnlyTheLibraries) {
  DescribeSubs({{1, "Alpha", "plugA.dll", "askprogress=1"}, {2, "Beta", "plugB.dll", ""}});
  Place("full", "plugA.dll");
  Place("full", "plugB.dll");
  bool asking = false, asked = false;
  const RunResult r = RunWith(smInstall, Tree().get(), nullptr, 2, [&](TProgressThread& t, int) {
    std::int32_t percent;
    std::string text;
    t.ReadProgress(percent, text);
    if (text == "asking" && !asked) {
      asked = true;
      // What the progress window's Cancel handler does while a library asks: it suspends
      // the libraries, asks, and lets them go on; the worker is not paused.
      asking = t.IsAsking();
      t.SuspendLibraries();
      t.ResumeLibraries();
    }
  });
  EXPECT_TRUE(r.Succeeded);
  EXPECT_TRUE(asking);
  std::vector<std::string> calls = Calls();
  std::vector<std::string> ask;
  for (const std::string& l : calls) {
    if (l.find(":Set") == std::string::npos) ask.push_back(l);
  }
  EXPECT_EQ(ask, (std::vector<std::string>{"plugA.dll:AskQuestions", "plugA.dll:UserSuspendThread",
                                           "plugB.dll:UserSuspendThread", "plugA.dll:UserResumeThread",
                                           "plugB.dll:UserResumeThread", "plugA.dll:AskQuestions progress 1",
                                           "plugB.dll:AskQuestions", "plugA.dll:Perform", "plugB.dll:Perform",
                                           "plugA.dll:Unload", "plugB.dll:Unload"}));
}

TEST_F(Libraries, UninstallGoesOnWithoutALibraryThatWasDeleted) {
  DescribeSubs({{1, "Alpha", "plugA.dll", ""}, {2, "Plain", "", ""}});
  Place("full", "plugA.dll");
  ASSERT_TRUE(RunWith(smInstall, Tree().get(), nullptr).Succeeded);
  ASSERT_TRUE(os::FileExists(Installed("Alpha.txt")));
  DeleteFileW(win32::Wide(dist + "\\plugA.dll").c_str());
  DeleteFileW(win32::Wide(record).c_str());
  ClearLog();
  ScriptedMessages none;
  EXPECT_TRUE(RunWith(smUninstall, nullptr, Tree().get()).Succeeded);
  EXPECT_FALSE(os::DirectoryExists(installDir));
  EXPECT_TRUE(Logged("library plugA.dll not found; subsystem Alpha is removed without it"));

  // A library file that is there but cannot be loaded still stops the removal.
  DescribeSubs({{1, "Alpha", "broken.dll", ""}, {2, "Plain", "", ""}});
  WriteFileBytes(dist + "\\broken.dll", "MZ but not a library");
  SetupGlobals.IsEnglish = true;
  ScriptedMessages boxes;
  boxes.Expect(mb::kIdOk);
  EXPECT_FALSE(RunWith(smUninstall, nullptr, Tree().get()).Succeeded);
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_EQ(boxes.Shown()[0].text, "not load lybrary  broken.dll.Unnstallation will be aborted");
}

TEST_F(Libraries, MarksALibraryLeavesInItsTreeBlockAreReadBack) {
  const struct {
    const char* parameter;
    bool childSelected;
  } cases[] = {
      // A sub-subsystem starts done: a library that leaves it alone keeps it installed, one
      // that clears it has it removed; a damaged block changes nothing.
      {"", true},
      {"mark=1", true},
      {"mark=0", false},
      {"mark=0;damage=1", true},
  };
  Place("full", "plugA.dll");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.parameter);
    CleanRegistry();
    DescribeSubs({{1, "Alpha", "plugA.dll", c.parameter}, {2, "Child", "", "", 1}});
    auto tree = Tree();
    RunWith(smInstall, tree.get(), nullptr);
    ASSERT_EQ(tree->ChildCount(), 1);
    ASSERT_EQ(tree->Children(0)->ChildCount(), 1);
    EXPECT_TRUE(tree->Children(0)->Info.Selected);
    EXPECT_EQ(tree->Children(0)->Children(0)->Info.Selected, c.childSelected);
  }
}

TEST_F(Libraries, APathTheAnsiCodePageCannotHoldFailsTheLibrary) {
  installDir = root.File("Prod \xce\xa9");  // a Greek letter: not in code page 1251
  DescribeSubs({{1, "Alpha", "plugA.dll", ""}, {2, "Plain", "", ""}});
  Place("full", "plugA.dll");
  SetupGlobals.IsEnglish = true;
  ScriptedMessages boxes;
  boxes.Expect(mb::kIdNo);
  EXPECT_TRUE(RunWith(smInstall, Tree().get(), nullptr).Succeeded);
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_EQ(boxes.Shown()[0].text, "To abort installation?");
  EXPECT_TRUE(Logged("cannot be given to library plugA.dll in the ANSI code page"));
  EXPECT_FALSE(Called("plugA.dll:SetPath"));
  EXPECT_FALSE(os::FileExists(Installed("Alpha.txt")));
}

// A library is loaded from the distribution or the product's own directories, or by the
// full path the description gives; never from the Path nor from outside by climbing up.
TEST_F(Libraries, ALibraryIsFoundOnlyWhereTheProductKeepsIt) {
  const std::string elsewhere = root.File("elsewhere");
  ASSERT_TRUE(os::CreateDirectories(elsewhere));
  ASSERT_TRUE(CopyFileW(win32::Wide(TestProgramDirectory() + "\\fixture_full.dll").c_str(),
                        win32::Wide(elsewhere + "\\onpath.dll").c_str(), FALSE));
  std::wstring path(32768, L'\0');
  path.resize(GetEnvironmentVariableW(L"PATH", path.data(), static_cast<DWORD>(path.size())));
  SetEnvironmentVariableW(L"PATH", (win32::Wide(elsewhere) + L";" + path).c_str());
  const struct {
    std::string library;
    bool loaded;
  } cases[] = {
      {"onpath.dll", false},
      {"onpath", false},
      {"..\\elsewhere\\onpath.dll", false},
      {elsewhere + "\\onpath.dll", true},
      {elsewhere + "\\onpath", true},
  };
  SetupGlobals.IsEnglish = true;
  for (const auto& c : cases) {
    DescribeSubs({{1, "Alpha", c.library, ""}});
    DeleteFileW(win32::Wide(record).c_str());
    ScriptedMessages boxes;
    if (!c.loaded) boxes.Expect(mb::kIdOk);
    const bool succeeded = RunWith(smInstall, Tree().get(), nullptr).Succeeded;
    EXPECT_EQ(succeeded, c.loaded) << c.library;
    EXPECT_EQ(Called("onpath.dll:SetLogCallBack"), c.loaded) << c.library;
    if (!c.loaded) {
      ASSERT_EQ(boxes.Shown().size(), 1u) << c.library;
      EXPECT_EQ(boxes.Shown()[0].text, "not load lybrary  " + c.library + ".Installation will be aborted");
      EXPECT_FALSE(os::FileExists(Installed("Alpha.txt"))) << c.library;
    }
    std::error_code ignored;
    std::filesystem::remove_all(win32::Wide(installDir), ignored);
    CleanRegistry();
  }
  SetEnvironmentVariableW(L"PATH", path.c_str());
}

}  // namespace
