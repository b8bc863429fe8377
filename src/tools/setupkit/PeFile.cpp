// The PE format as the Microsoft "PE Format" document describes it: the DOS header's
// e_lfanew points to "PE\0\0", the 20-byte COFF header follows, then the optional header
// (PE32 or PE32+), whose data directory 0 locates the export directory by its RVA; RVAs are
// mapped to file offsets through the section table.
#include "tools/setupkit/PeFile.h"

#include <cstdio>

#include "common/osfile.h"

namespace {

constexpr std::uint16_t kFileDll = 0x2000;
constexpr std::uint16_t kMagicPe32 = 0x10B;
constexpr std::uint16_t kMagicPe32Plus = 0x20B;
constexpr std::size_t kSectionHeaderSize = 40;
// A name longer than this is not a name a loader would look up; it stops a scan through
// a damaged file.
constexpr std::size_t kMaxNameLength = 4096;
// Images larger than this are not plug-in libraries worth reading whole.
constexpr std::int64_t kMaxImageSize = std::int64_t{1} << 30;

class TReader {
 public:
  explicit TReader(const std::string& bytes) : bytes_(bytes) {}
  bool Has(std::uint64_t offset, std::uint64_t size) const {
    return offset <= bytes_.size() && size <= bytes_.size() - offset;
  }
  std::uint16_t U16(std::uint64_t offset) const {
    return static_cast<std::uint16_t>(Byte(offset) | (Byte(offset + 1) << 8));
  }
  std::uint32_t U32(std::uint64_t offset) const {
    return static_cast<std::uint32_t>(U16(offset)) |
           (static_cast<std::uint32_t>(U16(offset + 2)) << 16);
  }
  // The zero-terminated string at offset; false when it runs off the end or is too long.
  bool String(std::uint64_t offset, std::string& out) const {
    out.clear();
    for (std::uint64_t i = offset; i < bytes_.size(); ++i) {
      if (bytes_[i] == '\0') return true;
      if (out.size() >= kMaxNameLength) return false;
      out += bytes_[i];
    }
    return false;
  }

 private:
  unsigned Byte(std::uint64_t offset) const {
    return static_cast<unsigned char>(bytes_[static_cast<std::size_t>(offset)]);
  }
  const std::string& bytes_;
};

struct TSection {
  std::uint32_t VirtualAddress = 0;
  std::uint32_t VirtualSize = 0;
  std::uint32_t RawSize = 0;
  std::uint32_t RawPointer = 0;
};

// The file offset of an RVA, when the RVA lies in the file data of a section.
bool RvaToOffset(const std::vector<TSection>& sections, std::uint32_t rva,
                 std::uint64_t& offset) {
  for (const TSection& s : sections) {
    const std::uint64_t begin = s.VirtualAddress;
    const std::uint64_t extent = s.VirtualSize != 0 && s.VirtualSize < s.RawSize ? s.VirtualSize
                                                                                 : s.RawSize;
    if (rva >= begin && rva - begin < extent) {
      offset = std::uint64_t{s.RawPointer} + (rva - begin);
      return true;
    }
  }
  return false;
}

bool Fail(std::string& error, const std::string& text) {
  error = text;
  return false;
}

}  // namespace

std::string PeMachineName(std::uint16_t machine) {
  if (machine == kPeMachineAmd64) return "x86-64";
  if (machine == kPeMachineI386) return "i386";
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%X", static_cast<unsigned>(machine));
  return buffer;
}

