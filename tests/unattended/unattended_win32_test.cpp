// setup.exe /S and ztkuinst.exe /S as an administrator's deployment tool starts them: real
// processes in a distribution directory of their own, judged by their exit codes, the files
// and registry they leave and what the log says. No window may appear.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "common/osfile.h"
#include "common/process_win32.h"
#include "common/testsupport.h"
#include "common/text.h"
#include "engine/ShellFolders_win32.h"
#include "setup/Platform_win32.h"
#include "setup/ProductKeys_win32.h"
#include "setup/Startup.h"
#include "unzip/extract_test_support.h"

namespace {

const std::string kSystem = "ZTK Unattended Test";
const std::string kGroup = "ZTK Unattended Group";

// The product: 1 Core (with a menu link), 2 Docs needs 1, 3 Samples under 2 needs 2,
// 4 Runtime never shown, 5 Tools on its own.
const char kDescription[] =
    "IDF-CPS-text\r\n\r\n"
    "[Params]\r\nSystem name=ZTK Unattended Test\r\nSystem path=%DIR%\r\n"
    "Program Group=ZTK Unattended Group\r\nCompany Name=Quorvalen\r\nInstall type=1\r\n"
    "SetupType=0\r\n%EXTRA%"
    "[SubSystems]\r\nCore=1\r\nDocs=2\r\nSamples=3\r\nRuntime=4\r\nTools=5\r\n"
    "[Core]\r\nShort name=Core\r\nFull name=Core files\r\nArchive=core.zip\r\n"
    "MenuLink1=core\\readme.txt||core\\readme.txt|Read me|The product's notes\r\n"
    "[Docs]\r\nShort name=Docs\r\nFull name=Documentation\r\nArchive=docs.zip\r\nDepend=1\r\n"
    "[Samples]\r\nShort name=Samples\r\nFull name=Samples\r\nArchive=samples.zip\r\n"
    "Parent=2\r\nViewParent=2\r\nDepend=2\r\n"
    "[Runtime]\r\nShort name=Runtime\r\nFull name=Runtime\r\nArchive=runtime.zip\r\n"
    "ViewParent=-1\r\n"
    "[Tools]\r\nShort name=Tools\r\nFull name=Tools\r\nArchive=tools.zip\r\n";

const char* const kArchives[] = {"core", "docs", "samples", "runtime", "tools"};

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
    text.replace(at, from.size(), to);
    at += to.size();
  }
  return text;
}

// A user profile of the machine's list that the test makes itself: a directory the
// installer must treat as the system's, which a test may plant files in and lose safely.
class TFakeProfile {
 public:
  explicit TFakeProfile(const std::string& directory) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_WRITE | KEY_WOW64_64KEY, nullptr, &key,
                        nullptr) == ERROR_SUCCESS) {
      const std::wstring value = win32::Wide(directory);
      RegSetValueExW(key, L"ProfileImagePath", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
      RegCloseKey(key);
    }
  }
  ~TFakeProfile() { RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kKey, KEY_WOW64_64KEY, 0); }

 private:
  static constexpr const wchar_t* kKey =
      L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-21-1-2-3-7719";
};

