#include "ui/EngineForms_win32.h"

#include "engine/EngineMachine.h"
#include "ui/Modal_win32.h"
#include "ui/Search_win32.h"
#include "ui/SelDir_win32.h"

void InstallEngineForms() {
  EngineMachine().ShowSearchForm = [](const std::string& message) {
    TSearchForm form;
    form.Create();
    form.SetMessage(message);
    return form.ShowModal();
  };
  EngineMachine().SelectDirectory = [](std::string& directory) {
    TDirSelectDlg dialog;
    dialog.Create();
    if (dialog.ShowModal() != ui::mrOk) return false;
    directory = dialog.Directory();
    return true;
  };
}
