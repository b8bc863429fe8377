// The Windows 9x installation across a restart, end to end through start-up: the first run
// saves its state in temp.inf, puts the continuation link into the Startup folder and asks
// for the restart after the loop; the second run, started with temp.inf, removes the link,
// reads the state and finishes. The result equals a one-run installation on the NT family.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "common/osfile.h"
#include "common/win32.h"
#include "description/InstIDF.h"
#include "engine/DirTree.h"
#include "engine/EngineMachine.h"
#include "engine/ProgramGroup_win32.h"
#include "engine/ProgressThread.h"
#include "engine/ShellFolders_win32.h"
#include "engine/engine_support_win32.h"
#include "setup/Platform_win32.h"
#include "setup/ProductKeys_win32.h"
#include "setup/SetupGlobals.h"
#include "setup/Startup.h"

using namespace enginetest;

namespace {

std::vector<std::string> SplitBlanks(const std::string& text) {
  std::vector<std::string> parts;
  std::istringstream in(text);
  for (std::string part; in >> part;) parts.push_back(part);
  return parts;
}

std::string LinkArguments(const std::string& file, std::string& target) {
  IShellLinkW* link = nullptr;
  std::string arguments;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link))))
    return arguments;
  IPersistFile* persist = nullptr;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) &&
      SUCCEEDED(persist->Load(win32::Wide(file).c_str(), STGM_READ))) {
    wchar_t buffer[1024];
    link->GetArguments(buffer, 1024);
    arguments = win32::Narrow(buffer);
    link->GetPath(buffer, 1024, nullptr, SLGP_RAWPATH);
    target = win32::Narrow(buffer);
  }
  if (persist) persist->Release();
  link->Release();
  return arguments;
}

