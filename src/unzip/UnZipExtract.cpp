// ExtractFiles: writes the selected entries of the open archive to files.
//
//   selection (DoAll, RecreateDirs, FilesList) -> OnStartUnZipInfo
//   per entry:  local header -> target directory -> password check -> overwrite decision
//               -> OnStartUnZip -> create file -> decoder -> CRC-32 check
//               -> time stamp, attributes and name -> close -> OnEndUnZip
//
// The decoders pull compressed bytes through the input reader (TExtractRun::Refill: the
// OnInputRefill hook, cancel polling, continuation on the next disk, decryption) and push
// 16000-byte blocks through the output writer (TExtractRun::Write: size check, file, CRC-32,
// progress). An entry whose target exists is written to a temporary file beside it, which
// replaces the target only after the size and CRC-32 checks passed: a damaged entry, a
// cancel or any other exception leaves the existing file as it was and no partial file
// behind. A target that does not exist yet is written under its own name (there is no good
// file to keep) and deleted again when its entry fails.
//
// Speed: a small file costs more in calls to the system than in decoding, above all under
// an emulation layer where each open by name is a round trip to another process, and a look
// for a name that is not there reads the whole directory. So a new target is made at once
// (no look first), a temporary name is taken by creating the file, time, attributes and the
// final name are set through the open handle, and a directory is checked once for a run of
// entries that go to it.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unordered_set>

#include "common/osfile.h"
#include "common/text.h"
#include "setup/Messages.h"
#include "unzip/Crc32.h"
#include "unzip/Decode.h"
#include "unzip/Pattern.h"
#include "unzip/UnZip.h"
#include "unzip/UnZipCrypt.h"
#include "unzip/FileIdentity.h"
#include "unzip/UnZipExtractPath.h"

