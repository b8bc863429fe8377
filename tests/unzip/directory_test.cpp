// TUnZip's directory: opening, reading, rebuilding, multi-disk sets, views, accessors and
// every exception of the directory part.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/osfile.h"
#include "common/testsupport.h"
#include "common/text.h"
#include "zip_bytes.h"
#include "unzip/UnZip.h"
#include "unzip/UnZipSeams.h"

namespace {

using zipbytes::Put16;
using zipbytes::Put32;

constexpr std::uint32_t kStamp = 0x2A214C60;

struct FileSpec {
  FileSpec(std::string name, std::string data, std::uint32_t stamp = kStamp,
           std::string comment = {})
      : name(std::move(name)), data(std::move(data)), stamp(stamp), comment(std::move(comment)) {}
  std::string name;
  std::string data;
  std::uint32_t stamp;
  std::string comment;
};

// A small archive writer: stored entries, central directory, end record.
struct ZipImage {
  std::string bytes;
  std::string central;
  int entries = 0;

  void Add(const FileSpec& f) {
    std::uint32_t offset = static_cast<std::uint32_t>(bytes.size());
    bytes += "PK\x03\x04";
    Put16(bytes, 10);
    Put16(bytes, 0);
    Put16(bytes, 0);
    Put32(bytes, f.stamp);
    Put32(bytes, 0);
    Put32(bytes, static_cast<std::uint32_t>(f.data.size()));
    Put32(bytes, static_cast<std::uint32_t>(f.data.size()));
    Put16(bytes, static_cast<unsigned>(f.name.size()));
    Put16(bytes, 0);
    bytes += f.name;
    bytes += f.data;
    AddCentral(f, offset);
  }
  void AddCentral(const FileSpec& f, std::uint32_t offset) {
    central += "PK\x01\x02";
    Put16(central, 20);
    Put16(central, 10);
    Put16(central, 0);
    Put16(central, 0);
    Put32(central, f.stamp);
    Put32(central, 0);
    Put32(central, static_cast<std::uint32_t>(f.data.size()));
    Put32(central, static_cast<std::uint32_t>(f.data.size()));
    Put16(central, static_cast<unsigned>(f.name.size()));
    Put16(central, 0);
    Put16(central, static_cast<unsigned>(f.comment.size()));
    Put16(central, 0);
    Put16(central, 0);
    Put32(central, 0x20);
    Put32(central, offset);
    central += f.name;
    central += f.comment;
    ++entries;
  }
  std::string Finish(const std::string& comment = "") const {
    std::string out = bytes + central;
    out += "PK\x05\x06";
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, static_cast<unsigned>(entries));
    Put16(out, static_cast<unsigned>(entries));
    Put32(out, static_cast<std::uint32_t>(central.size()));
    Put32(out, static_cast<std::uint32_t>(bytes.size()));
    Put16(out, static_cast<unsigned>(comment.size()));
    return out + comment;
  }
};

std::string ThreeFiles() {
  ZipImage z;
  z.Add({"a.txt", "alpha"});
  z.Add({"dir/b.txt", "bravo!"});
  z.Add({"dir/", ""});
  return z.Finish("the archive");
}

// Replaces the reader's seams for one test.
class SeamsScope {
 public:
  SeamsScope() : saved_(UnZipSeams()) {}
  ~SeamsScope() { UnZipSeams() = saved_; }

 private:
  TUnZipSeams saved_;
};

// Opens the protected operations for the tests.
class TestUnZip : public TUnZip {
 public:
  using TUnZip::DefaultGetNextDisk;
  using TUnZip::FDiskSetMode;
  using TUnZip::FLocalHeader;
  using TUnZip::SeekToEntryData;
  using TUnZip::LoadDisk;
  using TUnZip::OpenArchive;
  using TUnZip::ZipStream;
};

template <typename E>
std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const E& e) {
    return e.Message();
  } catch (const std::exception& e) {
    return std::string("other exception: ") + DescribeException(e);
  }
  return "no exception";
}

// ---------------------------------------------------------------------------------------

