// Extraction of the real archives of the corpus: every entry lands with exactly the bytes
// its manifest gives, and damaged copies of them end in a failed check or a clear error,
// never in a damaged file left on disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "extract_test_support.h"
#include "sha256.h"
#include "unzip/UnZip.h"

namespace {

using extracttest::ManifestRow;
namespace fs = std::filesystem;

std::map<std::string, std::vector<ManifestRow>> RowsByArchive() {
  std::map<std::string, std::vector<ManifestRow>> out;
  for (const auto& row : extracttest::ReadManifest()) out[row.archive].push_back(row);
  return out;
}

// Every file under `dir`.
std::vector<std::string> FilesUnder(const std::string& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    if (e.is_regular_file()) out.push_back(e.path().string());
  }
  return out;
}

struct Outcome {
  int result = -1;
  std::map<int, std::string> ended;  // index -> target path
  std::set<int> badCrc;
  std::string error;  // "class name + message" of an exception that ended the call
};

Outcome Extract(const std::string& archive, const std::string& dest, const std::string& password,
                int expectedBoxes) {
  ScriptedMessages boxes;
  for (int i = 0; i < expectedBoxes; ++i) boxes.Expect(mb::kIdOk);
  Outcome out;
  TUnZip zip;
  zip.RecreateDirs = true;
  zip.DoAll = true;
  zip.OverwriteMode = TUZOverwriteMode::Always;
  zip.IncompleteZipMode = izAssumeBad;
  zip.Password = password;
  zip.OnEndUnZip = [&](TUnZip*, int i, const std::string& p) { out.ended[i] = p; };
  zip.OnBadCRC = [&](TUnZip*, std::uint32_t, std::uint32_t, int i) { out.badCrc.insert(i); };
  zip.SetZipName(archive);
  zip.SetDestDir(dest);
  try {
    out.result = zip.ExtractFiles();
  } catch (const std::exception& e) {
    out.error = DescribeException(e);
  }
  return out;
}

TEST(ExtractCorpus, EveryEntryExtractsToTheBytesOfTheManifest) {
  int checkedFiles = 0;
  for (const auto& [archive, rows] : RowsByArchive()) {
    SCOPED_TRACE(archive);
    std::string password;
    int failing = 0, unsupported = 0, counted = 0;
    for (const auto& r : rows) {
      if (!r.password.empty()) password = r.password;
      if (r.expected == "unsupported-method") ++unsupported;
      if (r.expected == "unsupported-method" || r.expected == "crc-error-expected") ++failing;
      else ++counted;
    }
    TempDir dest;
    Outcome out = Extract(TestDataPath("zip/" + archive), dest.Path(), password, unsupported);
    ASSERT_EQ(out.error, "");
    EXPECT_EQ(out.result, counted);
    EXPECT_EQ(static_cast<int>(out.badCrc.size()), failing);

    // Find each row's entry by its name through a fresh look at the directory.
    TUnZip zip;
    zip.IncompleteZipMode = izAssumeBad;
    zip.SetZipName(TestDataPath("zip/" + archive));
    zip.ReadArchive();
    std::set<int> used;
    for (const auto& r : rows) {
      SCOPED_TRACE(r.path);
      std::string shown = extracttest::ShownName(r);
      int index = -1;
      for (int i = 0; i < zip.EntryCount() && index < 0; ++i) {
        if (!used.count(i) && zip.EntryDirectory(i) + zip.EntryFileName(i) == shown) index = i;
      }
      ASSERT_GE(index, 0);
      used.insert(index);
      std::string onDisk = dest.Path() + "/" + shown;
      for (char& c : onDisk) {
        if (c == '\\') c = '/';
      }
      if (r.expected == "ok" || r.expected == "ok-after-rebuild") {
        ASSERT_TRUE(out.ended.count(index));
        EXPECT_EQ(Sha256OfFile(out.ended[index]), r.sha256);
        EXPECT_EQ(Sha256OfFile(onDisk), r.sha256);
        ++checkedFiles;
      } else if (r.expected == "directory") {
        EXPECT_TRUE(fs::is_directory(onDisk));
      } else {
        EXPECT_TRUE(out.badCrc.count(index));
        EXPECT_FALSE(fs::exists(onDisk)) << "a failed entry left its file";
      }
    }
  }
  EXPECT_GE(checkedFiles, 290);
}

TEST(ExtractCorpus, TheMultiDiskSetKeepsTheCallersSortOrder) {
  TempDir dest;
  TUnZip zip;
  zip.RecreateDirs = true;
  zip.DoAll = true;
  zip.OverwriteMode = TUZOverwriteMode::Always;
  zip.SetZipName(TestDataPath("zip/generated/iz_split.zip"));
  zip.ReadArchive();
  zip.ApplySortMode(TZipSortMode::ByName);
  std::vector<std::string> before;
  for (int i = 0; i < zip.EntryCount(); ++i) before.push_back(zip.EntryDirectory(i) + zip.EntryFileName(i));
  std::vector<int> order;
  zip.OnStartUnZip = [&](TUnZip* z, int i, const std::string&, bool&) {
    order.push_back(z->EntryHeader(i).DiskNumberStart);
  };
  zip.SetDestDir(dest.Path());
  EXPECT_EQ(zip.ExtractFiles(), 8);
  EXPECT_TRUE(std::is_sorted(order.begin(), order.end())) << "entries taken in disk order";
  EXPECT_EQ(zip.SortMode, TZipSortMode::ByName);
  for (int i = 0; i < zip.EntryCount(); ++i) {
    EXPECT_EQ(zip.EntryDirectory(i) + zip.EntryFileName(i), before[i]);
  }
}

