// What removals rely on: the entry in the list of installed programs goes with the product,
// a damaged uninst.inf is never replaced or acted on, a file the installation did not write
// is not listed, and an installation in a drive root leaves the root's own directories and no
// search-path entry behind.
#include <windows.h>

#include <gtest/gtest.h>

#include "common/osfile.h"
#include "common/win32.h"
#include "engine/DirTree.h"
#include "engine/EngineMachine.h"
#include "engine/EnvPath.h"
#include "engine/engine_support_win32.h"
#include "setup/ProductKeys_win32.h"
#include "setup/SetupGlobals.h"

using namespace enginetest;

namespace {

const std::string kEntry = productkeys::kUninstallBase + "ZTK Engine Test";
const wchar_t kEnvironment[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

win32::FileHandle HoldWithoutSharing(const std::string& path) {
  return win32::FileHandle(CreateFileW(win32::Wide(path).c_str(), GENERIC_READ, 0, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::string MachinePath() {
  win32::RegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kEnvironment, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return {};
  DWORD size = 0;
  if (RegQueryValueExW(key.get(), L"Path", nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return {};
  std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
  RegQueryValueExW(key.get(), L"Path", nullptr, nullptr, reinterpret_cast<BYTE*>(value.data()), &size);
  value.resize(wcslen(value.c_str()));
  return win32::Narrow(value);
}

void SetMachinePath(const std::string& path) {
  win32::RegKey key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kEnvironment, 0, KEY_SET_VALUE, key.put()), ERROR_SUCCESS);
  const std::wstring wide = win32::Wide(path);
  RegSetValueExW(key.get(), L"Path", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                 static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
}

// The entries of the machine's Path that name `directory`.
int PathEntries(const std::string& directory) {
  std::string rest = MachinePath();
  int n = 0;
  while (!rest.empty()) n += SamePathEntry(CutToken(rest, ';', false), directory);
  return n;
}

class EngineRemoval : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    Describe({{1, "Base", "base.zip", ""}, {2, "Tools", "tools.zip", ""}, {3, "Later", "later.zip", ""},
              {4, "Extra", "extra.zip", ""}});
    WriteArchive("base.zip", {{"readme.txt", "base readme"}, {"bin/app.exe", "MZ app"}});
    WriteArchive("tools.zip", {{"tools/t1.txt", "tool one"}});
    WriteArchive("later.zip", {{"later/l.txt", "later"}});
    WriteArchive("extra.zip", {{"extra/x.exe", "MZ extra"}, {"readme.txt", "extra readme"}});
    WriteFileBytes(dist + "\\ztkuinst.exe", "uninstaller");
    SetupGlobals.IsEnglish = true;
  }
  bool Registered(const std::string& name) const {
    std::string value;
    return ProductValue(productkeys::kSubSystems, name, value);
  }
  std::vector<std::string> Listed(const std::string& archive) const {
    TIDFTextFile list;
    EXPECT_TRUE(list.LoadFromFile(Installed("uninst.inf")));
    std::vector<std::string> files;
    if (const TIDFSection* s = list.FindSection(archive)) {
      for (int i = 1; i < s->ParamCount(); ++i) files.push_back(s->Params(i)->Name);
    }
    return files;
  }
};

// Removed through setup.exe (the action page and UNINSTALL both end here), the product takes
// its entry in the list of installed programs with it, also one a damaged earlier removal
// left without its product key.
TEST_F(EngineRemoval, TheUninstallEntryGoesWithTheProduct) {
  for (const bool keyMissing : {false, true}) {
    SCOPED_TRACE(keyMissing ? "product key missing" : "whole product");
    CleanRegistry();
    auto tree = Tree({1, 2});
    ASSERT_TRUE(Run(smInstall, tree.get(), nullptr).Succeeded);
    ASSERT_TRUE(ProductKeyExists(kEntry));
    if (keyMissing) productkeys::Delete(HKEY_LOCAL_MACHINE, productkeys::kProduct);
    ScriptedMessages none;
    EXPECT_TRUE(Uninstall().Succeeded);
    EXPECT_FALSE(ProductKeyExists(productkeys::kProduct));
    EXPECT_FALSE(ProductKeyExists(kEntry));
    EXPECT_TRUE(ProductKeyExists(productkeys::kUninstallBase));
  }
}

// uninst.inf made unusable in the ways a disk, a crash or an editor make it: adding refuses
// to replace it and removing refuses to act on it; each says so, and nothing changes.
TEST_F(EngineRemoval, ADamagedUninstallListRefusesTheRun) {
  const std::string base = installDir + "\\readme.txt=\r\n";
  const std::string header = "IDF-CPS-text\r\n\r\n";
  const struct {
    const char* name;
    std::string bytes;
    bool hold = false;  // the installed list, held open by another program
  } cases[] = {
      {"held open", "", true},
      {"empty", ""},
      {"no header", "[base.zip]\r\nUsesCount=1\r\n" + base},
      {"line ends of another system", "IDF-CPS-text\n\n[base.zip]\nUsesCount=1\n"},
      {"binary", std::string("\x50\x4b\x03\x04\x00\xff\x13\x10garbage", 15)},
      {"lines outside a section", header + "UsesCount=1\r\n[base.zip]\r\nUsesCount=1\r\n" + base},
      {"count no number", header + "[base.zip]\r\nUsesCount=one\r\n" + base},
      {"count below zero", header + "[base.zip]\r\nUsesCount=-2\r\n" + base},
      {"count not first", header + "[base.zip]\r\n" + base + "UsesCount=1\r\n"},
      {"one archive twice", header + "[base.zip]\r\nUsesCount=1\r\n" + base + "[BASE.ZIP]\r\nUsesCount=1\r\n"},
      {"section without a name", header + "[]\r\nUsesCount=1\r\n" + base},
      {"tree section", header + "[base.zip]-tree\r\nUsesCount=INTEGER=1\r\n" + base},
      {"file no full path", header + "[base.zip]\r\nUsesCount=1\r\nreadme.txt=\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CleanRegistry();
    auto installed = Tree({1, 2});
    ASSERT_TRUE(Run(smInstall, installed.get(), nullptr).Succeeded);
    const std::string list = Installed("uninst.inf");
    win32::FileHandle held;
    if (c.hold) {
      held = HoldWithoutSharing(list);
      ASSERT_TRUE(held);
    } else {
      WriteFileBytes(list, c.bytes);
    }
    const std::string before = held ? std::string() : ReadFileBytes(list);
    for (const bool adding : {true, false}) {
      SCOPED_TRACE(adding ? "adding" : "removing");
      ScriptedMessages boxes;
      boxes.Expect(mb::kIdOk);
      auto add = Tree({3});
      auto remove = Tree({2});
      EXPECT_FALSE(Run(smAddDelete, adding ? add.get() : nullptr, adding ? nullptr : remove.get()).Succeeded);
      ASSERT_EQ(boxes.Shown().size(), 1u);
      EXPECT_EQ(boxes.Shown()[0].text.rfind("The list of installed files " + list + " is damaged: ", 0), 0u)
          << boxes.Shown()[0].text;
      EXPECT_NE(boxes.Shown()[0].text.find("Nothing was changed."), std::string::npos);
      EXPECT_EQ(boxes.Shown()[0].flags, mb::kIconError | mb::kTaskModal);
      EXPECT_FALSE(os::FileExists(Installed("later\\l.txt")));
      EXPECT_FALSE(Registered("Later"));
      EXPECT_TRUE(os::FileExists(Installed("tools\\t1.txt")));
      EXPECT_TRUE(Registered("Tools"));
      if (!held) {
        EXPECT_EQ(ReadFileBytes(list), before);
      }
    }
    held = win32::FileHandle();
  }
}

// Ignore on a file another program holds: the old file stays, and since the installation did
// not write it, it is not listed, so removing the subsystem later leaves it.
TEST_F(EngineRemoval, AFileKeptInUseIsNotListed) {
  auto installed = Tree({1});
  ASSERT_TRUE(Run(smInstall, installed.get(), nullptr).Succeeded);
  EngineMachine().ProgramsHoldingFile = [](const std::string&) { return std::vector<std::string>{}; };
  struct Restore {
    ~Restore() { EngineMachine().ProgramsHoldingFile = nullptr; }
  } restore;
  const std::string readme = Installed("readme.txt");
  win32::FileHandle held = HoldWithoutSharing(readme);
  ASSERT_TRUE(held);
  {
    ScriptedMessages boxes;
    boxes.Expect(mb::kIdIgnore);
    auto add = Tree({4});
    ASSERT_TRUE(Run(smAddDelete, add.get(), nullptr).Succeeded);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text.rfind("The file " + readme + " is in use", 0), 0u) << boxes.Shown()[0].text;
  }
  held = win32::FileHandle();
  EXPECT_EQ(Listed("extra.zip"), (std::vector<std::string>{Installed("extra\\x.exe")}));
  EXPECT_EQ(ReadFileBytes(readme), "base readme");
  ScriptedMessages none;
  auto remove = Tree({4});
  ASSERT_TRUE(Run(smAddDelete, nullptr, remove.get()).Succeeded);
  EXPECT_FALSE(os::FileExists(Installed("extra\\x.exe")));
  EXPECT_EQ(ReadFileBytes(readme), "base readme");
}

// An installation in a drive root (the wizard and the unattended run refuse one; a
// description or an older record may still name it): the engine refuses it too, before it
// makes or empties anything, so the root's own directories of the standard names keep what
// they hold and no search-path entry is written.
TEST_F(EngineRemoval, ARootInstallationIsRefusedAndTouchesNothingThere) {
  const std::string drive = "C:\\";
  const char* standard[] = {"SYSTEM", "USER", "DATA", "EXE", "SOURCE", "SUBSYS"};
  std::vector<std::string> made;
  for (const char* sub : standard) {
    if (!os::DirectoryExists(drive + sub)) made.push_back(drive + sub);
  }
  const std::string pathBefore = MachinePath();
  struct Cleanup {
    const std::vector<std::string>& made;
    const std::string& pathBefore;
    ~Cleanup() {
      for (const char* file : {"C:\\uninst.inf", "C:\\uninst.idf", "C:\\EXE\\setup.idf", "C:\\EXE\\setup.exe"})
        os::RemoveFile(file);
      DeleteDirTree("C:\\ztkroot", false);
      for (const std::string& dir : made) DeleteDirTree(dir, false);
      SetMachinePath(pathBefore);
    }
  } cleanup{made, pathBefore};
  for (const char* sub : {"SYSTEM", "DATA"}) {
    ASSERT_TRUE(os::CreateDirectories(drive + sub));
    WriteFileBytes(drive + sub + "\\keep.txt", "the machine's own");
  }
  Describe({{1, "Root", "root.zip", ""}});
  WriteArchive("root.zip", {{"ztkroot/r.txt", "in the root"}});
  installDir = drive;
  ScriptedMessages boxes;
  boxes.Expect(mb::kIdOk);
  auto tree = Tree();
  EXPECT_FALSE(Run(smInstall, tree.get(), nullptr).Succeeded);
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_NE(boxes.Shown()[0].text.find("C:\\"), std::string::npos) << boxes.Shown()[0].text;
  EXPECT_FALSE(os::FileExists("C:\\ztkroot\\r.txt"));
  for (const char* sub : {"SYSTEM", "DATA"}) {
    EXPECT_EQ(ReadFileBytes(drive + sub + "\\keep.txt"), "the machine's own") << sub;
  }
  EXPECT_EQ(PathEntries("C:\\SYSTEM"), 0) << MachinePath();
  EXPECT_EQ(PathEntries("C:\\USER"), 0) << MachinePath();
  EXPECT_TRUE(os::DirectoryExists("C:\\windows"));
}

}  // namespace