TEST(Directory, ReadsARealArchive) {
  TUnZip zip;
  EXPECT_EQ(zip.ThisVersion(), 217);
  zip.SetZipName(TestDataPath("zip/generated/hw_store.zip"));
  zip.ReadArchive();
  ASSERT_EQ(zip.EntryCount(), 6);
  EXPECT_EQ(zip.EntryFileName(3), "readme.txt");
  EXPECT_EQ(zip.EntryDirectory(3), "dir\\");
  EXPECT_EQ(zip.EntryDirectory(4), "dir\\sub\\");
  EXPECT_EQ(zip.EntryUncompressedSize(5), 71680);
  EXPECT_EQ(zip.NumDisks(), 1);
  EXPECT_EQ(zip.DiskSetMode(), dsNone);
  EXPECT_FALSE(zip.Rebuilt());
  EXPECT_EQ(zip.ArchiveComment(), "");
}

TEST(Directory, ASmallSyntheticArchive) {
  TempDir dir;
  WriteFileBytes(dir.File("t.zip"), ThreeFiles());
  TUnZip zip;
  zip.SetZipName(dir.File("t.zip"));
  zip.ReadArchive();
  ASSERT_EQ(zip.EntryCount(), 3);
  EXPECT_EQ(zip.EntryFileName(2), "");
  EXPECT_EQ(zip.EntryDirectory(2), "dir\\");
  EXPECT_EQ(zip.EntryAttributes(0), 0x20u);
  EXPECT_EQ(zip.ArchiveComment(), "the archive");
  TDateTime when = zip.EntryDateTime(0);
  TDateTime expected = 0;
  ASSERT_TRUE(zip::DosDateTimeToDateTime(kStamp, expected));
  EXPECT_DOUBLE_EQ(when, expected);
}

TEST(Directory, AStampThatIsNoDateReadsAsNow) {
  TempDir dir;
  ZipImage z;
  z.Add({"x", "1", (((2001u - 1980u) << 9 | 2u << 5 | 31u) << 16)});
  WriteFileBytes(dir.File("t.zip"), z.Finish());
  TUnZip zip;
  zip.SetZipName(dir.File("t.zip"));
  zip.ReadArchive();
  EXPECT_NEAR(zip.EntryDateTime(0), zip::NowDateTime(), 1.0 / 24);
}

TEST(Directory, IndexesOutsideTheEntriesAreListErrors) {
  TUnZip zip;
  EXPECT_EQ(zip.EntryCount(), 0);
  EXPECT_EQ(MessageOf<EListError>([&] { zip.EntryFileName(0); }), "Index 0 is out of range");
  TempDir dir;
  WriteFileBytes(dir.File("t.zip"), ThreeFiles());
  zip.SetZipName(dir.File("t.zip"));
  zip.ReadArchive();
  EXPECT_EQ(MessageOf<EListError>([&] { zip.EntryFileName(-1); }), "Index -1 is out of range");
  EXPECT_EQ(MessageOf<EListError>([&] { zip.EntryDirectory(3); }), "Index 3 is out of range");
  EXPECT_EQ(MessageOf<EListError>([&] { zip.EntryComment(3); }), "Index 3 is out of range");
}

TEST(Directory, TwoCentralRecordsForOneLocalHeaderAreADuplicate) {
  TempDir dir;
  ZipImage z;
  z.Add({"a.txt", "alpha"});
  z.AddCentral({"again.txt", "alpha"}, 0);
  WriteFileBytes(dir.File("dup.zip"), z.Finish());
  TUnZip zip;
  zip.SetZipName(dir.File("dup.zip"));
  EXPECT_EQ(MessageOf<EListError>([&] { zip.ReadArchive(); }), "Duplicate Object index");
  EXPECT_EQ(zip.EntryCount(), 0);  // a directory read halfway is not kept
}

TEST(Directory, AMissingArchiveIsAFileOpenError) {
  TempDir dir;
  TUnZip zip;
  zip.SetZipName(dir.File("none.zip"));
  EXPECT_THROW(zip.ReadArchive(), EFOpenError);
}

// ---------------------------------------------------------------------------------------

