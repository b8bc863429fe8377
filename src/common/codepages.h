#pragma once

namespace text::detail {
// The characters of bytes 0x80..0xFF of a built-in code page, or nullptr when the code page
// is not built in. Bytes below 0x80 are ASCII in every one of them; U+FFFD marks a byte the
// code page leaves unused (text.cpp gives it a character of its own).
const char16_t* HighHalf(int codePage);
}  // namespace text::detail
