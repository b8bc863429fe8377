// The selection rules, on a description as the wizard's subsystem page starts from it.
#include <gtest/gtest.h>

#include "common/errors.h"
#include "description/InstIDF.h"
#include "description/InstList.h"
#include "description/tree_testutil.h"

using treetest::SelectedNumbers;

namespace {

// 11 and 12 are children of 1, listed before and after it; 11 is shown under 1, 12 at the
// top. 2 depends on 1 and 3 on 2.
// 5 is a view-only group without a library holding 6 and 7 in the view; 9 has a library
// and holds 10 in the view. 8 is hidden.
const char kProduct[] =
    "[SubSystems]\nChildA=11\nBase=1\nChildB=12\nCore=2\nTools=3\nExtra=4\nGroup=5\n"
    "Viewer=6\nEditor=7\nHidden=8\nLibGroup=9\nPlugin=10\n"
    "[ChildA]\nParent=1\nShort name=ChildA\nViewParent=1\n"
    "[Base]\nShort name=Base\n"
    "[ChildB]\nParent=1\nShort name=ChildB\n"
    "[Core]\nShort name=Core\nDepend=1\n"
    "[Tools]\nShort name=Tools\nDepend=2\n"
    "[Extra]\nShort name=Extra\n"
    "[Group]\nShort name=Group\nViewOnly=TRUE\n"
    "[Viewer]\nShort name=Viewer\nViewParent=5\n"
    "[Editor]\nShort name=Editor\nViewParent=5\n"
    "[Hidden]\nShort name=Hidden\nViewParent=-1\n"
    "[LibGroup]\nShort name=LibGroup\nLibrary=libgroup.dll\n"
    "[Plugin]\nShort name=Plugin\nViewParent=9\n";

class Selection : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = treetest::Describe(kProduct);
    ASSERT_TRUE(tree.LoadFromIDF(file_.get()));
    ASSERT_TRUE(tree.FillTreeView(view));
  }
  TSysNode& N(int number) {
    TSysNode* node = tree.FindByNumber(number);
    EXPECT_NE(node, nullptr) << number;
    return *node;
  }
  bool Sel(int number) { return N(number).Info.Selected; }
  bool Comp(int number) { return N(number).Info.Complete; }
  void DeselectEverything() {
    for (TSysNode* node : tree.Index()) node->Deselect();
  }

  TSysTree tree;
  TMemoryTreeView view;

 private:
  std::unique_ptr<TIDFTextFile> file_;
};

TEST_F(Selection, TheFilledViewStartsWithEverythingTicked) {
  EXPECT_EQ(SelectedNumbers(tree), "1,11,12,2,3,4,5,6,7,8,9,10");
  for (const TSysNode* node : tree.Index()) EXPECT_TRUE(node->Info.Complete) << node->Info.Number;
  // Shown by ViewParent: the hidden 8 nowhere, 11 under 1, 6 and 7 under 5, 10 under 9.
  ASSERT_EQ(view.Count(), 11);
  std::string top;
  for (const auto* item : view.TopItems) top += item->Text + ";";
  EXPECT_EQ(top, "Base;ChildB;Core;Tools;Extra;Group;LibGroup;");
  EXPECT_EQ(view.TopItems[0]->Children.size(), 1u);
  EXPECT_EQ(view.TopItems[5]->Children[1]->Text, "Editor");
  EXPECT_EQ(view.TopItems[6]->Children[0]->Node, &N(10));
  EXPECT_EQ(view.UpdateDepth, 0);
}

TEST_F(Selection, UntickingUnticksDependentsTwoLevelsDeepAndChildren) {
  N(1).Deselect();
  EXPECT_EQ(SelectedNumbers(tree), "4,5,6,7,8,9,10");
}

TEST_F(Selection, TickingTicksDependenciesTwoLevelsDeep) {
  DeselectEverything();
  EXPECT_EQ(SelectedNumbers(tree), "");
  N(3).Select();
  // 1 is ticked as if by the user: with its view child 11, not with its child 12.
  EXPECT_EQ(SelectedNumbers(tree), "1,11,2,3");
  EXPECT_FALSE(Comp(1));
  EXPECT_TRUE(Comp(2));
  EXPECT_TRUE(Comp(3));
}

TEST_F(Selection, TickingAChildTicksItsParentButNotTheSiblings) {
  DeselectEverything();
  N(12).Select();
  EXPECT_TRUE(Sel(1));
  EXPECT_FALSE(Sel(11));
  EXPECT_FALSE(Comp(1));
  N(11).Select();
  EXPECT_TRUE(Comp(1));
}

TEST_F(Selection, UntickingAChildClearsTheParentsComplete) {
  N(12).Deselect();
  EXPECT_TRUE(Sel(1));
  EXPECT_FALSE(Comp(1));
  EXPECT_TRUE(Sel(2));  // 2 depends on 1, not on 11
}

