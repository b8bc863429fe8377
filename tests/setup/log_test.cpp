#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "common/errors.h"
#include "common/osfile.h"
#include "common/testsupport.h"
#include "common/text.h"
#include "setup/LogFiles.h"

namespace {

constexpr double kTicksPerDay = 864'000'000.0;

// A moment given as tenths of a millisecond since midnight (fractional ticks allowed, to
// test the rounding).
TLocalDateTime At(int day, int month, int year, double ticks) {
  TLocalDateTime t;
  t.Day = day;
  t.Month = month;
  t.Year = year;
  t.DayFraction = ticks / kTicksPerDay;
  return t;
}

double Ticks(int h, int m, int s, int tenthsOfMs) {
  return ((h * 60.0 + m) * 60.0 + s) * 10'000.0 + tenthsOfMs;
}

// A log whose clock is fixed and which never really sleeps.
struct FixedLog : TLogFile {
  explicit FixedLog(const std::string& path) {
    SetFileName(path);
    Clock = [] { return At(6, 12, 2026, Ticks(3, 48, 33, 917)); };
    Sleep = [](unsigned) {};
  }
};

const char kStamp[] = "06.12.2026 03:48:33.0917";

// A log of plain lines whose file cannot be opened: a directory stands at its path. Every
// retry pause is counted.
struct BlockedLog {
  BlockedLog() : path(dir.File("busy.log")), log(path) {
    EXPECT_TRUE(os::CreateDirectories(path));
    log.WriteHeader = false;
    log.FormatString = false;
    log.Sleep = [this](unsigned) { ++pauses; };
  }
  TempDir dir;
  std::string path;
  FixedLog log;
  int pauses = 0;
};

}  // namespace

// ---------------------------------------------------------------------------------------
// The time stamp

TEST(LogTimeStamp, PadsEveryField) {
  EXPECT_EQ(FormatLogTimeStamp(At(6, 12, 2026, Ticks(3, 48, 33, 917))), kStamp);
  EXPECT_EQ(FormatLogTimeStamp(At(1, 2, 999, Ticks(0, 0, 0, 0))), "01.02.0999 00:00:00.0000");
  EXPECT_EQ(FormatLogTimeStamp(At(28, 2, 2027, Ticks(23, 59, 59, 9999))),
            "28.02.2027 23:59:59.9999");
}

TEST(LogTimeStamp, RoundsToTheNearestTenthOfAMillisecond) {
  EXPECT_EQ(FormatLogTimeStamp(At(1, 1, 2026, Ticks(12, 0, 0, 5) + 0.4)),
            "01.01.2026 12:00:00.0005");
  EXPECT_EQ(FormatLogTimeStamp(At(1, 1, 2026, Ticks(12, 0, 0, 5) + 0.6)),
            "01.01.2026 12:00:00.0006");
  // A carry runs through every field.
  EXPECT_EQ(FormatLogTimeStamp(At(1, 1, 2026, Ticks(9, 59, 59, 9999) + 0.7)),
            "01.01.2026 10:00:00.0000");
}

TEST(LogTimeStamp, LastTwentiethOfAMillisecondOfADayIsHour24OfThatDay) {
  // Month and year ends: the date stays the one of the day that is ending.
  EXPECT_EQ(FormatLogTimeStamp(At(31, 12, 2026, kTicksPerDay - 0.4)),
            "31.12.2026 24:00:00.0000");
  EXPECT_EQ(FormatLogTimeStamp(At(31, 1, 2026, kTicksPerDay - 0.01)),
            "31.01.2026 24:00:00.0000");
  // Just before that window the day still ends at 23:59:59.9999.
  EXPECT_EQ(FormatLogTimeStamp(At(31, 12, 2026, kTicksPerDay - 0.6)),
            "31.12.2026 23:59:59.9999");
}

TEST(LogTimeStamp, FractionOutsideTheDayIsHeldInside) {
  TLocalDateTime t = At(3, 4, 2026, 0);
  t.DayFraction = -0.25;
  EXPECT_EQ(FormatLogTimeStamp(t), "03.04.2026 00:00:00.0000");
  t.DayFraction = 7.0;
  EXPECT_EQ(FormatLogTimeStamp(t), "03.04.2026 24:00:00.0000");
}

