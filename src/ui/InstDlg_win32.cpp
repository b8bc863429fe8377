#include "ui/InstDlg_win32.h"

#include <shellapi.h>
#include <windowsx.h>

#include "common/errors.h"
#include "common/osfile.h"
#include "common/win32.h"
#include "engine/ProgressThread.h"
#include "setup/Messages.h"
#include "setup/SetupGlobals.h"
#include "ui/BackGrnd_win32.h"
#include "ui/Dpi_win32.h"
#include "ui/Mnemonics_win32.h"
#include "ui/Modal_win32.h"
#include "ui/SelDir_win32.h"
#include "ui/WindowProc_win32.h"
#include "ui/resources/ui_resources.h"

namespace {

constexpr wchar_t kClassName[] = L"TfmInstDlg";
constexpr wchar_t kPanelClassName[] = L"TfmInstDlgPanel";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr int kClientWidth = 490, kClientHeight = 311;

enum : int {
  idBtnPrev = 101, idBtnNext, idBtnExit, idTypeFull, idTypeCustom, idCheckBox1, idEditSelDir, idBtnSelDir,
  idComponentTree, idEdFolder, idFoldersListBox, idActAddDelete, idActUninstall, idLabel12, idOther
};

// The layout at 96 DPI: the frame of the picture, the notebook and the button panel in the
// form; everything else in its page (323 x 260).
constexpr RECT kImgPanel{4, 4, 4 + 157, 4 + 260};
constexpr RECT kNbScreens{163, 4, 163 + 323, 4 + 260};
constexpr RECT kBtnPanel{0, 270, 490, 311};
constexpr RECT kBevel{0, 0, 490, 2};
constexpr RECT kBtnPrev{190, 8, 190 + 95, 8 + 25};
constexpr RECT kBtnNext{290, 8, 290 + 95, 8 + 25};
constexpr RECT kBtnExit{390, 8, 390 + 95, 8 + 25};

RECT Scaled(const RECT& r, UINT dpi) {
  return {ui::Scale(r.left, dpi), ui::Scale(r.top, dpi), ui::Scale(r.right, dpi), ui::Scale(r.bottom, dpi)};
}

// The notebook, its pages and the button panel hand their controls' messages to the form.
LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_DRAWITEM:
      return SendMessageW(GetParent(window), message, wParam, lParam);
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

void RegisterPanelClass(HINSTANCE instance) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof(existing);
  if (GetClassInfoExW(instance, kPanelClassName, &existing)) return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = PanelProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kPanelClassName;
  if (!RegisterClassExW(&wc)) throw Exception("Cannot register the wizard's panels: " + win32::ErrorText(GetLastError()));
}

std::string TextOf(HWND window) {
  std::wstring buffer(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  buffer.resize(static_cast<std::size_t>(GetWindowTextW(window, buffer.data(), static_cast<int>(buffer.size()))));
  return win32::Narrow(buffer);
}

void SetText(HWND window, const std::string& text) { SetWindowTextW(window, win32::Wide(text).c_str()); }
// A push button's text, with the letter that presses it.
void SetButtonText(HWND button, const std::string& text) { SetText(button, ui::WithMnemonic(text)); }

bool ClassIs(HWND window, const wchar_t* name) {
  wchar_t buffer[32] = {};
  GetClassNameW(window, buffer, 32);
  return lstrcmpiW(buffer, name) == 0;
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i) text += "\r\n";
    text += lines[i];
  }
  return text;
}

// The wait cursor while something slow runs (sizing archives, reading folders).
class TWaitCursor {
 public:
  TWaitCursor() : previous_(SetCursor(LoadCursorW(nullptr, IDC_WAIT))) {}
  ~TWaitCursor() { SetCursor(previous_); }
  TWaitCursor(const TWaitCursor&) = delete;
  TWaitCursor& operator=(const TWaitCursor&) = delete;

 private:
  HCURSOR previous_;
};

}  // namespace

// ---- the tree view as the subsystem tree fills it ---------------------------------------

