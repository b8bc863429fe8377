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
}  // namespace text::detail
