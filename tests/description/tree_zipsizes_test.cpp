// Archive sizes through the ZIP reader, on the real archives of the shared corpus.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "common/errors.h"
#include "common/testsupport.h"
#include "description/InstList.h"
#include "unzip/corpus_manifest.h"

namespace {

// Sum of the entries' unpacked sizes per single-disk archive whose central directory is
// intact, from the corpus manifest.
std::map<std::string, std::int64_t> ExpectedSizes() {
  std::set<std::string> singleDisk;
  std::stringstream archives(ReadFileBytes(TestDataPath("zip/archives.tsv")));
  std::string line;
  std::getline(archives, line);
  while (std::getline(archives, line)) {
    const auto f = corpus::SplitTabs(line);
    if (f.size() > 5 && f[5] == "1") singleDisk.insert(f[0]);
  }
  std::map<std::string, std::int64_t> sizes;
  std::set<std::string> rebuilt;
  for (const auto& e : corpus::ReadManifest()) {
    if (!singleDisk.count(e.archive)) continue;
    if (e.expected == "ok-after-rebuild") rebuilt.insert(e.archive);
    sizes[e.archive] += e.uncompressedSize;
  }
  for (const auto& name : rebuilt) sizes.erase(name);
  return sizes;
}

TEST(TreeZipSizes, TheDefaultReaderAddsUpTheCorpusArchives) {
  const auto expected = ExpectedSizes();
  ASSERT_GT(expected.size(), 5u);
  TArchiveSize sizes;
  sizes.BaseDir = TestDataPath("zip");
  for (const auto& [name, size] : expected) sizes.AddName(name);
  sizes.ComputeSizes();
  ASSERT_EQ(sizes.Count(), static_cast<int>(expected.size()));
  for (int i = 0; i < sizes.Count(); ++i) {
    EXPECT_EQ(sizes.Items(i)->Size, expected.at(sizes.Items(i)->Name)) << sizes.Items(i)->Name;
  }
}

TEST(TreeZipSizes, AFileThatIsNoArchiveRaisesTheReadersError) {
  TempDir dir;
  WriteFileBytes(dir.File("fake.zip"), std::string(200, 'x'));
  TArchiveSize sizes;
  sizes.BaseDir = dir.Path();
  sizes.AddName("fake.zip");
  EXPECT_THROW(sizes.ComputeSizes(), Exception);
}

}  // namespace
