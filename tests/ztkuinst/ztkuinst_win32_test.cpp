// ztkuinst.exe run as the list of installed programs runs it, with a stand-in for the
// installed setup program.
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include "common/osfile.h"
#include "common/testsupport.h"
#include "common/text.h"
#include "common/win32.h"
#include "description/InstIDF.h"
#include "setup/Platform_win32.h"
#include "setup/ProductKeys_win32.h"
#include "tools/ztkuinst/PrivateCopy_win32.h"

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

  // One line of the stand-in's record ("name=value").
  std::string Recorded(const std::string& name) const {
    const std::string seen = ReadFileBytes(record);
    const std::size_t at = seen.find(name + "=");
    if (at == std::string::npos) return std::string();
    const std::size_t from = at + name.size() + 1;
    return seen.substr(from, seen.find("\r\n", from) - from);
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

TEST_F(Uninstaller, TheCopyRunsFromANewProtectedDirectoryAndCannotBeChangedMeanwhile) {
  // The new form of the entry: both paths quoted.
  EXPECT_EQ(RunProcess("\"" + std::string(ZTKUINST_EXE) + "\" /S \"" + installDir + "\\uninst.idf\""), 7);
  const std::string copyDir = Recorded("cwd");
  // A name nobody can guess, below the temporary directory the uninstaller chose.
  const std::string root = uninst::PrivateTempRoot();
  ASSERT_TRUE(text::SameTextAscii(copyDir.substr(0, root.size()), root)) << copyDir << " " << root;
  const std::string name = copyDir.substr(root.size());
  ASSERT_EQ(name.size(), 9u + 32u) << name;
  EXPECT_EQ(name.substr(0, 9), "ztkuinst-");
  EXPECT_EQ(name.find_first_not_of("0123456789abcdef", 9), std::string::npos) << name;
  // The running copy's own file stays as it was checked.
  EXPECT_EQ(Recorded("writable"), "no");
  EXPECT_FALSE(os::DirectoryExists(copyDir));
  EXPECT_FALSE(os::DirectoryExists(installDir));
}

TEST_F(Uninstaller, WhileAnotherInstallerRunsNothingIsCopiedStartedOrDeleted) {
  HANDLE lock = CreateMutexW(nullptr, TRUE, kRunLockName);
  ASSERT_NE(lock, nullptr);
  const int code = RunProcess("\"" + std::string(ZTKUINST_EXE) + "\" /S \"" + installDir + "\\uninst.idf\"");
  ReleaseMutex(lock);
  CloseHandle(lock);
  EXPECT_EQ(code, 1);
  EXPECT_FALSE(os::FileExists(record));
  EXPECT_TRUE(os::FileExists(installDir + "\\USER\\left over\\settings.ini"));
  EXPECT_TRUE(productkeys::Exists(HKEY_LOCAL_MACHINE, entry));
}

// ---- the private directory and the checked copy, in this process -----------------------

TEST(PrivateCopy, ADirectoryThatExistsIsNeverTaken) {
  TempDir root;
  const std::string planted = root.File("ztkuinst-0123456789abcdef0123456789abcdef");
  ASSERT_TRUE(os::CreateDirectories(planted));
  WriteFileBytes(planted + "\\setup.exe", "someone else's program");
  uninst::TPrivateDirectory directory;
  std::string error;
  EXPECT_FALSE(directory.Create(root.Path(), "ztkuinst-0123456789abcdef0123456789abcdef", error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(directory.Path(), "");
  directory.Remove();
  EXPECT_EQ(ReadFileBytes(planted + "\\setup.exe"), "someone else's program");
}

TEST(PrivateCopy, TwoDirectoriesGetTwoNamesAndGoAwayWithTheirContents) {
  TempDir root;
  std::string first, error;
  {
    uninst::TPrivateDirectory a, b;
    ASSERT_TRUE(a.Create(root.Path(), error)) << error;
    ASSERT_TRUE(b.Create(root.Path(), error)) << error;
    EXPECT_NE(a.Path(), b.Path());
    first = a.Path();
    WriteFileBytes(first + "\\file.txt", "x");
    // Held: it can be neither renamed nor replaced while it is used.
    EXPECT_FALSE(MoveFileW(win32::Wide(first).c_str(), win32::Wide(root.File("moved")).c_str()));
  }
  EXPECT_FALSE(os::DirectoryExists(first));
}

TEST(PrivateCopy, TheCopyIsCheckedAndHeld) {
  TempDir root;
  const std::string original = root.File("setup.exe"), copy = root.File("copy.exe");
  WriteFileBytes(original, "the installed program");
  win32::FileHandle held;
  std::string error;
  ASSERT_TRUE(uninst::CopyVerified(original, copy, held, error)) << error;
  // Nobody writes to the copy or deletes it while it is held.
  EXPECT_EQ(CreateFileW(win32::Wide(copy).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_FALSE(DeleteFileW(win32::Wide(copy).c_str()));
  held.reset();
  // A file already at the copy's place is never used, not even overwritten.
  WriteFileBytes(copy, "planted");
  EXPECT_FALSE(uninst::CopyVerified(original, copy, held, error));
  EXPECT_EQ(ReadFileBytes(copy), "planted");
}

// Protected (nothing inherited from the temporary directory), and only three entries:
// SYSTEM, the Administrators and the running user. (Wine keeps no access lists on its
// files, so what the directory is given is read here, not from the directory.)
TEST(PrivateCopy, TheAccessListIsProtectedAndNamesThreeOnly) {
  uninst::TPrivateSecurity security;
  std::string error;
  ASSERT_TRUE(security.Build(error)) << error;
  const std::string dacl = security.Text();
  EXPECT_EQ(dacl.substr(0, 3), "D:P") << dacl;
  std::size_t aces = 0;
  for (std::size_t at = dacl.find('('); at != std::string::npos; at = dacl.find('(', at + 1)) ++aces;
  EXPECT_EQ(aces, 3u) << dacl;
  EXPECT_NE(dacl.find("(A;OICI;FA;;;SY)"), std::string::npos) << dacl;
  EXPECT_NE(dacl.find("(A;OICI;FA;;;BA)"), std::string::npos) << dacl;
  // The running user, by its own SID.
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  std::vector<std::uint8_t> buffer(256);
  DWORD size = 0;
  ASSERT_TRUE(GetTokenInformation(token, TokenUser, buffer.data(), 256, &size));
  CloseHandle(token);
  LPWSTR sid = nullptr;
  ASSERT_TRUE(ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid));
  const std::string user = win32::Narrow(sid);
  LocalFree(sid);
  EXPECT_NE(dacl.find(";;;" + user + ")"), std::string::npos) << dacl << " " << user;
}

TEST(PrivateCopy, Sha256OfAKnownText) {
  TempDir root;
  WriteFileBytes(root.File("abc.txt"), "abc");
  win32::FileHandle file(CreateFileW(win32::Wide(root.File("abc.txt")).c_str(), GENERIC_READ,
                                     FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(file);
  std::vector<std::uint8_t> digest;
  std::uint64_t size = 0;
  ASSERT_TRUE(uninst::Sha256OfFile(file.get(), digest, size));
  EXPECT_EQ(size, 3u);
  std::string hex;
  for (std::uint8_t b : digest) {
    static const char kDigits[] = "0123456789abcdef";
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  EXPECT_EQ(hex, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
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
