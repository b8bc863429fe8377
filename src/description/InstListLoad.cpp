// Building a subsystem tree from an install description, and writing one back.
//
// "SubSystems" gives the subsystems in tree order (key = section name, value = number).
// Top-level subsystems ("Parent" 0 or absent) are built in that order; each one then takes,
// recursively, the subsystems whose "Parent" is its number, wherever they stand in the list.
// Subsystems whose parent is never loaded are not loaded either.
#include <algorithm>
#include <map>
#include <set>
#include <unordered_map>

#include "common/errors.h"
#include "common/text.h"
#include "description/InstIDF.h"
#include "description/InstList.h"
#include "description/InstListInternal.h"
#include "setup/Messages.h"
#include "setup/SetupGlobals.h"

namespace {

const char kSubSystems[] = "SubSystems";
const char kDuplicateNumbers[] = "Найдены системы с одинаковыми номерами";
const char kInvalidDepend[] = "Invalid 'depend' string in setup.idf. Section - ";

std::string Value(const TIDFSection& section, const char* key) {
  const TIDFParam* param = section.FindParam(key);
  return param ? param->AsString() : std::string();
}

// "Parent" and "ViewParent": absent or empty reads 0; anything else must be a number.
std::int32_t IntegerValue(const TIDFSection& section, const char* key) {
  const TIDFParam* param = section.FindParam(key);
  if (!param || param->AsString().empty()) return 0;
  return param->AsInteger();
}

// The parameters of one section by name, ASCII letters folded, each name leading to the
// first parameter that bears it, as FindParam finds it. Built once per section, so that
// reading a section with many keys does not search the whole section again for each key.
class SectionKeys {
 public:
  explicit SectionKeys(const TIDFSection& section) {
    for (int i = 0; i < section.ParamCount(); ++i) {
      const TIDFParam* param = section.Params(i);
      first_.emplace(text::UpperAscii(param->Name), param);
    }
  }
  // The value of the first parameter of that name; empty when there is none.
  const std::string& Value(const std::string& name) const {
    static const std::string none;
    auto found = first_.find(text::UpperAscii(name));
    return found == first_.end() ? none : found->second->AsString();
  }

 private:
  std::unordered_map<std::string, const TIDFParam*> first_;
};

// True when the key's first characters, as many as the keyword has, trimmed and
// upper-cased, are the keyword.
bool HasKeyPrefix(const std::string& name, std::string_view keyword) {
  const std::string head = name.substr(0, keyword.size());
  return text::UpperAscii(text::TrimControl(head)) == keyword;
}

// One entry of "SubSystems" as the loader sees it.
struct Entry {
  const TIDFParam* param = nullptr;
  std::int32_t number = 0;
  const TIDFSection* section = nullptr;
  bool parentOk = false;     // the section's "Parent" is absent, empty or a number
  std::int32_t parent = 0;
  bool used = false;         // already made into a node during this load
  bool looped = false;
  bool refused = false;      // a negative number: never loaded
  bool dependReported = false;  // its bad "Depend" was shown once in this load
  // The numbers of its "Depend" before the first item that is not a number, and whether
  // there is such an item.
  std::vector<std::int32_t> depends;
  bool badDepend = false;
};

// What one load works from: the entries with their sections, parents and dependencies,
// looked up once and indexed, so that a long description loads in about linear time.
class LoadContext {
 public:
  LoadContext(const TIDFSection& subsystems, const TIDFTextFile& file) {
    std::map<std::string, const TIDFSection*> sections;  // first of each name, ASCII case folded
    for (int i = 0; i < file.SectionCount(); ++i) {
      const TIDFSection* section = file.Sections(i);
      sections.emplace(text::UpperAscii(section->Name), section);
    }
    for (int i = 0; i < subsystems.ParamCount(); ++i) {
      numbers_.push_back(subsystems.Params(i)->AsInteger());
    }
    if (subsystems.ParamCount() > instlist::kMaxSubsystems) {
      WriteLog(" only the first " + std::to_string(instlist::kMaxSubsystems) + " of " +
               std::to_string(subsystems.ParamCount()) + " subsystems are loaded");
    }
    for (int i = 0; i < std::min(subsystems.ParamCount(), instlist::kMaxSubsystems); ++i) {
      Entry entry;
      entry.param = subsystems.Params(i);
      entry.number = numbers_[static_cast<std::size_t>(i)];
      auto found = sections.find(text::UpperAscii(entry.param->Name));
      entry.section = found == sections.end() ? nullptr : found->second;
      if (entry.number < 0) {
        // -1 is the "no item" answer of a walk through a comma list of numbers, so a
        // subsystem numbered below 0 would cut short every list that names it.
        entry.refused = true;
        WriteLog(" subsystem " + entry.param->Name + " is not loaded: its number " +
                 std::to_string(entry.number) + " is negative");
      } else if (entry.section) {
        ReadEntry(entry);
      }
      entries_.push_back(std::move(entry));
    }
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      const Entry& e = entries_[i];
      if (e.refused) continue;
      if (e.section && e.parentOk && e.parent != 0) byParent_[e.parent].push_back(i);
      if (e.badDepend) badDepends_.push_back(i);
      for (std::int32_t n : e.depends) {
        auto& list = dependents_[n];
        if (list.empty() || list.back() != i) list.push_back(i);
      }
    }
  }

