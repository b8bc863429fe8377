#include "common/text.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "common/casefold.h"
#include "common/codepages.h"
#include "common/text_platform.h"

namespace text {
namespace {

constexpr int kUtf8CodePage = 65001;
constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kBadByteBase = 0x110000;  // beyond every Unicode character

std::atomic<int> gAnsi{0};  // 0: the system's
std::atomic<int> gOem{0};

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Decodes one UTF-8 sequence at s[i], advancing i; malformed input gives U+FFFD for one byte.
char32_t NextUtf8(std::string_view s, std::size_t& i) {
  auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  int extra = b0 >= 0xF0 && b0 < 0xF5 ? 3 : b0 >= 0xE0 ? 2 : b0 >= 0xC2 && b0 < 0xE0 ? 1 : -1;
  if (extra < 0 || i + static_cast<std::size_t>(extra) >= s.size()) {
    ++i;
    return kReplacement;
  }
  char32_t c = b0 & (0x3F >> extra);
  for (int k = 1; k <= extra; ++k) {
    auto b = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return kReplacement;
    }
    c = (c << 6) | (b & 0x3F);
  }
  static constexpr char32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
  if (c < kMin[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    ++i;
    return kReplacement;
  }
  i += static_cast<std::size_t>(extra) + 1;
  return c;
}

// A character as NextUtf8 reads it, except that a byte that is not part of valid UTF-8 gives
// a code of its own beyond Unicode, so two different bad bytes never compare equal.
char32_t NextCodePoint(std::string_view s, std::size_t& i) {
  const std::size_t start = i;
  const char32_t c = NextUtf8(s, i);
  if (c == kReplacement && i == start + 1) {
    return kBadByteBase + static_cast<unsigned char>(s[start]);
  }
  return c;
}

// The characters of the bytes 0x80..0xFF of a single-byte code page, each byte a character of
// its own, and the way back.
struct ByteTable {
  char32_t high[128] = {};
  std::vector<std::pair<char32_t, unsigned char>> reverse;  // sorted by character

  int ByteOf(char32_t c) const {
    auto it = std::lower_bound(reverse.begin(), reverse.end(), std::make_pair(c, '\0'),
                               [](const auto& x, const auto& y) { return x.first < y.first; });
    return it != reverse.end() && it->first == c ? it->second : -1;
  }
};

// A byte that the code page leaves unused (the published tables mark it U+FFFD, a system may
// give U+FFFD, "?" or nothing) stands for the C1 control character of its own value, as
// Windows converts 0x81 of code page 1252: then every byte comes back from its character.
std::unique_ptr<ByteTable> BuildTable(int codePage) {
  char16_t raw[128];
  if (const char16_t* builtIn = detail::HighHalf(codePage)) {
    std::copy(builtIn, builtIn + 128, raw);
  } else if (!detail::PlatformHighHalf(codePage, raw)) {
    return nullptr;
  }
  auto table = std::make_unique<ByteTable>();
  std::set<char32_t> used;
  for (int k = 0; k < 128; ++k) {
    const char32_t c = raw[k];
    const bool unused = c < 0x80 || c == kReplacement || (c >= 0xD800 && c <= 0xDFFF);
    if (!unused && used.insert(c).second) table->high[k] = c;
  }
  for (int k = 0; k < 128; ++k) {
    if (table->high[k] != 0) continue;
    // The C1 character is taken only if no byte of the code page means it already; else a
    // private-use character stands in.
    char32_t c = 0x80 + static_cast<char32_t>(k);
    if (used.count(c)) c = 0xF780 + static_cast<char32_t>(k);
    while (used.count(c)) c += 0x100;
    used.insert(c);
    table->high[k] = c;
  }
  for (int k = 0; k < 128; ++k) {
    table->reverse.emplace_back(table->high[k], static_cast<unsigned char>(0x80 + k));
  }
  std::sort(table->reverse.begin(), table->reverse.end());
  return table;
}

// The table of a single-byte code page, built once; nullptr for UTF-8, a multi-byte code page
// or one that cannot be converted.
const ByteTable* TableFor(int codePage) {
  static std::mutex mutex;
  static std::map<int, std::unique_ptr<ByteTable>> tables;
  if (codePage == kUtf8CodePage) return nullptr;
  std::lock_guard<std::mutex> lock(mutex);
  auto it = tables.find(codePage);
  if (it == tables.end()) it = tables.emplace(codePage, BuildTable(codePage)).first;
  return it->second.get();
}

// The code of the character at s[i] in the order of the ANSI bytes (see AnsiCharCodes).
char32_t NextCharCode(std::string_view s, std::size_t& i, const ByteTable* table) {
  const char32_t c = NextCodePoint(s, i);
  if (c < 0x80) return c;
  if (table && c < kBadByteBase) {
    if (const int byte = table->ByteOf(c); byte >= 0) return static_cast<char32_t>(byte);
  }
  return 0x100 + c;
}

}  // namespace

int AnsiCodePage() {
  int cp = gAnsi.load();
  return cp ? cp : detail::SystemAnsiCodePage();
}
int OemCodePage() {
  int cp = gOem.load();
  return cp ? cp : detail::SystemOemCodePage();
}
void SetAnsiCodePage(int codePage) { gAnsi = codePage; }
void SetOemCodePage(int codePage) { gOem = codePage; }

bool IsSupportedCodePage(int codePage) {
  return codePage == kUtf8CodePage || codePage == 20127 || detail::HighHalf(codePage) != nullptr ||
         detail::PlatformSupports(codePage);
}

std::string ToUtf8(std::string_view bytes, int codePage) {
  std::string out;
  out.reserve(bytes.size());
  if (codePage == kUtf8CodePage) {
    for (std::size_t i = 0; i < bytes.size();) AppendUtf8(out, NextUtf8(bytes, i));
    return out;
  }
  const ByteTable* table = codePage == 20127 ? nullptr : TableFor(codePage);
  if (!table && codePage != 20127) {
    std::u16string wide;
    if (detail::PlatformToUtf16(bytes, codePage, wide)) return Utf16ToUtf8(wide);
  }
  for (char ch : bytes) {
    auto b = static_cast<unsigned char>(ch);
    if (b < 0x80) {
      out += ch;
    } else {
      AppendUtf8(out, table ? table->high[b - 0x80] : kReplacement);
    }
  }
  return out;
}

std::string FromUtf8(std::string_view utf8, int codePage) {
  std::string out;
  out.reserve(utf8.size());
  if (codePage == kUtf8CodePage) return ToUtf8(utf8, kUtf8CodePage);
  const ByteTable* table = codePage == 20127 ? nullptr : TableFor(codePage);
  if (!table && codePage != 20127) {
    std::string bytes;
    if (detail::PlatformFromUtf16(Utf8ToUtf16(utf8), codePage, bytes)) return bytes;
  }
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t c = NextUtf8(utf8, i);
    if (c < 0x80) {
      out += static_cast<char>(c);
      continue;
    }
    const int byte = table ? table->ByteOf(c) : -1;
    out += byte >= 0 ? static_cast<char>(byte) : '?';
  }
  return out;
}

