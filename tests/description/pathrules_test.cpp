#include "common/pathrules.h"

#include <gtest/gtest.h>

namespace {

struct NormalCase {
  const char* path;
  const char* expected;  // "" : not a full path, or one that names nothing safe
};

TEST(PathRules, NormalizeFullPath) {
  const NormalCase cases[] = {
      {"C:\\Program Files\\App", "C:\\Program Files\\App"},
      {"c:/program files//app/", "C:\\program files\\app"},
      {"C:\\.", "C:\\"},
      {"C:\\..", ""},
      {"C:\\hd\\x\\..", "C:\\hd"},
      {"D:\\X\\..", "D:\\"},
      {"C:\\a\\.\\b\\..\\..\\c", "C:\\c"},
      {"C:\\App.\\Bin. .", "C:\\App\\Bin"},
      {"C:\\a\\...", ""},
      {"\\\\?\\C:\\Windows\\..\\Temp", "C:\\Temp"},
      {"\\\\?\\UNC\\srv\\share\\dir", "\\\\srv\\share\\dir"},
      {"\\\\srv\\share\\a\\..", "\\\\srv\\share"},
      {"\\\\srv\\share\\..", ""},
      {"\\\\srv", ""},
      {"\\\\.\\PhysicalDrive0", ""},
      {"\\\\?\\GLOBALROOT\\Device", ""},
      {"relative\\dir", ""},
      {"\\rooted", ""},
      {"C:relative", ""},
      {"C:", ""},
      {"", ""},
      {"C:\\a:stream", ""},
      {"C:\\a*\\b", ""},
      {"C:\\a\tb", ""},
      {"C:\\Папка\\Файл", "C:\\Папка\\Файл"},
  };
  for (const NormalCase& c : cases)
    EXPECT_EQ(pathrules::NormalizeFullPath(c.path), c.expected) << c.path;
}

struct BelowCase {
  const char* path;
  const char* directory;
  bool sameOrBelow;
  bool strictlyBelow;
};

TEST(PathRules, Inside) {
  const BelowCase cases[] = {
      {"C:\\App\\bin\\x.dll", "C:\\App", true, true},
      {"C:\\App", "C:\\App", true, false},
      {"c:\\app\\", "C:\\APP", true, false},
      {"C:\\AppData\\x", "C:\\App", false, false},
      {"C:\\App\\..\\Windows", "C:\\App", false, false},
      {"C:\\App\\..\\App\\x", "C:\\App", true, true},
      {"C:\\Windows", "C:\\", true, true},
      {"C:\\", "C:\\", true, false},
      {"D:\\App", "C:\\App", false, false},
      {"C:\\ПАПКА\\файл", "C:\\папка", true, true},
      {"\\\\srv\\share\\d\\f", "\\\\srv\\share", true, true},
      {"\\\\srv\\share2", "\\\\srv\\share", false, false},
      {"App\\x", "App", false, false},
      {"C:\\App\\x", "", false, false},
  };
  for (const BelowCase& c : cases) {
    EXPECT_EQ(pathrules::IsSameOrBelow(c.path, c.directory), c.sameOrBelow) << c.path << " in " << c.directory;
    EXPECT_EQ(pathrules::IsStrictlyBelow(c.path, c.directory), c.strictlyBelow) << c.path << " in " << c.directory;
  }
}

TEST(PathRules, IsRoot) {
  EXPECT_TRUE(pathrules::IsRoot("C:\\"));
  EXPECT_TRUE(pathrules::IsRoot("c:/."));
  EXPECT_TRUE(pathrules::IsRoot("D:\\X\\.."));
  EXPECT_TRUE(pathrules::IsRoot("\\\\srv\\share\\"));
  EXPECT_FALSE(pathrules::IsRoot("C:\\X"));
  EXPECT_FALSE(pathrules::IsRoot("\\\\srv\\share\\x"));
  EXPECT_FALSE(pathrules::IsRoot("C:"));
}

}  // namespace
