#include "ui/BackGrnd_win32.h"

#include "common/errors.h"
#include "common/osfile.h"
#include "common/win32.h"
#include "description/InstIDF.h"
#include "setup/Messages.h"
#include "setup/Platform_win32.h"
#include "setup/SetupGlobals.h"
#include "ui/Dpi_win32.h"
#include "ui/WindowProc_win32.h"
#include "ui/resources/ui_resources.h"

namespace {

constexpr wchar_t kClassName[] = L"TfmBackGrnd";
constexpr UINT_PTR kStartTimer = 1;
constexpr UINT kStartTimerInterval = 1;
constexpr UINT kDpiChanged = 0x02E0;  // WM_DPICHANGED, newer than the headers' target

// A single border with only the minimise button; disabled, so it takes no input.
constexpr DWORD kStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN | WS_DISABLED;

// TopLabel at 96 DPI: its place and its font (18 point, bold italic, navy).
constexpr int kLabelLeft = 7, kLabelTop = 0, kLabelPoints = 18;
constexpr COLORREF kNavy = RGB(0, 0, 128);

// The face of the system's message font: a TrueType face that the system has.
std::wstring MessageFontFace() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0) &&
      metrics.lfMessageFont.lfFaceName[0] != L'\0') {
    return metrics.lfMessageFont.lfFaceName;
  }
  return L"Arial";
}

HFONT CreateLabelFont(UINT dpi) {
  LOGFONTW font{};
  font.lfHeight = -MulDiv(kLabelPoints, static_cast<int>(dpi), 72);
  font.lfWeight = FW_BOLD;
  font.lfItalic = TRUE;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfOutPrecision = OUT_TT_PRECIS;
  font.lfQuality = CLEARTYPE_QUALITY;
  lstrcpynW(font.lfFaceName, MessageFontFace().c_str(), LF_FACESIZE);
  return CreateFontIndirectW(&font);
}

}  // namespace

TfmBackGrnd::TfmBackGrnd() {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  ui::RegisterFormClass<TfmBackGrnd>(instance, kClassName, "the background window");
  // Its normal place is the whole work area too: where the system leaves a window at its
  // normal size (no window manager to maximise it), it still covers the screen.
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  RECT area{0, 0, 395, 192};
  if (GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor)) {
    area = monitor.rcWork;
  }
  window_ = CreateWindowExW(0, kClassName, L"", kStyle, area.left, area.top, area.right - area.left,
                            area.bottom - area.top, nullptr, nullptr, instance, this);
  if (!window_) {
    throw Exception("Cannot create the background window: " + win32::ErrorText(GetLastError()));
  }
  try {
    backImage_.Create(window_, RECT{0, 0, 0, 0}, true);
    // The label lies on the picture, so the picture is drawn under it.
    topLabel_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX,
                                0, 0, 0, 0, backImage_.Handle(), nullptr, instance, nullptr);
    if (!topLabel_) {
      throw Exception("Cannot create the background window: " + win32::ErrorText(GetLastError()));
    }
    FormCreate();
    SetMessageOwner(window_);
    SetupGlobals.BackgroundForm = this;
    ShowWindow(window_, SW_SHOWMAXIMIZED);
    UpdateWindow(window_);
    SetTimer(window_, kStartTimer, kStartTimerInterval, nullptr);
  } catch (...) {
    ReleaseWindow();
    throw;
  }
}

TfmBackGrnd::~TfmBackGrnd() { ReleaseWindow(); }

void TfmBackGrnd::ReleaseWindow() {
  if (window_) DestroyWindow(window_);
  window_ = nullptr;
  topLabel_ = nullptr;
  if (SetupGlobals.BackgroundForm == this) {
    SetupGlobals.BackgroundForm = nullptr;
    ui::SetApplicationExceptionHandler(nullptr);
  }
  if (labelFont_) DeleteObject(labelFont_);
  labelFont_ = nullptr;
}

void TfmBackGrnd::Close() {
  if (window_) SendMessageW(window_, WM_CLOSE, 0, 0);
}

std::string TfmBackGrnd::Caption(bool english, const std::string& systemName) {
  return (english ? "Installation of system " : "Установка системы ") + systemName;
}

std::string TfmBackGrnd::DescriptionSystemName() {
  if (!SetupGlobals.Description) return {};
  const TIDFSection* params = SetupGlobals.Description->FindSection("Params");
  const TIDFParam* name = params ? params->FindParam("System name") : nullptr;
  return name ? name->AsString() : std::string();
}

