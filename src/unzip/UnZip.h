// TUnZip, the program's ZIP archive reader. It opens one archive file, reads its central
// directory into entry records (or rebuilds one from the local headers when the central
// directory is missing), follows sets spanned over several disks or numbered files, offers
// the entries by index in a chosen order and extracts selected entries. Nothing is ever
// written to an archive.
//
// The directory part lives in UnZip.cpp, extraction in UnZipExtract.cpp, the decoders in
// Decode*.cpp. Failures are exceptions of UnZipErrors.h with fixed English messages; errors
// of opening a file (EFOpenError) reach the caller unchanged.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "unzip/Streams.h"
#include "unzip/UnZipErrors.h"
#include "unzip/ZipRecords.h"

enum class TUZOverwriteMode { Prompt, Always, Never };
enum TIncompleteZipMode { izAssumeMulti = 0, izAssumeBad = 1 };
enum TDiskSetMode { dsNone = 0, dsRemovableDisks = 1, dsNumberedFiles = 2 };
// spUnsafePath: the stored path climbs out of the target directory with ".." components, or
// names a file that Windows cannot hold (control characters, ":", a device name such as CON
// or COM1, a name ending in "." or a blank).
enum TSkipReason { spWrongPassword = 0, spNotOverwritten = 1, spUnsafePath = 2 };

class TUnZip;

// The text of EBadZipFile for two entries whose bytes overlap.
std::string OverlapMessage(const std::string& first, std::int64_t firstBegin,
                           std::int64_t firstEnd, const std::string& second,
                           std::int64_t secondBegin);

// Events. Reference parameters are the ones a handler may change.
using TIncompleteZip = std::function<void(TUnZip* Sender, TIncompleteZipMode& IncompleteMode)>;
// NextDisk is 1-based; an empty FName on return means the user cancelled.
using TGetNextDisk = std::function<void(TUnZip* Sender, int NextDisk, std::string& FName)>;
using TStartUnzipInfo =
    std::function<void(TUnZip* Sender, int NumFiles, std::int64_t TotalBytes, bool& StopNow)>;
using TStartUnZipEvent =
    std::function<void(TUnZip* Sender, int FileIndex, const std::string& FName, bool& Skip)>;
using TFilePercentDone = std::function<void(TUnZip* Sender, int Percent)>;
using TTotalPercentDone = std::function<void(TUnZip* Sender, int Percent)>;
using TEndUnZipEvent =
    std::function<void(TUnZip* Sender, int FileIndex, const std::string& FName)>;
using TPromptForOverwrite = std::function<void(TUnZip* Sender, bool& OverWriteIt, int FileIndex,
                                               std::string& FName)>;
using TSkippingFile = std::function<void(TUnZip* Sender, TSkipReason Reason,
                                         const std::string& FName, int FileIndex)>;
using TBadPassword = std::function<void(TUnZip* Sender, int FileIndex, std::string& NewPassword)>;
using TBadCRC = std::function<void(TUnZip* Sender, std::uint32_t CalcCRC, std::uint32_t StoredCRC,
                                   int FileIndex)>;
// Written is what the data gave: below Expected when it ended early, above it when it ran on
// (then it counts the block that was refused, so it is a lower bound).
using TBadSize = std::function<void(TUnZip* Sender, std::int64_t Written, std::int64_t Expected,
                                    int FileIndex)>;

class TUnZip {
 public:
  static constexpr int kThisVersion = 217;

  TUnZip();
  virtual ~TUnZip();
  TUnZip(const TUnZip&) = delete;
  TUnZip& operator=(const TUnZip&) = delete;

  // ---- properties ----
  int ThisVersion() const { return kThisVersion; }

  const std::string& ZipName() const { return FZipName; }
  // The same name in other letter case changes nothing; a value ending in "?" asks with the
  // file-open dialog (EUserCanceled when cancelled). Otherwise closes the archive and drops
  // the directory.
  void SetZipName(const std::string& value);
  const std::string& DestDir() const { return FDestDir; }
  // "?" asks with the directory dialog (EUserCanceled when cancelled); stored without a
  // trailing backslash.
  void SetDestDir(const std::string& value);
  const std::string& RootDir() const { return FRootDir; }
  // Stored with a trailing backslash (empty stays empty).
  void SetRootDir(const std::string& value);

