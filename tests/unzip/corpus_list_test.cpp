// Every archive of the shared corpus lists with the methods, flags, sizes, CRC-32 values and
// disks that its manifest gives.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/testsupport.h"
#include "common/text.h"
#include "corpus_manifest.h"
#include "unzip/UnZip.h"
#include "unzip/UnZipListing.h"

namespace {

using ManifestRow = corpus::TManifestEntry;
using corpus::ReadManifest;
using corpus::ShownName;

TEST(CorpusList, EveryArchiveListsAsItsManifestSays) {
  text::SetOemCodePage(866);
  std::map<std::string, std::vector<ManifestRow>> byArchive;
  for (const auto& row : ReadManifest()) byArchive[row.archive].push_back(row);
  ASSERT_GT(byArchive.size(), 40u);

  int checked = 0;
  for (const auto& [archive, rows] : byArchive) {
    SCOPED_TRACE(archive);
    TUnZip zip;
    zip.IncompleteZipMode = izAssumeBad;  // the archives without a directory are rebuilt
    zip.SetZipName(TestDataPath("zip/" + archive));
    ASSERT_NO_THROW(zip.ReadArchive());
    ASSERT_EQ(zip.EntryCount(), static_cast<int>(rows.size()));
    std::vector<bool> used(rows.size(), false);
    for (const auto& row : rows) {
      std::string name = ShownName(row);
      SCOPED_TRACE(name);
      int found = -1;
      for (int i = 0; i < zip.EntryCount(); ++i) {
        if (!used[static_cast<std::size_t>(i)] &&
            zip.EntryDirectory(i) + zip.EntryFileName(i) == name) {
          found = i;
          break;
        }
      }
      ASSERT_GE(found, 0) << "entry not listed";
      used[static_cast<std::size_t>(found)] = true;
      const TZipHeaderInfo& e = zip.EntryHeader(found);
      EXPECT_EQ(e.CompressionMethod, row.method);
      EXPECT_EQ(e.UncompressedSize, row.uncompressedSize);
      EXPECT_EQ(e.CompressedSize, row.compressedSize);
      EXPECT_EQ(e.Crc32, row.crc);
      EXPECT_EQ(e.DiskNumberStart, row.diskStart);
      if (!zip.Rebuilt()) {
        EXPECT_EQ(e.Flags, row.flags);
      }
      EXPECT_EQ(zip.Rebuilt(), row.expected == "ok-after-rebuild" ||
                                   archive.find("no_cd") != std::string::npos ||
                                   archive.find("bad_cd") != std::string::npos);
      ++checked;
    }
  }
  EXPECT_GT(checked, 150);
}

TEST(CorpusList, TheJsonListingOfAnArchiveWithComments) {
  TUnZip zip;
  zip.SetZipName(TestDataPath("zip/generated/iz_comments.zip"));
  zip.ReadArchive();
  std::string json = ArchiveListingJson(zip);
  EXPECT_EQ(json.rfind("{\"archiveComment\":\"Archive comment, line 1\\r\\nline 2 with high bytes: ", 0), 0u);
  EXPECT_NE(json.find("\"disks\":1,\"rebuilt\":false,\"sortMode\":\"ByNone\""), std::string::npos);
  EXPECT_NE(json.find("{\"index\":0,\"directory\":\"\",\"fileName\":\"short.txt\",\"method\":0,"
                      "\"flags\":0,\"crc32\":" + std::to_string(0xa8b43d7eu) +
                      ",\"compressedSize\":36,\"uncompressedSize\":36,"),
            std::string::npos);
  EXPECT_NE(json.find("\"comment\":\"Comment of short.txt\"}"), std::string::npos);
  EXPECT_NE(json.find("\"directory\":\"dir\\\\\",\"fileName\":\"readme.txt\""), std::string::npos);
}

TEST(CorpusList, TheJsonListingOfASetAndOfARebuiltArchive) {
  TUnZip set;
  set.SortMode = TZipSortMode::ByName;
  set.SetZipName(TestDataPath("zip/generated/iz_split.zip"));
  set.ReadArchive();
  std::string json = ArchiveListingJson(set);
  EXPECT_NE(json.find("\"disks\":4,\"rebuilt\":false,\"sortMode\":\"ByName\""), std::string::npos);
  EXPECT_NE(json.find("\"entries\":[{\"index\":0,\"directory\":\"\",\"fileName\":\"binrep.bin\""),
            std::string::npos);

  TUnZip cut;
  cut.IncompleteZipMode = izAssumeBad;
  cut.SetZipName(TestDataPath("zip/generated/hw_all_methods_no_cd.zip"));
  cut.ReadArchive();
  EXPECT_NE(ArchiveListingJson(cut).find("\"rebuilt\":true"), std::string::npos);
}

TEST(CorpusList, SortModeNames) {
  EXPECT_EQ(ParseSortMode("ByName"), TZipSortMode::ByName);
  EXPECT_EQ(ParseSortMode("uncompressed"), TZipSortMode::ByUnCompressedSize);
  EXPECT_EQ(ParseSortMode("BYRATE"), TZipSortMode::ByRate);
  EXPECT_FALSE(ParseSortMode("size").has_value());
  EXPECT_STREQ(SortModeName(TZipSortMode::ByDirectoryName), "ByDirectoryName");
}

}  // namespace
