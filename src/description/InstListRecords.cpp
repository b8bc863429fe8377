// The library image: a node and its subtree as one memory block for a subsystem library
// (layout in InstList.h). The texts go out in the ANSI code page, as every text the
// libraries see. Reading back trusts nothing in the block: a library may have written
// anything there, so every length is checked against the block before it is followed.
#include <cstring>

#include "common/text.h"
#include "description/InstList.h"
#include "setup/SetupGlobals.h"

namespace {

constexpr std::size_t kFixedHeader = 14;  // two flag bytes and three string lengths

void Put32(std::uint8_t* at, std::uint32_t value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
  at[2] = static_cast<std::uint8_t>(value >> 16);
  at[3] = static_cast<std::uint8_t>(value >> 24);
}

std::uint32_t Get32(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
         static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

std::size_t HeaderLength(const TSubsystemInfo& info) {
  return kFixedHeader + text::Utf8ToAnsi(info.Library).size() +
         text::Utf8ToAnsi(info.Parameter).size() + text::Utf8ToAnsi(info.ShortName).size();
}

// The checked frame of one record: its header length and the end of the record, both
// within `size`. False when the record does not fit.
struct RecordFrame {
  std::uint64_t header = 0;  // H
  std::uint64_t end = 0;     // offset just after the record
};

bool ReadFrame(const std::uint8_t* record, std::size_t size, RecordFrame& frame) {
  if (!record || size < 12) return false;
  frame.end = static_cast<std::uint64_t>(Get32(record)) + 4;
  if (frame.end > size) return false;
  frame.header = Get32(record + 4);
  return 12 + frame.header <= frame.end;
}

}  // namespace

int TSysNode::GetRecordSize() const {
  std::size_t size = 12 + HeaderLength(Info);
  for (const auto& child : children_) size += static_cast<std::size_t>(child->GetRecordSize());
  return static_cast<int>(size);
}

int TSysNode::WriteRecord(std::uint8_t* block) const {
  if (!block) return 0;
  try {
    const std::uint32_t size = static_cast<std::uint32_t>(GetRecordSize());
    const std::string strings[] = {text::Utf8ToAnsi(Info.Library),
                                   text::Utf8ToAnsi(Info.Parameter),
                                   text::Utf8ToAnsi(Info.ShortName)};
    std::size_t header = kFixedHeader;
    for (const auto& s : strings) header += s.size();

    Put32(block, size - 4);
    Put32(block + 4, static_cast<std::uint32_t>(header));
    block[8] = Info.Selected ? 1 : 0;
    block[9] = block[8];
    std::size_t pos = 10;
    for (const auto& s : strings) {
      Put32(block + pos, static_cast<std::uint32_t>(s.size()));
      if (!s.empty()) std::memcpy(block + pos + 4, s.data(), s.size());
      pos += 4 + s.size();
    }
    Put32(block + pos, static_cast<std::uint32_t>(children_.size()));
    pos += 4;
    for (const auto& child : children_) pos += static_cast<std::size_t>(child->WriteRecord(block + pos));
    return static_cast<int>(pos);
  } catch (...) {
    return 0;
  }
}

const std::uint8_t* TSysNode::GetChildRecord(const std::uint8_t* record, std::size_t size,
                                             int index) {
  if (!record) return nullptr;
  RecordFrame frame;
  if (!ReadFrame(record, size, frame)) {
    WriteLog(" error getting pointer");
    return nullptr;
  }
  const auto count = static_cast<std::int32_t>(Get32(record + 8 + frame.header));
  if (index < 0 || index >= count) return nullptr;
  std::uint64_t pos = 12 + frame.header;
  for (int i = 0;; ++i) {
    if (pos + 4 > frame.end) break;
    const std::uint64_t next = pos + 4 + Get32(record + pos);
    if (next > frame.end) break;
    if (i == index) return record + pos;
    pos = next;
  }
  WriteLog(" error getting pointer");
  return nullptr;
}

bool TSysNode::ReadSelectionFromRecord(const std::uint8_t* record, std::size_t size) {
  if (!record) return Info.Complete;
  RecordFrame frame;
  if (!ReadFrame(record, size, frame)) return Info.Complete;
  // The top node of an image keeps its own mark; a library decides only about the
  // subsystems below it. One saved as selected stays selected whatever the library says.
  if (dynamic_cast<TSysNode*>(ParentNode)) Info.Selected = record[8] != 0;
  if (Info.SavedSelected) Info.Selected = true;
  Info.Complete = Info.Selected;
  const auto stored = static_cast<std::int32_t>(Get32(record + 8 + frame.header));
  if (stored != ChildCount()) return Info.Complete;
  for (int i = 0; i < ChildCount(); ++i) {
    const std::uint8_t* child = GetChildRecord(record, static_cast<std::size_t>(frame.end), i);
    if (!child) break;
    const std::size_t childSize = static_cast<std::size_t>(Get32(child)) + 4;
    if (!children_[static_cast<std::size_t>(i)]->ReadSelectionFromRecord(child, childSize)) {
      Info.Complete = false;
    }
  }
  return Info.Complete;
}
