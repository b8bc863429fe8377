#include "ui/InstProc_win32.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdint>

#include "common/errors.h"
#include "common/win32.h"
#include "engine/MainThread.h"
#include "engine/ProgressThread.h"
#include "setup/Messages.h"
#include "setup/SetupGlobals.h"
#include "ui/Dpi_win32.h"
#include "ui/Mnemonics_win32.h"
#include "ui/WindowProc_win32.h"

namespace {

constexpr wchar_t kClassName[] = L"TfmInstProc";
constexpr UINT_PTR kTimer1 = 1;
constexpr UINT kTimer1Interval = 200;
constexpr int kBtnCancelId = IDCANCEL;
constexpr UINT kDpiChanged = 0x02E0;  // WM_DPICHANGED, newer than the headers' target

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_TOPMOST;

// The layout at 96 DPI.
constexpr int kClientWidth = 422, kClientHeight = 108;
constexpr RECT kLabel{11, 12, 11 + 400, 12 + 16};
constexpr RECT kBar{11, 40, 11 + 400, 40 + 16};
constexpr int kButtonWidth = 75, kButtonHeight = 25, kButtonTop = 70;

HWND CreateChild(const wchar_t* className, DWORD style, HWND parent, int id, HINSTANCE instance) {
  HWND child = CreateWindowExW(0, className, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
  if (!child) {
    throw Exception("Cannot create the progress window: " + win32::ErrorText(GetLastError()));
  }
  return child;
}

void Place(HWND control, const RECT& design, UINT dpi) {
  MoveWindow(control, ui::Scale(design.left, dpi), ui::Scale(design.top, dpi),
             ui::Scale(design.right - design.left, dpi), ui::Scale(design.bottom - design.top, dpi),
             TRUE);
}

}  // namespace

TfmInstProc::~TfmInstProc() { Destroy(); }

std::string TfmInstProc::Caption(SetupMode mode, bool english, const std::string& systemName) {
  switch (mode) {
    case smAddDelete:
      return (english ? "Add/Delete subsystems " : "Добавление/Удаление подсистем ") + systemName;
    case smUninstall:
      return (english ? "Uninstallation of system " : "Деинсталляция системы ") + systemName;
    case smInstall:
      break;
  }
  return (english ? "Installation of system " : "Установка системы ") + systemName;
}

void TfmInstProc::Create(TProgressThread& engine, SetupMode mode) {
  Destroy();
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  HINSTANCE instance = GetModuleHandleW(nullptr);
  ui::RegisterFormClass<TfmInstProc>(instance, kClassName, "the progress window");

  // Centred on the primary screen, at that monitor's DPI.
  HMONITOR monitor = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  GetMonitorInfoW(monitor, &info);
  const UINT dpi = ui::MonitorDpi(monitor);
  RECT frame{0, 0, ui::Scale(kClientWidth, dpi), ui::Scale(kClientHeight, dpi)};
  AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  const int x = info.rcMonitor.left + (info.rcMonitor.right - info.rcMonitor.left - width) / 2;
  const int y = info.rcMonitor.top + (info.rcMonitor.bottom - info.rcMonitor.top - height) / 2;

  engine_ = &engine;
  ++generation_;
  // No owner: the engine shows it while the wizard is hidden.
  window_ = CreateWindowExW(kExStyle, kClassName, L"", kStyle, x, y, width, height, nullptr,
                            nullptr, instance, this);
  if (!window_) {
    engine_ = nullptr;
    throw Exception("Cannot create the progress window: " + win32::ErrorText(GetLastError()));
  }
  try {
    label_ = CreateChild(L"STATIC", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, window_, -1, instance);
    bar_ = CreateChild(PROGRESS_CLASSW, PBS_SMOOTH, window_, -1, instance);
    button_ = CreateChild(L"BUTTON", BS_DEFPUSHBUTTON | WS_TABSTOP, window_, kBtnCancelId, instance);
    SendMessageW(bar_, PBM_SETRANGE32, 0, 100);
    SendMessageW(bar_, PBM_SETSTEP, 1, 0);
    Layout(dpi);
    FormCreate(mode);
  } catch (...) {
    Destroy();
    throw;
  }
}

void TfmInstProc::FormCreate(SetupMode mode) {
  const bool english = SetupGlobals.IsEnglish;
  SetWindowTextW(button_, win32::Wide(ui::WithMnemonic(english ? "Cancel" : "Отмена")).c_str());
  SetWindowTextW(window_, win32::Wide(Caption(mode, english, SetupGlobals.SystemName)).c_str());
  SetTimer(window_, kTimer1, kTimer1Interval, nullptr);
}

void TfmInstProc::Layout(UINT dpi) {
  dpi_ = dpi;
  HFONT font = ui::CreateDialogFont(dpi);
  for (HWND control : {label_, bar_, button_}) {
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  if (font_) DeleteObject(font_);
  font_ = font;
  Place(label_, kLabel, dpi);
  Place(bar_, kBar, dpi);
  const int left = (kClientWidth - kButtonWidth) / 2;
  Place(button_, RECT{left, kButtonTop, left + kButtonWidth, kButtonTop + kButtonHeight}, dpi);
}

void TfmInstProc::Show() {
  if (!window_) return;
  ShowWindow(window_, SW_SHOWNORMAL);
  if (GetActiveWindow() == window_) SetFocus(button_);
  // The last step's text must not linger until the next tick.
  Timer1Timer();
}

void TfmInstProc::Hide() {
  if (window_) ShowWindow(window_, SW_HIDE);
}

void TfmInstProc::Close() { Destroy(); }

void TfmInstProc::Destroy() {
  if (window_) {
    KillTimer(window_, kTimer1);
    DestroyWindow(window_);
  }
  window_ = label_ = bar_ = button_ = nullptr;
  if (font_) DeleteObject(font_);
  font_ = nullptr;
  engine_ = nullptr;
  shownText_.clear();
  shownPercent_ = -1;
}

void TfmInstProc::Timer1Timer() {
  if (!window_ || !engine_ || !IsWindowVisible(window_)) return;
  std::int32_t percent = 0;
  std::string text;
  engine_->ReadProgress(percent, text);  // copied under the engine's lock, shown without it
  if (text != shownText_ || shownPercent_ < 0) {
    SetWindowTextW(label_, win32::Wide(text).c_str());
    shownText_ = text;
  }
  const int position = std::clamp<std::int32_t>(percent, 0, 100);
  if (position != shownPercent_) {
    SendMessageW(bar_, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    shownPercent_ = position;
  }
}

void TfmInstProc::BtnCancelClick() {
  try {
    TProgressThread* engine = engine_;
    if (!engine) return;
    const unsigned generation = generation_;
    // While a library's question dialog runs, the worker already waits for the main thread:
    // only the libraries are held. Otherwise the worker is held too, at its next progress
    // report (suspending the libraries does nothing when none are loaded).
    const bool asking = engine->IsAsking();
    engine->SuspendLibraries();
    if (!asking) engine->RequestPause();
    {
      // The question is a pause: what the worker asked the main thread for meanwhile (a
      // library's question, the duplicate-file form) waits until it is answered instead of
      // opening inside the question's loop, and finds the run stopped after a Yes.
      mainthread::THold hold;
      int answer = mb::kIdNo;
      try {
        answer = ShowBilingualMessage(
            "Установка не закончена.\r\nСистема будет установлена некорректно.\r\n\r\n"
            "Прервать установку?",
            "Installation is not complete.\r\nThe system will be installed uncorrectly.\r\n\r\n"
            "Abort installation?",
            SetupGlobals.MessageCaption, mb::kYesNo | mb::kTaskModal);
      } catch (...) {
        // No answer: the run goes on.
      }
      // The window may have been closed and made again while the question was open (a test
      // drives it without a worker); the engine is then no longer ours to touch.
      if (generation != generation_ || engine_ != engine) return;
      if (answer == mb::kIdYes) engine->Terminate();
    }
    if (!asking) engine->Resume();
    engine->ResumeLibraries();
  } catch (...) {
    // Nothing a Cancel click does may end the program.
  }
}

LRESULT TfmInstProc::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      if (wParam == kTimer1) {
        Timer1Timer();
        return 0;
      }
      break;
    case WM_COMMAND:
      if (LOWORD(wParam) == kBtnCancelId && HIWORD(wParam) == BN_CLICKED) {
        BtnCancelClick();
        return 0;
      }
      break;
    case WM_CLOSE:
      // The title bar's button and Alt+F4 ask as Cancel does; hiding the window would leave
      // the person nothing to cancel with until the run shows it again.
      BtnCancelClick();
      return 0;
    case WM_SETFOCUS:
      // Cancel is the window's one control: the keys go to it (Space, Enter), Esc asks too.
      if (button_) SetFocus(button_);
      return 0;
    case DM_GETDEFID:
      return MAKELRESULT(kBtnCancelId, DC_HASDEFID);
    case kDpiChanged:
      if (window == window_) {
        Layout(HIWORD(wParam));
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(window, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
      }
      break;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}
