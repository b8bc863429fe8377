// The journal of a run: every change the engine makes to the machine, in the order made, so
// that a run that does not succeed can be undone, and a run that died (killed, power lost)
// can be undone by the next one.
//
// The journals live in a directory of their own that only SYSTEM and the Administrators can
// write ("ztkinst\Journals" in the machine's program data, see Journal_win32.h), one file
// "ztkinst-<id>.jnl" per run, held open with other writers denied: a journal that another
// process can open for writing belongs to a run that is no longer alive. Backups of replaced
// or deleted files live in the directory of the same name with ".d" appended, made new by the
// run (never one that is already there). A journal found anywhere else, or whose file is not
// owned by SYSTEM or the Administrators, is never undone.
//
// Record layout: one line per change, fields separated by TAB, the first field the kind:
//
//   P <name> <key> <entry> <place>... the product the run belongs to, always the first
//                                 record: its name, its registry key, its entry in the list
//                                 of installed programs, and the places its run makes or
//                                 records (install directory, program group folders, the
//                                 uninstaller's copy, the startup files). An undo touches
//                                 nothing else (JournalPlan.h).
//   D <path>                      a directory made by the run (with all that is in it)
//   F <path>                      a file made by the run (there was none)
//   R <path> <backup>             a file replaced; the old one was copied to <backup>
//   X <path> <backup>             a file deleted; it was moved to <backup>
//   K <root> <key> <snapshot>     a registry key about to change; <snapshot> is the whole
//                                 tree as it was, or empty when the key did not exist
//   V <root> <key> <name> <data>  one registry value about to change; <data> is "-" when it
//                                 did not exist, else "<type>:<hex bytes>"
//   M <path> <target>             a rename of <path> to <target> (a deletion when empty) left
//                                 for the next restart; undone by taking it back out
//   N <text>                      a change that cannot be undone, named in the log on undo
//
// Inside a field, "\" is written "\\", TAB "\t", LF "\n" and CR "\r". A record is written
// before its change is made (after the backup it names is in place), so a journal may name a
// change that never happened; every undo therefore tolerates what it finds. A last line
// without its LF is a record torn by a crash and is ignored.
//
// Speed and safety: a record of a change that destroys something (P, R, X, K, V, M) is forced
// to the disk (FlushFileBuffers) before the change is made, so that not even a power loss can
// leave a replaced file, a deleted one or a registry key without its way back. That costs
// one disk round trip per such change; a fresh installation has few of them (the registry
// keys, the search path, the files it replaces). The records of made files and directories
// are only handed to the system's cache: a killed process loses nothing that way, and a
// power loss that loses one loses a file that nothing needs back. Files below a directory the
// run made get no record of their own: undoing the directory removes them.
//
// A record that cannot be written (a full disk) stops the run: it is kept in memory, so the
// run still undoes it with the rest. A backup that cannot be put back is kept with its record
// in the journal, which stays for the next start to try again; it is never deleted.
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
  RestartOperation = 'M',
  Note = 'N',
  Product = 'P',
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

struct TRollbackPlan;
struct TRollbackStep;

// Undoes the plan's steps from the last to the first (PlanRollback sorted out what may be
// undone). File records are undone here; registry records and restart operations go to
// `undoMachine` (false: could not be undone). Every step gets one log line through `log`:
// " undone: ..." or " not undone: ...". Returns how many could not be undone (notes count);
// `left` receives those that may still be undone later (notes do not).
int UndoJournal(const TRollbackPlan& plan, const std::function<bool(const TJournalRecord&)>& undoMachine,
                const std::function<void(const std::string&)>& log,
                std::vector<TJournalRecord>* left = nullptr);

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

  // Appends one record and hands it to the system at once, forcing it to the disk when it
  // destroys something (see above). False when it could not be written: then the journal
  // has failed for good (Failed), OnFailure has been called once, and the record is kept in
  // memory only. Safe from any thread.
  bool Append(const TJournalRecord& record);
  bool Failed() const;
  // The journal could not be begun: it counts as failed (OnFailure is called).
  void Fail();
  std::function<void()> OnFailure;
  // Tests: replaces the writing of one line to the file; false is a failed write.
  std::function<bool(const std::string& line)> WriteLine;
  // Where the places of an undo really lead (JournalPlan.h); lexical judgement without it.
  std::function<std::string(const std::string&)> FinalPath;
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
  // A rename (to a target) or a deletion (target empty) that the system is about to be asked
  // to do at the next restart.
  bool WillActAtRestart(const std::string& path, const std::string& target) {
    return Append({TJournalKind::RestartOperation, {path, target}});
  }
  // True when the path lies in a directory the run made.
  bool InsideCreated(const std::string& path) const;

  // Everything recorded so far (also the records of an adopted journal).
  std::vector<TJournalRecord> Records() const;
  // The run succeeded: the journal and its backups go.
  void Commit();
  // Undoes every record that the journal's product allows (see PlanRollback, UndoJournal;
  // each refused one gets a line " refused: ..." in the log), then removes the journal.
  // When some change could not be undone, the journal stays with its header and those
  // records, and their backups with it, for the next start. Returns the number of records
  // that could not be undone (refused ones included).
  int Rollback(const std::function<bool(const TJournalRecord&)>& undoMachine,
               const std::function<void(const std::string&)>& log);
  // Stops writing but keeps the file (a restart continues it).
  void Close();

 private:
  std::string NewBackupPath();
  bool MakeBackupDirectory();
  bool KeepOnly(const std::vector<TJournalRecord>& left);
  void Discard();

  mutable std::mutex lock_;
  os::File file_;
  std::string path_;
  std::vector<TJournalRecord> records_;
  std::vector<std::string> createdDirs_;
  int backups_ = 0;
  bool backupDirectoryMade_ = false;
  bool failed_ = false;
};

// Recovery at start-up: rolls back the journal of every run that died (found in the
// protected journal directory; never one elsewhere, nor one whose owner is not SYSTEM or the
// Administrators), with one line in the log for each and, with `notify`, a notice to the
// user. True when one was found. (Windows only.)
bool RecoverAbandonedRuns(bool notify);
