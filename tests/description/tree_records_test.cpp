// The library image: the block a subsystem library receives and hands back.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/text.h"
#include "description/InstList.h"
#include "description/tree_testutil.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Expected images are spelled out field by field.
void Le32(Bytes& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void Str(Bytes& out, const std::string& bytes) {
  Le32(out, static_cast<std::uint32_t>(bytes.size()));
  out.insert(out.end(), bytes.begin(), bytes.end());
}

Bytes Image(const TSysNode& node) {
  Bytes block(static_cast<std::size_t>(node.GetRecordSize()), 0xEE);
  EXPECT_EQ(node.WriteRecord(block.data()), node.GetRecordSize());
  return block;
}

class LibraryImage : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = text::AnsiCodePage();
    text::SetAnsiCodePage(1251);
  }
  void TearDown() override { text::SetAnsiCodePage(saved_); }

 private:
  int saved_ = 0;
};

TEST_F(LibraryImage, ANodeWithoutTextsOrChildrenTakes26Bytes) {
  TSysNode node;
  node.Info.Selected = false;
  ASSERT_EQ(node.GetRecordSize(), 26);
  Bytes expected;
  Le32(expected, 22);  // length minus 4
  Le32(expected, 14);  // H
  expected.push_back(0);
  expected.push_back(0);
  Str(expected, "");
  Str(expected, "");
  Str(expected, "");
  Le32(expected, 0);  // children
  EXPECT_EQ(Image(node), expected);
}

TEST_F(LibraryImage, ANodeWithChildrenCarriesThemInOrder) {
  TSysTree tree;
  TSysNode* top = tree.AddChild(treetest::Node(1));
  top->Info.Library = "lib.dll";
  top->Info.Parameter = "-p";
  top->Info.ShortName = "Сеть";  // goes out in Windows-1251: 4 bytes
  TSysNode* first = top->AddChild(treetest::Node(2));
  first->Info.ShortName = "";
  first->Info.Selected = false;
  TSysNode* second = top->AddChild(treetest::Node(3));
  second->Info.ShortName = "B";

  Bytes expected;
  Le32(expected, 39 + 26 + 27 - 4);
  Le32(expected, 14 + 7 + 2 + 4);
  expected.push_back(1);
  expected.push_back(1);
  Str(expected, "lib.dll");
  Str(expected, "-p");
  Str(expected, "\xD1\xE5\xF2\xFC");
  Le32(expected, 2);
  // first child
  Le32(expected, 22);
  Le32(expected, 14);
  expected.push_back(0);
  expected.push_back(0);
  Str(expected, "");
  Str(expected, "");
  Str(expected, "");
  Le32(expected, 0);
  // second child
  Le32(expected, 23);
  Le32(expected, 15);
  expected.push_back(1);
  expected.push_back(1);
  Str(expected, "");
  Str(expected, "");
  Str(expected, "B");
  Le32(expected, 0);

  EXPECT_EQ(top->GetRecordSize(), 92);
  const Bytes block = Image(*top);
  EXPECT_EQ(block, expected);

  EXPECT_EQ(TSysNode::GetChildRecord(block.data(), block.size(), 0), block.data() + 39);
  EXPECT_EQ(TSysNode::GetChildRecord(block.data(), block.size(), 1), block.data() + 39 + 26);
  EXPECT_EQ(TSysNode::GetChildRecord(block.data(), block.size(), 2), nullptr);
  EXPECT_EQ(TSysNode::GetChildRecord(block.data(), block.size(), -1), nullptr);
  EXPECT_EQ(TSysNode::GetChildRecord(nullptr, block.size(), 0), nullptr);
}

// A library may overwrite every length inside its block, so the only length to trust is the
// size of the block itself: there is no reader that goes without it.
template <typename... A>
constexpr bool kChildRecordCallable =
    requires(A... a) { TSysNode::GetChildRecord(a...); };
template <typename... A>
constexpr bool kReadBackCallable =
    requires(TSysNode& node, A... a) { node.ReadSelectionFromRecord(a...); };