class Unattended : public ::testing::Test {
 protected:
  void SetUp() override {
    text::SetAnsiCodePage(static_cast<int>(GetACP()));
    dist_ = root_.File("dist");
    installDir_ = root_.File("Program Files\\Unattended Prod");
    ASSERT_TRUE(os::CreateDirectories(dist_));
    Describe("");
    for (const char* name : kArchives) {
      WriteFileBytes(dist_ + "\\" + name + ".zip",
                     extracttest::BuildZip({{std::string(name) + "/readme.txt",
                                             std::string("the ") + name + " subsystem\r\n"}}));
    }
    ASSERT_TRUE(CopyFileW(win32::Wide(proctest::WindowsPath(SETUP_EXE)).c_str(),
                          win32::Wide(dist_ + "\\setup.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(win32::Wide(proctest::WindowsPath(ZTKUINST_EXE)).c_str(),
                          win32::Wide(dist_ + "\\ztkuinst.exe").c_str(), FALSE));
    CleanMachine();
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    log_ = win32::Narrow(temp) + "ztkinst.log";
  }
  void TearDown() override { CleanMachine(); }

  void Describe(const std::string& extraParams) {
    WriteFileBytes(dist_ + "\\setup.idf",
                   Replace(Replace(kDescription, "%DIR%", installDir_), "%EXTRA%", extraParams));
  }

  static void CleanMachine() {
    productkeys::Delete(HKEY_LOCAL_MACHINE, productkeys::kProduct);
    productkeys::Delete(HKEY_LOCAL_MACHINE, productkeys::kUninstallBase + kSystem);
    productkeys::Delete(HKEY_CURRENT_USER, productkeys::kUninstallMark);
    std::error_code ignored;
    std::filesystem::remove_all(
        win32::Wide(ShellFolderPath(TShellFolder::Programs) + "\\" + kGroup), ignored);
  }

  // Runs setup.exe with the arguments in the distribution; a window of its own fails the test.
  int Setup(const std::string& args, const std::string& program = "setup.exe") {
    logStart_ = os::FileExists(log_) ? ReadFileBytes(log_).size() : 0;
    bool window = false;
    const proctest::TProcessResult run = proctest::RunProcess(
        "\"" + dist_ + "\\" + program + "\" " + args, dist_, 60000, [&](DWORD pid) {
          if (!window && (proctest::FindProcessWindow(pid, L"#32770") ||
                          proctest::FindProcessWindow(pid, L"TfmInstDlg"))) {
            window = true;
          }
        });
    EXPECT_TRUE(run.Started) << args;
    EXPECT_TRUE(run.Finished) << args;
    EXPECT_FALSE(window) << "a window appeared in an unattended run: " << args;
    return static_cast<int>(run.ExitCode);
  }
  // What the last run wrote to the log.
  std::string RunLog() const {
    const std::string log = ReadFileBytes(log_);
    return log.size() > logStart_ ? log.substr(logStart_) : std::string();
  }

  bool Installed(const char* archive, const std::string& dir = "") const {
    return os::FileExists((dir.empty() ? installDir_ : dir) + "\\" + archive + "\\readme.txt");
  }
  std::vector<std::string> InstalledSubsystems() const {
    auto key = productkeys::Open(HKEY_LOCAL_MACHINE, productkeys::kSubSystems, false);
    std::vector<std::string> names = key.Opened() ? key.GetValueNames() : std::vector<std::string>{};
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string UninstallValue(const std::string& name) const {
    std::string value;
    productkeys::Open(HKEY_LOCAL_MACHINE, productkeys::kUninstallBase + kSystem, false)
        .ReadString(name, value);
    return value;
  }

  // The machine's search path, as the system keeps it.
  static std::string MachinePath() {
    HKEY key = nullptr;
    std::wstring value(32768, L'\0');
    DWORD size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                      L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", 0,
                      KEY_READ, &key) != ERROR_SUCCESS) {
      return {};
    }
    const LONG read = RegQueryValueExW(key, L"Path", nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(value.data()), &size);
    RegCloseKey(key);
    return read == ERROR_SUCCESS ? win32::Narrow(value.c_str()) : std::string();
  }

  TempDir root_;
  std::string dist_, installDir_, log_;
  std::size_t logStart_ = 0;
};

using Names = std::vector<std::string>;

