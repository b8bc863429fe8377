// The keys of the push buttons: each text of a wizard or progress window button gets an
// underlined letter (Alt+letter presses it), distinct among the buttons a page shows at once,
// in both languages. The texts themselves stay as the program has them everywhere else (the
// wizard's state, the log, comparisons): the marker is added only where a button shows one.
#pragma once

#include <string>

namespace ui {

// The button's text with its "&" marker; a text that has none given comes back unchanged.
std::string WithMnemonic(const std::string& text);
// The text without its marker, as it reads: "&&" is a plain "&".
std::string WithoutMnemonic(const std::string& text);

}  // namespace ui