class Continuation : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Describe({{1, "Base", "base.zip", ""}, {2, "Tools", "tools.zip", "1"}});
    description.FindSection("Sub1")->AddParam("MENULINK1")->SetAsString("bin\\app.exe|-a|bin\\app.ico|App|The app");
    description.FindSection("Sub2")->AddParam("DESKTOPLINK1")->SetAsString("tools\\t.exe|||Tool");
    ASSERT_TRUE(description.SaveToFile(dist + "\\setup.idf"));
    WriteArchive("base.zip", {{"readme.txt", "base readme"}, {"bin/app.exe", "MZ app"}});
    WriteArchive("tools.zip", {{"tools/t.exe", "MZ tool"}});
    WriteFileBytes(dist + "\\setup.exe", "setup program");
    drive = root.File("c");
    ASSERT_TRUE(os::CreateDirectories(drive));
    EngineMachine().StartupFileDrive = [this] { return drive; };
    menuDir = ShellFolderPath(TShellFolder::Programs) + "\\Prod Group";
    desktopDir = ShellFolderPath(TShellFolder::Desktop) + "\\Prod Group";
    continueLink = ShellFolderPath(TShellFolder::Programs) + "\\" + GetStartupGroupName() +
                   "\\continue ZTK Setup.lnk";
    Clean();

    platform.GetTempDirectory = [this] { return root.Path() + "\\"; };
    platform.GetCurrentDirectory = [] { return os::CurrentDirectory(); };
    platform.ClearUninstallMark = [] {};
    platform.RemoveContinueLink = RemoveContinueLink;
    platform.SameTextLocale = [](const std::string& a, const std::string& b) { return text::SameTextAscii(a, b); };
    platform.RebootWindows = [this] { ++reboots; };
    // What the wizard does: hand the description's subsystems (or, continuing, nothing: the
    // engine reads them from the saved state) to the engine and wait for it.
    platform.RunApplication = [this] {
      ++runs;
      TSysTree install, remove;
      if (!SetupGlobals.ContinueAfterRestart) {
        TSysTree full;
        full.LoadFromIDF(SetupGlobals.Description);
        full.MergeInto(&install);
        install.DeselectAll();
      }
      TWizardState state;
      state.Mode = smInstall;
      state.InstallDir = SetupGlobals.ContinueAfterRestart ? "" : installDir;
      state.ProgramGroup = SetupGlobals.ContinueAfterRestart ? "" : "Prod Group";
      state.InstallTree = &install;
      state.DeleteTree = &remove;
      if (movedAway) SetCurrentDirectoryW(win32::Wide(root.Path()).c_str());
      TProgressThread thread(state, nullptr);
      thread.Start();
      thread.WaitFor();
      succeeded = state.Succeeded;
      continuedDir = state.InstallDir;
    };
  }
  void TearDown() override {
    Clean();
    SetPlatformFactsOverride(nullptr);
    EngineMachine().StartupFileDrive = nullptr;
    CoUninitialize();
    EngineFixture::TearDown();
  }
  void Clean() {
    DeleteDirTree(menuDir, false);
    DeleteDirTree(desktopDir, false);
    os::RemoveFile(continueLink);
  }
  void RunProgram(const std::vector<std::string>& params) {
    platform.Params = params;
    SetupGlobals.ContinueAfterRestart = false;
    SetupGlobals.RebootRequired = false;
    RunStartup(platform);
    // Start-up frees its log; the fixture's steps go on logging to the same file.
    SetupGlobals.Log = std::make_unique<TLogFile>();
    SetupGlobals.Log->SetFileName(logFile);
    SetupGlobals.Log->WriteHeader = false;
  }

  // What an installation leaves: the files below the install directory, the product's
  // registry records and the links.
  std::map<std::string, std::string> Result() {
    std::map<std::string, std::string> result;
    std::vector<std::string> pending{""};
    while (!pending.empty()) {
      const std::string relative = pending.back();
      pending.pop_back();
      for (const os::DirEntry& e : os::ListDirectory(installDir + relative)) {
        const std::string name = relative + "\\" + e.Name;
        if (e.Attributes & os::kAttrDirectory) {
          result["dir " + name] = "";
          pending.push_back(name);
        } else if (name != "\\temp.inf") {
          result["file " + name] = ReadFileBytes(installDir + name);
        }
      }
    }
    for (const std::string& key : {productkeys::kProduct, productkeys::kSubSystems,
                                   productkeys::kUninstallBase + "ZTK Engine Test"}) {
      TWin32RegistryKey k = productkeys::Open(HKEY_LOCAL_MACHINE, key, false);
      for (const std::string& name : k.GetValueNames()) {
        std::string value;
        k.ReadString(name, value);
        result["reg " + key + " " + name] = value;
      }
    }
    for (const std::string& dir : {menuDir, desktopDir}) {
      for (const os::DirEntry& e : os::ListDirectory(dir)) {
        std::string target;
        const std::string arguments = LinkArguments(dir + "\\" + e.Name, target);
        result["link " + dir + "\\" + e.Name] = target + " " + arguments;
      }
    }
    return result;
  }

  TStartupPlatform platform;
  std::string drive, menuDir, desktopDir, continueLink, continuedDir;
  int reboots = 0, runs = 0;
  bool succeeded = false, movedAway = false;
};