namespace {

// ZIP sizes are unsigned 32-bit; the records keep them in signed fields.
std::int64_t SizeOf(std::int32_t stored) {
  return static_cast<std::int64_t>(static_cast<std::uint32_t>(stored));
}

// Rounded percentage, never above 100; 0 when there is nothing to do.
int Percent(std::int64_t done, std::int64_t total) {
  if (total <= 0) return 0;
  std::int64_t p = (done * 200 + total) / (2 * total);
  return static_cast<int>(std::min<std::int64_t>(100, p));
}

std::string DescribeCurrentException() {
  try {
    throw;
  } catch (const std::exception& e) {
    return DescribeException(e);
  } catch (...) {
    return "Exception";
  }
}

bool IsUserCancel(const std::string& description) {
  return description == std::string("EUserCanceled") + unzip_msg::kOperationAborted;
}

// The error the file stream raises for a file it cannot create, for the target's name.
[[noreturn]] void RaiseCreateError(const std::string& target, const std::string& reason) {
  throw EFCreateError("Cannot create file \"" + target + "\". " + reason);
}

// Creates a directory with its parents; a failure names the directory and its cause (a file
// of that name, no right to write) instead of showing up later as a file that cannot be
// created. True when the directory was made now (it did not exist).
bool MakeDirectories(const std::string& directory) {
  if (os::DirectoryExists(directory)) return false;
  if (!os::CreateDirectories(directory)) {
    throw EFCreateError("Cannot create directory \"" + directory + "\". " +
                        os::LastErrorMessage());
  }
  return true;
}

// Creates the temporary file of `target` in the target's own directory (so that the final
// replacement is a rename on one volume), under a short name, so that a long target name
// does not make it longer than a name may be. The name is taken by creating the file, never
// by looking first: no second look per file, and no race with another writer.
std::unique_ptr<TFileStream> CreateTemporaryBeside(const std::string& target) {
  std::size_t cut = target.find_last_of("\\/");
  std::string directory = cut == std::string::npos ? std::string() : target.substr(0, cut + 1);
  static std::atomic<unsigned> counter{static_cast<unsigned>(
      std::chrono::steady_clock::now().time_since_epoch().count() & 0xFFFFF)};
  for (int attempt = 0;; ++attempt) {
    char name[32];
    std::snprintf(name, sizeof name, "~uz%05x.tmp", counter.fetch_add(1) & 0xFFFFF);
    const std::string path = directory + name;
    try {
      return std::make_unique<TFileStream>(path, TFileMode::fmCreateNew);
    } catch (const EFCreateError&) {
      // Only a name that is taken is worth another one; the names run out after a million.
      if (os::GetAttributes(path) == os::kInvalidAttributes || attempt > 0xFFFFF) {
        RaiseCreateError(target, os::LastErrorMessage());
      }
    }
  }
}

// A new file at `path`; none when there is a file (or anything else) of that name already,
// or the file cannot be made there.
std::unique_ptr<TFileStream> CreateNewFile(const std::string& path) {
  try {
    return std::make_unique<TFileStream>(path, TFileMode::fmCreateNew);
  } catch (const EFCreateError&) {
    return nullptr;
  }
}

// True when a size or offset of the record stands for a 64-bit value of the extension.
bool EntryNeedsZip64(const TZipHeaderInfo& e) {
  return static_cast<std::uint32_t>(e.CompressedSize) == 0xFFFFFFFFu ||
         static_cast<std::uint32_t>(e.UncompressedSize) == 0xFFFFFFFFu ||
         e.LocalHeaderOffset == 0xFFFFFFFFu;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Per-call state: work areas, the input reader and the output writer of the current entry.

struct TUnZip::TExtractRun final : unzip::TDecodeInput, unzip::TDecodeOutput {
  explicit TExtractRun(TUnZip& owner)
      : Owner(owner), Workspace(std::make_unique<unzip::TDecodeWorkspace>()) {}

  TUnZip& Owner;
  std::unique_ptr<unzip::TDecodeWorkspace> Workspace;

  // The current entry.
  std::int64_t BytesToRead = 0;  // compressed bytes the decoder has still to get
  bool Encrypted = false;
  unzip::TZipDecrypter Decrypter;
  std::unique_ptr<TFileStream> Target;  // none in TestOnly mode
  std::int64_t Expected = 0;            // the entry's uncompressed size
  std::int64_t Written = 0;             // bytes of this entry passed to the writer
  std::uint32_t Crc = unzip::kCrc32Initial;
  bool Overflow = false;        // the data ran past the uncompressed size
  std::int64_t OverflowAt = 0;  // bytes the data had given when it ran past it

  // The directory the last entry went to: the entries of one directory come one after the
  // other, and a directory made or seen once is not looked at again for each of them.
  std::string KnownDirectory;
  // Directories this call made: nothing in them can be the archive being read, so their
  // files need not be compared with it (a look at a file that is not there is costly).
  std::unordered_set<std::string> MadeDirectories;

  // The open archive file's identity, looked up once per file (a set changes files).
  std::string ArchiveName;
  unzip::TFileIdentity ArchiveIdentity;

  // The whole call.
  std::int64_t TotalWritten = 0;

  void StartEntry(std::int64_t compressedBytes, std::int64_t uncompressed) {
    BytesToRead = std::max<std::int64_t>(0, compressedBytes);
    Expected = uncompressed;
    Written = 0;
    Crc = unzip::kCrc32Initial;
    Overflow = false;
    OverflowAt = 0;
  }

  // Reads exactly `count` bytes of the archive from its current position; a set of
  // several disks goes on at the start of the next disk. False when the data ends first.
  bool ReadFromArchive(std::uint8_t* buffer, std::size_t count) {
    std::size_t got = Owner.FZipStream->Read(buffer, count);
    while (got < count) {
      if (Owner.FNumDisks <= 1 || !Owner.OnGetNextDisk ||
          Owner.FCurrentDisk + 1 >= Owner.FNumDisks) {
        return false;
      }
      Owner.LoadNextDisk();
      got += Owner.FZipStream->Read(buffer + got, count - got);
    }
    return true;
  }

  // The input reader. Every refill is a chance to cancel, stored entries included: a
  // cancel asked for during a long stored entry must not be lost when the call ends.
  std::size_t Refill(std::uint8_t* buffer, std::size_t capacity) override {
    if (BytesToRead < 1) return 0;
    Owner.InputRefillPoint();
    if (Owner.YieldAndCheckCancel()) throw EUserCanceled(unzip_msg::kOperationAborted);
    std::size_t n = static_cast<std::size_t>(
        std::min<std::int64_t>(BytesToRead, static_cast<std::int64_t>(capacity)));
    if (!ReadFromArchive(buffer, n)) throw EFatalUnzipError(unzip_msg::kPrematureEnd);
    BytesToRead -= static_cast<std::int64_t>(n);
    if (Encrypted) Decrypter.Decrypt(buffer, n);
    return n;
  }

  // The output writer.
  void Write(const std::uint8_t* data, std::size_t length) override {
    if (length == 0) return;
    if (Written + static_cast<std::int64_t>(length) > Expected) {
      OverflowAt = Written + static_cast<std::int64_t>(length);
      throw EBiggerThanUncompressed(unzip_msg::kBiggerThanUncompressed);
    }
    if (Target) Target->WriteBuffer(data, length);
    Crc = unzip::Crc32Update(Crc, data, length);
    Written += static_cast<std::int64_t>(length);
    if (Owner.OnFilePercentDone) Owner.OnFilePercentDone(&Owner, Percent(Written, Expected));
    TotalWritten += static_cast<std::int64_t>(length);
    if (Owner.OnTotalPercentDone) {
      Owner.OnTotalPercentDone(&Owner, Percent(TotalWritten, Owner.FTotalBytes));
    }
  }
};

namespace {

// Deletes a target file that did not end as a good copy of its entry, whichever way the
// entry was left (a failed check, or an exception on its way out of ExtractFiles).
class TTargetGuard {
 public:
  explicit TTargetGuard(std::unique_ptr<TFileStream>& stream) : stream_(stream) {}
  ~TTargetGuard() {
    if (!armed_) return;
    try {
      stream_.reset();
    } catch (...) {
      // Closing can fail only on a full disk; the file goes anyway.
    }
    os::RemoveFile(path_);
  }
  TTargetGuard(const TTargetGuard&) = delete;
  TTargetGuard& operator=(const TTargetGuard&) = delete;
  void Arm(const std::string& path) {
    path_ = path;
    armed_ = true;
  }
  void Keep() { armed_ = false; }
  void Discard() {
    if (!armed_) return;
    stream_.reset();
    os::RemoveFile(path_);
    armed_ = false;
  }

 private:
  std::unique_ptr<TFileStream>& stream_;
  std::string path_;
  bool armed_ = false;
};

}  // namespace

// ---------------------------------------------------------------------------------------
// ExtractFiles

void TUnZip::CancelOperation() { FCancel = true; }

void TUnZip::InputRefillPoint() {
  if (!OnInputRefill) return;
  OnInputRefill(this);
  // Seen here whatever DoProcessMessages says: the handler is the caller's own pause and
  // cancel point.
  if (FCancel.exchange(false)) throw EUserCanceled(unzip_msg::kOperationAborted);
}

void TUnZip::CheckNotArchive(const std::string& target) {
  if (!FZipStream) return;
  TExtractRun& run = *FRun;
  if (run.ArchiveName != FZipStream->FileName() || !run.ArchiveIdentity.Known) {
    run.ArchiveName = FZipStream->FileName();
    run.ArchiveIdentity = unzip::FileIdentity(run.ArchiveName);
  }
  if (unzip::SameFile(run.ArchiveIdentity, unzip::FileIdentity(target))) {
    RaiseCreateError(target, "It is the archive being read.");
  }
}

int TUnZip::SelectEntries() {
  int entries = FView ? FView->Count() : 0;
  int count = entries;
  FTotalBytes = 0;
  for (int i = 0; i < entries; ++i) {
    TZipHeaderInfo& e = *FView->Entry(i);
    e.Selected = DoAll;
    if (e.FileName().empty() && !RecreateDirs) {
      e.Selected = false;
    } else if (!e.Selected) {
      std::string name = text::LowerAscii(e.Directory() + e.FileName());
      for (const std::string& pattern : FilesList) {
        if (MatchPattern(pattern, name) == pmMatch) {
          e.Selected = true;
          break;
        }
      }
    }
    if (e.Selected) {
      // An entry that will be skipped as unsafe writes nothing: counting its size would keep
      // the total progress from reaching 100.
      if (!unzip::PlanTargetDirectory(e.Directory(), e.FileName(), DestDir(), RootDir(),
                                      RecreateDirs)
               .Unsafe) {
        FTotalBytes += SizeOf(e.UncompressedSize);
      }
    } else {
      --count;
    }
  }
  return count;
}

int TUnZip::ExtractFiles() {
  // Whatever way the call ends: no cancel carried over, not busy, work areas freed, and
  // the order of the view as the caller had it.
  struct TCallGuard {
    TUnZip& z;
    std::unique_ptr<TExtractRun> run;
    bool restoreSort = false;
    TZipSortMode savedSort = TZipSortMode::ByNone;
    ~TCallGuard() {
      z.FRun = nullptr;
      z.FCancel = false;
      z.FBusy = false;
      if (restoreSort) {
        try {
          z.ApplySortMode(savedSort);
        } catch (...) {
          // Only an exhausted heap can fail here; the view then stays in disk order.
        }
      }
    }
  } guard{*this, std::make_unique<TExtractRun>(*this)};

  FCancel = false;
  FRun = guard.run.get();
  FSetDataEndDisk = -1;
  FSetDataEnd = 0;
  if (!TestOnly && !DestDir().empty()) MakeDirectories(DestDir());
  OpenArchive();
  // From here on the directory and the open archive belong to this call: a handler that
  // reads a comment neither closes the archive nor reads the directory again.
  FBusy = true;

  // A set of several disks is taken in disk order, so that each disk is asked for once.
  if (FNumDisks > 1 && SortMode != TZipSortMode::ByNone) {
    guard.savedSort = SortMode;
    guard.restoreSort = true;
    ApplySortMode(TZipSortMode::ByNone);
  }

  if (FNumDisks <= 1 && !FExtentsChecked) {
    CheckEntryExtents();
    FExtentsChecked = true;
  }

  FExtractCount = SelectEntries();
  bool stopNow = false;
  if (OnStartUnZipInfo) OnStartUnZipInfo(this, FExtractCount, FTotalBytes, stopNow);

  if (FExtractCount > 0 && !stopNow) {
    int entries = FView ? FView->Count() : 0;
    for (int i = 0; i < entries; ++i) {
      if (!DoAll && !FView->Entry(i)->Selected) continue;
      if (TestOnly && OnTestError) {
        try {
          while (ExtractEntry(i)) {
          }
        } catch (...) {
          std::string error = DescribeCurrentException();
          if (IsUserCancel(error)) throw;
          --FExtractCount;
          OnTestError(this, i, error);
        }
      } else {
        while (ExtractEntry(i)) {
        }
      }
    }
  }
  FBusy = false;
  CloseArchive();
  return FExtractCount;
}

bool TUnZip::ExtractEntry(int index) {
  TExtractRun& run = *FRun;
  FCurrentEntry.Assign(*FView->Entry(index));
  const TZipHeaderInfo& e = FCurrentEntry;
  const std::string storedName = e.Directory() + e.FileName();

  auto skip = [&](TSkipReason reason) {
    if (OnSkippingFile) OnSkippingFile(this, reason, storedName, index);
    --FExtractCount;
    return false;
  };

  unzip::TTargetPlan plan =
      unzip::PlanTargetDirectory(e.Directory(), e.FileName(), DestDir(), RootDir(), RecreateDirs);
  if (plan.Unsafe) return skip(spUnsafePath);

  InputRefillPoint();
  if (!e.FileName().empty()) {
    if (EntryNeedsZip64(e)) throw EFatalUnzipError(unzip_msg::kZip64Entry);
    // The entries of a set come in the order of their bytes: one that starts before the
    // data of the one before it ended shares bytes with it.
    if (FNumDisks > 1 && FSetDataEndDisk >= 0 &&
        (e.DiskNumberStart < FSetDataEndDisk ||
         (e.DiskNumberStart == FSetDataEndDisk && e.LocalHeaderOffset < FSetDataEnd))) {
      throw EBadZipFile(OverlapMessage(FSetDataEndName, FSetDataEnd, FSetDataEnd, storedName,
                                       e.LocalHeaderOffset));
    }
    SeekToEntryData(e);
  }
  if (!TestOnly && RecreateDirs && !e.Directory().empty() &&
      plan.Directory != run.KnownDirectory) {
    if (run.MadeDirectories.count(plan.Directory) == 0 && MakeDirectories(plan.Directory)) {
      run.MadeDirectories.insert(plan.Directory);
    }
    run.KnownDirectory = plan.Directory;
  }

  if (e.FileName().empty()) {
    if (RecreateDirs && OnStartUnZip) {
      bool ignored = false;
      OnStartUnZip(this, index, plan.Directory, ignored);
    }
    return false;
  }
  std::string target = plan.Directory + e.FileName();

  // The password check: the last byte of the decrypted 12-byte header must be the check
  // byte. The header is kept, so a new password is tried without reading it again.
  std::int64_t compressed = SizeOf(e.CompressedSize);
  run.Encrypted = e.IsEncrypted();
  if (run.Encrypted) {
    std::uint8_t header[unzip::kCryptHeaderSize];
    if (!run.ReadFromArchive(header, sizeof header)) {
      throw EFatalUnzipError(unzip_msg::kPrematureEnd);
    }
    compressed -= static_cast<std::int64_t>(unzip::kCryptHeaderSize);
    const std::uint8_t check = e.HasDataDescriptor()
                                   ? static_cast<std::uint8_t>((e.ModDateTime >> 8) & 0xFF)
                                   : static_cast<std::uint8_t>(e.Crc32 >> 24);
    for (;;) {
      std::uint8_t plain[unzip::kCryptHeaderSize];
      std::memcpy(plain, header, sizeof plain);
      run.Decrypter.Reset(text::Utf8ToAnsi(Password));
      run.Decrypter.Decrypt(plain, sizeof plain);
      if (plain[unzip::kCryptHeaderSize - 1] == check) break;
      if (OnBadPassword) {
        std::string offered = Password;
        OnBadPassword(this, index, offered);
        if (offered != Password) {
          Password = offered;
          continue;
        }
      }
      return skip(spWrongPassword);
    }
  }

  if (!TestOnly && OverwriteMode != TUZOverwriteMode::Always && os::FileExists(target)) {
    bool overwrite = false;
    if (OverwriteMode == TUZOverwriteMode::Prompt) {
      if (OnPromptForOverwrite) {
        OnPromptForOverwrite(this, overwrite, index, target);
      } else {
        overwrite = ShowMessageBox("Replace existing file " + EntryFileName(index) + "?",
                                   "File Exists Alert", kQuestionBox) == mb::kIdYes;
      }
    }
    if (!overwrite) return skip(spNotOverwritten);
  }

  run.StartEntry(compressed, SizeOf(e.UncompressedSize));
  if (OnStartUnZip) {
    // Asked before the file is created, so that a skipped entry leaves an existing file
    // untouched.
    bool skipIt = false;
    OnStartUnZip(this, index, target, skipIt);
    if (skipIt) return false;
  }

  // A target that is not there yet is made under its own name, as a new file (never over
  // one that appeared meanwhile); an existing one gets the data in a temporary file that
  // replaces it only as a good copy. Either way the guard deletes what a failed entry made.
  std::string temporary;
  TTargetGuard guard(run.Target);
  if (!TestOnly) {
    run.Target = CreateNewFile(target);
    if (!run.Target) {
      if (run.MadeDirectories.count(plan.Directory) == 0) CheckNotArchive(target);
      try {
        run.Target = CreateTemporaryBeside(target);
      } catch (const EFCreateError&) {
        // The directory is looked at once for a run of entries; it may have gone since.
        if (os::DirectoryExists(plan.Directory)) throw;
        run.KnownDirectory.clear();
        run.MadeDirectories.erase(plan.Directory);
        MakeDirectories(plan.Directory);
        run.Target = CreateNewFile(target);
        if (!run.Target) run.Target = CreateTemporaryBeside(target);
      }
      if (run.Target->FileName() != target) temporary = run.Target->FileName();
    }
    guard.Arm(run.Target->FileName());
  }

  unzip::TDecodeContext ctx{run, run, *run.Workspace, run.Expected, run.BytesToRead};
  bool knownMethod = true;
  try {
    if (!unzip::Decode(ctx, e.CompressionMethod, e.Flags)) {
      knownMethod = false;
      ShowMessageBox("Unknown Compression Method", "Zip Error", kErrorBox);
    }
  } catch (const EBiggerThanUncompressed&) {
    run.Overflow = true;
  }
  auto noteSetDataEnd = [&] {
    if (FNumDisks <= 1) return;
    FSetDataEndDisk = FCurrentDisk;
    FSetDataEnd = FZipStream->Position();
    FSetDataEndName = storedName;
  };

  const std::uint32_t computed = run.Crc ^ unzip::kCrc32Initial;
  // Data that ran past its size, or stopped short of it, is damaged even when the CRC-32
  // happens to agree.
  const bool sizeWrong = run.Overflow || run.Written != run.Expected;
  if (sizeWrong || computed != e.Crc32) {
    run.Target.reset();
    bool retry = false;
    if (run.Encrypted) {
      if (OnBadPassword) {
        std::string offered = Password;
        OnBadPassword(this, index, offered);
        if (offered != Password) {
          Password = offered;
          retry = true;
        }
      }
      if (!retry && OnSkippingFile) OnSkippingFile(this, spWrongPassword, storedName, index);
    } else if (sizeWrong && knownMethod && OnBadSize) {
      OnBadSize(this, run.Overflow ? run.OverflowAt : run.Written, run.Expected, index);
    } else if (OnBadCRC) {
      OnBadCRC(this, computed, e.Crc32, index);
    }
    guard.Discard();
    if (!retry) {
      --FExtractCount;
      noteSetDataEnd();
    }
    return retry;
  }

  if (!TestOnly) {
    // Time, attributes and the new name are given through the open file: opening it again
    // by name for each would cost more than writing a small file. The read-only bit goes on
    // the target only, since a read-only temporary file could not be deleted when the
    // replacement fails.
    const std::uint32_t attributes = RetainAttributes ? e.ExternalAttributes : os::kAttrArchive;
    const bool readOnly = (attributes & os::kAttrReadOnly) != 0;
    os::File& file = run.Target->File();
    file.SetTimeAndAttributes(e.ModDateTime, attributes & ~os::kAttrReadOnly);
    bool replaced = temporary.empty() || file.RenameTo(target);
    run.Target.reset();
    // A file system that cannot rename an open file gets the closed one moved by name.
    if (!replaced) replaced = os::ReplaceFile(temporary, target);
    if (!replaced) {
      std::string reason = os::LastErrorMessage();
      guard.Discard();
      RaiseCreateError(target, reason);
    }
    guard.Keep();
    if (readOnly) os::SetAttributes(target, attributes);
  }
  guard.Keep();
  noteSetDataEnd();
  if (OnEndUnZip) OnEndUnZip(this, index, target);
  return false;
}
