// Object lists: an owning array of objects with the classic growth and limits, and a sorted
// variant whose subclasses supply the comparison. The ZIP reader keeps its entry records in
// them (TSortedZip).
#pragma once

#include <string>
#include <vector>

#include "common/errors.h"

class TObject {
 public:
  virtual ~TObject() = default;
  virtual const char* ClassName() const { return "TObject"; }
};

enum TDuplicates { dupsIgnore = 0, dupsAccept = 1, dupsError = 2 };

class TObjectList {
 public:
  // Count and Capacity never exceed this: the most entries a ZIP archive holds without its
  // 64-bit extension.
  static constexpr int kMaxListSize = 65535;

  TObjectList() = default;
  virtual ~TObjectList();
  TObjectList(const TObjectList&) = delete;
  TObjectList& operator=(const TObjectList&) = delete;

  bool OwnsObjects = true;

  int Count() const { return count_; }
  int Capacity() const { return static_cast<int>(items_.size()); }
  void SetCapacity(int capacity);
  TObject* Items(int index) const;

  virtual int Add(TObject* item);
  virtual void Insert(int index, TObject* item);
  virtual void Put(int index, TObject* item);
  virtual int IndexOf(TObject* item) const;
  // Forgets every item without freeing it.
  virtual void Clear();
  // Frees every item (when OwnsObjects), then Clear.
  void FreeAll();
  TObject* First() const;
  TObject* Last() const;
  // direction 1: the item after `item` (the first one for no item); 0: the one before (the
  // last one for no item); nullptr at either end.
  TObject* Neighbour(TObject* item, int direction) const;

 protected:
  // Raises the list index error for `index`.
  [[noreturn]] virtual void Error(int index) const;
  virtual void Grow();
  virtual void FreeItem(TObject* item);
  // Places item at index, moving the later ones up; index must be in 0..Count.
  void InsertAt(int index, TObject* item);

 private:
  std::vector<TObject*> items_;  // size() is the capacity
  int count_ = 0;
};

class TSortedObjectList : public TObjectList {
 public:
  explicit TSortedObjectList(TDuplicates duplicates = dupsIgnore) : Duplicates(duplicates) {}

  TDuplicates Duplicates;

  // Sorted: Add is Insert at 0 and returns 0; Insert ignores the index.
  int Add(TObject* item) override;
  void Insert(int index, TObject* item) override;
  void Put(int index, TObject* item) override;
  // Index of an item that compares equal (not necessarily the same one), -1 when none.
  int IndexOf(TObject* item) const override;
  // Binary search for key; index is where it belongs (for dupsAccept the first place whose
  // item does not compare below the key).
  bool Find(const TObject* key, int& index) const;

 protected:
  virtual const TObject* KeyOf(const TObject* item) const { return item; }
  // < 0 when the list's item a belongs before the key b.
  virtual int Compare(const TObject* a, const TObject* b) const = 0;
};
