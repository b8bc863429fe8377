// What a caller of ExtractFiles sees: the events in their order, the result count, the
// files on disk, for normal, skipped, wrong-password and damaged entries, the overwrite
// modes, cancellation and StopNow.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/osfile.h"
#include "extract_test_support.h"
#include "sha256.h"
#include "unzip/UnZip.h"

namespace {

using extracttest::BuildZip;
using extracttest::EventLog;
using extracttest::SampleText;
using extracttest::TestEntry;
using Lines = std::vector<std::string>;
namespace fs = std::filesystem;

// An archive written into a fresh temporary directory, and a reader set up as the installer
// sets it up (directories recreated, overwrite always, everything selected).
class ExtractEvents : public ::testing::Test {
 protected:
  void Write(const std::vector<TestEntry>& entries) {
    WriteFileBytes(work.File("test.zip"), BuildZip(entries));
    zip.SetZipName(work.File("test.zip"));
    zip.SetDestDir(Dest());
    zip.RecreateDirs = true;
    zip.DoAll = true;
    zip.OverwriteMode = TUZOverwriteMode::Always;
    log.Attach(zip);
  }
  std::string Dest() const { return work.File("out"); }
  // The target path as the events report it.
  std::string Target(const std::string& relative) const { return Dest() + "\\" + relative; }
  std::string OnDisk(const std::string& relative) const { return Dest() + "/" + relative; }
  void ExpectPercentsAtMost100() const {
    for (const auto& l : log.lines) {
      if (l.rfind("file ", 0) == 0 || l.rfind("total ", 0) == 0) {
        EXPECT_LE(std::stoi(l.substr(l.find(' ') + 1)), 100) << l;
      }
    }
  }

