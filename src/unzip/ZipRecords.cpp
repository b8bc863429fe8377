#include "unzip/ZipRecords.h"

#include <array>
#include <chrono>
#include <cmath>
#include <cstring>
#include <vector>

#include "common/text.h"
#include "unzip/Crc32.h"

namespace zip {

std::uint16_t GetU16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t GetU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

bool IsUtf8(std::string_view bytes) {
  // The decoder turns every malformed byte into U+FFFD, so only well-formed text comes back
  // unchanged.
  return text::ToUtf8(bytes, 65001) == bytes;
}

std::optional<std::string_view> FindExtraField(std::string_view extra, std::uint16_t tag) {
  std::size_t i = 0;
  while (extra.size() - i >= 4) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(extra.data() + i);
    const std::uint16_t id = GetU16(p);
    const std::size_t size = GetU16(p + 2);
    i += 4;
    if (size > extra.size() - i) return std::nullopt;
    if (id == tag) return extra.substr(i, size);
    i += size;
  }
  return std::nullopt;
}

std::optional<std::string> UnicodeExtraText(std::string_view extra, std::uint16_t tag,
                                            std::string_view stored) {
  const std::optional<std::string_view> field = FindExtraField(extra, tag);
  if (!field || field->size() < 5 || static_cast<std::uint8_t>((*field)[0]) != 1) {
    return std::nullopt;
  }
  const std::uint32_t crc = GetU32(reinterpret_cast<const std::uint8_t*>(field->data() + 1));
  if (crc != unzip::Crc32(reinterpret_cast<const std::uint8_t*>(stored.data()), stored.size())) {
    return std::nullopt;
  }
  const std::string_view utf8 = field->substr(5);
  if (utf8.empty() || !IsUtf8(utf8)) return std::nullopt;
  return std::string(utf8);
}

std::string EntryNameText(std::string_view stored, std::uint16_t flags, std::string_view extra,
                          TNameSource& source) {
  if (std::optional<std::string> unicode = UnicodeExtraText(extra, kUnicodePathTag, stored)) {
    source = TNameSource::UnicodePath;
    return *unicode;
  }
  if ((flags & kFlagUtf8) != 0) {
    if (IsUtf8(stored)) {
      source = TNameSource::Utf8;
      return std::string(stored);
    }
    source = TNameSource::OemNotUtf8;
  } else {
    source = TNameSource::Oem;
  }
  return text::OemToUtf8(stored);
}

// DOS stamp: time in the low word (hour 15-11, minute 10-5, seconds/2 4-0), date in the
// high word (year-1980 15-9, month 8-5, day 4-0).
std::uint32_t NormalizeDosDateTime(std::uint32_t stamp) {
  unsigned time = stamp & 0xFFFF;
  unsigned date = stamp >> 16;
  unsigned hour = time >> 11;
  unsigned minute = (time >> 5) & 0x3F;
  unsigned second2 = time & 0x1F;
  unsigned year = date >> 9;
  unsigned month = (date >> 5) & 0x0F;
  unsigned day = date & 0x1F;
  bool changed = false;
  auto clamp = [&changed](unsigned& field, unsigned low, unsigned high) {
    if (field < low) field = low, changed = true;
    if (field > high) field = high, changed = true;
  };
  clamp(hour, 0, 23);
  clamp(minute, 0, 59);
  clamp(second2, 0, 29);
  clamp(year, 0, 2099 - 1980);
  clamp(month, 1, 12);
  clamp(day, 1, 31);
  if (!changed) return stamp;
  time = (hour << 11) | (minute << 5) | second2;
  date = (year << 9) | (month << 5) | day;
  return (static_cast<std::uint32_t>(date) << 16) | time;
}

namespace {

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 30 December 1899 to the given date.
long DaysSinceEpoch(int year, int month, int day) {
  // Days from the civil date 0000-03-01, shifted so that the arithmetic stays positive.
  int y = month <= 2 ? year - 1 : year;
  int era = y / 400;
  int yoe = y - era * 400;
  int mp = (month + 9) % 12;
  int doy = (153 * mp + 2) / 5 + day - 1;
  int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  long days = static_cast<long>(era) * 146097 + doe;  // since 0000-03-01
  constexpr long kEpoch = 693899;  // 1899-12-30 counted the same way
  return days - kEpoch;
}

}  // namespace

