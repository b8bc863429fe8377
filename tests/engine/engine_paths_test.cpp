// The engine's path rules and its directory removal, on the real file system.
#include <gtest/gtest.h>

#include "common/osfile.h"
#include "common/testsupport.h"
#include "description/InstIDF.h"
#include "engine/DirTree.h"
#include "engine/EnginePaths.h"

TEST(EnginePaths, NormalizeDestDirKeepsDriveRoots) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\", "C:\\"}, {"C:\\X\\", "C:\\X"}, {"C:\\X", "C:\\X"}, {"C:", "C:\\"}, {"", ""},
      {"\\\\srv\\share\\", "\\\\srv\\share"}};
  for (const auto& [in, out] : cases) EXPECT_EQ(NormalizeDestDir(in), out) << in;
}

TEST(EnginePaths, InsideDirectoryRefusesEscapesAndLookalikes) {
  const struct {
    const char* path;
    bool inside;
  } cases[] = {
      {"C:\\Prod\\a.txt", true},
      {"c:\\prod\\SUB\\a.txt", true},
      {"C:\\Prod\\", false},
      {"C:\\Prod", false},
      {"C:\\ProdPlus\\a.txt", false},
      {"C:\\Prod\\..\\Windows\\x.dll", false},
      {"C:\\Prod\\sub\\.\\a.txt", false},
      {"C:\\Prod\\\\a.txt", false},
      {"D:\\Prod\\a.txt", false},
      {"\\Prod\\a.txt", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsInsideDirectory(c.path, "C:\\Prod\\"), c.inside) << c.path;
}

TEST(EnginePaths, RootsAndEmptyPaths) {
  for (const char* root : {"", "C:", "C:\\", "\\", "\\\\srv\\share", "\\\\srv\\share\\"})
    EXPECT_TRUE(IsRootOrEmpty(root)) << root;
  for (const char* dir : {"C:\\Prod", "\\\\srv\\share\\dir", "C:\\a\\"}) EXPECT_FALSE(IsRootOrEmpty(dir)) << dir;
}

TEST(EnginePaths, UninstallListPathsMayHoldEqualSigns) {
  // What the IDF reader makes of "path=" lines: name up to the first "=", value after it.
  const struct {
    const char* name;
    const char* value;
    const char* path;
  } cases[] = {
      {"C:\\P\\a.txt", "", "C:\\P\\a.txt"},
      {"C:\\P\\a", "b.txt=", "C:\\P\\a=b.txt"},
      {"C:\\P\\x", "y=z=", "C:\\P\\x=y=z"},
  };
  for (const auto& c : cases) {
    TIDFParam param(c.name);
    param.Value = c.value;
    EXPECT_EQ(UninstallFilePath(param), c.path);
  }
}

TEST(EnginePaths, SubtractAndMakeAbsolute) {
  std::vector<std::string> a{"x|1", "y|2", "x|1", "Z|3"}, b{"x|1", "z|3"};
  SubtractList(a, b);
  EXPECT_EQ(a, (std::vector<std::string>{"y|2", "Z|3"}));
  MakeAbsolute(a, "C:\\P");
  EXPECT_EQ(a, (std::vector<std::string>{"C:\\P\\y|2", "C:\\P\\Z|3"}));
}

TEST(DirTree, RemovesNestedTreesWithReadOnlyFiles) {
  TempDir root;
  const std::string top = root.File("top");
  ASSERT_TRUE(os::CreateDirectories(top + "\\a\\b\\c"));
  ASSERT_TRUE(os::CreateDirectories(top + "\\empty"));
  for (const char* f : {"\\f.txt", "\\a\\g.txt", "\\a\\b\\c\\h.txt"}) WriteFileBytes(os::NativePath(top + f), "x");
  ASSERT_TRUE(os::SetAttributes(top + "\\a\\g.txt", os::kAttrReadOnly));
  EXPECT_TRUE(DeleteDirTree(top, false));
  EXPECT_FALSE(os::DirectoryExists(top));
  EXPECT_TRUE(os::DirectoryExists(root.Path()));
  EXPECT_FALSE(DeleteDirTree("", false));
}

TEST(DirTree, DeleteDirFilesKeepsSubdirectoriesAndMatchesPatterns) {
  TempDir root;
  const std::string dir = root.Path();
  ASSERT_TRUE(os::CreateDirectories(dir + "\\sub"));
  for (const char* f : {"\\a.txt", "\\b.dat", "\\sub\\c.txt"}) WriteFileBytes(os::NativePath(dir + f), "x");
  EXPECT_TRUE(DeleteDirFiles(dir, "*.txt", false));
  EXPECT_FALSE(os::FileExists(dir + "\\a.txt"));
  EXPECT_TRUE(os::FileExists(dir + "\\b.dat"));
  EXPECT_TRUE(DeleteDirFiles(dir, "*.*", false));
  EXPECT_FALSE(os::FileExists(dir + "\\b.dat"));
  EXPECT_TRUE(os::FileExists(dir + "\\sub\\c.txt"));
}