TEST(Incomplete, TinyFileAssumedMultiRaisesAndForgetsTheName) {
  TempDir dir;
  WriteFileBytes(dir.File("tiny.zip"), std::string(21, 'x'));
  TUnZip zip;
  int fired = 0;
  zip.OnInCompleteZip = [&](TUnZip* sender, TIncompleteZipMode& mode) {
    EXPECT_EQ(sender, &zip);
    EXPECT_EQ(mode, izAssumeMulti);
    ++fired;
  };
  zip.SetZipName(dir.File("tiny.zip"));
  try {
    zip.ReadArchive();
    FAIL() << "no exception";
  } catch (const EIncompleteZip& e) {
    EXPECT_STREQ(e.ClassName(), "EIncompleteZip");
    EXPECT_EQ(e.Message(), "Incomplete Zip File");
  }
  EXPECT_EQ(fired, 1);
  EXPECT_EQ(zip.ZipName(), "");
}

TEST(Incomplete, AssumedBadWithoutLocalHeadersIsNotAZipFile) {
  TempDir dir;
  WriteFileBytes(dir.File("junk.zip"), std::string(5000, 'P') + "PK\x03" + std::string(100, 'k'));
  TUnZip zip;
  zip.IncompleteZipMode = izAssumeBad;
  zip.SetZipName(dir.File("junk.zip"));
  try {
    zip.ReadArchive();
    FAIL() << "no exception";
  } catch (const EBadZipFile& e) {
    EXPECT_STREQ(e.ClassName(), "EBadZipFile");
    EXPECT_EQ(e.Message(), "Not a valid zip file!");
  }
  EXPECT_EQ(zip.ZipName(), "");
}

TEST(Incomplete, TheHandlersChoiceStaysInTheProperty) {
  TUnZip zip;
  zip.OnInCompleteZip = [](TUnZip*, TIncompleteZipMode& mode) { mode = izAssumeBad; };
  zip.SetZipName(TestDataPath("zip/generated/hw_all_methods_no_cd.zip"));
  zip.ReadArchive();
  EXPECT_EQ(zip.IncompleteZipMode, izAssumeBad);
  EXPECT_TRUE(zip.Rebuilt());
  EXPECT_EQ(zip.EntryCount(), 8);
}

TEST(Rebuild, ACutOffDirectoryIsRebuiltFromLocalHeaders) {
  TUnZip zip;
  zip.IncompleteZipMode = izAssumeBad;
  zip.SetZipName(TestDataPath("zip/generated/hw_all_methods_no_cd.zip"));
  zip.ReadArchive();
  EXPECT_TRUE(zip.Rebuilt());
  ASSERT_EQ(zip.EntryCount(), 8);
  const TZipHeaderInfo& first = zip.EntryHeader(0);
  EXPECT_EQ(first.LocalHeaderOffset, 0u);
  EXPECT_EQ(first.CentralHeaderOffset, 0u);
  EXPECT_EQ(first.ExternalAttributes, 0u);
  EXPECT_EQ(zip.EndCentral().TotalEntries, 8);
  EXPECT_EQ(zip.NumDisks(), 1);
}

TEST(Rebuild, AnEndRecordPointingAtNoCentralHeaderRebuildsOnItsOwn) {
  TUnZip zip;  // izAssumeMulti: the end record exists, so the mode does not matter
  zip.SetZipName(TestDataPath("zip/generated/iz_bad_cd_offset.zip"));
  zip.ReadArchive();
  EXPECT_TRUE(zip.Rebuilt());
  ASSERT_EQ(zip.EntryCount(), 6);
  EXPECT_EQ(zip.EntryFileName(1), "english.txt");
  EXPECT_EQ(zip.EntryDirectory(3), "dir\\sub\\");
  EXPECT_EQ(zip.EntryFileName(3), "");
}