bool DosDateTimeToDateTime(std::uint32_t stamp, TDateTime& result) {
  unsigned time = stamp & 0xFFFF;
  unsigned date = stamp >> 16;
  int hour = static_cast<int>(time >> 11);
  int minute = static_cast<int>((time >> 5) & 0x3F);
  int second = static_cast<int>(time & 0x1F) * 2;
  int year = static_cast<int>(date >> 9) + 1980;
  int month = static_cast<int>((date >> 5) & 0x0F);
  int day = static_cast<int>(date & 0x1F);
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
  if (hour > 23 || minute > 59 || second > 59) return false;
  result = static_cast<double>(DaysSinceEpoch(year, month, day)) +
           (hour * 3600 + minute * 60 + second) / 86400.0;
  return true;
}

TDateTime NowDateTime() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  return static_cast<double>(DaysSinceEpoch(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday)) +
         (local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) / 86400.0;
}

}  // namespace zip

// ---------------------------------------------------------------------------------------
// TZipHeaderInfo

void TZipHeaderInfo::Clear() {
  VersionMadeBy = 20;
  VersionNeeded = 20;
  Flags = 0;
  CompressionMethod = 8;
  ModDateTime = 0;
  Crc32 = 0xFFFFFFFFu;
  CompressedSize = 0;
  UncompressedSize = 0;
  FileNameLength = 0;
  ExtraFieldLength = 0;
  FileCommentLength = 0;
  DiskNumberStart = 0;
  InternalAttributes = 1;
  ExternalAttributes = 0x20;
  LocalHeaderOffset = 0;
  CentralHeaderOffset = 0;
  Selected = false;
  NameSource = TNameSource::Oem;
  UnicodeCommentField.clear();
  fileName_.clear();
  directory_.clear();
  comment_.reset();
}

void TZipHeaderInfo::Assign(const TZipHeaderInfo& source) {
  if (this == &source) return;
  VersionMadeBy = source.VersionMadeBy;
  VersionNeeded = source.VersionNeeded;
  Flags = source.Flags;
  CompressionMethod = source.CompressionMethod;
  ModDateTime = source.ModDateTime;
  Crc32 = source.Crc32;
  CompressedSize = source.CompressedSize;
  UncompressedSize = source.UncompressedSize;
  FileNameLength = source.FileNameLength;
  ExtraFieldLength = source.ExtraFieldLength;
  FileCommentLength = source.FileCommentLength;
  DiskNumberStart = source.DiskNumberStart;
  InternalAttributes = source.InternalAttributes;
  ExternalAttributes = source.ExternalAttributes;
  LocalHeaderOffset = source.LocalHeaderOffset;
  CentralHeaderOffset = source.CentralHeaderOffset;
  Selected = source.Selected;
  NameSource = source.NameSource;
  UnicodeCommentField = source.UnicodeCommentField;
  fileName_ = source.fileName_;
  directory_ = source.directory_;
  comment_ = source.comment_;
}

void TZipHeaderInfo::SetFileName(const std::string& name) {
  fileName_ = name;
  FileNameLength = static_cast<std::uint16_t>(directory_.size() + fileName_.size());
}

void TZipHeaderInfo::SetDirectory(const std::string& directory) {
  directory_ = directory;
  if (!directory_.empty() && directory_.back() != '\\') directory_ += '\\';
  FileNameLength = static_cast<std::uint16_t>(directory_.size() + fileName_.size());
}

void TZipHeaderInfo::SetStoredName(const std::string& name) {
  auto slash = name.rfind('\\');
  if (slash == std::string::npos) {
    directory_.clear();
    SetFileName(name);
  } else {
    directory_ = name.substr(0, slash + 1);
    SetFileName(name.substr(slash + 1));
  }
}

void TZipHeaderInfo::SetFileComment(std::optional<std::string> comment) {
  comment_ = std::move(comment);
  FileCommentLength = comment_ ? static_cast<std::uint16_t>(comment_->size()) : 0;
}

bool TZipHeaderInfo::ReadStoredName(TStream& stream, std::size_t length, std::string& stored) {
  stored.assign(length, '\0');
  return length == 0 || stream.Read(stored.data(), length) == length;
}

void TZipHeaderInfo::SetNameFromHeader(const std::string& stored, std::string_view extra) {
  // Separators are turned after decoding: in a multi-byte OEM code page a byte of "/" could
  // otherwise be half of a character.
  std::string name = zip::EntryNameText(stored, Flags, extra, NameSource);
  for (char& c : name) {
    if (c == '/') c = '\\';
  }
  SetStoredName(name);
}