bool ReadPeImage(const std::string& bytes, TPeInfo& info, std::string& error) {
  info = TPeInfo{};
  const TReader r(bytes);
  if (!r.Has(0, 64) || bytes[0] != 'M' || bytes[1] != 'Z') {
    return Fail(error, "not a Windows program file: no MZ signature");
  }
  const std::uint64_t pe = r.U32(0x3C);
  if (!r.Has(pe, 24) || bytes.compare(static_cast<std::size_t>(pe), 4, std::string("PE\0\0", 4)) != 0) {
    return Fail(error, "not a Windows program file: no PE signature");
  }
  const std::uint64_t coff = pe + 4;
  info.Machine = r.U16(coff);
  const unsigned sectionCount = r.U16(coff + 2);
  const std::uint64_t optionalSize = r.U16(coff + 16);
  info.IsDll = (r.U16(coff + 18) & kFileDll) != 0;

  const std::uint64_t optional = coff + 20;
  if (!r.Has(optional, optionalSize) || optionalSize < 2) {
    return Fail(error, "damaged PE header: the optional header is missing or cut off");
  }
  const std::uint16_t magic = r.U16(optional);
  std::uint64_t directoryCountAt = 0;
  if (magic == kMagicPe32) {
    directoryCountAt = 92;
  } else if (magic == kMagicPe32Plus) {
    directoryCountAt = 108;
  } else {
    return Fail(error, "damaged PE header: unknown optional header magic");
  }
  const std::uint64_t sectionTable = optional + optionalSize;
  if (!r.Has(sectionTable, std::uint64_t{sectionCount} * kSectionHeaderSize)) {
    return Fail(error, "damaged PE header: the section table is cut off");
  }
  std::vector<TSection> sections(sectionCount);
  for (unsigned i = 0; i < sectionCount; ++i) {
    const std::uint64_t at = sectionTable + std::uint64_t{i} * kSectionHeaderSize;
    sections[i].VirtualSize = r.U32(at + 8);
    sections[i].VirtualAddress = r.U32(at + 12);
    sections[i].RawSize = r.U32(at + 16);
    sections[i].RawPointer = r.U32(at + 20);
  }

  // No export directory: a valid image that exports nothing.
  if (directoryCountAt + 4 > optionalSize) return true;
  const std::uint32_t directoryCount = r.U32(optional + directoryCountAt);
  const std::uint64_t exportEntry = directoryCountAt + 4;
  if (directoryCount < 1 || exportEntry + 8 > optionalSize) return true;
  const std::uint32_t exportRva = r.U32(optional + exportEntry);
  const std::uint32_t exportSize = r.U32(optional + exportEntry + 4);
  if (exportRva == 0 || exportSize == 0) return true;

  std::uint64_t dir = 0;
  if (!RvaToOffset(sections, exportRva, dir) || !r.Has(dir, 40)) {
    return Fail(error, "damaged export directory: it lies outside the file");
  }
  const std::uint32_t nameCount = r.U32(dir + 24);
  const std::uint32_t namesRva = r.U32(dir + 32);
  if (nameCount == 0) return true;
  std::uint64_t names = 0;
  if (!RvaToOffset(sections, namesRva, names) || !r.Has(names, std::uint64_t{nameCount} * 4)) {
    return Fail(error, "damaged export directory: the name table lies outside the file");
  }
  info.ExportNames.reserve(nameCount);
  for (std::uint32_t i = 0; i < nameCount; ++i) {
    std::uint64_t at = 0;
    std::string name;
    if (!RvaToOffset(sections, r.U32(names + std::uint64_t{i} * 4), at) || !r.String(at, name)) {
      info.ExportNames.clear();
      return Fail(error, "damaged export directory: export name " + std::to_string(i + 1) +
                             " lies outside the file");
    }
    info.ExportNames.push_back(std::move(name));
  }
  return true;
}

bool ReadPeFile(const std::string& path, TPeInfo& info, std::string& error) {
  info = TPeInfo{};
  os::File file = os::OpenFile(path, os::OpenMode::Read, /*denyWriters*/ false);
  if (!file.IsOpen()) return Fail(error, "cannot be opened: " + os::LastErrorMessage());
  std::string bytes;
  try {
    const std::int64_t size = file.Size();
    if (size > kMaxImageSize) return Fail(error, "too large for a plug-in library");
    bytes.resize(static_cast<std::size_t>(size));
    std::size_t done = 0;
    while (done < bytes.size()) {
      const std::size_t n = file.Read(bytes.data() + done, bytes.size() - done);
      if (n == 0) break;
      done += n;
    }
    bytes.resize(done);
  } catch (const std::exception& e) {
    return Fail(error, std::string("cannot be read: ") + e.what());
  }
  return ReadPeImage(bytes, info, error);
}
