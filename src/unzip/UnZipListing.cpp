#include "unzip/UnZipListing.h"

#include "common/text.h"

namespace {

struct SortModeNames {
  TZipSortMode mode;
  const char* name;
  const char* shortName;
};

constexpr SortModeNames kSortModes[] = {
    {TZipSortMode::ByName, "ByName", "name"},
    {TZipSortMode::ByFileName, "ByFileName", "filename"},
    {TZipSortMode::ByDirectoryName, "ByDirectoryName", "directory"},
    {TZipSortMode::ByDate, "ByDate", "date"},
    {TZipSortMode::ByCompressedSize, "ByCompressedSize", "compressed"},
    {TZipSortMode::ByUnCompressedSize, "ByUnCompressedSize", "uncompressed"},
    {TZipSortMode::ByRate, "ByRate", "rate"},
    {TZipSortMode::ByNone, "ByNone", "none"},
};

void AddNumber(std::string& out, const char* name, long long value) {
  out += ",\"";
  out += name;
  out += "\":";
  out += std::to_string(value);
}

void AddText(std::string& out, const char* name, const std::string& value) {
  out += ",\"";
  out += name;
  out += "\":";
  out += text::JsonQuote(value);
}

const char* NameSourceName(TNameSource source) {
  switch (source) {
    case TNameSource::Oem: return "oem";
    case TNameSource::Utf8: return "utf8";
    case TNameSource::UnicodePath: return "unicodePath";
    case TNameSource::OemNotUtf8: return "oemNotUtf8";
  }
  return "oem";
}

// A comment as its name would be read: the Unicode Comment field's text when it stands for
// these bytes, else UTF-8 under flag bit 11, else (and for malformed UTF-8) OEM text.
std::string CommentText(const std::string& raw, const TZipHeaderInfo& e) {
  if (raw.empty()) return raw;
  if (auto unicode = zip::UnicodeExtraText(e.UnicodeCommentField, zip::kUnicodeCommentTag, raw)) {
    return *unicode;
  }
  if ((e.Flags & zip::kFlagUtf8) != 0 && zip::IsUtf8(raw)) return raw;
  return text::OemToUtf8(raw);
}

}  // namespace

std::optional<TZipSortMode> ParseSortMode(const std::string& name) {
  for (const auto& m : kSortModes) {
    if (text::SameTextAscii(name, m.name) || text::SameTextAscii(name, m.shortName)) {
      return m.mode;
    }
  }
  return std::nullopt;
}

const char* SortModeName(TZipSortMode mode) {
  for (const auto& m : kSortModes) {
    if (m.mode == mode) return m.name;
  }
  return "ByNone";
}

std::string ArchiveListingJson(TUnZip& zip) {
  std::string out = "{\"archiveComment\":";
  out += text::JsonQuote(text::OemToUtf8(zip.ArchiveComment()));
  AddNumber(out, "disks", zip.NumDisks());
  out += ",\"rebuilt\":";
  out += zip.Rebuilt() ? "true" : "false";
  out += ",\"sortMode\":\"";
  out += SortModeName(zip.SortMode);
  out += "\",\"entries\":[";
  for (int i = 0; i < zip.EntryCount(); ++i) {
    const TZipHeaderInfo& e = zip.EntryHeader(i);
    if (i > 0) out += ',';
    out += "{\"index\":";
    out += std::to_string(i);
    AddText(out, "directory", e.Directory());
    AddText(out, "fileName", e.FileName());
    AddNumber(out, "method", e.CompressionMethod);
    AddNumber(out, "flags", e.Flags);
    AddNumber(out, "crc32", e.Crc32);
    AddNumber(out, "compressedSize", e.CompressedSize);
    AddNumber(out, "uncompressedSize", e.UncompressedSize);
    AddNumber(out, "modDateTime", e.ModDateTime);
    AddNumber(out, "externalAttributes", e.ExternalAttributes);
    AddNumber(out, "diskNumberStart", e.DiskNumberStart);
    AddNumber(out, "localHeaderOffset", e.LocalHeaderOffset);
    out += ",\"nameFrom\":\"";
    out += NameSourceName(e.NameSource);
    out += '"';
    AddText(out, "comment", CommentText(zip.EntryComment(i), e));
    out += '}';
  }
  out += "]}";
  return out;
}