ITreeViewItems::Item TfmInstDlg::TTreeViewItems::AddChildItem(Item parent, const std::string& text, TSysNode* node) {
  const std::wstring wide = win32::Wide(text);
  TVINSERTSTRUCTW insert{};
  insert.hParent = parent ? static_cast<HTREEITEM>(parent) : TVI_ROOT;
  insert.hInsertAfter = TVI_LAST;
  insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
  insert.item.pszText = const_cast<wchar_t*>(wide.c_str());
  insert.item.lParam = reinterpret_cast<LPARAM>(node);
  insert.item.iImage = I_IMAGECALLBACK;
  insert.item.iSelectedImage = I_IMAGECALLBACK;
  auto item = reinterpret_cast<HTREEITEM>(
      SendMessageW(form_.componentTree_, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
  if (!item) throw Exception("Cannot add " + text + " to the subsystem tree");
  if (parent) SendMessageW(form_.componentTree_, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(parent));
  return item;
}

void TfmInstDlg::TTreeViewItems::BeginUpdate() {
  if (depth_++ == 0) SendMessageW(form_.componentTree_, WM_SETREDRAW, FALSE, 0);
}

void TfmInstDlg::TTreeViewItems::EndUpdate() {
  if (depth_ > 0 && --depth_ == 0) {
    SendMessageW(form_.componentTree_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(form_.componentTree_, nullptr, TRUE);
  }
}

// ---- creation ---------------------------------------------------------------------------

TfmInstDlg::TfmInstDlg() : treeItems_(*this) {}

TfmInstDlg::~TfmInstDlg() { Destroy(); }

void TfmInstDlg::Destroy() {
  // FormDestroy: the engine first (it reads the trees), then the items that point into them.
  model_.InstallThread.reset();
  if (componentTree_) ClearTree();
  model_.ClearTreeView = nullptr;
  model_.TreeView = nullptr;
  model_.OnStepShown = nullptr;
  model_.OnSizesChanged = nullptr;
  model_.OnClose = nullptr;
  if (window_) DestroyWindow(window_);
  window_ = nullptr;
  layout_.Clear();
  if (imageList_) ImageList_Destroy(imageList_);
  imageList_ = nullptr;
  for (HFONT* font : {&font_, &bigFont_, &boldFont_, &memoFont_}) {
    if (*font) DeleteObject(*font);
    *font = nullptr;
  }
}

void TfmInstDlg::Create() {
  Destroy();
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_TREEVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  HINSTANCE instance = GetModuleHandleW(nullptr);
  ui::RegisterFormClass<TfmInstDlg>(instance, kClassName, "the installation wizard");
  RegisterPanelClass(instance);
  window_ = CreateWindowExW(WS_EX_CONTROLPARENT, kClassName, L"", kStyle, 0, 0, 0, 0, nullptr, nullptr, instance, this);
  if (!window_) throw Exception("Cannot create the installation wizard: " + win32::ErrorText(GetLastError()));
  dpi_ = ui::CentreOnScreen(window_, kClientWidth, kClientHeight);
  CreateControls();
  FormCreate();
}

void TfmInstDlg::CreateControls() {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  CreateFonts();
  layout_.Clear();

  auto make = [&](HWND parent, const wchar_t* cls, const char* text, DWORD style, const RECT& r, int id,
                  HFONT font = nullptr, DWORD exStyle = 0) {
    const RECT s = Scaled(r, dpi_);
    HWND control = CreateWindowExW(exStyle, cls, win32::Wide(text).c_str(), WS_CHILD | WS_VISIBLE | style, s.left,
                                   s.top, s.right - s.left, s.bottom - s.top, parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    if (!control) throw Exception("Cannot create the installation wizard: " + win32::ErrorText(GetLastError()));
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font ? font : font_), FALSE);
    HFONT* slot = font == bigFont_ ? &bigFont_ : font == boldFont_ ? &boldFont_ : font == memoFont_ ? &memoFont_ : &font_;
    layout_.Add(control, r, slot);
    return control;
  };
  auto rect = [](int x, int y, int w, int h) { return RECT{x, y, x + w, y + h}; };
  const DWORD panel = WS_CLIPSIBLINGS;

  // The side picture with the company's name and address on it (a white shadow under each).
  // The frame lies under the picture: clipped to what the picture leaves free, or its own
  // painting would cover the picture.
  imgPanel_ = make(window_, L"STATIC", "", SS_SUNKEN | WS_CLIPSIBLINGS, kImgPanel, idOther);
  image_.Create(window_, Scaled(RECT{kImgPanel.left + 1, kImgPanel.top + 1, kImgPanel.right - 1, kImgPanel.bottom - 1}, dpi_),
                true);
  SetWindowPos(image_.Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  layout_.Add(image_.Handle(), RECT{kImgPanel.left + 1, kImgPanel.top + 1, kImgPanel.right - 1, kImgPanel.bottom - 1},
              nullptr);
  HWND img = image_.Handle();
  // One line each: a name or address wider than the picture is cut at its edge rather than
  // wrapped below the label's one line, where it would vanish.
  label10_ = make(img, L"STATIC", "", SS_LEFTNOWORDWRAP, rect(9, 201, 145, 18), idOther, bigFont_);
  label9_ = make(img, L"STATIC", "", SS_LEFTNOWORDWRAP, rect(8, 200, 145, 18), idOther, bigFont_);
  label11_ = make(img, L"STATIC", "", SS_LEFTNOWORDWRAP, rect(9, 226, 145, 18), idOther, bigFont_);
  label12_ = make(img, L"STATIC", "", SS_LEFTNOWORDWRAP | SS_NOTIFY, rect(8, 225, 145, 18), idLabel12, bigFont_);

  nbScreens_ = make(window_, kPanelClassName, "", panel, kNbScreens, idOther, nullptr, WS_EX_CONTROLPARENT);
  for (int p = 0; p < pgNone; ++p) {
    pages_[p] = make(nbScreens_, kPanelClassName, "", panel, rect(0, 0, 323, 260), idOther, nullptr, WS_EX_CONTROLPARENT);
    ShowWindow(pages_[p], SW_HIDE);
  }
  btnPanel_ = make(window_, kPanelClassName, "", panel, kBtnPanel, idOther, nullptr, WS_EX_CONTROLPARENT);
  bevel_ = make(btnPanel_, L"STATIC", "", SS_ETCHEDHORZ, kBevel, idOther);
  btnPrev_ = make(btnPanel_, L"BUTTON", "", WS_TABSTOP | BS_PUSHBUTTON, kBtnPrev, idBtnPrev);
  btnNext_ = make(btnPanel_, L"BUTTON", "", WS_TABSTOP | BS_DEFPUSHBUTTON, kBtnNext, idBtnNext);
  btnExit_ = make(btnPanel_, L"BUTTON", "", WS_TABSTOP | BS_PUSHBUTTON, kBtnExit, idBtnExit);
  SetButtonText(btnPrev_, "< Назад");
  SetButtonText(btnNext_, "Далее >");
  SetButtonText(btnExit_, "Выход");
  ShowWindow(btnPrev_, SW_HIDE);

  HWND page = pages_[pgFirst];
  // Room down to the warning, for a system name that takes more than its line.
  label1_ = make(page, L"STATIC", "", SS_LEFT, rect(16, 16, 300, 108), idOther, bigFont_);
  label2_ = make(page, L"STATIC", "ВНИМАНИЕ!", SS_LEFT, rect(16, 130, 300, 20), idOther, boldFont_);
  label3_ = make(page, L"STATIC",
                 "Данная программа защищена законами\r\nоб авторских правах и международными\r\nсоглашениями.",
                 SS_LEFT, rect(16, 155, 300, 60), idOther, bigFont_);

  licenseMemo_ = make(pages_[pgLicense], L"EDIT", "",
                      WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL,
                      rect(0, 0, 323, 260), idOther, memoFont_, WS_EX_CLIENTEDGE);
  // A licence may be longer than an edit takes by default.
  SendMessageW(licenseMemo_, EM_SETLIMITTEXT, 0x7FFFFFFE, 0);

  page = pages_[pgTypeInst];
  typeGroup_ = make(page, L"BUTTON", "Тип установки  ", BS_GROUPBOX, rect(8, 4, 307, 66), idOther);
  typeRadio_[0] = make(page, L"BUTTON", "Полная", WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON, rect(20, 22, 285, 18), idTypeFull);
  typeRadio_[1] = make(page, L"BUTTON", "Выборочная", BS_AUTORADIOBUTTON, rect(20, 44, 285, 18), idTypeCustom);
  SendMessageW(typeRadio_[0], BM_SETCHECK, BST_CHECKED, 0);
  checkBox1_ = make(page, L"BUTTON", "Установка с параметрами по умолчанию ( рекоменд.)",
                    WS_TABSTOP | WS_GROUP | BS_AUTOCHECKBOX, rect(8, 76, 307, 20), idCheckBox1);
  SendMessageW(checkBox1_, BM_SETCHECK, BST_CHECKED, 0);
  groupBox1_ = make(page, L"BUTTON", "Каталог", BS_GROUPBOX, rect(8, 102, 307, 150), idOther);
  memo1_ = make(page, L"EDIT",
                "Программа установки произведет \r\nкопирование файлов \r\nсистемы в указанный ниже каталог.",
                ES_MULTILINE | ES_READONLY, rect(16, 120, 291, 60), idOther);
  editSelDir_ = make(page, L"EDIT", "", WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL, rect(16, 196, 200, 22), idEditSelDir,
                     nullptr, WS_EX_CLIENTEDGE);
  btnSelDir_ = make(page, L"BUTTON", "", WS_TABSTOP | BS_PUSHBUTTON, rect(226, 194, 79, 25), idBtnSelDir);
  SetButtonText(btnSelDir_, "Выбрать");

  page = pages_[pgSelComp];
  label5_ = make(page, L"STATIC", "Выберите подсистемы для установки", SS_LEFT, rect(8, 2, 307, 16), idOther);
  componentTree_ = make(page, WC_TREEVIEWW, "",
                        WS_TABSTOP | WS_GROUP | TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT | TVS_SHOWSELALWAYS,
                        rect(8, 20, 190, 180), idComponentTree, nullptr, WS_EX_CLIENTEDGE);
  SendMessageW(componentTree_, TVM_SETINDENT, static_cast<WPARAM>(ui::Scale(19, dpi_)), 0);
  SetWindowSubclass(componentTree_, TreeProc, 1, reinterpret_cast<DWORD_PTR>(this));
  groupBox2_ = make(page, L"BUTTON", "Описание подсистемы", BS_GROUPBOX, rect(204, 16, 115, 184), idOther);
  descrMemo_ = make(page, L"EDIT", "", ES_MULTILINE | ES_READONLY | WS_VSCROLL, rect(210, 34, 103, 160), idOther);
  label4_ = make(page, L"STATIC", "Доступно на диске:", SS_LEFT, rect(8, 210, 130, 16), idOther);
  label14_ = make(page, L"STATIC", "", SS_LEFT, rect(140, 210, 170, 16), idOther);
  label13_ = make(page, L"STATIC", "Требуется:", SS_LEFT, rect(8, 232, 130, 16), idOther);
  label15_ = make(page, L"STATIC", "", SS_LEFT, rect(140, 232, 170, 16), idOther);
  CreateImageList();

  page = pages_[pgProgGrp];
  label6_ = make(page, L"STATIC", "Папка программы", SS_LEFT, rect(8, 4, 307, 16), idOther);
  edFolder_ = make(page, L"EDIT", "", WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL, rect(8, 22, 307, 22), idEdFolder, nullptr,
                   WS_EX_CLIENTEDGE);
  label7_ = make(page, L"STATIC", "Существующие папки", SS_LEFT, rect(8, 52, 307, 16), idOther);
  foldersListBox_ = make(page, L"LISTBOX", "", WS_TABSTOP | WS_GROUP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
                         rect(8, 70, 307, 186), idFoldersListBox, nullptr, WS_EX_CLIENTEDGE);

  page = pages_[pgAction];
  actGroup_ = make(page, L"BUTTON", "", BS_GROUPBOX, rect(8, 50, 307, 80), idOther);
  actRadio_[0] = make(page, L"BUTTON", "Добавить \\ Удалить подсистемы", WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON,
                      rect(20, 72, 285, 18), idActAddDelete);
  actRadio_[1] = make(page, L"BUTTON", "Деинсталляция системы", BS_AUTORADIOBUTTON, rect(20, 98, 285, 18), idActUninstall);
  SendMessageW(actRadio_[0], BM_SETCHECK, BST_CHECKED, 0);
  uninstallLabel_ = make(page, L"STATIC", "Система будет деинсталлирована", SS_CENTER, rect(8, 80, 307, 20), idOther,
                         bigFont_);
  ShowWindow(uninstallLabel_, SW_HIDE);

  page = pages_[pgLast];
  label8_ = make(page, L"STATIC", "", SS_LEFT, rect(8, 8, 307, 66), idOther, bigFont_);
  lastMemo_ = make(page, L"EDIT", "", WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY, rect(0, 79, 323, 181),
                   idOther, nullptr, WS_EX_CLIENTEDGE);
}

// The state pictures: the program's strip, or, where the module carries none (a test
// program), boxes drawn by the system.
void TfmInstDlg::CreateImageList() {
  const int size = res::kStateImageSize;
  // The strip is a palette bitmap: copied into a 24-bit one first, so that the list keeps
  // its colours and makes its mask from the mask colour alone.
  HBITMAP strip = static_cast<HBITMAP>(LoadImageA(GetModuleHandleW(nullptr), res::kStateImages,
                                                  IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  if (strip) {
    BITMAP info{};
    GetObjectW(strip, sizeof(info), &info);
    HDC screen = GetDC(nullptr);
    HDC from = CreateCompatibleDC(screen);
    HDC to = CreateCompatibleDC(screen);
    HBITMAP colour = CreateCompatibleBitmap(screen, info.bmWidth, info.bmHeight);
    HGDIOBJ oldFrom = SelectObject(from, strip);
    HGDIOBJ oldTo = SelectObject(to, colour);
    BitBlt(to, 0, 0, info.bmWidth, info.bmHeight, from, 0, 0, SRCCOPY);
    SelectObject(from, oldFrom);
    SelectObject(to, oldTo);
    DeleteDC(from);
    DeleteDC(to);
    ReleaseDC(nullptr, screen);
    imageList_ = ImageList_Create(size, size, ILC_COLOR24 | ILC_MASK, res::kStateImageCount, 0);
    if (imageList_ && ImageList_AddMasked(imageList_, colour, res::kMaskColour) < 0) {
      ImageList_Destroy(imageList_);
      imageList_ = nullptr;
    }
    DeleteObject(colour);
    DeleteObject(strip);
  }
  if (!imageList_) {
    imageList_ = ImageList_Create(size, size, ILC_COLOR24, res::kStateImageCount, 0);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    const UINT states[] = {DFCS_BUTTONCHECK | DFCS_CHECKED, DFCS_BUTTONCHECK | DFCS_CHECKED | DFCS_INACTIVE,
                           DFCS_BUTTONCHECK, DFCS_BUTTONCHECK | DFCS_INACTIVE};
    for (UINT state : states) {
      HBITMAP bitmap = CreateCompatibleBitmap(screen, size, size);
      HGDIOBJ old = SelectObject(dc, bitmap);
      RECT r{0, 0, size, size};
      FillRect(dc, &r, GetSysColorBrush(COLOR_WINDOW));
      RECT box{1, 1, size - 1, size - 1};
      DrawFrameControl(dc, &box, DFC_BUTTON, state);
      SelectObject(dc, old);
      ImageList_Add(imageList_, bitmap, nullptr);
      DeleteObject(bitmap);
    }
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
  }
  SendMessageW(componentTree_, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(imageList_));
}

void TfmInstDlg::ApplyEnglishTexts() {
  SetButtonText(btnPrev_, "Back");
  SetButtonText(btnNext_, "Next");
  SetButtonText(btnExit_, "Exit");
  SetText(label2_, "WARNING!");
  SetText(label3_, "The given program is protected by laws\r\non copyrights and the international\r\nagreements");
  SetText(typeGroup_, "Type of installation");
  SetText(typeRadio_[0], "Full");
  SetText(typeRadio_[1], "Custom");
  SetText(checkBox1_, "Installation by default");
  SetText(groupBox1_, "Directory");
  SetText(memo1_, "The setup will make copying files of the system to the directory below");
  SetButtonText(btnSelDir_, "Browse");
  SetText(label5_, "Select subsystems for installation");
  SetText(groupBox2_, "The description of a subsystem");
  SetText(label4_, "Free on disk:");
  SetText(label13_, "Required:");
  SetText(label6_, "Program folder");
  SetText(label7_, "Exists folders:");
  SetText(actRadio_[0], "Add/Delete subsystems");
  SetText(actRadio_[1], "Uninstall system");
  SetText(uninstallLabel_, "System will be uninstalled");
  SendMessageW(typeRadio_[0], BM_SETCHECK, BST_CHECKED, 0);
  SendMessageW(typeRadio_[1], BM_SETCHECK, BST_UNCHECKED, 0);
  SendMessageW(actRadio_[0], BM_SETCHECK, BST_CHECKED, 0);
  SendMessageW(actRadio_[1], BM_SETCHECK, BST_UNCHECKED, 0);
}

void TfmInstDlg::FormCreate() {
  LoadImageResource(&image_, res::kLeftLogo);
  if (SetupGlobals.IsEnglish) ApplyEnglishTexts();
  model_.TreeView = &treeItems_;
  model_.ClearTreeView = [this] { ClearTree(); };
  model_.ProgressView = &progress_;
  model_.OnStepShown = [this](int step) { StepShown(step); };
  model_.OnSizesChanged = [this] { SizesChanged(); };
  model_.OnClose = [this] { Close(); };
  model_.ReadParams(os::CurrentDirectory());
  if (!model_.LogoFile.empty()) image_.LoadFromFile(model_.LogoFile);
  SetText(label9_, model_.CompanyName);
  SetText(label10_, model_.CompanyName);
  SetText(label11_, model_.CompanyUrl);
  SetText(label12_, model_.CompanyUrl);
  for (HWND label : {label9_, label10_}) ShowWindow(label, model_.CompanyVisible ? SW_SHOW : SW_HIDE);
  for (HWND label : {label11_, label12_}) ShowWindow(label, model_.UrlVisible ? SW_SHOW : SW_HIDE);
  descrCaption_ = win32::Wide(TextOf(groupBox2_));
  FitDescriptionBox();
}

void TfmInstDlg::Show() {
  if (!window_ || closed_ || model_.Step == 9) return;
  ShowWindow(window_, SW_SHOW);
  SetForegroundWindow(window_);
  SetFocus(btnNext_);
}

// ---- showing the model ------------------------------------------------------------------

void TfmInstDlg::ShowPage(TWizardPage page) {
  for (int p = 0; p < pgNone; ++p) {
    if (p != page) ShowWindow(pages_[p], SW_HIDE);
  }
  if (page != pgNone) ShowWindow(pages_[page], SW_SHOW);
}

void TfmInstDlg::StepShown(int step) {
  if (step == 9) {
    ShowWindow(window_, SW_HIDE);
    return;
  }
  filling_ = true;
  SetText(window_, model_.Caption);
  SetButtonText(btnNext_, model_.NextText);
  ShowWindow(btnPrev_, model_.BackVisible ? SW_SHOW : SW_HIDE);
  switch (step) {
    case 1:
      SetWindowTextW(label1_, FittedSystemName(label1_, model_.Label1).c_str());
      break;
    case 2:
      SetText(licenseMemo_, JoinLines(model_.LicenceLines));
      break;
    case 3:
      SetText(editSelDir_, model_.DirectoryText);
      break;
    case 5:
      SetText(edFolder_, model_.GroupText);
      if (SendMessageW(foldersListBox_, LB_GETCOUNT, 0, 0) == 0) {
        for (const std::string& folder : model_.Folders) {
          SendMessageW(foldersListBox_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(win32::Wide(folder).c_str()));
        }
      }
      break;
    case 6:
      ShowWindow(actGroup_, model_.ActionVisible ? SW_SHOW : SW_HIDE);
      for (HWND radio : actRadio_) ShowWindow(radio, model_.ActionVisible ? SW_SHOW : SW_HIDE);
      ShowWindow(uninstallLabel_, model_.ActionVisible ? SW_HIDE : SW_SHOW);
      break;
    case 8:
      SetWindowTextW(label8_, FittedSystemName(label8_, model_.Label8).c_str());
      SetText(lastMemo_, JoinLines(model_.SummaryLines));
      break;
    default:
      break;
  }
  ShowPage(model_.Page);
  filling_ = false;
  // A hidden control keeps no focus: Next takes it.
  HWND focus = GetFocus();
  if (IsWindowVisible(window_) && (!focus || !IsWindowVisible(focus))) SetFocus(btnNext_);
}

void TfmInstDlg::SizesChanged() {
  SetText(typeRadio_[0], model_.TypeItems[0]);
  SetText(label14_, model_.Label14);
  SetText(label15_, model_.Label15);
  InvalidateRect(componentTree_, nullptr, FALSE);
}

// ---- handlers ---------------------------------------------------------------------------

void TfmInstDlg::BtnNextClick() {
  TWaitCursor wait;
  model_.Next();
}

void TfmInstDlg::BtnPrevClick() { model_.Back(); }

void TfmInstDlg::BtnExitClick() {
  WriteLog(" the process is aborted by user");
  Close();
}

void TfmInstDlg::Close() {
  if (closed_) return;
  closed_ = true;
  FormClose();
}

void TfmInstDlg::FormClose() {
  WriteLog(" closing if dialog window of installation");
  if (window_) ShowWindow(window_, SW_HIDE);
  if (SetupGlobals.BackgroundForm) SetupGlobals.BackgroundForm->Close();
}

void TfmInstDlg::TypeInstRadioGroupClick() {
  model_.TypeInstRadioGroupClick(SendMessageW(typeRadio_[0], BM_GETCHECK, 0, 0) == BST_CHECKED ? 0 : 1);
}

void TfmInstDlg::ActRadioGroupClick() {
  model_.ActRadioGroupClick(SendMessageW(actRadio_[0], BM_GETCHECK, 0, 0) == BST_CHECKED ? 0 : 1);
}

void TfmInstDlg::EditSelDirExit() {
  // Only a person leaving the edit on the visible page is asked; closing the form is not.
  if (closed_ || model_.Step != 3 || !IsWindowVisible(window_)) return;
  if (!model_.EditSelDirExit(TextOf(editSelDir_))) SetFocus(editSelDir_);
}

void TfmInstDlg::BtnSelDirClick() {
  WriteLog(" IN procedure BTNSELDIRCLICK");
  const std::string previous = os::CurrentDirectory();
  // The dialog opens at the current directory: the nearest existing one of the install path.
  std::string start = model_.InstallDir;
  while (!start.empty() && !os::DirectoryExists(start.size() == 2 && start[1] == ':' ? start + "\\" : start)) {
    const std::size_t slash = start.find_last_of('\\');
    start = slash == std::string::npos ? std::string() : start.substr(0, slash);
  }
  if (!start.empty()) SetCurrentDirectoryW(win32::Wide(start.size() == 2 ? start + "\\" : start).c_str());
  int result = ui::mrCancel;
  {
    TDirSelectDlg dialog;
    struct TRestore {
      const std::string& directory;
      ~TRestore() { SetCurrentDirectoryW(win32::Wide(directory).c_str()); }
    } restore{previous};
    dialog.Create(editSelDir_);
    result = dialog.ShowModal();
  }
  if (result == ui::mrOk) model_.DirectoryChosen(TextOf(editSelDir_));
  // The directory list changes the current directory as the person browses.
  if (!SetCurrentDirectoryW(win32::Wide(previous).c_str())) {
    throw EInOutError("Cannot return to " + previous + ": " + win32::ErrorText(GetLastError()));
  }
  WriteLog(" OUT procedure BTNSELDIRCLICK");
}

void TfmInstDlg::FoldersListBoxClick() {
  const auto index = static_cast<int>(SendMessageW(foldersListBox_, LB_GETCURSEL, 0, 0));
  if (index < 0) return;
  model_.FoldersListBoxClick(index);
  SetText(edFolder_, model_.GroupText);
}

void TfmInstDlg::edFolderChange() { model_.edFolderChange(TextOf(edFolder_)); }

void TfmInstDlg::Label12Click() {
  const std::string url = TWizardModel::CompanyUrlTarget(TextOf(label12_));
  if (url.empty()) return;
  HWND owner = SetupGlobals.BackgroundForm ? SetupGlobals.BackgroundForm->Handle() : window_;
  // The browser opens as a window of its own, not hidden.
  if (OpenAddress) {
    OpenAddress(owner, url, SW_SHOWNORMAL);
  } else {
    ShellExecuteW(owner, L"open", win32::Wide(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  }
}

// ---- the subsystem tree -----------------------------------------------------------------

void TfmInstDlg::ClearTree() {
  SendMessageW(componentTree_, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
  SetText(descrMemo_, "");
}

void TfmInstDlg::ToggleItem(HTREEITEM item) {
  TVITEMW data{};
  data.mask = TVIF_PARAM;
  data.hItem = item;
  if (!SendMessageW(componentTree_, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&data))) return;
  model_.ToggleNode(reinterpret_cast<TSysNode*>(data.lParam));
  InvalidateRect(componentTree_, nullptr, FALSE);
}

void TfmInstDlg::ComponentTreeMouseDown(POINT at) {
  TVHITTESTINFO hit{};
  hit.pt = at;
  const auto item = reinterpret_cast<HTREEITEM>(SendMessageW(componentTree_, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
  if (item && (hit.flags & TVHT_ONITEMICON)) ToggleItem(item);
}

void TfmInstDlg::ComponentTreeChange(HTREEITEM item) {
  TVITEMW data{};
  data.mask = TVIF_PARAM;
  data.hItem = item;
  SetText(descrMemo_, "");
  if (!item || !SendMessageW(componentTree_, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&data))) return;
  const auto* node = reinterpret_cast<const TSysNode*>(data.lParam);
  if (node) SetText(descrMemo_, node->Info.FullName);
  SendMessageW(descrMemo_, EM_SETSEL, 0, 1);
}

int TfmInstDlg::ComponentTreeGetImageIndex(HTREEITEM item) const {
  TVITEMW data{};
  data.mask = TVIF_PARAM;
  data.hItem = item;
  if (!SendMessageW(componentTree_, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&data)) || !data.lParam) return 2;
  return TWizardModel::ImageIndex(*reinterpret_cast<const TSysNode*>(data.lParam));
}

LRESULT CALLBACK TfmInstDlg::TreeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                      DWORD_PTR self) {
  auto* form = reinterpret_cast<TfmInstDlg*>(self);
  if (message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN) {
    const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ui::GuardedCall("ComponentTreeMouseDown", 0, [&] {
      if (message == WM_RBUTTONDOWN) {
        // A right click chooses the item as a left click does.
        TVHITTESTINFO hit{};
        hit.pt = at;
        auto item = reinterpret_cast<HTREEITEM>(SendMessageW(window, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
        if (item) SendMessageW(window, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
      }
      form->ComponentTreeMouseDown(at);
      return 0;
    });
  } else if (message == WM_NCDESTROY) {
    RemoveWindowSubclass(window, TreeProc, 1);
  }
  return DefSubclassProc(window, message, wParam, lParam);
}

bool TfmInstDlg::TranslateKey(const MSG& message) {
  if (message.message != WM_KEYDOWN || !window_ || !IsWindowEnabled(window_)) return false;
  if (GetAncestor(message.hwnd, GA_ROOT) != window_) return false;
  if (message.wParam == VK_ESCAPE) {
    // Wherever the focus is: a multi-line edit would keep Esc and close its page instead.
    SendMessageW(window_, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    return true;
  }
  if (message.wParam != VK_RETURN || (GetKeyState(VK_CONTROL) & 0x8000)) return false;
  HWND focus = message.hwnd;
  HWND pressed = nullptr;
  if (ClassIs(focus, L"Button")) {
    // A focused push button is pressed by Enter (the dialog keys would press the default).
    const LONG_PTR type = GetWindowLongPtrW(focus, GWL_STYLE) & BS_TYPEMASK;
    if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) pressed = focus;
  } else if (ClassIs(focus, L"Edit") && (GetWindowLongPtrW(focus, GWL_STYLE) & ES_MULTILINE)) {
    // The read-only memos (licence, summary) keep Enter for themselves: it means Next there too.
    pressed = btnNext_;
  }
  if (!pressed || !IsWindowVisible(pressed) || !IsWindowEnabled(pressed)) return false;
  SendMessageW(window_, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(pressed), BN_CLICKED), reinterpret_cast<LPARAM>(pressed));
  return true;
}

LRESULT TfmInstDlg::HandleNotify(const NMHDR& header) {
  if (header.hwndFrom != componentTree_) return 0;
  switch (header.code) {
    case TVN_GETDISPINFOW: {
      auto& info = const_cast<NMTVDISPINFOW&>(reinterpret_cast<const NMTVDISPINFOW&>(header));
      if (info.item.mask & (TVIF_IMAGE | TVIF_SELECTEDIMAGE)) {
        // ComponentTreeGetSelectedIndex: the focused item keeps its picture.
        info.item.iImage = info.item.iSelectedImage = ComponentTreeGetImageIndex(info.item.hItem);
      }
      return 0;
    }
    case TVN_SELCHANGEDW:
      ComponentTreeChange(reinterpret_cast<const NMTREEVIEWW&>(header).itemNew.hItem);
      return 0;
    case TVN_KEYDOWN:
      if (reinterpret_cast<const NMTVKEYDOWN&>(header).wVKey == VK_SPACE) {
        auto item = reinterpret_cast<HTREEITEM>(SendMessageW(componentTree_, TVM_GETNEXTITEM, TVGN_CARET, 0));
        if (item) ToggleItem(item);
        return 1;  // no incremental search on the blank
      }
      return 0;
    default:
      return 0;
  }
}

bool TfmInstDlg::HandleCommand(WPARAM wParam, LPARAM) {
  const int id = LOWORD(wParam), code = HIWORD(wParam);
  switch (id) {
    case idBtnNext: if (code == BN_CLICKED) BtnNextClick(); return true;
    case idBtnPrev: if (code == BN_CLICKED) BtnPrevClick(); return true;
    case idBtnExit: if (code == BN_CLICKED) BtnExitClick(); return true;
    case IDCANCEL: BtnExitClick(); return true;  // Esc, as the dialog keys send it
    case idBtnSelDir: if (code == BN_CLICKED) BtnSelDirClick(); return true;
    case idTypeFull:
    case idTypeCustom: if (code == BN_CLICKED) TypeInstRadioGroupClick(); return true;
    case idActAddDelete:
    case idActUninstall: if (code == BN_CLICKED) ActRadioGroupClick(); return true;
    case idCheckBox1:
      if (code == BN_CLICKED) model_.DefaultLevel = SendMessageW(checkBox1_, BM_GETCHECK, 0, 0) == BST_CHECKED;
      return true;
    case idEditSelDir:
      if (code == EN_CHANGE && !filling_) model_.DirectoryText = TextOf(editSelDir_);
      if (code == EN_KILLFOCUS) EditSelDirExit();
      return true;
    case idEdFolder: if (code == EN_CHANGE) edFolderChange(); return true;
    case idFoldersListBox: if (code == LBN_SELCHANGE) FoldersListBoxClick(); return true;
    case idLabel12: if (code == STN_CLICKED) Label12Click(); return true;
    default: return false;
  }
}

LRESULT TfmInstDlg::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (HandleCommand(wParam, lParam)) return 0;
      break;
    case WM_NOTIFY:
      return HandleNotify(*reinterpret_cast<const NMHDR*>(lParam));
    case DM_GETDEFID:
      return MAKELRESULT(idBtnNext, DC_HASDEFID);
    case WM_NEXTDLGCTL: {
      // The dialog keys move the focus with this message, which only a dialog box would
      // handle: the arrows within a group of choices (an automatic choice takes the focus and
      // is chosen), the letters of the group boxes.
      HWND next = LOWORD(lParam) ? reinterpret_cast<HWND>(wParam)
                                 : GetNextDlgTabItem(window, GetFocus(), wParam != 0);
      if (next && IsChild(window, next)) SetFocus(next);
      return 0;
    }
    case WM_CTLCOLORSTATIC: {
      const auto control = reinterpret_cast<HWND>(lParam);
      if (control == label9_ || control == label10_ || control == label11_ || control == label12_) {
        // The company's labels lie on the picture: blue text with a white shadow.
        const auto dc = reinterpret_cast<HDC>(wParam);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, control == label9_ || control == label12_ ? RGB(0, 0, 255) : RGB(255, 255, 255));
        return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
      }
      break;
    }
    case WM_SETCURSOR:
      if (reinterpret_cast<HWND>(wParam) == label12_) {
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
      }
      break;
    case WM_CLOSE:
      Close();
      return 0;
    case WM_DPICHANGED:
      DpiChanged(wParam, lParam);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}
