// The journal on Windows: registry snapshots and their undo, the journal files beside the
// log, and the recovery of runs that died.
#include "engine/Journal_win32.h"

#include <cstdio>
#include <vector>

#include "common/osfile.h"
#include "common/win32.h"
#include "engine/DirTree.h"
#include "setup/Messages.h"
#include "setup/SetupGlobals.h"

namespace {

// ---- root and view as text: "HKLM32" is the local machine in the 32-bit view --------------

std::string RootText(HKEY root, REGSAM view) {
  std::string text = root == HKEY_CURRENT_USER ? "HKCU" : "HKLM";
  if (view & KEY_WOW64_32KEY) text += "32";
  if (view & KEY_WOW64_64KEY) text += "64";
  return text;
}

bool ParseRoot(const std::string& text, HKEY& root, REGSAM& view) {
  if (text.rfind("HKCU", 0) == 0) {
    root = HKEY_CURRENT_USER;
  } else if (text.rfind("HKLM", 0) == 0) {
    root = HKEY_LOCAL_MACHINE;
  } else {
    return false;
  }
  const std::string rest = text.substr(4);
  view = rest == "32" ? KEY_WOW64_32KEY : rest == "64" ? KEY_WOW64_64KEY : 0;
  return true;
}

std::wstring KeyPath(const std::string& key) {
  std::wstring path = win32::Wide(key);
  while (!path.empty() && path.front() == L'\\') path.erase(0, 1);
  return path;
}

std::string Hex(const BYTE* bytes, DWORD size) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  text.reserve(size * 2);
  for (DWORD i = 0; i < size; ++i) {
    text += digits[bytes[i] >> 4];
    text += digits[bytes[i] & 15];
  }
  return text;
}

std::vector<BYTE> Unhex(const std::string& text) {
  std::vector<BYTE> bytes;
  const auto nibble = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
    bytes.push_back(static_cast<BYTE>(nibble(text[i]) * 16 + nibble(text[i + 1])));
  }
  return bytes;
}

// "<type>:<hex>" of a value, "-" when it is missing.
std::string ValueData(HKEY key, const std::wstring& name) {
  for (;;) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return "-";
    std::vector<BYTE> data(size + 2);
    DWORD got = size;
    const LONG r = RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &got);
    if (r == ERROR_MORE_DATA) continue;
    if (r != ERROR_SUCCESS) return "-";
    return std::to_string(type) + ":" + Hex(data.data(), got);
  }
}

bool SetValueData(HKEY key, const std::wstring& name, const std::string& data) {
  if (data == "-") {
    const LONG r = RegDeleteValueW(key, name.c_str());
    return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND;
  }
  const std::size_t colon = data.find(':');
  if (colon == std::string::npos) return false;
  const DWORD type = static_cast<DWORD>(std::stoul(data.substr(0, colon)));
  const std::vector<BYTE> bytes = Unhex(data.substr(colon + 1));
  return RegSetValueExW(key, name.c_str(), 0, type, bytes.data(), static_cast<DWORD>(bytes.size())) ==
         ERROR_SUCCESS;
}

