// What text.cpp needs from the platform.
#pragma once

#include <string>
#include <string_view>

namespace text::detail {
int SystemAnsiCodePage();
int SystemOemCodePage();
// Conversions of code pages that are not built in; false when the platform has none.
bool PlatformToUtf16(std::string_view bytes, int codePage, std::u16string& out);
bool PlatformFromUtf16(std::u16string_view utf16, int codePage, std::string& out);
bool PlatformSupports(int codePage);
// For a single-byte code page whose bytes below 0x80 are ASCII: the characters of bytes
// 0x80..0xFF, 0 for a byte that converts to no single character. False for any other code
// page (multi-byte, unknown, or none of the platform's).
bool PlatformHighHalf(int codePage, char16_t high[128]);
// True when the platform converts the text to the code page exactly (no default character,
// no best-fit look-alike); false also when the platform does not know the code page.
bool PlatformFits(std::u16string_view utf16, int codePage);
// The system's case-insensitive, locale-aware comparison of two UTF-8 texts; false when the
// platform has none (the caller then folds case itself).
bool PlatformSameTextNoCase(std::string_view a, std::string_view b, bool& same);
}  // namespace text::detail
