// A description must be a regular file: a device or a pipe would be read for ever (or wait
// for ever for a writer), so loading one fails at once.
#include <gtest/gtest.h>

#include <string>

#include "common/testsupport.h"
#include "description/InstIDF.h"
#include "description/tree_testutil.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/types.h>
#endif

namespace {

#ifndef _WIN32

TEST(IdfSpecialFiles, ADeviceOrAFifoIsNotLoaded) {
  TempDir dir;
  const std::string fifo = dir.File("setup.idf");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  treetest::CapturedLog log;
  for (const std::string& path : {std::string("/dev/zero"), fifo, std::string("/dev/null")}) {
    TIDFTextFile file;
    file.AddSection("Kept");
    EXPECT_FALSE(file.LoadFromFile(path)) << path;
    EXPECT_NE(file.FindSection("Kept"), nullptr) << path;  // the contents stay as they were
  }
}

#else

TEST(IdfSpecialFiles, APipeIsNotLoaded) {
  const std::wstring name =
      L"\\\\.\\pipe\\idf_special_files_" + std::to_wstring(GetCurrentProcessId());
  HANDLE pipe = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 4096,
                                 4096, 0, nullptr);
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
  treetest::CapturedLog log;
  TIDFTextFile file;
  file.AddSection("Kept");
  // The server end never writes: a reader that accepted the pipe would wait for ever.
  EXPECT_FALSE(file.LoadFromFile("\\\\.\\pipe\\idf_special_files_" +
                                 std::to_string(GetCurrentProcessId())));
  EXPECT_NE(file.FindSection("Kept"), nullptr);
  CloseHandle(pipe);
}

#endif

}  // namespace
