// The install engine on the real registry and file system under Wine: a fresh installation,
// adding and removing subsystems, removing the product, and what failures leave behind.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/osfile.h"
#include "common/win32.h"
#include "engine/EngineMachine.h"
#include "engine/engine_support_win32.h"
#include "engine/ProgressThread.h"
#include "setup/ProductKeys_win32.h"
#include "setup/Platform_win32.h"
#include "setup/SetupGlobals.h"

using namespace enginetest;
using extracttest::TestEntry;

namespace {

const std::string kSub = productkeys::kSubSystems;

// Two subsystems share base.zip, one has tools.zip; a fourth (added later) shares base.zip.
class EngineInstall : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    Describe({{1, "Base", "base.zip", ""},
              {2, "Extra", "base.zip", "1"},
              {3, "Tools", "tools.zip", ""},
              {4, "Later", "base.zip", ""}});
    WriteArchive("base.zip", {{"readme.txt", "base readme"}, {"bin/", ""}, {"bin/app.exe", "MZ app"}});
    TestEntry readOnly{"ro.dat", "read only data"};
    readOnly.externalAttributes = 0x21;
    WriteArchive("tools.zip", {{"tools/t1.txt", "tool one"}, readOnly, {"tools/deep/t2.txt", "tool two"}});
  }

  std::vector<std::string> Files(const std::string& section) const {
    TIDFTextFile list;
    EXPECT_TRUE(list.LoadFromFile(Installed("uninst.inf")));
    std::vector<std::string> out;
    if (TIDFSection* s = list.FindSection(section)) {
      for (int i = 0; i < s->ParamCount(); ++i) out.push_back(s->Params(i)->Name + "=" + s->Params(i)->Value);
    }
    return out;
  }
  std::vector<std::string> Sections() const {
    TIDFTextFile list;
    EXPECT_TRUE(list.LoadFromFile(Installed("uninst.inf")));
    std::vector<std::string> out;
    for (int i = 0; i < list.SectionCount(); ++i) out.push_back(list.Sections(i)->Name);
    return out;
  }
};

