// uninst.inf as the removal reads it: what the extraction writes (and what earlier versions
// left) is accepted; what cannot be trusted is damaged, natively and under Wine alike.
#include <gtest/gtest.h>

#include "common/testsupport.h"
#include "description/InstIDF.h"
#include "engine/UninstallList.h"

namespace {

TEST(UninstallList, SoundListsAreLoadedAndDamagedOnesNamed) {
  const std::string header = "IDF-CPS-text\r\n\r\n";
  const struct {
    const char* name;
    std::string bytes;
    TUninstallListState state;
    const char* why;  // the start of the English reason
  } cases[] = {
      {"as written", header + "[a.zip]\r\nUsesCount=2\r\nC:\\P\\a.txt=\r\n[b.zip]\r\nUsesCount=1\r\n",
       TUninstallListState::Loaded, ""},
      {"no archives", header, TUninstallListState::Loaded, ""},
      {"network path, \"=\" in a name", header + "[a.zip]\r\nUsesCount=0\r\n\\\\srv\\s\\x=y.txt=\r\n",
       TUninstallListState::Loaded, ""},
      // A section that lost its count is given one again by the extraction.
      {"count lost", header + "[a.zip]\r\nC:\\P\\a.txt=\r\n", TUninstallListState::Loaded, ""},
      {"comments and blank lines", header + "// kept\r\n\r\n[a.zip]\r\nUsesCount=1\r\n",
       TUninstallListState::Loaded, ""},
      {"empty file", "", TUninstallListState::Damaged, "the file cannot be read"},
      {"no header", "[a.zip]\r\nUsesCount=1\r\n", TUninstallListState::Damaged, "the file cannot be read"},
      {"outside a section", header + "x=1\r\n[a.zip]\r\n", TUninstallListState::Damaged, "lines outside"},
      {"tree section", header + "[a.zip]-tree\r\n", TUninstallListState::Damaged, "section a.zip is no list"},
      {"nameless", header + "[ ]\r\nUsesCount=1\r\n", TUninstallListState::Damaged, "a section without a name"},
      {"twice", header + "[a.zip]\r\n[A.ZIP]\r\n", TUninstallListState::Damaged, "two sections of the archive A.ZIP"},
      {"count late", header + "[a.zip]\r\nC:\\a=\r\nusescount=1\r\n", TUninstallListState::Damaged,
       "UsesCount of section a.zip is not"},
      {"count text", header + "[a.zip]\r\nUsesCount=1x\r\n", TUninstallListState::Damaged, "UsesCount of section a.zip is no count"},
      {"count negative", header + "[a.zip]\r\nUsesCount=-1\r\n", TUninstallListState::Damaged, "UsesCount of section a.zip is no count"},
      {"relative file", header + "[a.zip]\r\nUsesCount=1\r\nP\\a.txt=\r\n", TUninstallListState::Damaged,
       "line P\\a.txt of section a.zip is no file path"},
  };
  TempDir dir;
  const std::string path = dir.File("uninst.inf");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFileBytes(path, c.bytes);
    TIDFTextFile list;
    list.AddSection("left from before");
    TListDamage damage;
    EXPECT_EQ(LoadUninstallList(path, list, damage), c.state);
    EXPECT_EQ(damage.English.rfind(c.why, 0), 0u) << damage.English;
    EXPECT_EQ(damage.Russian.empty(), c.state != TUninstallListState::Damaged);
  }
  TIDFTextFile list;
  TListDamage damage;
  EXPECT_EQ(LoadUninstallList(dir.File("none.inf"), list, damage), TUninstallListState::Missing);
  EXPECT_EQ(list.SectionCount(), 0);
}

}  // namespace
