// The archives of a tree and their unpacked sizes (the disk space a selection needs).
// Sums are 64-bit: a product may well unpack to more than 2 GB.
#include <utility>

#include "common/errors.h"
#include "common/osfile.h"
#include "common/text.h"
#include "description/InstList.h"

namespace {

std::string NameKey(const std::string& name) {
  return text::UpperAscii(text::TrimControl(name));
}

ArchiveSizeReader& DefaultReader() {
  static ArchiveSizeReader reader = ReadZipUncompressedSize;
  return reader;
}

}  // namespace

TSubsystemInfo* TArchive::Items(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return items_[static_cast<std::size_t>(index)];
}

TArchive* TArchiveList::Items(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return items_[static_cast<std::size_t>(index)].get();
}

void TArchiveList::AddArchive(const std::string& name, TSubsystemInfo* info) {
  TArchive* archive = nullptr;
  for (const auto& a : items_) {
    if (text::SameTextAscii(a->ArchiveName, name)) {
      archive = a.get();
      break;
    }
  }
  if (!archive) {
    items_.push_back(std::make_unique<TArchive>(name));
    archive = items_.back().get();
  }
  archive->Add(info);
}

void TArchiveList::Delete(int index) {
  if (index < 0 || index >= Count()) return;
  items_.erase(items_.begin() + index);
}

void TArchiveList::Clear() {
  while (!items_.empty()) items_.pop_back();
}

void RemoveDuplicateArchives(TArchiveList& archives) {
  for (int i = archives.Count() - 1; i > 0; --i) {
    const std::string key = NameKey(archives.Items(i)->ArchiveName);
    for (int j = 0; j < i; ++j) {
      if (NameKey(archives.Items(j)->ArchiveName) == key) {
        archives.Delete(i);
        break;
      }
    }
  }
}

void SetDefaultArchiveSizeReader(ArchiveSizeReader reader) { DefaultReader() = std::move(reader); }

ArchiveSizeReader DefaultArchiveSizeReader() { return DefaultReader(); }

TArchiveSize::TArchiveSize() : Reader(DefaultReader()) {}

TArcSize* TArchiveSize::Items(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return items_[static_cast<std::size_t>(index)].get();
}

void TArchiveSize::AddName(const std::string& name) {
  const std::string key = NameKey(name);
  for (const auto& item : items_) {
    if (NameKey(item->Name) == key) return;
  }
  auto item = std::make_unique<TArcSize>();
  item->Name = name;
  items_.push_back(std::move(item));
}

std::int64_t TArchiveSize::TotalSize(const TArchiveList& archives) const {
  std::int64_t total = 0;
  for (int i = 0; i < archives.Count(); ++i) {
    const std::string key = NameKey(archives.Items(i)->ArchiveName);
    for (const auto& item : items_) {
      if (NameKey(item->Name) == key) {
        total += item->Size;
        break;
      }
    }
  }
  return total;
}

void TArchiveSize::ComputeSizes() {
  if (!BaseDir.empty()) BaseDir += "\\";
  for (const auto& item : items_) {
    item->Size = 0;
    const std::string path = BaseDir + item->Name;
    if (!os::FileExists(path)) continue;
    if (!Reader) throw Exception("No ZIP reader is set to size " + path);
    item->Size = Reader(path);
  }
}

void TSysTree::ComputeArchiveSizes(TArchiveSize& sizes) const {
  TArchiveList archives;
  CollectArchives(archives, false);
  CollectArchives(archives, true);
  RemoveDuplicateArchives(archives);
  for (int i = 0; i < archives.Count(); ++i) sizes.AddName(archives.Items(i)->ArchiveName);
  sizes.ComputeSizes();
}
