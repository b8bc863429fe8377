// The journal on the real machine under Wine: an installation or a change of the product that
// does not succeed leaves files, registry, search path and links exactly as they were; a run
// that was killed is undone by the next start; files held open by another program.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "common/osfile.h"
#include "common/win32.h"
#include "engine/DirTree.h"
#include "engine/EngineMachine.h"
#include "engine/Journal.h"
#include "engine/JournalPlan.h"
#include "engine/Journal_win32.h"
#include "engine/ProgressThread.h"
#include "engine/ShellFolders_win32.h"
#include "engine/engine_support_win32.h"
#include "setup/ProductKeys_win32.h"
#include "setup/SetupGlobals.h"

using namespace enginetest;
using extracttest::TestEntry;

namespace {

const char kEnvironment[] = "\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
const char kSessionManager[] = "\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";

// Every file below a directory with its bytes, and every directory.
void Files(const std::string& dir, const std::string& skip, std::map<std::string, std::string>& out) {
  for (const os::DirEntry& e : os::ListDirectory(dir)) {
    const std::string path = dir + "\\" + e.Name;
    if (path == skip) continue;
    if (e.Attributes & os::kAttrDirectory) {
      out[path + "\\"] = "";
      Files(path, skip, out);
    } else {
      out[path] = ReadFileBytes(path);
    }
  }
}

// A key's whole tree (or "" when missing), as the journal itself records it.
std::string KeyTree(HKEY root, const std::string& key, REGSAM view) {
  TJournal journal;  // never opened: the record stays in memory
  JournalKey(&journal, root, key, view);
  return journal.Records().at(0).Fields.at(2);
}
std::string Value(HKEY root, const std::string& key, const std::string& name, REGSAM view) {
  TJournal journal;
  JournalValue(&journal, root, key, name, view);
  return journal.Records().at(0).Fields.at(3);
}

// Everything of the machine that a run of the engine may touch.
struct TMachine {
  std::map<std::string, std::string> files;  // below the test's root, the log excepted
  std::map<std::string, std::string> menu, desktop;
  std::string product, entry, path;
  bool operator==(const TMachine&) const = default;
};

class EngineJournal : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    DiscardJournalsLeftBehind();
    pathBefore = Value(HKEY_LOCAL_MACHINE, kEnvironment, "Path", 0);
    pendingBefore = Value(HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations", 0);
    Describe({{1, "Base", "base.zip", ""}, {2, "Tools", "tools.zip", ""}, {3, "Extra", "extra.zip", ""}});
    TIDFSection* base = description.FindSection("Sub1");
    base->AddParam("MENULINK1")->SetAsString("bin\\app.exe||bin\\app.ico|App|The app");
    base->AddParam("DESKTOPLINK1")->SetAsString("bin\\app.exe|||Desk App");
    description.FindSection("Sub3")->AddParam("MENULINK1")->SetAsString("extra\\x.exe|||Extra");
    ASSERT_TRUE(description.SaveToFile(dist + "\\setup.idf"));
    WriteArchive("base.zip", {{"readme.txt", "base readme"}, {"bin/app.exe", "MZ app"}});
    WriteArchive("tools.zip", {{"tools/t1.txt", "tool one"}, {"tools/deep/t2.txt", "tool two"}});
    WriteArchive("extra.zip", {{"extra/x.exe", "MZ extra"}, {"readme.txt", "extra readme"}});
    WriteFileBytes(dist + "\\ztkuinst.exe", "uninstaller");
    WriteFileBytes(dist + "\\setup.exe", "setup program");
    menuDir = ShellFolderPath(TShellFolder::Programs) + "\\Prod Group";
    desktopDir = ShellFolderPath(TShellFolder::Desktop) + "\\Prod Group";
    CleanLinks();
  }
  void TearDown() override {
    CleanLinks();
    RestoreMachineValues();
    EngineMachine().ProgramsHoldingFile = nullptr;
    SetupGlobals.Unattended = false;
    EngineFixture::TearDown();
  }
  // The journal directory is the machine's, not the test's: a run of another test that
  // ended at a restart leaves its journal there for the run after it.
  static void DiscardJournalsLeftBehind() {
    const std::string dir = TrustedJournalDirectory();
    for (const os::DirEntry& e : os::ListDirectory(dir)) {
      if (e.Attributes & os::kAttrDirectory) {
        DeleteDirTree(dir + e.Name, false);
      } else {
        os::RemoveFile(dir + e.Name);
      }
    }
  }
  void CleanLinks() {
    os::RemoveFile(menuDir + "\\App.lnk");  // a test's links, never the user's folders
    os::RemoveFile(menuDir + "\\Extra.lnk");
    os::RemoveFile(desktopDir + "\\Desk App.lnk");
    os::RemoveDir(menuDir);
    os::RemoveDir(desktopDir);
  }
  // What a removal leaves on purpose (the entry of the list of installed programs, the
  // uninstaller's copy, the install directory's parent) goes too.
  void Forget() {
    CleanLinks();
    CleanRegistry();
    os::RemoveFile(windowsDir + "\\ztkuinst.exe");
    os::RemoveDir(root.File("Program Files"));
    RestoreMachineValues();  // a removal rewrites "Path" in its own form
  }
  void RestoreMachineValues() {
    UndoRegistryRecord({TJournalKind::ValueChanged, {"HKLM", kEnvironment, "Path", pathBefore}});
    UndoRegistryRecord(
        {TJournalKind::ValueChanged, {"HKLM", kSessionManager, "PendingFileRenameOperations", pendingBefore}});
  }

