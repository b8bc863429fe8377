// Showing a form modally without a dialog template: the thread's other windows are disabled,
// the form is shown and a message loop runs until a handler sets its modal result; then the
// form is hidden and the other windows enabled again.
#pragma once

#include <windows.h>

namespace ui {

// The modal results of the forms.
constexpr int mrNone = 0;
constexpr int mrOk = IDOK;          // 1
constexpr int mrCancel = IDCANCEL;  // 2
constexpr int mrYes = IDYES;        // 6

// Runs the modal loop of `form` until `result` is not mrNone and answers it. A WM_QUIT that
// arrives meanwhile ends the loop with mrCancel and is posted again for the outer loop.
int RunModal(HWND form, int& result);

// Places a window of the given client size (at 96 DPI) centred on the primary monitor and
// answers that monitor's DPI.
UINT CentreOnScreen(HWND window, int clientWidth, int clientHeight);

}  // namespace ui
