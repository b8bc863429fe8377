// Bulk changes of the marks, work between trees, the derived lists and the registry marks.
#include <gtest/gtest.h>

#include "description/InstList.h"
#include "description/tree_testutil.h"

using treetest::ChildNumbers;
using treetest::Node;
using treetest::SelectedNumbers;

namespace {

// 1 { 11, 12 { 121 } }, 2, 3
void BuildSample(TSysTree& tree) {
  TSysNode* one = tree.AddChild(Node(1));
  one->AddChild(Node(11));
  one->AddChild(Node(12))->AddChild(Node(121));
  tree.AddChild(Node(2));
  tree.AddChild(Node(3));
}

// A tree holding the given numbers, each "a/b" placing b under a.
void BuildFrom(TSysTree& tree, std::initializer_list<const char*> paths) {
  for (const char* path : paths) {
    TCustomSysNode* level = &tree;
    std::string rest = path;
    for (;;) {
      const std::size_t slash = rest.find('/');
      const int number = std::stoi(rest.substr(0, slash));
      TSysNode* found = nullptr;
      for (int i = 0; i < level->ChildCount(); ++i) {
        if (level->Children(i)->Info.Number == number) found = level->Children(i);
      }
      if (!found) found = level->AddChild(Node(number));
      level = found;
      if (slash == std::string::npos) break;
      rest = rest.substr(slash + 1);
    }
  }
}

std::string Shape(const TCustomSysNode& level) {
  std::string out;
  for (int i = 0; i < level.ChildCount(); ++i) {
    const TSysNode& node = *level.Children(i);
    if (i > 0) out += ' ';
    out += std::to_string(node.Info.Number);
    out += node.Info.Selected ? "+" : "-";
    if (node.ChildCount() > 0) out += "(" + Shape(node) + ")";
  }
  return out;
}

TEST(TreeBulk, MarksChangeOnEveryNodeBelow) {
  TSysTree tree;
  BuildSample(tree);
  tree.DeselectAll();
  EXPECT_EQ(SelectedNumbers(tree), "");
  tree.FindByNumber(121)->Info.Selected = true;
  tree.FindByNumber(12)->Info.Selected = true;
  tree.FindByNumber(1)->Info.Selected = true;
  tree.ComputeComplete();
  EXPECT_TRUE(tree.FindByNumber(12)->Info.Complete);
  EXPECT_FALSE(tree.FindByNumber(1)->Info.Complete);  // 11 is not selected
  tree.SaveSelection();
  EXPECT_TRUE(tree.FindByNumber(12)->Info.SavedSelected);
  EXPECT_FALSE(tree.FindByNumber(11)->Info.SavedSelected);
  tree.SelectAll();
  EXPECT_EQ(SelectedNumbers(tree), "1,11,12,121,2,3");
  EXPECT_FALSE(tree.FindByNumber(11)->Info.SavedSelected);
}

TEST(TreeBulk, RemoveUnselectedAtTheTopOrEverywhere) {
  TSysTree tree;
  BuildSample(tree);
  tree.FindByNumber(121)->Info.Selected = false;
  tree.FindByNumber(2)->Info.Selected = false;
  tree.RemoveUnselected(false);
  EXPECT_EQ(Shape(tree), "1+(11+ 12+(121-)) 3+");
  tree.RemoveUnselected(true);
  EXPECT_EQ(Shape(tree), "1+(11+ 12+) 3+");
  EXPECT_EQ(tree.Index().size(), 4u);
}

TEST(TreeBulk, RemoveCompleteKeepsIncompleteAncestors) {
  TSysTree tree;
  BuildSample(tree);
  tree.FindByNumber(121)->Info.Complete = false;
  tree.FindByNumber(12)->Info.Complete = false;
  tree.FindByNumber(1)->Info.Complete = false;
  tree.RemoveComplete();
  EXPECT_EQ(Shape(tree), "1+(12+(121+))");
}

TEST(TreeBulk, FindInSubtreeSearchesDepthFirst) {
  TSysTree tree;
  BuildSample(tree);
  EXPECT_EQ(tree.FindInSubtree(121)->Info.Number, 121);
  EXPECT_EQ(tree.FindByNumber(1)->FindInSubtree(3), nullptr);
  EXPECT_EQ(tree.FindInSubtree(99), nullptr);
}

// The add/delete mode: the tree of what the user now wants against the tree of what is
// installed. After matching both ways and dropping what both hold, the one holds what to
// add, the other what to remove, unticked, under their ticked ancestors.
TEST(TreeBetween, AddDeleteModeFindsWhatToAddAndWhatToRemove) {
  TSysTree wanted;
  BuildFrom(wanted, {"1/11", "1/12", "3"});
  TSysTree installed;
  BuildFrom(installed, {"1/11", "2"});

  ASSERT_TRUE(wanted.MatchAgainst(&installed));
  ASSERT_TRUE(installed.MatchAgainst(&wanted));
  EXPECT_EQ(Shape(wanted), "1+(11+ 12-) 3-");
  EXPECT_EQ(Shape(installed), "1+(11+) 2-");
  wanted.RemoveComplete();
  installed.RemoveComplete();
  EXPECT_EQ(Shape(wanted), "1+(12-) 3-");
  EXPECT_EQ(Shape(installed), "2-");
  EXPECT_EQ(SelectedNumbers(wanted), "1");
}

TEST(TreeBetween, MatchAgainstNothingOrAnEmptyTree) {
  TSysTree tree;
  BuildSample(tree);
  EXPECT_FALSE(tree.MatchAgainst(nullptr));
  EXPECT_EQ(SelectedNumbers(tree), "1,11,12,121,2,3");
  TSysTree empty;
  EXPECT_TRUE(tree.MatchAgainst(&empty));
  EXPECT_EQ(SelectedNumbers(tree), "");
  for (const TSysNode* node : tree.Index()) EXPECT_FALSE(node->Info.Complete);
}

TEST(TreeBetween, MatchingLooksForCounterpartsUnderTheSameParent) {
  TSysTree mine;
  BuildFrom(mine, {"1/5"});
  TSysTree other;
  BuildFrom(other, {"1", "2/5"});
  mine.MatchAgainst(&other);
  EXPECT_EQ(Shape(mine), "1+(5-)");
}

TEST(TreeBetween, MergeIntoAddsMissingNodesAndCarriesUnticks) {
  // As a failed installation is rolled back into the removal tree.
  TSysTree done;
  BuildFrom(done, {"1/11", "1/12", "4"});
  done.FindByNumber(12)->Info.Selected = false;
  done.FindByNumber(4)->Info.Selected = false;
  done.FindByNumber(11)->Info.ShortName = "Eleven";
  TSysTree removal;
  BuildFrom(removal, {"1/12", "2"});
  done.MergeInto(&removal);
  EXPECT_EQ(Shape(removal), "1+(12- 11+) 2+ 4-");
  EXPECT_EQ(removal.FindByNumber(11)->Info.ShortName, "Eleven");
  EXPECT_EQ(removal.Index().size(), 5u);
  // The source is untouched.
  EXPECT_EQ(Shape(done), "1+(11+ 12-) 4-");
}

TEST(TreeBetween, CopyUnselectedTakesWholeSubtreesOfUndoneNodes) {
  TSysTree tree;
  BuildSample(tree);
  tree.FindByNumber(12)->Info.Selected = false;
  tree.FindByNumber(3)->Info.Selected = false;
  TSysTree notSet;
  tree.CopyUnselectedTo(&notSet);
  // Copies below the undone node come fresh (ticked), as any new node.
  EXPECT_EQ(Shape(notSet), "12-(121+) 3-");
  EXPECT_EQ(notSet.FindByNumber(121)->Info.ShortName, "S121");
}

TEST(TreeBetween, CopySelectedSkipsViewOnlyAndUntickedNodes) {
  TSysTree tree;
  BuildSample(tree);
  tree.FindByNumber(11)->Info.Selected = false;
  tree.FindByNumber(2)->Info.ViewOnly = true;
  TSysTree copy;
  copy.AddChild(Node(77));
  tree.CopySelectedTo(&copy);
  EXPECT_EQ(Shape(copy), "1+(12+(121+)) 3+");
  EXPECT_EQ(copy.Index().size(), 4u);
  TSysTree all;
  tree.CopyChildrenTo(&all);
  EXPECT_EQ(Shape(all), "1+(11+ 12+(121+)) 2+ 3+");
}

TEST(TreeBetween, CopyWithAncestorsRegistersEveryCopy) {
  TSysTree tree;
  BuildSample(tree);
  tree.FindByNumber(1)->Info.Selected = false;
  TSysTree scratch;
  TSysNode* copy = TSysTree::CopyWithAncestors(tree.FindByNumber(12), &scratch);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(Shape(scratch), "1+(12+(121+))");
  EXPECT_EQ(scratch.FindByNumber(121)->ParentNode, copy);
  EXPECT_EQ(scratch.Index().size(), 3u);
  // Two subsystems of one parent give two copies of that parent.
  TSysTree::CopyWithAncestors(tree.FindByNumber(11), &scratch);
  EXPECT_EQ(Shape(scratch), "1+(12+(121+)) 1+(11+)");
  scratch.DeleteChild(0);
  EXPECT_EQ(scratch.FindByNumber(1)->Children(0)->Info.Number, 11);
}

TEST(TreeLists, NamesAndLinksOfUndoneSubsystemsInPreOrder) {
  TSysTree tree;
  BuildSample(tree);
  tree.DeselectAll();
  tree.FindByNumber(11)->Info.Selected = true;
  tree.FindByNumber(1)->Info.Links = "a.exe|||A|?menu*d.exe|||D|?desktop";
  tree.FindByNumber(121)->Info.Links = "b.exe?menu*odd";
  tree.FindByNumber(11)->Info.Links = "skipped.exe?menu";
  std::vector<std::string> names;
  tree.CollectUnselectedNames(names);
  EXPECT_EQ(names, (std::vector<std::string>{"S1", "S12", "S121", "S2", "S3"}));
  std::vector<std::string> menu, desktop;
  tree.CollectLinks(menu, false);
  tree.CollectLinks(desktop, true);
  EXPECT_EQ(menu, (std::vector<std::string>{"a.exe|||A|", "b.exe"}));
  // Anything not ending in "?menu" counts as a desktop entry.
  EXPECT_EQ(desktop, (std::vector<std::string>{"d.exe|||D|", ""}));
  names.clear();
  tree.FindByNumber(12)->CollectUnselectedNames(names);
  EXPECT_EQ(names, (std::vector<std::string>{"S12", "S121"}));
}

TEST(TreeLists, CheckAndRequiredFilesAreTrimmedNonEmptyItems) {
  TSysTree tree;
  BuildSample(tree);
  tree.DeselectAll();
  tree.FindByNumber(1)->Info.CheckFiles = " a.dll ,, b.dll";
  tree.FindByNumber(2)->Info.CheckFiles = "c.dll";
  tree.FindByNumber(3)->Info.ReqFiles = "r.dll, ";
  tree.FindByNumber(2)->Info.Selected = true;
  std::vector<std::string> check, req;
  tree.CollectCheckFiles(check);
  tree.CollectReqFiles(req);
  EXPECT_EQ(check, (std::vector<std::string>{"a.dll", "b.dll"}));
  EXPECT_EQ(req, (std::vector<std::string>{"r.dll"}));
}

TEST(TreeLists, CollectDependentsGivesEachNumberOnce) {
  TSysTree tree;
  BuildSample(tree);
  tree.FindByNumber(1)->Info.DependedOnBy = "3,2";
  tree.FindByNumber(11)->Info.DependedOnBy = "2,121";
  tree.FindByNumber(2)->Info.DependedOnBy = "3";
  std::string list;
  tree.CollectDependents(list);
  EXPECT_EQ(list, "3,2,121");
  // The engine walks the list and extends it as it goes.
  tree.FindByNumber(121)->Info.DependedOnBy = "12,3";
  for (int i = 1; GetListItem(list, i) != -1; ++i) {
    tree.FindByNumber(GetListItem(list, i))->CollectDependents(list);
  }
  EXPECT_EQ(list, "3,2,121,12");
}

TEST(TreeLists, GetListItemCountsFromOne) {
  EXPECT_EQ(GetListItem("3,4", 1), 3);
  EXPECT_EQ(GetListItem("3,4", 2), 4);
  EXPECT_EQ(GetListItem("3,4", 3), -1);
  EXPECT_EQ(GetListItem("3,4", 0), -1);
  EXPECT_EQ(GetListItem("", 1), -1);
  EXPECT_EQ(GetListItem("3,x,5", 2), -1);
  EXPECT_EQ(GetListItem("3,x,5", 3), 5);
  EXPECT_EQ(GetListItem("3 ,4", 1), -1);  // not trimmed
}

TEST(TreeRegistry, InstalledMarksAreAddedAndRemoved) {
  TSysTree tree;
  BuildSample(tree);
  tree.FindByNumber(2)->Info.Selected = false;
  TMemoryRegistryKey key;
  key.WriteString("s1", "Old");
  EXPECT_TRUE(tree.UpdateInstalledValues(key, 1));
  // An existing value (names compare without case) is left as it is.
  EXPECT_EQ(key.Values, (std::vector<std::pair<std::string, std::string>>{
                            {"s1", "Old"},
                            {"S11", "Installed"},
                            {"S12", "Installed"},
                            {"S121", "Installed"},
                            {"S3", "Installed"}}));
  tree.SaveSelection();
  tree.FindByNumber(12)->Info.SavedSelected = false;
  key.WriteString("S2", "Installed");
  EXPECT_TRUE(tree.UpdateInstalledValues(key, 2));
  EXPECT_EQ(key.GetValueNames(), (std::vector<std::string>{"s1", "S11", "S121", "S3"}));
}

}  // namespace