TEST(Rebuild, CentralRecordsAfterTheLocalDataCompleteTheRebuiltEntries) {
  // The end record points nowhere, but the central directory follows the data: the
  // rebuilt entries take its attributes and comments.
  TempDir dir;
  ZipImage z;
  z.Add({"a.txt", "alpha", kStamp, "first"});
  z.Add({"b.txt", "bravo", kStamp, ""});
  std::string image = z.Finish();
  image[image.size() - 6] = 0x7F;  // central directory offset: nonsense
  WriteFileBytes(dir.File("r.zip"), image);
  TUnZip zip;
  zip.SetZipName(dir.File("r.zip"));
  zip.ReadArchive();
  EXPECT_TRUE(zip.Rebuilt());
  ASSERT_EQ(zip.EntryCount(), 2);
  EXPECT_EQ(zip.EntryAttributes(0), 0x20u);
  EXPECT_NE(zip.EntryHeader(0).CentralHeaderOffset, 0u);
  EXPECT_EQ(zip.EntryComment(0), "first");
  EXPECT_EQ(zip.EntryComment(1), "");
}

TEST(Rebuild, AnUpperCaseExeIsScannedFrom14000) {
  TempDir dir;
  ZipImage early;
  early.Add({"early.txt", "e"});
  std::string stub = early.bytes + std::string(14000 - early.bytes.size(), 'x');
  ZipImage late;
  late.Add({"late.txt", "l"});
  WriteFileBytes(dir.File("SFX.EXE"), stub + late.bytes);
  WriteFileBytes(dir.File("sfx2.exe"), stub + late.bytes);

  TUnZip upper;
  upper.IncompleteZipMode = izAssumeBad;
  upper.SetZipName(dir.File("SFX.EXE"));
  upper.ReadArchive();
  ASSERT_EQ(upper.EntryCount(), 1);
  EXPECT_EQ(upper.EntryFileName(0), "late.txt");
  EXPECT_EQ(upper.EntryHeader(0).LocalHeaderOffset, 14000u);

  TUnZip lower;
  lower.IncompleteZipMode = izAssumeBad;
  lower.SetZipName(dir.File("sfx2.exe"));
  lower.ReadArchive();
  ASSERT_GE(lower.EntryCount(), 1);
  EXPECT_EQ(lower.EntryFileName(0), "early.txt");
}

TEST(Rebuild, YieldsEvery10240BytesThatAreNotP) {
  SeamsScope scope;
  TempDir dir;
  ZipImage z;
  z.Add({"x.txt", "x"});
  WriteFileBytes(dir.File("y.zip"), std::string(30000, 'a') + std::string(5000, 'P') + z.bytes);
  int yields = 0;
  UnZipSeams().ProcessMessages = [&yields] { ++yields; };
  TUnZip zip;
  zip.IncompleteZipMode = izAssumeBad;
  zip.SetZipName(dir.File("y.zip"));
  zip.ReadArchive();
  EXPECT_EQ(zip.EntryCount(), 1);
  EXPECT_EQ(yields, 2);  // 30000 other bytes, the P's do not count

  yields = 0;
  TUnZip quiet;
  quiet.DoProcessMessages = false;
  quiet.IncompleteZipMode = izAssumeBad;
  quiet.SetZipName(dir.File("y.zip"));
  quiet.ReadArchive();
  EXPECT_EQ(yields, 0);
}

TEST(Rebuild, CancelDuringTheScanAborts) {
  SeamsScope scope;
  TempDir dir;
  WriteFileBytes(dir.File("c.zip"), std::string(50000, 'a'));
  TUnZip zip;
  UnZipSeams().ProcessMessages = [&zip] { zip.CancelOperation(); };
  zip.IncompleteZipMode = izAssumeBad;
  zip.SetZipName(dir.File("c.zip"));
  try {
    zip.ReadArchive();
    FAIL() << "no exception";
  } catch (const EUserCanceled& e) {
    EXPECT_STREQ(e.ClassName(), "EUserCanceled");
    EXPECT_EQ(e.Message(), "User Aborted Operation");
  }
}

TEST(Rebuild, ANegativeCompressedSizeDoesNotLoop) {
  TempDir dir;
  ZipImage z;
  z.Add({"a.txt", "alpha"});
  std::string image = z.bytes;
  image[18] = image[19] = image[20] = image[21] = '\xFF';  // compressed size -1
  WriteFileBytes(dir.File("n.zip"), image + image);
  TUnZip zip;
  zip.IncompleteZipMode = izAssumeBad;
  zip.SetZipName(dir.File("n.zip"));
  zip.ReadArchive();
  EXPECT_EQ(zip.EntryCount(), 1);
}

