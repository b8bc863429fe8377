// The engine's path and list rules, kept apart from the machine so that they are tested
// natively.
#pragma once

#include <string>
#include <vector>

class TIDFParam;

// Removes one trailing "\"; a drive left bare ("C:") gets it back, so "C:\" stays "C:\".
std::string NormalizeDestDir(const std::string& path);
// Deletes from `a`, walking from its end, every entry equal (case-sensitive) to one of `b`.
void SubtractList(std::vector<std::string>& a, const std::vector<std::string>& b);
// Puts installDir + "\" in front of every entry.
void MakeAbsolute(std::vector<std::string>& list, const std::string& installDir);

// The file path a parameter of uninst.inf stands for. The list stores a file as its path
// followed by "=" and an empty value; a path may itself hold "=", so the path is the whole
// line up to its last "=".
std::string UninstallFilePath(const TIDFParam& param);

// True when `path` lies strictly below `directory`: it starts with the directory and a
// separator (letters of ASCII compared without case) and has no "." or ".." component.
// A damaged or edited uninst.inf must never make the engine delete elsewhere.
bool IsInsideDirectory(const std::string& path, const std::string& directory);
// True for a path that names a drive root or nothing ("", "C:", "C:\", "\", "\\server\share").
bool IsRootOrEmpty(const std::string& path);
