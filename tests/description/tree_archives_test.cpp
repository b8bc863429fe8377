// The archives of a tree and the space they need unpacked.
#include <gtest/gtest.h>

#include <map>

#include "common/errors.h"
#include "common/testsupport.h"
#include "description/InstList.h"
#include "description/tree_testutil.h"

using treetest::Node;

namespace {

TEST(TreeArchives, OneArchiveNamedInTwoLetterCasesIsOneEntry) {
  TSysTree tree;
  TSysNode* a = tree.AddChild(Node(1));
  TSysNode* b = tree.AddChild(Node(2));
  TSysNode* c = tree.AddChild(Node(3));
  a->Info.Archive = " Base.zip , extra.zip";
  b->Info.Archive = "BASE.ZIP,";
  c->Info.Archive = "other.zip";
  c->Info.Selected = false;

  TArchiveList list;
  tree.CollectArchives(list, true);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Items(0)->ArchiveName, "Base.zip");
  ASSERT_EQ(list.Items(0)->Count(), 2);
  EXPECT_EQ(list.Items(0)->Items(0), &a->Info);
  EXPECT_EQ(list.Items(0)->Items(1), &b->Info);
  EXPECT_EQ(list.Items(0)->Items(2), nullptr);
  EXPECT_EQ(list.Items(1)->ArchiveName, "extra.zip");
  EXPECT_EQ(list.Items(2), nullptr);

  tree.CollectArchives(list, false);
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Items(2)->ArchiveName, "other.zip");
}

TEST(TreeArchives, RemoveDuplicatesKeepsTheFirstOfEachName) {
  TArchiveList list;
  TSubsystemInfo info;
  list.AddArchive("a.zip", &info);
  list.AddArchive("b.zip", &info);
  // AddArchive folds ASCII case only; trimming and the rest are the duplicate rule's.
  list.AddArchive(" A.ZIP", &info);
  list.AddArchive("B.zip ", &info);
  ASSERT_EQ(list.Count(), 4);
  RemoveDuplicateArchives(list);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Items(0)->ArchiveName, "a.zip");
  EXPECT_EQ(list.Items(1)->ArchiveName, "b.zip");
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

TEST(TreeArchives, SizesAddUpBeyondTwoGigabytes) {
  TArchiveSize sizes;
  sizes.AddName("big1.zip");
  sizes.AddName(" BIG1.ZIP ");  // already there
  sizes.AddName("big2.zip");
  ASSERT_EQ(sizes.Count(), 2);
  sizes.Items(0)->Size = 1'500'000'000;
  sizes.Items(1)->Size = 1'500'000'000;
  TArchiveList list;
  TSubsystemInfo info;
  list.AddArchive("Big1.zip", &info);
  list.AddArchive("big2.zip", &info);
  list.AddArchive("unknown.zip", &info);
  EXPECT_EQ(sizes.TotalSize(list), 3'000'000'000LL);
}

TEST(TreeArchives, ComputeSizesAsksTheReaderForArchivesThatExist) {
  TempDir dir;
  WriteFileBytes(dir.File("one.zip"), "x");
  WriteFileBytes(dir.File("two.zip"), "y");
  std::vector<std::string> asked;
  TArchiveSize sizes;
  sizes.Reader = [&](const std::string& path) -> std::int64_t {
    asked.push_back(path);
    return path.ends_with("one.zip") ? 3'000'000'000LL : 7;
  };
  sizes.BaseDir = dir.Path();
  sizes.AddName("one.zip");
  sizes.AddName("missing.zip");
  sizes.AddName("two.zip");
  sizes.Items(1)->Size = 99;
  sizes.ComputeSizes();
  EXPECT_EQ(sizes.BaseDir, dir.Path() + "\\");
  EXPECT_EQ(asked, (std::vector<std::string>{dir.Path() + "\\one.zip", dir.Path() + "\\two.zip"}));
  EXPECT_EQ(sizes.Items(0)->Size, 3'000'000'000LL);
  EXPECT_EQ(sizes.Items(1)->Size, 0);
  EXPECT_EQ(sizes.Items(2)->Size, 7);
}

TEST(TreeArchives, AnUnreadableArchiveRaisesTheReadersError) {
  TempDir dir;
  WriteFileBytes(dir.File("bad.zip"), "not a zip");
  TArchiveSize sizes;
  sizes.Reader = [](const std::string&) -> std::int64_t { throw Exception("bad archive"); };
  sizes.BaseDir = dir.Path();
  sizes.AddName("bad.zip");
  EXPECT_THROW(sizes.ComputeSizes(), Exception);
}

TEST(TreeArchives, TheTreeSizesEveryArchiveOnce) {
  TempDir dir;
  TSysTree tree;
  TSysNode* a = tree.AddChild(Node(1));
  a->Info.Archive = "a.zip,b.zip";
  a->AddChild(Node(2))->Info.Archive = "B.ZIP";
  TSysNode* c = tree.AddChild(Node(3));
  c->Info.Archive = "c.zip";
  c->Info.Selected = false;
  std::map<std::string, std::int64_t> onDisk = {{"a.zip", 10}, {"b.zip", 20}, {"c.zip", 40}};
  for (const auto& [name, size] : onDisk) WriteFileBytes(dir.File(name), "z");

  int calls = 0;
  TArchiveSize sizes;
  sizes.BaseDir = dir.Path();
  sizes.Reader = [&](const std::string& path) -> std::int64_t {
    ++calls;
    return onDisk.at(path.substr(path.size() - 5));
  };
  tree.ComputeArchiveSizes(sizes);
  ASSERT_EQ(sizes.Count(), 3);
  EXPECT_EQ(calls, 3);
  // Unselected subsystems come first in the collection.
  EXPECT_EQ(sizes.Items(0)->Name, "c.zip");

  TArchiveList chosen;
  tree.CollectArchives(chosen, true);
  RemoveDuplicateArchives(chosen);
  EXPECT_EQ(sizes.TotalSize(chosen), 30);
}

TEST(TreeArchives, WithoutAReaderAnExistingArchiveCannotBeSized) {
  TempDir dir;
  WriteFileBytes(dir.File("a.zip"), "z");
  const ArchiveSizeReader saved = DefaultArchiveSizeReader();
  SetDefaultArchiveSizeReader(nullptr);
  TArchiveSize sizes;
  SetDefaultArchiveSizeReader(saved);
  sizes.BaseDir = dir.Path();
  sizes.AddName("a.zip");
  EXPECT_THROW(sizes.ComputeSizes(), Exception);
}

}  // namespace