// ---------------------------------------------------------------------------------------

TEST(Properties, ZipNameInOtherCaseKeepsTheDirectory) {
  TempDir dir;
  std::string path = dir.File("case.zip");
  WriteFileBytes(path, ThreeFiles());
  TUnZip zip;
  zip.SetZipName(path);
  zip.ReadArchive();
  ASSERT_EQ(zip.EntryCount(), 3);
  zip.SetZipName(text::UpperAscii(path));
  EXPECT_EQ(zip.ZipName(), path);
  EXPECT_EQ(zip.EntryCount(), 3);
  zip.SetZipName(dir.File("other.zip"));
  EXPECT_EQ(zip.EntryCount(), 0);
}

TEST(Properties, ZipNameWithAQuestionMarkAsksForTheFile) {
  SeamsScope scope;
  TempDir dir;
  std::string seenTitle, seenFilter, seenDir;
  bool answer = false;
  UnZipSeams().OpenFileDialog = [&](const std::string& title, const std::string& filter,
                                    const std::string& initialDir, std::string& fileName) {
    seenTitle = title;
    seenFilter = filter;
    seenDir = initialDir;
    fileName = dir.File("chosen.zip");
    return answer;
  };
  TUnZip zip;
  EXPECT_EQ(MessageOf<EUserCanceled>([&] { zip.SetZipName("Q:\\nowhere\\?"); }),
            "User canceled setting zip file name.");
  EXPECT_EQ(seenTitle, "Open a Zip File");
  EXPECT_EQ(seenFilter,
            "Zip Files (*.ZIP)|*.zip|SFX Files (*.EXE)|*.exe|Jar Files (*.JAR)|*.jar|All Files (*.*)|*.*");
  EXPECT_EQ(seenDir, "C:\\");
  answer = true;
  zip.SetZipName(dir.Path() + "\\?");
  EXPECT_EQ(seenDir, dir.Path() + "\\");
  EXPECT_EQ(zip.ZipName(), dir.File("chosen.zip"));
}

TEST(Properties, DestDirAndRootDir) {
  SeamsScope scope;
  TUnZip zip;
  zip.SetDestDir("C:\\target\\");
  EXPECT_EQ(zip.DestDir(), "C:\\target");
  zip.SetRootDir("data");
  EXPECT_EQ(zip.RootDir(), "data\\");
  zip.SetRootDir("base\\");
  EXPECT_EQ(zip.RootDir(), "base\\");
  zip.SetRootDir("");
  EXPECT_EQ(zip.RootDir(), "");

  std::string started;
  bool answer = false;
  UnZipSeams().SelectDirectory = [&](std::string& directory) {
    started = directory;
    directory = "D:\\picked\\";
    return answer;
  };
  EXPECT_EQ(MessageOf<EUserCanceled>([&] { zip.SetDestDir("?"); }),
            "User canceled Set Desination Directory");
  EXPECT_EQ(started, os::CurrentDirectory());  // C:\target does not exist
  EXPECT_EQ(zip.DestDir(), "C:\\target");
  answer = true;
  zip.SetDestDir("?");
  EXPECT_EQ(zip.DestDir(), "D:\\picked");
}

TEST(Properties, AChangedArchiveIsReadAgain) {
  TempDir dir;
  std::string path = dir.File("m.zip");
  WriteFileBytes(path, ThreeFiles());
  os::SetFileTimeAndAttributes(path, kStamp, os::kAttrArchive);
  TUnZip zip;
  zip.SetZipName(path);
  zip.ReadArchive();
  ASSERT_EQ(zip.EntryCount(), 3);
  ZipImage z;
  z.Add({"only.txt", "1"});
  WriteFileBytes(path, z.Finish());
  os::SetFileTimeAndAttributes(path, kStamp + 0x10000, os::kAttrArchive);  // a day later
  zip.ReadArchive();
  ASSERT_EQ(zip.EntryCount(), 1);
  EXPECT_EQ(zip.EntryFileName(0), "only.txt");
}