  // Writing SortMode does not re-sort; the view changes at the next ReadDirectory or
  // ApplySortMode.
  TZipSortMode SortMode = TZipSortMode::ByNone;
  bool RecreateDirs = false;
  TUZOverwriteMode OverwriteMode = TUZOverwriteMode::Prompt;
  std::vector<std::string> FilesList;  // patterns selecting the entries to extract
  bool DoAll = false;
  TIncompleteZipMode IncompleteZipMode = izAssumeMulti;
  bool KeepZipOpen = false;
  bool DoProcessMessages = true;
  bool RetainAttributes = true;
  std::string Password;
  bool CheckDiskLabels = true;

  TStartUnzipInfo OnStartUnZipInfo;
  TFilePercentDone OnFilePercentDone;
  TTotalPercentDone OnTotalPercentDone;
  TStartUnZipEvent OnStartUnZip;
  TEndUnZipEvent OnEndUnZip;
  TPromptForOverwrite OnPromptForOverwrite;
  TSkippingFile OnSkippingFile;
  TBadPassword OnBadPassword;
  TBadCRC OnBadCRC;
  // An entry whose data is shorter or longer than its stored size; without a handler such an
  // entry is reported through OnBadCRC.
  TBadSize OnBadSize;
  // Before each entry and at every input refill of ExtractFiles; may block or CancelOperation().
  std::function<void(TUnZip* Sender)> OnInputRefill;
  TIncompleteZip OnInCompleteZip;
  TGetNextDisk OnGetNextDisk;  // DefaultGetNextDisk at creation

  // ---- operations ----
  // Opens the archive, reads the directory if needed, closes the archive.
  void ReadArchive();
  // Forgets the archive: closes the file, drops the directory, empties ZipName.
  void ResetArchive();
  // Entries in the master list; 0 without a directory.
  int EntryCount() const;
  // Indexed accessors over the sorted view; an index outside 0..EntryCount()-1 raises
  // EListError "Index %d is out of range".
  std::string EntryFileName(int index) const;
  std::string EntryDirectory(int index) const;
  TDateTime EntryDateTime(int index) const;  // now, when the stamp is not a date
  std::int32_t EntryUncompressedSize(int index) const;
  std::uint32_t EntryAttributes(int index) const;
  std::string EntryComment(int index);  // raw bytes of the archive
  const TZipHeaderInfo& EntryHeader(int index) const;
  std::string ArchiveComment();  // raw bytes of the archive
  // Rebuilds the view in the given order and sets SortMode.
  void ApplySortMode(TZipSortMode mode);

  // Extracts the selected entries into DestDir; returns the number counted as extracted.
  int ExtractFiles();
  // Asks a running ExtractFiles or directory rebuild to stop at its next check. Safe to call
  // from another thread.
  void CancelOperation();
  // The selected total of the last ExtractFiles.
  std::int64_t TotalBytes() const { return FTotalBytes; }

  // ---- state of the directory ----
  int NumDisks() const { return FNumDisks; }
  int CurrentDisk() const { return FCurrentDisk; }
  TDiskSetMode DiskSetMode() const { return FDiskSetMode; }
  bool Rebuilt() const { return FRebuilt; }
  bool Busy() const { return FBusy; }
  const TEndCentral& EndCentral() const { return FEndCentral; }

 protected:
  // Opens ZipName (unless open) and reads the directory unless the loaded one is current.
  void OpenArchive();
  // Closes the archive file unless KeepZipOpen, or while ExtractFiles runs (a handler that
  // reads a comment must not close the archive under the extraction).
  void CloseArchive();
  void ReadDirectory();
  // Scans for local headers and builds the master list from them; false when none found.
  bool RebuildDirectory();
  // Makes disk n (1-based) of the set the open archive, asking through OnGetNextDisk.
  void LoadDisk(int n);
  void LoadNextDisk() { LoadDisk(FCurrentDisk + 2); }
  void DefaultGetNextDisk(TUnZip* sender, int nextDisk, std::string& fName);
  // The entry of the sorted view, range-checked as the accessors are.
  TZipHeaderInfo& Entry(int index) const;
  // Loads the entry's disk if needed, reads its local header into FLocalHeader and leaves
  // the archive stream at the first byte of the entry's data. EFatalUnzipError when the
  // local header cannot be read whole.
  void SeekToEntryData(const TZipHeaderInfo& entry);
  // The open archive file, or nullptr.
  TLFNFileStream* ZipStream() const { return FZipStream.get(); }
  // Lets the user interface breathe when DoProcessMessages is set; true when the cancel
  // flag is then set (it is cleared).
  bool YieldAndCheckCancel();

