// What a roll-back may touch. A journal names the product it belongs to in its first record;
// only changes below the places that product's run made or recorded (its install directory,
// program group folders, uninstaller copy, startup file) and of the product's own registry
// keys and the machine's "Path" value are ever undone. Everything else in a journal, whether
// a fault of ours or written by someone else, is refused with a reason and left alone.
//
// The judgement is lexical (pathrules) and, where the caller can tell, also on the final path
// of what exists, so that a junction placed inside the product cannot lead an undo out.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/Journal.h"

// The journal's header: "P <name> <product key> <uninstall entry key> <place>...".
struct TJournalProduct {
  std::string Name;
  std::string ProductKey;  // below HKEY_LOCAL_MACHINE, "\Software\..."
  std::string EntryKey;    // the product's entry in the list of installed programs
  std::vector<std::string> Places;  // directories and files of the product's run
};

TJournalRecord ProductRecord(const TJournalProduct& product);
// False when the record is no header.
bool ReadProductRecord(const TJournalRecord& record, TJournalProduct& product);

// One change the roll-back will undo. `Above` is set for a directory made above the product's
// places (the missing parents of the install directory): its undo removes those places and
// then only the directories that are left empty, never anything else inside it.
struct TRollbackStep {
  TJournalRecord Record;
  std::vector<std::string> Above;
};

struct TRefusedRecord {
  TJournalRecord Record;
  std::string Reason;  // English, for the log
};

struct TRollbackPlan {
  bool HasProduct = false;
  TJournalProduct Product;
  std::vector<TRollbackStep> Steps;  // in the journal's order; undone from the last
  std::vector<TRefusedRecord> Refused;
};

// The final path of what exists of a path (its existing part resolved through links and
// junctions, the rest appended); empty when it cannot be told. Without one the judgement is
// lexical only.
using TFinalPath = std::function<std::string(const std::string& path)>;

// Sorts the records of the journal at `journalPath` (its backups belong in journalPath + ".d").
TRollbackPlan PlanRollback(const std::vector<TJournalRecord>& records, const std::string& journalPath,
                           const TFinalPath& finalPath = {});

// The machine's search path value, the one value outside the product a roll-back may restore.
inline constexpr char kMachinePathKey[] = "\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
inline constexpr char kMachinePathValue[] = "Path";