TEST_F(EngineInstall, FreshFullInstallationRecordsEverything) {
  TIDFTextFile params;
  TIDFSection* p = params.AddSection("Params");
  p->AddParam("Company Name")->SetAsString("Quorvalen Test Ltd");
  p->AddParam("Company URL")->SetAsString("http://example.com/");
  SetupGlobals.Description = &params;
  struct Restore {
    ~Restore() { SetupGlobals.Description = nullptr; }
  } restore;
  for (int setupType : {0, 1}) {
    SCOPED_TRACE(setupType);
    SetupGlobals.SetupType = setupType;
    ClearLog();
    commands.clear();
    WriteFileBytes(dist + "\\ztkuinst.exe", "uninstaller");
    WriteFileBytes(dist + "\\setup.exe", "setup program");
    auto tree = Tree({1, 2, 3});
    ASSERT_TRUE(Run(smInstall, tree.get(), nullptr).Succeeded);

    for (const char* sub : {"SYSTEM", "USER", "DATA", "EXE", "SOURCE", "SUBSYS"})
      EXPECT_TRUE(os::DirectoryExists(Installed(sub))) << sub;
    const std::pair<const char*, const char*> files[] = {
        {"readme.txt", "base readme"}, {"bin\\app.exe", "MZ app"}, {"tools\\t1.txt", "tool one"},
        {"ro.dat", "read only data"}, {"tools\\deep\\t2.txt", "tool two"}};
    for (const auto& [name, bytes] : files) EXPECT_EQ(ReadFileBytes(Installed(name)), bytes) << name;
    EXPECT_EQ(os::GetAttributes(Installed("ro.dat")) & os::kAttrReadOnly, 0u);

    EXPECT_EQ(Sections(), (std::vector<std::string>{"base.zip", "tools.zip"}));
    EXPECT_EQ(Files("base.zip"), (std::vector<std::string>{"UsesCount=2", Installed("readme.txt") + "=",
                                                            Installed("bin\\app.exe") + "="}));
    EXPECT_EQ(Files("tools.zip"),
              (std::vector<std::string>{"UsesCount=1", Installed("tools\\t1.txt") + "=",
                                        Installed("ro.dat") + "=", Installed("tools\\deep\\t2.txt") + "="}));

    std::string value;
    ASSERT_TRUE(ProductValue(productkeys::kProduct, "Path", value));
    EXPECT_EQ(value, installDir);
    ASSERT_TRUE(ProductValue(productkeys::kProduct, "Program Group", value));
    EXPECT_EQ(value, "Prod Group");
    ASSERT_TRUE(ProductValue(productkeys::kProduct, "DestDir", value));
    EXPECT_TRUE(text::SameTextAscii(value, dist)) << value;
    for (const char* name : {"Base", "Extra", "Tools"}) {
      ASSERT_TRUE(ProductValue(kSub, name, value)) << name;
      EXPECT_EQ(value, "Installed");
    }
    EXPECT_FALSE(ProductValue(kSub, "Later", value));
    // The record is where 32-bit builds keep it, and nowhere else.
    win32::RegKey key;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node\\Quorvalen", 0,
                            KEY_READ | KEY_WOW64_64KEY, key.put()), ERROR_SUCCESS);
    win32::RegKey native;
    EXPECT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Quorvalen", 0,
                            KEY_READ | KEY_WOW64_64KEY, native.put()), ERROR_SUCCESS);
    // The system's tool by its full path, the distribution's file by its full path.
    EXPECT_EQ(commands, (std::vector<std::string>{SystemDirectory() + "\\reg.exe IMPORT \"" + dist +
                                                  "\\OID_QMD_3.reg\" /reg:32"}));

    const std::string entry = productkeys::kUninstallBase + "ZTK Engine Test";
    ASSERT_TRUE(ProductValue(entry, "DisplayName", value));
    EXPECT_EQ(value, "ZTK Engine Test");
    ASSERT_TRUE(ProductValue(entry, "UnInstallString", value));
    // Quoted: a blank in a path cannot make Windows start another program.
    EXPECT_EQ(value, "\"" + windowsDir + "\\ztkuinst.exe\" \"" + installDir + "\\uninst.idf\"");
    // What the list of installed programs shows besides.
    const std::pair<const char*, std::string> details[] = {
        {"Publisher", "Quorvalen Test Ltd"},
        {"URLInfoAbout", "http://example.com/"},
        {"InstallLocation", installDir},
        {"DisplayIcon", installDir + "\\EXE\\setup.exe"},
        {"QuietUninstallString",
         "\"" + windowsDir + "\\ztkuinst.exe\" /S \"" + installDir + "\\uninst.idf\""}};
    for (const auto& [name, expected] : details) {
      ASSERT_TRUE(ProductValue(entry, name, value)) << name;
      EXPECT_EQ(value, expected) << name;
    }
    ASSERT_TRUE(ProductValue(entry, "InstallDate", value));
    EXPECT_EQ(value.size(), 8u);
    EXPECT_EQ(value.substr(0, 2), "20");
    EXPECT_EQ(ProductDword(entry, "NoRepair"), 1);
    EXPECT_GE(ProductDword(entry, "EstimatedSize"), 1);
    EXPECT_EQ(ReadFileBytes(windowsDir + "\\ztkuinst.exe"), "uninstaller");
    EXPECT_EQ(ReadFileBytes(Installed("EXE\\setup.exe")), "setup program");
    EXPECT_TRUE(os::FileExists(Installed("EXE\\setup.idf")));

    TIDFTextFile uninstIdf;
    ASSERT_TRUE(uninstIdf.LoadFromFile(Installed("uninst.idf")));
    TIDFSection* u = uninstIdf.FindSection("Uninstall");
    ASSERT_NE(u, nullptr);
    EXPECT_EQ(u->FindParam("FileName")->Value, installDir + "\\EXE\\Setup.exe");
    EXPECT_EQ(u->FindParam("ParamStr") != nullptr, setupType == 1);
    if (setupType == 1) {
      EXPECT_EQ(u->FindParam("ParamStr")->Value, "UNINSTALL");
    }
    ASSERT_NE(uninstIdf.FindSection("Directories"), nullptr);
    EXPECT_EQ(uninstIdf.FindSection("Directories")->Params(0)->Name, installDir);

    EXPECT_EQ(StepLines(), (std::vector<std::string>{
                               " IN procedure EXTERNALPERFORM", " IN procedure INSTALL",
                               " IN procedure SEARCHFILES", " OUT procedure SEARCHFILES",
                               " IN funtion MAKEDIRSTRUCT", " OUT funtion MAKEDIRSTRUCT",
                               " IN funtion EXTRACTCOMPONENTSFILES", " OUT funtion EXTRACTCOMPONENTFILES",
                               " IN function WRITEREG", " OUT function WRITEREG",
                               " IN function REGISTERCOMPONENTPATH", " OUT function REGISTERCOMPONENTPATH",
                               " IN procedure INSTALLCONTINUE", " IN function PROCDLLS",
                               " IN procedure DELNOTSETSYSTEMS", " OUT procedure DELNOTSETSYSTEMS",
                               " OUT function PROCDLLS", " IN function REGISTERCOMP",
                               " OUT function REGISTERCOMP", " IN finction MAKEPRGGRPHOLDER",
                               " OUT finction MAKEPRGGRPHOLDER", " IN procedure UNINSTALLCOPY",
                               " OUT procedure UNINSTALLCOPY", " OUT procedure INSTALLCONTINUE",
                               " OUT procedure INSTALL", " OUT procedure EXTERNALPERFORM"}));
  }
}

