// The directory part of TUnZip: opening an archive, reading or rebuilding its directory,
// multi-disk sets, the sorted views and the entry accessors.
#include "unzip/UnZip.h"

#include <cstdio>

#include "common/osfile.h"
#include "common/text.h"
#include "setup/Messages.h"
#include "unzip/UnZipSeams.h"

namespace {

constexpr char kOpenZipTitle[] = "Open a Zip File";
constexpr char kOpenZipFilter[] =
    "Zip Files (*.ZIP)|*.zip|SFX Files (*.EXE)|*.exe|Jar Files (*.JAR)|*.jar|All Files (*.*)|*.*";
// A self-extracting archive carries its program in front; local headers start after it.
constexpr std::int64_t kSfxScanStart = 14000;
// The rebuild scan yields to the user interface after this many bytes that are not "P".
constexpr int kYieldEvery = 10240;

bool IsSeparator(char c) { return c == '\\' || os::IsPathSeparator(c); }

// "\", "/" or "C:\": a root keeps its separator, without it "C:" would name the drive's
// current directory and "" no target directory at all.
bool IsRootDirectory(const std::string& path) {
  if (path.size() == 1) return IsSeparator(path[0]);
  return path.size() == 3 && path[1] == ':' && IsSeparator(path[2]) &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

// Puts the archive stream back where a running extraction left it, whatever a comment
// accessor called from one of its event handlers read.
class TKeepPosition {
 public:
  TKeepPosition(TStream* stream, bool keep)
      : stream_(keep ? stream : nullptr), position_(stream_ ? stream_->Position() : 0) {}
  ~TKeepPosition() {
    if (stream_ == nullptr) return;
    try {
      stream_->Seek(position_, soFromBeginning);
    } catch (...) {
      // The next read of the extraction reports the broken file.
    }
  }
  TKeepPosition(const TKeepPosition&) = delete;
  TKeepPosition& operator=(const TKeepPosition&) = delete;

 private:
  TStream* stream_;
  std::int64_t position_;
};

// Position of the extension's dot, or npos when the last path element has none.
std::size_t ExtensionDot(const std::string& path) {
  for (std::size_t i = path.size(); i-- > 0;) {
    if (path[i] == '.') return i;
    if (IsSeparator(path[i]) || path[i] == ':') break;
  }
  return std::string::npos;
}

std::string ExtractFileExt(const std::string& path) {
  std::size_t dot = ExtensionDot(path);
  return dot == std::string::npos ? std::string() : path.substr(dot);
}

std::string ChangeFileExt(const std::string& path, const std::string& extension) {
  std::size_t dot = ExtensionDot(path);
  return (dot == std::string::npos ? path : path.substr(0, dot)) + extension;
}

std::string ExtractFilePath(const std::string& path) {
  for (std::size_t i = path.size(); i-- > 0;) {
    if (IsSeparator(path[i]) || path[i] == ':') return path.substr(0, i + 1);
  }
  return {};
}

std::string ThreeDigits(int n) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%3.3d", n);
  return buffer;
}

// The drive root ("A:\") of a path that starts with a drive letter, else empty.
std::string DriveRoot(const std::string& path) {
  if (path.size() < 3 || path[1] != ':') return {};
  return text::UpperAscii(path.substr(0, 3));
}

// Shows the hourglass for its lifetime.
class BusyCursor {
 public:
  BusyCursor() { Set(true); }
  ~BusyCursor() { Set(false); }

 private:
  static void Set(bool busy) {
    if (UnZipSeams().SetBusyCursor) UnZipSeams().SetBusyCursor(busy);
  }
};

}  // namespace

TUnZip::TUnZip() {
  OnGetNextDisk = [this](TUnZip* sender, int nextDisk, std::string& fName) {
    DefaultGetNextDisk(sender, nextDisk, fName);
  };
}

TUnZip::~TUnZip() {
  ResetArchive();
}

// ---------------------------------------------------------------------------------------
// Property writers

void TUnZip::SetZipName(const std::string& value) {
  if (text::SameTextAscii(value, FZipName)) return;
  std::string name = value;
  if (!name.empty() && name.back() == '?') {
    std::string directory = ExtractFilePath(name.substr(0, name.size() - 1));
    if (directory.empty() || !os::DirectoryExists(directory)) directory = "C:\\";
    std::string chosen;
    const auto& dialog = UnZipSeams().OpenFileDialog;
    if (!dialog || !dialog(kOpenZipTitle, kOpenZipFilter, directory, chosen)) {
      throw EUserCanceled(unzip_msg::kCanceledZipName);
    }
    name = chosen;
  }
  FZipName = name;
  FreeLists();
  FArchiveDateTime.reset();
  FEndCentral.Clear();
  FZipStream.reset();
  FRebuilt = false;
}

