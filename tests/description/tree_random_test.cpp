// Generated descriptions (fixed seeds): loading and any sequence of ticks end, and the
// ticks keep the tree consistent.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "description/InstIDF.h"
#include "description/InstList.h"
#include "description/tree_testutil.h"

namespace {

// Subsystems 1..count; each names an earlier one as parent now and then, depends on up to
// two others, and is shown at the top, hidden, or under another one (loops allowed).
std::string RandomDescription(std::mt19937& random, int count) {
  const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  std::string subsystems = "[SubSystems]\n";
  std::string sections;
  for (int i = 1; i <= count; ++i) {
    subsystems += "S" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    sections += "[S" + std::to_string(i) + "]\nShort name=N" + std::to_string(i) + "\n";
    if (i > 1 && pick(2) == 0) sections += "Parent=" + std::to_string(1 + pick(i - 1)) + "\n";
    const int depends = pick(3);
    std::string depend;
    for (int d = 0; d < depends; ++d) {
      if (!depend.empty()) depend += ", ";
      depend += std::to_string(1 + pick(count));
    }
    if (!depend.empty()) sections += "Depend=" + depend + "\n";
    switch (pick(4)) {
      case 0: sections += "ViewParent=-1\n"; break;
      case 1: sections += "ViewParent=" + std::to_string(1 + pick(count)) + "\n"; break;
      default: break;
    }
    if (pick(3) == 0) sections += "Library=l" + std::to_string(i) + ".dll\n";
  }
  return subsystems + sections;
}

TEST(TreeRandom, TicksEndAndKeepParentsAndDependenciesTicked) {
  std::mt19937 random(20261207);
  for (int round = 0; round < 300; ++round) {
    auto file = treetest::Describe(RandomDescription(random, 3 + static_cast<int>(random() % 18)));
    TSysTree tree;
    ASSERT_TRUE(tree.LoadFromIDF(file.get()));
    TMemoryTreeView view;
    ASSERT_TRUE(tree.FillTreeView(view));
    tree.SelectAll();  // nodes under a view parent nobody shows start ticked too
    const auto& index = tree.Index();
    for (int tick = 0; tick < 40 && !index.empty(); ++tick) {
      TSysNode* node = index[random() % index.size()];
      if (random() % 2) {
        node->Select();
      } else {
        node->Deselect();
      }
      for (const TSysNode* n : index) {
        if (!n->Info.Selected) continue;
        if (auto* parent = dynamic_cast<const TSysNode*>(n->ParentNode)) {
          ASSERT_TRUE(parent->Info.Selected) << "round " << round << " node " << n->Info.Number;
        }
        for (const std::string& item : {n->Info.Depend}) {
          for (int k = 1;; ++k) {
            std::string compact;
            for (char c : item) {
              if (c != ' ') compact += c;
            }
            const std::int32_t number = GetListItem(compact, k);
            if (number == -1) break;
            const TSysNode* needed = tree.FindByNumber(number);
            if (needed) {
              ASSERT_TRUE(needed->Info.Selected)
                  << "round " << round << " node " << n->Info.Number << " needs " << number;
            }
          }
        }
      }
    }
    // Whatever is left can be written, read back and imaged.
    TIDFTextFile out;
    ASSERT_TRUE(tree.SaveToIDF(&out));
    TSysTree again;
    ASSERT_TRUE(again.LoadFromIDF(&out));
    EXPECT_EQ(again.Index().size(), tree.Index().size());
    for (int i = 0; i < tree.ChildCount(); ++i) {
      TSysNode* top = tree.Children(i);
      std::vector<std::uint8_t> block(static_cast<std::size_t>(top->GetRecordSize()));
      ASSERT_EQ(top->WriteRecord(block.data()), static_cast<int>(block.size()));
      top->ReadSelectionFromRecord(block.data(), block.size());
    }
  }
}

TEST(TreeRandom, DamagedImagesAreReadWithoutHarm) {
  std::mt19937 random(7);
  auto file = treetest::Describe(RandomDescription(random, 12));
  TSysTree tree;
  ASSERT_TRUE(tree.LoadFromIDF(file.get()));
  treetest::CapturedLog log;  // keeps " error getting pointer" out of the way
  for (int i = 0; i < tree.ChildCount(); ++i) {
    TSysNode* top = tree.Children(i);
    std::vector<std::uint8_t> block(static_cast<std::size_t>(top->GetRecordSize()));
    top->WriteRecord(block.data());
    for (int round = 0; round < 500; ++round) {
      std::vector<std::uint8_t> damaged = block;
      for (int flips = 0; flips < 3; ++flips) {
        damaged[random() % damaged.size()] = static_cast<std::uint8_t>(random());
      }
      top->ReadSelectionFromRecord(damaged.data(), damaged.size());
      for (int k = -1; k < 4; ++k) TSysNode::GetChildRecord(damaged.data(), damaged.size(), k);
    }
  }
}

}  // namespace