std::string TfmBackGrnd::LogoFileName() {
  const std::wstring program = win32::ProgramFileW();
  std::wstring full(program.size() + MAX_PATH, L'\0');
  wchar_t* namePart = nullptr;
  DWORD n = GetFullPathNameW(program.c_str(), static_cast<DWORD>(full.size()), full.data(), &namePart);
  if (n == 0 || n >= full.size() || !namePart) return win32::Narrow(L"logo.bmp");
  full.resize(static_cast<size_t>(namePart - full.data()));  // the directory, with its "\"
  return win32::Narrow(full + L"logo.bmp");
}

void TfmBackGrnd::FormCreate() {
  ui::SetApplicationExceptionHandler(
      [this](const std::string& className, const std::string& message) { LogException(className, message); });

  // Both parts are hidden while they change and shown again whatever happens.
  ShowWindow(backImage_.Handle(), SW_HIDE);
  ShowWindow(topLabel_, SW_HIDE);
  struct ShowAgain {
    HWND image, label;
    ~ShowAgain() {
      ShowWindow(image, SW_SHOWNA);
      ShowWindow(label, SW_SHOWNA);
    }
  } showAgain{backImage_.Handle(), topLabel_};

  const std::string systemName = DescriptionSystemName();
  SetWindowTextW(window_, win32::Wide(Caption(SetupGlobals.IsEnglish, systemName)).c_str());
  SetWindowTextW(topLabel_, win32::Wide(systemName).c_str());

  const std::string logo = LogoFileName();
  const bool loaded = os::FileExists(logo) && backImage_.LoadFromFile(logo);
  if (!loaded) LoadImageResource(&backImage_, res::kBackground);
  Layout();
}

void TfmBackGrnd::Layout() {
  if (!window_) return;
  dpi_ = ui::MonitorDpi(MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY));
  HFONT font = CreateLabelFont(dpi_);
  SendMessageW(topLabel_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  if (labelFont_) DeleteObject(labelFont_);
  labelFont_ = font;

  RECT client{};
  GetClientRect(window_, &client);
  MoveWindow(backImage_.Handle(), 0, 0, client.right, client.bottom, TRUE);

  // The label is as large as its text.
  const int length = GetWindowTextLengthW(topLabel_);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(topLabel_, text.data(), length + 1)));
  SIZE extent{0, 0};
  if (HDC dc = GetDC(topLabel_)) {
    HGDIOBJ old = SelectObject(dc, labelFont_);
    RECT r{0, 0, 0, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_CALCRECT | DT_NOPREFIX | DT_SINGLELINE);
    extent = SIZE{r.right - r.left, r.bottom - r.top};
    SelectObject(dc, old);
    ReleaseDC(topLabel_, dc);
  }
  // Italic letters lean past their advance width: a little room on the right.
  const int slack = text.empty() ? 0 : ui::Scale(4, dpi_);
  MoveWindow(topLabel_, ui::Scale(kLabelLeft, dpi_), ui::Scale(kLabelTop, dpi_), extent.cx + slack,
             extent.cy, TRUE);
  RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void TfmBackGrnd::StartTimerTimer() {
  if (window_) KillTimer(window_, kStartTimer);
  if (SetupGlobals.ContinueAfterRestart) return;
  if (ShowWizard) ShowWizard();
}

void TfmBackGrnd::LogException(const std::string& className, const std::string& message) {
  WriteLog(" AppExcept    " + className + " : " + message);
  // A handler that fails again while the box is open (a paint, a timer) would stack boxes
  // without end: those further exceptions are logged only.
  if (showingException_) return;
  showingException_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{showingException_};
  ShowMessageBox(className + " : " + message, SetupGlobals.MessageCaption, kErrorBox);
}

LRESULT TfmBackGrnd::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      if (window_) {
        RECT client{};
        GetClientRect(window, &client);
        MoveWindow(backImage_.Handle(), 0, 0, client.right, client.bottom, TRUE);
      }
      return 0;
    case kDpiChanged:
      Layout();
      return 0;
    case WM_CTLCOLORSTATIC:
      if (reinterpret_cast<HWND>(lParam) == topLabel_) {
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, kNavy);
        return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
      }
      break;
    case WM_ENABLE:
      // A modal box or form owned by this window enables its owner again when it closes
      // (some systems do so even for an owner that was disabled before): this window stays
      // disabled, so it never takes a click meant for nothing.
      if (wParam) EnableWindow(window, FALSE);
      return 0;
    case WM_TIMER:
      if (wParam == kStartTimer) {
        StartTimerTimer();
        return 0;
      }
      break;
    case WM_CLOSE:
      FormClose();
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      KillTimer(window, kStartTimer);
      SetMessageOwner(nullptr);
      PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      if (window == window_) {
        window_ = nullptr;
        topLabel_ = nullptr;
      }
      break;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}
