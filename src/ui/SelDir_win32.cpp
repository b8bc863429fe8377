#include "ui/SelDir_win32.h"

#include <commctrl.h>

#include "common/errors.h"
#include "common/win32.h"
#include "setup/Messages.h"
#include "ui/Dpi_win32.h"
#include "ui/Modal_win32.h"
#include "ui/WindowProc_win32.h"

namespace {

constexpr wchar_t kClassName[] = L"TDirSelectDlg";
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_TOPMOST | WS_EX_DLGMODALFRAME;
constexpr int kDirectoryListId = 101, kDriveComboId = 102;

// The layout at 96 DPI.
constexpr int kClientWidth = 225, kClientHeight = 244;
constexpr RECT kDirectoryList{8, 8, 8 + 210, 8 + 154};
// A drop-down list's height is that of its open list.
constexpr RECT kDriveCombo{8, 170, 8 + 210, 170 + 160};
constexpr RECT kButton1{30, 208, 30 + 75, 208 + 25};
constexpr RECT kButton2{120, 208, 120 + 75, 208 + 25};

HWND CreateButton(const char* text, int id, HWND parent, HFONT font, DWORD style) {
  HWND button = CreateWindowExW(0, L"BUTTON", win32::Wide(text).c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | style,
                                0, 0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                GetModuleHandleW(nullptr), nullptr);
  if (!button) throw Exception("Cannot create the directory dialog: " + win32::ErrorText(GetLastError()));
  SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return button;
}

}  // namespace

TDirSelectDlg::~TDirSelectDlg() { Destroy(); }

void TDirSelectDlg::Create(HWND editSelDir) {
  Destroy();
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  HINSTANCE instance = GetModuleHandleW(nullptr);
  ui::RegisterFormClass<TDirSelectDlg>(instance, kClassName, "the directory dialog");
  editSelDir_ = editSelDir;
  window_ = CreateWindowExW(kExStyle, kClassName, win32::Wide("Выбор каталога").c_str(), kStyle, 0, 0, 0, 0,
                            nullptr, nullptr, instance, this);
  if (!window_) throw Exception("Cannot create the directory dialog: " + win32::ErrorText(GetLastError()));
  try {
    dpi_ = ui::CentreOnScreen(window_, kClientWidth, kClientHeight);
    font_ = ui::CreateDialogFont(dpi_);
    directoryList_.Create(window_, kDirectoryListId, font_, dpi_);
    driveCombo_.Create(window_, kDriveComboId, font_, dpi_);
    button1_ = CreateButton("OK", IDOK, window_, font_, BS_DEFPUSHBUTTON);
    button2_ = CreateButton("Отмена", IDCANCEL, window_, font_, BS_PUSHBUTTON);
    layout_.Clear();
    // The lists take their fonts with their item heights (DpiChanged).
    layout_.Add(directoryList_.Handle(), kDirectoryList, nullptr);
    layout_.Add(driveCombo_.Handle(), kDriveCombo, nullptr);
    layout_.Add(button1_, kButton1, &font_);
    layout_.Add(button2_, kButton2, &font_);
    layout_.Apply(dpi_);
    driveCombo_.OnChange = [this] { DriveComboBox1Change(); };
  } catch (...) {
    Destroy();
    throw;
  }
}

void TDirSelectDlg::DpiChanged(WPARAM wParam, LPARAM lParam) {
  const UINT dpi = ui::TakeSuggestedRect(window_, wParam, lParam);
  if (dpi == dpi_) return;
  dpi_ = dpi;
  HFONT old = font_;
  font_ = ui::CreateDialogFont(dpi_);
  directoryList_.SetDpi(font_, dpi_);
  driveCombo_.SetDpi(font_, dpi_);
  layout_.Apply(dpi_);
  if (old) DeleteObject(old);
  RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void TDirSelectDlg::Destroy() {
  if (window_) DestroyWindow(window_);
  window_ = button1_ = button2_ = nullptr;
  layout_.Clear();
  if (font_) DeleteObject(font_);
  font_ = nullptr;
}

int TDirSelectDlg::ShowModal() {
  if (!window_) return ui::mrCancel;
  SetFocus(directoryList_.Handle());
  return ui::RunModal(window_, modalResult_);
}

void TDirSelectDlg::DriveComboBox1Change() {
  const char drive = driveCombo_.Drive();
  if (drive == lastDrive_) return;
  lastDrive_ = drive;
  try {
    directoryList_.SetDrive(drive);
  } catch (const EInOutError&) {
    const std::string letter(1, drive);
    ShowBilingualMessage("Ошибка чтения диска " + letter + ":", "Drive " + letter + ": reading error", "", 0);
  }
}

void TDirSelectDlg::Button1Click() {
  directory_ = directoryList_.Directory();
  if (editSelDir_ && IsWindow(editSelDir_)) SetWindowTextW(editSelDir_, win32::Wide(directory_).c_str());
  modalResult_ = ui::mrOk;
}

void TDirSelectDlg::Button2Click() { modalResult_ = ui::mrCancel; }

LRESULT TDirSelectDlg::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (directoryList_.HandleCommand(wParam, lParam) || driveCombo_.HandleCommand(wParam, lParam)) return 0;
      if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IDOK) {
        Button1Click();
        return 0;
      }
      if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IDCANCEL) {
        Button2Click();
        return 0;
      }
      break;
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (directoryList_.HandleDrawItem(item) || driveCombo_.HandleDrawItem(item)) return TRUE;
      break;
    }
    case WM_CLOSE:
      Button2Click();
      return 0;
    case WM_DPICHANGED:
      DpiChanged(wParam, lParam);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}
