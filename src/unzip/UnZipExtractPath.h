// Where an entry of the archive lands on disk.
//
// Stored directories come with "\" separators (the directory reader turns "/" into "\").
// With RecreateDirs the stored directory, less a leading RootDir, is placed under DestDir;
// an absolute stored directory ("\tools\" or "x:\tools\") is re-rooted under DestDir, or
// taken as it is when DestDir is empty. Whatever the stored name says, the result never
// climbs out of DestDir: ".." components that would leave it make the entry unsafe, and so
// does a name that Windows cannot hold as a file name. A DestDir that is a root ("C:\",
// "\") keeps its one separator.
#pragma once

#include <string>
#include <string_view>

namespace unzip {

struct TTargetPlan {
  std::string Directory;  // the target directory, ending in "\"
  bool Unsafe = false;    // the stored path climbs out of the target directory or has a
                          // name Windows cannot hold
};

// The target directory of an entry whose stored directory is `storedDirectory` and whose
// file name is `fileName` (empty for a directory entry). `destDir` has no trailing "\",
// `rootDir` is empty or ends in "\".
TTargetPlan PlanTargetDirectory(const std::string& storedDirectory, const std::string& fileName,
                                const std::string& destDir, const std::string& rootDir,
                                bool recreateDirs);

// True when a relative path (components separated by "\" or "/") stays below its start:
// ".." never goes above the start, and a file name "." or ".." is not a file.
bool StaysInside(const std::string& relativeDirectory, const std::string& fileName);

// False for a name part that Windows cannot hold as a file or directory name: control
// characters (NUL included), one of : < > " | ? *, a device name (CON, PRN, AUX, NUL,
// COM1..9, LPT1..9, with or without an extension), a name ending in "." or a blank. The
// parts "." and ".." are left to StaysInside.
bool IsHoldableName(std::string_view part);
// IsHoldableName for every part of a relative directory and for the file name.
bool HoldableNames(const std::string& relativeDirectory, const std::string& fileName);

}  // namespace unzip
