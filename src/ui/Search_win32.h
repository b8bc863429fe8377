// TSearchForm, the duplicate-file warning: the engine found a file of the same name as one of
// the system's components on the search path and asks whether to go on. It can be left only by
// its two buttons: 1 (go on, do not warn again), 6 (go on) or 2 (abort the installation).
#pragma once

#include <windows.h>

#include <string>

#include "ui/Dpi_win32.h"

class TSearchForm {
 public:
  TSearchForm() = default;
  ~TSearchForm();
  TSearchForm(const TSearchForm&) = delete;
  TSearchForm& operator=(const TSearchForm&) = delete;

  // Creates the form, hidden, in the program's language.
  void Create();
  // Replaces the warning text of Memo1.
  void SetMessage(const std::string& text);
  int ShowModal();
  int ModalResult() const { return modalResult_; }

  // The handlers.
  void FormCreate();
  void Button1Click();
  void Button2Click();

  HWND Handle() const { return window_; }
  HWND Memo1() const { return memo_; }
  HWND Button1() const { return button1_; }
  HWND Button2() const { return button2_; }
  HWND CheckBox1() const { return checkBox_; }
  UINT Dpi() const { return dpi_; }

  static constexpr const char* kWindowName = "TSearchForm";
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  void Destroy();
  // The form moved to a monitor of another DPI (WM_DPICHANGED).
  void DpiChanged(WPARAM wParam, LPARAM lParam);

  HWND window_ = nullptr;
  HWND memo_ = nullptr;
  HWND button1_ = nullptr;
  HWND button2_ = nullptr;
  HWND checkBox_ = nullptr;
  HFONT font_ = nullptr;
  UINT dpi_ = ui::kDesignDpi;
  ui::TDpiLayout layout_;
  int modalResult_ = 0;
};
