// Entry records, the end record and the eight orders of the sorted entry lists.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/text.h"
#include "zip_bytes.h"
#include "unzip/ZipRecords.h"

namespace {

using zipbytes::Put16;
using zipbytes::Put32;

std::string EndRecord(unsigned entries, std::uint32_t cdSize, std::uint32_t cdOffset,
                      unsigned commentLength, unsigned thisDisk = 0, unsigned cdDisk = 0) {
  std::string s = "PK\x05\x06";
  Put16(s, thisDisk);
  Put16(s, cdDisk);
  Put16(s, entries);
  Put16(s, entries);
  Put32(s, cdSize);
  Put32(s, cdOffset);
  Put16(s, commentLength);
  return s;
}

struct Central {
  std::string name;
  unsigned flags = 0;
  unsigned method = 8;
  std::uint32_t stamp = 0x2A214C60;  // 2001-01-01 09:35:00
  std::uint32_t crc = 0x12345678;
  std::uint32_t csize = 10, usize = 20;
  unsigned extra = 0, comment = 0, disk = 0;
  std::uint32_t attributes = 0x20, offset = 0;
};

std::string CentralHeader(const Central& c) {
  std::string s = "PK\x01\x02";
  Put16(s, 20);  // made by
  Put16(s, 10);  // needed
  Put16(s, c.flags);
  Put16(s, c.method);
  Put32(s, c.stamp);
  Put32(s, c.crc);
  Put32(s, c.csize);
  Put32(s, c.usize);
  Put16(s, static_cast<unsigned>(c.name.size()));
  Put16(s, c.extra);
  Put16(s, c.comment);
  Put16(s, c.disk);
  Put16(s, 0);  // internal attributes
  Put32(s, c.attributes);
  Put32(s, c.offset);
  s += c.name;
  s += std::string(c.extra, 'x');
  s += std::string(c.comment, 'c');
  return s;
}

std::string LocalHeader(const std::string& name, std::uint32_t csize, unsigned flags = 0) {
  std::string s = "PK\x03\x04";
  Put16(s, 20);
  Put16(s, flags);
  Put16(s, 0);
  Put32(s, 0x2A214C60);
  Put32(s, 0xCAFEBABE);
  Put32(s, csize);
  Put32(s, csize);
  Put16(s, static_cast<unsigned>(name.size()));
  Put16(s, 3);  // extra
  s += name;
  s += "EEE";
  return s;
}

std::uint32_t Stamp(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                    unsigned second2) {
  return (((year - 1980) << 9 | month << 5 | day) << 16) | (hour << 11 | minute << 5 | second2);
}

// ---------------------------------------------------------------------------------------

TEST(DosStamp, AValidStampIsKeptBitForBit) {
  std::uint32_t s = Stamp(2001, 2, 28, 23, 59, 29);
  EXPECT_EQ(zip::NormalizeDosDateTime(s), s);
  // 31 February is not a date but no field is out of its range: kept as it is.
  std::uint32_t feb31 = Stamp(2001, 2, 31, 0, 0, 0);
  EXPECT_EQ(zip::NormalizeDosDateTime(feb31), feb31);
}

TEST(DosStamp, FieldsOutOfRangeAreClamped) {
  EXPECT_EQ(zip::NormalizeDosDateTime(Stamp(2001, 0, 0, 10, 0, 0)), Stamp(2001, 1, 1, 10, 0, 0));
  EXPECT_EQ(zip::NormalizeDosDateTime(Stamp(2001, 5, 5, 31, 0, 0)), Stamp(2001, 5, 5, 23, 0, 0));
  EXPECT_EQ(zip::NormalizeDosDateTime(Stamp(2001, 5, 5, 1, 63, 31)),
            Stamp(2001, 5, 5, 1, 59, 29));
  EXPECT_EQ(zip::NormalizeDosDateTime(Stamp(2107, 15, 5, 1, 1, 1)),
            Stamp(2099, 12, 5, 1, 1, 1));
}

TEST(DosStamp, ConvertsToTheClassicDateTime) {
  TDateTime value = 0;
  ASSERT_TRUE(zip::DosDateTimeToDateTime(Stamp(1980, 1, 1, 12, 0, 0), value));
  EXPECT_DOUBLE_EQ(value, 29221.5);  // days since 30 December 1899
  EXPECT_FALSE(zip::DosDateTimeToDateTime(Stamp(2001, 2, 29, 0, 0, 0), value));
  EXPECT_TRUE(zip::DosDateTimeToDateTime(Stamp(2000, 2, 29, 0, 0, 0), value));
  EXPECT_FALSE(zip::DosDateTimeToDateTime(Stamp(2001, 1, 1, 24, 0, 0), value));
}

// ---------------------------------------------------------------------------------------

TEST(EndRecordLocate, StreamsShorterThan22BytesHaveNone) {
  TMemoryStream tiny(EndRecord(0, 0, 0, 0).substr(0, 21));
  TEndCentral end;
  EXPECT_FALSE(end.Locate(tiny));
  TMemoryStream exact(EndRecord(0, 0, 0, 0));
  EXPECT_TRUE(end.Locate(exact));
  EXPECT_EQ(end.TotalEntries, 0);
  EXPECT_EQ(end.CommentPosition, 22);
}

TEST(EndRecordLocate, ReadsTheFields) {
  std::string data = std::string(100, 'z') + EndRecord(3, 150, 77, 5, 2, 1) + "hello";
  TMemoryStream stream(data);
  TEndCentral end;
  ASSERT_TRUE(end.Locate(stream));
  EXPECT_EQ(end.ThisDiskNumber, 2);
  EXPECT_EQ(end.CentralStartDisk, 1);
  EXPECT_EQ(end.EntriesThisDisk, 3);
  EXPECT_EQ(end.TotalEntries, 3);
  EXPECT_EQ(end.CentralSize, 150u);
  EXPECT_EQ(end.CentralOffset, 77u);
  EXPECT_EQ(end.CommentLength, 5);
  EXPECT_EQ(end.CommentPosition, static_cast<std::int64_t>(data.size()) - 5);
  EXPECT_FALSE(end.ZipComment.has_value());
}

TEST(EndRecordLocate, LooksOnlyIntoTheLast65528Bytes) {
  // 22 + 65506 = 65528: the record is the first byte of the window.
  std::string fits = std::string(10, 'a') + EndRecord(0, 0, 0, 65506) + std::string(65506, 'c');
  TMemoryStream a(fits);
  TEndCentral end;
  EXPECT_TRUE(end.Locate(a));
  std::string beyond = std::string(10, 'a') + EndRecord(0, 0, 0, 65507) + std::string(65507, 'c');
  TMemoryStream b(beyond);
  EXPECT_FALSE(end.Locate(b));
  // A file exactly as large as the window.
  TMemoryStream c(EndRecord(0, 0, 0, 65506) + std::string(65506, 'c'));
  EXPECT_TRUE(end.Locate(c));
}

TEST(EndRecordLocate, TheSignatureNearestTheEndWins) {
  std::string first = EndRecord(1, 0, 0, 0);
  std::string second = EndRecord(7, 0, 0, 3);
  TMemoryStream stream("junk" + first + "between" + second + "abc");
  TEndCentral end;
  ASSERT_TRUE(end.Locate(stream));
  EXPECT_EQ(end.TotalEntries, 7);
  // A signature in the last 21 bytes cannot start a record and is passed over.
  TMemoryStream tail(EndRecord(2, 0, 0, 25) + std::string("0123456789") + "PK\x05\x06" +
                     std::string(11, 'x'));
  ASSERT_TRUE(end.Locate(tail));
  EXPECT_EQ(end.TotalEntries, 2);
}

TEST(EndRecordLocate, ClearAndAssign) {
  TEndCentral a;
  a.TotalEntries = 4;
  a.ZipComment = "comment";
  TEndCentral b(a);
  EXPECT_EQ(b.TotalEntries, 4);
  EXPECT_EQ(b.ZipComment.value(), "comment");
  a.Clear();
  EXPECT_EQ(a.Signature, zip::kEndCentralSignature);
  EXPECT_EQ(a.TotalEntries, 0);
  EXPECT_FALSE(a.ZipComment.has_value());
  EXPECT_EQ(b.ZipComment.value(), "comment");
}

// ---------------------------------------------------------------------------------------

TEST(HeaderInfo, DefaultsOfAClearedRecord) {
  TZipHeaderInfo h;
  EXPECT_EQ(h.VersionMadeBy, 20);
  EXPECT_EQ(h.CompressionMethod, 8);
  EXPECT_EQ(h.Crc32, 0xFFFFFFFFu);
  EXPECT_EQ(h.InternalAttributes, 1);
  EXPECT_EQ(h.ExternalAttributes, 0x20u);
  EXPECT_FALSE(h.Selected);
}

TEST(HeaderInfo, ReadsACentralHeaderAndSplitsTheName) {
  Central c;
  c.name = "dir/sub/file.txt";
  c.extra = 4;
  c.comment = 6;
  c.disk = 2;
  c.offset = 1234;
  c.attributes = 0x81A40000;
  c.flags = 0x0009;
  TMemoryStream stream("xx" + CentralHeader(c) + "NEXT");
  stream.Seek(2, soFromBeginning);
  TStream* s = &stream;
  TZipHeaderInfo h;
  ASSERT_TRUE(h.ReadCentralHeader(s));
  EXPECT_EQ(h.Directory(), "dir\\sub\\");
  EXPECT_EQ(h.FileName(), "file.txt");
  EXPECT_EQ(h.VersionMadeBy, 20);
  EXPECT_EQ(h.VersionNeeded, 10);
  EXPECT_TRUE(h.IsEncrypted());
  EXPECT_TRUE(h.HasDataDescriptor());
  EXPECT_EQ(h.CompressionMethod, 8);
  EXPECT_EQ(h.Crc32, 0x12345678u);
  EXPECT_EQ(h.CompressedSize, 10);
  EXPECT_EQ(h.UncompressedSize, 20);
  EXPECT_EQ(h.FileNameLength, 16);
  EXPECT_EQ(h.ExtraFieldLength, 4);
  EXPECT_EQ(h.FileCommentLength, 6);
  EXPECT_TRUE(h.HasComment());
  EXPECT_FALSE(h.FileComment().has_value());
  EXPECT_EQ(h.DiskNumberStart, 2);
  EXPECT_EQ(h.ExternalAttributes, 0x81A40000u);
  EXPECT_EQ(h.LocalHeaderOffset, 1234u);
  EXPECT_EQ(h.CentralHeaderOffset, 2u);
  char next[4];
  ASSERT_EQ(stream.Read(next, 4), 4u);  // extra field and comment were skipped
  EXPECT_EQ(std::string(next, 4), "NEXT");
}

TEST(HeaderInfo, ADirectoryEntryHasAnEmptyFileName) {
  Central c;
  c.name = "dir/";
  TMemoryStream stream(CentralHeader(c));
  TStream* s = &stream;
  TZipHeaderInfo h;
  ASSERT_TRUE(h.ReadCentralHeader(s));
  EXPECT_EQ(h.Directory(), "dir\\");
  EXPECT_EQ(h.FileName(), "");
}

TEST(HeaderInfo, NamesAreConvertedFromTheOemCodePageOrTakenAsUtf8WithBit11) {
  text::SetOemCodePage(866);
  Central c;
  c.name = "\x8F\x80\x8F\x8A\x80/\x94\x80\x89\x8B.BIN";  // ПАПКА/ФАЙЛ.BIN in CP866
  TMemoryStream oem(CentralHeader(c));
  TStream* s = &oem;
  TZipHeaderInfo h;
  ASSERT_TRUE(h.ReadCentralHeader(s));
  EXPECT_EQ(h.Directory(), "ПАПКА\\");
  EXPECT_EQ(h.FileName(), "ФАЙЛ.BIN");

  c.name = "тест.txt";
  c.flags = 0x0800;
  TMemoryStream utf8(CentralHeader(c));
  s = &utf8;
  ASSERT_TRUE(h.ReadCentralHeader(s));
  EXPECT_EQ(h.FileName(), "тест.txt");
}

TEST(HeaderInfo, NormalisesTheStampItReads) {
  Central c;
  c.name = "a";
  c.stamp = Stamp(2001, 0, 0, 31, 0, 0);
  TMemoryStream stream(CentralHeader(c));
  TStream* s = &stream;
  TZipHeaderInfo h;
  ASSERT_TRUE(h.ReadCentralHeader(s));
  EXPECT_EQ(h.ModDateTime, Stamp(2001, 1, 1, 23, 0, 0));
}

TEST(HeaderInfo, AShortOrWrongHeaderLeavesThePositionAlone) {
  Central c;
  c.name = "name.txt";
  std::string header = CentralHeader(c);
  TZipHeaderInfo h;
  for (std::string data : {header.substr(0, 30), header.substr(0, 50), "PK\x03\x04" + header.substr(4)}) {
    TMemoryStream stream("ab" + data);
    stream.Seek(2, soFromBeginning);
    TStream* s = &stream;
    EXPECT_FALSE(h.ReadCentralHeader(s));
    EXPECT_EQ(stream.Position(), 2);
  }
}

TEST(HeaderInfo, AHeaderCutByTheEndOfADiskIsCompletedFromTheNext) {
  Central c;
  c.name = "split.txt";
  std::string header = CentralHeader(c);
  TMemoryStream disk1(header.substr(0, 20));
  TMemoryStream disk2(header.substr(20) + "rest");
  TStream* s = &disk1;
  int calls = 0;
  TZipHeaderInfo h;
  ASSERT_TRUE(h.ReadCentralHeader(s, [&]() -> TStream* {
    ++calls;
    return &disk2;
  }));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(s, &disk2);
  EXPECT_EQ(h.FileName(), "split.txt");
  EXPECT_EQ(h.Crc32, 0x12345678u);

  // Without a next-disk operation the call fails and the position stays.
  TMemoryStream alone(header.substr(0, 20));
  TStream* a = &alone;
  EXPECT_FALSE(h.ReadCentralHeader(a));
  EXPECT_EQ(alone.Position(), 0);
}

TEST(HeaderInfo, ReadsALocalHeaderAndStopsAfterTheName) {
  TMemoryStream stream("zz" + LocalHeader("d/x.bin", 5, 0x0008) + "DATA!");
  stream.Seek(2, soFromBeginning);
  TZipHeaderInfo h;
  ASSERT_TRUE(h.ReadLocalHeader(stream));
  EXPECT_EQ(h.Directory(), "d\\");
  EXPECT_EQ(h.FileName(), "x.bin");
  EXPECT_EQ(h.VersionMadeBy, 0);
  EXPECT_EQ(h.VersionNeeded, 20);
  EXPECT_TRUE(h.HasDataDescriptor());
  EXPECT_EQ(h.CompressionMethod, 0);
  EXPECT_EQ(h.Crc32, 0xCAFEBABEu);
  EXPECT_EQ(h.CompressedSize, 5);
  EXPECT_EQ(h.ExtraFieldLength, 3);
  EXPECT_EQ(h.ExternalAttributes, 0u);
  EXPECT_EQ(h.InternalAttributes, 0);
  EXPECT_EQ(h.LocalHeaderOffset, 2u);
  EXPECT_EQ(h.CentralHeaderOffset, 0u);
  EXPECT_EQ(stream.Position(), 2 + 30 + 7);

  TMemoryStream bad("PK\x03\x04short");
  EXPECT_FALSE(h.ReadLocalHeader(bad));
  EXPECT_EQ(bad.Position(), 0);
}

TEST(HeaderInfo, DirectoryGetsABackslashAndTheNameLengthFollows) {
  TZipHeaderInfo h;
  h.SetDirectory("docs");
  h.SetFileName("a.txt");
  EXPECT_EQ(h.Directory(), "docs\\");
  EXPECT_EQ(h.FileNameLength, 10);
  h.SetDirectory("");
  EXPECT_EQ(h.FileNameLength, 5);
}

TEST(HeaderInfo, CommentsAreCopiedNotShared) {
  TZipHeaderInfo a;
  a.SetFileComment(std::string("note"));
  EXPECT_EQ(a.FileCommentLength, 4);
  TZipHeaderInfo b;
  a.AssignTo(b);
  a.SetFileComment(std::nullopt);
  EXPECT_EQ(a.FileCommentLength, 0);
  EXPECT_EQ(b.FileComment().value(), "note");
}

// ---------------------------------------------------------------------------------------

struct EntryShape {
  std::string path;
  std::uint32_t stamp;
  std::int32_t csize, usize;
  std::uint32_t offset;
  std::uint16_t disk = 0;
};

// Places the records in the given order into a list of that mode; returns the tags (index
// into shapes) in list order.
std::vector<int> Sorted(TZipSortMode mode, const std::vector<EntryShape>& shapes) {
  TSortedZip list(mode == TZipSortMode::ByNone ? dupsError : dupsAccept);
  list.SortMode = mode;
  std::vector<std::unique_ptr<TZipHeaderInfo>> records;
  for (const auto& s : shapes) {
    auto r = std::make_unique<TZipHeaderInfo>();
    r->SetStoredName(s.path);
    r->ModDateTime = s.stamp;
    r->CompressedSize = s.csize;
    r->UncompressedSize = s.usize;
    r->LocalHeaderOffset = s.offset;
    r->DiskNumberStart = s.disk;
    list.Add(r.get());
    records.push_back(std::move(r));
  }
  list.OwnsObjects = false;
  std::vector<int> order;
  for (int i = 0; i < list.Count(); ++i) {
    for (std::size_t k = 0; k < records.size(); ++k) {
      if (records[k].get() == list.Entry(i)) order.push_back(static_cast<int>(k));
    }
  }
  return order;
}

const std::uint32_t kOld = Stamp(1990, 1, 1, 0, 0, 0);
const std::uint32_t kNew = Stamp(2020, 1, 1, 0, 0, 0);

const std::vector<EntryShape> kShapes = {
    {"b\\x.txt", kOld, 50, 100, 300},  // 0
    {"a\\y.txt", kNew, 10, 100, 100},  // 1
    {"B\\X.TXT", kOld, 50, 100, 200},  // 2: same path as 0 but for case, same stamp, same sizes
    {"z.txt", kNew, 90, 100, 0},       // 3
};

TEST(SortedZip, ByNameAscendsAndPutsLaterEqualsFirst) {
  EXPECT_EQ(Sorted(TZipSortMode::ByName, kShapes), (std::vector<int>{1, 2, 0, 3}));
}

TEST(SortedZip, ByFileNameAndByDirectoryName) {
  // File names: x.txt (0, 2 equal), y.txt, z.txt.
  EXPECT_EQ(Sorted(TZipSortMode::ByFileName, kShapes), (std::vector<int>{2, 0, 1, 3}));
  // Directories: "" (3), a\, b\ (0, 2 equal).
  EXPECT_EQ(Sorted(TZipSortMode::ByDirectoryName, kShapes), (std::vector<int>{3, 1, 2, 0}));
}

TEST(SortedZip, ByDateNewestFirstEqualsInPlacingOrder) {
  EXPECT_EQ(Sorted(TZipSortMode::ByDate, kShapes), (std::vector<int>{1, 3, 0, 2}));
  // A stamp that is no date counts as the earliest of all.
  std::vector<EntryShape> shapes = {{"a", Stamp(2001, 2, 31, 0, 0, 0), 0, 0, 0}, {"b", kOld, 0, 0, 1}};
  EXPECT_EQ(Sorted(TZipSortMode::ByDate, shapes), (std::vector<int>{1, 0}));
}

TEST(SortedZip, BySizesLargestFirstEqualsInPlacingOrder) {
  EXPECT_EQ(Sorted(TZipSortMode::ByCompressedSize, kShapes), (std::vector<int>{3, 0, 2, 1}));
  EXPECT_EQ(Sorted(TZipSortMode::ByUnCompressedSize, kShapes), (std::vector<int>{0, 1, 2, 3}));
}

TEST(SortedZip, ByRateLeastCompressedFirstLaterEqualsFirst) {
  // Rates: 50, 10, 50, 90 percent.
  EXPECT_EQ(Sorted(TZipSortMode::ByRate, kShapes), (std::vector<int>{3, 2, 0, 1}));
  // An empty entry counts as 0 percent; a rate is at most 100.
  std::vector<EntryShape> shapes = {{"e", kOld, 0, 0, 0}, {"big", kOld, 500, 100, 1},
                             {"full", kOld, 100, 100, 2}};
  EXPECT_EQ(Sorted(TZipSortMode::ByRate, shapes), (std::vector<int>{2, 1, 0}));
  // Sizes of a damaged header (negative when read as signed) count as 0 percent.
  std::vector<EntryShape> damaged = {{"n", kOld, -50000000, 1, 0}, {"m", kOld, 5, 10, 1}};
  EXPECT_EQ(Sorted(TZipSortMode::ByRate, damaged), (std::vector<int>{1, 0}));
}

TEST(SortedZip, ByNoneByDiskThenOffset) {
  std::vector<EntryShape> shapes = {{"a", kOld, 0, 0, 500, 1}, {"b", kOld, 0, 0, 10, 1},
                             {"c", kOld, 0, 0, 0x90000000u, 0}, {"d", kOld, 0, 0, 20, 0}};
  EXPECT_EQ(Sorted(TZipSortMode::ByNone, shapes), (std::vector<int>{3, 2, 1, 0}));
  EXPECT_EQ(Sorted(TZipSortMode::ByNone, kShapes), (std::vector<int>{3, 1, 2, 0}));
}

}  // namespace
