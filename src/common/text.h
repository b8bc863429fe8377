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

// Conversions between an 8-bit code page and UTF-8. A character with no byte in the code
// page becomes "?". Every byte of a single-byte code page converts to a character of its own
// and back, so ToUtf8 then FromUtf8 gives back any bytes: a byte that the code page leaves
// unused stands for the C1 control character of the same value (0x81 is U+0081), as Windows
// converts them. Code page 65001 means UTF-8 itself (validated, bad bytes become U+FFFD).
std::string ToUtf8(std::string_view bytes, int codePage);
std::string FromUtf8(std::string_view utf8, int codePage);
// True when the code page can be converted (natively only a fixed set is built in).
bool IsSupportedCodePage(int codePage);
// True when FromUtf8 keeps every character of the text: each one has a byte (or a byte
// sequence) of its own in the code page, nothing becomes "?" or a look-alike.
bool FitsCodePage(std::string_view utf8, int codePage);
inline bool FitsAnsi(std::string_view utf8) { return FitsCodePage(utf8, AnsiCodePage()); }

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

// Names compared by their characters. The program's names are ANSI texts, and their order
// and character ranges are those of the ANSI code page's bytes; inside the program they are
// UTF-8. A character's code is its byte in the ANSI code page (ASCII is itself); a character
// the code page lacks gets a code above 0xFF (0x100 + its code point), so it is still one
// character, distinct from every other, and sorts after the code page's own characters.
// (With a multi-byte ANSI code page every character gets its code point.)
std::u32string AnsiCharCodes(std::string_view utf8);
// Compares two UTF-8 texts as their ANSI bytes compare, with a-z taken as A-Z: below 0, 0
// or above 0.
int CompareTextAnsi(std::string_view a, std::string_view b);

// The simple Unicode case fold of one character (A and a give a, Ё and ё give ё).
char32_t FoldCase(char32_t c);
// Equal without regard to letter case, every alphabet included: on Windows by the system's
// locale-aware comparison, elsewhere by comparing the case folds of the characters.
bool SameTextNoCase(std::string_view a, std::string_view b);

// Removes leading and trailing bytes with a code of 32 or below.
std::string_view TrimControl(std::string_view s);
std::string_view TrimLeftControl(std::string_view s);
std::string_view TrimRightControl(std::string_view s);

// JSON string literal (with quotes) for a UTF-8 text; used by the vendor tool.
std::string JsonQuote(std::string_view utf8);

}  // namespace text
