#include "unzip/ObjectList.h"

#include <algorithm>
#include <string>

namespace {

[[noreturn]] void RaiseListError(const std::string& message) { throw EListError(message); }

std::string IndexMessage(int index) {
  return "List index out of bounds (" + std::to_string(index) + ")";
}

}  // namespace

TObjectList::~TObjectList() {
  if (OwnsObjects) {
    for (int i = 0; i < count_; ++i) delete items_[static_cast<std::size_t>(i)];
  }
}

void TObjectList::Error(int index) const { RaiseListError(IndexMessage(index)); }

void TObjectList::SetCapacity(int capacity) {
  if (capacity < count_ || capacity > kMaxListSize) Error(capacity);
  items_.resize(static_cast<std::size_t>(capacity), nullptr);
}

void TObjectList::Grow() {
  int capacity = Capacity();
  int delta = capacity <= 4 ? 4 : capacity <= 8 ? 8 : 16;
  // The last step may be shorter, so the list can fill up to its limit.
  int grown = capacity + delta;
  if (grown > kMaxListSize) grown = kMaxListSize;
  if (grown == capacity) Error(count_);
  SetCapacity(grown);
}

TObject* TObjectList::Items(int index) const {
  if (index < 0 || index >= count_) Error(index);
  return items_[static_cast<std::size_t>(index)];
}

void TObjectList::InsertAt(int index, TObject* item) {
  if (index < 0 || index > count_) Error(index);
  if (count_ == Capacity()) Grow();
  std::move_backward(items_.begin() + index, items_.begin() + count_,
                     items_.begin() + count_ + 1);
  items_[static_cast<std::size_t>(index)] = item;
  ++count_;
}

int TObjectList::Add(TObject* item) {
  int index = count_;
  InsertAt(index, item);
  return index;
}

void TObjectList::Insert(int index, TObject* item) { InsertAt(index, item); }

void TObjectList::Put(int index, TObject* item) {
  if (index < 0 || index >= count_) Error(index);
  items_[static_cast<std::size_t>(index)] = item;
}

int TObjectList::IndexOf(TObject* item) const {
  for (int i = 0; i < count_; ++i) {
    if (items_[static_cast<std::size_t>(i)] == item) return i;
  }
  return -1;
}

void TObjectList::Clear() {
  count_ = 0;
  items_.clear();
  items_.shrink_to_fit();
}

void TObjectList::FreeItem(TObject* item) { delete item; }

void TObjectList::FreeAll() {
  if (OwnsObjects) {
    for (int i = 0; i < count_; ++i) FreeItem(items_[static_cast<std::size_t>(i)]);
  }
  Clear();
}

TObject* TObjectList::First() const { return Items(0); }

TObject* TObjectList::Last() const { return Items(count_ - 1); }

TObject* TObjectList::Neighbour(TObject* item, int direction) const {
  if (item == nullptr) {
    if (count_ == 0) return nullptr;
    return direction == 1 ? First() : Last();
  }
  int index = TObjectList::IndexOf(item);
  if (index < 0) {
    RaiseListError(std::string("tObject ") + item->ClassName() + " not in item list");
  }
  int next = direction == 1 ? index + 1 : index - 1;
  if (next < 0 || next >= count_) return nullptr;
  return items_[static_cast<std::size_t>(next)];
}

// ---------------------------------------------------------------------------------------

bool TSortedObjectList::Find(const TObject* key, int& index) const {
  bool found = false;
  int low = 0;
  int high = Count() - 1;
  while (low <= high) {
    int middle = low + (high - low) / 2;
    int c = Compare(KeyOf(Items(middle)), key);
    if (c < 0) {
      low = middle + 1;
    } else {
      high = middle - 1;
      if (c == 0) {
        found = true;
        if (Duplicates != dupsAccept) low = middle;
      }
    }
  }
  index = low;
  return found;
}

void TSortedObjectList::Insert(int /*index*/, TObject* item) {
  int position = 0;
  if (Find(KeyOf(item), position)) {
    if (Duplicates == dupsIgnore) return;
    if (Duplicates == dupsError) RaiseListError("Duplicate Object index");
  }
  InsertAt(position, item);
}

int TSortedObjectList::Add(TObject* item) {
  Insert(0, item);
  return 0;
}

void TSortedObjectList::Put(int /*index*/, TObject* /*item*/) {
  RaiseListError("Cannot <Put> an Object in a sorted list!");
}

int TSortedObjectList::IndexOf(TObject* item) const {
  int position = 0;
  return Find(KeyOf(item), position) ? position : -1;
}
