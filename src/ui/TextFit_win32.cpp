#include "ui/TextFit_win32.h"

namespace ui {

namespace {

constexpr wchar_t kEllipsis[] = L"\u2026";

// The longest count of leading characters of `text` for which fits(count) holds, by halving:
// fits is true for 0 and falls as the count grows. A surrogate pair is never split.
template <typename Fits>
std::size_t LongestFitting(const std::wstring& text, Fits fits) {
  std::size_t low = 0, high = text.size();
  while (low < high) {
    const std::size_t middle = (low + high + 1) / 2;
    if (fits(middle)) {
      low = middle;
    } else {
      high = middle - 1;
    }
  }
  if (low > 0 && low < text.size() && IS_HIGH_SURROGATE(text[low - 1])) --low;
  return low;
}

std::wstring WithoutTrailingBlanks(std::wstring text) {
  while (!text.empty() && (text.back() == L' ' || text.back() == L'\t')) text.pop_back();
  return text;
}

}  // namespace

SIZE MeasureText(HWND control, const std::wstring& text, int width) {
  HDC dc = GetDC(control);
  if (!dc) return SIZE{0, 0};
  const auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
  // The flags a static control of left-aligned text draws with.
  RECT r{0, 0, width > 0 ? width : 0x7FFF, 0};
  const UINT flags = DT_CALCRECT | DT_EXPANDTABS | (width > 0 ? DT_WORDBREAK : DT_SINGLELINE);
  // An empty line still has a line's height.
  const std::wstring measured = text.empty() ? L" " : text;
  DrawTextW(dc, measured.c_str(), static_cast<int>(measured.size()), &r, flags);
  if (old) SelectObject(dc, old);
  ReleaseDC(control, dc);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

bool TextFits(HWND label, const std::wstring& text) {
  RECT client{};
  GetClientRect(label, &client);
  const SIZE size = MeasureText(label, text, client.right);
  return size.cx <= client.right && size.cy <= client.bottom;
}

std::wstring FitName(HWND label, const std::wstring& before, const std::wstring& name, const std::wstring& after) {
  const std::wstring whole = before + name + after;
  if (name.empty() || TextFits(label, whole)) return whole;
  const std::size_t kept = LongestFitting(name, [&](std::size_t count) {
    return count == 0 || TextFits(label, before + WithoutTrailingBlanks(name.substr(0, count)) + kEllipsis + after);
  });
  return before + WithoutTrailingBlanks(name.substr(0, kept)) + kEllipsis + after;
}

std::wstring FitLine(HWND control, const std::wstring& text, int width) {
  if (MeasureText(control, text, 0).cx <= width) return text;
  const std::size_t kept = LongestFitting(text, [&](std::size_t count) {
    return count == 0 ||
           MeasureText(control, WithoutTrailingBlanks(text.substr(0, count)) + kEllipsis, 0).cx <= width;
  });
  return WithoutTrailingBlanks(text.substr(0, kept)) + kEllipsis;
}

}  // namespace ui