TEST(LogTimeStamp, CurrentLocalTimeIsAPlausibleDate) {
  const TLocalDateTime now = CurrentLocalDateTime();
  EXPECT_GE(now.Year, 2020);
  EXPECT_GE(now.Month, 1);
  EXPECT_LE(now.Month, 12);
  EXPECT_GE(now.Day, 1);
  EXPECT_LE(now.Day, 31);
  EXPECT_GE(now.DayFraction, 0.0);
  EXPECT_LT(now.DayFraction, 1.0);
  EXPECT_EQ(TLogFile().GetTimeStamp().size(), std::string(kStamp).size());
}

// ---------------------------------------------------------------------------------------
// Lines and header

TEST(LogLines, FirstCallWritesHeaderThenMessageLaterCallsOnlyMessages) {
  TempDir dir;
  FixedLog log(dir.File("ztkinst.log"));
  log.SetHeader("Setup");
  log.WriteLine(" first");
  log.WriteLine(" second");
  EXPECT_EQ(ReadFileBytes(dir.File("ztkinst.log")),
            std::string("Setup-----------[") + kStamp + "]\r\n" +  //
                "[" + kStamp + "]: first\r\n" +                    //
                "[" + kStamp + "]: second\r\n");
  EXPECT_FALSE(log.HeaderPending());
}

TEST(LogLines, HeaderLineWithoutFormattingIsTheBareHeader) {
  TempDir dir;
  FixedLog log(dir.File("a.log"));
  log.FormatHeader = false;
  log.SetHeader("Run");
  log.WriteLine(" x");
  EXPECT_EQ(ReadFileBytes(dir.File("a.log")), std::string("Run\r\n[") + kStamp + "]: x\r\n");
}

TEST(LogLines, NoHeaderWhenWriteHeaderIsOff) {
  TempDir dir;
  FixedLog log(dir.File("a.log"));
  log.WriteHeader = false;
  log.SetHeader("Run");
  log.WriteLine(" x");
  EXPECT_EQ(ReadFileBytes(dir.File("a.log")), std::string("[") + kStamp + "]: x\r\n");
}

TEST(LogLines, SameFileNameAgainDoesNotAskForANewHeader) {
  TempDir dir;
  FixedLog log(dir.File("a.log"));
  log.FormatHeader = false;
  log.SetHeader("H");
  log.WriteLine(" 1");
  log.SetFileName(dir.File("a.log"));
  EXPECT_FALSE(log.HeaderPending());
  log.WriteLine(" 2");
  EXPECT_EQ(ReadFileBytes(dir.File("a.log")),
            std::string("H\r\n[") + kStamp + "]: 1\r\n[" + kStamp + "]: 2\r\n");
}

TEST(LogLines, NewFileNameOrSameHeaderAgainAsksForANewHeader) {
  TempDir dir;
  FixedLog log(dir.File("a.log"));
  log.FormatHeader = false;
  log.FormatString = false;
  log.SetHeader("H");
  log.WriteLine("1");
  log.SetHeader("H");
  EXPECT_TRUE(log.HeaderPending());
  log.WriteLine("2");
  log.SetFileName(dir.File("b.log"));
  log.WriteLine("3");
  EXPECT_EQ(ReadFileBytes(dir.File("a.log")), "H\r\n1\r\nH\r\n2\r\n");
  EXPECT_EQ(ReadFileBytes(dir.File("b.log")), "H\r\n3\r\n");
  // Names are compared case-sensitively, even where the file system does not.
  log.SetFileName(dir.File("B.log"));
  EXPECT_TRUE(log.HeaderPending());
}

TEST(LogLines, UnformattedMessageIsWrittenBare) {
  TempDir dir;
  FixedLog log(dir.File("a.log"));
  log.WriteHeader = false;
  log.FormatString = false;
  log.WriteLine("plain text");
  EXPECT_EQ(ReadFileBytes(dir.File("a.log")), "plain text\r\n");
}

TEST(LogLines, EmptyMessageEndsWithTheColon) {
  TempDir dir;
  FixedLog log(dir.File("a.log"));
  log.WriteHeader = false;
  log.WriteLine("");
  EXPECT_EQ(ReadFileBytes(dir.File("a.log")), std::string("[") + kStamp + "]:\r\n");
}

TEST(LogLines, EachLineTakesItsOwnTimeStamp) {
  TempDir dir;
  FixedLog log(dir.File("a.log"));
  int tick = 0;
  log.Clock = [&tick] { return At(1, 1, 2026, Ticks(0, 0, 0, ++tick)); };
  log.SetHeader("H");
  log.WriteLine(" m");
  EXPECT_EQ(ReadFileBytes(dir.File("a.log")),
            "H-----------[01.01.2026 00:00:00.0001]\r\n[01.01.2026 00:00:00.0002]: m\r\n");
}