TEST_F(Selection, UntickingTheOnlyViewChildUnticksAParentWithoutLibrary) {
  N(11).Deselect();
  EXPECT_FALSE(Sel(1));
  EXPECT_FALSE(Sel(12));
  EXPECT_FALSE(Sel(2));
}

TEST_F(Selection, AViewParentWithoutALibraryGoesWithItsLastViewChild) {
  N(6).Deselect();
  EXPECT_TRUE(Sel(5));
  EXPECT_FALSE(Comp(5));
  N(7).Deselect();
  EXPECT_FALSE(Sel(5));
  EXPECT_FALSE(Comp(5));
}

TEST_F(Selection, AViewParentWithALibraryStaysTicked) {
  N(10).Deselect();
  EXPECT_TRUE(Sel(9));
  EXPECT_FALSE(Comp(9));
  N(10).Select();
  EXPECT_TRUE(Comp(9));
}

TEST_F(Selection, TickingAViewChildTicksTheViewParentOnly) {
  N(6).Deselect();
  N(7).Deselect();
  ASSERT_FALSE(Sel(5));
  N(6).Select();
  EXPECT_TRUE(Sel(5));
  EXPECT_FALSE(Sel(7));
  EXPECT_FALSE(Comp(5));
  N(7).Select();
  EXPECT_TRUE(Comp(5));
}

TEST_F(Selection, TickingAViewParentTicksItsViewChildren) {
  N(5).Deselect();
  EXPECT_FALSE(Sel(6));
  EXPECT_FALSE(Sel(7));
  N(5).Select();
  EXPECT_TRUE(Sel(6));
  EXPECT_TRUE(Sel(7));
  EXPECT_TRUE(Comp(5));
}

TEST_F(Selection, TheHiddenSubsystemIsTickedAndUnaffected) {
  EXPECT_TRUE(Sel(8));
  DeselectEverything();
  N(4).Select();
  EXPECT_FALSE(Sel(8));
}

TEST_F(Selection, TickingATickedNodeChangesNothing) {
  N(12).Deselect();
  N(1).Select();  // already ticked: its child stays unticked
  EXPECT_FALSE(Sel(12));
}

TEST_F(Selection, AnUnreadableDependListRaises) {
  N(4).Info.Depend = "1,x";
  N(4).Deselect();
  EXPECT_THROW(N(4).Select(), EConvertError);
}

TEST_F(Selection, DeselectNotListedKeepsListedAndViewOnlyNodes) {
  // Short names compare without regard to case, Cyrillic included.
  N(4).Info.ShortName = "Дополнения";
  tree.DeselectNotListed({"base", "CHILDA", "childb", "дополнения", "Viewer", "Editor",
                          "Hidden", "LibGroup", "Plugin"});
  EXPECT_EQ(SelectedNumbers(tree), "1,11,12,4,5,6,7,8,9,10");
}

TEST(SelectionLoops, ViewParentsInACircleEndInOrder) {
  TSysTree tree;
  TSysNode* a = tree.AddChild(treetest::Node(1));
  TSysNode* b = tree.AddChild(treetest::Node(2));
  TSysNode* self = tree.AddChild(treetest::Node(3));
  a->Info.ViewParent = 2;
  b->Info.ViewParent = 1;
  self->Info.ViewParent = 3;
  tree.DeselectAll();
  a->Select();
  EXPECT_TRUE(a->Info.Selected);
  EXPECT_TRUE(b->Info.Selected);
  self->Select();
  EXPECT_TRUE(self->Info.Selected);
  a->Deselect();
  self->Deselect();
  EXPECT_FALSE(b->Info.Selected);
  EXPECT_FALSE(self->Info.Selected);

  TMemoryTreeView view;
  EXPECT_TRUE(tree.FillTreeView(view));
  EXPECT_EQ(view.Count(), 0);  // nothing of a circle hangs from the top
}

TEST(SelectionLoops, ANodeNumberedZeroDoesNotMakeTheViewEndless) {
  TSysTree tree;
  TSysNode* zero = tree.AddChild(treetest::Node(0));
  TSysNode* other = tree.AddChild(treetest::Node(4));
  zero->Info.Selected = other->Info.Selected = false;
  TMemoryTreeView view;
  ASSERT_TRUE(tree.FillTreeView(view));
  EXPECT_EQ(view.Count(), 2);
  EXPECT_TRUE(zero->Info.Selected);
  EXPECT_TRUE(other->Info.Selected);
}

TEST(SelectionLoops, AnEmptyTreeFillsNothing) {
  TSysTree tree;
  TMemoryTreeView view;
  EXPECT_TRUE(tree.FillTreeView(view));
  EXPECT_EQ(view.Count(), 0);
  EXPECT_EQ(view.BeginCount, 0);
}

}  // namespace
