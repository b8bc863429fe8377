// The journal of a run: every change the engine makes to the machine, in the order made, so
// that a run that does not succeed can be undone, and a run that died (killed, power lost)
// can be undone by the next one.
//
// The file lives beside the log while the run works ("ztkinst-<id>.jnl" in the temporary
// directory) and is held open with other writers denied: a journal that another process can
// open for writing belongs to a run that is no longer alive. Backups of replaced or deleted
// files live in the directory of the same name with ".d" appended.
//
// Record layout: one line per change, fields separated by TAB, the first field the kind:
//
//   D <path>                      a directory made by the run (with all that is in it)
//   F <path>                      a file made by the run (there was none)
//   R <path> <backup>             a file replaced; the old one was copied to <backup>
//   X <path> <backup>             a file deleted; it was moved to <backup>
//   K <root> <key> <snapshot>     a registry key about to change; <snapshot> is the whole
//                                 tree as it was, or empty when the key did not exist
//   V <root> <key> <name> <data>  one registry value about to change; <data> is "-" when it
//                                 did not exist, else "<type>:<hex bytes>"
//   N <text>                      a change that cannot be undone, named in the log on undo
//
// Inside a field, "\" is written "\\", TAB "\t", LF "\n" and CR "\r". A record is written
// before its change is made (after the backup it names is in place), so a journal may name a
// change that never happened; every undo therefore tolerates what it finds. A last line
// without its LF is a record torn by a crash and is ignored.
//
// Speed and safety: a record is one write of one line to the system's file cache; nothing is
// forced to the disk. A killed process loses nothing that way (the cache belongs to the
// system); only a power loss may lose the last records, and those are changes whose files the
// same power loss most likely lost too. Forcing every record to the disk would cost a disk
// round trip per extracted file. Files below a directory the run made get no record of their
// own: undoing the directory removes them.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "common/osfile.h"

enum class TJournalKind : char {
  DirCreated = 'D',
  FileCreated = 'F',
  FileReplaced = 'R',
  FileDeleted = 'X',
  KeyChanged = 'K',
  ValueChanged = 'V',
  Note = 'N',
};

struct TJournalRecord {
  TJournalKind Kind = TJournalKind::Note;
  std::vector<std::string> Fields;
};

// One line (with its LF) for the record.
std::string EncodeJournalRecord(const TJournalRecord& record);
// Fields joined by TAB with the escapes above, and back; used for the registry snapshots too.
std::string EncodeJournalFields(const std::vector<std::string>& fields);
std::vector<std::string> DecodeJournalFields(const std::string& line);
// The records of a journal file's bytes; unknown kinds and a torn last line are skipped.
std::vector<TJournalRecord> ParseJournal(const std::string& bytes);
// What the log says about the record when it is undone (English).
std::string DescribeJournalRecord(const TJournalRecord& record);

// Undoes the records from the last to the first. File records are undone here; registry
// records go to `undoRegistry` (false: could not be undone). Every record gets one log line
// through `log`: " undone: ..." or " not undone: ...". Returns how many could not be undone
// (notes count).
int UndoJournal(const std::vector<TJournalRecord>& records,
                const std::function<bool(const TJournalRecord&)>& undoRegistry,
                const std::function<void(const std::string&)>& log);

class TJournal {
 public:
  TJournal() = default;
  ~TJournal();
  TJournal(const TJournal&) = delete;
  TJournal& operator=(const TJournal&) = delete;

  // Starts a new journal at the path (replacing none: false when it exists or cannot be
  // made). The file stays open with writers denied until Close, Commit or Rollback.
  bool Create(const std::string& path);
  // Takes over an existing journal (a run continued after a restart, or one that died):
  // false when it cannot be opened with writers denied, which means its run is alive.
  bool Adopt(const std::string& path);
  bool IsOpen() const;
  const std::string& Path() const { return path_; }
  std::string BackupDirectory() const { return path_ + ".d"; }

  // Appends one record and hands it to the system at once. Safe from any thread.
  void Append(const TJournalRecord& record);
  void Note(const std::string& text) { Append({TJournalKind::Note, {text}}); }

  // ---- the file changes, recorded before they are made ----
  // A directory about to be made with its missing parents: the topmost missing one is
  // recorded (nothing when the directory exists or lies below one the run made).
  void WillCreateDirectories(const std::string& directory);
  // A file about to be written: "made" when there is none, else "replaced" with a backup
  // copy. Nothing below a directory the run made. False when the backup could not be made.
  bool WillWriteFile(const std::string& path);
  // A file about to be deleted: it is moved to the backup directory instead (false when it
  // could not be, and then it is still there). A file below a directory the run made is
  // simply deleted.
  bool DeleteWithBackup(const std::string& path);
  // True when the path lies in a directory the run made.
  bool InsideCreated(const std::string& path) const;

  // Everything recorded so far (also the records of an adopted journal).
  std::vector<TJournalRecord> Records() const;
  // The run succeeded: the journal and its backups go.
  void Commit();
  // Undoes every record (see UndoJournal), then removes the journal. Returns the number of
  // records that could not be undone.
  int Rollback(const std::function<bool(const TJournalRecord&)>& undoRegistry,
               const std::function<void(const std::string&)>& log);
  // Stops writing but keeps the file (a restart continues it).
  void Close();

 private:
  std::string NewBackupPath();
  void Discard();

  mutable std::mutex lock_;
  os::File file_;
  std::string path_;
  std::vector<TJournalRecord> records_;
  std::vector<std::string> createdDirs_;
  int backups_ = 0;
};

// Recovery at start-up: rolls back the journal of every run that died (found beside the log
// in SetupGlobals.TempDir), with one line in the log for each and, with `notify`, a notice to
// the user. True when one was found. (Windows only.)
bool RecoverAbandonedRuns(bool notify);