void TUnZip::SetDestDir(const std::string& value) {
  std::string directory = value;
  if (directory == "?") {
    directory = !FDestDir.empty() && os::DirectoryExists(FDestDir) ? FDestDir
                                                                    : os::CurrentDirectory();
    const auto& dialog = UnZipSeams().SelectDirectory;
    if (!dialog || !dialog(directory)) throw EUserCanceled(unzip_msg::kCanceledDestDir);
  }
  if (!directory.empty() && IsSeparator(directory.back()) && !IsRootDirectory(directory)) {
    directory.pop_back();
  }
  FDestDir = directory;
}

void TUnZip::SetRootDir(const std::string& value) {
  FRootDir = value;
  if (!FRootDir.empty() && FRootDir.back() != '\\') FRootDir += '\\';
}

// ---------------------------------------------------------------------------------------
// Opening and closing

void TUnZip::OpenZipStream(const std::string& name, TFileMode mode) {
  FZipStream.reset();
  FZipStream = std::make_unique<TLFNFileStream>(name, mode);
}

void TUnZip::ReadArchive() {
  FCancel = false;
  OpenArchive();
  CloseArchive();
}

void TUnZip::OpenArchive() {
  // The running extraction holds the archive open and works on the loaded directory.
  if (FBusy && FZipStream && FMaster) return;
  if (!FZipStream) OpenZipStream(FZipName, TFileMode::fmOpenReadShareDenyWrite);
  if (FMaster && FArchiveDateTime && *FArchiveDateTime == FZipStream->FileDosDateTime()) return;
  ReadDirectory();
}

void TUnZip::CloseArchive() {
  if (!KeepZipOpen && !FBusy) FZipStream.reset();
}

void TUnZip::FreeLists() {
  FExtentsChecked = false;
  FView = nullptr;
  FOwnView.reset();
  FMaster.reset();
}

void TUnZip::ResetArchive() {
  FZipStream.reset();
  FreeLists();
  FEndCentral.Clear();
  FRebuilt = false;
  FArchiveDateTime.reset();
  FNumDisks = 1;
  FCurrentDisk = 0;
  FDiskSetMode = dsNone;
  FZipName.clear();
}

bool TUnZip::YieldAndCheckCancel() {
  if (!DoProcessMessages) return false;
  if (UnZipSeams().ProcessMessages) UnZipSeams().ProcessMessages();
  if (!FCancel) return false;
  FCancel = false;
  return true;
}

// ---------------------------------------------------------------------------------------
// Reading the directory

void TUnZip::RebuildOrFail() {
  bool ok;
  {
    BusyCursor busy;
    ok = RebuildDirectory();
  }
  if (!ok) {
    ResetArchive();
    throw EBadZipFile(unzip_msg::kNotValidZip);
  }
}

void TUnZip::ReadDirectory() {
  FArchiveDateTime = FZipStream->FileDosDateTime();
  FreeLists();
  FRebuilt = false;
  FEndCentral.Clear();
  try {
    if (FEndCentral.Locate(*FZipStream)) {
      if (NeedsZip64()) {
        ResetArchive();
        throw EBadZipFile(unzip_msg::kZip64);
      }
      FCurrentDisk = FEndCentral.ThisDiskNumber;
      if (FEndCentral.ThisDiskNumber == 0) {
        FDiskSetMode = dsNone;
      } else {
        std::string root = DriveRoot(FZipName);
        const auto& driveType = UnZipSeams().DriveType;
        bool removable = !root.empty() && driveType && driveType(root) == kDriveRemovable;
        FDiskSetMode = removable ? dsRemovableDisks : dsNumberedFiles;
      }
      if (FEndCentral.TotalEntries != 0) {
        if (FEndCentral.ThisDiskNumber > 0 && FEndCentral.CentralStartDisk != FCurrentDisk) {
          LoadDisk(FEndCentral.CentralStartDisk + 1);
        }
        FZipStream->Seek(FEndCentral.CentralOffset, soFromBeginning);
        std::uint8_t signature[4] = {};
        if (FZipStream->Read(signature, 4) != 4 ||
            zip::GetU32(signature) != zip::kCentralHeaderSignature) {
          RebuildOrFail();
        } else {
          FZipStream->Seek(-4, soFromCurrent);
        }
      }
    } else {
      if (OnInCompleteZip) OnInCompleteZip(this, IncompleteZipMode);
      if (IncompleteZipMode == izAssumeMulti) {
        ResetArchive();
        throw EIncompleteZip(unzip_msg::kIncompleteZip);
      }
      RebuildOrFail();
    }
    ReadCentralHeaders();
  } catch (const EIncompleteZip&) {
    throw;
  } catch (const EBadZipFile&) {
    throw;
  } catch (...) {
    // A directory read halfway must not pass for the archive's directory next time.
    FreeLists();
    FArchiveDateTime.reset();
    throw;
  }
}