TEST_F(Unattended, EachModeAndSwitchEndsWithItsExitCodeAndTheMachineItLeaves) {
  // Nothing installed: removal and changes have nothing to do.
  EXPECT_EQ(Setup("UNINSTALL /S"), exitcode::kNothingToDo);
  EXPECT_EQ(Setup("/S /ADD=5"), exitcode::kNothingToDo);

  // A custom installation into a directory with blanks, given with a trailing backslash.
  const std::string custom = root_.File("Other Dir\\Prod");
  EXPECT_EQ(Setup("/S /DIR=\"" + custom + "\\\" /COMPONENTS=3 /GROUP=\"" + kGroup + "\""),
            exitcode::kDone);
  EXPECT_TRUE(Installed("samples", custom) && Installed("docs", custom) &&
              Installed("core", custom) && Installed("runtime", custom));
  EXPECT_FALSE(Installed("tools", custom));
  EXPECT_EQ(InstalledSubsystems(), (Names{"Core", "Docs", "Runtime", "Samples"}));
  EXPECT_NE(RunLog().find(" unattended: installing into " + custom), std::string::npos);
  EXPECT_TRUE(os::FileExists(ShellFolderPath(TShellFolder::Programs) + "\\" + kGroup +
                             "\\Read me.lnk"));
  EXPECT_NE(MachinePath().find(custom + "\\SYSTEM"), std::string::npos);

  // Add one, remove one: the dependent of the removed one goes with it.
  const std::string sizeBefore = UninstallValue("EstimatedSize");
  EXPECT_EQ(Setup("/S /ADD=5 /REMOVE=2"), exitcode::kDone);
  EXPECT_TRUE(Installed("tools", custom));
  EXPECT_FALSE(Installed("docs", custom) || Installed("samples", custom));
  EXPECT_EQ(InstalledSubsystems(), (Names{"Core", "Runtime", "Tools"}));
  EXPECT_EQ(Setup("/S /ADD=9"), exitcode::kBadInput);  // unknown number: nothing changed
  EXPECT_EQ(InstalledSubsystems(), (Names{"Core", "Runtime", "Tools"}));

  // The removal the uninstall entry holds, with its path with blanks quoted.
  const std::string quiet = UninstallValue("QuietUninstallString");
  ASSERT_NE(quiet.find("ztkuinst.exe\" /S \"" + custom + "\\uninst.idf\""), std::string::npos) << quiet;
  const proctest::TProcessResult removal = proctest::RunProcess(quiet, root_.Path(), 60000);
  EXPECT_TRUE(removal.Finished);
  EXPECT_EQ(removal.ExitCode, 0u);
  EXPECT_FALSE(os::DirectoryExists(custom));
  EXPECT_FALSE(productkeys::Exists(HKEY_LOCAL_MACHINE, productkeys::kProduct));
  EXPECT_FALSE(productkeys::Exists(HKEY_LOCAL_MACHINE, productkeys::kUninstallBase + kSystem));
  EXPECT_FALSE(os::DirectoryExists(ShellFolderPath(TShellFolder::Programs) + "\\" + kGroup));
  EXPECT_EQ(MachinePath().find(custom), std::string::npos);
  // What stays on purpose: the removal mark until the next start.
  EXPECT_TRUE(productkeys::Exists(HKEY_CURRENT_USER, productkeys::kUninstallMark));
  EXPECT_EQ(Setup("UNINSTALL /S"), exitcode::kNothingToDo);
}

TEST_F(Unattended, AnExistingDirectoryNeedsForceAndADiskRootIsNeverTaken) {
  ASSERT_TRUE(os::CreateDirectories(installDir_));
  WriteFileBytes(installDir_ + "\\keep.txt", "the administrator's own file");
  EXPECT_EQ(Setup("/S"), exitcode::kRefused);
  EXPECT_TRUE(os::FileExists(installDir_ + "\\keep.txt"));
  EXPECT_FALSE(productkeys::Exists(HKEY_LOCAL_MACHINE, productkeys::kProduct));
  EXPECT_NE(RunLog().find("exists and /FORCE is not given"), std::string::npos);

  EXPECT_EQ(Setup("/S /FORCE /DIR=C:\\"), exitcode::kRefused);
  EXPECT_EQ(Setup("/S /DIR=C:"), exitcode::kRefused);

  EXPECT_EQ(Setup("/S /FORCE /LEVEL=2"), exitcode::kDone);
  EXPECT_FALSE(os::FileExists(installDir_ + "\\keep.txt"));  // emptied, as the wizard warns
  EXPECT_TRUE(Installed("core") && Installed("tools"));

  // A found installation: /DIR and /COMPONENTS belong to a new one.
  EXPECT_EQ(Setup("/S /COMPONENTS=1"), exitcode::kBadInput);
  EXPECT_EQ(Setup("UNINSTALL /S"), exitcode::kDone);
  EXPECT_FALSE(os::DirectoryExists(installDir_));

  // "OnlyNewDir": an existing directory is refused even with /FORCE.
  Describe("OnlyNewDir=1\r\n");
  ASSERT_TRUE(os::CreateDirectories(installDir_));
  EXPECT_EQ(Setup("/S /FORCE"), exitcode::kRefused);
}

