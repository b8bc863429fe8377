// The subsystem tree.
//
// A product is made of numbered subsystems. The install description lists them in its
// section "SubSystems" (key = the subsystem's own section, value = its number, in tree
// order) and describes each in a section of its own ("Parent", "Depend", "Library",
// "Parameter", "Archive", "Short name", "Full name", "ViewParent", "ViewOnly" and the
// MENULINK*, DESKTOPLINK*, CHECKFILE*, REQFILE* keys).
//
// Two arrangements live in one tree:
//   - the install tree (TSysNode children, given by "Parent"), which owns the nodes;
//   - the view tree (given by each subsystem's "ViewParent": 0 = at the top of the wizard's
//     tree view, -1 = never shown and always selected), used for display and selection.
// The root, TSysTree, keeps Index: every node registered below it, in registration order.
// Every lookup by number goes through Index, so numbers are the identity of subsystems
// across trees, files, library images and log texts.
//
// Library image (the block handed to a subsystem library; all integers 32-bit little-endian,
// strings as a 32-bit length and that many ANSI bytes, no terminator):
//
//   offset 0      record length, children included, minus 4
//   offset 4      H = 14 + len(Library) + len(Parameter) + len(ShortName)
//   offset 8      Selected (0/1)
//   offset 9      Selected again
//   offset 10     Library, Parameter, ShortName (each length + bytes)
//   offset 8+H    child count
//   offset 12+H   the child records, in child order, each in this same layout
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "description/TreeInterfaces.h"

class TIDFSection;
class TIDFTextFile;
class TSysNode;
class TSysTree;
class TArchiveList;
class TArchiveSize;

// Everything the description says about one subsystem, plus its selection marks.
class TSubsystemInfo {
 public:
  bool Complete = true;       // selected, and everything shown below it is selected
  std::string Archive;        // comma list of archive file names
  std::string DependedOnBy;   // comma list of the numbers whose "Depend" names this one
  bool Selected = true;       // chosen (to install or keep); the engine's "done" mark too
  std::string CheckFiles;     // all CHECKFILE values joined with ","
  std::string Depend;         // comma list of the numbers this one needs
  std::string FullName;
  bool SavedSelected = false;
  std::string Library;
  std::string Links;          // entries ending in "?menu" or "?desktop", joined with "*"
  std::string Parameter;
  std::int32_t Parent = 0;
  std::string ReqFiles;       // all REQFILE values joined with ","
  std::string SectionName;
  std::string ShortName;
  std::int32_t Number = 0;
  std::int32_t ViewParent = 0;
  bool ViewOnly = false;

  // Copies every field except the three marks.
  void Assign(const TSubsystemInfo& other);
};

class TCustomSysNode {
 public:
  TCustomSysNode() = default;
  virtual ~TCustomSysNode() = default;
  TCustomSysNode(const TCustomSysNode&) = delete;
  TCustomSysNode& operator=(const TCustomSysNode&) = delete;

  // The node or tree that holds this one; nullptr while detached.
  TCustomSysNode* ParentNode = nullptr;

  int ChildCount() const { return static_cast<int>(children_.size()); }
  // Raises EListError outside 0..ChildCount()-1.
  TSysNode* Children(int index) const;

  // Takes the node, makes this its parent and registers it (and whatever it already holds)
  // with the tree above. Returns the node.
  virtual TSysNode* AddChild(std::unique_ptr<TSysNode> node);
  virtual void RegisterNode(TSysNode* node) = 0;
  // Unregisters and frees the child (and its subtree); an index outside the list does
  // nothing.
  virtual void DeleteChild(int index);
  // Removes this very node from the tree's Index.
  virtual void UnregisterNode(const TSysNode* node) = 0;
  virtual TSysNode* FindByNumber(std::int32_t number) = 0;
  // Comma list of the numbers whose ViewParent is `number`, in Index order.
  virtual std::string GetViewChildren(std::int32_t number) = 0;
  virtual bool AllViewChildrenComplete(std::int32_t number) = 0;
  virtual bool NoViewChildSelected(std::int32_t number) = 0;

  void ClearChildren();

  // Bulk operations on every node below this one.
  void SelectAll();
  void DeselectAll();
  void ComputeComplete();
  void SaveSelection();
  void RemoveUnselected(bool recursive);
  void RemoveComplete();
  TSysNode* FindInSubtree(std::int32_t number) const;