bool TUnZip::NeedsZip64() {
  const TEndCentral& end = FEndCentral;
  bool saturated = end.ThisDiskNumber == 0xFFFF || end.CentralStartDisk == 0xFFFF ||
                   end.EntriesThisDisk == 0xFFFF || end.TotalEntries == 0xFFFF ||
                   end.CentralSize == 0xFFFFFFFF || end.CentralOffset == 0xFFFFFFFF;
  if (!saturated) return false;  // the record's own values are the real ones
  // A field at its maximum is real unless the 64-bit end record's locator lies just before
  // the end record (65535 entries are allowed without the extension).
  static constexpr std::uint32_t kZip64LocatorSignature = 0x07064B50;
  static constexpr std::int64_t kZip64LocatorSize = 20;
  std::int64_t at = end.CommentPosition - static_cast<std::int64_t>(zip::kEndCentralSize) -
                    kZip64LocatorSize;
  if (at < 0) return false;
  FZipStream->Seek(at, soFromBeginning);
  std::uint8_t signature[4] = {};
  return FZipStream->Read(signature, 4) == 4 && zip::GetU32(signature) == kZip64LocatorSignature;
}

void TUnZip::ReadCentralHeaders() {
  const bool rebuilt = FRebuilt;
  if (!rebuilt) {
    FMaster = std::make_unique<TSortedZip>(dupsError);
    FView = FMaster.get();
  }
  const int lastDisk = FEndCentral.ThisDiskNumber;
  const bool multiDisk = lastDisk > 0 && !rebuilt;
  TNextDiskFunc nextDisk;
  if (multiDisk) {
    nextDisk = [this, lastDisk]() -> TStream* {
      if (FCurrentDisk >= lastDisk) return nullptr;  // the directory cannot go on
      LoadNextDisk();
      return FZipStream.get();
    };
  }

  for (int n = 0; n < FEndCentral.TotalEntries; ++n) {
    auto record = std::make_unique<TZipHeaderInfo>();
    TStream* stream = FZipStream.get();
    if (!record->ReadCentralHeader(stream, nextDisk)) break;
    if (multiDisk && record->HasComment()) {
      // Load the comment now, while its disk is in: it lies just before the position.
      std::string comment(record->FileCommentLength, '\0');
      FZipStream->Seek(-static_cast<std::int64_t>(comment.size()), soFromCurrent);
      if (FZipStream->Read(comment.data(), comment.size()) == comment.size()) {
        record->SetFileComment(comment);
      } else {
        FZipStream->Seek(0, soFromEnd);
      }
    }
    if (rebuilt) {
      // The central record tells more than the local one (attributes, comment); take it
      // for the entry found at the same place.
      int index = FMaster->IndexOf(record.get());
      if (index >= 0) {
        TZipHeaderInfo* entry = FMaster->Entry(index);
        std::uint32_t offset = entry->LocalHeaderOffset;
        entry->Assign(*record);
        entry->LocalHeaderOffset = offset;
      }
    } else {
      FMaster->Add(record.get());
      record.release();
    }
  }

  if (multiDisk && FEndCentral.CommentLength != 0) {
    if (FCurrentDisk != lastDisk) LoadDisk(lastDisk + 1);
    LoadArchiveComment();
  }
  FNumDisks = FEndCentral.ThisDiskNumber + 1;
  ApplySortMode(SortMode);
}

void TUnZip::LoadArchiveComment() {
  std::string comment(FEndCentral.CommentLength, '\0');
  FZipStream->Seek(FEndCentral.CommentPosition, soFromBeginning);
  comment.resize(FZipStream->Read(comment.data(), comment.size()));
  FEndCentral.ZipComment = comment;
}