TEST_F(Unattended, ABadCommandLineOrDescriptionChangesNothing) {
  const struct {
    const char* args;
    const char* logged;
  } cases[] = {
      {"/S /QUIET", " bad command line: unknown switch: /QUIET"},
      {"/S /LEVEL=3", " bad command line: the switch /LEVEL takes 1 or 2: /LEVEL=3"},
      {"/DIR=C:\\X", " bad command line: the switches /DIR"},
      {"/S /COMPONENTS=1,x", " bad command line: the switch /COMPONENTS needs"},
      {"/S /COMPONENTS=7", " unattended: unknown subsystem number 7"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Setup(c.args), exitcode::kBadInput) << c.args;
    EXPECT_NE(RunLog().find(c.logged), std::string::npos) << c.args << "\n" << RunLog();
  }
  WriteFileBytes(dist_ + "\\setup.idf", "not a description");
  EXPECT_EQ(Setup("/S"), exitcode::kBadInput);
  EXPECT_FALSE(os::DirectoryExists(installDir_));
  EXPECT_FALSE(productkeys::Exists(HKEY_LOCAL_MACHINE, productkeys::kProduct));
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  return s;
}

TEST_F(Unattended, ADirectoryNamingAProfileOrItsParentIsRefusedAndNothingIsDeleted) {
  const std::string profiles = root_.File("Profiles"), profile = profiles + "\\Tester";
  ASSERT_TRUE(os::CreateDirectories(profile + "\\Documents"));
  WriteFileBytes(profile + "\\Documents\\keep.txt", "the user's own file");
  WriteFileBytes(profiles + "\\keep.txt", "another file of the system");
  TFakeProfile fake(profile);
  // Every spelling below names the profile or its parent; the run starts in dist_, beside
  // the profiles' directory.
  const std::string forms[] = {
      profile,
      profile + "\\x\\..",
      profile + "\\.",
      profile + "\\Documents\\..\\",
      "\\\\?\\" + profile,
      "..\\Profiles\\Tester",
      "..\\Profiles",
      profiles,
      Upper(profile) + ". .",
  };
  for (const std::string& form : forms) {
    EXPECT_EQ(Setup("/S /FORCE /DIR=\"" + form + "\""), exitcode::kRefused) << form;
    EXPECT_NE(RunLog().find(" unattended: refused: Folder "), std::string::npos) << form << "\n" << RunLog();
    ASSERT_EQ(ReadFileBytes(profile + "\\Documents\\keep.txt"), "the user's own file") << form;
    ASSERT_EQ(ReadFileBytes(profiles + "\\keep.txt"), "another file of the system") << form;
    EXPECT_FALSE(productkeys::Exists(HKEY_LOCAL_MACHINE, productkeys::kProduct)) << form;
  }
  // Below the profile the product may go.
  EXPECT_EQ(Setup("/S /FORCE /DIR=\"" + profile + "\\Apps\\x\\..\\Prod\""), exitcode::kDone);
  EXPECT_TRUE(Installed("core", profile + "\\Apps\\Prod"));
  // A record changed to name the profile itself: the removal deletes nothing there.
  productkeys::Open(HKEY_LOCAL_MACHINE, productkeys::kProduct, false)
      .WriteString("Path", profile + "\\Apps\\Prod\\..\\..");
  EXPECT_EQ(Setup("UNINSTALL /S"), exitcode::kDone);
  EXPECT_NE(RunLog().find(" installed path is not a directory of its own; nothing deleted"), std::string::npos)
      << RunLog();
  EXPECT_EQ(ReadFileBytes(profile + "\\Documents\\keep.txt"), "the user's own file");
  EXPECT_TRUE(Installed("core", profile + "\\Apps\\Prod"));
  // Put back, the record removes the product.
  EXPECT_EQ(Setup("/S /FORCE /DIR=\"" + profile + "\\Apps\\Prod\""), exitcode::kDone);
  EXPECT_EQ(Setup("UNINSTALL /S"), exitcode::kDone);
  EXPECT_FALSE(os::DirectoryExists(profile + "\\Apps\\Prod"));
  EXPECT_EQ(ReadFileBytes(profile + "\\Documents\\keep.txt"), "the user's own file");
}

