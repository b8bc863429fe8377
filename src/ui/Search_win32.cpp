#include "ui/Search_win32.h"

#include <commctrl.h>

#include "common/errors.h"
#include "common/win32.h"
#include "setup/SetupGlobals.h"
#include "ui/Dpi_win32.h"
#include "ui/Modal_win32.h"
#include "ui/WindowProc_win32.h"

namespace {

constexpr wchar_t kClassName[] = L"TSearchForm";
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_TOPMOST | WS_EX_DLGMODALFRAME;
// Not IDOK and IDCANCEL: Enter and Escape must not leave the form past its buttons.
constexpr int kButton1Id = 101, kButton2Id = 102, kCheckBox1Id = 103, kMemo1Id = 104;

// The layout at 96 DPI.
constexpr int kClientWidth = 512, kClientHeight = 136;
constexpr RECT kMemo1{8, 8, 8 + 496, 8 + 60};
constexpr RECT kCheckBox1{8, 74, 8 + 496, 74 + 17};
constexpr RECT kButton1{8, 100, 8 + 180, 100 + 25};
constexpr RECT kButton2{324, 100, 324 + 180, 100 + 25};

const char kMemo1Text[] =
    "Наличие одноименных компонент в пути может привести к неправильному функционированию \r\n"
    "устанавливаемых подсистем\".";

HWND CreateChild(const wchar_t* className, const char* text, DWORD style, int id, HWND parent, HFONT* font,
                 const RECT& design, ui::TDpiLayout& layout) {
  HWND child = CreateWindowExW(0, className, win32::Wide(text).c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
                               parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr),
                               nullptr);
  if (!child) throw Exception("Cannot create the search form: " + win32::ErrorText(GetLastError()));
  layout.Add(child, design, font);
  return child;
}

}  // namespace

TSearchForm::~TSearchForm() { Destroy(); }

void TSearchForm::Create() {
  Destroy();
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  HINSTANCE instance = GetModuleHandleW(nullptr);
  ui::RegisterFormClass<TSearchForm>(instance, kClassName, "the search form");
  window_ = CreateWindowExW(kExStyle, kClassName, L"", kStyle, 0, 0, 0, 0, nullptr, nullptr, instance, this);
  if (!window_) throw Exception("Cannot create the search form: " + win32::ErrorText(GetLastError()));
  try {
    dpi_ = ui::CentreOnScreen(window_, kClientWidth, kClientHeight);
    font_ = ui::CreateDialogFont(dpi_);
    layout_.Clear();
    memo_ = CreateChild(L"EDIT", kMemo1Text, ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, kMemo1Id, window_, &font_,
                        kMemo1, layout_);
    checkBox_ = CreateChild(L"BUTTON", "Больше не выводить это предупреждение", BS_AUTOCHECKBOX | WS_TABSTOP,
                            kCheckBox1Id, window_, &font_, kCheckBox1, layout_);
    button1_ = CreateChild(L"BUTTON", "Продолжить инсталляцию", BS_DEFPUSHBUTTON | WS_TABSTOP, kButton1Id, window_,
                           &font_, kButton1, layout_);
    button2_ = CreateChild(L"BUTTON", "Прервать инсталляцию", BS_PUSHBUTTON | WS_TABSTOP, kButton2Id, window_,
                           &font_, kButton2, layout_);
    layout_.Apply(dpi_);
    FormCreate();
  } catch (...) {
    Destroy();
    throw;
  }
}

void TSearchForm::FormCreate() {
  if (!SetupGlobals.IsEnglish) return;
  SetWindowTextW(button1_, L"Continue installation");
  SetWindowTextW(button2_, L"Abort installation");
  SetWindowTextW(checkBox_, L"To not output are more this warning");
}

void TSearchForm::SetMessage(const std::string& text) {
  if (memo_) SetWindowTextW(memo_, win32::Wide(text).c_str());
}

void TSearchForm::DpiChanged(WPARAM wParam, LPARAM lParam) {
  const UINT dpi = ui::TakeSuggestedRect(window_, wParam, lParam);
  if (dpi == dpi_) return;
  dpi_ = dpi;
  HFONT old = font_;
  font_ = ui::CreateDialogFont(dpi_);
  layout_.Apply(dpi_);
  if (old) DeleteObject(old);
}

void TSearchForm::Destroy() {
  if (window_) DestroyWindow(window_);
  window_ = memo_ = button1_ = button2_ = checkBox_ = nullptr;
  layout_.Clear();
  if (font_) DeleteObject(font_);
  font_ = nullptr;
}

int TSearchForm::ShowModal() {
  if (!window_) return ui::mrCancel;
  SetFocus(button1_);
  return ui::RunModal(window_, modalResult_);
}

void TSearchForm::Button1Click() {
  modalResult_ = SendMessageW(checkBox_, BM_GETCHECK, 0, 0) == BST_CHECKED ? ui::mrOk : ui::mrYes;
}

void TSearchForm::Button2Click() { modalResult_ = ui::mrCancel; }

LRESULT TSearchForm::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == kButton1Id) {
        Button1Click();
        return 0;
      }
      if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == kButton2Id) {
        Button2Click();
        return 0;
      }
      break;
    case WM_CLOSE:
      return 0;  // only the buttons leave the form
    case WM_DPICHANGED:
      DpiChanged(wParam, lParam);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}
