#include <windows.h>

#include "common/text.h"
#include "common/text_platform.h"

namespace text::detail {

int SystemAnsiCodePage() { return static_cast<int>(GetACP()); }
int SystemOemCodePage() { return static_cast<int>(GetOEMCP()); }

bool PlatformToUtf16(std::string_view bytes, int codePage, std::u16string& out) {
  out.clear();
  if (bytes.empty()) return true;
  int n = MultiByteToWideChar(static_cast<UINT>(codePage), 0, bytes.data(),
                              static_cast<int>(bytes.size()), nullptr, 0);
  if (n <= 0) return false;
  out.resize(static_cast<size_t>(n));
  MultiByteToWideChar(static_cast<UINT>(codePage), 0, bytes.data(), static_cast<int>(bytes.size()),
                      reinterpret_cast<wchar_t*>(out.data()), n);
  return true;
}

bool PlatformFromUtf16(std::u16string_view utf16, int codePage, std::string& out) {
  out.clear();
  if (utf16.empty()) return true;
  const auto* w = reinterpret_cast<const wchar_t*>(utf16.data());
  int n = WideCharToMultiByte(static_cast<UINT>(codePage), 0, w, static_cast<int>(utf16.size()),
                              nullptr, 0, nullptr, nullptr);
  if (n <= 0) return false;
  out.resize(static_cast<size_t>(n));
  WideCharToMultiByte(static_cast<UINT>(codePage), 0, w, static_cast<int>(utf16.size()), out.data(),
                      n, nullptr, nullptr);
  return true;
}

bool PlatformSupports(int codePage) { return IsValidCodePage(static_cast<UINT>(codePage)) != 0; }

bool PlatformHighHalf(int codePage, char16_t high[128]) {
  const auto cp = static_cast<UINT>(codePage);
  CPINFO info{};
  if (!GetCPInfo(cp, &info) || info.MaxCharSize != 1) return false;
  for (int b = 0; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    wchar_t wide[2] = {};
    const int n = MultiByteToWideChar(cp, 0, &byte, 1, wide, 2);
    if (b < 0x80) {
      if (n != 1 || wide[0] != static_cast<wchar_t>(b)) return false;
    } else {
      high[b - 0x80] = n == 1 ? static_cast<char16_t>(wide[0]) : u'\0';
    }
  }
  return true;
}

bool PlatformFits(std::u16string_view utf16, int codePage) {
  if (utf16.empty()) return true;
  const auto cp = static_cast<UINT>(codePage);
  const auto* w = reinterpret_cast<const wchar_t*>(utf16.data());
  const int length = static_cast<int>(utf16.size());
  BOOL usedDefault = FALSE;
  DWORD flags = WC_NO_BEST_FIT_CHARS;
  int n = WideCharToMultiByte(cp, flags, w, length, nullptr, 0, nullptr, &usedDefault);
  if (n <= 0) {
    // Some code pages (UTF-7, the ISO-2022 ones) take neither the flag nor the report of a
    // default character; for them the round trip below decides alone.
    flags = 0;
    usedDefault = FALSE;
    n = WideCharToMultiByte(cp, flags, w, length, nullptr, 0, nullptr, nullptr);
  }
  if (n <= 0 || usedDefault) return false;
  std::string bytes(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(cp, flags, w, length, bytes.data(), n, nullptr, nullptr);
  std::u16string back;
  return PlatformToUtf16(bytes, codePage, back) && back == utf16;
}

bool PlatformSameTextNoCase(std::string_view a, std::string_view b, bool& same) {
  const std::u16string wa = Utf8ToUtf16(a), wb = Utf8ToUtf16(b);
  same = CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE,
                        reinterpret_cast<const wchar_t*>(wa.data()), static_cast<int>(wa.size()),
                        reinterpret_cast<const wchar_t*>(wb.data()), static_cast<int>(wb.size())) ==
         CSTR_EQUAL;
  return true;
}

}  // namespace text::detail
