// The attributes and time an extracted file gets on Windows, where the hidden and system bits
// exist too: they are given through the open file before it takes its name, the read-only
// bit on the target afterwards.
#include <gtest/gtest.h>

#include "common/osfile.h"
#include "common/testsupport.h"
#include "extract_test_support.h"
#include "unzip/UnZip.h"

namespace {

using extracttest::BuildZip;

TEST(ExtractAttributes, EachFileGetsTheStoredBitsAndTime) {
  struct Case {
    const char* name;
    std::uint32_t stored;    // external attributes in the archive (the high half: Unix mode)
    std::uint32_t expected;  // read-only, hidden and system bits on disk
  };
  const Case cases[] = {
      {"archive.txt", 0x20, 0x00},
      {"none.txt", 0x00, 0x00},
      {"unix.txt", 0x81A40000, 0x00},
      {"hidden.txt", 0x22, 0x02},
      {"system.txt", 0x24, 0x04},
      {"readonly.txt", 0x21, 0x01},
      {"all.txt", 0x27, 0x07},
  };
  TempDir work;
  std::vector<extracttest::TestEntry> entries;
  for (const Case& c : cases) {
    entries.push_back({.name = c.name, .data = c.name, .dosDateTime = 0x5A8E6C21,
                       .externalAttributes = c.stored});
  }
  WriteFileBytes(work.File("a.zip"), BuildZip(entries));
  TUnZip zip;
  zip.SetZipName(work.File("a.zip"));
  zip.SetDestDir(work.File("out"));
  zip.DoAll = true;
  zip.RetainAttributes = true;
  EXPECT_EQ(zip.ExtractFiles(), static_cast<int>(std::size(cases)));
  // (The archive bit of a file without attributes differs between systems.)
  constexpr std::uint32_t kBits = os::kAttrReadOnly | os::kAttrHidden | os::kAttrSystem;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = work.File("out\\" + std::string(c.name));
    EXPECT_EQ(ReadFileBytes(path), c.name);
    EXPECT_EQ(os::GetAttributes(path) & kBits, c.expected);
    EXPECT_EQ(os::GetFileDosDateTime(path), 0x5A8E6C21u);
    os::SetAttributes(path, os::kAttrArchive);  // so that the folder can go
  }
}

}  // namespace
