// Ticking and unticking subsystems.
//
// Ticking a subsystem ticks what it depends on and its view children, and makes its parent
// and its view parent ticked (without ticking their other children). Unticking a subsystem
// unticks its children, the subsystems that depend on it and its view children, and unticks
// a view parent without a library of its own once none of its view children is left ticked.
// Complete marks are kept up to date on the way: a node is complete when it and everything
// shown below it is ticked.
#include <algorithm>

#include "description/InstList.h"
#include "description/InstListInternal.h"

using instlist::NumberItems;

void TSysNode::Select() {
  if (Info.Selected) return;
  Info.Selected = true;
  Info.Complete = AllChildrenComplete();
  UpdateParentComplete(0);
  SelectDependencies();
  SelectViewChildren();
  UpdateViewParent(0);
}

void TSysNode::SelectUp() { SelectUpAt(0); }

void TSysNode::SelectUpAt(int depth) {
  if (Info.Selected) return;
  Info.Selected = true;
  Info.Complete = AllChildrenComplete() && AllViewChildrenComplete(Info.Number);
  UpdateParentComplete(depth + 1);
  SelectDependencies();
  UpdateViewParent(depth + 1);
}

void TSysNode::UpdateParentComplete(int depth) {
  auto* parent = dynamic_cast<TSysNode*>(ParentNode);
  if (!parent) return;
  // An already ticked parent only has its own mark recomputed; the walk ends there.
  parent->Info.Complete =
      parent->AllChildrenComplete() && parent->AllViewChildrenComplete(parent->Info.Number);
  if (!parent->Info.Selected) parent->SelectUpAt(depth + 1);
}

void TSysNode::SelectDependencies() {
  for (std::int32_t number : NumberItems(Info.Depend)) {
    TSysNode* node = FindByNumber(number);
    if (node && !node->Info.Selected) node->Select();
  }
}

void TSysNode::SelectViewChildren() {
  for (std::int32_t number : NumberItems(GetViewChildren(Info.Number))) {
    TSysNode* node = FindByNumber(number);
    if (node && !node->Info.Selected) node->Select();
  }
}

void TSysNode::UpdateViewParent(int depth) {
  if (Info.ViewParent <= 0 || ViewWalkTooDeep(depth)) return;
  TSysNode* viewParent = FindByNumber(Info.ViewParent);
  if (!viewParent) return;
  const bool wasComplete = viewParent->Info.Complete;
  viewParent->Info.Complete = viewParent->AllChildrenComplete() &&
                              viewParent->AllViewChildrenComplete(viewParent->Info.Number);
  if (!viewParent->Info.Selected) viewParent->SelectUpAt(depth + 1);
  if (viewParent->Info.Complete != wasComplete) {
    viewParent->UpdateParentComplete(depth + 1);
    viewParent->UpdateViewParent(depth + 1);
  }
}

void TSysNode::Deselect() {
  if (!Info.Selected) return;
  Info.Selected = false;
  Info.Complete = false;
  ClearAncestorsComplete();
  ReleaseViewParent(0);
  for (const auto& child : children_) {
    if (child->Info.Selected) child->Deselect();
  }
  for (std::int32_t number : NumberItems(Info.DependedOnBy)) {
    TSysNode* node = FindByNumber(number);
    if (node && node->Info.Selected) node->Deselect();
  }
  for (std::int32_t number : NumberItems(GetViewChildren(Info.Number))) {
    TSysNode* node = FindByNumber(number);
    if (node && node->Info.Selected) node->Deselect();
  }
}

void TSysNode::ClearAncestorsComplete() {
  for (auto* parent = dynamic_cast<TSysNode*>(ParentNode);
       parent && parent->Info.Selected && parent->Info.Complete;
       parent = dynamic_cast<TSysNode*>(parent->ParentNode)) {
    parent->Info.Complete = false;
  }
}

void TSysNode::ReleaseViewParent(int depth) {
  if (Info.ViewParent <= 0 || ViewWalkTooDeep(depth)) return;
  TSysNode* viewParent = FindByNumber(Info.ViewParent);
  if (!viewParent || !viewParent->Info.Selected) return;
  if (viewParent->Info.Library.empty() && viewParent->NoViewChildSelected(viewParent->Info.Number)) {
    viewParent->Deselect();
  } else if (viewParent->Info.Complete) {
    viewParent->Info.Complete = false;
    viewParent->ClearAncestorsComplete();
    viewParent->ReleaseViewParent(depth + 1);
  }
}

// View parents are plain numbers, so they can lead in a circle; a walk along them never
// needs more steps than there are nodes to visit twice.
bool TSysNode::ViewWalkTooDeep(int depth) {
  if (depth < 64) return false;
  const TCustomSysNode* root = this;
  while (root->ParentNode) root = root->ParentNode;
  const auto* tree = dynamic_cast<const TSysTree*>(root);
  const std::size_t nodes = tree ? tree->Index().size() : 0;
  return static_cast<std::size_t>(depth) > 2 * nodes + 64;
}
