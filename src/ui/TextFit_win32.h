// Texts that must fit the control they are shown in: a label's lines wrapped at words as the
// static control wraps them, and a single line (a group box's caption). What does not fit is
// cut and ends in an ellipsis, so that nothing vanishes at an edge unseen.
#pragma once

#include <windows.h>

#include <string>

namespace ui {

// The size `text` takes in `control`'s font, wrapped at words within `width` (0: one line).
SIZE MeasureText(HWND control, const std::wstring& text, int width);
// Whether `text` fits the client area of the static control `label`.
bool TextFits(HWND label, const std::wstring& text);
// `before` + `name` + `after`, with `name` cut and ended with "…" as far as needed for the
// whole to fit `label`; unchanged when it fits as it is.
std::wstring FitName(HWND label, const std::wstring& before, const std::wstring& name, const std::wstring& after);
// `text` on one line within `width` pixels of `control`'s font: cut and ended with "…" when
// it is wider.
std::wstring FitLine(HWND control, const std::wstring& text, int width);

}  // namespace ui
