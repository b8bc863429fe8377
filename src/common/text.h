// Text conversion. Inside the program text is UTF-8 in std::string; on disk it is 8-bit in
// the system's ANSI code page (IDF files, uninst.inf, the log, the licence) or in the OEM code
// page (ZIP entry names). ASCII bytes pass every conversion unchanged, so trimming, "="
// splitting and ASCII-only case folding work the same on either side of the boundary.
#pragma once

#include <string>
#include <string_view>

namespace text {

// The code pages the program converts with. On Windows they default to the system's
// (GetACP/GetOEMCP); natively to 1251 and 866. Tests and tools may set them.
int AnsiCodePage();
int OemCodePage();
void SetAnsiCodePage(int codePage);
void SetOemCodePage(int codePage);

// Conversions between an 8-bit code page and UTF-8. A byte or character with no mapping
// becomes "?". Code page 65001 means UTF-8 itself (validated, bad bytes become U+FFFD).
std::string ToUtf8(std::string_view bytes, int codePage);
std::string FromUtf8(std::string_view utf8, int codePage);
// True when the code page can be converted (natively only a fixed set is built in).
bool IsSupportedCodePage(int codePage);

inline std::string AnsiToUtf8(std::string_view s) { return ToUtf8(s, AnsiCodePage()); }
inline std::string Utf8ToAnsi(std::string_view s) { return FromUtf8(s, AnsiCodePage()); }
inline std::string OemToUtf8(std::string_view s) { return ToUtf8(s, OemCodePage()); }
inline std::string Utf8ToOem(std::string_view s) { return FromUtf8(s, OemCodePage()); }

// UTF-8 <-> UTF-16 (the wide Windows APIs). Invalid UTF-8 becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// ASCII-only case folding: only a-z / A-Z change, every other byte stays.
std::string UpperAscii(std::string_view s);
std::string LowerAscii(std::string_view s);
bool SameTextAscii(std::string_view a, std::string_view b);
// Removes leading and trailing bytes with a code of 32 or below.
std::string_view TrimControl(std::string_view s);
std::string_view TrimLeftControl(std::string_view s);
std::string_view TrimRightControl(std::string_view s);

// JSON string literal (with quotes) for a UTF-8 text; used by the vendor tool.
std::string JsonQuote(std::string_view utf8);

}  // namespace text
