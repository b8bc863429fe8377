// Entries whose bytes overlap: several directory records that point into one shared stream of
// compressed data (or local headers whose extra-field lengths jump into it) let a small
// archive expand to gigabytes. A well-formed archive gives every entry bytes of its own, so
// an archive where two entries' local header and data share a byte is refused.
#include <algorithm>
#include <vector>

#include "unzip/UnZip.h"

namespace {

struct TExtent {
  std::int64_t Begin = 0;
  std::int64_t End = 0;  // one past the last byte of the data
  const TZipHeaderInfo* Entry = nullptr;
};

std::string StoredName(const TZipHeaderInfo& e) { return e.Directory() + e.FileName(); }

}  // namespace

std::string OverlapMessage(const std::string& first, std::int64_t firstBegin,
                           std::int64_t firstEnd, const std::string& second,
                           std::int64_t secondBegin) {
  return "Overlapping entries: \"" + first + "\" (bytes " + std::to_string(firstBegin) + " to " +
         std::to_string(firstEnd - 1) + ") and \"" + second + "\" (from byte " +
         std::to_string(secondBegin) + ") share bytes of the archive";
}

void TUnZip::CheckEntryExtents() {
  if (!FMaster || !FZipStream) return;
  std::vector<TExtent> extents;
  extents.reserve(static_cast<std::size_t>(FMaster->Count()));
  // The master list is in the order of the local headers, so the reads go forward through
  // the file.
  for (int i = 0; i < FMaster->Count(); ++i) {
    const TZipHeaderInfo& e = *FMaster->Entry(i);
    TExtent x;
    x.Entry = &e;
    x.Begin = e.LocalHeaderOffset;
    std::uint8_t header[zip::kLocalHeaderSize];
    FZipStream->Seek(x.Begin, soFromBeginning);
    // A header cut by the end of the file is reported when its entry is extracted.
    x.End = x.Begin + static_cast<std::int64_t>(zip::kLocalHeaderSize);
    if (FZipStream->Read(header, sizeof header) == sizeof header) {
      x.End += static_cast<std::int64_t>(zip::GetU16(header + 26)) + zip::GetU16(header + 28) +
               static_cast<std::int64_t>(static_cast<std::uint32_t>(e.CompressedSize));
    }
    extents.push_back(x);
  }
  std::sort(extents.begin(), extents.end(),
            [](const TExtent& a, const TExtent& b) { return a.Begin < b.Begin; });
  for (std::size_t i = 1; i < extents.size(); ++i) {
    const TExtent& a = extents[i - 1];
    const TExtent& b = extents[i];
    if (a.End > b.Begin) {
      throw EBadZipFile(
          OverlapMessage(StoredName(*a.Entry), a.Begin, a.End, StoredName(*b.Entry), b.Begin));
    }
  }
}