  TMachine Machine() const {
    TMachine m;
    Files(root.Path(), logFile, m.files);
    Files(menuDir, "", m.menu);
    Files(desktopDir, "", m.desktop);
    m.product = KeyTree(HKEY_LOCAL_MACHINE, productkeys::kProduct, productkeys::kView);
    m.entry = KeyTree(HKEY_LOCAL_MACHINE, productkeys::kUninstallBase + SetupGlobals.SystemName,
                      productkeys::kView);
    m.path = Value(HKEY_LOCAL_MACHINE, kEnvironment, "Path", 0);
    return m;
  }
  static void ExpectSame(const TMachine& before, const TMachine& after) {
    EXPECT_EQ(after.files, before.files);
    EXPECT_EQ(after.menu, before.menu);
    EXPECT_EQ(after.desktop, before.desktop);
    EXPECT_EQ(after.product, before.product);
    EXPECT_EQ(after.entry, before.entry);
    EXPECT_EQ(after.path, before.path);
  }
  // The delayed operations of the next restart, as text.
  std::string Pending() const {
    const std::string data = Value(HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations", 0);
    std::string text;
    for (std::size_t i = data.find(':') + 1; i + 3 < data.size(); i += 4) {
      const auto nibble = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
      const int low = nibble(data[i]) * 16 + nibble(data[i + 1]);
      const int high = nibble(data[i + 2]) * 16 + nibble(data[i + 3]);
      const wchar_t c = static_cast<wchar_t>(low | high << 8);
      text += c == 0 ? '|' : c < 128 ? static_cast<char>(c) : '?';
    }
    return text;
  }
  // The journals of runs in the journal directory.
  static std::vector<std::string> Journals() {
    std::vector<std::string> names;
    for (const os::DirEntry& e : os::ListDirectory(TrustedJournalDirectory())) names.push_back(e.Name);
    return names;
  }
  // Another program holding the file, sharing nothing.
  static win32::FileHandle Hold(const std::string& path) {
    return win32::FileHandle(CreateFileW(win32::Wide(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
  }

  std::string pathBefore, pendingBefore, menuDir, desktopDir;
};

// Cancelled at each report in turn: a run that does not succeed leaves no trace; one that
// succeeds (cancelled after its libraries) is removed again before the next.
TEST_F(EngineJournal, ACancelledInstallationLeavesTheMachineAsItWas) {
  const TMachine before = Machine();
  const RunResult full = Install();
  ASSERT_TRUE(full.Succeeded);
  EXPECT_EQ(full.Ended, TRunEnd::Done);
  EXPECT_NE(Machine().path, before.path);
  EXPECT_FALSE(Machine().menu.empty());
  int rolledBack = 0;
  for (int k = 1; k <= full.Reports; ++k) {
    SCOPED_TRACE("cancelled at report " + std::to_string(k));
    ASSERT_TRUE(Uninstall().Succeeded);
    Forget();
    ExpectSame(before, Machine());
    const RunResult r = Install([k](TProgressThread& t, int report) {
      if (report == k) t.Terminate();
    });
    if (r.Succeeded) {
      EXPECT_EQ(r.Ended, TRunEnd::Done);
      continue;
    }
    ++rolledBack;
    EXPECT_EQ(r.Ended, TRunEnd::Aborted);
    ExpectSame(before, Machine());
    EXPECT_TRUE(Journals().empty());  // the journal is gone
  }
  EXPECT_GT(rolledBack, 10);
}

TEST_F(EngineJournal, AFailedArchiveLeavesTheMachineAsItWas) {
  WriteFileBytes(dist + "\\tools.zip", std::string(3000, 'x'));  // no archive at all
  const TMachine before = Machine();
  SetupGlobals.IsEnglish = true;
  ScriptedMessages boxes;
  boxes.Expect(mb::kIdOk);
  const RunResult r = Install();
  EXPECT_FALSE(r.Succeeded);
  EXPECT_EQ(r.Ended, TRunEnd::Failed);
  ASSERT_EQ(boxes.Shown().size(), 1u);
  ExpectSame(before, Machine());
  const auto lines = LogLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), " undone: directory made " + root.File("Program Files")),
            lines.end());
}

TEST_F(EngineJournal, ACancelledChangeOfTheProductLeavesItAsItWas) {
  auto installed = Tree({1, 2});
  ASSERT_TRUE(Run(smInstall, installed.get(), nullptr).Succeeded);
  const TMachine before = Machine();
  ASSERT_TRUE(before.files.count(Installed("uninst.inf")));
  int k = 1;
  for (;; ++k) {
    SCOPED_TRACE("cancelled at report " + std::to_string(k));
    auto add = Tree({3});
    auto remove = Tree({2});
    const RunResult r = Run(smAddDelete, add.get(), remove.get(), [k](TProgressThread& t, int report) {
      if (report == k) t.Terminate();
    });
    if (r.Reports < k) {  // the whole run went by without a cancel: the change is made
      EXPECT_TRUE(r.Succeeded);
      EXPECT_EQ(r.Ended, TRunEnd::Done);
      break;
    }
    EXPECT_FALSE(r.Succeeded);
    EXPECT_EQ(r.Ended, TRunEnd::Aborted);
    ExpectSame(before, Machine());
  }
  EXPECT_GT(k, 10);
  EXPECT_EQ(ReadFileBytes(Installed("extra\\x.exe")), "MZ extra");
  EXPECT_FALSE(os::FileExists(Installed("tools\\t1.txt")));
}

// The child of the next test: an installation whose process dies at a chosen report.
TEST_F(EngineJournal, DISABLED_KilledChild) {
  const char* parent = getenv("ZTK_JOURNAL_PARENT");
  const char* report = getenv("ZTK_JOURNAL_REPORT");
  ASSERT_TRUE(parent && report);
  const std::string p = parent;
  dist = p + "\\dist";
  installDir = p + "\\Program Files\\Prod";
  windowsDir = p + "\\windows";
  SetupGlobals.TempDir = p + "\\temp\\";
  SetCurrentDirectoryW(win32::Wide(dist).c_str());
  const int k = atoi(report);
  Install([k](TProgressThread&, int r) {
    if (r == k) TerminateProcess(GetCurrentProcess(), 9);
  });
  FAIL() << "not killed";
}

TEST_F(EngineJournal, AKilledRunIsUndoneAtTheNextStart) {
  const TMachine before = Machine();
  const RunResult full = Install();
  ASSERT_TRUE(Uninstall().Succeeded);
  Forget();
  ExpectSame(before, Machine());

  // Killed late, after the registry, the search path and the uninstaller's copy.
  const int k = full.Reports - 3;
  SetEnvironmentVariableW(L"ZTK_JOURNAL_PARENT", win32::Wide(root.Path()).c_str());
  SetEnvironmentVariableW(L"ZTK_JOURNAL_REPORT", std::to_wstring(k).c_str());
  std::wstring commandLine = L"\"" + win32::Wide(TestProgramDirectory()) +
                             L"\\test_engine.exe\" --gtest_also_run_disabled_tests "
                             L"--gtest_filter=EngineJournal.DISABLED_KilledChild";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &process));
  win32::Handle processHandle(process.hProcess), threadHandle(process.hThread);
  ASSERT_EQ(WaitForSingleObject(processHandle.get(), 60000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeProcess(processHandle.get(), &code);
  ASSERT_EQ(code, 9u);
  EXPECT_NE(Machine().product, before.product);
  EXPECT_NE(Machine().path, before.path);
  ASSERT_FALSE(Journals().empty());

  // A journal that its run still holds is not touched.
  TJournal alive;
  const std::string alivePath = TrustedJournalDirectory() + "ztkinst-alive.jnl";
  ASSERT_TRUE(alive.Create(alivePath));
  alive.Append(ProductRecord({"Prod", "\\Software\\Quorvalen", "", {root.File("dist")}}));
  alive.Append({TJournalKind::FileCreated, {root.File("dist\\setup.exe")}});

  SetupGlobals.IsEnglish = true;
  ScriptedMessages boxes;
  boxes.Expect(mb::kIdOk);
  ClearLog();
  EXPECT_TRUE(RecoverAbandonedRuns(true));
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_EQ(boxes.Shown()[0].text, "The previous installation did not end. The changes it made have been undone.");
  alive.Close();
  os::RemoveFile(alivePath);
  EXPECT_TRUE(os::FileExists(root.File("dist\\setup.exe")));
  ExpectSame(before, Machine());
  int recovered = 0;
  for (const std::string& line : LogLines()) recovered += line.find("a run that did not end were undone") != std::string::npos;
  EXPECT_EQ(recovered, 1);
  EXPECT_FALSE(RecoverAbandonedRuns(true));  // nothing left, no notice
}

// Replacing a file that another program holds: the question names the file and the program;
// Retry after the program let it go replaces it, Ignore keeps the old one.
TEST_F(EngineJournal, AFileInUseIsAskedAbout) {
  auto installed = Tree({1});
  ASSERT_TRUE(Run(smInstall, installed.get(), nullptr).Succeeded);
  EngineMachine().ProgramsHoldingFile = [](const std::string&) {
    return std::vector<std::string>{"Viewer"};
  };
  SetupGlobals.IsEnglish = true;
  const std::string readme = Installed("readme.txt");
  for (const int last : {mb::kIdRetry, mb::kIdIgnore}) {
    SCOPED_TRACE(last);
    win32::FileHandle held = Hold(readme);
    ASSERT_TRUE(held);
    std::vector<std::string> asked;
    MessageBoxHandler previous = SetMessageBoxHandler([&](const std::string& text, const std::string&, unsigned flags) {
      asked.push_back(text);
      EXPECT_EQ(flags, mb::kAbortRetryIgnore | mb::kIconExclamation | mb::kTaskModal);
      if (asked.size() == 1) return mb::kIdRetry;  // still held: asked again
      if (last == mb::kIdRetry) held = win32::FileHandle();
      return last;
    });
    auto add = Tree({3});
    const RunResult r = Run(smAddDelete, add.get(), nullptr);
    SetMessageBoxHandler(previous);
    held = win32::FileHandle();
    EXPECT_TRUE(r.Succeeded);
    EXPECT_EQ(r.Ended, TRunEnd::Done);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0], "The file " + readme + " is in use by another program: Viewer.\r\n"
                        "Close it and press Retry. Ignore keeps the old file, Abort cancels the installation.");
    EXPECT_EQ(ReadFileBytes(readme), last == mb::kIdRetry ? "extra readme" : "base readme");
    EXPECT_EQ(ReadFileBytes(Installed("extra\\x.exe")), "MZ extra");
    auto remove = Tree({3});
    ASSERT_TRUE(Run(smAddDelete, nullptr, remove.get()).Succeeded);
    WriteFileBytes(readme, "base readme");
  }
  const auto lines = LogLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), " file in use kept as it was: " + readme), lines.end());
}

