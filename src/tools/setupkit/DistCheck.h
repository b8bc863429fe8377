// The vendor's preflight of a distribution directory ("setupkit check"): everything the
// installer will need from the directory, looked at before the distribution ships.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One thing wrong: the file it concerns, and the section and key of the description that
// name it (empty when no key does, as for the licence).
struct TCheckProblem {
  std::string File;
  std::string Section;
  std::string Key;
  std::string Message;
};

struct TArchiveReport {
  std::string Name;  // as the description gives it
  bool Readable = false;
  int Entries = 0;
  std::int64_t Size = 0;  // unpacked bytes
};

struct TLinkReport {
  std::string Key;     // MenuLink1, DesktopLink...
  std::string Target;  // field 1 of the link, relative to the install directory
  bool Found = false;
};

struct TLibraryReport {
  std::string Name;
  bool Readable = false;
  std::string Machine;               // "x86-64", "i386", ...
  std::vector<std::string> Exports;  // the contract's names it exports
};

struct TSubsystemReport {
  std::int32_t Number = 0;
  std::string Section;
  std::string ShortName;
  std::vector<TArchiveReport> Archives;
  bool HasLibrary = false;
  TLibraryReport Library;
  std::vector<TLinkReport> Links;
  std::vector<std::string> CheckFiles;
  std::vector<std::string> ReqFiles;
  std::int64_t Size = 0;  // unpacked bytes of its own archives
};

struct TCheckReport {
  std::string Distribution;
  std::string Machine;        // expected of every library
  bool MachineFromSetup = false;  // taken from the distribution's setup.exe
  bool Loaded = false;        // the description loaded and its tree built
  std::vector<TSubsystemReport> Subsystems;
  std::vector<TCheckProblem> Problems;
  // What is not wrong for the installer but may be for its user: they do not change the
  // exit status.
  std::vector<TCheckProblem> Warnings;
};

// The names of the plug-in contract, as the loader looks them up.
const std::vector<std::string>& ContractExportNames();

// Runs every check on the directory. Message boxes shown on the way (the tree's loading,
// the ZIP reader) are answered as nobody is there and become problems.
TCheckReport CheckDistribution(const std::string& directory);

std::string CheckReportText(const TCheckReport& report);
std::string CheckReportJson(const TCheckReport& report);
// "FILE: [SECTION] KEY: MESSAGE" (the parts that are empty left out).
std::string ProblemLine(const TCheckProblem& problem);