TEST(LogLines, AppendsToAnExistingFile) {
  TempDir dir;
  WriteFileBytes(dir.File("a.log"), "earlier run\r\n");
  FixedLog log(dir.File("a.log"));
  log.WriteHeader = false;
  log.FormatString = false;
  log.WriteLine("this run");
  EXPECT_EQ(ReadFileBytes(dir.File("a.log")), "earlier run\r\nthis run\r\n");
}

TEST(LogLines, EmptyFileNameWritesNothingAndKeepsTheHeaderDue) {
  TempDir dir;
  FixedLog log("");
  log.FormatHeader = false;
  log.FormatString = false;
  log.SetHeader("H");
  EXPECT_NO_THROW(log.WriteLine("lost"));
  EXPECT_TRUE(log.HeaderPending());
  log.SetFileName(dir.File("a.log"));
  log.WriteLine("kept");
  EXPECT_EQ(ReadFileBytes(dir.File("a.log")), "H\r\nkept\r\n");
}

TEST(LogLines, MessageIsWrittenInTheAnsiCodePage) {
  const int saved = text::AnsiCodePage();
  text::SetAnsiCodePage(1251);
  TempDir dir;
  FixedLog log(dir.File("a.log"));
  log.WriteHeader = false;
  log.FormatString = false;
  log.WriteLine(" Привет");
  text::SetAnsiCodePage(saved);
  EXPECT_EQ(ReadFileBytes(dir.File("a.log")), " \xCF\xF0\xE8\xE2\xE5\xF2\r\n");
}

TEST(LogLines, ThreadsSharingTheLogWriteWholeLines) {
  TempDir dir;
  FixedLog log(dir.File("a.log"));
  log.WriteHeader = false;
  log.FormatString = false;
  constexpr int kThreads = 4, kLines = 40;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&log, t] {
      for (int i = 0; i < kLines; ++i) log.WriteLine("thread " + std::to_string(t) + " line");
    });
  }
  for (auto& thread : threads) thread.join();
  const std::string all = ReadFileBytes(dir.File("a.log"));
  std::vector<int> perThread(kThreads, 0);
  std::size_t pos = 0;
  while (pos < all.size()) {
    const auto end = all.find("\r\n", pos);
    ASSERT_NE(end, std::string::npos);
    const std::string line = all.substr(pos, end - pos);
    ASSERT_EQ(line.size(), std::string("thread 0 line").size()) << line;
    ++perThread[line[7] - '0'];
    pos = end + 2;
  }
  for (int count : perThread) EXPECT_EQ(count, kLines);
}

// ---------------------------------------------------------------------------------------
// A file that cannot be opened

TEST(LogRetry, GivesUpAfter51AttemptsWithTheFileError) {
  TempDir dir;
  // A directory stands where the file should be: it can be neither opened nor created.
  ASSERT_TRUE(os::CreateDirectories(dir.File("busy.log")));
  FixedLog log(dir.File("busy.log"));
  std::vector<unsigned> pauses;
  log.Sleep = [&pauses](unsigned ms) { pauses.push_back(ms); };
  try {
    log.WriteLine(" lost");
    FAIL() << "no exception";
  } catch (const EInOutError& e) {
    EXPECT_STREQ(e.ClassName(), "EInOutError");
    EXPECT_FALSE(e.Message().empty());
  }
  ASSERT_EQ(pauses.size(), 51u);
  for (unsigned ms : pauses) EXPECT_EQ(ms, 100u);
  EXPECT_TRUE(log.HeaderPending());
}

TEST(LogRetry, SucceedsWhenTheObstacleGoesAwayWithinTheRetries) {
  BlockedLog blocked;
  auto& [dir, path, log, pauses] = blocked;
  log.Sleep = [&](unsigned) {
    if (++pauses == 3) os::RemoveDir(path);
  };
  log.WriteLine("after all");
  EXPECT_EQ(pauses, 3);
  EXPECT_EQ(ReadFileBytes(path), "after all\r\n");
}

