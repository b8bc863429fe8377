// Extraction of damaged and hostile archives: a failed entry keeps the file it was to
// replace, the archive itself is never a target, entries that share bytes are refused,
// comments read from a handler, the refill hook with its cancel, sizes and directories that
// go wrong, the most entries the format allows, and long target paths.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/osfile.h"
#include "extract_test_support.h"
#include "unzip/UnZip.h"

namespace {

using extracttest::BuildZip;
using extracttest::CentralHeader;
using extracttest::CrcOf;
using extracttest::EndRecord;
using extracttest::EventLog;
using extracttest::HeaderFields;
using extracttest::LocalHeader;
using extracttest::SampleText;
using extracttest::TestEntry;
namespace fs = std::filesystem;

// The names in a directory, sorted.
std::vector<std::string> Names(const std::string& directory) {
  std::vector<std::string> names;
  if (!fs::exists(directory)) return names;
  for (const auto& entry : fs::directory_iterator(directory)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class ExtractFaults : public ::testing::Test {
 protected:
  void Open(const std::string& bytes) {
    zip.ResetArchive();  // the same name again must not keep the last directory
    WriteFileBytes(work.File("test.zip"), bytes);
    zip.SetZipName(work.File("test.zip"));
    zip.SetDestDir(Dest());
    zip.RecreateDirs = true;
    zip.DoAll = true;
    zip.OverwriteMode = TUZOverwriteMode::Always;
    log.recordPercent = false;
    log.Attach(zip);
  }
  std::string Dest() const { return work.File("out"); }
  std::string OnDisk(const std::string& relative) const { return Dest() + "/" + relative; }
  void Existing(const std::string& relative, const std::string& bytes) {
    fs::create_directories(fs::path(OnDisk(relative)).parent_path());
    WriteFileBytes(OnDisk(relative), bytes);
  }
  // Extracts everything, expecting the call to refuse a target that is the archive itself.
  void ExpectTheArchiveRefusedAsATarget() {
    zip.DoAll = true;
    zip.OverwriteMode = TUZOverwriteMode::Always;
    try {
      zip.ExtractFiles();
      FAIL() << "the archive was a target";
    } catch (const EFCreateError& e) {
      EXPECT_NE(e.Message().find("It is the archive being read."), std::string::npos)
          << e.Message();
    }
  }

  TempDir work;
  TUnZip zip;
  EventLog log;
};

// ---- a failed entry keeps the old file -----------------------------------------------------

struct FailedEntryCase {
  const char* what;
  TestEntry entry;
  bool throws;  // the failure ends the call
};

TEST_F(ExtractFaults, AFailedEntryLeavesTheFileItWasToReplaceUntouched) {
  const std::string data = SampleText(40000);
  const FailedEntryCase cases[] = {
      {"bad CRC", {.name = "a.txt", .data = data, .ownCrc = true, .crc = 0x12345678}, false},
      {"data shorter than its size",
       {.name = "a.txt", .data = data, .ownCrc = true, .crc = CrcOf(data), .uncompressedSize = 50000},
       false},
      {"data longer than its size",
       {.name = "a.txt", .data = data, .ownCrc = true, .crc = CrcOf(data), .uncompressedSize = 30000},
       false},
      {"archive ends inside the data", {.name = "a.txt", .data = data, .compressedSize = 900000},
       true},
  };
  for (const auto& c : cases) {
    // With a file to replace, and without one (the entry's file is then made under its own
    // name, and must go again).
    for (const bool existing : {true, false}) {
      SCOPED_TRACE(std::string(c.what) + (existing ? ", over a file" : ", no file before"));
      fs::remove_all(Dest());
      fs::create_directories(Dest());
      if (existing) Existing("a.txt", "the installed file");
      Open(BuildZip({c.entry}));
      if (c.throws) {
        EXPECT_THROW(zip.ExtractFiles(), EFatalUnzipError);
      } else {
        EXPECT_EQ(zip.ExtractFiles(), 0);
      }
      if (existing) {
        EXPECT_EQ(ReadFileBytes(OnDisk("a.txt")), "the installed file");
        EXPECT_EQ(Names(Dest()), std::vector<std::string>{"a.txt"});  // no temporary file left
      } else {
        EXPECT_EQ(Names(Dest()), std::vector<std::string>{});
      }
    }
  }
}

TEST_F(ExtractFaults, AGoodEntryReplacesTheFileAndLeavesNothingElse) {
  Existing("a.txt", "the installed file, longer than the new one");
  Open(BuildZip({{.name = "a.txt", .data = "new"}}));
  EXPECT_EQ(zip.ExtractFiles(), 1);
  EXPECT_EQ(ReadFileBytes(OnDisk("a.txt")), "new");
  EXPECT_EQ(os::GetFileDosDateTime(OnDisk("a.txt")), 0x5A8E6C21u);
  EXPECT_EQ(Names(Dest()), std::vector<std::string>{"a.txt"});
}

TEST_F(ExtractFaults, ATargetThatCannotBeReplacedRaisesTheCreateErrorAndLeavesNoTemporaryFile) {
  // A directory of the target's name, with a file in it, cannot be replaced by a file.
  Existing("a.txt/keep.txt", "k");
  Open(BuildZip({{.name = "a.txt", .data = "new"}}));
  try {
    zip.ExtractFiles();
    FAIL() << "no error";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.Message().rfind("Cannot create file \"" + Dest() + "\\a.txt\". ", 0), 0u)
        << e.Message();
  }
  EXPECT_EQ(Names(Dest()), std::vector<std::string>{"a.txt"});
  EXPECT_EQ(ReadFileBytes(OnDisk("a.txt/keep.txt")), "k");
}

// ---- the archive itself is never a target --------------------------------------------------

TEST_F(ExtractFaults, TheOpenArchiveIsNeverWrittenOver) {
  struct Case {
    const char* what;
    const char* entry;
    const char* link;  // a hard link to the archive under this name, when set
  };
  const Case cases[] = {
      {"an entry with the archive's name", "self.zip", nullptr},
      {"an entry named as a hard link to the archive", "other.zip", "other.zip"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(Dest());
    fs::create_directories(Dest());
    const std::string bytes =
        BuildZip({{.name = "first.txt", .data = "1"}, {.name = c.entry, .data = SampleText(30000)}});
    WriteFileBytes(OnDisk("self.zip"), bytes);
    if (c.link) fs::create_hard_link(OnDisk("self.zip"), OnDisk(c.link));
    zip.SetZipName(Dest() + "/self.zip");
    zip.SetDestDir(Dest());
    ExpectTheArchiveRefusedAsATarget();
    EXPECT_EQ(ReadFileBytes(OnDisk("self.zip")), bytes);
    EXPECT_EQ(ReadFileBytes(OnDisk("first.txt")), "1");
    zip.ResetArchive();
  }
}

TEST_F(ExtractFaults, TheArchiveInASubdirectoryIsNeverWrittenOverEither) {
  // Files of directories the call made are not compared with the archive; this one's
  // directory was there before, and the entries before it go to a directory made now.
  fs::create_directories(OnDisk("sub"));
  const std::string bytes = BuildZip({{.name = "new/first.txt", .data = "1"},
                                      {.name = "new/self.zip", .data = "2"},
                                      {.name = "sub/self.zip", .data = SampleText(30000)}});
  WriteFileBytes(OnDisk("sub/self.zip"), bytes);
  zip.SetZipName(OnDisk("sub/self.zip"));
  zip.SetDestDir(Dest());
  zip.RecreateDirs = true;
  ExpectTheArchiveRefusedAsATarget();
  EXPECT_EQ(ReadFileBytes(OnDisk("sub/self.zip")), bytes);
  EXPECT_EQ(ReadFileBytes(OnDisk("new/self.zip")), "2");
  zip.ResetArchive();
}

TEST_F(ExtractFaults, ADirectoryRemovedBetweenItsEntriesIsMadeAgain) {
  // The directory of a run of entries is looked at once; one that goes away in between
  // (here removed by a handler) is made again rather than failing the next file.
  Open(BuildZip({{.name = "d/a.txt", .data = "a"}, {.name = "d/b.txt", .data = "b"}}));
  zip.OnEndUnZip = [this](TUnZip*, int index, const std::string&) {
    if (index == 0) fs::remove_all(OnDisk("d"));
  };
  EXPECT_EQ(zip.ExtractFiles(), 2);
  EXPECT_EQ(Names(OnDisk("d")), std::vector<std::string>{"b.txt"});
  EXPECT_EQ(ReadFileBytes(OnDisk("d/b.txt")), "b");
}

TEST_F(ExtractFaults, AnEntryNamedAsTheArchiveGoesElsewhereFreely) {
  Open(BuildZip({{.name = "test.zip", .data = "inner"}}));
  EXPECT_EQ(zip.ExtractFiles(), 1);
  EXPECT_EQ(ReadFileBytes(OnDisk("test.zip")), "inner");
}

// ---- entries that share bytes --------------------------------------------------------------

// Three directory records whose local headers follow each other; the extra-field length of
// each jumps over the rest to one stream of data that all three then read.
std::string JumpingHeaders() {
  const std::string data = SampleText(5000);
  const std::vector<std::string> names = {"a1.txt", "a2.txt", "a3.txt"};
  std::uint32_t dataStart = 0;
  for (const auto& n : names) dataStart += 30 + static_cast<std::uint32_t>(n.size());
  std::string out, central;
  for (const auto& n : names) {
    HeaderFields h{.name = n, .crc = CrcOf(data), .compressedSize = 5000, .uncompressedSize = 5000};
    h.localHeaderOffset = static_cast<std::uint32_t>(out.size());
    h.extraLength = static_cast<std::uint16_t>(dataStart - (out.size() + 30 + n.size()));
    out += LocalHeader(h);
    h.extraLength = 0;
    central += CentralHeader(h);
  }
  out += data;
  const auto offset = static_cast<std::uint32_t>(out.size());
  return out + central + EndRecord(3, static_cast<std::uint32_t>(central.size()), offset);
}

// A stored entry whose data holds a whole second entry, local header and all.
std::string NestedEntry() {
  const std::string innerData = SampleText(3000);
  HeaderFields inner{.name = "inner.txt", .crc = CrcOf(innerData), .compressedSize = 3000,
                     .uncompressedSize = 3000};
  const std::string outerData = LocalHeader(inner) + innerData;
  HeaderFields outer{.name = "outer.bin", .crc = CrcOf(outerData),
                     .compressedSize = static_cast<std::uint32_t>(outerData.size()),
                     .uncompressedSize = static_cast<std::uint32_t>(outerData.size())};
  inner.localHeaderOffset = 30 + 9;
  std::string out = LocalHeader(outer) + outerData;
  const std::string central = CentralHeader(outer) + CentralHeader(inner);
  const auto offset = static_cast<std::uint32_t>(out.size());
  return out + central + EndRecord(2, static_cast<std::uint32_t>(central.size()), offset);
}

TEST_F(ExtractFaults, EntriesThatShareBytesAreRefusedBeforeAnythingIsWritten) {
  struct Case {
    const char* what;
    std::string bytes;
    const char* message;
  };
  const Case cases[] = {
      {"extra fields jumping into one stream", JumpingHeaders(),
       "Overlapping entries: \"a1.txt\" (bytes 0 to 5107) and \"a2.txt\" (from byte 36) share "
       "bytes of the archive"},
      {"an entry inside another's data", NestedEntry(),
       "Overlapping entries: \"outer.bin\" (bytes 0 to 3077) and \"inner.txt\" (from byte 39) "
       "share bytes of the archive"},
  };
  for (const auto& c : cases) {
    for (bool testOnly : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (testOnly ? ", test only" : ""));
      fs::remove_all(Dest());
      zip.ResetArchive();
      Open(c.bytes);
      zip.TestOnly = testOnly;
      try {
        zip.ExtractFiles();
        FAIL() << "not refused";
      } catch (const EBadZipFile& e) {
        EXPECT_EQ(e.Message(), c.message);
      }
      EXPECT_EQ(log.lines, std::vector<std::string>{});
      EXPECT_EQ(Names(Dest()), std::vector<std::string>{});
      // The directory itself is listed as before.
      EXPECT_GT(zip.EntryCount(), 1);
    }
  }
}

// ---- comments read from a handler ----------------------------------------------------------

// Tells whether the archive file is open.
struct TWatchedUnZip : TUnZip {
  bool ArchiveOpen() const { return ZipStream() != nullptr; }
};

TEST_F(ExtractFaults, CommentsReadFromAHandlerLeaveTheExtractionGoing) {
  const std::string first = SampleText(40000), second = SampleText(35000) + "x";
  Open(BuildZip({{.name = "a.bin", .data = first, .comment = "first note"},
                 {.name = "b.bin", .data = second, .comment = "second note"}},
                "archive note"));
  std::vector<std::string> seen;
  zip.OnFilePercentDone = [&](TUnZip* z, int) {
    seen.push_back(z->EntryComment(1) + "|" + z->ArchiveComment() + "|" + z->EntryComment(0));
  };
  EXPECT_EQ(zip.ExtractFiles(), 2);
  EXPECT_EQ(ReadFileBytes(OnDisk("a.bin")), first);
  EXPECT_EQ(ReadFileBytes(OnDisk("b.bin")), second);
  ASSERT_FALSE(seen.empty());
  for (const auto& s : seen) EXPECT_EQ(s, "second note|archive note|first note");
}

TEST_F(ExtractFaults, TheArchiveIsOpenDuringTheCallAndClosedAfterIt) {
  TWatchedUnZip watched;
  WriteFileBytes(work.File("test.zip"), BuildZip({{.name = "a.bin", .data = SampleText(40000),
                                                   .comment = "note"}}, "archive note"));
  watched.SetZipName(work.File("test.zip"));
  watched.SetDestDir(Dest());
  watched.DoAll = true;
  std::vector<bool> open;
  watched.OnFilePercentDone = [&](TUnZip* z, int) {
    z->EntryComment(0);
    z->ArchiveComment();
    open.push_back(watched.ArchiveOpen());
  };
  EXPECT_EQ(watched.ExtractFiles(), 1);
  EXPECT_EQ(open, std::vector<bool>(3, true));
  EXPECT_FALSE(watched.ArchiveOpen());
}

// ---- the refill hook ----------------------------------------------------------------------

TEST_F(ExtractFaults, TheRefillHookIsCalledPerEntryAndPerRefill) {
  Open(BuildZip({{.name = "a.txt", .data = SampleText(40000)},  // 16000 + 16000 + 8000
                 {.name = "d/", .data = ""},
                 {.name = "d/b.txt", .data = SampleText(20000)}}));  // 16000 + 4000
  zip.DoProcessMessages = false;
  int calls = 0;
  zip.OnInputRefill = [&](TUnZip* z) {
    EXPECT_EQ(z, &zip);
    ++calls;
  };
  EXPECT_EQ(zip.ExtractFiles(), 3);
  EXPECT_EQ(calls, (1 + 3) + 1 + (1 + 2));
}

TEST_F(ExtractFaults, ACancelAtAnyRefillStopsWithNoHalfWrittenFile) {
  const std::string a = SampleText(40000), b = SampleText(20000);
  const std::string bytes = BuildZip({{.name = "a.txt", .data = a}, {.name = "b.txt", .data = b}});
  for (int k = 1; k <= 7; ++k) {
    SCOPED_TRACE("cancel at call " + std::to_string(k));
    fs::remove_all(Dest());
    Existing("b.txt", "old b");
    Open(bytes);
    zip.DoProcessMessages = false;  // the hook's cancel does not depend on message processing
    int calls = 0;
    zip.OnInputRefill = [&](TUnZip* z) {
      if (++calls == k) z->CancelOperation();
    };
    EXPECT_THROW(zip.ExtractFiles(), EUserCanceled);
    EXPECT_EQ(calls, k);
    // a.txt takes calls 1 to 4, b.txt calls 5 to 7.
    if (k <= 4) {
      EXPECT_EQ(Names(Dest()), std::vector<std::string>{"b.txt"});
    } else {
      EXPECT_EQ(Names(Dest()), (std::vector<std::string>{"a.txt", "b.txt"}));
      EXPECT_EQ(ReadFileBytes(OnDisk("a.txt")), a);
    }
    EXPECT_EQ(ReadFileBytes(OnDisk("b.txt")), "old b");
    EXPECT_FALSE(zip.Busy());
  }
}

// ---- sizes, directories --------------------------------------------------------------------

TEST_F(ExtractFaults, AWrongSizeIsReportedAsSuchNotAsACrcMismatch) {
  const std::string data = SampleText(40000);
  struct Case {
    long long stored;
    std::string expected;
  };
  const Case cases[] = {{50000, "size 0 40000 50000"}, {30000, "size 0 32000 30000"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored);
    log.lines.clear();
    zip.ResetArchive();
    Open(BuildZip({{.name = "a.txt", .data = data, .ownCrc = true, .crc = CrcOf(data),
                    .uncompressedSize = c.stored}}));
    zip.OnBadSize = [&](TUnZip*, std::int64_t written, std::int64_t expected, int index) {
      log.lines.push_back("size " + std::to_string(index) + " " + std::to_string(written) + " " +
                          std::to_string(expected));
    };
    EXPECT_EQ(zip.ExtractFiles(), 0);
    EXPECT_EQ(log.lines.back(), c.expected);
    EXPECT_EQ(std::count_if(log.lines.begin(), log.lines.end(),
                            [](const std::string& l) { return l.rfind("badcrc", 0) == 0; }),
              0);
  }
}

TEST_F(ExtractFaults, ADirectoryThatCannotBeCreatedIsReportedWithItsCause) {
  struct Case {
    const char* what;
    std::vector<TestEntry> entries;
    std::string directory;  // as the message names it
  };
  const Case cases[] = {
      {"a directory entry where a file is", {{.name = "a", .data = "file"}, {.name = "a/", .data = ""}},
       Dest() + "\\a\\"},
      {"a file under a file", {{.name = "a", .data = "file"}, {.name = "a/b.txt", .data = "b"}},
       Dest() + "\\a\\"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(Dest());
    zip.ResetArchive();
    Open(BuildZip(c.entries));
    try {
      zip.ExtractFiles();
      FAIL() << "no error";
    } catch (const EFCreateError& e) {
      EXPECT_EQ(e.Message().rfind("Cannot create directory \"" + c.directory + "\". ", 0), 0u)
          << e.Message();
    }
  }
}

// ---- the most entries, ZIP64 ---------------------------------------------------------------

TEST(ExtractLimits, AnArchiveOf65535EntriesIsReadWhole) {
  TempDir work;
  std::vector<TestEntry> entries(65535);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "e%05zu", i);
    entries[i].name = name;
  }
  WriteFileBytes(work.File("many.zip"), BuildZip(entries));
  TUnZip zip;
  zip.SetZipName(work.File("many.zip"));
  zip.ReadArchive();
  ASSERT_EQ(zip.EntryCount(), 65535);
  EXPECT_EQ(zip.EntryFileName(65534), "e65534");
  zip.TestOnly = true;
  zip.DoAll = true;
  EXPECT_EQ(zip.ExtractFiles(), 65535);
}

TEST(ExtractLimits, TooManyLocalHeadersToRebuildAreNamedAsSuch) {
  TempDir work;
  std::string bytes;
  for (int i = 0; i < 65536; ++i) bytes += LocalHeader(HeaderFields{.name = "x"});
  WriteFileBytes(work.File("many.zip"), bytes);
  TUnZip zip;
  zip.IncompleteZipMode = izAssumeBad;
  zip.SetZipName(work.File("many.zip"));
  try {
    zip.ReadArchive();
    FAIL() << "no error";
  } catch (const EBadZipFile& e) {
    EXPECT_EQ(e.Message(), unzip_msg::kTooManyEntries);
  }
}

TEST(ExtractLimits, Zip64IsNamedAsSuch) {
  TempDir work;
  // An end record that stands for a 64-bit one: offset at its maximum, locator in front.
  std::string archive = LocalHeader(HeaderFields{.name = "a"});
  std::string locator;
  zipbytes::Put32(locator, 0x07064B50);
  locator += std::string(16, '\0');
  archive += locator + EndRecord(0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF);
  WriteFileBytes(work.File("z64.zip"), archive);
  TUnZip zip;
  zip.SetZipName(work.File("z64.zip"));
  try {
    zip.ReadArchive();
    FAIL() << "no error";
  } catch (const EBadZipFile& e) {
    EXPECT_EQ(e.Message(), unzip_msg::kZip64);
  }

  // An entry whose sizes are in the 64-bit extra field.
  WriteFileBytes(work.File("e64.zip"),
                 BuildZip({{.name = "big.bin", .data = "x", .uncompressedSize = 0xFFFFFFFFLL,
                            .compressedSize = 0xFFFFFFFFLL}}));
  zip.SetZipName(work.File("e64.zip"));
  zip.SetDestDir(work.File("out"));
  zip.DoAll = true;
  try {
    zip.ExtractFiles();
    FAIL() << "no error";
  } catch (const EFatalUnzipError& e) {
    EXPECT_EQ(e.Message(), unzip_msg::kZip64Entry);
  }
}

// ---- long paths ----------------------------------------------------------------------------

TEST_F(ExtractFaults, TargetsLongerThan260CharactersAreWritten) {
  const std::string part(100, 'd');
  const std::string stored = part + "/" + part + "/" + std::string(90, 'f') + ".txt";
  Existing(part + "/" + part + "/" + std::string(90, 'f') + ".txt", "old");
  Open(BuildZip({{.name = stored, .data = SampleText(20000)}}));
  ASSERT_GT((Dest() + "\\" + stored).size(), 300u);
  EXPECT_EQ(zip.ExtractFiles(), 1);
  EXPECT_EQ(ReadFileBytes(OnDisk(stored)), SampleText(20000));
  EXPECT_EQ(Names(OnDisk(part + "/" + part)), std::vector<std::string>{std::string(90, 'f') + ".txt"});
}

}  // namespace
