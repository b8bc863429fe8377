// The search path on the real registry and files of the Wine prefix: the NT "Path" with its
// raw entries, the change notice, and the Windows 9x startup file in a test directory.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "common/osfile.h"
#include "common/testsupport.h"
#include "common/win32.h"
#include "engine/EngineMachine.h"
#include "engine/EnvPath_win32.h"
#include "engine/MainThread.h"
#include "engine/engine_support_win32.h"
#include "setup/Platform_win32.h"
#include "setup/SetupGlobals.h"

using namespace enginetest;

namespace {

const wchar_t kKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

struct RawValue {
  bool exists = false;
  DWORD type = 0;
  std::vector<BYTE> bytes;
};

RawValue ReadRaw() {
  RawValue v;
  win32::RegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return v;
  DWORD size = 0;
  if (RegQueryValueExW(key.get(), L"Path", nullptr, &v.type, nullptr, &size) != ERROR_SUCCESS) return v;
  v.bytes.resize(size);
  v.exists = RegQueryValueExW(key.get(), L"Path", nullptr, &v.type, v.bytes.data(), &size) == ERROR_SUCCESS;
  v.bytes.resize(size);
  return v;
}

void WriteRaw(const RawValue& v) {
  win32::RegKey key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr),
            ERROR_SUCCESS);
  if (!v.exists) {
    RegDeleteValueW(key.get(), L"Path");
    return;
  }
  ASSERT_EQ(RegSetValueExW(key.get(), L"Path", 0, v.type, v.bytes.data(), static_cast<DWORD>(v.bytes.size())),
            ERROR_SUCCESS);
}

RawValue Text(const std::string& value, DWORD type) {
  const std::wstring w = win32::Wide(value);
  RawValue v;
  v.exists = true;
  v.type = type;
  const BYTE* p = reinterpret_cast<const BYTE*>(w.c_str());
  v.bytes.assign(p, p + (w.size() + 1) * sizeof(wchar_t));
  return v;
}

std::string AsText(const RawValue& v) {
  std::wstring w(reinterpret_cast<const wchar_t*>(v.bytes.data()), v.bytes.size() / sizeof(wchar_t));
  while (!w.empty() && w.back() == L'\0') w.pop_back();
  return win32::Narrow(w);
}

std::string ProcessPath() {
  std::wstring buffer(GetEnvironmentVariableW(L"Path", nullptr, 0), L'\0');
  buffer.resize(GetEnvironmentVariableW(L"Path", buffer.data(), static_cast<DWORD>(buffer.size())));
  return win32::Narrow(buffer);
}

// Every installation of the engine's tests edits the machine's "Path" of the test prefix; a
// run of the test program leaves it as it found it, so entries of test directories that are
// gone do not pile up from run to run.
class MachinePathGuard : public ::testing::Environment {
 public:
  void SetUp() override { saved_ = ReadRaw(); }
  void TearDown() override { WriteRaw(saved_); }

 private:
  RawValue saved_;
};
::testing::Environment* const kMachinePathGuard = ::testing::AddGlobalTestEnvironment(new MachinePathGuard);

// Every test leaves the machine's and the process's "Path" as it found them.
class MachineSearchPath : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    saved_ = ReadRaw();
    savedProcess_ = ProcessPath();
  }
  void TearDown() override {
    WriteRaw(saved_);
    SetEnvironmentVariableW(L"Path", win32::Wide(savedProcess_).c_str());
    SetPlatformFactsOverride(nullptr);
    EngineMachine().StartupFileDrive = nullptr;
    EngineFixture::TearDown();
  }
  RawValue saved_;
  std::string savedProcess_;
};

// A machine "Path" far beyond any fixed buffer, as real machines have it.
std::string LongMachinePath(const std::string& ours) {
  std::string path = "%SystemRoot%\\system32;%SystemRoot%;;%SystemRoot%\\System32\\Wbem;" + ours + "\\;";
  for (int i = 0; path.size() < 4200; ++i) path += "C:\\Program Files\\Vendor " + std::to_string(i) + "\\bin;";
  path += ";" + ours + "2;D:\\" + ours + ";" + text::LowerAscii(ours) + ";%USERPROFILE%\\tools";
  return path;
}