TEST(Properties, ResetArchiveForgetsEverything) {
  TempDir dir;
  WriteFileBytes(dir.File("t.zip"), ThreeFiles());
  TUnZip zip;
  zip.KeepZipOpen = true;
  zip.SetZipName(dir.File("t.zip"));
  zip.ReadArchive();
  zip.ResetArchive();
  EXPECT_EQ(zip.EntryCount(), 0);
  EXPECT_EQ(zip.ZipName(), "");
  EXPECT_EQ(zip.NumDisks(), 1);
  EXPECT_EQ(zip.DiskSetMode(), dsNone);
  EXPECT_EQ(zip.EndCentral().TotalEntries, 0);
}

TEST(Properties, KeepZipOpenKeepsTheFileBetweenCalls) {
  TempDir dir;
  WriteFileBytes(dir.File("t.zip"), ThreeFiles());
  TestUnZip zip;
  zip.SetZipName(dir.File("t.zip"));
  zip.ReadArchive();
  EXPECT_EQ(zip.ZipStream(), nullptr);
  zip.KeepZipOpen = true;
  zip.ReadArchive();
  EXPECT_NE(zip.ZipStream(), nullptr);
}

// ---------------------------------------------------------------------------------------

std::string SameNames() {
  ZipImage z;
  z.Add({"b/x.txt", "1", kStamp});
  z.Add({"a/x.txt", "22", kStamp});
  z.Add({"B/X.TXT", "333", kStamp});
  return z.Finish();
}

std::vector<std::string> Names(const TUnZip& zip) {
  std::vector<std::string> out;
  for (int i = 0; i < zip.EntryCount(); ++i) {
    out.push_back(zip.EntryDirectory(i) + zip.EntryFileName(i));
  }
  return out;
}

TEST(Views, SortModesOverTheSameRecords) {
  TempDir dir;
  WriteFileBytes(dir.File("s.zip"), SameNames());
  TUnZip zip;
  zip.SortMode = TZipSortMode::ByName;
  zip.SetZipName(dir.File("s.zip"));
  zip.ReadArchive();
  // Equal paths come out in the reverse of disk-and-offset order.
  EXPECT_EQ(Names(zip), (std::vector<std::string>{"a\\x.txt", "B\\X.TXT", "b\\x.txt"}));
  zip.ApplySortMode(TZipSortMode::ByDate);
  EXPECT_EQ(zip.SortMode, TZipSortMode::ByDate);
  // Equal stamps keep disk-and-offset order.
  EXPECT_EQ(Names(zip), (std::vector<std::string>{"b\\x.txt", "a\\x.txt", "B\\X.TXT"}));
  zip.ApplySortMode(TZipSortMode::ByUnCompressedSize);
  EXPECT_EQ(Names(zip), (std::vector<std::string>{"B\\X.TXT", "a\\x.txt", "b\\x.txt"}));
  zip.ApplySortMode(TZipSortMode::ByNone);
  EXPECT_EQ(Names(zip), (std::vector<std::string>{"b\\x.txt", "a\\x.txt", "B\\X.TXT"}));
  EXPECT_EQ(zip.EntryCount(), 3);
}

TEST(Views, WritingSortModeAloneDoesNotResort) {
  TempDir dir;
  WriteFileBytes(dir.File("s.zip"), SameNames());
  TUnZip zip;
  zip.SetZipName(dir.File("s.zip"));
  zip.ReadArchive();
  zip.SortMode = TZipSortMode::ByName;
  EXPECT_EQ(zip.EntryFileName(0), "x.txt");
  EXPECT_EQ(zip.EntryDirectory(0), "b\\");
  zip.ApplySortMode(zip.SortMode);
  EXPECT_EQ(zip.EntryDirectory(0), "a\\");
}