bool TZipHeaderInfo::ReadCentralHeader(TStream*& stream, const TNextDiskFunc& nextDisk) {
  std::int64_t start = stream->Position();
  std::array<std::uint8_t, zip::kCentralHeaderSize> fixed{};
  std::size_t got = stream->Read(fixed.data(), fixed.size());
  static constexpr std::uint8_t kSignature[4] = {'P', 'K', 1, 2};
  bool cut = got < fixed.size() &&
             std::memcmp(fixed.data(), kSignature, std::min<std::size_t>(got, 4)) == 0;
  if (cut && nextDisk) {
    TStream* next = nextDisk();
    if (next != nullptr) {
      stream = next;
      start = stream->Position();
      got += stream->Read(fixed.data() + got, fixed.size() - got);
    }
  }
  if (got != fixed.size() || zip::GetU32(fixed.data()) != zip::kCentralHeaderSignature) {
    stream->Seek(start, soFromBeginning);
    return false;
  }
  const std::uint8_t* p = fixed.data();
  Flags = zip::GetU16(p + 8);
  std::uint16_t nameLength = zip::GetU16(p + 28);
  std::string stored;
  if (!ReadStoredName(*stream, nameLength, stored)) {
    stream->Seek(start, soFromBeginning);
    return false;
  }
  // The extra field is read for a Unicode name; one cut short by the end of the file holds
  // none, and the position after the header is where the lengths say either way.
  const std::int64_t afterName = stream->Position();
  std::string extra(zip::GetU16(p + 30), '\0');
  extra.resize(stream->Read(extra.data(), extra.size()));
  SetNameFromHeader(stored, extra);
  UnicodeCommentField.clear();
  if (auto field = zip::FindExtraField(extra, zip::kUnicodeCommentTag)) {
    UnicodeCommentField.assign(extra, static_cast<std::size_t>(field->data() - extra.data()) - 4,
                               field->size() + 4);
  }
  VersionMadeBy = zip::GetU16(p + 4);
  VersionNeeded = zip::GetU16(p + 6);
  CompressionMethod = zip::GetU16(p + 10);
  ModDateTime = zip::NormalizeDosDateTime(zip::GetU32(p + 12));
  Crc32 = zip::GetU32(p + 16);
  CompressedSize = static_cast<std::int32_t>(zip::GetU32(p + 20));
  UncompressedSize = static_cast<std::int32_t>(zip::GetU32(p + 24));
  FileNameLength = nameLength;
  ExtraFieldLength = zip::GetU16(p + 30);
  comment_.reset();
  FileCommentLength = zip::GetU16(p + 32);
  DiskNumberStart = zip::GetU16(p + 34);
  InternalAttributes = zip::GetU16(p + 36);
  ExternalAttributes = zip::GetU32(p + 38);
  LocalHeaderOffset = zip::GetU32(p + 42);
  CentralHeaderOffset = static_cast<std::uint32_t>(start);
  stream->Seek(afterName + ExtraFieldLength + FileCommentLength, soFromBeginning);
  return true;
}

bool TZipHeaderInfo::ReadLocalHeader(TStream& stream) {
  std::int64_t start = stream.Position();
  std::array<std::uint8_t, zip::kLocalHeaderSize> fixed{};
  if (stream.Read(fixed.data(), fixed.size()) != fixed.size() ||
      zip::GetU32(fixed.data()) != zip::kLocalHeaderSignature) {
    stream.Seek(start, soFromBeginning);
    return false;
  }
  const std::uint8_t* p = fixed.data();
  Flags = zip::GetU16(p + 6);
  std::uint16_t nameLength = zip::GetU16(p + 26);
  std::string stored;
  if (!ReadStoredName(stream, nameLength, stored)) {
    stream.Seek(start, soFromBeginning);
    return false;
  }
  const std::int64_t afterName = stream.Position();
  std::string extra(zip::GetU16(p + 28), '\0');
  extra.resize(stream.Read(extra.data(), extra.size()));
  stream.Seek(afterName, soFromBeginning);
  SetNameFromHeader(stored, extra);
  VersionMadeBy = 0;
  VersionNeeded = zip::GetU16(p + 4);
  CompressionMethod = zip::GetU16(p + 8);
  ModDateTime = zip::NormalizeDosDateTime(zip::GetU32(p + 10));
  Crc32 = zip::GetU32(p + 14);
  CompressedSize = static_cast<std::int32_t>(zip::GetU32(p + 18));
  UncompressedSize = static_cast<std::int32_t>(zip::GetU32(p + 22));
  FileNameLength = nameLength;
  ExtraFieldLength = zip::GetU16(p + 28);
  comment_.reset();
  FileCommentLength = 0;
  UnicodeCommentField.clear();
  DiskNumberStart = 0;
  InternalAttributes = 0;
  ExternalAttributes = 0;
  LocalHeaderOffset = static_cast<std::uint32_t>(start);
  CentralHeaderOffset = 0;
  return true;
}

// ---------------------------------------------------------------------------------------
// TEndCentral

