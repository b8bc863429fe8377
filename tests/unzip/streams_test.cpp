// The buffered streams and the object lists under the ZIP reader.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/osfile.h"
#include "common/testsupport.h"
#include "unzip/ObjectList.h"
#include "unzip/Streams.h"

namespace {

// A memory stream that counts the calls the buffer makes on it.
class CountingStream : public TMemoryStream {
 public:
  using TMemoryStream::TMemoryStream;
  std::size_t Read(void* buffer, std::size_t count) override {
    std::size_t n = TMemoryStream::Read(buffer, count);
    reads.push_back(n);
    return n;
  }
  std::size_t Write(const void* buffer, std::size_t count) override {
    writes.push_back(count);
    return TMemoryStream::Write(buffer, count);
  }
  std::vector<std::size_t> reads;
  std::vector<std::size_t> writes;
};

std::string Bytes(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 7 + 3);
  return s;
}

TEST(BufferStream, ReadsMoreThanThereIsInBlocksOfTheBufferSize) {
  CountingStream file(Bytes(9000));
  TS_BufferStream stream(&file);
  int refills = 0;
  stream.AfterRefill = [&refills](TS_BufferStream*) { ++refills; };
  std::string out(10000, '\0');
  EXPECT_EQ(stream.Read(out.data(), out.size()), 9000u);
  EXPECT_EQ(file.reads, (std::vector<std::size_t>{8192, 808, 0}));
  EXPECT_EQ(refills, 3);
  EXPECT_EQ(out.substr(0, 9000), Bytes(9000));
  EXPECT_EQ(stream.State(), bufEmpty);
}

TEST(BufferStream, SmallReadsShareOneRefill) {
  CountingStream file(Bytes(100));
  TS_BufferStream stream(&file);
  char a[10], b[10];
  ASSERT_EQ(stream.Read(a, 10), 10u);
  ASSERT_EQ(stream.Read(b, 10), 10u);
  EXPECT_EQ(file.reads.size(), 1u);
  EXPECT_EQ(std::string(b, 10), Bytes(100).substr(10, 10));
  EXPECT_EQ(stream.State(), bufReading);
  EXPECT_EQ(stream.PendingBytes(), 80u);
  EXPECT_EQ(stream.Position(), 20);
}

TEST(BufferStream, FromTheEndTheSignOfTheOffsetIsIgnored) {
  TMemoryStream file(Bytes(1000));
  TS_BufferStream stream(&file);
  EXPECT_EQ(stream.Seek(-4, soFromEnd), 996);
  EXPECT_EQ(stream.Seek(0, soFromBeginning), 0);
  EXPECT_EQ(stream.Seek(4, soFromEnd), 996);
  char c;
  ASSERT_EQ(stream.Read(&c, 1), 1u);
  EXPECT_EQ(c, Bytes(1000)[996]);
}

TEST(BufferStream, SeekingToTheLogicalPositionKeepsTheBuffer) {
  CountingStream file(Bytes(20000));
  TS_BufferStream stream(&file);
  char c[5];
  stream.Read(c, 5);
  EXPECT_EQ(stream.Seek(0, soFromCurrent), 5);
  EXPECT_EQ(stream.Seek(5, soFromBeginning), 5);
  EXPECT_EQ(stream.State(), bufReading);
  EXPECT_EQ(stream.PendingBytes(), 8187u);
  stream.Read(c, 5);
  EXPECT_EQ(file.reads.size(), 1u);  // still the first block
}

TEST(BufferStream, SeekingElsewhereEmptiesTheBufferAndReadsFromThere) {
  CountingStream file(Bytes(20000));
  TS_BufferStream stream(&file);
  char c;
  stream.Read(&c, 1);
  EXPECT_EQ(stream.Seek(10000, soFromBeginning), 10000);
  EXPECT_EQ(stream.State(), bufEmpty);
  EXPECT_EQ(stream.Seek(-10, soFromCurrent), 9990);
  stream.Read(&c, 1);
  EXPECT_EQ(c, Bytes(20000)[9990]);
  EXPECT_EQ(stream.Position(), 9991);
}

TEST(BufferStream, AnUnknownOriginIsRefusedWithItsNumber) {
  TMemoryStream file(Bytes(10));
  TS_BufferStream stream(&file);
  try {
    stream.Seek(0, 7);
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.ClassName(), "Exception");
    EXPECT_EQ(e.Message(), "Invalid seek origin (7)");
  }
}

TEST(BufferStream, SeekingBeforeTheStartIsASeekError) {
  TMemoryStream file(Bytes(10));
  TS_BufferStream stream(&file);
  try {
    stream.Seek(-1, soFromBeginning);
    FAIL() << "no exception";
  } catch (const EStreamError& e) {
    EXPECT_EQ(e.Message(), "Seek error");
  }
}

