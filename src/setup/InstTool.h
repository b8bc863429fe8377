// The shared operations of start-up that every part of the program may call.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TIDFTextFile;

// All program parameters joined into one text: a blank goes before a parameter only when the
// text built so far is not empty after trimming blanks.
std::string GetCommandLineText(const std::vector<std::string>& params);

// True when the description's "Language" section has "Language" = ENGLISH (any case, trimmed).
bool ReadIsEnglish(const TIDFTextFile* description);

// The program's parameters (without the program's own name), in UTF-8.
std::vector<std::string> GetProgramParams();

// The operating system's temporary path (ends with "\").
std::string GetTempDirectory();

// Free space in KB (rounded) of the volume that holds the path; 0 when the query fails.
std::int64_t GetFreeDiskSpaceKB(const std::string& path);

// Deletes HKEY_CURRENT_USER\SOFTWARE\ZTKUNINSTALL if it exists.
void ClearUninstallMark();

// RemoveContinueLink, which start-up calls in a continuation run, is the program group's
// (engine/ProgramGroup_win32.h): the continuation link is one of its links.

// The final action of a run that asked for it: restart Windows.
void RebootWindows();

// Case-insensitive comparison by the system's locale-aware rules.
bool SameTextLocale(const std::string& a, const std::string& b);
