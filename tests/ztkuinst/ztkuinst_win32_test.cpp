// ztkuinst.exe run as the list of installed programs runs it, with a stand-in for the
// installed setup program.
#include <windows.h>

#include <gtest/gtest.h>

#include "common/osfile.h"
#include "common/testsupport.h"
#include "common/win32.h"
#include "description/InstIDF.h"
#include "setup/ProductKeys_win32.h"

namespace {

int RunProcess(const std::string& commandLine) {
  std::wstring line = win32::Wide(commandLine);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process))
    return -1;
  WaitForSingleObject(process.hProcess, 60000);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return static_cast<int>(code);
}

class Uninstaller : public ::testing::Test {
 protected:
  void SetUp() override {
    installDir = root.File("Program Files\\Prod X");
    ASSERT_TRUE(os::CreateDirectories(installDir + "\\EXE"));
    ASSERT_TRUE(os::CreateDirectories(installDir + "\\USER\\left over"));
    WriteFileBytes(installDir + "\\USER\\left over\\settings.ini", "kept by the setup program");
    ASSERT_TRUE(os::CopyFileTo(FAKE_SETUP_EXE, installDir + "\\EXE\\Setup.exe", true));
    WriteFileBytes(installDir + "\\EXE\\setup.idf",
                   "IDF-CPS-text\r\n\r\n[Params]\r\nSystem name=ZTK Uninstaller Test\r\n");
    TIDFTextFile idf;
    TIDFSection* u = idf.AddSection("Uninstall");
    u->AddParam("FileName")->SetAsString(installDir + "\\EXE\\Setup.exe");
    u->AddParam("ParamStr")->SetAsString("UNINSTALL");
    idf.AddSection("Directories")->AddParam(installDir);
    ASSERT_TRUE(idf.SaveToFile(installDir + "\\uninst.idf"));
    productkeys::Open(HKEY_LOCAL_MACHINE, productkeys::kProduct, true).WriteString("Path", installDir);
    productkeys::Open(HKEY_LOCAL_MACHINE, entry, true).WriteString("DisplayName", "ZTK Uninstaller Test");
    record = root.File("record.txt");
    SetEnvironmentVariableW(L"FAKE_SETUP_RECORD", win32::Wide(record).c_str());
    SetEnvironmentVariableW(L"FAKE_SETUP_EXIT", L"7");
  }
  void TearDown() override {
    productkeys::Delete(HKEY_LOCAL_MACHINE, productkeys::kProduct);
    productkeys::Delete(HKEY_LOCAL_MACHINE, entry);
  }

  TempDir root;
  std::string installDir, record;
  const std::string entry = productkeys::kUninstallBase + "ZTK Uninstaller Test";
};

TEST_F(Uninstaller, SilentRemovalRunsACopyAndClearsWhatIsLeft) {
  // As the entry holds it: the path unquoted, with blanks.
  const int code = RunProcess("\"" + std::string(ZTKUINST_EXE) + "\" /S " + installDir + "\\uninst.idf");
  EXPECT_EQ(code, 7);
  const std::string seen = ReadFileBytes(record);
  EXPECT_NE(seen.find("args=UNINSTALL /S\r\n"), std::string::npos) << seen;
  EXPECT_NE(seen.find("idf=yes"), std::string::npos) << seen;
  // The copy ran outside the installation, from a directory that is gone again.
  const auto cwdAt = seen.find("cwd=") + 4;
  const std::string copyDir = seen.substr(cwdAt, seen.find("\r\n", cwdAt) - cwdAt);
  EXPECT_EQ(copyDir.find(installDir), std::string::npos) << copyDir;
  EXPECT_FALSE(os::DirectoryExists(copyDir));
  EXPECT_FALSE(os::DirectoryExists(installDir));
  EXPECT_FALSE(productkeys::Exists(HKEY_LOCAL_MACHINE, entry));
}

TEST_F(Uninstaller, AProductStillInstalledKeepsItsEntryAndFiles) {
  // The stand-in does not remove anything when it is not asked to uninstall: as if the
  // person chose to add or remove subsystems instead.
  TIDFTextFile idf;
  idf.AddSection("Uninstall")->AddParam("FileName")->SetAsString(installDir + "\\EXE\\Setup.exe");
  ASSERT_TRUE(idf.SaveToFile(installDir + "\\uninst.idf"));
  SetEnvironmentVariableW(L"FAKE_SETUP_EXIT", L"0");
  EXPECT_EQ(RunProcess("\"" + std::string(ZTKUINST_EXE) + "\" \"" + installDir + "\\uninst.idf\""), 0);
  EXPECT_NE(ReadFileBytes(record).find("args=\r\n"), std::string::npos) << ReadFileBytes(record);
  EXPECT_TRUE(os::FileExists(installDir + "\\USER\\left over\\settings.ini"));
  EXPECT_TRUE(productkeys::Exists(HKEY_LOCAL_MACHINE, entry));
}