TEST(BufferStream, WritingAFullBufferFlushesItOnce) {
  CountingStream file;
  TS_BufferStream stream(&file);
  int flushes = 0;
  stream.AfterFlush = [&flushes](TS_BufferStream*) { ++flushes; };
  std::string data = Bytes(8192);
  EXPECT_EQ(stream.Write(data.data(), data.size()), 8192u);
  EXPECT_EQ(flushes, 1);
  EXPECT_EQ(stream.State(), bufEmpty);
  EXPECT_EQ(file.Data(), data);
}

TEST(BufferStream, PendingBytesAreWrittenWhenTheStreamGoes) {
  CountingStream file;
  {
    TS_BufferStream stream(&file);
    std::string data = Bytes(100);
    stream.Write(data.data(), data.size());
    EXPECT_EQ(stream.State(), bufWriting);
    EXPECT_EQ(stream.Position(), 100);
    EXPECT_TRUE(file.Data().empty());
  }
  EXPECT_EQ(file.Data(), Bytes(100));
}

TEST(BufferStream, SeekWhileWritingWritesFirst) {
  CountingStream file;
  TS_BufferStream stream(&file);
  stream.Write("abcdef", 6);
  EXPECT_EQ(stream.Seek(2, soFromBeginning), 2);
  stream.Write("XY", 2);
  stream.FlushBuffer();
  EXPECT_EQ(file.Data(), "abXYef");
}

TEST(BufferStream, ReadsAndWritesMixedKeepPositionAndData) {
  TMemoryStream file(std::string("0123456789"));
  TS_BufferStream stream(&file);
  char c[3];
  stream.Read(c, 3);
  stream.Write("ab", 2);  // lands at 3, not after the read-ahead
  EXPECT_EQ(stream.Position(), 5);
  stream.Read(c, 2);
  EXPECT_EQ(std::string(c, 2), "56");
  stream.FlushBuffer();
  EXPECT_EQ(file.Data(), "012ab56789");
}

TEST(BufferStream, PutBackNeedsAByteReadFromTheBuffer) {
  TMemoryStream file(std::string("xyz"));
  TS_BufferStream stream(&file);
  try {
    stream.PutBack('q');
    FAIL() << "no exception";
  } catch (const EStreamError& e) {
    EXPECT_EQ(e.Message(), "Putback overflow");
  }
  char c;
  stream.Read(&c, 1);
  stream.PutBack('q');
  stream.Read(&c, 1);
  EXPECT_EQ(c, 'q');
  stream.Read(&c, 1);
  EXPECT_EQ(c, 'y');
}

TEST(BufferStream, PutBackRightAfterARefillOverflows) {
  TMemoryStream file(Bytes(9000));
  TS_BufferStream stream(&file);
  std::string block(8192, '\0');
  stream.Read(block.data(), block.size());
  stream.Seek(8192, soFromBeginning);  // keeps the used-up buffer
  char c;
  stream.Read(&c, 1);  // refills; the byte comes from the new block's start
  stream.PutBack(c);   // fine: one byte was read from this block
  EXPECT_THROW(stream.PutBack(c), EStreamError);
}

TEST(StreamMessages, HaveTheirTextsByKey) {
  EXPECT_EQ(StreamMessage(1), "Seek error");
  EXPECT_EQ(StreamMessage(2), "Invalid seek origin (%d)");
  EXPECT_EQ(StreamMessage(3), "Putback overflow");
  EXPECT_EQ(StreamMessage(7), "Cannot write to a resource stream");
  EXPECT_EQ(StreamMessage(8), "");
}

TEST(LFNFileStream, WritesAFileAndReadsItBack) {
  TempDir dir;
  std::string path = dir.File("a.bin");
  std::string data = Bytes(20000);
  {
    TLFNFileStream out(path, TFileMode::fmCreate);
    out.Write(data.data(), 100);
    out.Write(data.data() + 100, data.size() - 100);
  }
  EXPECT_EQ(ReadFileBytes(path), data);
  TLFNFileStream in(path, TFileMode::fmOpenReadShareDenyWrite);
  EXPECT_EQ(in.Size(), 20000);
  in.Seek(-100, soFromEnd);
  std::string tail(100, '\0');
  EXPECT_EQ(in.Read(tail.data(), 200), 100u);
  EXPECT_EQ(tail, data.substr(19900));
  EXPECT_NE(in.FileDosDateTime(), 0u);
}

TEST(LFNFileStream, AMissingFileIsAFileOpenError) {
  TempDir dir;
  EXPECT_THROW(TLFNFileStream(dir.File("missing.zip"), TFileMode::fmOpenReadShareDenyWrite),
               EFOpenError);
}