  // Adds to `target` copies of all children of this node, recursively (new nodes: marked
  // selected and complete).
  void CopyChildrenTo(TCustomSysNode* target) const;
  // Replaces the children of `target` by copies of the selected, not view-only children of
  // this node, recursively by the same rule.
  void CopySelectedTo(TCustomSysNode* target) const;

  // Lists: each appends to `list`, walking in pre-order (a node before its children). Called
  // on a node, the node itself comes first.
  void CollectUnselectedNames(std::vector<std::string>& list) const;
  void CollectLinks(std::vector<std::string>& list, bool desktop) const;
  void CollectCheckFiles(std::vector<std::string>& list) const;
  void CollectReqFiles(std::vector<std::string>& list) const;
  void CollectArchives(TArchiveList& archives, bool state) const;

 protected:
  // Calls `visit` for this node (when it is a subsystem) and every node below, pre-order.
  void ForEachPreOrder(const std::function<void(const TSysNode&)>& visit) const;
  // The subsystem nodes of this level and below, pre-order, without this node itself.
  void ForEachBelow(const std::function<void(TSysNode&)>& visit) const;
  virtual const TSysNode* AsSysNode() const { return nullptr; }

  std::vector<std::unique_ptr<TSysNode>> children_;

 private:
  void RegisterSubtree(TSysNode* node);
};

class TSysNode : public TCustomSysNode {
 public:
  TSysNode();
  ~TSysNode() override;

  TSubsystemInfo Info;

  void RegisterNode(TSysNode* node) override;
  void UnregisterNode(const TSysNode* node) override;
  TSysNode* FindByNumber(std::int32_t number) override;
  std::string GetViewChildren(std::int32_t number) override;
  bool AllViewChildrenComplete(std::int32_t number) override;
  bool NoViewChildSelected(std::int32_t number) override;

  // Reads the subsystem's keys; both marks become false. A "Parent" or "ViewParent" that is
  // not a number raises EConvertError.
  void ReadFromSection(const TIDFSection& section);
  // Adds below this node the subsystems whose "Parent" is this node's number, recursively;
  // true when at least one child was added.
  bool BuildChildren(const TIDFSection& subsystems, const TIDFTextFile& file);

  // Selection as the user ticks and unticks; they keep parents, dependencies and the view
  // tree consistent. A number item of "Depend" or "DependedOnBy" that is not a number
  // raises EConvertError.
  void Select();
  void SelectUp();
  void Deselect();
  bool AllChildrenComplete() const;

  // Appends to the comma list `list` the numbers of the subsystems that depend on this one
  // and are not in it yet.
  void CollectDependents(std::string& list) const;

  // Library image (layout at the top of this file).
  int GetRecordSize() const;
  // Writes GetRecordSize() bytes; returns their count, 0 on failure.
  int WriteRecord(std::uint8_t* block) const;
  // The readers take the size of the block the record lies in: a library may overwrite
  // every length inside the block, so none of them is followed beyond `size` bytes.
  //
  // The child record with that index, or nullptr (outside the stored child count, or a
  // record that does not fit in `size`).
  static const std::uint8_t* GetChildRecord(const std::uint8_t* record, std::size_t size,
                                            int index);
  // Takes back the selection a library left in the record; returns Complete. A record that
  // does not fit in `size` changes nothing.
  bool ReadSelectionFromRecord(const std::uint8_t* record, std::size_t size);

 protected:
  const TSysNode* AsSysNode() const override { return this; }

 private:
  friend class TSysTree;
  void UpdateParentComplete(int depth);
  void SelectDependencies();
  void SelectViewChildren();
  void UpdateViewParent(int depth);
  void SelectUpAt(int depth);
  void ClearAncestorsComplete();
  void ReleaseViewParent(int depth);
  bool ViewWalkTooDeep(int depth);
};

class TSysTree : public TCustomSysNode {
 public:
  TSysTree() = default;
  ~TSysTree() override;

  // Every node registered below the tree, in registration order (not owned).
  const std::vector<TSysNode*>& Index() const { return index_; }

  void RegisterNode(TSysNode* node) override;
  void UnregisterNode(const TSysNode* node) override;
  TSysNode* FindByNumber(std::int32_t number) override;
  std::string GetViewChildren(std::int32_t number) override;
  bool AllViewChildrenComplete(std::int32_t number) override;
  bool NoViewChildSelected(std::int32_t number) override;