// Without a person the held file is written beside it and renamed over it at the restart;
// the run ends "restart pending" without asking for the machine's restart.
TEST_F(EngineJournal, AFileInUseOfAnUnattendedRunIsReplacedAtTheRestart) {
  auto installed = Tree({1});
  ASSERT_TRUE(Run(smInstall, installed.get(), nullptr).Succeeded);
  SetupGlobals.Unattended = true;
  const std::string readme = Installed("readme.txt");
  win32::FileHandle held = Hold(readme);
  ASSERT_TRUE(held);
  auto add = Tree({3});
  const RunResult r = Run(smAddDelete, add.get(), nullptr);
  held = win32::FileHandle();
  EXPECT_TRUE(r.Succeeded);
  EXPECT_EQ(r.Ended, TRunEnd::RestartPending);
  EXPECT_FALSE(SetupGlobals.RebootRequired);
  EXPECT_EQ(ReadFileBytes(readme), "base readme");
  const std::string staged = Installed("~restart\\readme.txt");
  EXPECT_EQ(ReadFileBytes(staged), "extra readme");
  const std::string pending = Pending();
  EXPECT_NE(pending.find(staged + "|!\\??\\" + readme), std::string::npos) << pending;
}

// Removing the product while a file of it is held: the rest goes now, the file and its
// directories at the restart.
TEST_F(EngineJournal, AFileInUseDuringRemovalGoesAtTheRestart) {
  ASSERT_TRUE(Install().Succeeded);
  const std::string held = Installed("tools\\deep\\t2.txt");
  win32::FileHandle handle = Hold(held);
  ASSERT_TRUE(handle);
  const RunResult r = Uninstall();
  handle = win32::FileHandle();
  EXPECT_TRUE(r.Succeeded);
  EXPECT_EQ(r.Ended, TRunEnd::RestartPending);
  EXPECT_FALSE(SetupGlobals.RebootRequired);
  EXPECT_FALSE(os::FileExists(Installed("readme.txt")));
  const std::string pending = Pending();
  EXPECT_NE(pending.find(held + "||"), std::string::npos) << pending;
  EXPECT_NE(pending.find(installDir + "||"), std::string::npos) << pending;
  EXPECT_FALSE(ProductKeyExists(productkeys::kProduct));
}

