// TfmInstProc, the progress window of a run: the engine's current message, a bar with its
// percentage and a Cancel button, in a small always-on-top window without an owner. The
// engine creates, shows, hides and closes it on the main thread (IProgressView); the window
// polls the engine's progress itself every 200 ms.
#pragma once

#include <windows.h>

#include <string>

#include "engine/EngineInterfaces.h"

class TProgressThread;

class TfmInstProc : public IProgressView {
 public:
  TfmInstProc() = default;
  ~TfmInstProc() override;
  TfmInstProc(const TfmInstProc&) = delete;
  TfmInstProc& operator=(const TfmInstProc&) = delete;

  // IProgressView.
  void Create(TProgressThread& engine, SetupMode mode) override;
  void Show() override;
  void Hide() override;
  void Close() override;

  // The window's caption for a run's mode in the program's language.
  static std::string Caption(SetupMode mode, bool english, const std::string& systemName);

  // The handlers.
  void FormCreate(SetupMode mode);
  void Timer1Timer();
  void BtnCancelClick();

  HWND Handle() const { return window_; }
  HWND ProcessMesLabel() const { return label_; }
  HWND ProgressBar() const { return bar_; }
  HWND BtnCancel() const { return button_; }

  // For the window procedure (ui::MemberWindowProc).
  static constexpr const char* kWindowName = "TfmInstProc";
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  void Layout(UINT dpi);
  void Destroy();

  TProgressThread* engine_ = nullptr;
  HWND window_ = nullptr;
  HWND label_ = nullptr;
  HWND bar_ = nullptr;
  HWND button_ = nullptr;
  HFONT font_ = nullptr;
  UINT dpi_ = 96;
  std::string shownText_;
  int shownPercent_ = -1;
  // Counts the windows created; Cancel's question compares it to see whether the run closed
  // the window (and so left its last report behind) while the question was open.
  unsigned generation_ = 0;
};
