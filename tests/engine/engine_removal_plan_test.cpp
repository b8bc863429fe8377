// The removal of archives planned from an uninstall list: what it deletes, what it refuses,
// and the use counts it leaves, for lists as the installer writes them and as a damaged or
// crafted file may hold them.
#include <gtest/gtest.h>

#include <climits>

#include "common/testsupport.h"
#include "description/InstIDF.h"
#include "description/InstList.h"
#include "engine/RemovalPlan.h"

namespace {

const std::string kInstalled = "C:\\Program Files\\Prod";

// Loads an uninstall list from its text (sections and "name=value" lines after the header).
void LoadList(const TempDir& dir, const std::string& body, TIDFTextFile& list) {
  const std::string path = dir.File("uninst.inf");
  WriteFileBytes(path, "IDF-CPS-text\r\n\r\n" + body);
  EXPECT_TRUE(list.LoadFromFile(path));
}

struct PlanCase {
  const char* what;
  const char* list;         // the list's body
  int users;                // how many removed subsystems use "a.zip"
  const char* installed;    // the installed directory the plan is judged against
  std::vector<std::string> files;
  std::vector<std::string> refused;
  const char* countLeft;    // a.zip's UsesCount afterwards; "" when the section went
};

TEST(RemovalPlan, ListsAsWrittenAndAsCrafted) {
  const PlanCase cases[] = {
      {"last user goes", "[a.zip]\r\nUsesCount=1\r\nC:\\Program Files\\Prod\\EXE\\a.exe=\r\n", 1, "",
       {"C:\\Program Files\\Prod\\EXE\\a.exe"}, {}, ""},
      {"still used", "[a.zip]\r\nUsesCount=2\r\nC:\\Program Files\\Prod\\EXE\\a.exe=\r\n", 1, "", {}, {}, "1"},
      {"no number", "[a.zip]\r\nUsesCount=many\r\nC:\\Program Files\\Prod\\a=\r\n", 1, "", {}, {}, "many"},
      {"a name holding =", "[a.zip]\r\nUsesCount=1\r\nC:\\Program Files\\Prod\\x=y.txt=\r\n", 1, "",
       {"C:\\Program Files\\Prod\\x=y.txt"}, {}, ""},
      {"climbs out", "[a.zip]\r\nUsesCount=1\r\nC:\\Program Files\\Prod\\..\\..\\Windows\\win.ini=\r\n", 1, "",
       {}, {"C:\\Program Files\\Prod\\..\\..\\Windows\\win.ini"}, ""},
      {"a look-alike directory", "[a.zip]\r\nUsesCount=1\r\nC:\\Program Files\\Prod2\\a.exe=\r\n", 1, "",
       {}, {"C:\\Program Files\\Prod2\\a.exe"}, ""},
      {"elsewhere", "[a.zip]\r\nUsesCount=1\r\nC:\\Windows\\system32\\kernel32.dll=\r\n", 1, "",
       {}, {"C:\\Windows\\system32\\kernel32.dll"}, ""},
      {"the directory itself", "[a.zip]\r\nUsesCount=1\r\nC:\\Program Files\\Prod=\r\n", 1, "",
       {}, {"C:\\Program Files\\Prod"}, ""},
      {"relative", "[a.zip]\r\nUsesCount=1\r\nEXE\\a.exe=\r\n", 1, "", {}, {"EXE\\a.exe"}, ""},
      {"other spellings", "[a.zip]\r\nUsesCount=1\r\n\\\\?\\c:\\program files\\prod\\a.exe=\r\nC:/Program Files/Prod/b.exe=\r\n",
       1, "", {"C:\\program files\\prod\\a.exe", "C:\\Program Files\\Prod\\b.exe"}, {}, ""},
      {"a device or stream", "[a.zip]\r\nUsesCount=1\r\n\\\\.\\C:\\Program Files\\Prod\\a=\r\nC:\\Program Files\\Prod\\a:s=\r\n",
       1, "", {}, {"\\\\.\\C:\\Program Files\\Prod\\a", "C:\\Program Files\\Prod\\a:s"}, ""},
      {"installed at a root", "[a.zip]\r\nUsesCount=1\r\nC:\\a.exe=\r\n", 1, "C:\\", {}, {"C:\\a.exe"}, ""},
      {"installed nowhere", "[a.zip]\r\nUsesCount=1\r\nC:\\a.exe=\r\n", 1, "-", {}, {"C:\\a.exe"}, ""},
      {"lowest count", "[a.zip]\r\nUsesCount=-2147483648\r\n", 1, "", {}, {}, ""},
      {"highest count", "[a.zip]\r\nUsesCount=2147483647\r\n", 3, "", {}, {}, "2147483644"},
  };
  for (const PlanCase& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    TIDFTextFile list;
    LoadList(dir, c.list, list);
    TSubsystemInfo user;
    TArchiveList archives;
    for (int i = 0; i < c.users; ++i) archives.AddArchive("a.zip", &user);
    archives.AddArchive("missing.zip", &user);
    const std::string installed = c.installed[0] == '-' ? "" : c.installed[0] ? c.installed : kInstalled;
    const TRemovalPlan plan = PlanArchiveRemoval(list, archives, installed);
    EXPECT_EQ(plan.Files, c.files);
    EXPECT_EQ(plan.Refused, c.refused);
    const TIDFSection* section = list.FindSection("a.zip");
    if (c.countLeft[0]) {
      ASSERT_NE(section, nullptr);
      EXPECT_EQ(section->Params(0)->Value, c.countLeft);
    } else {
      EXPECT_EQ(section, nullptr);
    }
  }
}

}  // namespace
