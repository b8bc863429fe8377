#include "engine/Journal.h"

#include "common/errors.h"
#include "engine/DirTree.h"
#include "engine/EnginePaths.h"

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
    case 'R': case 'X': return 2;
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
    if (count < 0 || static_cast<int>(fields.size()) != count + 1) continue;
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
    case TJournalKind::Note: return field(0);
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

bool UndoFileRecord(const TJournalRecord& r) {
  const std::string& path = r.Fields[0];
  switch (r.Kind) {
    case TJournalKind::DirCreated:
      return !os::DirectoryExists(path) || IsRootOrEmpty(path) ? true : DeleteDirTree(path, false);
    case TJournalKind::FileCreated: return RemoveIfThere(path);
    case TJournalKind::FileReplaced:
    case TJournalKind::FileDeleted: return PutBack(r.Fields[1], path);
    default: return false;
  }
}

}  // namespace

int UndoJournal(const std::vector<TJournalRecord>& records,
                const std::function<bool(const TJournalRecord&)>& undoRegistry,
                const std::function<void(const std::string&)>& log) {
  int failed = 0;
  for (auto it = records.rbegin(); it != records.rend(); ++it) {
    const TJournalRecord& r = *it;
    bool undone = false;
    if (r.Kind == TJournalKind::Note) {
      undone = false;
    } else if (r.Kind == TJournalKind::KeyChanged || r.Kind == TJournalKind::ValueChanged) {
      try {
        undone = undoRegistry && undoRegistry(r);
      } catch (const std::exception&) {
        undone = false;
      }
    } else {
      undone = UndoFileRecord(r);
    }
    if (!undone) ++failed;
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
  backups_ = static_cast<int>(os::ListDirectory(BackupDirectory()).size());
  return true;
}

bool TJournal::IsOpen() const {
  std::lock_guard<std::mutex> lock(lock_);
  return file_.IsOpen();
}

void TJournal::Append(const TJournalRecord& record) {
  std::lock_guard<std::mutex> lock(lock_);
  if (record.Kind == TJournalKind::DirCreated) createdDirs_.push_back(record.Fields.at(0));
  records_.push_back(record);
  if (!file_.IsOpen()) return;
  const std::string line = EncodeJournalRecord(record);
  try {
    file_.Write(line.data(), line.size());
  } catch (const Exception&) {
    // A full disk: the records stay in memory, so this run can still undo itself.
  }
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
  os::CreateDirectories(BackupDirectory());
  const std::string backup = NewBackupPath();
  if (!os::CopyFileTo(path, backup, true)) return false;
  Append({TJournalKind::FileReplaced, {path, backup}});
  return true;
}

bool TJournal::DeleteWithBackup(const std::string& path) {
  if (InsideCreated(path) || !os::FileExists(path)) return RemoveIfThere(path);
  os::CreateDirectories(BackupDirectory());
  const std::string backup = NewBackupPath();
  Append({TJournalKind::FileDeleted, {path, backup}});
  ClearReadOnly(path);
  if (os::MoveFileTo(path, backup)) return true;
  // Another volume: a copy, then the original goes.
  if (!os::CopyFileTo(path, backup, true)) return false;
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

void TJournal::Commit() { Discard(); }

int TJournal::Rollback(const std::function<bool(const TJournalRecord&)>& undoRegistry,
                       const std::function<void(const std::string&)>& log) {
  const int failed = UndoJournal(Records(), undoRegistry, log);
  Discard();
  return failed;
}
