#include "common/text_platform.h"

namespace text::detail {
int SystemAnsiCodePage() { return 1251; }
int SystemOemCodePage() { return 866; }
bool PlatformToUtf16(std::string_view, int, std::u16string&) { return false; }
bool PlatformFromUtf16(std::u16string_view, int, std::string&) { return false; }
bool PlatformSupports(int) { return false; }
bool PlatformHighHalf(int, char16_t*) { return false; }
bool PlatformFits(std::u16string_view, int) { return false; }
bool PlatformSameTextNoCase(std::string_view, std::string_view, bool&) { return false; }
}  // namespace text::detail
