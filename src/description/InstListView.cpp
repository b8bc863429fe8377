// The tree as the user sees it (the wizard's tree view, arranged by ViewParent) and the
// "Installed" marks of the registry.
#include <set>

#include "description/InstList.h"

namespace {

// Shows the node under `parent` and, below it, the nodes whose ViewParent is its number.
// Each node is shown once: view parents are plain numbers and can lead in a circle (or to
// a node whose number is 0, the number of the top), which must not make this endless.
void AddViewNode(ITreeViewItems& items, const std::vector<TSysNode*>& index, TSysNode* node,
                 ITreeViewItems::Item parent, std::set<const TSysNode*>& shown) {
  if (node->Info.ViewParent == -1) return;
  if (!shown.insert(node).second) return;
  ITreeViewItems::Item item = items.AddChildItem(parent, node->Info.ShortName, node);
  node->Info.Selected = true;
  node->Info.Complete = true;
  for (TSysNode* child : index) {
    if (child->Info.ViewParent == node->Info.Number) {
      AddViewNode(items, index, child, item, shown);
    }
  }
}

}  // namespace

bool TSysTree::FillTreeView(ITreeViewItems& items) {
  if (index_.empty()) return true;
  items.BeginUpdate();
  try {
    const std::vector<TSysNode*> nodes = index_;
    std::set<const TSysNode*> shown;
    for (TSysNode* node : nodes) {
      if (node->Info.ViewParent == 0) {
        AddViewNode(items, nodes, node, nullptr, shown);
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
