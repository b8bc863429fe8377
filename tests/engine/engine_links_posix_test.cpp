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
