// Short names that DeselectNotListed compares: letters of every alphabet without case.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "description/tree_testutil.h"

namespace {

TEST(DeselectNotListed, ShortNamesMatchWithoutCaseInEveryAlphabet) {
  struct Case {
    const char* shortName;
    const char* listed;
    bool kept;
  };
  const std::vector<Case> cases = {
      {"Дополнения", "дополнения", true},
      {"Łączniki", "ŁĄCZNIKI", true},    // Polish
      {"Źródła", "źródła", true},
      {"Čeština", "ČEŠTINA", true},      // Czech
      {"Nářadí", "NÁŘADÍ", true},
      {"Ӂ", "ӂ", true},                  // U+04C1 and U+04C2: one letter
      {"Ӄ", "ӂ", false},                 // U+04C3 and U+04C2: two letters
      {"Ядро", "Ядра", false},
  };
  for (const Case& c : cases) {
    TSysTree tree;
    TSysNode* node = tree.AddChild(treetest::Node(1));
    node->Info.ShortName = c.shortName;
    ASSERT_TRUE(node->Info.Selected);
    tree.DeselectNotListed({c.listed});
    EXPECT_EQ(node->Info.Selected, c.kept) << c.shortName << " / " << c.listed;
  }
}

}  // namespace
