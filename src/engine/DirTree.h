// Removing directories and their files, as every removing step of the engine does it.
#pragma once

#include <string>

// Deletes the files of one directory that match the pattern ("*.*" or "*": all of them,
// hidden and system ones included), clearing their read-only, hidden and system bits first.
// Stops at the first file it cannot delete (with a message box when showErrors) and answers
// false; true when none is left.
bool DeleteDirFiles(const std::string& directory, const std::string& pattern, bool showErrors);

// Removes the directory with everything in it; true when the directory itself is gone. A
// file that cannot be deleted stops the files of its own directory, not the rest of the tree.
// A junction or symbolic link inside is removed as a link: the walk never follows it, so
// nothing outside the directory is ever deleted. An empty name answers false.
bool DeleteDirTree(const std::string& directory, bool showErrors);

// True when the file `path`, a normalised full path below `directory` (both as the caller
// has checked them), is reached from the directory without passing a link: a junction or
// symbolic link put inside the tree must not lead a deletion of listed files out of it.
// False too when the file is not there or is itself a link or a directory.
bool ReachedWithoutLinks(const std::string& directory, const std::string& path);