TEST_F(Unattended, RootsAndTheSystemsDirectoriesAreRefusedInEverySpelling) {
  // Files of our own in the places named, to show that nothing there was touched.
  wchar_t windows[MAX_PATH] = {};
  GetWindowsDirectoryW(windows, MAX_PATH);
  const std::string windowsDir = win32::Narrow(windows);
  const std::string markers[] = {"C:\\ztk-unattended-marker.txt", windowsDir + "\\ztk-unattended-marker.txt"};
  for (const std::string& marker : markers) WriteFileBytes(marker, "keep");
  const char* const forms[] = {
      "C:\\.",        "C:\\..",          "C:\\hd\\x\\..\\..",  "D:\\X\\..",          "\\\\?\\C:\\",
      "C:\\windows",  "C:\\WINDOWS\\x\\..", "\\\\?\\C:\\windows\\system32", "C:\\windows\\system32\\",
      "C:\\Program Files", "C:\\Program Files (x86)\\.", "C:\\ProgramData", "C:\\users",
      "C:\\users\\Public\\..", "C:\\windows\\system32\\drivers",
  };
  for (const char* form : forms) {
    EXPECT_EQ(Setup(std::string("/S /FORCE /DIR=\"") + form + "\""), exitcode::kRefused) << form;
    for (const std::string& marker : markers) ASSERT_TRUE(os::FileExists(marker)) << form;
  }
  // The running user's own profile, and a path that climbs from the distribution to the root.
  wchar_t profile[MAX_PATH] = {};
  GetEnvironmentVariableW(L"USERPROFILE", profile, MAX_PATH);
  EXPECT_EQ(Setup("/S /FORCE /DIR=\"" + win32::Narrow(profile) + "\""), exitcode::kRefused);
  std::string up;
  for (char c : dist_) up += c == '\\' ? "..\\" : "";
  EXPECT_EQ(Setup("/S /FORCE /DIR=" + up), exitcode::kRefused) << up;
  for (const std::string& marker : markers) {
    EXPECT_TRUE(os::FileExists(marker));
    os::RemoveFile(marker);
  }
  EXPECT_FALSE(productkeys::Exists(HKEY_LOCAL_MACHINE, productkeys::kProduct));
}

}  // namespace

namespace {

std::vector<std::string> PlantedNames() {
  std::vector<std::string> names;
  std::string list = PLANTED_NAMES;
  for (std::size_t start = 0; start <= list.size();) {
    std::size_t end = list.find(',', start);
    if (end == std::string::npos) end = list.size();
    names.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

}  // namespace

TEST_F(Unattended, LibrariesBesideSetupExeAreNeverLoaded) {
  for (const std::string& name : PlantedNames()) {
    ASSERT_TRUE(CopyFileW(win32::Wide(proctest::WindowsPath(PLANTED_DIR) + "\\" + name + ".dll").c_str(),
                          win32::Wide(dist_ + "\\" + name + ".dll").c_str(), FALSE))
        << name;
  }
  // Wine prefers its own copies of these libraries, whatever lies beside the program, so
  // here this shows that such files change nothing; that Windows takes none of them rests
  // on the program importing only its known libraries and loading the rest by full path.
  {
    EXPECT_EQ(Setup("/S"), exitcode::kDone) << RunLog();
    EXPECT_TRUE(Installed("core"));
    // The removal, as the list of installed programs starts it: through ztkuinst's copy.
    const proctest::TProcessResult removal =
        proctest::RunProcess(UninstallValue("QuietUninstallString"), root_.Path(), 60000);
    EXPECT_TRUE(removal.Finished);
    EXPECT_EQ(removal.ExitCode, 0u);
  }
  EXPECT_FALSE(os::DirectoryExists(installDir_));
  for (const std::string& name : PlantedNames()) {
    EXPECT_FALSE(os::FileExists(dist_ + "\\" + name + ".dll.loaded")) << name << ".dll was loaded";
  }
}

TEST_F(Unattended, ASecondInstallerWhileOneRunsChangesNothing) {
  HANDLE lock = CreateMutexW(nullptr, TRUE, kRunLockName);
  ASSERT_NE(lock, nullptr);
  const int code = Setup("/S");
  ReleaseMutex(lock);
  CloseHandle(lock);
  EXPECT_EQ(code, exitcode::kFailed);
  EXPECT_NE(RunLog().find(std::string(" ") + kAnotherRunEnglish), std::string::npos) << RunLog();
  EXPECT_FALSE(os::DirectoryExists(installDir_));
  EXPECT_FALSE(productkeys::Exists(HKEY_LOCAL_MACHINE, productkeys::kProduct));
  // Once it has ended, the installation runs.
  EXPECT_EQ(Setup("/S"), exitcode::kDone);
  EXPECT_TRUE(Installed("core"));
}
