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

namespace {

struct RefusalCase {
  const char* directory;
  pathrules::TRefusal kind;
  const char* protectedDir;  // the system directory named in the message, if any
};

TEST(PathRules, RefuseInstallDirectory) {
  const std::vector<std::string> system = {"C:\\Windows", "C:\\Windows\\System32", "C:\\Program Files",
                                           "C:\\Program Files (x86)", "C:\\ProgramData", "C:\\Users",
                                           "C:\\Users\\Admin", "D:\\Data\\Users\\Other"};
  using pathrules::TRefusal;
  const RefusalCase cases[] = {
      {"C:\\Program Files\\Prod", TRefusal::None, ""},
      {"C:\\Users\\Admin\\Prod", TRefusal::None, ""},
      {"C:\\Windows\\Prod", TRefusal::None, ""},
      {"C:\\WindowsApps", TRefusal::None, ""},
      {"C:\\", TRefusal::Root, ""},
      {"C:\\.", TRefusal::Root, ""},
      {"D:\\X\\..", TRefusal::Root, ""},
      {"\\\\?\\C:\\", TRefusal::Root, ""},
      {"\\\\srv\\share", TRefusal::Root, ""},
      {"c:\\windows", TRefusal::Protected, "C:\\Windows"},
      {"C:\\Windows\\system32\\", TRefusal::Protected, "C:\\Windows\\System32"},
      {"\\\\?\\C:\\Program Files\\x\\..", TRefusal::Protected, "C:\\Program Files"},
      {"C:\\PROGRAM FILES (X86)", TRefusal::Protected, "C:\\Program Files (x86)"},
      {"C:\\ProgramData", TRefusal::Protected, "C:\\ProgramData"},
      {"C:\\Users\\Admin", TRefusal::Protected, "C:\\Users\\Admin"},
      {"D:\\Data", TRefusal::Ancestor, "D:\\Data\\Users\\Other"},
      {"D:\\Data\\Users", TRefusal::Ancestor, "D:\\Data\\Users\\Other"},
      {"relative\\dir", TRefusal::NotFull, ""},
      {"C:\\..", TRefusal::NotFull, ""},
      {"", TRefusal::NotFull, ""},
  };
  for (const RefusalCase& c : cases) {
    const pathrules::TRefusalReason r = pathrules::RefuseInstallDirectory(c.directory, system);
    EXPECT_EQ(r.Kind, c.kind) << c.directory;
    EXPECT_EQ(r.Protected, c.protectedDir) << c.directory;
    EXPECT_EQ(bool(r), c.kind != TRefusal::None) << c.directory;
    // Every refusal says so in both languages, naming the directory as judged.
    if (r) {
      EXPECT_NE(pathrules::RefusalTextEn(r).find(r.Directory), std::string::npos) << c.directory;
      EXPECT_NE(pathrules::RefusalTextRu(r).find(r.Directory), std::string::npos) << c.directory;
      EXPECT_NE(pathrules::RefusalTextEn(r).find("Choose another folder"), std::string::npos);
    } else {
      EXPECT_EQ(pathrules::RefusalTextEn(r), "");
    }
  }
}

TEST(PathRules, NothingInsideAClosedTreeIsTaken) {
  const std::vector<std::string> system = {"C:\\Windows", "C:\\Program Files"};
  const std::vector<std::string> closed = {"C:\\Windows"};
  using pathrules::TRefusal;
  const std::pair<const char*, TRefusal> cases[] = {
      {"C:\\Windows\\System32\\drivers", TRefusal::Protected},
      {"c:\\windows\\Prod", TRefusal::Protected},
      {"C:\\Windows", TRefusal::Protected},
      {"C:\\WindowsProd", TRefusal::None},
      {"C:\\Program Files\\Prod", TRefusal::None},
      {"C:\\", TRefusal::Root},
  };
  for (const auto& [dir, kind] : cases)
    EXPECT_EQ(pathrules::RefuseInstallDirectory(dir, system, closed).Kind, kind) << dir;
  EXPECT_EQ(pathrules::RefuseInstallDirectory("C:\\Windows\\Prod", system, closed).Protected, "C:\\Windows");
}

TEST(PathRules, RefusalTexts) {
  const pathrules::TRefusalReason r =
      pathrules::RefuseInstallDirectory("C:\\Data", {"C:\\Data\\Users"});
  EXPECT_EQ(pathrules::RefusalTextEn(r),
            "Folder C:\\Data holds the system folder C:\\Data\\Users and cannot be the installation folder. "
            "Choose another folder");
  EXPECT_EQ(pathrules::RefusalTextRu(r),
            "Каталог C:\\Data содержит системный каталог C:\\Data\\Users и не может быть каталогом установки. "
            "Выберите другой каталог");
}

}  // namespace
