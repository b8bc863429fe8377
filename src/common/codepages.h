#pragma once

namespace text::detail {
// The characters of bytes 0x80..0xFF of a built-in code page, or nullptr when the code page
// is not built in. Bytes below 0x80 are ASCII in every one of them.
const char16_t* HighHalf(int codePage);
}  // namespace text::detail
