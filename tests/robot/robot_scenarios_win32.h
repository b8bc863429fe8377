// What the robot does with the demonstration distribution (samples/distribution) and what it
// then expects of the machine. The runs go through the wizard page by page as a person
// would; the checks read back files, registry, links, the search path and the log with the
// plain system functions, and compare the files with samples/source, from which the
// distribution's archives are made.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "robot/robot_driver_win32.h"

namespace robot {

// The demonstration product's name, as its description gives it.
inline const std::string kSystemName = "Кворвален Демо";

struct TSetting {
  std::string Dist;        // the copy of the distribution that setup.exe runs in
  std::string Sources;     // samples/source: the files the archives hold, as the vendor wrote them
  std::string InstallDir;  // typed into the wizard; empty: the wizard's proposal is kept (and read back here)
  std::string Group;       // likewise for the program group
  std::string Shots;       // where screenshots go; empty: none
};

// A run's part of the log: offset before the run, and what was added by it.
std::string LogFile();
size_t LogSize();
std::string LogSince(size_t offset);
// The log's step brackets in order: "+NAME" for an IN line, "-NAME" for an OUT line.
std::vector<std::string> LogSteps(const std::string& logPart);

// ---- the runs -----------------------------------------------------------------------------

// A new installation: full, or custom with the subsystems named in `untick` (short names as
// the selection page shows them) unticked. `overExisting`: the directory and group exist, and
// the person confirms their questions.
void InstallRun(TSetting& setting, const std::vector<std::string>& untick = {}, bool overExisting = false);
// Adds and removes subsystems of the installed product (short names).
void AddDeleteRun(const TSetting& setting, const std::vector<std::string>& add, const std::vector<std::string>& remove);
// Removes the product with the command the Windows uninstall entry holds.
void UninstallThroughEntry(const TSetting& setting);
// Starts a full installation and cancels it while the archives are extracted: Esc asks and
// is answered No by keys, Alt+F4 asks again and is answered Yes.
void CancelDuringExtraction(TSetting& setting);
// A full installation whose archive has an entry with a wrong checksum: the bad-archive box
// is checked against the progress window and the run's later boxes answered OK.
void BadArchiveRun(TSetting& setting);
// A new installation by keys alone (Tab, Enter, the arrows, Space, Alt with a button's
// letter): full, or custom with the subsystems named in `untick` unticked.
void InstallByKeys(TSetting& setting, const std::vector<std::string>& untick = {});
// Goes to the licence page and leaves the wizard with Esc.
void LeaveByEsc(const TSetting& setting);

// ---- the machine --------------------------------------------------------------------------

// Subsystem numbers of the demonstration product by their short names.
int SubsystemNumber(const std::string& shortName);

// What is wrong with the machine for an installation of these subsystems (empty: nothing).
// `setupType1`: the description's "SetupType" was 1. `linkSubsystems`: the subsystems whose
// links the program group holds, when they are not just those installed.
std::vector<std::string> CheckInstalled(const TSetting& setting, const std::set<int>& subsystems, bool setupType1,
                                        const std::set<int>& linkSubsystems = {});
// What of the product is still there after its removal, besides what stays on purpose.
std::vector<std::string> CheckRemoved(const TSetting& setting, bool markExpected);

// Deletes every trace of the product (before and after a test).
void CleanMachine(const TSetting& setting);

// A person's view of what the machine holds now, for the main job's report.
std::string DescribeMachine(const TSetting& setting);

// Copies samples/distribution and the built programs into `dist`.
void MakeDistribution(const std::string& samples, const std::string& dist, const std::vector<std::string>& programs);
// Rewrites one line of the distribution's description (a "key=" line, the first one found).
void SetDescriptionLine(const std::string& dist, const std::string& key, const std::string& line);

}  // namespace robot
