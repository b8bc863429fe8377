// The search-path edits as text: the NT "Path", the installer's own "Path", the startup
// batch file of Windows 9x, and the names of link entries.
#include <gtest/gtest.h>

#include "engine/EnvPath.h"
#include "engine/LinkEntries.h"

TEST(EnvPath, CutToken) {
  const struct {
    const char* text;
    bool fromEnd;
    const char* token;
    const char* rest;
  } cases[] = {
      {"a;b;c", false, "a", "b;c"}, {"a;b;c", true, "c", "a;b"}, {"abc", false, "abc", ""},
      {"abc", true, "abc", ""},     {"", false, "", ""},          {";x", false, "", "x"},
      {"x;", true, "", "x"},
  };
  for (const auto& c : cases) {
    std::string text = c.text;
    EXPECT_EQ(CutToken(text, ';', c.fromEnd), c.token) << c.text;
    EXPECT_EQ(text, c.rest) << c.text;
  }
}

TEST(EnvPath, WholeEntriesAreCompared) {
  const struct {
    const char *a, *b;
    bool same;
  } cases[] = {
      {"C:\\X\\SYSTEM", " c:\\x\\system\\ ", true},
      {"C:\\Прод\\SYSTEM", "c:\\прод\\system", true},
      {"C:\\X\\SYSTEM2", "C:\\X\\SYSTEM", false},
      {"D:\\C:\\X\\SYSTEM", "C:\\X\\SYSTEM", false},
      {"", "", false},
      // A trailing "\" wherever it came from: typed by a person, or a root directory
      // joined with "\SYSTEM" by earlier versions.
      {"C:\\X\\SYSTEM\\\\", "C:\\X\\SYSTEM", true},
      {"C:\\\\SYSTEM", "C:\\SYSTEM", true},
      {"C:\\X\\\\SYSTEM\\", "c:\\x\\system", true},
      {"\\\\srv\\share\\SYSTEM", "\\\\srv\\share\\system\\", true},
      {"\\srv\\share\\SYSTEM", "\\\\srv\\share\\SYSTEM", false},
      {"C:\\SYSTEM", "C:\\SYSTEM\\USER", false},
  };
  for (const auto& c : cases) EXPECT_EQ(SamePathEntry(c.a, c.b), c.same) << c.a << " / " << c.b;
}

TEST(EnvPath, EntriesBelowTheProductDirectory) {
  const struct {
    const char *directory, *entry;
  } cases[] = {
      {"C:\\Prod", "C:\\Prod\\SYSTEM"},
      {"C:\\Prod\\", "C:\\Prod\\SYSTEM"},
      {"C:\\", "C:\\SYSTEM"},
      {"C:", "C:\\SYSTEM"},
      {"\\\\srv\\share\\", "\\\\srv\\share\\SYSTEM"},
  };
  for (const auto& c : cases) EXPECT_EQ(PathEntryBelow(c.directory, "SYSTEM"), c.entry) << c.directory;
  // What an installation in a root put on the search path, and what earlier versions put
  // there, both go when the product goes.
  EXPECT_EQ(EditMachinePath("C:\\WINDOWS;C:\\SYSTEM;C:\\\\SYSTEM;C:\\SYSTEM\\", "C:\\SYSTEM", false),
            "C:\\WINDOWS");
}

TEST(EnvPath, MachinePath) {
  const std::string dir = "C:\\Prod\\SYSTEM";
  const struct {
    const char* value;
    bool add;
    const char* result;
  } cases[] = {
      {"", true, ";C:\\Prod\\SYSTEM"},
      {"", false, ""},
      {"%SystemRoot%\\system32;;%SystemRoot%", true, "%SystemRoot%\\system32;%SystemRoot%;C:\\Prod\\SYSTEM"},
      {"A;c:\\prod\\system\\;B;C:\\PROD\\SYSTEM", true, "A;B;C:\\Prod\\SYSTEM"},
      {"A;c:\\prod\\system\\;B;C:\\PROD\\SYSTEM;C:\\Prod\\SYSTEM2", false, "A;B;C:\\Prod\\SYSTEM2"},
      {" A ; ;D:\\C:\\Prod\\SYSTEM", false, " A ;D:\\C:\\Prod\\SYSTEM"},
  };
  for (const auto& c : cases) EXPECT_EQ(EditMachinePath(c.value, dir, c.add), c.result) << c.value;
  EXPECT_EQ(EditProcessPath("", dir, true), dir);
  EXPECT_EQ(EditProcessPath("C:\\windows;C:\\Prod\\SYSTEM", dir, true), "C:\\windows;C:\\Prod\\SYSTEM");
  EXPECT_EQ(EditProcessPath("C:\\windows;C:\\Prod\\SYSTEM;C:\\u", dir, false), "C:\\windows;C:\\u");
}