  std::unique_ptr<TLFNFileStream> FZipStream;
  std::unique_ptr<TSortedZip> FMaster;   // owns the records, order ByNone
  std::unique_ptr<TSortedZip> FOwnView;  // a sorted view of its own, not owning
  TSortedZip* FView = nullptr;           // FMaster or FOwnView
  TEndCentral FEndCentral;
  TZipHeaderInfo FCurrentEntry;  // the entry being extracted
  std::array<std::uint8_t, zip::kLocalHeaderSize> FLocalHeader{};
  TDiskSetMode FDiskSetMode = dsNone;
  int FCurrentDisk = 0;
  int FNumDisks = 1;
  std::optional<std::uint32_t> FArchiveDateTime;  // of the file when the directory was read
  bool FRebuilt = false;
  std::atomic<bool> FCancel = false;
  bool FBusy = false;

 private:
  void FreeLists();
  bool CheckDiskLabel(int n) const;
  void RebuildOrFail();
  // True when the end record stands for a 64-bit one (a field at its maximum and the 64-bit
  // locator in front of it).
  bool NeedsZip64();
  // Reads the central headers into the master list (or into the rebuilt one), then the
  // comments a set needs while its disks are in, and applies the sort mode.
  void ReadCentralHeaders();
  void LoadArchiveComment();
  void OpenZipStream(const std::string& name, TFileMode mode);

  std::string FZipName;
  std::string FDestDir;
  std::string FRootDir;

  // --- extraction state (UnZipExtract.cpp) ---
  // Everything from here to the end of the class belongs to the extraction code.
 public:
  // Decodes the selected entries and checks their CRC-32 without creating any file or
  // directory (the vendor tool's --test). The events fire as in a real extraction, with the
  // target paths a real extraction would use.
  bool TestOnly = false;
  // Only in TestOnly mode: an error that would end ExtractFiles inside an entry (premature
  // end of the archive, a missing disk, a damaged local header) is reported here with the
  // entry's index and the exception's "class name + message", the entry counts as failed,
  // and the run goes on with the next entry. Without a handler the exception ends the call
  // as in a real extraction.
  std::function<void(TUnZip* Sender, int FileIndex, const std::string& Error)> OnTestError;

 private:
  // The per-call state of ExtractFiles (work areas, input reader, output writer, counters);
  // it exists only while a call runs.
  struct TExtractRun;
  friend struct TExtractRun;
  TExtractRun* FRun = nullptr;
  // Extracts the entry at the view index once; true when it asks to be extracted again
  // (a new password came from OnBadPassword after a failed CRC check).
  bool ExtractEntry(int index);
  // Marks the entries to extract; returns their count and sets FTotalBytes.
  int SelectEntries();
  // EBadZipFile when the local header and data of two entries share a byte (UnZipExtents.cpp).
  // Checked once per directory read, for a single archive file; the entries of a set are
  // checked one after the other as they are extracted.
  void CheckEntryExtents();
  // Refuses a target that is the open archive file itself (EFCreateError).
  void CheckNotArchive(const std::string& target);
  // Fires OnInputRefill; a cancel made there raises EUserCanceled.
  void InputRefillPoint();
  bool FExtentsChecked = false;
  // Where the data of the entry extracted last ended, in a set: (disk, position).
  std::int64_t FSetDataEndDisk = -1;
  std::int64_t FSetDataEnd = 0;
  std::string FSetDataEndName;
  int FExtractCount = 0;
  std::int64_t FTotalBytes = 0;
};
