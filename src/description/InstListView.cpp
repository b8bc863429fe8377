// The tree as the user sees it (the wizard's tree view, arranged by ViewParent) and the
// "Installed" marks of the registry.
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "description/InstList.h"

namespace {

// Shows `top` under `parent` and, below it, the nodes whose ViewParent is its number, and
// so on down; children in Index order. Each node is shown once: view parents are plain
// numbers and can lead in a circle (or to a node numbered 0, the number of the top), which
// must not make this endless. The walk keeps its own stack, so a long chain of view
// parents cannot exhaust the program's.
void AddViewNode(ITreeViewItems& items,
                 const std::map<std::int32_t, std::vector<TSysNode*>>& byViewParent,
                 TSysNode* top, ITreeViewItems::Item parent, std::set<const TSysNode*>& shown) {
  std::vector<std::pair<TSysNode*, ITreeViewItems::Item>> pending{{top, parent}};
  while (!pending.empty()) {
    auto [node, under] = pending.back();
    pending.pop_back();
    if (node->Info.ViewParent == -1) continue;
    if (!shown.insert(node).second) continue;
    ITreeViewItems::Item item = items.AddChildItem(under, node->Info.ShortName, node);
    node->Info.Selected = true;
    node->Info.Complete = true;
    auto children = byViewParent.find(node->Info.Number);
    if (children == byViewParent.end()) continue;
    for (auto it = children->second.rbegin(); it != children->second.rend(); ++it) {
      pending.emplace_back(*it, item);
    }
  }
}

}  // namespace

bool TSysTree::FillTreeView(ITreeViewItems& items) {
  if (index_.empty()) return true;
  items.BeginUpdate();
  try {
    const std::vector<TSysNode*> nodes = index_;
    std::map<std::int32_t, std::vector<TSysNode*>> byViewParent;
    for (TSysNode* node : nodes) byViewParent[node->Info.ViewParent].push_back(node);
    std::set<const TSysNode*> shown;
    for (TSysNode* node : nodes) {
      if (node->Info.ViewParent == 0) {
        AddViewNode(items, byViewParent, node, nullptr, shown);
      } else if (node->Info.ViewParent == -1) {
        node->Info.Selected = true;
        node->Info.Complete = true;
      }
    }
  } catch (...) {
    items.EndUpdate();
    return false;
  }
  items.EndUpdate();
  return true;
}

bool TSysTree::UpdateInstalledValues(IRegistryKey& key, int mode) const {
  try {
    ForEachPreOrder([&](const TSysNode& node) {
      const std::string& name = node.Info.ShortName;
      try {
        if (mode == 1) {
          if (node.Info.Selected && !key.ValueExists(name)) key.WriteString(name, "Installed");
        } else if (mode == 2) {
          if (!node.Info.SavedSelected && key.ValueExists(name)) key.DeleteValue(name);
        }
      } catch (...) {
        // A value that cannot be written or deleted does not stop the others.
      }
    });
  } catch (...) {
  }
  return true;
}