TEST_F(EngineInstall, SharedArchivesAreCountedAndRemovedOnce) {
  auto first = Tree({1, 2, 3});
  ASSERT_TRUE(Run(smInstall, first.get(), nullptr).Succeeded);
  // A file the user changed after installation shows that adding does not extract again.
  WriteFileBytes(Installed("readme.txt"), "changed by the user");

  auto add = Tree({4});
  ASSERT_TRUE(Run(smAddDelete, add.get(), nullptr).Succeeded);
  EXPECT_EQ(Files("base.zip")[0], "UsesCount=3");
  EXPECT_EQ(ReadFileBytes(Installed("readme.txt")), "changed by the user");
  std::string value;
  EXPECT_TRUE(ProductValue(kSub, "Later", value));

  auto remove = Tree({1, 4});
  ASSERT_TRUE(Run(smAddDelete, nullptr, remove.get()).Succeeded);
  EXPECT_EQ(Files("base.zip")[0], "UsesCount=1");
  EXPECT_TRUE(os::FileExists(Installed("readme.txt")));
  EXPECT_FALSE(ProductValue(kSub, "Base", value));
  EXPECT_FALSE(ProductValue(kSub, "Later", value));
  EXPECT_TRUE(ProductValue(kSub, "Extra", value));

  // The last users go: read-only and missing files are no obstacle, directories stay.
  os::SetAttributes(Installed("bin\\app.exe"), os::kAttrReadOnly);
  os::SetAttributes(Installed("ro.dat"), os::kAttrReadOnly);
  os::RemoveFile(Installed("tools\\t1.txt"));
  auto removeRest = Tree({2, 3});
  auto addBoth = Tree({4});
  ASSERT_TRUE(Run(smAddDelete, addBoth.get(), removeRest.get()).Succeeded);
  // 4 came back (base.zip 1 + 1 - 1 for Extra = 1), tools.zip went to 0.
  EXPECT_EQ(Files("base.zip")[0], "UsesCount=1");
  EXPECT_EQ(Sections(), (std::vector<std::string>{"base.zip"}));
  for (const char* gone : {"ro.dat", "tools\\deep\\t2.txt"}) EXPECT_FALSE(os::FileExists(Installed(gone))) << gone;
  EXPECT_TRUE(os::DirectoryExists(Installed("tools\\deep")));
  EXPECT_TRUE(os::FileExists(Installed("bin\\app.exe")));
}

TEST_F(EngineInstall, AddingAndRemovingInOneRunCountsEachArchiveOnce) {
  WriteArchive("tools.zip", {{"tools/big.bin", std::string(300 * 1024, 'x')}});
  auto first = Tree({1, 2, 3});
  ASSERT_TRUE(Run(smInstall, first.get(), nullptr).Succeeded);
  const std::string entry = productkeys::kUninstallBase + "ZTK Engine Test";
  const long long sizeBefore = ProductDword(entry, "EstimatedSize");
  EXPECT_GE(sizeBefore, 300);
  auto add = Tree({4});
  auto remove = Tree({3});
  ClearLog();
  ASSERT_TRUE(Run(smAddDelete, add.get(), remove.get()).Succeeded);
  EXPECT_EQ(Files("base.zip")[0], "UsesCount=3");
  EXPECT_EQ(Sections(), (std::vector<std::string>{"base.zip"}));
  EXPECT_FALSE(os::FileExists(Installed("tools\\big.bin")));
  EXPECT_LE(ProductDword(entry, "EstimatedSize"), sizeBefore - 300);
  int passes = 0;
  for (const std::string& line : LogLines()) passes += line == " deleting not set components successful";
  EXPECT_EQ(passes, 1);
}

TEST_F(EngineInstall, UninstallRemovesTheProduct) {
  ASSERT_TRUE(Install().Succeeded);
  WriteFileBytes(Installed("USER\\settings.ini"), "made by the product");
  ASSERT_TRUE(Uninstall().Succeeded);
  EXPECT_FALSE(os::DirectoryExists(installDir));
  EXPECT_FALSE(ProductKeyExists(productkeys::kProduct));
  std::string value;
  ASSERT_TRUE(ProductValue(productkeys::kUninstallMark, "SystemName", value, HKEY_CURRENT_USER));
  EXPECT_EQ(value, "ZTK Engine Test");
  EXPECT_TRUE(os::DirectoryExists(dist));
}

TEST_F(EngineInstall, WithoutFullRegistrationNothingIsRecorded) {
  SetupGlobals.RegisteredSetup = false;
  ASSERT_TRUE(Install().Succeeded);
  EXPECT_TRUE(os::FileExists(Installed("readme.txt")));
  EXPECT_FALSE(ProductKeyExists(productkeys::kProduct));
  EXPECT_FALSE(os::FileExists(Installed("uninst.idf")));
  EXPECT_TRUE(Uninstall().Succeeded);
  EXPECT_TRUE(os::FileExists(Installed("readme.txt")));
}