TEST_F(MachineSearchPath, NtPathKeepsEveryOtherEntryByteForByte) {
  const std::string ours = "C:\\Program Files\\Prod\\SYSTEM";
  const std::string original = LongMachinePath(ours);
  std::string others;  // what must survive: every entry but ours and the empty ones
  for (const char* part : {"%SystemRoot%\\system32;%SystemRoot%;%SystemRoot%\\System32\\Wbem;"}) others = part;
  for (int i = 0; original.find("Vendor " + std::to_string(i) + "\\") != std::string::npos; ++i)
    others += "C:\\Program Files\\Vendor " + std::to_string(i) + "\\bin;";
  others += ours + "2;D:\\" + ours + ";%USERPROFILE%\\tools";
  SetEnvironmentVariableW(L"Path", L"C:\\windows\\system32;C:\\Users\\me\\bin");

  for (DWORD type : {DWORD(REG_EXPAND_SZ), DWORD(REG_SZ)}) {
    SCOPED_TRACE(type);
    WriteRaw(Text(original, type));
    EditNtPath(ours, true);
    RawValue after = ReadRaw();
    EXPECT_EQ(after.type, DWORD(REG_EXPAND_SZ));
    EXPECT_EQ(AsText(after), others + ";" + ours);
    EXPECT_EQ(ProcessPath(), "C:\\windows\\system32;C:\\Users\\me\\bin;" + ours);

    EditNtPath(ours, false);
    after = ReadRaw();
    EXPECT_EQ(after.type, DWORD(REG_EXPAND_SZ));
    EXPECT_EQ(AsText(after), others);
    EXPECT_EQ(ProcessPath(), "C:\\windows\\system32;C:\\Users\\me\\bin");
  }

  // A missing value is an empty list.
  WriteRaw(RawValue{});
  EditNtPath(ours, true);
  EXPECT_EQ(AsText(ReadRaw()), ";" + ours);
}

TEST_F(MachineSearchPath, UnreadableValueFailsWithoutWriting) {
  RawValue number;
  number.exists = true;
  number.type = REG_DWORD;
  number.bytes = {1, 0, 0, 0};
  WriteRaw(number);
  std::string error;
  EXPECT_FALSE(ChangePath("C:\\Prod\\SYSTEM", true, true, false, error));
  EXPECT_FALSE(error.empty());
  const RawValue after = ReadRaw();
  EXPECT_EQ(after.type, DWORD(REG_DWORD));
  EXPECT_EQ(after.bytes, number.bytes);

  // The step shows it and the installation stops before anything is registered further.
  ScriptedMessages boxes;
  boxes.Expect(mb::kIdOk);
  EXPECT_FALSE(Install().Succeeded);
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_EQ(boxes.Shown()[0].text.rfind("Ошибка при прописывании пути к каталогу SYSTEM\r\n", 0), 0u);
  EXPECT_EQ(boxes.Shown()[0].caption, "Ошибка при прописывании путей");
  EXPECT_EQ(ReadRaw().bytes, number.bytes);
}

LRESULT CALLBACK NoticeWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  static std::atomic<int>* counter = nullptr;
  if (message == WM_CREATE) {
    counter = static_cast<std::atomic<int>*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
  }
  if (message == WM_SETTINGCHANGE && lParam && counter &&
      std::wstring(reinterpret_cast<const wchar_t*>(lParam)) == L"Environment")
    ++*counter;
  return DefWindowProcW(window, message, wParam, lParam);
}

TEST_F(MachineSearchPath, InstallAndUninstallOnNt) {
  Describe({{1, "Base", "", ""}});
  WriteRaw(Text("%SystemRoot%\\system32;C:\\Other", REG_EXPAND_SZ));
  std::atomic<int> notices{0};
  WNDCLASSW wc{};
  wc.lpfnWndProc = NoticeWindow;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"ZtkNoticeTest";
  RegisterClassW(&wc);
  HWND window = CreateWindowExW(0, wc.lpszClassName, L"notice", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                wc.hInstance, &notices);
  ASSERT_NE(window, nullptr);

  ASSERT_TRUE(Install().Succeeded);
  EXPECT_EQ(AsText(ReadRaw()), "%SystemRoot%\\system32;C:\\Other;" + installDir + "\\SYSTEM;" + installDir + "\\USER");
  EXPECT_EQ(notices, 2);
  EXPECT_NE(ProcessPath().find(installDir + "\\USER"), std::string::npos);
  ASSERT_TRUE(Uninstall().Succeeded);
  EXPECT_EQ(AsText(ReadRaw()), "%SystemRoot%\\system32;C:\\Other");
  EXPECT_EQ(ProcessPath().find(installDir), std::string::npos);
  DestroyWindow(window);
}

