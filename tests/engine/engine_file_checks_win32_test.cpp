// The checks before copying: a check file found on the search path raises the duplicate-file
// form (through its seam), and the required files of added subsystems are looked for in the
// distribution directory and in the directories the user chooses instead.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/osfile.h"
#include "common/win32.h"
#include "engine/EngineMachine.h"
#include "engine/MainThread.h"
#include "engine/engine_support_win32.h"
#include "setup/SetupGlobals.h"

using namespace enginetest;

namespace {

std::string ProcessPath() {
  std::wstring buffer(GetEnvironmentVariableW(L"Path", nullptr, 0), L'\0');
  buffer.resize(GetEnvironmentVariableW(L"Path", buffer.data(), static_cast<DWORD>(buffer.size())));
  return win32::Narrow(buffer);
}

class FileChecks : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    savedPath_ = ProcessPath();
    onPath = root.File("onpath");
    ASSERT_TRUE(os::CreateDirectories(onPath));
    SetEnvironmentVariableW(L"Path", win32::Wide(savedPath_ + ";" + onPath).c_str());
    EngineMachine().ShowSearchForm = [this](const std::string& message) {
      forms.push_back(message);
      onMainThread = onMainThread && mainthread::IsMainThread();
      return answers.empty() ? 6 : answers[forms.size() - 1];
    };
    EngineMachine().SelectDirectory = [this](std::string& directory) {
      offered.push_back(directory);
      onMainThread = onMainThread && mainthread::IsMainThread();
      if (choices.size() < offered.size()) return false;
      directory = choices[offered.size() - 1];
      return true;
    };
  }
  void TearDown() override {
    SetEnvironmentVariableW(L"Path", win32::Wide(savedPath_).c_str());
    EngineMachine().ShowSearchForm = nullptr;
    EngineMachine().SelectDirectory = nullptr;
    EngineFixture::TearDown();
  }
  void DescribeChecks(const std::vector<std::string>& checkFiles) {
    Describe({{1, "Base", "base.zip", ""}});
    TIDFSection* base = description.FindSection("Sub1");
    for (std::size_t i = 0; i < checkFiles.size(); ++i)
      base->AddParam("CHECKFILE" + std::to_string(i + 1))->SetAsString(checkFiles[i]);
    ASSERT_TRUE(description.SaveToFile(dist + "\\setup.idf"));
    WriteArchive("base.zip", {{"readme.txt", "base readme"}});
  }

  std::string onPath;
  std::vector<std::string> forms, offered, choices;
  std::vector<int> answers;
  bool onMainThread = true;
  std::string savedPath_;
};

TEST_F(FileChecks, CheckFileOnThePathRaisesTheForm) {
  WriteFileBytes(onPath + "\\ztkdup1.dll", "12345");
  WriteFileBytes(onPath + "\\ztkdup2.dll", "1234567");
  DescribeChecks({"ztkdup1.dll", "ztknowhere.dll", "ztkdup2.dll"});
  const struct {
    std::vector<int> answers;
    std::size_t forms;
    bool installed;
    const char* logLine;
  } cases[] = {
      {{6, 6}, 2, true, nullptr},
      {{1}, 1, true, " finish search files and continue install"},
      {{2}, 1, false, " finish search files and abort install"},
      {{6, 2}, 2, false, " finish search files and abort install"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answers.size() * 10 + c.answers.back());
    ClearLog();
    forms.clear();
    answers = c.answers;
    CleanRegistry();
    const RunResult r = Install();
    EXPECT_EQ(r.Succeeded, c.installed);
    EXPECT_EQ(os::FileExists(Installed("readme.txt")), c.installed);
    ASSERT_EQ(forms.size(), c.forms);
    const std::string found = onPath + "\\ztkdup1.dll";
    EXPECT_EQ(forms[0].rfind("Найден файл ", 0), 0u) << forms[0];
    EXPECT_TRUE(text::SameTextAscii(forms[0].substr(std::string("Найден файл ").size(), found.size()), found)) << forms[0];
    EXPECT_NE(forms[0].find("\r\nДата: "), std::string::npos) << forms[0];
    EXPECT_NE(forms[0].find("  время: "), std::string::npos) << forms[0];
    EXPECT_NE(forms[0].find("  размер: 5 байт\r\nНаличие одноименных компонент в пути может привести к "
                            "неправильному функционированию устанавливаемых подсистем"),
              std::string::npos)
        << forms[0];
    if (c.forms > 1) {
      EXPECT_NE(forms[1].find("  размер: 7 байт\r\n"), std::string::npos) << forms[1];
    }
    const auto lines = LogLines();
    if (c.logLine) {
      EXPECT_NE(std::find(lines.begin(), lines.end(), c.logLine), lines.end());
    }
    if (!c.installed) {
      // Aborted before anything was copied: no OUT line of the search, nothing recorded.
      EXPECT_EQ(std::find(lines.begin(), lines.end(), " IN funtion MAKEDIRSTRUCT"), lines.end());
    }
    if (c.installed) {
      ASSERT_TRUE(Uninstall().Succeeded);
    }
  }
  EXPECT_TRUE(onMainThread);

  // The English text.
  SetupGlobals.IsEnglish = true;
  forms.clear();
  answers = {2};
  EXPECT_FALSE(Install().Succeeded);
  ASSERT_EQ(forms.size(), 1u);
  EXPECT_EQ(forms[0].rfind("The file is retreived ", 0), 0u) << forms[0];
  EXPECT_NE(forms[0].find("  Size: 5 bytes\r\nPresence of same components in path can result in incorrect "
                          "operation of installed subsystems"),
            std::string::npos)
      << forms[0];
}