  TempDir work;
  TUnZip zip;
  EventLog log;
};

TEST_F(ExtractEvents, ANormalEntryReportsStartProgressPerBlockAndEnd) {
  std::string data = SampleText(40000);
  Write({{.name = "a.txt", .data = data}});
  EXPECT_EQ(zip.ExtractFiles(), 1);
  EXPECT_EQ(log.lines, (Lines{"info 1 40000", "start 0 " + Target("a.txt"), "file 40", "total 40",
                              "file 80", "total 80", "file 100", "total 100",
                              "end 0 " + Target("a.txt")}));
  EXPECT_EQ(ReadFileBytes(OnDisk("a.txt")), data);
  EXPECT_EQ(zip.TotalBytes(), 40000);
}

TEST_F(ExtractEvents, TotalProgressRunsOverTheWholeCallAndNeverPasses100) {
  Write({{.name = "a.txt", .data = SampleText(16000)}, {.name = "d/b.txt", .data = SampleText(16000)}});
  EXPECT_EQ(zip.ExtractFiles(), 2);
  EXPECT_EQ(log.lines[0], "info 2 32000");
  EXPECT_EQ(log.lines[3], "total 50");
  EXPECT_EQ(log.lines[7], "total 100");
  ExpectPercentsAtMost100();
  EXPECT_TRUE(fs::exists(OnDisk("d/b.txt")));
}

TEST_F(ExtractEvents, ADamagedEntryReportsBadCrcAndLeavesNoFile) {
  Write({{.name = "bad.txt", .data = "hello", .ownCrc = true, .crc = 0x12345678},
         {.name = "good.txt", .data = "world"}});
  EXPECT_EQ(zip.ExtractFiles(), 1);
  char calc[16];
  std::snprintf(calc, sizeof calc, "%08x", extracttest::CrcOf("hello"));
  EXPECT_EQ(log.lines, (Lines{"info 2 10", "start 0 " + Target("bad.txt"), "file 100", "total 50",
                              std::string("badcrc 0 ") + calc + " 12345678",
                              "start 1 " + Target("good.txt"), "file 100", "total 100",
                              "end 1 " + Target("good.txt")}));
  EXPECT_FALSE(fs::exists(OnDisk("bad.txt")));
}

TEST_F(ExtractEvents, DataLongerThanItsSizeFailsTheEntryAndLeavesNoFile) {
  Write({{.name = "long.txt", .data = SampleText(20000), .ownCrc = true,
          .crc = extracttest::CrcOf(SampleText(10000)), .uncompressedSize = 10000}});
  EXPECT_EQ(zip.ExtractFiles(), 0);
  EXPECT_EQ(log.lines.back().rfind("badcrc 0", 0), 0u);
  EXPECT_FALSE(fs::exists(OnDisk("long.txt")));
}

TEST_F(ExtractEvents, AnUnknownMethodIsRefusedWithAMessageAndTheOthersGoOn) {
  ScriptedMessages boxes;
  boxes.Expect(mb::kIdOk);
  Write({{.name = "b.bz2", .data = "BZh91AY", .method = 12, .ownCrc = true, .crc = 0x11111111,
          .uncompressedSize = 100},
         {.name = "c.txt", .data = "plain"}});
  EXPECT_EQ(zip.ExtractFiles(), 1);
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_EQ(boxes.Shown()[0].text, "Unknown Compression Method");
  EXPECT_EQ(boxes.Shown()[0].caption, "Zip Error");
  EXPECT_FALSE(fs::exists(OnDisk("b.bz2")));
  EXPECT_EQ(ReadFileBytes(OnDisk("c.txt")), "plain");
}

// ---- overwrite modes ----------------------------------------------------------------------

TEST_F(ExtractEvents, NeverKeepsTheExistingFileAndSkipsTheEntry) {
  Write({{.name = "a.txt", .data = "new"}});
  zip.OverwriteMode = TUZOverwriteMode::Never;
  fs::create_directories(Dest());
  WriteFileBytes(OnDisk("a.txt"), "old");
  EXPECT_EQ(zip.ExtractFiles(), 0);
  EXPECT_EQ(log.lines, (Lines{"info 1 3", "skip 0 1 a.txt"}));
  EXPECT_EQ(ReadFileBytes(OnDisk("a.txt")), "old");
}

TEST_F(ExtractEvents, AlwaysReplacesTheExistingFile) {
  Write({{.name = "a.txt", .data = "new"}});
  fs::create_directories(Dest());
  WriteFileBytes(OnDisk("a.txt"), "older and longer");
  EXPECT_EQ(zip.ExtractFiles(), 1);
  EXPECT_EQ(ReadFileBytes(OnDisk("a.txt")), "new");
}

TEST_F(ExtractEvents, PromptAsksTheHandlerAndANoSkipsTheEntry) {
  Write({{.name = "a.txt", .data = "new"}});
  zip.OverwriteMode = TUZOverwriteMode::Prompt;
  fs::create_directories(Dest());
  WriteFileBytes(OnDisk("a.txt"), "old");
  EXPECT_EQ(zip.ExtractFiles(), 0);
  EXPECT_EQ(log.lines, (Lines{"info 1 3", "prompt 0 " + Target("a.txt"), "skip 0 1 a.txt"}));
  EXPECT_EQ(ReadFileBytes(OnDisk("a.txt")), "old");
}

TEST_F(ExtractEvents, PromptWithANewNameWritesThereAndReportsIt) {
  Write({{.name = "a.txt", .data = "new"}});
  zip.OverwriteMode = TUZOverwriteMode::Prompt;
  fs::create_directories(Dest());
  WriteFileBytes(OnDisk("a.txt"), "old");
  log.overwrite = true;
  log.renameTo = Dest() + "\\renamed.txt";
  EXPECT_EQ(zip.ExtractFiles(), 1);
  EXPECT_EQ(log.lines.back(), "end 0 " + log.renameTo);
  EXPECT_EQ(ReadFileBytes(OnDisk("renamed.txt")), "new");
  EXPECT_EQ(ReadFileBytes(OnDisk("a.txt")), "old");
}

TEST_F(ExtractEvents, PromptWithoutAHandlerAsksWithTheFileExistsBox) {
  Write({{.name = "a.txt", .data = "new"}, {.name = "b.txt", .data = "new"}});
  zip.OverwriteMode = TUZOverwriteMode::Prompt;
  zip.OnPromptForOverwrite = nullptr;
  fs::create_directories(Dest());
  WriteFileBytes(OnDisk("a.txt"), "old");
  WriteFileBytes(OnDisk("b.txt"), "old");
  ScriptedMessages boxes;
  boxes.Expect(mb::kIdNo);
  boxes.Expect(mb::kIdYes);
  EXPECT_EQ(zip.ExtractFiles(), 1);
  ASSERT_EQ(boxes.Shown().size(), 2u);
  EXPECT_EQ(boxes.Shown()[0].text, "Replace existing file a.txt?");
  EXPECT_EQ(boxes.Shown()[0].caption, "File Exists Alert");
  EXPECT_EQ(ReadFileBytes(OnDisk("a.txt")), "old");
  EXPECT_EQ(ReadFileBytes(OnDisk("b.txt")), "new");
}

TEST_F(ExtractEvents, SkipInStartLeavesAnExistingFileUntouchedAndCountsTheEntry) {
  Write({{.name = "a.txt", .data = "new"}});
  fs::create_directories(Dest());
  WriteFileBytes(OnDisk("a.txt"), "old");
  log.skipStart = true;
  EXPECT_EQ(zip.ExtractFiles(), 1);
  EXPECT_EQ(log.lines, (Lines{"info 1 3", "start 0 " + Target("a.txt")}));
  EXPECT_EQ(ReadFileBytes(OnDisk("a.txt")), "old");
}

// ---- selection, StopNow, cancellation -----------------------------------------------------

TEST_F(ExtractEvents, StopNowExtractsNothingAndReturnsTheSelectedCount) {
  Write({{.name = "a.txt", .data = "x"}, {.name = "b.txt", .data = "y"}});
  log.stopNow = true;
  EXPECT_EQ(zip.ExtractFiles(), 2);
  EXPECT_EQ(log.lines, (Lines{"info 2 2"}));
  EXPECT_FALSE(fs::exists(OnDisk("a.txt")));
}

TEST_F(ExtractEvents, PatternsSelectByTheLowerCasedStoredPath) {
  Write({{.name = "Doc/Read.TXT", .data = "1"}, {.name = "bin/a.exe", .data = "22"},
         {.name = "top.txt", .data = "333"}});
  zip.DoAll = false;
  zip.FilesList = {"*.txt"};
  EXPECT_EQ(zip.ExtractFiles(), 2);
  EXPECT_EQ(log.lines[0], "info 2 4");
  EXPECT_TRUE(fs::exists(OnDisk("Doc/Read.TXT")));
  EXPECT_FALSE(fs::exists(OnDisk("bin/a.exe")));
}

TEST_F(ExtractEvents, DirectoryEntriesWithoutRecreateDirsSelectNothing) {
  Write({{.name = "d1/", .data = ""}, {.name = "d2/", .data = ""}});
  zip.RecreateDirs = false;
  zip.DoAll = false;
  zip.FilesList = {"*"};
  EXPECT_EQ(zip.ExtractFiles(), 0);
  EXPECT_EQ(log.lines, (Lines{"info 0 0"}));
}

TEST_F(ExtractEvents, DirectoryEntriesAreCreatedAndReported) {
  Write({{.name = "d1/sub/", .data = ""}});
  EXPECT_EQ(zip.ExtractFiles(), 1);
  EXPECT_EQ(log.lines, (Lines{"info 1 0", "start 0 " + Dest() + "\\d1\\sub\\"}));
  EXPECT_TRUE(fs::is_directory(OnDisk("d1/sub")));
}

TEST_F(ExtractEvents, CancelAtARefillStopsTheCallAndRemovesThePartialFile) {
  Write({{.name = "big.bin", .data = SampleText(100000)}, {.name = "next.txt", .data = "n"}});
  zip.OnTotalPercentDone = [](TUnZip* z, int) { z->CancelOperation(); };
  try {
    zip.ExtractFiles();
    FAIL() << "the cancel was not seen";
  } catch (const EUserCanceled& e) {
    EXPECT_EQ(e.Message(), "Операция прервана пользователем.");
  }
  EXPECT_FALSE(fs::exists(OnDisk("big.bin")));
  EXPECT_FALSE(fs::exists(OnDisk("next.txt")));
  EXPECT_FALSE(zip.Busy());

  // The cancel is not carried over into the next call.
  zip.OnTotalPercentDone = nullptr;
  EXPECT_EQ(zip.ExtractFiles(), 2);
  EXPECT_EQ(ReadFileBytes(OnDisk("big.bin")), SampleText(100000));
}

TEST_F(ExtractEvents, CancelIsSeenInADeflatedEntryToo) {
  // binrep.bin of the corpus, deflated to 83164 bytes: six input blocks.
  zip.SetZipName(TestDataPath("zip/generated/hw_deflate.zip"));
  zip.SetDestDir(Dest());
  zip.FilesList = {"binrep.bin"};
  int blocks = 0;
  zip.OnTotalPercentDone = [&](TUnZip* z, int) {
    if (++blocks == 1) z->CancelOperation();
  };
  EXPECT_THROW(zip.ExtractFiles(), EUserCanceled);
  EXPECT_FALSE(fs::exists(OnDisk("binrep.bin")));
}

TEST_F(ExtractEvents, ACancelMadeBeforeTheCallHasNoEffect) {
  Write({{.name = "a.txt", .data = SampleText(50000)}});
  zip.CancelOperation();
  EXPECT_EQ(zip.ExtractFiles(), 1);
}

TEST_F(ExtractEvents, WithoutMessageProcessingTheCancelFlagIsNotPolled) {
  Write({{.name = "a.txt", .data = SampleText(50000)}});
  zip.DoProcessMessages = false;
  zip.OnTotalPercentDone = [](TUnZip* z, int) { z->CancelOperation(); };
  EXPECT_EQ(zip.ExtractFiles(), 1);
}

// ---- attributes, time stamps, test mode ---------------------------------------------------

TEST_F(ExtractEvents, TheFileGetsTheStoredTimeAndAttributes) {
  Write({{.name = "ro.txt", .data = "r", .externalAttributes = os::kAttrReadOnly | os::kAttrArchive},
         {.name = "rw.txt", .data = "w"}});
  EXPECT_EQ(zip.ExtractFiles(), 2);
  EXPECT_EQ(os::GetFileDosDateTime(OnDisk("ro.txt")), 0x5A8E6C21u);
  EXPECT_EQ(os::GetFileDosDateTime(OnDisk("rw.txt")), 0x5A8E6C21u);
  auto perms = fs::status(OnDisk("ro.txt")).permissions();
  EXPECT_EQ(perms & fs::perms::owner_write, fs::perms::none);
  fs::permissions(OnDisk("ro.txt"), fs::perms::owner_write, fs::perm_options::add);
}

TEST_F(ExtractEvents, TestOnlyChecksEveryEntryAndWritesNothing) {
  Write({{.name = "d/a.txt", .data = SampleText(30000)},
         {.name = "bad.txt", .data = "x", .ownCrc = true, .crc = 1}});
  zip.TestOnly = true;
  log.recordPercent = false;
  EXPECT_EQ(zip.ExtractFiles(), 1);
  EXPECT_EQ(log.lines.size(), 5u);
  EXPECT_EQ(log.lines[2], "end 0 " + Dest() + "\\d\\a.txt");
  EXPECT_EQ(log.lines[4].rfind("badcrc 1", 0), 0u);
  EXPECT_FALSE(fs::exists(Dest()));
}

}  // namespace