// A new file made under a name of its own, given its time and attributes and moved to its
// final name while open, as the extraction writes every file.
TEST(FileStream, ANewFileIsStampedAndMovedOverTheOldOneWhileOpen) {
  TempDir dir;
  const std::string temporary = dir.File("~new.tmp"), target = dir.File("a.txt");
  WriteFileBytes(target, "the old file, longer than the new one");
  {
    WriteFileBytes(temporary, "taken");
    EXPECT_THROW(TFileStream(temporary, TFileMode::fmCreateNew), EFCreateError);
    EXPECT_EQ(ReadFileBytes(temporary), "taken");
    os::RemoveFile(temporary);
  }
  TFileStream stream(temporary, TFileMode::fmCreateNew);
  stream.WriteBuffer("new", 3);
  os::File& file = stream.File();
  EXPECT_TRUE(file.SetTimeAndAttributes(0x5A8E6C21, os::kAttrArchive));
  ASSERT_TRUE(file.RenameTo(target));
  EXPECT_EQ(file.Path(), target);
  EXPECT_FALSE(os::FileExists(temporary));
  file.Close();
  EXPECT_EQ(ReadFileBytes(target), "new");
  EXPECT_EQ(os::GetFileDosDateTime(target), 0x5A8E6C21u);  // closing kept the time
  EXPECT_EQ(os::GetAttributes(target) & os::kAttrReadOnly, 0u);
}

TEST(FileStream, TheReadOnlyBitThroughTheOpenFile) {
  TempDir dir;
  const std::string path = dir.File("ro.txt");
  {
    TFileStream stream(path, TFileMode::fmCreateNew);
    stream.WriteBuffer("r", 1);
    EXPECT_TRUE(stream.File().SetTimeAndAttributes(0x5A8E6C21, os::kAttrReadOnly));
  }
  EXPECT_NE(os::GetAttributes(path) & os::kAttrReadOnly, 0u);
  EXPECT_EQ(os::GetFileDosDateTime(path), 0x5A8E6C21u);
  os::SetAttributes(path, os::kAttrArchive);
}

TEST(FileStream, AFailedMoveLeavesTheFileOpenUnderItsName) {
  TempDir dir;
  const std::string temporary = dir.File("~new.tmp");
  os::CreateDirectories(dir.File("busy") + "/inside");  // a full directory of the target's name
  TFileStream stream(temporary, TFileMode::fmCreateNew);
  EXPECT_FALSE(stream.File().RenameTo(dir.File("busy")));
  EXPECT_FALSE(os::LastErrorMessage().empty());
  EXPECT_EQ(stream.File().Path(), temporary);
  stream.WriteBuffer("still", 5);
  stream.File().Close();
  EXPECT_EQ(ReadFileBytes(temporary), "still");
}

// ---------------------------------------------------------------------------------------

class Item : public TObject {
 public:
  explicit Item(int key, int tag = 0, int* freed = nullptr) : key(key), tag(tag), freed(freed) {}
  ~Item() override {
    if (freed) ++*freed;
  }
  const char* ClassName() const override { return "Item"; }
  int key;
  int tag;
  int* freed;
};

class ItemList : public TSortedObjectList {
 public:
  using TSortedObjectList::TSortedObjectList;
  int KeyAt(int i) const { return static_cast<Item*>(Items(i))->key; }
  int TagAt(int i) const { return static_cast<Item*>(Items(i))->tag; }

 protected:
  int Compare(const TObject* a, const TObject* b) const override {
    return static_cast<const Item*>(a)->key - static_cast<const Item*>(b)->key;
  }
};

TEST(ObjectList, GrowsByFourThenEightThenSixteen) {
  TObjectList list;
  std::vector<int> capacities;
  for (int i = 0; i < 50; ++i) {
    list.Add(new Item(i));
    if (capacities.empty() || capacities.back() != list.Capacity()) {
      capacities.push_back(list.Capacity());
    }
  }
  EXPECT_EQ(capacities, (std::vector<int>{4, 8, 16, 32, 48, 64}));
}

// 65535 is the most entries a ZIP archive holds without its 64-bit extension.
TEST(ObjectList, HoldsAtMost65535Items) {
  TObjectList list;
  list.OwnsObjects = false;
  Item shared(0);
  for (int i = 0; i < 65535; ++i) list.Add(&shared);
  EXPECT_EQ(list.Count(), 65535);
  EXPECT_THROW(list.Add(&shared), EListError);
  EXPECT_EQ(list.Count(), 65535);
}

TEST(ObjectList, IndexErrorsNameTheIndex) {
  TObjectList list;
  list.Add(new Item(1));
  try {
    list.Items(3);
    FAIL() << "no exception";
  } catch (const EListError& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (3)");
  }
  EXPECT_THROW(list.Insert(-1, nullptr), EListError);
  EXPECT_THROW(list.SetCapacity(0), EListError);
}