// The key's tree as lines: "k <relative path>" and "v <relative path> <name> <data>".
void Snapshot(HKEY key, const std::wstring& relative, std::string& out) {
  out += EncodeJournalFields({"k", win32::Narrow(relative)}) + "\n";
  std::vector<wchar_t> name(32768);
  for (DWORD i = 0;; ++i) {
    DWORD length = static_cast<DWORD>(name.size());
    if (RegEnumValueW(key, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    const std::wstring valueName(name.data(), length);
    out += EncodeJournalFields({"v", win32::Narrow(relative), win32::Narrow(valueName),
                                ValueData(key, valueName)}) +
           "\n";
  }
  std::vector<std::wstring> subkeys;
  for (DWORD i = 0;; ++i) {
    DWORD length = static_cast<DWORD>(name.size());
    if (RegEnumKeyExW(key, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    subkeys.emplace_back(name.data(), length);
  }
  for (const std::wstring& sub : subkeys) {
    win32::RegKey child;
    if (RegOpenKeyExW(key, sub.c_str(), 0, KEY_READ, child.put()) != ERROR_SUCCESS) continue;
    Snapshot(child.get(), relative.empty() ? sub : relative + L"\\" + sub, out);
  }
}

bool DeleteKeyTree(HKEY root, const std::wstring& path, REGSAM view) {
  {
    win32::RegKey key;
    const LONG r = RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS | view, key.put());
    if (r == ERROR_FILE_NOT_FOUND) return true;
    if (r != ERROR_SUCCESS) return false;
    RegDeleteTreeW(key.get(), nullptr);
  }
  const LONG r = RegDeleteKeyExW(root, path.c_str(), view, 0);
  return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND;
}

bool Restore(HKEY root, const std::wstring& path, REGSAM view, const std::string& snapshot) {
  bool ok = true;
  std::size_t start = 0;
  for (std::size_t end; (end = snapshot.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::vector<std::string> f = DecodeJournalFields(snapshot.substr(start, end - start));
    if (f.size() < 2) continue;
    const std::wstring sub = f[1].empty() ? path : path + L"\\" + win32::Wide(f[1]);
    win32::RegKey key;
    if (RegCreateKeyExW(root, sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS) {
      ok = false;
      continue;
    }
    if (f[0] == "v" && f.size() == 4) ok = SetValueData(key.get(), win32::Wide(f[2]), f[3]) && ok;
  }
  return ok;
}

}  // namespace

void JournalKey(TJournal* journal, HKEY root, const std::string& key, REGSAM view) {
  if (!journal) return;
  std::string snapshot;
  win32::RegKey opened;
  if (RegOpenKeyExW(root, KeyPath(key).c_str(), 0, KEY_READ | view, opened.put()) == ERROR_SUCCESS) {
    Snapshot(opened.get(), L"", snapshot);
  }
  journal->Append({TJournalKind::KeyChanged, {RootText(root, view), key, snapshot}});
}

void JournalValue(TJournal* journal, HKEY root, const std::string& key, const std::string& name,
                  REGSAM view) {
  if (!journal) return;
  std::string data = "-";
  win32::RegKey opened;
  if (RegOpenKeyExW(root, KeyPath(key).c_str(), 0, KEY_READ | view, opened.put()) == ERROR_SUCCESS) {
    data = ValueData(opened.get(), win32::Wide(name));
  }
  journal->Append({TJournalKind::ValueChanged, {RootText(root, view), key, name, data}});
}

bool UndoRegistryRecord(const TJournalRecord& record) {
  if (record.Kind == TJournalKind::RestartOperation && record.Fields.size() == 2) {
    return RemovePendingOperation(record.Fields[0], record.Fields[1]);
  }
  HKEY root;
  REGSAM view;
  if (record.Fields.size() < 3 || !ParseRoot(record.Fields[0], root, view)) return false;
  const std::wstring path = KeyPath(record.Fields[1]);
  if (path.empty()) return false;  // never a whole root
  if (record.Kind == TJournalKind::KeyChanged) {
    if (!DeleteKeyTree(root, path, view)) return false;
    return record.Fields[2].empty() || Restore(root, path, view, record.Fields[2]);
  }
  if (record.Kind == TJournalKind::ValueChanged && record.Fields.size() == 4) {
    win32::RegKey key;
    const LONG r = RegOpenKeyExW(root, path.c_str(), 0, KEY_SET_VALUE | view, key.put());
    if (r == ERROR_FILE_NOT_FOUND) return record.Fields[3] == "-";
    return r == ERROR_SUCCESS && SetValueData(key.get(), win32::Wide(record.Fields[2]), record.Fields[3]);
  }
  return false;
}

// ---- the journal files ---------------------------------------------------------------------

namespace {

const char kJournalPrefix[] = "ztkinst-";
const char kJournalSuffix[] = ".jnl";
const char kRestartName[] = "ztkinst-restart.jnl";

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

std::string NewRunJournalPath() {
  const std::string dir = TrustedJournalDirectory();
  if (dir.empty()) return {};
  // A name nobody can guess ahead: the journal and its backup directory are made new.
  LARGE_INTEGER counter{};
  QueryPerformanceCounter(&counter);
  char name[96];
  std::snprintf(name, sizeof name, "%s%lu-%llu-%llx%s", kJournalPrefix, GetCurrentProcessId(),
                static_cast<unsigned long long>(GetTickCount64()),
                static_cast<unsigned long long>(counter.QuadPart), kJournalSuffix);
  std::string path = dir + name;
  for (int n = 1; os::FileExists(path) || os::DirectoryExists(path + ".d"); ++n) {
    path = dir + name + std::to_string(n);
  }
  return path;
}

std::string RestartJournalPath() {
  const std::string dir = TrustedJournalDirectory();
  return dir.empty() ? std::string() : dir + kRestartName;
}

bool MoveJournal(const std::string& from, const std::string& to) {
  if (from.empty() || to.empty()) return false;
  if (os::DirectoryExists(to + ".d")) DeleteDirTree(to + ".d", false);
  if (!os::ReplaceFile(from, to)) return false;
  if (os::DirectoryExists(from + ".d")) os::MoveFileTo(from + ".d", to + ".d");
  return true;
}

bool RecoverAbandonedRuns(bool notify) {
  bool found = false;
  // Where journals lived before, and anyone may write: never undone, only named in the log.
  std::string temp = SetupGlobals.TempDir;
  if (!temp.empty() && temp.back() != '\\') temp += '\\';
  for (const os::DirEntry& entry : temp.empty() ? std::vector<os::DirEntry>() : os::ListDirectory(temp)) {
    if (entry.Name.rfind(kJournalPrefix, 0) == 0 && EndsWith(entry.Name, kJournalSuffix)) {
      WriteLog(" journal left alone, it lies outside the journal directory: " + temp + entry.Name);
    }
  }
  for (const std::string& dir : JournalDirectories()) {
    if (!os::DirectoryExists(dir)) continue;
    const std::string distrust = DistrustOf(dir, true);
    const std::string parentDistrust = DistrustOf(dir.substr(0, dir.rfind('\\')), true);
    for (const os::DirEntry& entry : os::ListDirectory(dir)) {
      if (entry.Attributes & os::kAttrDirectory) continue;
      if (entry.Name.rfind(kJournalPrefix, 0) != 0 || !EndsWith(entry.Name, kJournalSuffix)) continue;
      if (entry.Name == kRestartName) continue;  // waits for the run after the restart
      const std::string path = dir + "\\" + entry.Name;
      std::string why = !parentDistrust.empty() ? parentDistrust : distrust;
      if (why.empty()) why = DistrustOf(path, false);
      if (!why.empty()) {
        WriteLog(" journal left alone, it cannot be trusted (" + why + "): " + path);
        continue;
      }
      TJournal journal;
      if (!journal.Adopt(path)) continue;  // its run is alive
      const std::vector<TJournalRecord> records = journal.Records();
      if (records.empty() || records.front().Kind != TJournalKind::Product) {
        journal.Close();
        WriteLog(" journal left alone, it names no product: " + path);
        continue;
      }
      found = true;
      journal.FinalPath = FinalPathOf;
      TLogFile::TKeepOpen keepLog(SetupGlobals.Log.get());
      const int failed = journal.Rollback(UndoRegistryRecord, WriteLog);
      WriteLog(" the changes of a run that did not end were undone (" + std::to_string(records.size() - 1) +
               " changes, " + std::to_string(failed) + " not undone): " + path);
    }
  }
  if (found && notify) {
    ShowBilingualMessage(
        "Предыдущая установка не была завершена. Сделанные ею изменения отменены.",
        "The previous installation did not end. The changes it made have been undone.",
        SetupGlobals.MessageCaption, kNoticeBox | mb::kOk);
  }
  return found;
}