  // Builds the tree from a description. False (tree empty) without a file or when two
  // subsystems share a number; a number in "SubSystems" that is not one raises
  // EConvertError. A subsystem numbered below 0 is not loaded (and the log says so): -1
  // means "no item" to everyone who walks a list of numbers.
  bool LoadFromIDF(const TIDFTextFile* file);
  // Appends a "SubSystems" section and one section per node to the file object.
  bool SaveToIDF(TIDFTextFile* file) const;
  // Drops from every Depend and DependedOnBy the numbers no node of the tree bears.
  void PruneDependencyLists();

  // Deselects every selected, not view-only node whose ShortName is not in `names`
  // (compared without regard to letter case, Cyrillic included).
  void DeselectNotListed(const std::vector<std::string>& names);

  // Between trees; a node's counterpart is the node of the same number among the children
  // of its parent's counterpart (among the top-level nodes for a top-level node).
  bool MatchAgainst(const TSysTree* other);
  void MergeInto(TSysTree* other) const;
  void CopyUnselectedTo(TSysTree* other) const;
  // Copies the node with its subtree and the chain of its ancestors into `target`, as a new
  // top-level subtree; returns the node's copy.
  static TSysNode* CopyWithAncestors(const TSysNode* node, TSysTree* target);

  // The numbers of the subsystems that depend on any node of the tree, as a comma list in
  // which each number stands once; appended to `list`.
  void CollectDependents(std::string& list) const;

  void ComputeArchiveSizes(TArchiveSize& sizes) const;

  // Fills the view from the view tree; every shown node and every hidden one (ViewParent -1)
  // ends selected and complete.
  bool FillTreeView(ITreeViewItems& items);
  // Mode 1 marks selected nodes as "Installed"; mode 2 removes the marks of nodes whose
  // SavedSelected is false. Always true.
  bool UpdateInstalledValues(IRegistryKey& key, int mode) const;

 private:
  std::vector<TSysNode*> index_;
};

// Item `index` (from 1) of a comma list of numbers, converted without trimming; -1 when
// there is no such item or it is not a number.
std::int32_t GetListItem(const std::string& list, int index);

// ---------------------------------------------------------------------------------------
// Archives and their sizes

// One archive file and the subsystems that use it (not owned).
class TArchive {
 public:
  explicit TArchive(std::string name) : ArchiveName(std::move(name)) {}
  std::string ArchiveName;
  int Count() const { return static_cast<int>(items_.size()); }
  TSubsystemInfo* Items(int index) const;  // nullptr outside the range
  void Add(TSubsystemInfo* info) { items_.push_back(info); }

 private:
  std::vector<TSubsystemInfo*> items_;
};

class TArchiveList {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  TArchive* Items(int index) const;  // nullptr outside the range
  // Adds the subsystem to the archive of that name (ASCII letters without regard to case),
  // creating the archive when there is none.
  void AddArchive(const std::string& name, TSubsystemInfo* info);
  void Delete(int index);
  void Clear();

 private:
  std::vector<std::unique_ptr<TArchive>> items_;
};

// Removes every archive whose trimmed, upper-cased name an earlier one already has.
void RemoveDuplicateArchives(TArchiveList& archives);

struct TArcSize {
  std::string Name;
  std::int64_t Size = 0;  // unpacked bytes; products beyond 2 GB exist
};

// Gives the sum of the unpacked sizes of all entries of a ZIP archive; raises the reader's
// error for an archive it cannot read.
using ArchiveSizeReader = std::function<std::int64_t(const std::string& archivePath)>;
// The ZIP reader's answer: opens the archive, reads its directory and adds up the unpacked
// sizes of its entries; raises the ZIP reader's error for an archive it cannot read.
std::int64_t ReadZipUncompressedSize(const std::string& archivePath);
// The reader a new TArchiveSize starts with: ReadZipUncompressedSize unless replaced.
void SetDefaultArchiveSizeReader(ArchiveSizeReader reader);
ArchiveSizeReader DefaultArchiveSizeReader();

class TArchiveSize {
 public:
  TArchiveSize();
  std::string BaseDir;     // directory of the archives; empty = the current directory
  ArchiveSizeReader Reader;

  int Count() const { return static_cast<int>(items_.size()); }
  TArcSize* Items(int index) const;  // nullptr outside the range
  // Adds the name with size 0 unless it is there (trimmed, upper-cased) already.
  void AddName(const std::string& name);
  // Sum of the sizes of the list's archives; archives without an entry add nothing.
  std::int64_t TotalSize(const TArchiveList& archives) const;
  // Sizes every entry from its archive file; a missing file counts 0.
  void ComputeSizes();

 private:
  std::vector<std::unique_ptr<TArcSize>> items_;
};