  std::vector<Entry>& Entries() { return entries_; }
  // The numbers of all entries, also of those beyond the ones loaded.
  const std::vector<std::int32_t>& Numbers() const { return numbers_; }
  Entry& At(std::size_t i) { return entries_[i]; }
  // The entries whose "Parent" is `number` (not 0), in "SubSystems" order.
  const std::vector<std::size_t>& ChildrenOf(std::int32_t number) const {
    static const std::vector<std::size_t> none;
    auto it = byParent_.find(number);
    return it == byParent_.end() ? none : it->second;
  }

  // Rejects the subsystems whose chain of "Parent" numbers comes back to itself: they
  // could never hang below a top-level subsystem, and following them would never end.
  void MarkParentLoops() {
    std::map<std::int32_t, std::size_t> byNumber;
    for (std::size_t i = 0; i < entries_.size(); ++i) byNumber.emplace(entries_[i].number, i);
    enum { kNew, kOnPath, kDone };
    std::vector<int> state(entries_.size(), kNew);
    for (std::size_t start = 0; start < entries_.size(); ++start) {
      std::vector<std::size_t> path;
      std::size_t current = start;
      for (;;) {
        if (state[current] == kDone) break;
        if (state[current] == kOnPath) {
          auto loop = std::find(path.begin(), path.end(), current);
          for (auto it = loop; it != path.end(); ++it) entries_[*it].looped = true;
          break;
        }
        state[current] = kOnPath;
        path.push_back(current);
        const Entry& e = entries_[current];
        if (!e.section || !e.parentOk || e.parent == 0) break;
        auto next = byNumber.find(e.parent);
        if (next == byNumber.end()) break;
        current = next->second;
      }
      for (std::size_t i : path) state[i] = kDone;
    }
    for (const Entry& e : entries_) {
      if (e.looped) {
        WriteLog(" subsystem " + e.param->Name + " (" + std::to_string(e.number) +
                 ") is not loaded: its \"Parent\" chain comes back to itself");
      }
    }
  }

  // DependedOnBy of subsystem `number`: the values of the entries whose "Depend" names it.
  // An entry whose "Depend" breaks off at an item that is not a number before naming it is
  // reported the first time it matters, once per load: a box for every other subsystem
  // would bury the person under the same message.
  std::string DependedOnBy(std::int32_t number) {
    std::string list;
    auto found = dependents_.find(number);
    if (found != dependents_.end()) {
      for (std::size_t i : found->second) {
        if (entries_[i].number == number) continue;
        if (!list.empty()) list += ',';
        list += entries_[i].param->AsString();
      }
    }
    for (std::size_t i : badDepends_) {
      Entry& e = entries_[i];
      if (e.dependReported || e.number == number) continue;
      if (std::find(e.depends.begin(), e.depends.end(), number) != e.depends.end()) continue;
      e.dependReported = true;
      ShowLoggedMessage(kInvalidDepend + e.section->Name, SetupGlobals.MessageCaption,
                        mb::kOk | mb::kTaskModal);
    }
    return list;
  }

 private:
  static void ReadEntry(Entry& entry) {
    try {
      entry.parent = IntegerValue(*entry.section, "Parent");
      entry.parentOk = true;
    } catch (const EConvertError&) {
      WriteLog(" subsystem " + entry.param->Name +
               " is not loaded: its \"Parent\" is not a number");
    }
    for (const std::string& item : instlist::SplitList(Value(*entry.section, "Depend"), ',')) {
      std::int32_t n = 0;
      if (!instlist::TryStrToInt(text::TrimControl(item), n)) {
        entry.badDepend = true;
        break;
      }
      entry.depends.push_back(n);
    }
  }

