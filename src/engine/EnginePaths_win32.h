// The installation directory's protection on Windows.
#pragma once

#include <string>

// Gives a newly made installation directory a DACL that ordinary users cannot change, so
// that what the elevated programs later trust there (uninst.idf, uninst.inf, the programs
// on the machine's search path) stays what they wrote. Below Program Files the directory
// keeps what it inherits from there (already so); elsewhere it gets a protected list of its
// own: Administrators and SYSTEM full control, Users read and execute, inherited by all
// below. False (and logged) when the system refused the change.
bool ProtectInstallDirectory(const std::string& directory);