// The expected digests of an archive's good entries.
std::set<std::string> GoodDigests(const std::string& archive) {
  std::set<std::string> out;
  for (const auto& r : extracttest::ReadManifest()) {
    if (r.archive == archive) out.insert(r.sha256);
  }
  return out;
}

TEST(ExtractCorpus, AFlippedByteInAnyEntryFailsThatEntryAndLeavesNoFile) {
  const std::string name = "generated/hw_all_methods.zip";
  const std::string original = ReadFileBytes(TestDataPath("zip/" + name));
  const std::set<std::string> good = GoodDigests(name);
  TUnZip probe;
  probe.SetZipName(TestDataPath("zip/" + name));
  probe.ReadArchive();
  for (int i = 0; i < probe.EntryCount(); ++i) {
    const TZipHeaderInfo& e = probe.EntryHeader(i);
    SCOPED_TRACE(e.FileName());
    for (double where : {0.1, 0.5, 0.9}) {
      std::string damaged = original;
      std::size_t dataStart = e.LocalHeaderOffset + 30 + e.FileNameLength;
      std::size_t at = dataStart + static_cast<std::size_t>(where * (e.CompressedSize - 1));
      damaged[at] = static_cast<char>(damaged[at] ^ 0x5A);
      TempDir work;
      WriteFileBytes(work.File("damaged.zip"), damaged);
      std::string dest = work.File("out");
      Outcome out = Extract(work.File("damaged.zip"), dest, "", 0);
      if (out.error.empty()) {
        EXPECT_EQ(out.badCrc.count(i), 1u);
        EXPECT_EQ(out.result, probe.EntryCount() - 1);
      }
      for (const auto& f : FilesUnder(dest)) {
        EXPECT_TRUE(good.count(Sha256OfFile(f))) << f << " is not a good copy";
      }
    }
  }
}

TEST(ExtractCorpus, ATruncatedArchiveEndsInAClearErrorAndLeavesNoPartialFile) {
  const std::string name = "generated/hw_all_methods.zip";
  const std::string original = ReadFileBytes(TestDataPath("zip/" + name));
  const std::set<std::string> good = GoodDigests(name);
  int errors = 0;
  for (std::size_t cut : {std::size_t(200), original.size() / 4, original.size() / 2,
                          original.size() * 3 / 4, original.size() - 300}) {
    SCOPED_TRACE(cut);
    TempDir work;
    WriteFileBytes(work.File("cut.zip"), original.substr(0, cut));
    std::string dest = work.File("out");
    Outcome out = Extract(work.File("cut.zip"), dest, "", 0);
    if (!out.error.empty()) {
      ++errors;
      EXPECT_EQ(out.error, "EFatalUnzipErrorPremature end of file reached");
    }
    if (fs::exists(dest)) {
      for (const auto& f : FilesUnder(dest)) {
        EXPECT_TRUE(good.count(Sha256OfFile(f))) << f << " is not a good copy";
      }
    }
  }
  EXPECT_GT(errors, 0);
}

}  // namespace

namespace {

// binrep.bin of the split set starts on disk 1 and goes on on disk 2.
class ExtractSpanning : public ::testing::Test {
 protected:
  void SetUp() override {
    zip.SetDestDir(work.File("out"));
    zip.RecreateDirs = true;
    zip.FilesList = {"binrep.bin"};
    zip.OverwriteMode = TUZOverwriteMode::Always;
  }
  TempDir work;
  TUnZip zip;
};

TEST_F(ExtractSpanning, ARefusedDiskChangeInsideAnEntryEndsTheCallAndLeavesNoFile) {
  zip.SetZipName(TestDataPath("zip/generated/iz_split.zip"));
  std::vector<int> asked;
  zip.OnGetNextDisk = [&](TUnZip*, int disk, std::string& name) {
    asked.push_back(disk);
    name = disk == 1 ? TestDataPath("zip/generated/iz_split.001") : "";
  };
  try {
    zip.ExtractFiles();
    FAIL() << "the refused disk was not noticed";
  } catch (const EUserCanceled& e) {
    EXPECT_EQ(e.Message(), "User canceled loading new disk.");
  }
  EXPECT_EQ(asked, (std::vector<int>{1, 2}));
  EXPECT_FALSE(fs::exists(work.File("out/binrep.bin")));
}

TEST_F(ExtractSpanning, AMissingDiskFileEndsTheCallAndLeavesNoFile) {
  for (const char* part : {"iz_split.001", "iz_split.003", "iz_split.004", "iz_split.zip"}) {
    WriteFileBytes(work.File(part), ReadFileBytes(TestDataPath(std::string("zip/generated/") + part)));
  }
  zip.SetZipName(work.File("iz_split.zip"));
  EXPECT_ANY_THROW(zip.ExtractFiles());
  EXPECT_FALSE(fs::exists(work.File("out/binrep.bin")));
}

TEST_F(ExtractSpanning, WithEveryDiskTheEntryExtracts) {
  zip.SetZipName(TestDataPath("zip/generated/iz_split.zip"));
  EXPECT_EQ(zip.ExtractFiles(), 1);
  EXPECT_EQ(Sha256OfFile(work.File("out/binrep.bin")),
            "81419529ef9053712755607ac2e5abdfd386b9fb376b64a457f072a6d9665b7b");
}

}  // namespace
