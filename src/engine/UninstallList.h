// Reading uninst.inf, the list of the files every archive put into the installation. The
// list is the only record of which files a removal may delete, so a list that is there but
// cannot be trusted is never used: replacing it by the archives of one run would leave the
// earlier archives' files behind for ever, and guessing from it could delete the wrong ones.
#pragma once

#include <string>

class TIDFTextFile;

enum class TUninstallListState { Missing, Loaded, Damaged };

// Why a list was found damaged, in both languages of the program.
struct TListDamage {
  std::string Russian, English;
};

// Loads the list at `path` into `list`. Damaged: the file is there but cannot be read, or it
// holds what the engine never writes: parameters outside a section, a tree section, a
// section without a name or two sections of one archive, a "UsesCount" that is not first,
// not a number or below 0, or a file that is not a full path.
TUninstallListState LoadUninstallList(const std::string& path, TIDFTextFile& list,
                                      TListDamage& damage);
