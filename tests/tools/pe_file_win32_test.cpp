// The PE reader on images the toolchain made: the SDK's sample plug-in (copied beside the
// test program by the build) and the test program itself.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>

#include "common/text.h"
#include "tools/setupkit/PeFile.h"

namespace {

std::string ModulePath() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return text::Utf16ToUtf8(std::u16string(path, path + n));
}

TEST(PeFileWin32, ReadsTheSamplePluginAsTheLinkerMadeIt) {
  std::string dll = ModulePath();
  dll = dll.substr(0, dll.rfind('\\') + 1) + "sample_plugin.dll";
  TPeInfo info;
  std::string error;
  ASSERT_TRUE(ReadPeFile(dll, info, error)) << dll << ": " << error;
  EXPECT_EQ(info.Machine, kPeMachineAmd64);
  EXPECT_TRUE(info.IsDll);
  // The sample implements every export of the contract, under its plain name.
  for (const char* name :
       {"SetLogCallBack", "SetTreePointer", "SetExternalParameter", "SetIUGRegim",
        "SetQuestionsLevel", "SetPath", "SetClientNumber", "SetProgressCallBack",
        "SetSessionName", "SetHideProgressCallBack", "SetShowProgressCallBack", "AskQuestions",
        "Perform", "UserAbort", "UserSuspendThread", "UserResumeThread"}) {
    EXPECT_NE(std::find(info.ExportNames.begin(), info.ExportNames.end(), name),
              info.ExportNames.end())
        << name;
  }
}

TEST(PeFileWin32, ReadsTheTestProgramAsAProgram) {
  TPeInfo info;
  std::string error;
  ASSERT_TRUE(ReadPeFile(ModulePath(), info, error)) << error;
  EXPECT_EQ(info.Machine, kPeMachineAmd64);
  EXPECT_FALSE(info.IsDll);
}

}  // namespace
