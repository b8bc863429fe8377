// The search-path edits as pure text: the NT "Path" value, the installer's own "Path" and
// the Windows 9x startup batch file. The registry, the files and the environment are
// touched by EnvPath_win32.cpp; everything a user can see of the result is decided here.
#pragma once

#include <string>
#include <string_view>

// Takes the part before the first separator (or after the last one, fromEnd) as the token
// and leaves the rest in `text`; without a separator the whole text is the token and the
// text becomes empty.
std::string CutToken(std::string& text, char separator, bool fromEnd);

// True when two search-path entries name the same directory: blanks around them, trailing
// "\" and doubled "\" inside do not count, letters are compared without regard to case.
bool SamePathEntry(std::string_view a, std::string_view b);
// The entry of a subdirectory of the product: "C:\Prod" or "C:\Prod\" and "SYSTEM" give
// "C:\Prod\SYSTEM", a drive root "C:\" gives "C:\SYSTEM".
std::string PathEntryBelow(std::string_view directory, std::string_view name);

// The NT "Path" rebuilt: every non-blank entry that is not `directory` is kept byte for
// byte, joined by ";"; when adding, ";" + directory is appended (also to an empty list, as
// earlier versions wrote it). Empty entries (";;") are dropped.
std::string EditMachinePath(std::string_view value, const std::string& directory, bool add);

// The installer's own "Path": the product's entries removed wherever they stand, and when
// adding the directory appended once. Nothing else changes, so the expanded entries and the
// user's part of the value stay usable.
std::string EditProcessPath(std::string_view value, const std::string& directory, bool add);

// The startup batch file's new content for adding or removing `directory` (or its short
// form). `content` is the file's text (UTF-8), `exists` tells whether there was a file.
struct TAutoexecEdit {
  bool Write = false;  // false: leave the file as it is (present already, or nothing to do)
  std::string Output;  // the whole new content, lines joined by "\r\n"
};
TAutoexecEdit EditAutoexecText(std::string_view content, bool exists,
                               const std::string& directory, const std::string& shortDirectory,
                               bool add);

// True for a line that the startup file uses to set the search path ("PATH ", "SET PATH "
// or "SET PATH=" after trimming, in any case); `prefixLength` gets 5 or 9.
bool IsPathLine(std::string_view trimmedLine, std::size_t& prefixLength);
