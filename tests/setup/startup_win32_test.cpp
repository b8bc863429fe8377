// setup.exe itself under Windows: it is started in a directory of its own, the message box it
// shows is read and answered from here, and its log and registry effects are checked.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "common/process_win32.h"
#include "common/testsupport.h"
#include "common/text.h"
#include "common/win32.h"
#include "setup/InstTool.h"

namespace {

struct FoundBox {
  DWORD processId;
  HWND window;
};

BOOL CALLBACK FindDialogOfProcess(HWND window, LPARAM param) {
  auto* found = reinterpret_cast<FoundBox*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  wchar_t cls[32] = {};
  GetClassNameW(window, cls, 32);
  if (pid == found->processId && std::wstring(cls) == L"#32770" && IsWindowVisible(window)) {
    found->window = window;
    return FALSE;
  }
  return TRUE;
}

struct RunResult {
  std::vector<std::string> boxTexts;
  DWORD exitCode = 0;
  bool finished = false;
};

std::string SetupExe() {
  std::string path = SETUP_EXE_PATH;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return "Z:" + path;
}

// Runs setup.exe in `dir` with `args`, answering every message box with OK.
RunResult RunSetup(const std::string& dir, const std::string& args) {
  RunResult result;
  std::wstring commandLine = L"\"" + win32::Wide(SetupExe()) + L"\" " + win32::Wide(args);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      win32::Wide(dir).c_str(), &si, &pi)) {
    ADD_FAILURE() << "cannot start setup.exe: " << win32::ErrorText(GetLastError());
    return result;
  }
  win32::Handle process(pi.hProcess), thread(pi.hThread);
  for (int waited = 0; waited < 30000; waited += 50) {
    if (WaitForSingleObject(pi.hProcess, 50) == WAIT_OBJECT_0) {
      result.finished = true;
      break;
    }
    FoundBox found{pi.dwProcessId, nullptr};
    EnumWindows(FindDialogOfProcess, reinterpret_cast<LPARAM>(&found));
    if (found.window) {
      wchar_t textBuffer[1024] = {};
      GetDlgItemTextW(found.window, 0xFFFF, textBuffer, 1024);
      result.boxTexts.push_back(win32::Narrow(textBuffer));
      PostMessageW(found.window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      Sleep(200);
    }
  }
  if (!result.finished) TerminateProcess(pi.hProcess, 1);
  GetExitCodeProcess(pi.hProcess, &result.exitCode);
  return result;
}

class SetupExeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    logPath_ = GetTempDirectory() + "ztkinst.log";
    DeleteFileW(win32::Wide(logPath_).c_str());
  }
  // The log's messages, without time stamps, as UTF-8.
  std::vector<std::string> LogMessages() const {
    std::string log = text::AnsiToUtf8(ReadFileBytes(logPath_));
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < log.size()) {
      std::size_t end = log.find("\r\n", pos);
      std::string line = log.substr(pos, end - pos);
      EXPECT_EQ(line.substr(0, 1), "[");
      std::size_t cut = line.find("]:");
      lines.push_back(cut == std::string::npos ? line : line.substr(cut + 2));
      if (end == std::string::npos) break;
      pos = end + 2;
    }
    return lines;
  }
  std::string logPath_;
  TempDir dist_;
};

TEST_F(SetupExeTest, WithoutDescriptionShowsRussianMessageAndLogsEnglish) {
  // A mark left by an earlier removal is cleared by every start.
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\ZTKUNINSTALL", 0, nullptr, 0,
                            KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(key, L"SystemName", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"X"), 4);
  RegCloseKey(key);

  RunResult run = RunSetup(dist_.Path(), "");
  ASSERT_TRUE(run.finished);
  ASSERT_EQ(run.boxTexts.size(), 1u);
  EXPECT_EQ(run.boxTexts[0], "setup.idf не найден");
  EXPECT_EQ(LogMessages(), (std::vector<std::string>{"", "", " setup.idf does not exist"}));
  EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\ZTKUNINSTALL", 0, KEY_READ, &key),
            ERROR_SUCCESS);
}

TEST_F(SetupExeTest, UninstallArgumentKeepsTheDescriptionName) {
  RunResult run = RunSetup(dist_.Path(), "uninstall");
  ASSERT_TRUE(run.finished);
  ASSERT_EQ(run.boxTexts.size(), 1u);
  EXPECT_EQ(run.boxTexts[0], "setup.idf не найден");
  EXPECT_EQ(LogMessages().back(), " setup.idf does not exist");
}

TEST_F(SetupExeTest, SplitArgumentsAreAContinuationRun) {
  RunResult run = RunSetup(dist_.Path(), "UN INSTALL");
  ASSERT_TRUE(run.finished);
  ASSERT_EQ(run.boxTexts.size(), 1u);
  EXPECT_EQ(run.boxTexts[0], "UN INSTALL не найден");
  std::vector<std::string> lines = LogMessages();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[2], " command line parameter : UN INSTALL");
}

TEST_F(SetupExeTest, InvalidDescriptionIsReported) {
  WriteFileBytes(dist_.File("setup.idf"), "idf-cps-text\r\n\r\n");
  RunResult run = RunSetup(dist_.Path(), "");
  ASSERT_TRUE(run.finished);
  ASSERT_EQ(run.boxTexts.size(), 1u);
  EXPECT_EQ(run.boxTexts[0], "неверный формат файла setup.idf");
  std::vector<std::string> lines = LogMessages();
  EXPECT_EQ(lines.back(), " Invalid file format setup.idf");
  EXPECT_EQ(lines[lines.size() - 2], " Load IDF file setup.idf");
}

TEST_F(SetupExeTest, ValidDescriptionShowsTheWizardWhoseCloseEndsTheProgram) {
  WriteFileBytes(dist_.File("setup.idf"), "IDF-CPS-text\r\n\r\n[Language]\r\nLanguage=English\r\n");
  std::string caption;
  const proctest::TProcessResult run = proctest::RunProcess(
      "\"" + SetupExe() + "\"", dist_.Path(), 30000, [&](DWORD processId) {
        HWND wizard = proctest::FindProcessWindow(processId, L"TfmInstDlg");
        if (wizard == nullptr || !caption.empty()) return;
        wchar_t text[256] = {};
        GetWindowTextW(wizard, text, 256);
        caption = win32::Narrow(text);
        PostMessageW(wizard, WM_CLOSE, 0, 0);  // the title bar's close button
      });
  ASSERT_TRUE(run.Finished);
  EXPECT_EQ(caption, "Installation of system ");
  EXPECT_EQ(run.ExitCode, 2u);  // the person left before anything was done
  const std::vector<std::string> lines = LogMessages();
  EXPECT_NE(std::find(lines.begin(), lines.end(), " Load IDF file setup.idf"), lines.end());
  EXPECT_EQ(lines.back(), " closing if dialog window of installation");
}

TEST(SharedOperations, TempDirectoryAndFreeSpace) {
  std::string temp = GetTempDirectory();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), '\\');
  EXPECT_GT(GetFreeDiskSpaceKB("C:"), 0);
  EXPECT_EQ(GetFreeDiskSpaceKB("Q:\\no such drive"), 0);
  EXPECT_TRUE(SameTextLocale("uninstall", "UNINSTALL"));
  EXPECT_FALSE(SameTextLocale("UN INSTALL", "UNINSTALL"));
}

}  // namespace
