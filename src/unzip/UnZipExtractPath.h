// Where an entry of the archive lands on disk.
//
// Stored directories come with "\" separators (the directory reader turns "/" into "\").
// With RecreateDirs the stored directory, less a leading RootDir, is placed under DestDir;
// an absolute stored directory ("\tools\" or "x:\tools\") is re-rooted under DestDir, or
// taken as it is when DestDir is empty. Whatever the stored name says, the result never
// climbs out of DestDir: ".." components that would leave it make the entry unsafe.
#pragma once

#include <string>

namespace unzip {

struct TTargetPlan {
  std::string Directory;  // the target directory, ending in "\"
  bool Unsafe = false;    // the stored path climbs out of the target directory
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

}  // namespace unzip