TEST(Comments, EntryAndArchiveCommentsOfARealArchive) {
  TUnZip zip;
  zip.SetZipName(TestDataPath("zip/generated/iz_comments.zip"));
  zip.ReadArchive();
  ASSERT_EQ(zip.EntryCount(), 3);
  EXPECT_EQ(zip.EntryComment(0), "Comment of short.txt");
  EXPECT_EQ(zip.EntryComment(1), "");
  EXPECT_EQ(zip.EntryComment(2), "Comment of one.bin: \xE0\xE1");
  EXPECT_EQ(zip.ArchiveComment(), "Archive comment, line 1\r\nline 2 with high bytes: \xE0\xE1\xE2");
  // Loaded once, kept in the record.
  EXPECT_TRUE(zip.EntryHeader(0).FileComment().has_value());
}

TEST(Comments, ALongArchiveComment) {
  TUnZip zip;
  zip.SetZipName(TestDataPath("zip/public/sharpcompress/Zip.LongComment.zip"));
  zip.ReadArchive();
  EXPECT_EQ(zip.ArchiveComment(),
            ReadFileBytes(TestDataPath("zip/comments/Zip.LongComment.zip.comment")));
}

// ---------------------------------------------------------------------------------------

TEST(MultiDisk, ANumberedSetIsReadAcrossItsFiles) {
  TestUnZip zip;
  std::vector<int> asked;
  auto standard = zip.OnGetNextDisk;
  zip.OnGetNextDisk = [&](TUnZip* sender, int disk, std::string& name) {
    asked.push_back(disk);
    standard(sender, disk, name);
  };
  zip.SetZipName(TestDataPath("zip/generated/iz_split.zip"));
  zip.ReadArchive();
  EXPECT_EQ(zip.NumDisks(), 4);
  EXPECT_EQ(zip.DiskSetMode(), dsNumberedFiles);
  ASSERT_EQ(zip.EntryCount(), 8);
  EXPECT_EQ(zip.EntryHeader(2).DiskNumberStart, 1);
  EXPECT_EQ(zip.EntryHeader(7).DiskNumberStart, 3);
  EXPECT_EQ(zip.EntryFileName(7), "deep.txt");
  EXPECT_TRUE(asked.empty());  // the whole directory is on the last disk

  // Every entry's local header is found on the disk the directory names.
  zip.KeepZipOpen = true;
  zip.OpenArchive();
  for (int i = 0; i < zip.EntryCount(); ++i) {
    zip.SeekToEntryData(zip.EntryHeader(i));
    EXPECT_EQ(zip.CurrentDisk(), zip.EntryHeader(i).DiskNumberStart);
    EXPECT_EQ(zip::GetU32(zip.FLocalHeader.data()), zip::kLocalHeaderSignature) << i;
  }
  EXPECT_EQ(asked, (std::vector<int>{1, 2, 3, 4}));
}

// Two disks: the local data and the start of the directory on set.001, the rest of the
// directory (a header cut in the middle) and the end record on set.zip.
void WriteTwoDiskSet(const TempDir& dir) {
  ZipImage z;
  z.Add({"first.txt", "one", kStamp, "on disk 1"});
  z.Add({"second.txt", "two", kStamp, "on disk 2"});
  std::size_t cut = z.central.size() - 20;
  std::string disk1 = z.bytes + z.central.substr(0, cut);
  std::string last = z.central.substr(cut);
  last += "PK\x05\x06";
  Put16(last, 1);  // this disk
  Put16(last, 0);  // directory starts on disk 0
  Put16(last, 0);
  Put16(last, 2);
  Put32(last, static_cast<std::uint32_t>(z.central.size()));
  Put32(last, static_cast<std::uint32_t>(z.bytes.size()));
  Put16(last, 8);
  last += "set note";
  WriteFileBytes(dir.File("set.001"), disk1);
  WriteFileBytes(dir.File("set.zip"), last);
  WriteFileBytes(dir.File("set.002"), last);  // the last disk as it is asked for again
}

