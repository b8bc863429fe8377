// Links inside a tree being removed: the link goes, its target stays. Wine cannot make
// junctions or symbolic links, so this is proved on the native file system, through the
// same portable functions the engine uses on Windows.
#include <gtest/gtest.h>
#include <unistd.h>

#include "common/osfile.h"
#include "common/testsupport.h"
#include "engine/DirTree.h"

TEST(DirTreeLinks, NeverFollowsLinksOutOfTheTree) {
  TempDir root;
  const std::string outside = root.File("outside"), tree = root.File("tree");
  ASSERT_TRUE(os::CreateDirectories(outside + "/deep"));
  ASSERT_TRUE(os::CreateDirectories(tree + "/sub"));
  WriteFileBytes(outside + "/keep.txt", "precious");
  WriteFileBytes(outside + "/deep/keep2.txt", "precious");
  ASSERT_EQ(::symlink(outside.c_str(), (tree + "/sub/dirlink").c_str()), 0);
  ASSERT_EQ(::symlink((outside + "/keep.txt").c_str(), (tree + "/filelink.txt").c_str()), 0);
  EXPECT_NE(os::GetAttributes(tree + "/sub/dirlink") & os::kAttrReparsePoint, 0u);

  EXPECT_TRUE(DeleteDirTree(tree, false));
  EXPECT_FALSE(os::DirectoryExists(tree));
  EXPECT_EQ(ReadFileBytes(outside + "/keep.txt"), "precious");
  EXPECT_EQ(ReadFileBytes(outside + "/deep/keep2.txt"), "precious");

  // The directory named for removal is itself a link: only the link goes.
  const std::string link = root.File("dirlink");
  ASSERT_EQ(::symlink(outside.c_str(), link.c_str()), 0);
  EXPECT_TRUE(DeleteDirTree(link, false));
  EXPECT_EQ(os::GetAttributes(link), os::kInvalidAttributes);
  EXPECT_EQ(ReadFileBytes(outside + "/deep/keep2.txt"), "precious");
}

// A file listed for deletion that is reached through a link put inside the installation:
// the link leads out, so the file is not taken as the installation's.
TEST(DirTreeLinks, ListedFilesBehindALinkAreNotReached) {
  TempDir root;
  const std::string outside = root.File("outside"), tree = root.File("tree");
  ASSERT_TRUE(os::CreateDirectories(outside));
  ASSERT_TRUE(os::CreateDirectories(tree + "/EXE"));
  WriteFileBytes(outside + "/keep.txt", "precious");
  WriteFileBytes(tree + "/EXE/own.txt", "the product's");
  ASSERT_EQ(::symlink(outside.c_str(), (tree + "/DATA").c_str()), 0);
  ASSERT_EQ(::symlink((outside + "/keep.txt").c_str(), (tree + "/EXE/link.txt").c_str()), 0);

  const struct {
    std::string path;
    bool reached;
  } cases[] = {
      {tree + "/EXE/own.txt", true},
      {tree + "/DATA/keep.txt", false},   // through a directory link
      {tree + "/EXE/link.txt", false},    // a file link: the link is not the file
      {tree + "/EXE/missing.txt", false},
      {tree + "/EXE", false},             // a directory is no listed file
      {tree, false},
  };
  for (const auto& c : cases) EXPECT_EQ(ReachedWithoutLinks(tree, c.path), c.reached) << c.path;
}
