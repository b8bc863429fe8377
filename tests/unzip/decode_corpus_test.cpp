// Every unencrypted single-disk entry of the corpus with a supported method, decoded
// straight from its local header and compared with what independent extractors produced.
#include <map>
#include <set>

#include "decode_test_support.h"

namespace {

using namespace decodetest;

std::set<std::string> MultiDiskArchives() {
  std::set<std::string> result;
  std::istringstream in(ReadFileBytes(TestDataPath("zip/archives.tsv")));
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    const auto f = SplitTabs(line);
    if (f.size() > 5 && f[5] != "1") result.insert(f[0]);
  }
  return result;
}

bool Supported(std::uint16_t method) { return method <= 6 || method == 8; }

struct TCorpusCase {
  TManifestEntry entry;
  std::string data;
};

std::vector<TCorpusCase> CorpusCases(bool (*wanted)(const TManifestEntry&)) {
  static const auto multiDisk = MultiDiskArchives();
  std::vector<TCorpusCase> cases;
  std::map<std::string, std::string> archives;
  for (const auto& e : ReadManifest()) {
    if (!Supported(e.method) || (e.flags & 1) || multiDisk.count(e.archive) || !wanted(e)) continue;
    if (e.expected != "ok" && e.expected != "ok-after-rebuild" && e.expected != "crc-error-expected") continue;
    auto& archive = archives[e.archive];
    if (archive.empty()) archive = ReadFileBytes(TestDataPath("zip/" + e.archive));
    TCorpusCase c{e, {}};
    EXPECT_TRUE(FindEntryData(archive, e, c.data)) << e.archive << " " << e.path;
    cases.push_back(std::move(c));
  }
  return cases;
}

// Decodes every case; returns how many were checked.
int CheckCases(const std::vector<TCorpusCase>& cases) {
  int checked = 0;
  for (const auto& c : cases) {
    const auto& e = c.entry;
    SCOPED_TRACE(e.archive + " #" + std::to_string(e.index) + " " + e.path + " method " + std::to_string(e.method));
    const TDecoded r = DecodeBytes(e.method, e.flags, c.data, e.uncompressedSize);
    EXPECT_TRUE(r.known);
    if (e.expected == "crc-error-expected") {
      EXPECT_NE(r.crc, e.crc);
    } else {
      EXPECT_EQ(r.bytes.size(), static_cast<std::size_t>(e.uncompressedSize));
      EXPECT_EQ(r.crc, e.crc);
      if (!e.expectedFile.empty()) {
        EXPECT_TRUE(r.bytes == ReadFileBytes(TestDataPath("zip/" + e.expectedFile))) << "content differs from " << e.expectedFile;
      }
    }
    ++checked;
  }
  return checked;
}

TEST(DecodeCorpus, StoredEntriesCopyTheirBytes) {
  EXPECT_GE(CheckCases(CorpusCases([](const TManifestEntry& e) { return e.method == 0; })), 30);
}

TEST(DecodeCorpus, ShrunkEntriesIncludingPartialClears) {
  const auto cases = CorpusCases([](const TManifestEntry& e) { return e.method == 1; });
  int withClears = 0;
  for (const auto& c : cases) withClears += c.entry.notes.find("partial clear") != std::string::npos;
  EXPECT_GE(withClears, 1);
  EXPECT_GE(CheckCases(cases), 15);
}

TEST(DecodeCorpus, ReducedEntriesOfEveryFactor) {
  for (std::uint16_t method = 2; method <= 5; ++method) {
    static std::uint16_t wantedMethod;
    wantedMethod = method;
    EXPECT_GE(CheckCases(CorpusCases([](const TManifestEntry& e) { return e.method == wantedMethod; })), 4)
        << "method " << method;
  }
}

TEST(DecodeCorpus, ReducedEntryReachingIntoTheZeroWindow) {
  const auto cases = CorpusCases([](const TManifestEntry& e) { return e.archive.find("zero_window") != std::string::npos; });
  ASSERT_EQ(cases.size(), 1u);
  ASSERT_EQ(CheckCases(cases), 1);
  const TDecoded r = DecodeBytes(cases[0].entry.method, 0, cases[0].data, cases[0].entry.uncompressedSize);
  EXPECT_EQ(r.bytes.substr(2048), std::string(1024, '\0'));
}

TEST(DecodeCorpus, ImplodedEntriesOfAllDictionaryAndTreeVariants) {
  const auto cases = CorpusCases([](const TManifestEntry& e) { return e.method == 6; });
  std::set<int> variants;
  for (const auto& c : cases) variants.insert(c.entry.flags & 6);
  EXPECT_EQ(variants.size(), 4u);
  EXPECT_GE(CheckCases(cases), 100);
}

// Entries f and g were made with the minimum match length of PKZIP 1.01 (by dictionary
// size); the reader uses the later rule (by literal tree), so they decode to other bytes.
TEST(DecodeCorpus, ImplodeFlagVariantsUnderTheLiteralTreeRule) {
  const auto cases = CorpusCases([](const TManifestEntry& e) { return e.archive.find("implode_flag_variants") != std::string::npos; });
  ASSERT_EQ(cases.size(), 8u);
  int failing = 0;
  for (const auto& c : cases) {
    const TDecoded r = DecodeBytes(6, c.entry.flags, c.data, c.entry.uncompressedSize);
    const bool matches = r.crc == c.entry.crc;
    const bool shouldFail = c.entry.path == "f" || c.entry.path == "g";
    EXPECT_EQ(matches, !shouldFail) << c.entry.path;
    if (matches) {
      EXPECT_EQ(r.bytes, "aaaa1bbbb2aaaa3bbbb");
    }
    failing += !matches;
  }
  EXPECT_EQ(failing, 2);
}

TEST(DecodeCorpus, DeflatedEntries) {
  EXPECT_GE(CheckCases(CorpusCases([](const TManifestEntry& e) { return e.method == 8; })), 25);
}

// The refill boundaries fall anywhere in the real extraction only at multiples of 16000;
// smaller refills put them inside codes, headers and stored blocks.
TEST(DecodeCorpus, OddRefillSizesGiveTheSameBytes) {
  const auto cases = CorpusCases([](const TManifestEntry& e) {
    return e.archive.find("hw_all_methods.zip") != std::string::npos || e.archive.find("py_deflate_edge") != std::string::npos;
  });
  ASSERT_GE(cases.size(), 10u);
  for (const auto& c : cases) {
    const auto whole = DecodeBytes(c.entry.method, c.entry.flags, c.data, c.entry.uncompressedSize);
    for (std::size_t chunk : {1u, 3u, 7u, 8u, 9u, 4093u}) {
      const auto pieces = DecodeBytes(c.entry.method, c.entry.flags, c.data, c.entry.uncompressedSize, chunk);
      EXPECT_TRUE(pieces.bytes == whole.bytes) << c.entry.path << " chunk " << chunk;
    }
  }
}

}  // namespace