TEST(LogRetry, AfterALostLineTheNextOnesTryOnceUntilALineGetsThrough) {
  BlockedLog blocked;
  auto& [dir, path, log, pauses] = blocked;

  // Table: what stands at the path, the line, whether it gets through, the pauses it costs.
  struct Step {
    bool blocked;
    const char* line;
    bool written;
    int pauses;
    bool failingAfter;
  } const steps[] = {
      {true, "first", false, 51, true},   // the full wait, once
      {true, "second", false, 0, true},   // then one look each, without a pause
      {true, "third", false, 0, true},
      {false, "fourth", true, 0, false},  // a line gets through: back to normal
      {true, "fifth", false, 51, true},
  };
  std::string expected;
  for (const Step& step : steps) {
    if (step.blocked) {
      if (os::FileExists(path)) os::RemoveFile(path);
      ASSERT_TRUE(os::CreateDirectories(path));
    } else {
      os::RemoveDir(path);
    }
    pauses = 0;
    if (step.written) {
      EXPECT_NO_THROW(log.WriteLine(step.line)) << step.line;
      expected += std::string(step.line) + "\r\n";
      EXPECT_EQ(ReadFileBytes(path), expected);
    } else {
      EXPECT_THROW(log.WriteLine(step.line), EInOutError) << step.line;
    }
    EXPECT_EQ(pauses, step.pauses) << step.line;
    EXPECT_EQ(log.Failing(), step.failingAfter) << step.line;
  }
}

// ---------------------------------------------------------------------------------------
// Keeping the file open for a step that writes many lines

TEST(LogKeepOpen, EveryLineIsInTheFileWhenItsCallReturns) {
  TempDir dir;
  const std::string path = dir.File("ztkinst.log");
  FixedLog log(path);
  log.SetHeader("Setup");
  std::string expected = std::string("Setup-----------[") + kStamp + "]\r\n";
  {
    TLogFile::TKeepOpen keep(&log);
    EXPECT_FALSE(log.HoldsFile());  // opened by the first line, not before
    for (const char* line : {" one", " two", " three"}) {
      log.WriteLine(line);
      expected += "[" + std::string(kStamp) + "]:" + line + "\r\n";
      EXPECT_TRUE(log.HoldsFile());
      EXPECT_EQ(ReadFileBytes(path), expected) << line;
    }
  }
  EXPECT_FALSE(log.HoldsFile());
  log.WriteLine(" after");
  expected += "[" + std::string(kStamp) + "]: after\r\n";
  EXPECT_EQ(ReadFileBytes(path), expected);
}

TEST(LogKeepOpen, NestedHoldsCloseTheFileAtTheOutermostEnd) {
  TempDir dir;
  FixedLog log(dir.File("a.log"));
  log.WriteHeader = false;
  {
    TLogFile::TKeepOpen outer(&log);
    {
      TLogFile::TKeepOpen inner(&log);
      log.WriteLine(" inner");
    }
    EXPECT_TRUE(log.HoldsFile());
  }
  EXPECT_FALSE(log.HoldsFile());
  log.EndKeepOpen();  // one end too many does not cut the next hold short
  TLogFile::TKeepOpen again(&log);
  log.WriteLine(" again");
  EXPECT_TRUE(log.HoldsFile());
  TLogFile::TKeepOpen none(nullptr);  // a missing log is no error
}

TEST(LogKeepOpen, ANewFileNameWhileHeldGoesToTheNewFile) {
  TempDir dir;
  FixedLog log(dir.File("first.log"));
  log.WriteHeader = false;
  log.FormatString = false;
  TLogFile::TKeepOpen keep(&log);
  log.WriteLine("a");
  log.SetFileName(dir.File("second.log"));
  EXPECT_FALSE(log.HoldsFile());
  log.WriteLine("b");
  log.WriteLine("c");
  EXPECT_EQ(ReadFileBytes(dir.File("first.log")), "a\r\n");
  EXPECT_EQ(ReadFileBytes(dir.File("second.log")), "b\r\nc\r\n");
}

TEST(LogKeepOpen, ALostLineWhileHeldIsRetriedWithTheUsualAttempts) {
  BlockedLog blocked;
  auto& [dir, path, log, pauses] = blocked;
  TLogFile::TKeepOpen keep(&log);
  EXPECT_THROW(log.WriteLine("lost"), EInOutError);
  EXPECT_EQ(pauses, 51);
  EXPECT_FALSE(log.HoldsFile());
  os::RemoveDir(path);
  log.WriteLine("kept");
  EXPECT_TRUE(log.HoldsFile());
  EXPECT_FALSE(log.Failing());
  log.WriteLine("kept too");
  EXPECT_EQ(ReadFileBytes(path), "kept\r\nkept too\r\n");
}
