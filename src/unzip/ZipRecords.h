// The records the ZIP reader keeps of an archive.
//
// Layouts (little-endian), as the ZIP application note gives them:
//
//   central directory header           local file header            end of central directory
//    0 u32 signature 0x02014B50        0 u32 signature 0x04034B50    0 u32 signature 0x06054B50
//    4 u16 version made by             4 u16 version needed          4 u16 number of this disk
//    6 u16 version needed              6 u16 flags                   6 u16 disk of central dir start
//    8 u16 flags                       8 u16 method                  8 u16 entries on this disk
//   10 u16 method                     10 u32 DOS time, date         10 u16 total entries
//   12 u32 DOS time (low), date       14 u32 CRC-32                 12 u32 central directory size
//   16 u32 CRC-32                     18 u32 compressed size        16 u32 central directory offset
//   20 u32 compressed size            22 u32 uncompressed size      20 u16 comment length
//   24 u32 uncompressed size          26 u16 name length            22     comment
//   28 u16 name length                28 u16 extra field length
//   30 u16 extra field length         30     name, extra field, data
//   32 u16 comment length
//   34 u16 disk number start
//   36 u16 internal attributes
//   38 u32 external attributes
//   42 u32 local header offset
//   46     name, extra field, comment
//
// Names are stored with "/" in the OEM code page, or in UTF-8 when flag bit 11 says so; an
// Info-ZIP Unicode Path extra field (0x7075) may carry the UTF-8 name beside stored bytes
// that cannot hold it (an archiver writes "?" or "#U0442" for what the OEM code page lacks).
// The records hold names with "\" and in the program's text (UTF-8), split into Directory
// (up to and including the last "\") and FileName. Comments are kept as the raw bytes of the
// archive.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "unzip/ObjectList.h"
#include "unzip/Streams.h"

enum class TZipSortMode {
  ByName,
  ByFileName,
  ByDirectoryName,
  ByDate,
  ByCompressedSize,
  ByUnCompressedSize,
  ByRate,
  ByNone,
};

// Where the text of an entry's name was taken from.
enum class TNameSource {
  Oem,          // the stored bytes, in the OEM code page
  Utf8,         // the stored bytes, UTF-8 by flag bit 11
  UnicodePath,  // the Info-ZIP Unicode Path extra field
  // Flag bit 11 is set but the stored bytes are not UTF-8: they are read in the OEM code
  // page, as without the flag, so that every byte still stands for a character of its own.
  OemNotUtf8,
};

// Days since 30 December 1899 plus the fraction of the day, the classic date-time value.
using TDateTime = double;

namespace zip {
constexpr std::uint32_t kCentralHeaderSignature = 0x02014B50;
constexpr std::uint32_t kLocalHeaderSignature = 0x04034B50;
constexpr std::uint32_t kEndCentralSignature = 0x06054B50;
constexpr std::size_t kCentralHeaderSize = 46;
constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::size_t kEndCentralSize = 22;
// The end record is searched for in one read of at most this many bytes from the end.
constexpr std::int64_t kEndCentralWindow = 65528;
// General purpose flag bit 11: name and comment are UTF-8.
constexpr std::uint16_t kFlagUtf8 = 0x0800;
// Info-ZIP extra fields: version 1, CRC-32 of the stored bytes, then their UTF-8 text.
constexpr std::uint16_t kUnicodePathTag = 0x7075;
constexpr std::uint16_t kUnicodeCommentTag = 0x6375;

// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool IsUtf8(std::string_view bytes);
// The data of the first extra field with the tag; none when there is no such field or the
// fields run past the end before it.
std::optional<std::string_view> FindExtraField(std::string_view extra, std::uint16_t tag);
// The UTF-8 text of an Info-ZIP Unicode Path or Comment field of `extra` that stands for
// `stored`: version 1, the CRC-32 of exactly these stored bytes (a field left over from
// before a rename does not match), non-empty, well-formed UTF-8. None otherwise.
std::optional<std::string> UnicodeExtraText(std::string_view extra, std::uint16_t tag,
                                            std::string_view stored);
// The text of a stored name (separators as stored): the Unicode Path field's when it is
// valid, else the stored bytes as UTF-8 when flag bit 11 is set and they are UTF-8, else
// the stored bytes in the OEM code page.
std::string EntryNameText(std::string_view stored, std::uint16_t flags, std::string_view extra,
                          TNameSource& source);

// Clamps the fields of a DOS date-time stamp (date in the high 16 bits) into their ranges;
// the stamp is re-packed only when a field changed, else returned bit for bit.
std::uint32_t NormalizeDosDateTime(std::uint32_t stamp);
// False when the stamp is not a real date and time (31 February, hour 24, ...).
bool DosDateTimeToDateTime(std::uint32_t stamp, TDateTime& result);
// The current local date and time.
TDateTime NowDateTime();

std::uint16_t GetU16(const std::uint8_t* p);
std::uint32_t GetU32(const std::uint8_t* p);
}  // namespace zip

