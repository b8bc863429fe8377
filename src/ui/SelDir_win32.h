// TDirSelectDlg, the directory selection dialog: a directory list and a drive list, OK and
// Cancel. The wizard's browse button and the engine's search for required files show it
// modally. Its texts are Russian in both languages.
#pragma once

#include <windows.h>

#include <string>

#include "ui/Dpi_win32.h"
#include "ui/FileCtrl_win32.h"

class TDirSelectDlg {
 public:
  TDirSelectDlg() = default;
  ~TDirSelectDlg();
  TDirSelectDlg(const TDirSelectDlg&) = delete;
  TDirSelectDlg& operator=(const TDirSelectDlg&) = delete;

  // Creates the dialog, hidden, with its lists at the process's current directory and drive.
  // On OK the chosen directory is written into `editSelDir` (the wizard's edit) when given.
  void Create(HWND editSelDir = nullptr);
  // Shows the dialog until OK (1) or Cancel (2).
  int ShowModal();
  int ModalResult() const { return modalResult_; }
  // The directory chosen by OK.
  const std::string& Directory() const { return directory_; }

  // The handlers.
  void DriveComboBox1Change();
  void Button1Click();
  void Button2Click();

  HWND Handle() const { return window_; }
  TDirectoryListBox& DirectoryListBox1() { return directoryList_; }
  TDriveComboBox& DriveComboBox1() { return driveCombo_; }
  HWND Button1() const { return button1_; }
  HWND Button2() const { return button2_; }
  UINT Dpi() const { return dpi_; }

  static constexpr const char* kWindowName = "TDirSelectDlg";
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  void Destroy();
  // The dialog moved to a monitor of another DPI (WM_DPICHANGED).
  void DpiChanged(WPARAM wParam, LPARAM lParam);

  HWND window_ = nullptr;
  HWND button1_ = nullptr;
  HWND button2_ = nullptr;
  HWND editSelDir_ = nullptr;
  HFONT font_ = nullptr;
  UINT dpi_ = ui::kDesignDpi;
  ui::TDpiLayout layout_;
  TDirectoryListBox directoryList_;
  TDriveComboBox driveCombo_;
  char lastDrive_ = '\0';  // the drive last applied to the directory list
  int modalResult_ = 0;
  std::string directory_;
};
