// Bulk changes of the marks, work between two trees, and the lists derived from a tree.
//
// Between trees a node's counterpart is the node of the same number among the children of
// its parent's counterpart (among the other tree's top-level nodes for a top-level node).
// The add/delete mode meets the description's tree with the tree of what is installed
// through these: MatchAgainst unticks what the other tree lacks, RemoveComplete drops what
// both hold, MergeInto carries one tree's subsystems into another.
#include <algorithm>

#include "common/text.h"
#include "description/InstList.h"
#include "description/InstListInternal.h"

namespace {

TSysNode* ChildByNumber(const TCustomSysNode* level, std::int32_t number) {
  if (!level) return nullptr;
  for (int i = 0; i < level->ChildCount(); ++i) {
    TSysNode* child = level->Children(i);
    if (child->Info.Number == number) return child;
  }
  return nullptr;
}

std::unique_ptr<TSysNode> CopyOf(const TSysNode& node) {
  auto copy = std::make_unique<TSysNode>();
  copy->Info.Assign(node.Info);
  return copy;
}

void ComputeCompleteOf(TSysNode& node) {
  bool complete = node.Info.Selected;
  for (int i = 0; i < node.ChildCount(); ++i) {
    TSysNode& child = *node.Children(i);
    ComputeCompleteOf(child);
    if (!child.Info.Complete) complete = false;
  }
  node.Info.Complete = complete;
}

void UnselectSubtree(TSysNode& node) {
  node.Info.Selected = false;
  for (int i = 0; i < node.ChildCount(); ++i) UnselectSubtree(*node.Children(i));
}

void MatchLevel(const TCustomSysNode& mine, const TCustomSysNode* theirs) {
  for (int i = 0; i < mine.ChildCount(); ++i) {
    TSysNode& child = *mine.Children(i);
    const TSysNode* counterpart = ChildByNumber(theirs, child.Info.Number);
    if (counterpart) {
      MatchLevel(child, counterpart);
    } else {
      UnselectSubtree(child);
    }
  }
}

void MergeLevel(const TCustomSysNode& from, TCustomSysNode& to) {
  for (int i = 0; i < from.ChildCount(); ++i) {
    const TSysNode& child = *from.Children(i);
    TSysNode* counterpart = ChildByNumber(&to, child.Info.Number);
    if (counterpart) {
      if (!child.Info.Selected) counterpart->Info.Selected = false;
    } else {
      auto copy = CopyOf(child);
      copy->Info.Selected = child.Info.Selected;
      counterpart = to.AddChild(std::move(copy));
    }
    MergeLevel(child, *counterpart);
  }
}

void CopyUnselectedLevel(const TCustomSysNode& level, TSysTree& other) {
  for (int i = 0; i < level.ChildCount(); ++i) {
    const TSysNode& child = *level.Children(i);
    if (child.Info.Selected) {
      CopyUnselectedLevel(child, other);
      continue;
    }
    auto copy = CopyOf(child);
    copy->Info.Selected = false;
    TSysNode* added = other.AddChild(std::move(copy));
    child.CopyChildrenTo(added);
  }
}

bool EndsWith(const std::string& s, std::string_view tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Bulk operations

void TCustomSysNode::SelectAll() {
  ForEachBelow([](TSysNode& node) { node.Info.Selected = node.Info.Complete = true; });
}

void TCustomSysNode::DeselectAll() {
  ForEachBelow([](TSysNode& node) { node.Info.Selected = node.Info.Complete = false; });
}

void TCustomSysNode::ComputeComplete() {
  for (const auto& child : children_) ComputeCompleteOf(*child);
}

void TCustomSysNode::SaveSelection() {
  ForEachBelow([](TSysNode& node) { node.Info.SavedSelected = node.Info.Selected; });
}

void TCustomSysNode::RemoveUnselected(bool recursive) {
  for (int i = ChildCount() - 1; i >= 0; --i) {
    if (!children_[static_cast<std::size_t>(i)]->Info.Selected) DeleteChild(i);
  }
  if (recursive) {
    for (const auto& child : children_) child->RemoveUnselected(true);
  }
}

void TCustomSysNode::RemoveComplete() {
  for (int i = ChildCount() - 1; i >= 0; --i) {
    TSysNode* child = children_[static_cast<std::size_t>(i)].get();
    if (child->Info.Complete) {
      DeleteChild(i);
    } else {
      child->RemoveComplete();
    }
  }
}

TSysNode* TCustomSysNode::FindInSubtree(std::int32_t number) const {
  for (const auto& child : children_) {
    if (child->Info.Number == number) return child.get();
    if (TSysNode* found = child->FindInSubtree(number)) return found;
  }
  return nullptr;
}

void TSysTree::DeselectNotListed(const std::vector<std::string>& names) {
  // Deselect may untick later nodes of the Index; each is looked at when its turn comes.
  const std::vector<TSysNode*> nodes = index_;
  for (TSysNode* node : nodes) {
    if (node->Info.ViewOnly || !node->Info.Selected) continue;
    const bool listed = std::any_of(names.begin(), names.end(), [&](const std::string& name) {
      return text::SameTextNoCase(name, node->Info.ShortName);
    });
    if (!listed) node->Deselect();
  }
}

// ---------------------------------------------------------------------------------------
// Between trees

bool TSysTree::MatchAgainst(const TSysTree* other) {
  if (!other) return false;
  try {
    MatchLevel(*this, other);
    ComputeComplete();
    return true;
  } catch (...) {
    return false;
  }
}

void TSysTree::MergeInto(TSysTree* other) const {
  if (!other) return;
  try {
    MergeLevel(*this, *other);
  } catch (...) {
  }
}

void TSysTree::CopyUnselectedTo(TSysTree* other) const {
  if (other) CopyUnselectedLevel(*this, *other);
}

void TCustomSysNode::CopyChildrenTo(TCustomSysNode* target) const {
  if (!target) return;
  for (const auto& child : children_) {
    TSysNode* copy = target->AddChild(CopyOf(*child));
    child->CopyChildrenTo(copy);
  }
}

void TCustomSysNode::CopySelectedTo(TCustomSysNode* target) const {
  if (!target) return;
  target->ClearChildren();
  for (const auto& child : children_) {
    if (!child->Info.Selected || child->Info.ViewOnly) continue;
    TSysNode* copy = target->AddChild(CopyOf(*child));
    child->CopySelectedTo(copy);
  }
}

TSysNode* TSysTree::CopyWithAncestors(const TSysNode* node, TSysTree* target) {
  if (!node || !target) return nullptr;
  // Built from the top down, so that every copy is registered with the target tree and
  // can be found there by number.
  std::vector<const TSysNode*> chain;
  for (const TSysNode* n = node; n; n = dynamic_cast<const TSysNode*>(n->ParentNode)) {
    chain.push_back(n);
  }
  TCustomSysNode* holder = target;
  TSysNode* copy = nullptr;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    copy = holder->AddChild(CopyOf(**it));
    holder = copy;
  }
  node->CopyChildrenTo(copy);
  return copy;
}

// ---------------------------------------------------------------------------------------
// Lists

void TCustomSysNode::CollectUnselectedNames(std::vector<std::string>& list) const {
  ForEachPreOrder([&](const TSysNode& node) {
    if (!node.Info.Selected) list.push_back(node.Info.ShortName);
  });
}

void TCustomSysNode::CollectLinks(std::vector<std::string>& list, bool desktop) const {
  try {
    ForEachPreOrder([&](const TSysNode& node) {
      if (node.Info.Selected) return;
      for (const std::string& entry : instlist::SplitList(node.Info.Links, '*')) {
        const bool menu = EndsWith(entry, "?menu");
        if (!desktop && menu) {
          list.push_back(entry.substr(0, entry.size() - 5));
        } else if (desktop && !menu) {
          list.push_back(entry.size() > 8 ? entry.substr(0, entry.size() - 8) : std::string());
        }
      }
    });
  } catch (...) {
  }
}

namespace {

void AppendFileItems(std::vector<std::string>& list, const std::string& files) {
  for (const std::string& item : instlist::SplitList(files, ',')) {
    std::string_view trimmed = text::TrimControl(item);
    if (!trimmed.empty()) list.emplace_back(trimmed);
  }
}

}  // namespace

void TCustomSysNode::CollectCheckFiles(std::vector<std::string>& list) const {
  try {
    ForEachPreOrder([&](const TSysNode& node) {
      if (!node.Info.Selected) AppendFileItems(list, node.Info.CheckFiles);
    });
  } catch (...) {
  }
}

void TCustomSysNode::CollectReqFiles(std::vector<std::string>& list) const {
  try {
    ForEachPreOrder([&](const TSysNode& node) {
      if (!node.Info.Selected) AppendFileItems(list, node.Info.ReqFiles);
    });
  } catch (...) {
  }
}

void TCustomSysNode::CollectArchives(TArchiveList& archives, bool state) const {
  ForEachPreOrder([&](const TSysNode& node) {
    if (node.Info.Selected != state) return;
    for (const std::string& item : instlist::SplitList(node.Info.Archive, ',')) {
      std::string_view name = text::TrimControl(item);
      // An empty item ("a.zip,") names no archive.
      if (!name.empty()) {
        archives.AddArchive(std::string(name), const_cast<TSubsystemInfo*>(&node.Info));
      }
    }
  });
}
