// The two narrow views of the machine that the subsystem tree works against: the wizard's
// tree view (filled from the tree) and the registry key that lists the installed subsystems.
// The product implements them on the real controls and the real registry; the in-memory
// versions below serve the vendor tool and the tests.
#pragma once

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

class TSysNode;

// The items of a tree view. An item is an opaque handle; nullptr stands for "the top".
class ITreeViewItems {
 public:
  using Item = void*;
  virtual ~ITreeViewItems() = default;
  // Adds an item with the text under `parent` (at the top for nullptr) carrying the node
  // as its data, and returns the new item.
  virtual Item AddChildItem(Item parent, const std::string& text, TSysNode* node) = 0;
  virtual void BeginUpdate() = 0;
  virtual void EndUpdate() = 0;
};

// A registry key opened by the caller. Value names and texts are UTF-8.
class IRegistryKey {
 public:
  virtual ~IRegistryKey() = default;
  virtual bool ValueExists(const std::string& name) = 0;
  virtual void WriteString(const std::string& name, const std::string& value) = 0;
  virtual bool DeleteValue(const std::string& name) = 0;
  virtual std::vector<std::string> GetValueNames() = 0;
};

// A tree view that only remembers what was added to it.
class TMemoryTreeView : public ITreeViewItems {
 public:
  struct TItem {
    std::string Text;
    TSysNode* Node = nullptr;
    TItem* Parent = nullptr;
    std::vector<TItem*> Children;
  };

  Item AddChildItem(Item parent, const std::string& text, TSysNode* node) override {
    auto item = std::make_unique<TItem>();
    item->Text = text;
    item->Node = node;
    item->Parent = static_cast<TItem*>(parent);
    TItem* raw = item.get();
    (raw->Parent ? raw->Parent->Children : TopItems).push_back(raw);
    items_.push_back(std::move(item));
    return raw;
  }
  void BeginUpdate() override { ++UpdateDepth; ++BeginCount; }
  void EndUpdate() override { --UpdateDepth; }

  int Count() const { return static_cast<int>(items_.size()); }
  // The items in the order they were added.
  const TItem& At(int index) const { return *items_.at(static_cast<std::size_t>(index)); }
  void Clear() {
    TopItems.clear();
    items_.clear();
  }

  std::vector<TItem*> TopItems;
  int UpdateDepth = 0;  // 0 when every BeginUpdate was matched by an EndUpdate
  int BeginCount = 0;

 private:
  std::vector<std::unique_ptr<TItem>> items_;
};

// A registry key held in memory. Value names compare without regard to ASCII case, as the
// registry compares them.
class TMemoryRegistryKey : public IRegistryKey {
 public:
  bool ValueExists(const std::string& name) override { return Find(name) != Values.end(); }
  void WriteString(const std::string& name, const std::string& value) override {
    auto it = Find(name);
    if (it != Values.end()) {
      it->second = value;
    } else {
      Values.emplace_back(name, value);
    }
  }
  bool DeleteValue(const std::string& name) override {
    auto it = Find(name);
    if (it == Values.end()) return false;
    Values.erase(it);
    return true;
  }
  std::vector<std::string> GetValueNames() override {
    std::vector<std::string> names;
    for (const auto& v : Values) names.push_back(v.first);
    return names;
  }

  std::vector<std::pair<std::string, std::string>> Values;

 private:
  static bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
      char x = a[i], y = b[i];
      if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
      if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
      if (x != y) return false;
    }
    return true;
  }
  std::vector<std::pair<std::string, std::string>>::iterator Find(const std::string& name) {
    return std::find_if(Values.begin(), Values.end(),
                        [&](const auto& v) { return SameName(v.first, name); });
  }
};
