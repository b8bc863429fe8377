// The subsystem tree as JSON, for the vendor tool ("setupkit tree"): what the wizard's
// subsystem page starts from and what the user's ticks make of it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TIDFTextFile;
class TSysNode;
class TSysTree;

// {"number":..,"section":..,"shortName":..,"fullName":..,"parent":..,"depend":..,
//  "dependedOnBy":..,"viewParent":..,"viewOnly":..,"library":..,"parameter":..,
//  "archive":..,"links":..,"checkFiles":..,"reqFiles":..,"selected":..,"complete":..,
//  "children":[...]}
std::string SysNodeToJson(const TSysNode& node);
// The top-level nodes with their subtrees, in tree order: [node, ...]
std::string SysTreeToJson(const TSysTree& tree);

// One tick of the user: select or deselect the subsystem with that number.
struct TTreeTick {
  bool Select = true;
  std::int32_t Number = 0;
};

// Loads the description's tree as the wizard's subsystem page does (every shown subsystem
// selected and complete, hidden ones selected), applies the ticks in order and writes
//   {"loaded":..,"messages":[..],"log":[..],"nodes":[..]}   (plus "error" on failure)
// to `json`. Returns the exit status: 0, or 1 when the tree cannot be loaded or a tick
// fails, or 2 when a tick names a number no subsystem bears. Message boxes shown while
// loading are answered with OK and listed in "messages"; log lines go to "log".
int TreeReport(const TIDFTextFile& file, const std::vector<TTreeTick>& ticks,
               std::string& json);