bool TUnZip::RebuildDirectory() {
  FRebuilt = true;
  FreeLists();

  const std::int64_t start = ExtractFileExt(FZipName) == ".EXE" ? kSfxScanStart : 0;
  FZipStream->Seek(start, soFromBeginning);
  static constexpr std::uint8_t kSignature[4] = {'P', 'K', 3, 4};
  int matched = 0;
  int sinceYield = 0;
  while (matched < 4) {
    std::uint8_t byte;
    if (FZipStream->Read(&byte, 1) != 1) return false;
    if (byte == kSignature[matched]) {
      ++matched;
    } else {
      matched = byte == 'P' ? 1 : 0;
    }
    if (byte != 'P' && ++sinceYield >= kYieldEvery) {
      sinceYield = 0;
      if (YieldAndCheckCancel()) throw EUserCanceled(unzip_msg::kUserAborted);
    }
  }
  FZipStream->Seek(-4, soFromCurrent);

  FMaster = std::make_unique<TSortedZip>(dupsError);
  FView = FMaster.get();
  while (true) {
    auto record = std::make_unique<TZipHeaderInfo>();
    if (!record->ReadLocalHeader(*FZipStream)) break;
    // The size is taken unsigned: a negative one would step back to a header already read.
    std::int64_t skip = static_cast<std::int64_t>(static_cast<std::uint32_t>(record->CompressedSize)) +
                        record->ExtraFieldLength + (record->HasDataDescriptor() ? 16 : 0);
    if (FMaster->Count() == TObjectList::kMaxListSize) {
      ResetArchive();
      throw EBadZipFile(unzip_msg::kTooManyEntries);
    }
    FMaster->Add(record.get());
    record.release();
    FZipStream->Seek(skip, soFromCurrent);
  }

  FEndCentral.ThisDiskNumber = 0;
  FEndCentral.CentralOffset = static_cast<std::uint32_t>(FZipStream->Seek(0, soFromCurrent));
  FEndCentral.TotalEntries = static_cast<std::uint16_t>(FMaster->Count());
  FCurrentDisk = 0;
  FNumDisks = 1;
  return true;
}

// ---------------------------------------------------------------------------------------
// Multi-disk sets

bool TUnZip::CheckDiskLabel(int n) const {
  if (FDiskSetMode != dsRemovableDisks) return true;
  std::string label;
  const auto& volumeLabel = UnZipSeams().VolumeLabel;
  if (!volumeLabel || !volumeLabel(DriveRoot(FZipName), label)) return false;
  label = label.substr(0, 11);
  std::string wanted = ThreeDigits(n);
  return label.size() >= 3 && label.compare(label.size() - 3, 3, wanted) == 0;
}

void TUnZip::LoadDisk(int n) {
  FZipStream.reset();
  std::string fName = FZipName;
  while (true) {
    if (OnGetNextDisk) {
      OnGetNextDisk(this, n, fName);
    } else {
      DefaultGetNextDisk(this, n, fName);
    }
    if (CheckDiskLabels && !fName.empty() && !CheckDiskLabel(n)) continue;
    if (fName.empty()) throw EUserCanceled(unzip_msg::kCanceledNewDisk);
    if (os::FileExists(fName)) break;
    // Only a person changing disks can make a missing file appear; for numbered files
    // asking again would never end, so the open below reports the missing file.
    if (FDiskSetMode != dsRemovableDisks) break;
  }
  OpenZipStream(fName, TFileMode::fmOpenRead);
  FCurrentDisk = n - 1;
  FArchiveDateTime = FZipStream->FileDosDateTime();
  FZipName = fName;
}

void TUnZip::DefaultGetNextDisk(TUnZip* /*sender*/, int nextDisk, std::string& fName) {
  if (FDiskSetMode == dsRemovableDisks) {
    const auto& cursor = UnZipSeams().SetBusyCursor;
    if (cursor) cursor(false);
    int answer = ShowMessageBox(
        "Please insert disk " + std::to_string(nextDisk) + " of the multi-disk set.", "",
        mb::kOkCancel | mb::kIconQuestion | mb::kTaskModal);
    if (answer == mb::kIdCancel) fName.clear();
    if (cursor) cursor(true);
  } else {
    fName = ChangeFileExt(fName, "." + ThreeDigits(nextDisk));
  }
}

