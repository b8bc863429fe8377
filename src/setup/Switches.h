// The switches of an unattended run (/S, /DIR=, /GROUP=, /COMPONENTS=, /ADD=, /REMOVE=,
// /LEVEL=, /FORCE), taken out of the command line before start-up reads what is left.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct TSwitches {
  bool Silent = false;  // /S: no wizard, no box, no progress window
  bool Force = false;   // /FORCE: an existing directory may be emptied and used
  std::optional<std::string> Dir;
  std::optional<std::string> Group;
  std::optional<std::vector<std::int32_t>> Components;
  std::optional<std::vector<std::int32_t>> Add;
  std::optional<std::vector<std::int32_t>> Remove;
  int Level = 1;  // the question level handed to the libraries

  // True when any switch besides /S was given.
  bool AnyBesidesSilent() const;
};

struct TCommandLine {
  TSwitches Switches;
  std::vector<std::string> Params;  // what start-up reads, the switches taken out
  std::string Error;                // not empty: the command line is refused, and why
};

// Reads the raw command line (the program's own name first, as the system hands it over).
// A token is a run of characters outside quotes up to a blank; quotes group and are dropped,
// and a backslash is an ordinary character, so /DIR="C:\X\" gives C:\X\. A command line with
// no token that starts with "/" keeps `usualParams`, the system's own splitting, untouched.
TCommandLine ParseCommandLine(const std::string& raw, const std::vector<std::string>& usualParams);

// The tokens of a raw command line after the program's name.
std::vector<std::string> SplitRawCommandLine(const std::string& raw);
