#include <windows.h>

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

}  // namespace text::detail
