// TfmBackGrnd, the application's main window: maximised, disabled, showing a stretched
// picture and the system's name behind the wizard. Creating it makes it the owner of the
// program's message boxes and installs the application's exception handler (LogException);
// its start timer shows the wizard once the message loop runs; closing it ends the loop.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "ui/Image_win32.h"

class TfmBackGrnd {
 public:
  TfmBackGrnd();  // FormCreate: creates and shows the window
  ~TfmBackGrnd();  // destroys the window if still there
  TfmBackGrnd(const TfmBackGrnd&) = delete;
  TfmBackGrnd& operator=(const TfmBackGrnd&) = delete;

  HWND Handle() const { return window_; }
  // Closes the window, which ends the message loop.
  void Close();

  // Called once by StartTimerTimer (not in a continuation run): the application sets it.
  std::function<void()> ShowWizard;

  // The window's caption for a system name in the program's language.
  static std::string Caption(bool english, const std::string& systemName);
  // "System name" of the description's "Params" section; empty when there is none.
  static std::string DescriptionSystemName();
  // The picture beside the program that replaces the built-in background.
  static std::string LogoFileName();

  // The handlers.
  void FormCreate();
  void StartTimerTimer();
  void FormClose() {}
  // The application's handler of an exception that escaped a handler on the main thread.
  void LogException(const std::string& className, const std::string& message);

  HWND TopLabel() const { return topLabel_; }
  const TImage& BackImage() const { return backImage_; }

  // For the window procedure (ui::MemberWindowProc).
  static constexpr const char* kWindowName = "TfmBackGrnd";
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  void Layout();
  void ReleaseWindow();

  HWND window_ = nullptr;
  HWND topLabel_ = nullptr;
  TImage backImage_;
  HFONT labelFont_ = nullptr;
  UINT dpi_ = 96;
  bool showingException_ = false;
};