// Archive paths far beyond the classic 260 characters install, are recorded and go again.
TEST_F(EngineInstall, DeepPathsInstallAndUninstall) {
  const std::string part(60, 'd');
  std::string stored;
  for (int i = 0; i < 5; ++i) stored += part + std::to_string(i) + "/";
  Describe({{1, "Deep", "deep.zip", ""}, {2, "Base", "base.zip", ""}});
  WriteArchive("deep.zip", {{stored + "deep.txt", "deep bytes"}});
  ASSERT_TRUE(Install().Succeeded);
  std::string windowsPath = stored + "deep.txt";
  for (char& c : windowsPath) c = c == '/' ? '\\' : c;
  const std::string deep = Installed(windowsPath);
  ASSERT_GT(deep.size(), 300u);
  EXPECT_EQ(os::GetFileSize(deep), 10);
  EXPECT_EQ(Files("deep.zip"), (std::vector<std::string>{"UsesCount=1", deep + "="}));
  auto remove = Tree({1});
  ASSERT_TRUE(Run(smAddDelete, nullptr, remove.get()).Succeeded);
  EXPECT_FALSE(os::FileExists(deep));
  ASSERT_TRUE(Uninstall().Succeeded);
  EXPECT_FALSE(os::DirectoryExists(installDir));
}

// Names the ANSI code page cannot hold (an entry stored as UTF-8, a directory the user typed)
// are recorded as they are, so that the removal finds them again.
TEST_F(EngineInstall, NamesOutsideTheAnsiCodePageAreRecordedWhole) {
  installDir = root.File("Программа 数据");
  TestEntry cjk{"数据/文件.txt", "cjk bytes"};
  cjk.flags = 0x0800;
  Describe({{1, "Wide", "wide.zip", ""}, {2, "Base", "base.zip", ""}});
  WriteArchive("wide.zip", {cjk});
  ASSERT_TRUE(Install().Succeeded);
  const std::string file = Installed("数据\\文件.txt");
  EXPECT_EQ(os::GetFileSize(file), 9);
  EXPECT_EQ(Files("wide.zip"), (std::vector<std::string>{"UsesCount=1", file + "="}));
  TIDFTextFile uninstIdf;
  ASSERT_TRUE(uninstIdf.LoadFromFile(Installed("uninst.idf")));
  EXPECT_EQ(uninstIdf.FindSection("Directories")->Params(0)->Name, installDir);
  auto remove = Tree({1});
  ASSERT_TRUE(Run(smAddDelete, nullptr, remove.get()).Succeeded);
  EXPECT_FALSE(os::FileExists(file));
  ASSERT_TRUE(Uninstall().Succeeded);
  EXPECT_FALSE(os::DirectoryExists(installDir));
}

// Cancelled at each progress report of a fresh installation in turn: no crash, no hang,
// the result the sequence gives, and the machine still clean after a full install and
// uninstall.
TEST_F(EngineInstall, CancelAtEveryReport) {
  // The reports made before the library step hands over to the clean-up of not-done
  // subsystems cancel the installation; later ones leave it a success.
  std::vector<std::size_t> logLinesAtReport;
  const RunResult full = Install([&](TProgressThread&, int) { logLinesAtReport.push_back(LogLines().size()); });
  ASSERT_TRUE(full.Succeeded);
  const auto lines = LogLines();
  const auto cleanUp = std::find(lines.begin(), lines.end(), " IN procedure DELNOTSETSYSTEMS");
  ASSERT_NE(cleanUp, lines.end());
  const auto linesBeforeCleanUp = static_cast<std::size_t>(cleanUp - lines.begin());
  int lastFailing = 0;
  for (std::size_t k = 0; k < logLinesAtReport.size(); ++k) {
    if (logLinesAtReport[k] <= linesBeforeCleanUp) lastFailing = static_cast<int>(k) + 1;
  }
  ASSERT_TRUE(Uninstall().Succeeded);

  for (int k = 1; k <= full.Reports; ++k) {
    SCOPED_TRACE("cancelled at report " + std::to_string(k));
    const RunResult cancelled = Install([k](TProgressThread& t, int report) {
      if (report == k) t.Terminate();
    });
    EXPECT_EQ(cancelled.Succeeded, k > lastFailing);
    ASSERT_TRUE(Install().Succeeded);
    ASSERT_TRUE(Uninstall().Succeeded);
    EXPECT_FALSE(os::DirectoryExists(installDir));
    EXPECT_FALSE(ProductKeyExists(productkeys::kProduct));
  }
}

}  // namespace