TEST(EnvPath, StartupFile) {
  const std::string dir = "C:\\Program Files\\Prod\\SYSTEM";
  const std::string shortDir = "C:\\PROGRA~1\\PROD\\SYSTEM";
  const struct {
    const char* name;
    const char* content;
    bool exists, add, write;
    const char* output;
  } cases[] = {
      {"missing file is made", "", false, true, true, "SET PATH=%PATH%;C:\\Program Files\\Prod\\SYSTEM"},
      {"missing file is not made to remove", "", false, false, false, ""},
      {"present long form", "@echo off\r\nSET PATH=C:\\DOS;c:\\program files\\prod\\system\\\r\n", true, true,
       false, ""},
      {"present short form", "PATH C:\\DOS;C:\\PROGRA~1\\PROD\\SYSTEM", true, true, false, ""},
      {"appended", "  @echo off  \r\nset path=C:\\DOS;%PATH%\r\n", true, true, true,
       "@echo off\r\nset path=C:\\DOS;%PATH%\r\nSET PATH=C:\\Program Files\\Prod\\SYSTEM;%PATH%"},
      {"PATH= is no path line", "PATH=C:\\Program Files\\Prod\\SYSTEM", true, true, true,
       "PATH=C:\\Program Files\\Prod\\SYSTEM\r\nSET PATH=C:\\Program Files\\Prod\\SYSTEM;%PATH%"},
      {"REM lines are left, a bare SET PATH=%PATH% goes", "REM SET PATH=C:\\Program Files\\Prod\\SYSTEM\nSET PATH=%PATH%", true, true, true,
       "REM SET PATH=C:\\Program Files\\Prod\\SYSTEM\r\nSET PATH=C:\\Program Files\\Prod\\SYSTEM;%PATH%"},
      {"only entry drops the line", "\r\n\r\n  x\r\n\r\nSET PATH=C:\\Program Files\\Prod\\SYSTEM\r\ny", true,
       false, true, "x\r\n\r\ny"},
      {"removed from every line, short too", "PATH C:\\A; ;C:\\PROGRA~1\\PROD\\SYSTEM;C:\\B\rSET PATH "
       "%PATH%;C:\\Program Files\\Prod\\SYSTEM", true, false, true, "PATH C:\\A;C:\\B\r\nSET PATH %PATH%"},
      {"SET PATH=%PATH% left empty", "SET PATH=%PATH%;C:\\Program Files\\Prod\\SYSTEM\r\nREM end", true, false,
       true, "REM end"},
      {"near miss kept", "SET PATH=C:\\Program Files\\Prod\\SYSTEM2", true, false, true,
       "SET PATH=C:\\Program Files\\Prod\\SYSTEM2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const TAutoexecEdit edit = EditAutoexecText(c.content, c.exists, dir, shortDir, c.add);
    EXPECT_EQ(edit.Write, c.write);
    if (c.write) {
      EXPECT_EQ(edit.Output, c.output);
    }
  }
}

TEST(LinkEntries, FieldsAndNames) {
  const TLinkEntry full = ParseLinkEntry("C:\\P\\a.exe|-x|C:\\P\\a.ico|App|The app|extra");
  EXPECT_EQ(full.Target, "C:\\P\\a.exe");
  EXPECT_EQ(full.Arguments, "-x");
  EXPECT_EQ(full.Icon, "C:\\P\\a.ico");
  EXPECT_EQ(full.Name, "App");
  EXPECT_EQ(full.Description, "The app|extra");
  const TLinkEntry shortEntry = ParseLinkEntry("|||continue ZTK Setup");
  EXPECT_EQ(shortEntry.Target, "");
  EXPECT_EQ(shortEntry.Name, "continue ZTK Setup");
  EXPECT_EQ(ParseLinkEntry("a.exe").Name, "");

  for (const char* ok : {"App", "Справка", "A.B c"}) EXPECT_TRUE(IsSafeLinkName(ok)) << ok;
  for (const char* bad : {"", " ", ".", "..", "a\\b", "a/b", "c:x", "a*", "a?", "a\"b", "<a", "a>", "a|b"})
    EXPECT_FALSE(IsSafeLinkName(bad)) << bad;
  for (const char* ok : {"Prod Group", "Vendor\\Product", "Вендор\\Продукт"}) EXPECT_TRUE(IsSafeGroupName(ok)) << ok;
  for (const char* bad : {"", "\\Prod", "Prod\\", "a\\\\b", "..", "a\\..\\b", ".\\a", "C:\\x", "C:x",
                          "\\\\srv\\share", "a/b", "a*"})
    EXPECT_FALSE(IsSafeGroupName(bad)) << bad;

  EXPECT_EQ(FolderOf("C:\\P\\a.exe"), "C:\\P\\");
  EXPECT_EQ(FolderOf("a.exe"), "");
  EXPECT_EQ(LastPathComponent("C:\\ProgramData\\Start Menu\\Programs\\StartUp"), "StartUp");
  EXPECT_EQ(LastPathComponent("StartUp"), "StartUp");
}
