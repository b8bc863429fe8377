// The application's windows and message loop: the background window as the main window, the
// wizard in front of it, and the loop that runs until the background window closes.
#pragma once

namespace ui {

// Creates the background window and the wizard, runs the message loop and frees both (also
// when the loop ends by an exception).
void RunApplication();

}  // namespace ui
