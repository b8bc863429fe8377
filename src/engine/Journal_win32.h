// The journal's registry records and the journal files of the temporary directory.
#pragma once

#include <windows.h>

#include <string>

#include "engine/Journal.h"

// Records the whole key (with its subkeys) as it is now, before the run changes it. Nothing
// happens without a journal.
void JournalKey(TJournal* journal, HKEY root, const std::string& key, REGSAM view);
// Records one value as it is now.
void JournalValue(TJournal* journal, HKEY root, const std::string& key, const std::string& name,
                  REGSAM view);
// Puts a recorded key or value back as it was; false when that failed.
bool UndoRegistryRecord(const TJournalRecord& record);

// A new journal's name for this run, beside the log.
std::string NewRunJournalPath();
// Where a first run of the Windows 9x path leaves its journal for the run after the restart.
std::string RestartJournalPath();
// Moves a journal file with its backups (false when the file could not be moved).
bool MoveJournal(const std::string& from, const std::string& to);