  std::vector<std::int32_t> numbers_;
  std::vector<Entry> entries_;
  std::map<std::int32_t, std::vector<std::size_t>> byParent_;
  std::map<std::int32_t, std::vector<std::size_t>> dependents_;
  std::vector<std::size_t> badDepends_;
};

std::unique_ptr<TSysNode> MakeNode(std::int32_t number, const TIDFSection& section,
                                   LoadContext& context) {
  auto node = std::make_unique<TSysNode>();
  node->Info.Number = number;
  node->ReadFromSection(section);
  node->Info.DependedOnBy = context.DependedOnBy(number);
  return node;
}

// Each entry becomes at most one node, so that a description whose names lead several
// entries to one section cannot multiply the tree, and the depth stays bounded. A
// subsystem whose section cannot be read is left out with its subtree; its siblings load.
bool BuildChildrenFrom(TSysNode& parent, LoadContext& context, int depth) {
  bool added = false;
  const std::int32_t number = parent.Info.Number;
  if (number == 0) return false;
  for (std::size_t index : context.ChildrenOf(number)) {
    Entry& e = context.At(index);
    if (e.used || e.looped) continue;
    e.used = true;
    if (depth >= instlist::kMaxTreeDepth) {
      WriteLog(" subsystem " + e.param->Name + " is not loaded: nested too deep");
      continue;
    }
    std::unique_ptr<TSysNode> node;
    try {
      // The entry's own number: its name may differ in letter case from the section's.
      node = MakeNode(e.number, *e.section, context);
    } catch (const EConvertError& error) {
      WriteLog(" subsystem " + e.param->Name + " is not loaded: " + error.Message());
      continue;
    }
    TSysNode* child = parent.AddChild(std::move(node));
    added = true;
    BuildChildrenFrom(*child, context, depth + 1);
  }
  return added;
}

}  // namespace

void TSysNode::ReadFromSection(const TIDFSection& section) {
  Info.SectionName = section.Name;
  Info.Selected = false;
  Info.Complete = false;
  Info.Parent = IntegerValue(section, "Parent");
  Info.ViewParent = IntegerValue(section, "ViewParent");
  Info.Depend = Value(section, "Depend");
  Info.Library = Value(section, "Library");
  Info.Parameter = Value(section, "Parameter");
  Info.Archive = Value(section, "Archive");
  Info.ShortName = Value(section, "Short name");
  Info.FullName = Value(section, "Full name");
  Info.ViewOnly = text::UpperAscii(text::TrimControl(Value(section, "ViewOnly"))) == "TRUE";

  // Repeated identical key names all read the first one's value, as FindParam finds it.
  Info.Links.clear();
  Info.CheckFiles.clear();
  Info.ReqFiles.clear();
  const auto append = [](std::string& list, const char* separator, const std::string& item) {
    if (!list.empty()) list += separator;
    list += item;
  };
  const SectionKeys keys(section);
  for (int i = 0; i < section.ParamCount(); ++i) {
    const std::string& name = section.Params(i)->Name;
    const std::string& value = keys.Value(name);
    if (HasKeyPrefix(name, "MENULINK")) {
      append(Info.Links, "*", value + "?menu");
    } else if (HasKeyPrefix(name, "DESKTOPLINK")) {
      append(Info.Links, "*", value + "?desktop");
    }
    if (HasKeyPrefix(name, "CHECKFILE")) append(Info.CheckFiles, ",", value);
    if (HasKeyPrefix(name, "REQFILE")) append(Info.ReqFiles, ",", value);
  }
}

bool TSysNode::BuildChildren(const TIDFSection& subsystems, const TIDFTextFile& file) {
  LoadContext context(subsystems, file);
  context.MarkParentLoops();
  // This node and its ancestors are not built again below it.
  int depth = 1;
  for (const TCustomSysNode* n = this; n; n = n->ParentNode) {
    const auto* sys = dynamic_cast<const TSysNode*>(n);
    if (!sys) break;
    for (Entry& e : context.Entries()) {
      if (e.number == sys->Info.Number) e.used = true;
    }
    ++depth;
  }
  return BuildChildrenFrom(*this, context, depth - 1);
}