// ---------------------------------------------------------------------------------------
// Views and accessors

void TUnZip::ApplySortMode(TZipSortMode mode) {
  FOwnView.reset();
  FView = FMaster.get();
  if (mode != TZipSortMode::ByNone && FMaster) {
    FOwnView = std::make_unique<TSortedZip>(dupsAccept);
    FOwnView->OwnsObjects = false;
    FOwnView->SortMode = mode;
    for (int i = 0; i < FMaster->Count(); ++i) FOwnView->Add(FMaster->Items(i));
    FView = FOwnView.get();
  }
  SortMode = mode;
}

int TUnZip::EntryCount() const { return FMaster ? FMaster->Count() : 0; }

TZipHeaderInfo& TUnZip::Entry(int index) const {
  if (FView == nullptr || index < 0 || index >= FView->Count()) {
    std::string message = unzip_msg::kIndexOutOfRange;
    message.replace(message.find("%d"), 2, std::to_string(index));
    throw EListError(message);
  }
  return *FView->Entry(index);
}

const TZipHeaderInfo& TUnZip::EntryHeader(int index) const { return Entry(index); }

std::string TUnZip::EntryFileName(int index) const { return Entry(index).FileName(); }

std::string TUnZip::EntryDirectory(int index) const { return Entry(index).Directory(); }

TDateTime TUnZip::EntryDateTime(int index) const {
  TDateTime value = 0;
  if (!zip::DosDateTimeToDateTime(Entry(index).ModDateTime, value)) value = zip::NowDateTime();
  return value;
}

std::int32_t TUnZip::EntryUncompressedSize(int index) const {
  return Entry(index).UncompressedSize;
}

std::uint32_t TUnZip::EntryAttributes(int index) const { return Entry(index).ExternalAttributes; }

std::string TUnZip::EntryComment(int index) {
  {
    const TZipHeaderInfo& entry = Entry(index);
    if (!entry.HasComment()) return {};
    if (entry.FileComment()) return *entry.FileComment();
    // In a set, offsets are per disk and the comments were loaded with the directory.
    if (FNumDisks > 1) return {};
  }
  OpenArchive();
  TZipHeaderInfo& entry = Entry(index);  // the directory may have been read again
  std::string comment;
  TKeepPosition keep(FZipStream.get(), FBusy);
  FZipStream->Seek(entry.CentralHeaderOffset, soFromBeginning);
  std::uint8_t fixed[zip::kCentralHeaderSize];
  if (FZipStream->Read(fixed, sizeof fixed) == sizeof fixed &&
      zip::GetU32(fixed) == zip::kCentralHeaderSignature) {
    FZipStream->Seek(static_cast<std::int64_t>(zip::GetU16(fixed + 28)) + zip::GetU16(fixed + 30),
                     soFromCurrent);
    comment.assign(zip::GetU16(fixed + 32), '\0');
    comment.resize(FZipStream->Read(comment.data(), comment.size()));
    entry.SetFileComment(comment);
  }
  CloseArchive();
  return comment;
}

std::string TUnZip::ArchiveComment() {
  if (FEndCentral.CommentLength == 0) return {};
  if (FEndCentral.ZipComment) return *FEndCentral.ZipComment;
  OpenArchive();
  if (FEndCentral.CommentLength != 0 && !FEndCentral.ZipComment) {
    TKeepPosition keep(FZipStream.get(), FBusy);
    LoadArchiveComment();
  }
  CloseArchive();
  return FEndCentral.ZipComment.value_or(std::string());
}

void TUnZip::SeekToEntryData(const TZipHeaderInfo& entry) {
  if (FNumDisks > 1 && FCurrentDisk != entry.DiskNumberStart) {
    LoadDisk(entry.DiskNumberStart + 1);
  }
  if (!FZipStream) OpenZipStream(FZipName, TFileMode::fmOpenReadShareDenyWrite);
  FZipStream->Seek(entry.LocalHeaderOffset, soFromBeginning);
  if (FZipStream->Read(FLocalHeader.data(), FLocalHeader.size()) != FLocalHeader.size()) {
    throw EFatalUnzipError(unzip_msg::kPrematureEnd);
  }
  std::int64_t skip = static_cast<std::int64_t>(zip::GetU16(&FLocalHeader[26])) +
                      zip::GetU16(&FLocalHeader[28]);
  FZipStream->Seek(skip, soFromCurrent);
}
