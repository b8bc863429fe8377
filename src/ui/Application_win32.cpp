#include "ui/Application_win32.h"

#include <windows.h>

#include <commctrl.h>

#include <memory>

#include "common/win32.h"
#include "setup/SetupGlobals.h"
#include "ui/BackGrnd_win32.h"
#include "ui/InstDlg_win32.h"
#include "ui/Unattended_win32.h"

namespace ui {

namespace {

// The progress window: its Cancel takes Tab, Space, Enter and Esc as a dialog's button.
bool IsKeyboardForm(HWND window) {
  wchar_t name[32] = {};
  GetClassNameW(window, name, 32);
  return win32::Narrow(name) == TfmInstProc::kWindowName;
}

}  // namespace

void RunApplication() {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  auto background = std::make_unique<TfmBackGrnd>();
  SetupGlobals.BackgroundForm = background.get();
  auto wizard = std::make_unique<TfmInstDlg>();
  SetupGlobals.Wizard = wizard.get();
  struct TRelease {
    std::unique_ptr<TfmInstDlg>& wizard;
    std::unique_ptr<TfmBackGrnd>& background;
    ~TRelease() {
      // The run's exit code, as the engine ended it or the person left the wizard.
      if (wizard) SetupGlobals.ExitCode = ExitCodeOfRun(wizard->Model());
      // The wizard first: it waits for a running engine, which may still show its windows.
      wizard.reset();
      SetupGlobals.Wizard = nullptr;
      background.reset();
      SetupGlobals.BackgroundForm = nullptr;
    }
  } release{wizard, background};

  TfmInstDlg* form = wizard.get();
  background->ShowWizard = [form] { form->Show(); };
  // In a continuation run the engine starts here and the wizard stays hidden.
  form->Create();

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    // Tab, the arrows, Enter, Esc and the buttons' letters work the wizard and the progress
    // window as a dialog.
    if (form->TranslateKey(message)) continue;
    HWND root = message.hwnd ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    if (root && (root == form->Handle() || IsKeyboardForm(root)) && IsDialogMessageW(root, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace ui
