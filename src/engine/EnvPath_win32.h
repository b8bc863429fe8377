// The search-path operations on the machine (EnvPath_win32.cpp); the text rules they follow
// are in EnvPath.h.
#pragma once

#include <string>

// The short (8.3) form of a path, or the path itself when it cannot be had.
std::string ShortPathName(const std::string& path);
// Adds the directory to, or removes it from, the machine's NT "Path" (read raw and whole,
// written as an expandable string) and the installer's own "Path". Raises EInOutError when
// the value exists but cannot be read or written.
void EditNtPath(const std::string& directory, bool add);
// The same on the Windows 9x startup file (with its backup "autoexec.ztk" when `backup`).
void EditAutoexecPath(const std::string& directory, bool add, bool backup);
// EditNtPath (then, with `broadcast`, the change notice to every top-level window, waited
// for) on the NT family, EditAutoexecPath elsewhere. False with the error's text when it
// failed.
bool ChangePath(const std::string& directory, bool add, bool backup, bool broadcast,
                std::string& error);