// A journal that cannot be written (a full disk), wherever in the run that happens, stops
// the run; what it had recorded is undone and the user is told.
TEST_F(EngineJournal, AFullDiskStopsTheRunAndUndoesIt) {
  const TMachine before = Machine();
  const RunResult full = Install();
  ASSERT_TRUE(full.Succeeded);
  SetupGlobals.IsEnglish = true;
  int stopped = 0;
  for (int k = 1; k <= full.Reports; k += 3) {
    SCOPED_TRACE("writes fail from report " + std::to_string(k));
    ASSERT_TRUE(Uninstall().Succeeded);
    Forget();
    ExpectSame(before, Machine());
    bool failedWrite = false;
    std::vector<std::string> boxes;
    MessageBoxHandler previous = SetMessageBoxHandler([&](const std::string& text, const std::string&, unsigned) {
      boxes.push_back(text);
      return mb::kIdOk;
    });
    const RunResult r = Install([k, &failedWrite](TProgressThread& t, int report) {
      if (report == k && t.Journal()) {
        t.Journal()->WriteLine = [&failedWrite](const std::string&) {
          failedWrite = true;
          return false;
        };
      }
    });
    SetMessageBoxHandler(previous);
    if (!failedWrite) {  // nothing was recorded after report k
      EXPECT_TRUE(r.Succeeded);
      continue;
    }
    ++stopped;
    EXPECT_FALSE(r.Succeeded);
    EXPECT_EQ(r.Ended, TRunEnd::Failed);
    ExpectSame(before, Machine());
    EXPECT_TRUE(Journals().empty());
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back(), "The journal of changes cannot be written (is the disk full?). The installation has "
                            "been stopped and the changes it made have been undone.");
  }
  EXPECT_GT(stopped, 3);
}