TEST(MultiDisk, ADirectorySpreadOverTwoDisks) {
  TempDir dir;
  WriteTwoDiskSet(dir);
  TUnZip zip;
  std::vector<int> asked;
  auto standard = zip.OnGetNextDisk;
  zip.OnGetNextDisk = [&](TUnZip* sender, int disk, std::string& name) {
    asked.push_back(disk);
    standard(sender, disk, name);
  };
  zip.SetZipName(dir.File("set.zip"));
  zip.ReadArchive();
  EXPECT_EQ(asked, (std::vector<int>{1, 2}));
  EXPECT_EQ(zip.NumDisks(), 2);
  ASSERT_EQ(zip.EntryCount(), 2);
  EXPECT_EQ(zip.EntryFileName(1), "second.txt");
  // Comments were loaded while their disk was in.
  EXPECT_EQ(zip.EntryComment(0), "on disk 1");
  EXPECT_EQ(zip.ArchiveComment(), "set note");
}

TEST(MultiDisk, AMissingNumberedDiskIsReportedNotAwaited) {
  TempDir dir;
  WriteTwoDiskSet(dir);
  os::RemoveFile(dir.File("set.001"));
  TUnZip zip;
  zip.SetZipName(dir.File("set.zip"));
  EXPECT_THROW(zip.ReadArchive(), EFOpenError);
}

TEST(MultiDisk, TheDefaultHandlerNamesNumberedFiles) {
  TestUnZip zip;
  std::string name = "C:\\set\\archive.zip";
  zip.DefaultGetNextDisk(&zip, 3, name);
  EXPECT_EQ(name, "C:\\set\\archive.003");
  name = "noext";
  zip.DefaultGetNextDisk(&zip, 12, name);
  EXPECT_EQ(name, "noext.012");
}

TEST(MultiDisk, TheDefaultHandlerAsksForARemovableDisk) {
  TestUnZip zip;
  zip.FDiskSetMode = dsRemovableDisks;
  ScriptedMessages boxes;
  boxes.Expect(mb::kIdOk);
  boxes.Expect(mb::kIdCancel);
  std::string name = "A:\\set.zip";
  zip.DefaultGetNextDisk(&zip, 2, name);
  EXPECT_EQ(name, "A:\\set.zip");
  zip.DefaultGetNextDisk(&zip, 2, name);
  EXPECT_EQ(name, "");
  ASSERT_EQ(boxes.Shown().size(), 2u);
  EXPECT_EQ(boxes.Shown()[0].text, "Please insert disk 2 of the multi-disk set.");
  EXPECT_EQ(boxes.Shown()[0].flags & 0xF, mb::kOkCancel);
}

TEST(MultiDisk, ARemovableDiskIsAskedForUntilItsLabelAndFileFit) {
  SeamsScope scope;
  TempDir dir;
  WriteFileBytes(dir.File("set.zip"), ThreeFiles());
  std::vector<std::string> labels = {"BACKUP001", "", "DISK002", "VERYLONGLABEL002", "X002"};
  std::size_t labelIndex = 0;
  UnZipSeams().VolumeLabel = [&](const std::string&, std::string& label) {
    if (labelIndex >= labels.size()) return false;
    label = labels[labelIndex++];
    return !label.empty();
  };
  TestUnZip zip;
  zip.SetZipName(dir.File("set.zip"));
  zip.FDiskSetMode = dsRemovableDisks;
  int asks = 0;
  zip.OnGetNextDisk = [&](TUnZip*, int disk, std::string& name) {
    EXPECT_EQ(disk, 2);
    ++asks;
    // The third answer has the right label but names a file that is not there; the
    // fourth label is cut to 11 characters and ends in "LAB".
    name = asks == 3 ? dir.File("missing.zip") : dir.File("set.zip");
  };
  zip.LoadDisk(2);
  EXPECT_EQ(asks, 5);
  EXPECT_EQ(zip.CurrentDisk(), 1);
  EXPECT_EQ(zip.ZipName(), dir.File("set.zip"));
  EXPECT_NE(zip.ZipStream(), nullptr);
}

TEST(MultiDisk, NoNameFromTheHandlerCancels) {
  TestUnZip zip;
  zip.OnGetNextDisk = [](TUnZip*, int, std::string& name) { name.clear(); };
  try {
    zip.LoadDisk(2);
    FAIL() << "no exception";
  } catch (const EUserCanceled& e) {
    EXPECT_EQ(e.Message(), "User canceled loading new disk.");
  }
}

}  // namespace
