#pragma once

namespace text::detail {
// The character's simple case fold (one character to one character; the language-neutral
// mappings, without the Turkic dotted and dotless i).
char32_t SimpleCaseFold(char32_t c);
}  // namespace text::detail