TEST_F(Continuation, Windows9xInstallationAcrossARestartEqualsOneNtRun) {
  // On the NT family one run does it all, with no restart.
  RunProgram({});
  ASSERT_TRUE(succeeded);
  EXPECT_EQ(reboots, 0);
  EXPECT_FALSE(os::FileExists(continueLink));
  const auto nt = Result();
  ASSERT_TRUE(nt.count("link " + menuDir + "\\App.lnk"));
  ASSERT_TRUE(nt.count("link " + desktopDir + "\\Tool.lnk"));
  ASSERT_TRUE(Uninstall().Succeeded);
  Clean();
  commands.clear();

  // The first run on Windows 9x stops after the path step with the notice and the restart.
  SetPlatformFactsOverride([] { return TPlatformFacts{true, 1998}; });
  {
    ScriptedMessages boxes;
    boxes.Expect(mb::kIdOk);
    ClearLog();
    RunProgram({});
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, "Для продолжения инсталляции необходима перезагрузка системы");
  }
  EXPECT_EQ(reboots, 1);
  EXPECT_FALSE(succeeded);  // left as it was
  EXPECT_FALSE(os::DirectoryExists(menuDir));
  EXPECT_TRUE(os::FileExists(Installed("readme.txt")));
  EXPECT_EQ(ReadFileBytes(drive + "\\autoexec.bat"),
            "SET PATH=%PATH%;" + installDir + "\\SYSTEM\r\nSET PATH=" + installDir + "\\USER;%PATH%");
  TIDFTextFile saved;
  ASSERT_TRUE(saved.LoadFromFile(Installed("temp.inf")));
  TIDFSection* params = saved.FindSection("Params");
  ASSERT_NE(params, nullptr);
  const std::vector<std::pair<const char*, std::string>> expected = {
      {"Directory", dist}, {"Sysname", "ZTK Engine Test"}, {"Path", installDir},
      {"Folder", "Prod Group"}, {"Level", "0"}, {"Language", "0"}};
  ASSERT_EQ(params->ParamCount(), 6);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(params->Params(i)->Name, expected[i].first);
    EXPECT_TRUE(text::SameTextAscii(params->Params(i)->Value, expected[i].second)) << params->Params(i)->Value;
  }
  EXPECT_NE(saved.FindSection("SubSystems"), nullptr);
  std::string target;
  EXPECT_EQ(LinkArguments(continueLink, target), installDir + "\\temp.inf");
  EXPECT_NE(target.find("test_engine.exe"), std::string::npos) << target;
  const auto lines = LogLines();
  for (const char* line : {" install information saved", " registry run was filled", " reboot windows"})
    EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;

  // The second run, as the link starts it: in the program's folder (here the distribution),
  // its argument split at the blanks. The saved directory is made current again even when
  // the wizard has moved elsewhere.
  movedAway = true;
  RunProgram(SplitBlanks(installDir + "\\temp.inf"));
  EXPECT_TRUE(SetupGlobals.ContinueAfterRestart);
  EXPECT_TRUE(succeeded);
  EXPECT_EQ(continuedDir, installDir);
  EXPECT_EQ(reboots, 1);
  EXPECT_FALSE(os::FileExists(continueLink));
  EXPECT_TRUE(os::FileExists(Installed("temp.inf")));
  EXPECT_TRUE(text::SameTextAscii(os::CurrentDirectory(), dist)) << os::CurrentDirectory();
  EXPECT_EQ(Result(), nt);
  // The system's tool by its full path, the distribution's file by its full path.
    EXPECT_EQ(commands, (std::vector<std::string>{SystemDirectory() + "\\reg.exe IMPORT \"" + dist +
                                                  "\\OID_QMD_3.reg\" /reg:32"}));
  EXPECT_EQ(runs, 3);
}

TEST_F(Continuation, ASecondSaveReplacesTheOldStateAndTheLinkGoesWithAnyArgument) {
  SetPlatformFactsOverride([] { return TPlatformFacts{true, 1998}; });
  ASSERT_TRUE(os::CreateDirectories(installDir));
  WriteFileBytes(Installed("temp.inf"), "an older state, not a description at all");
  ScriptedMessages boxes;
  boxes.Expect(mb::kIdOk);
  ASSERT_FALSE(Install().Succeeded);
  TIDFTextFile saved;
  ASSERT_TRUE(saved.LoadFromFile(Installed("temp.inf")));
  EXPECT_NE(saved.FindSection("Params"), nullptr);
  ASSERT_TRUE(os::FileExists(continueLink));

  // Any argument but UNINSTALL removes the link, whether or not it exists, even when the
  // file it names does not exist.
  boxes.Expect(mb::kIdOk);  // the missing description
  RunProgram({"nothing-here.inf"});
  EXPECT_FALSE(os::FileExists(continueLink));
  boxes.Expect(mb::kIdOk);
  RunProgram({"nothing-here.inf"});
  EXPECT_EQ(runs, 0);
}

}  // namespace