TEST(ObjectList, InsertPutIndexOfFirstLast) {
  TObjectList list;
  auto* a = new Item(1);
  auto* b = new Item(2);
  auto* c = new Item(3);
  list.Add(a);
  list.Add(c);
  list.Insert(1, b);
  EXPECT_EQ(list.IndexOf(b), 1);
  EXPECT_EQ(list.First(), a);
  EXPECT_EQ(list.Last(), c);
  auto* d = new Item(4);
  list.Put(2, d);
  delete c;
  EXPECT_EQ(list.IndexOf(d), 2);
  Item outside(9);
  EXPECT_EQ(list.IndexOf(&outside), -1);
}

TEST(ObjectList, NeighbourWalksBothWaysAndRefusesStrangers) {
  TObjectList list;
  auto* a = new Item(1);
  auto* b = new Item(2);
  list.Add(a);
  list.Add(b);
  EXPECT_EQ(list.Neighbour(nullptr, 1), a);
  EXPECT_EQ(list.Neighbour(nullptr, 0), b);
  EXPECT_EQ(list.Neighbour(a, 1), b);
  EXPECT_EQ(list.Neighbour(b, 1), nullptr);
  EXPECT_EQ(list.Neighbour(a, 0), nullptr);
  Item stranger(5);
  try {
    list.Neighbour(&stranger, 1);
    FAIL() << "no exception";
  } catch (const EListError& e) {
    EXPECT_EQ(e.Message(), "tObject Item not in item list");
  }
}

TEST(ObjectList, OwnedItemsAreFreedWithTheListButNotByClear) {
  int freed = 0;
  auto* kept = new Item(1, 0, &freed);
  {
    TObjectList list;
    list.Add(new Item(2, 0, &freed));
    list.Add(new Item(3, 0, &freed));
  }
  EXPECT_EQ(freed, 2);
  {
    TObjectList list;
    list.Add(kept);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Capacity(), 0);
  }
  EXPECT_EQ(freed, 2);
  {
    TObjectList list;
    list.Add(kept);
    list.FreeAll();
    EXPECT_EQ(list.Count(), 0);
  }
  EXPECT_EQ(freed, 3);
}

TEST(SortedObjectList, KeepsItsItemsInOrderAndAddReturnsZero) {
  ItemList list(dupsError);
  for (int key : {5, 1, 4, 2, 3}) EXPECT_EQ(list.Add(new Item(key)), 0);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(list.KeyAt(i), i + 1);
  list.Insert(0, new Item(0));  // the index is ignored; 0 belongs first anyway
  list.Insert(0, new Item(9));
  EXPECT_EQ(list.KeyAt(6), 9);
}

TEST(SortedObjectList, DuplicateRules) {
  {
    ItemList list(dupsError);
    list.Add(new Item(1));
    Item dup(1);
    try {
      list.Add(&dup);
      FAIL() << "no exception";
    } catch (const EListError& e) {
      EXPECT_EQ(e.Message(), "Duplicate Object index");
    }
    EXPECT_EQ(list.Count(), 1);
  }
  {
    ItemList list(dupsIgnore);
    list.Add(new Item(1));
    Item dup(1);
    EXPECT_EQ(list.Add(&dup), 0);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.IndexOf(&dup), 0);  // found by key: an equal item
  }
  {
    // Accepted duplicates go in front of the equal ones already there.
    ItemList list(dupsAccept);
    list.Add(new Item(1, 1));
    list.Add(new Item(2, 1));
    list.Add(new Item(1, 2));
    list.Add(new Item(1, 3));
    ASSERT_EQ(list.Count(), 4);
    EXPECT_EQ(list.TagAt(0), 3);
    EXPECT_EQ(list.TagAt(1), 2);
    EXPECT_EQ(list.TagAt(2), 1);
    EXPECT_EQ(list.KeyAt(3), 2);
  }
}

TEST(SortedObjectList, FindTellsWhereAKeyBelongs) {
  ItemList list(dupsError);
  for (int key : {10, 20, 30}) list.Add(new Item(key));
  int index = -1;
  Item k20(20), k25(25), k99(99);
  EXPECT_TRUE(list.Find(&k20, index));
  EXPECT_EQ(index, 1);
  EXPECT_FALSE(list.Find(&k25, index));
  EXPECT_EQ(index, 2);
  EXPECT_FALSE(list.Find(&k99, index));
  EXPECT_EQ(index, 3);
  EXPECT_EQ(list.IndexOf(&k25), -1);
}

TEST(SortedObjectList, PutIsRefused) {
  ItemList list(dupsError);
  list.Add(new Item(1));
  try {
    list.Put(0, nullptr);
    FAIL() << "no exception";
  } catch (const EListError& e) {
    EXPECT_EQ(e.Message(), "Cannot <Put> an Object in a sorted list!");
  }
}

}  // namespace