// A run that left a rename for the next restart (a file in use, no person to ask) and is then
// cancelled takes the rename back out of the system's list: the restart changes nothing.
TEST_F(EngineJournal, ACancelledRunTakesBackItsRestartRenames) {
  auto installed = Tree({1});
  ASSERT_TRUE(Run(smInstall, installed.get(), nullptr).Succeeded);
  const std::string pending = Pending();
  SetupGlobals.Unattended = true;
  const std::string readme = Installed("readme.txt");
  win32::FileHandle held = Hold(readme);
  ASSERT_TRUE(held);
  bool scheduled = false;
  auto add = Tree({3});
  const RunResult r = Run(smAddDelete, add.get(), nullptr, [&](TProgressThread& t, int) {
    if (!scheduled && Pending() != pending) {
      scheduled = true;
      t.Terminate();
    }
  });
  held = win32::FileHandle();
  ASSERT_TRUE(scheduled);
  EXPECT_FALSE(r.Succeeded);
  EXPECT_EQ(Pending(), pending);
  EXPECT_EQ(ReadFileBytes(readme), "base readme");
  EXPECT_FALSE(os::FileExists(Installed("~restart\\readme.txt")));
}

// The journal a run left for the run after a restart is taken over only when it may be
// trusted like any other: one whose file a user owns is left alone, its records undone never.
TEST_F(EngineJournal, AMistrustedRestartJournalIsNotTakenOver) {
  const std::string restart = RestartJournalPath();
  ASSERT_FALSE(restart.empty());
  const std::string victim = root.File("victim.txt");
  WriteFileBytes(victim, "mine");
  WriteFileBytes(restart, EncodeJournalRecord(ProductRecord({"Prod", "\\Software\\Quorvalen", "", {root.Path()}})) +
                              EncodeJournalRecord({TJournalKind::FileCreated, {victim}}));
  JournalSecurityForTest = [&restart](const std::string& path) -> std::string {
    return path == restart ? "O:S-1-5-21-1-2-3-1001D:P(A;;FA;;;SY)(A;;FA;;;BA)" : "";
  };
  SetupGlobals.ContinueAfterRestart = true;
  MessageBoxHandler previous = SetMessageBoxHandler([](const std::string&, const std::string&, unsigned) {
    return mb::kIdOk;
  });
  const RunResult r = Install([](TProgressThread& t, int report) {
    if (report == 1) t.Terminate();
  });
  SetMessageBoxHandler(previous);
  SetupGlobals.ContinueAfterRestart = false;
  JournalSecurityForTest = nullptr;
  EXPECT_FALSE(r.Succeeded);
  EXPECT_EQ(ReadFileBytes(victim), "mine");
  EXPECT_TRUE(os::FileExists(restart));
  const auto lines = LogLines();
  EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                         [](const std::string& line) {
                           return line.find("before the restart left alone, it cannot be trusted") !=
                                  std::string::npos;
                         }),
            lines.end());
  DiscardJournalsLeftBehind();
}

}  // namespace
