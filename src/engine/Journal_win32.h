// The journal's registry records, its restart operations, and the protected directory that
// holds the journal files.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/Journal.h"
#include "engine/JournalPlan.h"

// Records the whole key (with its subkeys) as it is now, before the run changes it. Nothing
// happens without a journal.
void JournalKey(TJournal* journal, HKEY root, const std::string& key, REGSAM view);
// Records one value as it is now.
void JournalValue(TJournal* journal, HKEY root, const std::string& key, const std::string& name,
                  REGSAM view);
// Puts a recorded key or value back as it was, or takes a rename or deletion left for the
// next restart back out of the system's list; false when that failed.
bool UndoRegistryRecord(const TJournalRecord& record);
// Takes the operation out of PendingFileRenameOperations (true when it is not there).
bool RemovePendingOperation(const std::string& path, const std::string& target);

// The directories that may hold journals, first choice first: "ztkinst\Journals" in the
// machine's program data, then in the Windows directory. Each is made with a protected DACL
// (SYSTEM and Administrators only) when missing.
std::vector<std::string> JournalDirectories();
// The first of them that can be trusted (made or checked), with a trailing "\"; empty when
// none can: then no journal can be kept safely and no run may change the machine.
std::string TrustedJournalDirectory();
// Empty when the directory or journal file may be trusted: owned by SYSTEM, the
// Administrators (or the administrator running this program), and writable by nobody else;
// else why not. A directory that is a reparse point is never trusted. On Windows 9x, which
// has no owners and no ACLs (every program may write everywhere), everything is trusted.
std::string DistrustOf(const std::string& path, bool directory);
// The same judgement on a security descriptor.
std::string DistrustOfDescriptor(PSECURITY_DESCRIPTOR descriptor, bool directory);
// Tests: the security of a path as SDDL in place of the real one (empty: the real one).
extern std::function<std::string(const std::string& path)> JournalSecurityForTest;
// The final path of what exists of `path` (through links and junctions), the rest appended;
// empty when it cannot be told.
std::string FinalPathOf(const std::string& path);
// The header of this run's journal: the product and every place its run may change.
TJournalProduct RunProduct(const std::string& installDir, const std::string& programGroup);

// A new journal's name for this run, in the trusted journal directory (empty without one).
std::string NewRunJournalPath();
// Where a first run of the Windows 9x path leaves its journal for the run after the restart.
std::string RestartJournalPath();
// Moves a journal file with its backups (false when the file could not be moved).
bool MoveJournal(const std::string& from, const std::string& to);
