// The subsystem tree: nodes, registration in the tree's Index, lookups by number, and the
// comma-list helpers the other tree files share.
#include "description/InstList.h"

#include <algorithm>
#include <limits>

#include "common/errors.h"
#include "common/text.h"
#include "description/InstListInternal.h"

namespace instlist {

bool TryStrToInt(std::string_view text, std::int32_t& value) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  std::int64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return false;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1) {
      return false;
    }
  }
  const std::int64_t result = negative ? -magnitude : magnitude;
  if (result > std::numeric_limits<std::int32_t>::max()) return false;
  value = static_cast<std::int32_t>(result);
  return true;
}

std::int32_t StrToInt(std::string_view text) {
  std::int32_t value = 0;
  if (!TryStrToInt(text, value)) {
    throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
  }
  return value;
}

std::vector<std::string> SplitList(std::string_view list, char separator) {
  std::vector<std::string> items;
  if (list.empty()) return items;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = list.find(separator, start);
    if (end == std::string_view::npos) {
      items.emplace_back(list.substr(start));
      return items;
    }
    items.emplace_back(list.substr(start, end - start));
    start = end + 1;
  }
}

std::vector<std::int32_t> NumberItems(std::string_view list) {
  std::vector<std::int32_t> numbers;
  for (const std::string& item : SplitList(list, ',')) {
    numbers.push_back(StrToInt(text::TrimControl(item)));
  }
  return numbers;
}

}  // namespace instlist

using instlist::SplitList;

// ---------------------------------------------------------------------------------------
// TSubsystemInfo

void TSubsystemInfo::Assign(const TSubsystemInfo& other) {
  Archive = other.Archive;
  DependedOnBy = other.DependedOnBy;
  CheckFiles = other.CheckFiles;
  Depend = other.Depend;
  FullName = other.FullName;
  Library = other.Library;
  Links = other.Links;
  Parameter = other.Parameter;
  Parent = other.Parent;
  ReqFiles = other.ReqFiles;
  SectionName = other.SectionName;
  ShortName = other.ShortName;
  Number = other.Number;
  ViewParent = other.ViewParent;
  ViewOnly = other.ViewOnly;
}

// ---------------------------------------------------------------------------------------
// TCustomSysNode

TSysNode* TCustomSysNode::Children(int index) const {
  if (index < 0 || index >= ChildCount()) {
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  }
  return children_[static_cast<std::size_t>(index)].get();
}

TSysNode* TCustomSysNode::AddChild(std::unique_ptr<TSysNode> node) {
  TSysNode* raw = node.get();
  raw->ParentNode = this;
  children_.push_back(std::move(node));
  // A node that arrives with children of its own brings them into the Index as well, so
  // that every node of the tree can be found by number.
  RegisterSubtree(raw);
  return raw;
}

void TCustomSysNode::RegisterSubtree(TSysNode* node) {
  RegisterNode(node);
  for (const auto& child : node->children_) RegisterSubtree(child.get());
}

void TCustomSysNode::DeleteChild(int index) {
  if (index < 0 || index >= ChildCount()) return;
  auto it = children_.begin() + index;
  // Unregister the very node (not the first of its number: copies may share numbers), and
  // free it while it is still linked, so that its own children unregister the same way.
  UnregisterNode(it->get());
  it->reset();
  children_.erase(it);
}

void TCustomSysNode::ClearChildren() {
  for (int i = ChildCount() - 1; i >= 0; --i) DeleteChild(i);
}

void TCustomSysNode::ForEachPreOrder(const std::function<void(const TSysNode&)>& visit) const {
  if (const TSysNode* self = AsSysNode()) visit(*self);
  for (const auto& child : children_) child->ForEachPreOrder(visit);
}

void TCustomSysNode::ForEachBelow(const std::function<void(TSysNode&)>& visit) const {
  for (const auto& child : children_) {
    visit(*child);
    child->ForEachBelow(visit);
  }
}

// ---------------------------------------------------------------------------------------
// TSysNode

TSysNode::TSysNode() {
  Info.Selected = true;
  Info.Complete = true;
}

TSysNode::~TSysNode() { ClearChildren(); }

void TSysNode::RegisterNode(TSysNode* node) {
  if (ParentNode) ParentNode->RegisterNode(node);
}

void TSysNode::UnregisterNode(const TSysNode* node) {
  if (ParentNode) ParentNode->UnregisterNode(node);
}

TSysNode* TSysNode::FindByNumber(std::int32_t number) {
  if (Info.Number == number) return this;
  return ParentNode ? ParentNode->FindByNumber(number) : nullptr;
}

std::string TSysNode::GetViewChildren(std::int32_t number) {
  return ParentNode ? ParentNode->GetViewChildren(number) : std::string();
}

bool TSysNode::AllViewChildrenComplete(std::int32_t number) {
  return ParentNode ? ParentNode->AllViewChildrenComplete(number) : true;
}

bool TSysNode::NoViewChildSelected(std::int32_t number) {
  return ParentNode ? ParentNode->NoViewChildSelected(number) : true;
}

bool TSysNode::AllChildrenComplete() const {
  return std::all_of(children_.begin(), children_.end(),
                     [](const auto& child) { return child->Info.Complete; });
}

void TSysNode::CollectDependents(std::string& list) const {
  std::vector<std::int32_t> present;
  for (const std::string& item : SplitList(list, ',')) {
    std::int32_t n = 0;
    if (instlist::TryStrToInt(text::TrimControl(item), n)) present.push_back(n);
  }
  for (std::int32_t n : instlist::NumberItems(Info.DependedOnBy)) {
    if (std::find(present.begin(), present.end(), n) != present.end()) continue;
    if (!list.empty()) list += ',';
    list += std::to_string(n);
    present.push_back(n);
  }
}

// ---------------------------------------------------------------------------------------
// TSysTree

TSysTree::~TSysTree() { ClearChildren(); }

void TSysTree::RegisterNode(TSysNode* node) { index_.push_back(node); }

void TSysTree::UnregisterNode(const TSysNode* node) {
  auto it = std::find(index_.begin(), index_.end(), node);
  if (it != index_.end()) index_.erase(it);
}

TSysNode* TSysTree::FindByNumber(std::int32_t number) {
  for (TSysNode* node : index_) {
    if (node->Info.Number == number) return node;
  }
  return nullptr;
}

std::string TSysTree::GetViewChildren(std::int32_t number) {
  std::string list;
  for (const TSysNode* node : index_) {
    if (node->Info.ViewParent != number) continue;
    if (!list.empty()) list += ',';
    list += std::to_string(node->Info.Number);
  }
  return list;
}

bool TSysTree::AllViewChildrenComplete(std::int32_t number) {
  return std::all_of(index_.begin(), index_.end(), [&](const TSysNode* node) {
    return node->Info.ViewParent != number || node->Info.Complete;
  });
}

bool TSysTree::NoViewChildSelected(std::int32_t number) {
  return std::none_of(index_.begin(), index_.end(), [&](const TSysNode* node) {
    return node->Info.ViewParent == number && node->Info.Selected;
  });
}

void TSysTree::CollectDependents(std::string& list) const {
  ForEachPreOrder([&](const TSysNode& node) { node.CollectDependents(list); });
}

// ---------------------------------------------------------------------------------------

std::int32_t GetListItem(const std::string& list, int index) {
  if (index < 1) return -1;
  const std::vector<std::string> items = SplitList(list, ',');
  if (static_cast<std::size_t>(index) > items.size()) return -1;
  std::int32_t value = 0;
  if (!instlist::TryStrToInt(items[static_cast<std::size_t>(index) - 1], value)) return -1;
  return value;
}