TEST_F(FileChecks, NoCheckFileFoundNoForm) {
  DescribeChecks({"ztknowhere.dll"});
  EXPECT_TRUE(Install().Succeeded);
  DescribeChecks({});
  EXPECT_TRUE(Install().Succeeded);
  EXPECT_TRUE(forms.empty());
}

TEST_F(FileChecks, RequiredFilesFoundAfterChoosingAnotherDirectory) {
  Describe({{1, "Base", "base.zip", ""}, {2, "Tools", "tools.zip", ""}});
  description.FindSection("Sub2")->AddParam("REQFILE1")->SetAsString("tools.zip");
  description.FindSection("Sub2")->AddParam("REQFILE2")->SetAsString("req.dat");
  ASSERT_TRUE(description.SaveToFile(dist + "\\setup.idf"));
  WriteArchive("base.zip", {{"readme.txt", "base readme"}});
  auto first = Tree({1});
  ASSERT_TRUE(Run(smInstall, first.get(), nullptr).Succeeded);

  // The distribution lacks both; the first directory chosen has only the archive.
  const std::string partial = root.File("partial"), full = root.File("full");
  ASSERT_TRUE(os::CreateDirectories(partial));
  ASSERT_TRUE(os::CreateDirectories(full));
  WriteArchive("..\\partial\\tools.zip", {{"tools/t.txt", "wrong one"}});
  WriteArchive("..\\full\\tools.zip", {{"tools/t.txt", "tool"}});
  WriteFileBytes(full + "\\req.dat", "required");

  // Cancelling the dialog adds nothing.
  auto add = Tree({2});
  EXPECT_FALSE(Run(smAddDelete, add.get(), nullptr).Succeeded);
  EXPECT_EQ(offered, (std::vector<std::string>{dist}));
  EXPECT_FALSE(os::FileExists(Installed("tools\\t.txt")));

  offered.clear();
  choices = {partial, full};
  SetupGlobals.DestDir = dist;
  add = Tree({2});
  ASSERT_TRUE(Run(smAddDelete, add.get(), nullptr).Succeeded);
  EXPECT_EQ(offered, (std::vector<std::string>{dist, partial}));
  EXPECT_EQ(SetupGlobals.DestDir, full);
  EXPECT_EQ(ReadFileBytes(Installed("tools\\t.txt")), "tool");
  EXPECT_TRUE(text::SameTextAscii(os::CurrentDirectory(), full)) << os::CurrentDirectory();
  EXPECT_TRUE(onMainThread);

  // With nothing required only the current directory changes.
  SetCurrentDirectoryW(win32::Wide(root.Path()).c_str());
  offered.clear();
  SetupGlobals.DestDir = dist;
  auto again = Tree({1});
  ASSERT_TRUE(Run(smAddDelete, again.get(), nullptr).Succeeded);
  EXPECT_TRUE(offered.empty());
  EXPECT_TRUE(text::SameTextAscii(os::CurrentDirectory(), dist)) << os::CurrentDirectory();
}

}  // namespace