// Moves a reader to the next disk of a set: returns the stream of that disk (positioned at
// its start), which replaces the current one; nullptr when there is none.
using TNextDiskFunc = std::function<TStream*()>;

class TZipHeaderInfo : public TObject {
 public:
  TZipHeaderInfo() { Clear(); }
  TZipHeaderInfo(const TZipHeaderInfo& other) { Assign(other); }
  TZipHeaderInfo& operator=(const TZipHeaderInfo& other) {
    Assign(other);
    return *this;
  }
  const char* ClassName() const override { return "TZipHeaderInfo"; }

  void Clear();
  void Assign(const TZipHeaderInfo& source);
  void AssignTo(TZipHeaderInfo& dest) const { dest.Assign(*this); }

  // Reads the central header at the stream's position. With nextDisk, a header cut by the
  // end of the disk is completed from the next disk (the stream is then replaced). On a
  // short read or a wrong signature returns false with the position unchanged.
  bool ReadCentralHeader(TStream*& stream, const TNextDiskFunc& nextDisk = {});
  // Reads the local header at the stream's position and leaves the stream after the name
  // (the extra field is read for a Unicode name, then the stream goes back).
  bool ReadLocalHeader(TStream& stream);

  bool IsEncrypted() const { return (Flags & 0x0001) != 0; }
  bool HasDataDescriptor() const { return (Flags & 0x0008) != 0; }
  bool HasComment() const { return FileCommentLength != 0; }

  const std::string& FileName() const { return fileName_; }
  const std::string& Directory() const { return directory_; }
  void SetFileName(const std::string& name);
  // A non-empty value gets a trailing backslash.
  void SetDirectory(const std::string& directory);
  // Splits a stored name ("/" already turned into "\") after its last backslash.
  void SetStoredName(const std::string& name);

  // The loaded comment, if it was loaded.
  const std::optional<std::string>& FileComment() const { return comment_; }
  // Replaces the comment and sets FileCommentLength; nullopt clears both.
  void SetFileComment(std::optional<std::string> comment);

  std::uint16_t VersionMadeBy;
  std::uint16_t VersionNeeded;
  std::uint16_t Flags;
  std::uint16_t CompressionMethod;
  std::uint32_t ModDateTime;
  std::uint32_t Crc32;
  std::int32_t CompressedSize;
  std::int32_t UncompressedSize;
  std::uint16_t FileNameLength;
  std::uint16_t ExtraFieldLength;
  std::uint16_t FileCommentLength;
  std::uint16_t DiskNumberStart;
  std::uint16_t InternalAttributes;
  std::uint32_t ExternalAttributes;
  std::uint32_t LocalHeaderOffset;
  std::uint32_t CentralHeaderOffset;
  bool Selected;
  TNameSource NameSource;
  // The Info-ZIP Unicode Comment field of the directory record (tag, size and data as
  // stored), kept until the comment itself is read; empty without one.
  std::string UnicodeCommentField;

 private:
  // Reads the stored name bytes; false on a short read.
  static bool ReadStoredName(TStream& stream, std::size_t length, std::string& stored);
  // Sets the name from the stored bytes and the header's extra field.
  void SetNameFromHeader(const std::string& stored, std::string_view extra);
  std::string fileName_;
  std::string directory_;
  std::optional<std::string> comment_;
};

class TEndCentral : public TObject {
 public:
  TEndCentral() { Clear(); }
  TEndCentral(const TEndCentral& other) { Assign(other); }
  TEndCentral& operator=(const TEndCentral& other) {
    Assign(other);
    return *this;
  }
  const char* ClassName() const override { return "TEndCentral"; }

  void Clear();
  void Assign(const TEndCentral& source);
  void AssignTo(TEndCentral& dest) const { dest.Assign(*this); }
  // Finds the end record in the last 65528 bytes (one read); the one nearest the end wins.
  bool Locate(TStream& stream);

  std::uint32_t Signature;
  std::uint16_t ThisDiskNumber;
  std::uint16_t CentralStartDisk;
  std::uint16_t EntriesThisDisk;
  std::uint16_t TotalEntries;
  std::uint32_t CentralSize;
  std::uint32_t CentralOffset;
  std::uint16_t CommentLength;
  std::optional<std::string> ZipComment;  // raw bytes, once loaded
  std::int64_t CommentPosition;
};

// A sorted list of entry records in one of the eight orders.
class TSortedZip : public TSortedObjectList {
 public:
  explicit TSortedZip(TDuplicates duplicates) : TSortedObjectList(duplicates) {}

  TZipSortMode SortMode = TZipSortMode::ByNone;
  TZipHeaderInfo* Entry(int index) const { return static_cast<TZipHeaderInfo*>(Items(index)); }

 protected:
  int Compare(const TObject* a, const TObject* b) const override;
};