TEST_F(MachineSearchPath, WithoutRegistrationOnlyTheInstallerPathGrows) {
  Describe({{1, "Base", "", ""}});
  WriteRaw(Text("C:\\Other", REG_EXPAND_SZ));
  SetEnvironmentVariableW(L"Path", L"C:\\windows");
  SetupGlobals.RegisteredSetup = false;
  ASSERT_TRUE(Install().Succeeded);
  EXPECT_EQ(AsText(ReadRaw()), "C:\\Other");
  EXPECT_EQ(ProcessPath(), "C:\\windows;" + installDir + "\\EXE\\;" + installDir + "\\SYSTEM\\;" + installDir +
                               "\\USER\\");
}

TEST_F(MachineSearchPath, StartupFileOnWindows9x) {
  SetPlatformFactsOverride([] { return TPlatformFacts{true, 1998}; });
  const std::string drive = root.File("c");
  ASSERT_TRUE(os::CreateDirectories(drive));
  EngineMachine().StartupFileDrive = [drive] { return drive; };
  const std::string bat = drive + "\\autoexec.bat", backup = drive + "\\autoexec.ztk";
  const std::string longDir = root.File("Program Files Long\\Product Dir");
  ASSERT_TRUE(os::CreateDirectories(longDir + "\\SYSTEM"));
  const std::string shortSystem = ShortPathName(longDir + "\\SYSTEM");
  ASSERT_NE(shortSystem, longDir + "\\SYSTEM");

  // Present already, in the short form: nothing written, no backup.
  WriteFileBytes(bat, "@ECHO OFF\r\nREM caf\xE9\r\nSET PATH=C:\\DOS;" + text::Utf8ToAnsi(shortSystem) + "\r\n");
  const std::string before = ReadFileBytes(bat);
  std::string error;
  ASSERT_TRUE(ChangePath(longDir + "\\SYSTEM", true, true, false, error)) << error;
  EXPECT_EQ(ReadFileBytes(bat), before);
  EXPECT_FALSE(os::FileExists(backup));

  // Install: the backup is the file before the first change; the second change keeps it.
  const std::string original = "@ECHO OFF\r\nREM caf\xE9\r\n  PATH C:\\DOS\r\n";
  WriteFileBytes(bat, original);
  os::SetAttributes(bat, os::kAttrReadOnly);
  WriteFileBytes(backup, "old backup");
  os::SetAttributes(backup, os::kAttrReadOnly);
  ASSERT_TRUE(ChangePath(longDir + "\\SYSTEM", true, true, false, error)) << error;
  ASSERT_TRUE(ChangePath(longDir + "\\USER", true, false, false, error)) << error;
  EXPECT_EQ(ReadFileBytes(backup), original);
  const std::string ansiDir = text::Utf8ToAnsi(longDir);
  EXPECT_EQ(ReadFileBytes(bat), "@ECHO OFF\r\nREM caf\xE9\r\nPATH C:\\DOS\r\nSET PATH=" + ansiDir +
                                    "\\SYSTEM;%PATH%\r\nSET PATH=" + ansiDir + "\\USER;%PATH%");
  EXPECT_FALSE(os::FileExists(bat + ".new"));

  // Uninstall: both lines go; the backup is deleted at the second change and not renewed.
  ASSERT_TRUE(ChangePath(longDir + "\\SYSTEM", false, false, false, error)) << error;
  EXPECT_TRUE(os::FileExists(backup));
  ASSERT_TRUE(ChangePath(longDir + "\\USER", false, true, false, error)) << error;
  EXPECT_FALSE(os::FileExists(backup));
  EXPECT_EQ(ReadFileBytes(bat), "@ECHO OFF\r\nREM caf\xE9\r\nPATH C:\\DOS");

  // A missing file is made with the one line; removing from a missing file makes none.
  os::RemoveFile(bat);
  ASSERT_TRUE(ChangePath("C:\\P\\USER", false, true, false, error)) << error;
  EXPECT_FALSE(os::FileExists(bat));
  ASSERT_TRUE(ChangePath("C:\\P\\SYSTEM", true, true, false, error)) << error;
  EXPECT_EQ(ReadFileBytes(bat), "SET PATH=%PATH%;C:\\P\\SYSTEM");
  EXPECT_FALSE(os::FileExists(backup));
}

}  // namespace
