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

// A log file with one line in it, held open by another program that denies writers.
class LogLockedFile : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFileBytes(path_, "before\r\n");
    holder_.reset(HoldOpen(path_));
    ASSERT_TRUE(holder_);
  }
  TempDir dir_;
  const std::string path_ = dir_.File("ztkinst.log");
  win32::FileHandle holder_;
};

TEST_F(LogLockedFile, RetriesThenRaisesAndWritesNothing) {
  QuietLog log(path_);
  int pauses = 0;
  log.Sleep = [&pauses](unsigned ms) {
    EXPECT_EQ(ms, 100u);
    ++pauses;
  };
  EXPECT_THROW(log.WriteLine("lost"), EInOutError);
  EXPECT_EQ(pauses, 51);
  holder_.reset();
  EXPECT_EQ(ReadFileBytes(path_), "before\r\n");
}

TEST_F(LogLockedFile, SucceedsWhenTheOtherProgramLetsGoInTime) {
  QuietLog log(path_);
  int pauses = 0;
  log.Sleep = [&](unsigned) {
    if (++pauses == 10) holder_.reset();
  };
  log.WriteLine("after");
  EXPECT_EQ(pauses, 10);
  EXPECT_EQ(ReadFileBytes(path_), "before\r\nafter\r\n");
}

TEST(LogSharedFile, ReadersMayOpenTheLogBetweenLines) {
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

// While a step holds the log open, readers that allow writers read every line at once, and
// writers wait for the end of the step.
TEST(LogSharedFile, WhileHeldReadersSeeEachLineAndWritersWaitForTheEnd) {
  TempDir dir;
  const std::string path = dir.File("ztkinst.log");
  QuietLog log(path);
  {
    TLogFile::TKeepOpen keep(&log);
    log.WriteLine("one");
    win32::FileHandle reader(CreateFileW(win32::Wide(path).c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(reader);
    log.WriteLine("two");
    char buffer[64] = {};
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(reader.get(), buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ(std::string(buffer, got), "one\r\ntwo\r\n");
    EXPECT_FALSE(win32::FileHandle(HoldOpen(path)));
  }
  win32::FileHandle writer(HoldOpen(path));
  EXPECT_TRUE(writer);
}
