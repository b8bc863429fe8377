#include "engine/Journal.h"

#include <algorithm>
#include <cstdlib>
#include <set>

#include "common/errors.h"
#include "engine/DirTree.h"
#include "engine/EnginePaths.h"
#include "engine/JournalPlan.h"

// ---- record text -------------------------------------------------------------------------

std::string EncodeJournalFields(const std::vector<std::string>& fields) {
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) line += '\t';
    for (char c : fields[i]) {
      switch (c) {
        case '\\': line += "\\\\"; break;
        case '\t': line += "\\t"; break;
        case '\n': line += "\\n"; break;
        case '\r': line += "\\r"; break;
        default: line += c;
      }
    }
  }
  return line;
}

std::vector<std::string> DecodeJournalFields(const std::string& line) {
  std::vector<std::string> fields(1);
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '\t') {
      fields.emplace_back();
    } else if (c == '\\' && i + 1 < line.size()) {
      const char e = line[++i];
      fields.back() += e == 't' ? '\t' : e == 'n' ? '\n' : e == 'r' ? '\r' : e;
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

std::string EncodeJournalRecord(const TJournalRecord& record) {
  std::vector<std::string> fields{std::string(1, static_cast<char>(record.Kind))};
  fields.insert(fields.end(), record.Fields.begin(), record.Fields.end());
  return EncodeJournalFields(fields) + "\n";
}

namespace {

// How many fields each kind carries after its letter.
int FieldCount(char kind) {
  switch (kind) {
    case 'D': case 'F': case 'N': return 1;
    case 'R': case 'X': case 'M': return 2;
    case 'P': return 3;  // and the places after them
    case 'K': return 3;
    case 'V': return 4;
    default: return -1;
  }
}

}  // namespace

std::vector<TJournalRecord> ParseJournal(const std::string& bytes) {
  std::vector<TJournalRecord> records;
  std::size_t start = 0;
  for (std::size_t end; (end = bytes.find('\n', start)) != std::string::npos; start = end + 1) {
    std::vector<std::string> fields = DecodeJournalFields(bytes.substr(start, end - start));
    if (fields[0].size() != 1) continue;
    const int count = FieldCount(fields[0][0]);
    if (count < 0) continue;
    const int given = static_cast<int>(fields.size()) - 1;
    if (fields[0][0] == 'P' ? given < count : given != count) continue;
    TJournalRecord record;
    record.Kind = static_cast<TJournalKind>(fields[0][0]);
    record.Fields.assign(fields.begin() + 1, fields.end());
    records.push_back(std::move(record));
  }
  return records;
}

std::string DescribeJournalRecord(const TJournalRecord& r) {
  const auto field = [&r](std::size_t i) { return i < r.Fields.size() ? r.Fields[i] : std::string(); };
  switch (r.Kind) {
    case TJournalKind::DirCreated: return "directory made " + field(0);
    case TJournalKind::FileCreated: return "file made " + field(0);
    case TJournalKind::FileReplaced: return "file replaced " + field(0);
    case TJournalKind::FileDeleted: return "file deleted " + field(0);
    case TJournalKind::KeyChanged: return "registry key changed " + field(0) + field(1);
    case TJournalKind::ValueChanged:
      return "registry value changed " + field(0) + field(1) + " \"" + field(2) + "\"";
    case TJournalKind::RestartOperation:
      return field(1).empty() ? "deletion at the next restart of " + field(0)
                              : "rename at the next restart of " + field(0) + " to " + field(1);
    case TJournalKind::Note: return field(0);
    case TJournalKind::Product: return "journal of " + field(0);
  }
  return std::string();
}

// ---- undo --------------------------------------------------------------------------------

namespace {

void ClearReadOnly(const std::string& path) {
  const std::uint32_t attributes = os::GetAttributes(path);
  if (attributes != os::kInvalidAttributes && (attributes & os::kAttrReadOnly)) {
    os::SetAttributes(path, attributes & ~os::kAttrReadOnly);
  }
}

bool RemoveIfThere(const std::string& path) {
  if (!os::FileExists(path)) return true;
  ClearReadOnly(path);
  return os::RemoveFile(path);
}

// The saved file goes back in its place; without a saved file the change never happened.
bool PutBack(const std::string& backup, const std::string& path) {
  if (!os::FileExists(backup)) return true;
  ClearReadOnly(path);
  const std::size_t cut = path.find_last_of("\\/");
  if (cut != std::string::npos && cut > 0) os::CreateDirectories(path.substr(0, cut));
  return os::ReplaceFile(backup, path) || (os::CopyFileTo(backup, path, true) && os::RemoveFile(backup));
}

// The places a directory made above them holds go, then only the directories left empty up
// to it: nothing else inside it was the run's to remove.
bool UndoDirectoryAbove(const std::string& directory, const std::vector<std::string>& places) {
  for (const std::string& place : places) {
    if (os::DirectoryExists(place)) {
      if (!IsRootOrEmpty(place) && !DeleteDirTree(place, false)) return false;
    } else if (!RemoveIfThere(place)) {
      return false;
    }
    for (std::string dir = place;;) {
      const std::size_t cut = dir.find_last_of("\\/");
      if (cut == std::string::npos || cut < directory.size() || cut == 0) break;
      dir.erase(cut);
      if (!os::RemoveDir(dir)) break;
    }
  }
  return !os::DirectoryExists(directory) || os::RemoveDir(directory) ||
         !os::ListDirectory(directory).empty();
}

bool UndoFileStep(const TRollbackStep& step) {
  const TJournalRecord& r = step.Record;
  const std::string& path = r.Fields[0];
  switch (r.Kind) {
    case TJournalKind::DirCreated:
      if (!os::DirectoryExists(path)) return true;
      if (!step.Above.empty()) return UndoDirectoryAbove(path, step.Above);
      return IsRootOrEmpty(path) ? true : DeleteDirTree(path, false);
    case TJournalKind::FileCreated: return RemoveIfThere(path);
    case TJournalKind::FileReplaced:
    case TJournalKind::FileDeleted: return PutBack(r.Fields[1], path);
    default: return false;
  }
}

}  // namespace

int UndoJournal(const TRollbackPlan& plan, const std::function<bool(const TJournalRecord&)>& undoMachine,
                const std::function<void(const std::string&)>& log, std::vector<TJournalRecord>* left) {
  int failed = 0;
  for (auto it = plan.Steps.rbegin(); it != plan.Steps.rend(); ++it) {
    const TJournalRecord& r = it->Record;
    bool undone = false;
    if (r.Kind == TJournalKind::Note) {
      undone = false;
    } else if (r.Kind == TJournalKind::KeyChanged || r.Kind == TJournalKind::ValueChanged ||
               r.Kind == TJournalKind::RestartOperation) {
      try {
        undone = undoMachine && undoMachine(r);
      } catch (const std::exception&) {
        undone = false;
      }
    } else {
      undone = UndoFileStep(*it);
    }
    if (!undone) {
      ++failed;
      if (left && r.Kind != TJournalKind::Note) left->insert(left->begin(), r);
    }
    if (log) log((undone ? " undone: " : " not undone: ") + DescribeJournalRecord(r));
  }
  return failed;
}

// ---- the journal file --------------------------------------------------------------------

TJournal::~TJournal() { Close(); }

bool TJournal::Create(const std::string& path) {
  std::lock_guard<std::mutex> lock(lock_);
  if (os::FileExists(path)) return false;
  file_ = os::OpenFile(path, os::OpenMode::Create, true);
  if (!file_.IsOpen()) return false;
  path_ = path;
  records_.clear();
  createdDirs_.clear();
  backups_ = 0;
  backupDirectoryMade_ = false;
  failed_ = false;
  return true;
}

bool TJournal::Adopt(const std::string& path) {
  std::lock_guard<std::mutex> lock(lock_);
  os::File file = os::OpenFile(path, os::OpenMode::ReadWrite, true);
  if (!file.IsOpen()) return false;
  std::string bytes;
  char buffer[16384];
  for (std::size_t n; (n = file.Read(buffer, sizeof buffer)) > 0;) bytes.append(buffer, n);
  // A torn last line is cut off, so the records appended now start on a line of their own.
  const std::size_t end = bytes.rfind('\n');
  const std::int64_t keep = end == std::string::npos ? 0 : static_cast<std::int64_t>(end + 1);
  if (keep != static_cast<std::int64_t>(bytes.size())) {
    file = os::File();
    {
      os::File rewrite = os::OpenFile(path, os::OpenMode::Create, true);
      if (!rewrite.IsOpen()) return false;
      rewrite.Write(bytes.data(), static_cast<std::size_t>(keep));
    }
    file = os::OpenFile(path, os::OpenMode::ReadWrite, true);
    if (!file.IsOpen()) return false;
  }
  file.Seek(0, os::SeekOrigin::End);
  file_ = std::move(file);
  path_ = path;
  records_ = ParseJournal(bytes.substr(0, static_cast<std::size_t>(keep)));
  createdDirs_.clear();
  for (const TJournalRecord& r : records_) {
    if (r.Kind == TJournalKind::DirCreated) createdDirs_.push_back(r.Fields[0]);
  }
  // The backup directory is this journal's own; numbering goes on past the highest name.
  backups_ = 0;
  for (const os::DirEntry& e : os::ListDirectory(BackupDirectory())) {
    backups_ = std::max(backups_, std::atoi(e.Name.c_str()));
  }
  backupDirectoryMade_ = os::DirectoryExists(BackupDirectory());
  failed_ = false;
  return true;
}

bool TJournal::IsOpen() const {
  std::lock_guard<std::mutex> lock(lock_);
  return file_.IsOpen();
}

namespace {

// The records whose loss would lose something of the machine for good.
bool Destroys(TJournalKind kind) {
  switch (kind) {
    case TJournalKind::FileReplaced:
    case TJournalKind::FileDeleted:
    case TJournalKind::KeyChanged:
    case TJournalKind::ValueChanged:
    case TJournalKind::RestartOperation:
    case TJournalKind::Product:
      return true;
    default:
      return false;
  }
}

}  // namespace

bool TJournal::Append(const TJournalRecord& record) {
  std::function<void()> report;
  {
    std::lock_guard<std::mutex> lock(lock_);
    if (record.Kind == TJournalKind::DirCreated) createdDirs_.push_back(record.Fields.at(0));
    records_.push_back(record);
    if (!file_.IsOpen() || failed_) return !failed_ && file_.IsOpen();
    const std::string line = EncodeJournalRecord(record);
    bool written = false;
    try {
      if (WriteLine) {
        written = WriteLine(line);
      } else {
        file_.Write(line.data(), line.size());
        written = !Destroys(record.Kind) || file_.Flush();
      }
    } catch (const Exception&) {
      written = false;
    }
    if (written) return true;
    // A full disk: the records stay in memory, so this run can still undo itself, but it
    // must not go on making changes that a crash could not undo.
    failed_ = true;
    report = OnFailure;
  }
  if (report) report();
  return false;
}

void TJournal::Fail() {
  std::function<void()> report;
  {
    std::lock_guard<std::mutex> lock(lock_);
    failed_ = true;
    report = OnFailure;
  }
  if (report) report();
}

bool TJournal::Failed() const {
  std::lock_guard<std::mutex> lock(lock_);
  return failed_;
}

bool TJournal::InsideCreated(const std::string& path) const {
  std::lock_guard<std::mutex> lock(lock_);
  for (const std::string& dir : createdDirs_) {
    if (IsInsideDirectory(path, dir)) return true;
  }
  return false;
}

void TJournal::WillCreateDirectories(const std::string& directory) {
  std::string dir = directory;
  while (dir.size() > 3 && os::IsPathSeparator(dir.back())) dir.pop_back();
  if (InsideCreated(dir) || os::DirectoryExists(dir)) return;
  // The topmost missing parent: everything below it is the run's.
  std::string top = dir;
  for (;;) {
    const std::size_t cut = top.find_last_of("\\/");
    if (cut == std::string::npos || cut < 3) break;
    const std::string parent = top.substr(0, cut);
    if (os::DirectoryExists(parent) || IsRootOrEmpty(parent)) break;
    top = parent;
  }
  Append({TJournalKind::DirCreated, {top}});
}

bool TJournal::MakeBackupDirectory() {
  {
    std::lock_guard<std::mutex> lock(lock_);
    if (backupDirectoryMade_) return true;
    if (path_.empty()) return false;  // a journal in memory has nowhere to keep backups
  }
  // Made new: a directory that is already there is nobody's backup directory of this run.
  const std::string dir = BackupDirectory();
  if (os::DirectoryExists(dir) || os::FileExists(dir) || !os::CreateDirectories(dir)) return false;
  std::lock_guard<std::mutex> lock(lock_);
  backupDirectoryMade_ = true;
  return true;
}

std::string TJournal::NewBackupPath() {
  std::lock_guard<std::mutex> lock(lock_);
  return BackupDirectory() + "\\" + std::to_string(++backups_);
}

bool TJournal::WillWriteFile(const std::string& path) {
  if (InsideCreated(path)) return true;
  if (!os::FileExists(path)) {
    Append({TJournalKind::FileCreated, {path}});
    return true;
  }
  if (!MakeBackupDirectory()) return false;
  const std::string backup = NewBackupPath();
  if (!os::CopyFileTo(path, backup, false)) return false;
  return Append({TJournalKind::FileReplaced, {path, backup}});
}

bool TJournal::DeleteWithBackup(const std::string& path) {
  if (InsideCreated(path) || !os::FileExists(path)) return RemoveIfThere(path);
  if (!MakeBackupDirectory()) return false;
  const std::string backup = NewBackupPath();
  if (!Append({TJournalKind::FileDeleted, {path, backup}})) return false;
  ClearReadOnly(path);
  if (os::MoveFileTo(path, backup)) return true;
  // Another volume: a copy, then the original goes.
  if (!os::CopyFileTo(path, backup, false)) return false;
  if (os::RemoveFile(path)) return true;
  os::RemoveFile(backup);
  return false;
}

std::vector<TJournalRecord> TJournal::Records() const {
  std::lock_guard<std::mutex> lock(lock_);
  return records_;
}

void TJournal::Close() {
  std::lock_guard<std::mutex> lock(lock_);
  file_ = os::File();
}

void TJournal::Discard() {
  Close();
  if (path_.empty()) return;
  if (os::DirectoryExists(BackupDirectory())) DeleteDirTree(BackupDirectory(), false);
  os::RemoveFile(path_);
  std::lock_guard<std::mutex> lock(lock_);
  records_.clear();
  createdDirs_.clear();
  path_.clear();
}

// The journal is rewritten to its header and the records still to be undone; the backups
// stay where they are (those put back are gone from there already).
bool TJournal::KeepOnly(const std::vector<TJournalRecord>& left) {
  Close();
  std::string bytes;
  {
    std::lock_guard<std::mutex> lock(lock_);
    if (path_.empty()) return false;
    if (!records_.empty() && records_.front().Kind == TJournalKind::Product) {
      bytes = EncodeJournalRecord(records_.front());
    }
  }
  for (const TJournalRecord& r : left) bytes += EncodeJournalRecord(r);
  const std::string fresh = path_ + ".new";
  try {
    os::File file = os::OpenFile(fresh, os::OpenMode::Create, true);
    if (!file.IsOpen()) return false;
    file.Write(bytes.data(), bytes.size());
    if (!file.Flush()) return false;
  } catch (const Exception&) {
    return false;
  }
  return os::ReplaceFile(fresh, path_);
}

void TJournal::Commit() { Discard(); }

int TJournal::Rollback(const std::function<bool(const TJournalRecord&)>& undoMachine,
                       const std::function<void(const std::string&)>& log) {
  const std::vector<TJournalRecord> records = Records();
  const TRollbackPlan plan = PlanRollback(records, Path(), FinalPath);
  if (!plan.HasProduct) {
    // Not a journal of ours: nothing in it is undone, and it stays as it is.
    Close();
    if (log) log(" refused: the journal names no product, left alone: " + Path());
    return static_cast<int>(records.size());
  }
  std::multiset<std::string> keep;
  for (const TRefusedRecord& refused : plan.Refused) {
    if (log) log(" refused: " + DescribeJournalRecord(refused.Record) + " (" + refused.Reason + ")");
    keep.insert(EncodeJournalRecord(refused.Record));
  }
  std::vector<TJournalRecord> failed;
  const int notUndone = UndoJournal(plan, undoMachine, log, &failed);
  for (const TJournalRecord& r : failed) keep.insert(EncodeJournalRecord(r));
  if (keep.empty()) {
    Discard();
    return notUndone;
  }
  // What was refused or could not be undone stays, in its order, with its backups.
  std::vector<TJournalRecord> left;
  for (std::size_t i = 1; i < records.size(); ++i) {
    const auto found = keep.find(EncodeJournalRecord(records[i]));
    if (found == keep.end()) continue;
    keep.erase(found);
    left.push_back(records[i]);
  }
  const bool rewritten = KeepOnly(left);
  if (log) {
    log(rewritten ? " the journal is kept for the next start: " + Path()
                  : " the journal is kept as it was for the next start: " + Path());
  }
  return notUndone + static_cast<int>(plan.Refused.size());
}