TEST_F(LibraryImage, EveryReaderTakesTheSizeOfTheBlock) {
  EXPECT_TRUE((kChildRecordCallable<const std::uint8_t*, std::size_t, int>));
  EXPECT_FALSE((kChildRecordCallable<const std::uint8_t*, int>));
  EXPECT_TRUE((kReadBackCallable<const std::uint8_t*, std::size_t>));
  EXPECT_FALSE((kReadBackCallable<const std::uint8_t*>));
}

// A top node with children 2 and 3; 2 has a child 4.
class ReadBack : public LibraryImage {
 protected:
  void SetUp() override {
    LibraryImage::SetUp();
    top = tree.AddChild(treetest::Node(1));
    two = top->AddChild(treetest::Node(2));
    three = top->AddChild(treetest::Node(3));
    four = two->AddChild(treetest::Node(4));
    block = Image(*top);
  }
  // The record at the path of child indexes, bounded by what is left of the block.
  std::uint8_t* Record(std::initializer_list<int> path) {
    const std::uint8_t* record = block.data();
    for (int index : path) {
      const auto left = block.size() - static_cast<std::size_t>(record - block.data());
      record = TSysNode::GetChildRecord(record, left, index);
    }
    return const_cast<std::uint8_t*>(record);
  }

  TSysTree tree;
  TSysNode* top = nullptr;
  TSysNode* two = nullptr;
  TSysNode* three = nullptr;
  TSysNode* four = nullptr;
  Bytes block;
};

TEST_F(ReadBack, TakesTheLibrarysChoiceBelowTheTopNode) {
  Record({})[8] = 0;   // the top node's own mark is not the library's to change
  Record({0})[8] = 0;  // 2 unticked by the library
  EXPECT_FALSE(top->ReadSelectionFromRecord(block.data(), block.size()));
  EXPECT_TRUE(top->Info.Selected);
  EXPECT_FALSE(top->Info.Complete);
  EXPECT_FALSE(two->Info.Selected);
  EXPECT_FALSE(two->Info.Complete);
  EXPECT_TRUE(four->Info.Selected);
  EXPECT_TRUE(three->Info.Complete);
}

TEST_F(ReadBack, ASubsystemSavedAsSelectedStaysSelected) {
  two->Info.SavedSelected = true;
  Record({0})[8] = 0;
  EXPECT_TRUE(top->ReadSelectionFromRecord(block.data(), block.size()));
  EXPECT_TRUE(two->Info.Selected);
}

TEST_F(ReadBack, ARecordWhoseChildCountDiffersLeavesTheChildrenAlone) {
  top->AddChild(treetest::Node(5));
  top->Info.Complete = false;
  Record({0})[8] = 0;
  two->Info.Complete = false;
  EXPECT_TRUE(top->ReadSelectionFromRecord(block.data(), block.size()));
  EXPECT_TRUE(top->Info.Complete);  // equal to Selected
  EXPECT_TRUE(two->Info.Selected);
  EXPECT_FALSE(two->Info.Complete);
}

TEST_F(ReadBack, NoRecordChangesNothing) {
  top->Info.Complete = false;
  EXPECT_FALSE(top->ReadSelectionFromRecord(nullptr, block.size()));
}

TEST_F(ReadBack, LengthsALibraryDamagedAreNotFollowed) {
  treetest::CapturedLog log;
  Record({1})[8] = 0;
  // The first child claims to reach far beyond the block.
  std::uint8_t* first = Record({0});
  first[0] = 0xFF;
  first[1] = 0xFF;
  first[2] = 0xFF;
  top->ReadSelectionFromRecord(block.data(), block.size());
  EXPECT_TRUE(three->Info.Selected);  // reading stopped before it
  EXPECT_TRUE(log.Contains(" error getting pointer"));

  // A top record longer than its block is not read at all.
  Bytes copy = Image(*top);
  copy[0] = 0xFF;
  two->Info.Complete = false;
  top->ReadSelectionFromRecord(copy.data(), copy.size());
  EXPECT_FALSE(two->Info.Complete);
  EXPECT_EQ(TSysNode::GetChildRecord(copy.data(), copy.size(), 0), nullptr);

  // A header length beyond the record.
  Bytes header = Image(*top);
  header[5] = 0x7F;
  EXPECT_EQ(TSysNode::GetChildRecord(header.data(), header.size(), 0), nullptr);
}

}  // namespace
