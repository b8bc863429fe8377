// The log against another program that holds the file open with writing denied.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "common/errors.h"
#include "common/testsupport.h"
#include "common/win32.h"
#include "setup/LogFiles.h"

namespace {

// Opens the file the way a viewer that denies writers would.
HANDLE HoldOpen(const std::string& path) {
  return CreateFileW(win32::Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

struct QuietLog : TLogFile {
  explicit QuietLog(const std::string& path) {
    SetFileName(path);
    WriteHeader = false;
    FormatString = false;
  }
};

}  // namespace

TEST(LogLockedFile, RetriesThenRaisesAndWritesNothing) {
  TempDir dir;
  const std::string path = dir.File("ztkinst.log");
  WriteFileBytes(path, "before\r\n");
  HANDLE holder = HoldOpen(path);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);

  QuietLog log(path);
  int pauses = 0;
  log.Sleep = [&pauses](unsigned ms) {
    EXPECT_EQ(ms, 100u);
    ++pauses;
  };
  EXPECT_THROW(log.WriteLine("lost"), EInOutError);
  EXPECT_EQ(pauses, 51);
  CloseHandle(holder);
  EXPECT_EQ(ReadFileBytes(path), "before\r\n");
}

TEST(LogLockedFile, SucceedsWhenTheOtherProgramLetsGoInTime) {
  TempDir dir;
  const std::string path = dir.File("ztkinst.log");
  WriteFileBytes(path, "before\r\n");
  HANDLE holder = HoldOpen(path);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);

  QuietLog log(path);
  int pauses = 0;
  log.Sleep = [&](unsigned) {
    if (++pauses == 10) {
      CloseHandle(holder);
      holder = INVALID_HANDLE_VALUE;
    }
  };
  log.WriteLine("after");
  EXPECT_EQ(pauses, 10);
  if (holder != INVALID_HANDLE_VALUE) CloseHandle(holder);
  EXPECT_EQ(ReadFileBytes(path), "before\r\nafter\r\n");
}

TEST(LogLockedFile, ReadersMayOpenTheLogBetweenLines) {
  TempDir dir;
  const std::string path = dir.File("ztkinst.log");
  QuietLog log(path);
  log.WriteLine("one");
  // A reader that allows writers does not stop the next line.
  HANDLE reader = CreateFileW(win32::Wide(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  int pauses = 0;
  log.Sleep = [&pauses](unsigned) { ++pauses; };
  log.WriteLine("two");
  CloseHandle(reader);
  EXPECT_EQ(pauses, 0);
  EXPECT_EQ(ReadFileBytes(path), "one\r\ntwo\r\n");
}
