// What "setupkit tree" prints for a description and the user's ticks.
#include <gtest/gtest.h>

#include "description/InstIDF.h"
#include "description/InstListJson.h"
#include "description/tree_testutil.h"
#include "setup/Messages.h"

namespace {

bool Has(const std::string& json, const std::string& part) {
  return json.find(part) != std::string::npos;
}

const char kSmall[] =
    "[SubSystems]\nBase=1\nTool=2\nKid=3\nHidden=4\nOrphanView=5\n"
    "[Base]\nShort name=Base\nFull name=The base\nArchive=base.zip\nMenuLink1=b.exe\n"
    "[Tool]\nShort name=Tool\nDepend=1\nLibrary=tool.dll\nParameter=p\n"
    "[Kid]\nParent=1\nShort name=Kid\nViewParent=1\n"
    "[Hidden]\nShort name=Hidden\nViewParent=-1\n"
    "[OrphanView]\nShort name=Orphan\nViewParent=42\n";

TEST(TreeReport, StartsAsTheSubsystemPageAndNestsChildren) {
  auto file = treetest::Describe(kSmall);
  std::string json;
  EXPECT_EQ(TreeReport(*file, {}, json), 0);
  EXPECT_TRUE(json.starts_with("{\"loaded\":true,\"messages\":[],\"log\":[],\"nodes\":["));
  EXPECT_TRUE(Has(json,
                  "{\"number\":1,\"section\":\"Base\",\"shortName\":\"Base\",\"fullName\":"
                  "\"The base\",\"parent\":0,\"depend\":\"\",\"dependedOnBy\":\"2\","
                  "\"viewParent\":0,\"viewOnly\":false,\"library\":\"\",\"parameter\":\"\","
                  "\"archive\":\"base.zip\",\"links\":\"b.exe?menu\",\"checkFiles\":\"\","
                  "\"reqFiles\":\"\",\"selected\":true,\"complete\":true,\"children\":[{"
                  "\"number\":3,"));
  EXPECT_TRUE(Has(json, "\"number\":4,\"section\":\"Hidden\""));
  // Hidden is selected; a subsystem shown under a number nobody bears is never shown, so
  // it is not ticked either.
  EXPECT_TRUE(Has(json, "\"viewParent\":-1,\"viewOnly\":false,\"library\":\"\",\"parameter\":"
                        "\"\",\"archive\":\"\",\"links\":\"\",\"checkFiles\":\"\",\"reqFiles\":"
                        "\"\",\"selected\":true"));
  EXPECT_TRUE(Has(json, "\"viewParent\":42,\"viewOnly\":false,\"library\":\"\",\"parameter\":"
                        "\"\",\"archive\":\"\",\"links\":\"\",\"checkFiles\":\"\",\"reqFiles\":"
                        "\"\",\"selected\":false,\"complete\":false"));
}

TEST(TreeReport, TicksApplyInOrder) {
  auto file = treetest::Describe(kSmall);
  std::string json;
  EXPECT_EQ(TreeReport(*file, {{false, 1}, {true, 2}}, json), 0);
  // Unticking 1 unticked 2 and 3; ticking 2 ticked 1 again (and 1's view child 3).
  EXPECT_TRUE(Has(json, "\"reqFiles\":\"\",\"selected\":true,\"complete\":true,\"children\":[{\"number\":3"));
  TreeReport(*file, {{false, 3}}, json);
  EXPECT_TRUE(Has(json, "\"dependedOnBy\":\"\",\"viewParent\":1,\"viewOnly\":false,\"library\":\"\","
                        "\"parameter\":\"\",\"archive\":\"\",\"links\":\"\",\"checkFiles\":\"\","
                        "\"reqFiles\":\"\",\"selected\":false"));
}

TEST(TreeReport, DuplicateNumbersAreNotLoaded) {
  auto file = treetest::Describe("[SubSystems]\nA=1\nB=1\n[A]\n[B]");
  std::string json;
  EXPECT_EQ(TreeReport(*file, {}, json), 1);
  EXPECT_TRUE(json.starts_with(
      "{\"loaded\":false,\"messages\":[\"Найдены системы с одинаковыми номерами\"]"));
  EXPECT_TRUE(json.ends_with("\"nodes\":[]}"));
}

TEST(TreeReport, ListsTheMessagesAndLogOfLoading) {
  auto file = treetest::Describe(
      "[SubSystems]\nA=1\nB=2\nLoop=3\n[A]\n[B]\nDepend=z,1\n[Loop]\nParent=3");
  std::string json;
  EXPECT_EQ(TreeReport(*file, {}, json), 0);
  EXPECT_TRUE(Has(json, "\"messages\":[\"Invalid 'depend' string in setup.idf. Section - B\"]"));
  EXPECT_TRUE(Has(json, "Loop (3) is not loaded"));
}

TEST(TreeReport, BadTicksAreErrors) {
  auto file = treetest::Describe(kSmall);
  std::string json;
  EXPECT_EQ(TreeReport(*file, {{true, 99}}, json), 2);
  EXPECT_TRUE(Has(json, "\"error\":\"No subsystem has the number 99\""));

  auto broken = treetest::Describe("[SubSystems]\nA=1\n[A]\nDepend=x");
  EXPECT_EQ(TreeReport(*broken, {{false, 1}, {true, 1}}, json), 1);
  EXPECT_TRUE(Has(json, "\"error\":\"EConvertError"));
}

TEST(TreeReport, NonNumericSubSystemsValueIsNotLoaded) {
  auto file = treetest::Describe("[SubSystems]\nA=x\n[A]");
  std::string json;
  EXPECT_EQ(TreeReport(*file, {}, json), 1);
  EXPECT_TRUE(json.starts_with("{\"loaded\":false"));
  EXPECT_TRUE(Has(json, "\"error\":\"EConvertError'x' is not a valid integer value\""));
}

}  // namespace