void TEndCentral::Clear() {
  Signature = zip::kEndCentralSignature;
  ThisDiskNumber = 0;
  CentralStartDisk = 0;
  EntriesThisDisk = 0;
  TotalEntries = 0;
  CentralSize = 0;
  CentralOffset = 0;
  CommentLength = 0;
  ZipComment.reset();
  CommentPosition = 0;
}

void TEndCentral::Assign(const TEndCentral& source) {
  if (this == &source) return;
  Signature = source.Signature;
  ThisDiskNumber = source.ThisDiskNumber;
  CentralStartDisk = source.CentralStartDisk;
  EntriesThisDisk = source.EntriesThisDisk;
  TotalEntries = source.TotalEntries;
  CentralSize = source.CentralSize;
  CentralOffset = source.CentralOffset;
  CommentLength = source.CommentLength;
  ZipComment = source.ZipComment;
  CommentPosition = source.CommentPosition;
}

bool TEndCentral::Locate(TStream& stream) {
  std::int64_t size = stream.Size();
  if (size < static_cast<std::int64_t>(zip::kEndCentralSize)) return false;
  std::int64_t window = std::min(size, zip::kEndCentralWindow);
  std::vector<std::uint8_t> block(static_cast<std::size_t>(window));
  stream.Seek(size - window, soFromBeginning);
  if (stream.Read(block.data(), block.size()) != block.size()) return false;
  // The record nearest the end wins: a comment may itself contain "PK\5\6".
  for (std::size_t i = block.size() - zip::kEndCentralSize + 1; i-- > 0;) {
    if (block[i] != 'P' || zip::GetU32(&block[i]) != zip::kEndCentralSignature) continue;
    const std::uint8_t* p = &block[i];
    ThisDiskNumber = zip::GetU16(p + 4);
    CentralStartDisk = zip::GetU16(p + 6);
    EntriesThisDisk = zip::GetU16(p + 8);
    TotalEntries = zip::GetU16(p + 10);
    CentralSize = zip::GetU32(p + 12);
    CentralOffset = zip::GetU32(p + 16);
    CommentLength = zip::GetU16(p + 20);
    ZipComment.reset();
    CommentPosition = size - CommentLength;
    return true;
  }
  return false;
}

// ---------------------------------------------------------------------------------------
// TSortedZip
//
// a is the record already in the list, b the one being placed; +1 places b before a.

namespace {

// Names compare as the ANSI texts they stand for, byte by byte with a-z taken as A-Z (so
// with Windows-1251 "ё" comes before "я", as its byte does).
int CompareNames(const std::string& a, const std::string& b) {
  return text::CompareTextAnsi(a, b);
}

int Percentage(const TZipHeaderInfo& e) {
  if (e.UncompressedSize <= 0) return 0;
  double rate = std::nearbyint(static_cast<double>(e.CompressedSize) * 100.0 /
                               static_cast<double>(e.UncompressedSize));
  // A damaged header may give a negative compressed size: such a rate counts as 0.
  if (rate < 0.0) return 0;
  return rate > 100.0 ? 100 : static_cast<int>(rate);
}

TDateTime StampValue(std::uint32_t stamp) {
  TDateTime value = 0;
  if (!zip::DosDateTimeToDateTime(stamp, value)) value = 0;
  return value;
}

}  // namespace

int TSortedZip::Compare(const TObject* ao, const TObject* bo) const {
  const auto& a = *static_cast<const TZipHeaderInfo*>(ao);
  const auto& b = *static_cast<const TZipHeaderInfo*>(bo);
  switch (SortMode) {
    case TZipSortMode::ByName:
      return CompareNames(a.Directory() + a.FileName(), b.Directory() + b.FileName());
    case TZipSortMode::ByFileName:
      return CompareNames(a.FileName(), b.FileName());
    case TZipSortMode::ByDirectoryName:
      return CompareNames(a.Directory(), b.Directory());
    case TZipSortMode::ByDate:
      return StampValue(b.ModDateTime) > StampValue(a.ModDateTime) ? 1 : -1;
    case TZipSortMode::ByCompressedSize:
      return b.CompressedSize > a.CompressedSize ? 1 : -1;
    case TZipSortMode::ByUnCompressedSize:
      return b.UncompressedSize > a.UncompressedSize ? 1 : -1;
    case TZipSortMode::ByRate:
      return Percentage(b) - Percentage(a);
    case TZipSortMode::ByNone:
      break;
  }
  if (a.DiskNumberStart != b.DiskNumberStart) {
    return static_cast<int>(a.DiskNumberStart) - static_cast<int>(b.DiskNumberStart);
  }
  if (a.LocalHeaderOffset == b.LocalHeaderOffset) return 0;
  return a.LocalHeaderOffset < b.LocalHeaderOffset ? -1 : 1;
}
