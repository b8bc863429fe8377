// Paths judged by what they name on this machine (Windows only): every directory that a
// person types or chooses, that /DIR gives, or that the registry, uninst.idf or uninst.inf
// hands back goes through CanonicalPath before any check is made on it.
#pragma once

#include <string>
#include <vector>

#include "common/pathrules.h"

// The full, canonical path: made full against the current directory (relative paths, "C:",
// "C:x", ".", ".." and the "\\?\" forms), then the deepest part that exists is replaced by
// its final path (links, junctions, short names and letter case resolved by the system) and
// the rest appended. Empty when the path names no directory of a disk or share.
std::string CanonicalPath(const std::string& path);

// The system's own directories, canonical: the Windows and system directories, both
// Program Files, ProgramData, the profiles' directory, each profile found on the machine and
// the running user's and the public known folders (desktop, documents, menus, ...).
std::vector<std::string> ProtectedDirectories();

// The one decision whether a directory may be an installation directory (and so be
// emptied or removed whole): refused when its canonical form is a root, one of the
// ProtectedDirectories or holds one of them, or lies inside the Windows directory.
pathrules::TRefusalReason RefusedInstallDirectory(const std::string& directory);

// True when `path`, made canonical, lies strictly below the canonical `directory`.
bool IsCanonicallyBelow(const std::string& path, const std::string& directory);