bool FitsCodePage(std::string_view utf8, int codePage) {
  const bool valid = ToUtf8(utf8, kUtf8CodePage) == utf8;
  if (codePage == kUtf8CodePage || !valid) return valid;
  const ByteTable* table = codePage == 20127 ? nullptr : TableFor(codePage);
  if (!table && codePage != 20127) return detail::PlatformFits(Utf8ToUtf16(utf8), codePage);
  for (std::size_t i = 0; i < utf8.size();) {
    const char32_t c = NextUtf8(utf8, i);
    if (c >= 0x80 && !(table && table->ByteOf(c) >= 0)) return false;
  }
  return true;
}

std::u32string AnsiCharCodes(std::string_view utf8) {
  const ByteTable* table = TableFor(AnsiCodePage());
  std::u32string codes;
  codes.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) codes += NextCharCode(utf8, i, table);
  return codes;
}

int CompareTextAnsi(std::string_view a, std::string_view b) {
  const ByteTable* table = TableFor(AnsiCodePage());
  const auto upper = [](char32_t c) { return c >= U'a' && c <= U'z' ? c - 32 : c; };
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const char32_t x = upper(NextCharCode(a, i, table));
    const char32_t y = upper(NextCharCode(b, j, table));
    if (x != y) return x < y ? -1 : 1;
  }
  if (i < a.size()) return 1;
  return j < b.size() ? -1 : 0;
}

char32_t FoldCase(char32_t c) { return detail::SimpleCaseFold(c); }

bool SameTextNoCase(std::string_view a, std::string_view b) {
  bool same = false;
  if (detail::PlatformSameTextNoCase(a, b, same)) return same;
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (FoldCase(NextCodePoint(a, i)) != FoldCase(NextCodePoint(b, j))) return false;
  }
  return i == a.size() && j == b.size();
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t c = NextUtf8(utf8, i);
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t c = utf16[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacement;
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::string UpperAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::string LowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

std::string_view TrimLeftControl(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && static_cast<unsigned char>(s[i]) <= 32) ++i;
  return s.substr(i);
}

std::string_view TrimRightControl(std::string_view s) {
  std::size_t n = s.size();
  while (n > 0 && static_cast<unsigned char>(s[n - 1]) <= 32) --n;
  return s.substr(0, n);
}

std::string_view TrimControl(std::string_view s) { return TrimRightControl(TrimLeftControl(s)); }

std::string JsonQuote(std::string_view utf8) {
  std::string out = "\"";
  std::string valid = ToUtf8(utf8, kUtf8CodePage);
  for (char ch : valid) {
    auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += ch;
        }
    }
  }
  out += '"';
  return out;
}

}  // namespace text