bool TSysTree::LoadFromIDF(const TIDFTextFile* file) {
  ClearChildren();
  if (!file) return false;
  const TIDFSection* subsystems = file->FindSection(kSubSystems);
  if (!subsystems) return true;

  LoadContext context(*subsystems, *file);  // a number that is not one raises here
  std::set<std::int32_t> numbers;
  for (std::int32_t number : context.Numbers()) {
    if (!numbers.insert(number).second) {
      ShowLoggedMessage(kDuplicateNumbers, SetupGlobals.MessageCaption, kErrorBox | mb::kOk);
      return false;
    }
  }
  index_.clear();
  context.MarkParentLoops();

  for (Entry& e : context.Entries()) {
    if (e.number == 0 || e.refused || !e.section || !e.parentOk || e.parent != 0 || e.used) {
      continue;
    }
    e.used = true;
    try {
      TSysNode* node = AddChild(MakeNode(e.number, *e.section, context));
      BuildChildrenFrom(*node, context, 1);
    } catch (const EConvertError& error) {
      WriteLog(" subsystem " + e.param->Name + " is not loaded: " + error.Message());
    } catch (...) {
      // One faulty subsystem does not stop the others; whatever of it was built stays.
    }
  }

  for (const Entry& e : context.Entries()) {
    if (e.used || e.looped || e.refused || !e.section || !e.parentOk || e.parent == 0) {
      continue;
    }
    WriteLog(" subsystem " + e.param->Name + " (" + std::to_string(e.number) +
             ") is not loaded: no loaded subsystem has its parent number " +
             std::to_string(e.parent));
  }
  return true;
}

// ---------------------------------------------------------------------------------------
// Writing

namespace {

void WriteNode(const TSysNode& node, TIDFSection& subsystems, TIDFTextFile& file) {
  const TSubsystemInfo& info = node.Info;
  subsystems.AddParam(info.SectionName)->SetAsInteger(info.Number);
  TIDFSection* section = file.AddSection(info.SectionName);
  section->AddParam("Parent")->SetAsInteger(info.Parent);
  section->AddParam("Depend")->SetAsString(info.Depend);
  section->AddParam("Library")->SetAsString(info.Library);
  section->AddParam("Parameter")->SetAsString(info.Parameter);
  section->AddParam("Archive")->SetAsString(info.Archive);
  section->AddParam("Short Name")->SetAsString(info.ShortName);
  section->AddParam("Full Name")->SetAsString(info.FullName);
  section->AddParam("CheckFile")->SetAsString(info.CheckFiles);
  section->AddParam("ReqFile")->SetAsString(info.ReqFiles);

  // One counter over both kinds, so names run MenuLink1, DesktopLink2, ...
  int count = 0;
  for (const std::string& entry : instlist::SplitList(info.Links, '*')) {
    ++count;
    const auto endsWith = [&](std::string_view tail) {
      return entry.size() >= tail.size() &&
             entry.compare(entry.size() - tail.size(), tail.size(), tail) == 0;
    };
    if (endsWith("?menu")) {
      section->AddParam("MenuLink" + std::to_string(count))
          ->SetAsString(entry.substr(0, entry.size() - 5));
    } else if (endsWith("?desktop")) {
      section->AddParam("DesktopLink" + std::to_string(count))
          ->SetAsString(entry.substr(0, entry.size() - 8));
    }
  }
  for (int i = 0; i < node.ChildCount(); ++i) WriteNode(*node.Children(i), subsystems, file);
}

}  // namespace

bool TSysTree::SaveToIDF(TIDFTextFile* file) const {
  if (!file) return false;
  try {
    TIDFSection* subsystems = file->AddSection(kSubSystems);
    for (int i = 0; i < ChildCount(); ++i) WriteNode(*Children(i), *subsystems, *file);
    return true;
  } catch (...) {
    return false;
  }
}

void TSysTree::PruneDependencyLists() {
  const auto prune = [this](const std::string& list) {
    std::string kept;
    for (std::int32_t n : instlist::NumberItems(list)) {
      if (!FindByNumber(n)) continue;
      if (!kept.empty()) kept += ',';
      kept += std::to_string(n);
    }
    return kept;
  };
  for (TSysNode* node : index_) {
    node->Info.Depend = prune(node->Info.Depend);
    node->Info.DependedOnBy = prune(node->Info.DependedOnBy);
  }
}
