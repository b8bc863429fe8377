// Building the subsystem tree from a description and writing it back.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "common/errors.h"
#include "common/testsupport.h"
#include "description/InstIDF.h"
#include "description/InstList.h"
#include "description/tree_testutil.h"

using treetest::ChildNumbers;
using treetest::Describe;

namespace {

TEST(TreeLoad, WithoutSubSystemsIsAnEmptyTree) {
  auto file = Describe("[Params]\nName=x");
  TSysTree tree;
  EXPECT_TRUE(tree.LoadFromIDF(file.get()));
  EXPECT_EQ(tree.ChildCount(), 0);
  EXPECT_TRUE(tree.Index().empty());
  EXPECT_FALSE(tree.LoadFromIDF(nullptr));
}

TEST(TreeLoad, DuplicateNumbersFarApartLeaveTheTreeEmpty) {
  auto file = Describe(
      "[SubSystems]\nA=1\nB=2\nC=3\nD=1\n"
      "[A]\n[B]\n[C]\n[D]");
  TSysTree tree;
  ScriptedMessages boxes;
  boxes.Expect(mb::kIdOk);
  EXPECT_FALSE(tree.LoadFromIDF(file.get()));
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_EQ(boxes.Shown()[0].text, "Найдены системы с одинаковыми номерами");
  EXPECT_EQ(boxes.Shown()[0].flags, kErrorBox | mb::kOk);
  EXPECT_EQ(tree.ChildCount(), 0);
}

TEST(TreeLoad, ANumberThatIsNotOneReachesTheCaller) {
  auto file = Describe("[SubSystems]\nA=one\n[A]");
  TSysTree tree;
  EXPECT_THROW(tree.LoadFromIDF(file.get()), EConvertError);
}

TEST(TreeLoad, ChildrenHangUnderTheirParentWhereverItStands) {
  // 11 comes before its parent, 12 after it; 0 is never a top-level subsystem; a missing
  // section is ignored.
  auto file = Describe(
      "[SubSystems]\nChildA=11\nZero=0\nBase=1\nNoSection=5\nChildB=12\nOther=2\nGrand=13\n"
      "[ChildA]\nParent=1\n[Zero]\n[Base]\n[ChildB]\nParent=1\n[Other]\n"
      "[Grand]\nParent=11");
  TSysTree tree;
  ASSERT_TRUE(tree.LoadFromIDF(file.get()));
  EXPECT_EQ(ChildNumbers(tree), "1,2");
  const TSysNode* base = tree.Children(0);
  EXPECT_EQ(ChildNumbers(*base), "11,12");
  EXPECT_EQ(ChildNumbers(*base->Children(0)), "13");
  ASSERT_EQ(tree.Index().size(), 5u);
  EXPECT_EQ(tree.FindByNumber(13)->Info.Parent, 11);
  EXPECT_EQ(tree.FindByNumber(0), nullptr);
  // Freshly read subsystems are neither selected nor complete.
  EXPECT_FALSE(base->Info.Selected);
  EXPECT_FALSE(base->Info.Complete);
}

TEST(TreeLoad, UnknownParentsAreNotLoaded) {
  auto file = Describe(
      "[SubSystems]\nA=1\nOrphan=2\nBelowOrphan=3\n"
      "[A]\n[Orphan]\nParent=7\n[BelowOrphan]\nParent=2");
  TSysTree tree;
  treetest::CapturedLog log;
  ASSERT_TRUE(tree.LoadFromIDF(file.get()));
  EXPECT_EQ(ChildNumbers(tree), "1");
  EXPECT_EQ(tree.Index().size(), 1u);
  EXPECT_TRUE(log.Contains("Orphan (2) is not loaded"));
}

TEST(TreeLoad, ParentLoopsAreRejectedAndLogged) {
  auto file = Describe(
      "[SubSystems]\nSelf=3\nA=1\nB=2\nC=4\nBelowLoop=5\n"
      "[Self]\nParent=3\n[A]\nParent=2\n[B]\nParent=1\n[C]\n[BelowLoop]\nParent=1");
  TSysTree tree;
  treetest::CapturedLog log;
  ASSERT_TRUE(tree.LoadFromIDF(file.get()));
  EXPECT_EQ(ChildNumbers(tree), "4");
  EXPECT_EQ(tree.Index().size(), 1u);
  EXPECT_TRUE(log.Contains("Self (3) is not loaded: its \"Parent\" chain comes back to itself"));
  EXPECT_TRUE(log.Contains(" A (1) is not loaded: its \"Parent\" chain"));
  EXPECT_TRUE(log.Contains(" B (2) is not loaded: its \"Parent\" chain"));
}

TEST(TreeLoad, BuildChildrenNeverDescendsIntoItsOwnAncestors) {
  // Built by hand on a node whose number a looping section names as its parent.
  auto file = Describe("[SubSystems]\nA=1\nB=2\n[A]\nParent=2\n[B]\nParent=1");
  TSysTree tree;
  TSysNode* a = tree.AddChild(treetest::Node(1));
  EXPECT_FALSE(a->BuildChildren(*file->FindSection("SubSystems"), *file));
  EXPECT_EQ(tree.Index().size(), 1u);
}

TEST(TreeLoad, EntriesLeadingToOneSectionDoNotMultiplyTheTree) {
  // Names that differ only in case find the same section; each entry is built once.
  auto file = Describe(
      "[SubSystems]\nRoot=1\nKid=2\nKID=3\nkid=4\nLeaf=5\nLEAF=6\n"
      "[Root]\n[Kid]\nParent=1\n[Leaf]\nParent=2");
  TSysTree tree;
  ASSERT_TRUE(tree.LoadFromIDF(file.get()));
  EXPECT_LE(tree.Index().size(), 6u);
}

TEST(TreeLoad, AVeryLongDescriptionLoadsItsFirstThousandSubsystems) {
  // A chain of view parents and dependencies through all of them: unticking the first
  // unticks everything, and stays within the stack.
  std::string body = "[SubSystems]\n";
  std::string sections;
  for (int i = 1; i <= 5000; ++i) {
    body += "S" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    sections += "[S" + std::to_string(i) + "]\n";
    if (i > 1) sections += "ViewParent=" + std::to_string(i - 1) + "\nDepend=" + std::to_string(i - 1) + "\n";
  }
  auto file = Describe(body + sections);
  TSysTree tree;
  treetest::CapturedLog log;
  ASSERT_TRUE(tree.LoadFromIDF(file.get()));
  EXPECT_EQ(tree.Index().size(), 1000u);
  EXPECT_TRUE(log.Contains(" only the first 1000 of 5000 subsystems are loaded"));
  TMemoryTreeView view;
  ASSERT_TRUE(tree.FillTreeView(view));
  EXPECT_EQ(view.Count(), 1000);
  tree.FindByNumber(1)->Deselect();
  EXPECT_EQ(treetest::SelectedNumbers(tree), "");
  tree.FindByNumber(1000)->Select();
  EXPECT_EQ(tree.FindByNumber(1)->Info.Selected, true);
}

TEST(TreeLoad, DuplicatesBeyondTheLoadedOnesStillCount) {
  std::string body = "[SubSystems]\n";
  for (int i = 1; i <= 1001; ++i) body += "S" + std::to_string(i) + "=" + std::to_string(i) + "\n";
  body += "Again=1\n";
  auto file = Describe(body);
  TSysTree tree;
  ScriptedMessages boxes;
  boxes.Expect(mb::kIdOk);
  EXPECT_FALSE(tree.LoadFromIDF(file.get()));
}

TEST(TreeLoad, AFaultySubsystemLeavesTheOthersLoaded) {
  auto file = Describe(
      "[SubSystems]\nA=1\nBad=2\nC=3\nKidOfBad=4\nGoodKid=5\n"
      "[A]\n[Bad]\nViewParent=x\n[C]\n[KidOfBad]\nParent=2\n[GoodKid]\nParent=1\nViewParent=oops\n"
      "[Fine]");
  TSysTree tree;
  treetest::CapturedLog log;
  ASSERT_TRUE(tree.LoadFromIDF(file.get()));
  EXPECT_EQ(ChildNumbers(tree), "1,3");
  EXPECT_EQ(tree.Children(0)->ChildCount(), 0);
  EXPECT_TRUE(log.Contains("GoodKid is not loaded"));
}

TEST(TreeLoad, KeysAreReadAsTheDescriptionGivesThem) {
  auto file = Describe(
      "[SubSystems]\nMain=1\n"
      "[Main]\nshort name=Main part\nFULL NAME=The main part\nLibrary=main.dll\n"
      "Parameter=-x\nArchive= a.zip , b.zip\nDepend=2, 3, 4\nViewParent=-1\nViewOnly= true \n"
      "MenuLink1=m1.exe|||M1|\nDesktopLink=d.exe|||D|\nmenulink_2=m2.exe\n MENULINKX=m3\n"
      "CheckFile1=c1.dll\nReqFile1=r1.dll\nReqFile2=r2.dll,r3.dll\nMenuLink1=ignored");
  TSysTree tree;
  ASSERT_TRUE(tree.LoadFromIDF(file.get()));
  const TSubsystemInfo& info = tree.Children(0)->Info;
  EXPECT_EQ(info.SectionName, "Main");
  EXPECT_EQ(info.ShortName, "Main part");
  EXPECT_EQ(info.FullName, "The main part");
  EXPECT_EQ(info.Library, "main.dll");
  EXPECT_EQ(info.Parameter, "-x");
  EXPECT_EQ(info.Archive, " a.zip , b.zip");
  EXPECT_EQ(info.Depend, "2, 3, 4");
  EXPECT_EQ(info.ViewParent, -1);
  EXPECT_TRUE(info.ViewOnly);
  // A repeated key name reads the first value each time; " MENULINKX" is cut to " MENULIN"
  // before trimming, so it is no link.
  EXPECT_EQ(info.Links,
            "m1.exe|||M1|?menu*d.exe|||D|?desktop*m2.exe?menu*m1.exe|||M1|?menu");
  EXPECT_EQ(info.CheckFiles, "c1.dll");
  EXPECT_EQ(info.ReqFiles, "r1.dll,r2.dll,r3.dll");
}

TEST(TreeLoad, DependedOnByListsTheDependentsInSubSystemsOrder) {
  auto file = Describe(
      "[SubSystems]\nD=4\nBase=1\nB=2\nC=3\n"
      "[D]\nDepend=3,1\n[Base]\n[B]\nDepend=1\n[C]\nDepend= 2 , 1 ");
  TSysTree tree;
  ASSERT_TRUE(tree.LoadFromIDF(file.get()));
  EXPECT_EQ(tree.FindByNumber(1)->Info.DependedOnBy, "4,2,3");
  EXPECT_EQ(tree.FindByNumber(2)->Info.DependedOnBy, "3");
  EXPECT_EQ(tree.FindByNumber(3)->Info.DependedOnBy, "4");
  EXPECT_EQ(tree.FindByNumber(4)->Info.DependedOnBy, "");
}

TEST(TreeLoad, AnInvalidDependIsReportedAndDoesNotCount) {
  // Reported each time a subsystem's dependents are looked for past the bad item.
  auto file = Describe(
      "[SubSystems]\nA=1\nB=2\nBroken=3\n"
      "[A]\n[B]\n[Broken]\nDepend=2,x,1");
  TSysTree tree;
  ScriptedMessages boxes;
  boxes.Expect(mb::kIdOk);
  ASSERT_TRUE(tree.LoadFromIDF(file.get()));
  ASSERT_EQ(boxes.Shown().size(), 1u);  // for 1; 2 stands before the bad item
  EXPECT_EQ(boxes.Shown()[0].text, "Invalid 'depend' string in setup.idf. Section - Broken");
  EXPECT_EQ(tree.FindByNumber(1)->Info.DependedOnBy, "");
  EXPECT_EQ(tree.FindByNumber(2)->Info.DependedOnBy, "3");
  EXPECT_EQ(tree.Index().size(), 3u);
}

TEST(TreeLoad, AnInvalidDependIsShownOncePerSectionWhateverTheNumberOfSubsystems) {
  // Fifty subsystems and two broken lists: one box for each broken section, not one for
  // every other subsystem; the log names both sections.
  std::string body = "[SubSystems]\n";
  std::string sections;
  for (int i = 1; i <= 50; ++i) {
    body += "S" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    sections += "[S" + std::to_string(i) + "]\n";
  }
  body += "BrokenA=51\nBrokenB=52\n";
  sections += "[BrokenA]\nDepend=x\n[BrokenB]\nDepend=1,,2\n";
  auto file = Describe(body + sections);
  TSysTree tree;
  treetest::CapturedLog log;
  ScriptedMessages boxes;
  boxes.Expect(mb::kIdOk);
  boxes.Expect(mb::kIdOk);
  ASSERT_TRUE(tree.LoadFromIDF(file.get()));
  ASSERT_EQ(boxes.Shown().size(), 2u);
  EXPECT_EQ(boxes.Shown()[0].text, "Invalid 'depend' string in setup.idf. Section - BrokenA");
  EXPECT_EQ(boxes.Shown()[1].text, "Invalid 'depend' string in setup.idf. Section - BrokenB");
  EXPECT_TRUE(log.Contains(" Invalid 'depend' string in setup.idf. Section - BrokenA"));
  EXPECT_TRUE(log.Contains(" Invalid 'depend' string in setup.idf. Section - BrokenB"));
  EXPECT_EQ(tree.Index().size(), 52u);
  EXPECT_EQ(tree.FindByNumber(1)->Info.DependedOnBy, "52");  // named before the bad item
}

TEST(TreeLoad, AChildTakesTheNumberOfItsEntryWhateverTheLetterCase) {
  // "kid" finds the section [Kid]; the child still is subsystem 2, so lookups find it and
  // it does not gather the top of the view below itself.
  auto file = Describe(
      "[SubSystems]\nRoot=1\nkid=2\nOther=3\n"
      "[Root]\nShort name=R\n[Kid]\nParent=1\nShort name=K\n[Other]\nShort name=O");
  TSysTree tree;
  ASSERT_TRUE(tree.LoadFromIDF(file.get()));
  ASSERT_EQ(ChildNumbers(tree), "1,3");
  EXPECT_EQ(ChildNumbers(*tree.Children(0)), "2");
  ASSERT_NE(tree.FindByNumber(2), nullptr);
  EXPECT_EQ(tree.FindByNumber(2)->Info.ShortName, "K");
  EXPECT_EQ(tree.FindByNumber(0), nullptr);
  TMemoryTreeView view;
  ASSERT_TRUE(tree.FillTreeView(view));
  ASSERT_EQ(view.TopItems.size(), 3u);
  for (const auto* item : view.TopItems) EXPECT_TRUE(item->Children.empty()) << item->Text;
}

TEST(TreeLoad, NegativeNumbersAreRefusedAndLogged) {
  // -1 would end every walk through a list of numbers that names it.
  auto file = Describe(
      "[SubSystems]\nA=1\nNeg=-1\nB=2\nBelowNeg=3\nFar=-7\n"
      "[A]\n[Neg]\nDepend=1\n[B]\nDepend=1\n[BelowNeg]\nParent=-1\n[Far]\nDepend=1");
  TSysTree tree;
  treetest::CapturedLog log;
  ASSERT_TRUE(tree.LoadFromIDF(file.get()));
  EXPECT_EQ(ChildNumbers(tree), "1,2");
  EXPECT_EQ(tree.Index().size(), 2u);
  EXPECT_EQ(tree.FindByNumber(-1), nullptr);
  const std::string& dependents = tree.FindByNumber(1)->Info.DependedOnBy;
  EXPECT_EQ(dependents, "2");
  EXPECT_EQ(GetListItem(dependents, 1), 2);
  EXPECT_TRUE(log.Contains(" subsystem Neg is not loaded: its number -1 is negative"));
  EXPECT_TRUE(log.Contains(" subsystem Far is not loaded: its number -7 is negative"));
}

TEST(TreeLoad, RepeatedKeysReadTheFirstValueWhateverTheLetterCase) {
  struct Case {
    const char* keys;
    const char* links;
    const char* checkFiles;
  } const cases[] = {
      {"MenuLink1=a\nmenulink1=b\nMENULINK1=c", "a?menu*a?menu*a?menu", ""},
      {"DesktopLink=d\nMenuLink=m\ndesktoplink=x", "d?desktop*m?menu*d?desktop", ""},
      {"CheckFile=x\ncheckFILE=y\nCheckFile2=z", "", "x,x,z"},
      {"MenuLinkA=1\nMenuLinkB=2", "1?menu*2?menu", ""},
  };
  for (const Case& c : cases) {
    auto file = Describe(std::string("[SubSystems]\nA=1\n[A]\n") + c.keys);
    TSysTree tree;
    ASSERT_TRUE(tree.LoadFromIDF(file.get()));
    EXPECT_EQ(tree.Children(0)->Info.Links, c.links) << c.keys;
    EXPECT_EQ(tree.Children(0)->Info.CheckFiles, c.checkFiles) << c.keys;
  }
}

TEST(TreeLoad, ASectionWithAHundredThousandKeysIsReadWhole) {
  // Each key is looked up among the section's keys; the lookup must not search the whole
  // section again for every key (that takes minutes at this size).
  std::string body = "[SubSystems]\nA=1\n[A]\nShort name=A\n";
  for (int i = 0; i < 100000; ++i) {
    body += "MenuLink" + std::to_string(i) + "=t" + std::to_string(i) + "\n";
  }
  body += "menulink0=again\n";
  auto file = Describe(body);
  TSysTree tree;
  ASSERT_TRUE(tree.LoadFromIDF(file.get()));
  const std::string& links = tree.Children(0)->Info.Links;
  EXPECT_EQ(std::count(links.begin(), links.end(), '*'), 100000);
  EXPECT_EQ(links.substr(0, 14), "t0?menu*t1?men");
  EXPECT_EQ(links.substr(links.size() - 19), "t99999?menu*t0?menu");
}

TEST(TreeSave, WritesKeysInOrderAndNumbersLinksAcrossBothKinds) {
  auto file = Describe(
      "[SubSystems]\nMain=1\nSub=2\n"
      "[Main]\nShort name=M\nDesktopLink=d.exe\nMenuLink=m.exe\nMenuLink9=n.exe\n"
      "CheckFile=c.dll\nReqFile=r.dll\n"
      "[Sub]\nParent=1\nDepend=1\nViewParent=1\nViewOnly=TRUE");
  TSysTree tree;
  ASSERT_TRUE(tree.LoadFromIDF(file.get()));
  TIDFTextFile out;
  out.AddSection("SubSystems");  // a new one is appended all the same
  ASSERT_TRUE(tree.SaveToIDF(&out));
  ASSERT_EQ(out.SectionCount(), 4);
  const TIDFSection& subsystems = *out.Sections(1);
  EXPECT_EQ(subsystems.Name, "SubSystems");
  ASSERT_EQ(subsystems.ParamCount(), 2);
  EXPECT_EQ(subsystems.Params(0)->Name, "Main");
  EXPECT_EQ(subsystems.Params(0)->AsString(), "1");
  EXPECT_EQ(subsystems.Params(1)->Name, "Sub");

  const TIDFSection& main = *out.Sections(2);
  std::string keys;
  for (int i = 0; i < main.ParamCount(); ++i) keys += main.Params(i)->Name + "=" + main.Params(i)->AsString() + ";";
  EXPECT_EQ(keys,
            "Parent=0;Depend=;Library=;Parameter=;Archive=;Short Name=M;Full Name=;"
            "CheckFile=c.dll;ReqFile=r.dll;DesktopLink1=d.exe;MenuLink2=m.exe;MenuLink3=n.exe;");
  EXPECT_EQ(out.Sections(3)->Name, "Sub");
  EXPECT_EQ(out.Sections(3)->FindParam("ViewParent"), nullptr);

  // Read back, everything but the view arrangement is kept.
  TIDFTextFile written;
  ASSERT_TRUE(tree.SaveToIDF(&written));
  TSysTree again;
  ASSERT_TRUE(again.LoadFromIDF(&written));
  EXPECT_EQ(ChildNumbers(again), "1");
  const TSubsystemInfo& info = again.Children(0)->Info;
  EXPECT_EQ(info.Links, "d.exe?desktop*m.exe?menu*n.exe?menu");
  EXPECT_EQ(info.CheckFiles, "c.dll");
  EXPECT_EQ(info.DependedOnBy, "2");
  EXPECT_EQ(again.FindByNumber(2)->Info.ViewParent, 0);
  EXPECT_FALSE(again.FindByNumber(2)->Info.ViewOnly);
}

TEST(TreeSave, PruneDependencyListsKeepsOnlyNumbersOfTheTree) {
  TSysTree tree;
  TSysNode* a = tree.AddChild(treetest::Node(1));
  a->Info.Depend = " 2 , 9,3";
  a->Info.DependedOnBy = "7";
  a->AddChild(treetest::Node(2))->Info.Depend = "1";
  tree.AddChild(treetest::Node(3));
  tree.PruneDependencyLists();
  EXPECT_EQ(a->Info.Depend, "2,3");
  EXPECT_EQ(a->Info.DependedOnBy, "");
  EXPECT_EQ(tree.FindByNumber(2)->Info.Depend, "1");
  a->Info.Depend = "1,x";
  EXPECT_THROW(tree.PruneDependencyLists(), EConvertError);
}

TEST(TreeNodes, DeletingANodeUnregistersItsWholeSubtree) {
  TSysTree tree;
  TSysNode* a = tree.AddChild(treetest::Node(1));
  a->AddChild(treetest::Node(2))->AddChild(treetest::Node(3));
  tree.AddChild(treetest::Node(4));
  ASSERT_EQ(tree.Index().size(), 4u);
  EXPECT_EQ(tree.FindByNumber(3)->Info.ShortName, "S3");
  tree.DeleteChild(0);
  EXPECT_EQ(tree.Index().size(), 1u);
  EXPECT_EQ(tree.FindByNumber(3), nullptr);
  tree.DeleteChild(5);  // outside the list: nothing
  EXPECT_THROW(tree.Children(1), EListError);
}

TEST(TreeNodes, NodesOfTheSameNumberAreUnregisteredOneByOne) {
  TSysTree tree;
  TSysNode* first = tree.AddChild(treetest::Node(1));
  TSysNode* second = tree.AddChild(treetest::Node(1));
  second->Info.ShortName = "second";
  tree.DeleteChild(0);
  (void)first;
  ASSERT_EQ(tree.Index().size(), 1u);
  EXPECT_EQ(tree.FindByNumber(1)->Info.ShortName, "second");
}

TEST(TreeNodes, LookupsClimbFromANodeToTheTree) {
  TSysTree tree;
  TSysNode* a = tree.AddChild(treetest::Node(1));
  TSysNode* b = a->AddChild(treetest::Node(2));
  tree.AddChild(treetest::Node(3))->Info.ViewParent = 1;
  b->Info.ViewParent = 1;
  EXPECT_EQ(b->FindByNumber(2), b);
  EXPECT_EQ(b->FindByNumber(3)->Info.Number, 3);
  EXPECT_EQ(b->GetViewChildren(1), "2,3");
  EXPECT_EQ(tree.GetViewChildren(7), "");
  auto detached = treetest::Node(5);
  EXPECT_EQ(detached->FindByNumber(1), nullptr);
}

}  // namespace