TEST_F(Uninstaller, AMissingOrDamagedDescriptionDeletesNothing) {
  for (const std::string& description : {root.File("nowhere\\uninst.idf"), installDir + "\\EXE\\setup.idf"}) {
    EXPECT_EQ(RunProcess("\"" + std::string(ZTKUINST_EXE) + "\" /S " + description), 3) << description;
    EXPECT_FALSE(os::FileExists(record));
    EXPECT_TRUE(os::FileExists(installDir + "\\USER\\left over\\settings.ini"));
    EXPECT_TRUE(productkeys::Exists(HKEY_LOCAL_MACHINE, entry));
  }
}

TEST_F(Uninstaller, ACraftedDescriptionDeletesNothingOutsideTheInstalledDirectory) {
  // uninst.idf lies in the installed directory and may have been changed: only the directory
  // that the product's registry key records, and what lies below it, may go.
  const std::string elsewhere = root.File("Elsewhere");
  ASSERT_TRUE(os::CreateDirectories(elsewhere));
  WriteFileBytes(elsewhere + "\\keep.txt", "not the product's");
  wchar_t windows[MAX_PATH] = {};
  GetWindowsDirectoryW(windows, MAX_PATH);
  const std::string windowsDir = win32::Narrow(windows);
  const std::string marker = windowsDir + "\\ztk-uninstaller-marker.txt";
  WriteFileBytes(marker, "keep");
  TIDFTextFile idf;
  TIDFSection* u = idf.AddSection("Uninstall");
  u->AddParam("FileName")->SetAsString(installDir + "\\EXE\\Setup.exe");
  u->AddParam("ParamStr")->SetAsString("UNINSTALL");
  TIDFSection* dirs = idf.AddSection("Directories");
  for (const std::string& d : {elsewhere, installDir + "\\..\\Elsewhere", installDir + "\\..", windowsDir,
                               std::string("C:\\"), "\\\\?\\" + windowsDir, installDir + "\\USER"})
    dirs->AddParam(d);
  ASSERT_TRUE(idf.SaveToFile(installDir + "\\uninst.idf"));
  EXPECT_EQ(RunProcess("\"" + std::string(ZTKUINST_EXE) + "\" /S " + installDir + "\\uninst.idf"), 7);
  EXPECT_FALSE(os::DirectoryExists(installDir + "\\USER"));  // below the installed directory: gone
  EXPECT_EQ(ReadFileBytes(elsewhere + "\\keep.txt"), "not the product's");
  EXPECT_TRUE(os::FileExists(marker));
  EXPECT_TRUE(os::FileExists(record));
  os::RemoveFile(marker);
}

TEST_F(Uninstaller, ARecordedRootOrSystemDirectoryGivesNothingToDelete) {
  const std::string elsewhere = root.File("Elsewhere");
  ASSERT_TRUE(os::CreateDirectories(elsewhere));
  WriteFileBytes(elsewhere + "\\keep.txt", "not the product's");
  TIDFTextFile idf;
  TIDFSection* u = idf.AddSection("Uninstall");
  u->AddParam("FileName")->SetAsString(installDir + "\\EXE\\Setup.exe");
  idf.AddSection("Directories")->AddParam(elsewhere);
  ASSERT_TRUE(idf.SaveToFile(installDir + "\\uninst.idf"));
  // The product's key itself names the directory above everything.
  productkeys::Open(HKEY_LOCAL_MACHINE, productkeys::kProduct, true).WriteString("Path", root.Path() + "\\x\\..\\..\\..\\..\\..\\..\\..\\..");
  EXPECT_EQ(RunProcess("\"" + std::string(ZTKUINST_EXE) + "\" /S " + installDir + "\\uninst.idf"), 7);
  EXPECT_EQ(ReadFileBytes(elsewhere + "\\keep.txt"), "not the product's");
  EXPECT_TRUE(os::FileExists(installDir + "\\USER\\left over\\settings.ini"));
}

}  // namespace
