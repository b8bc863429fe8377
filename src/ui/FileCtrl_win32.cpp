#include "ui/FileCtrl_win32.h"

#include <commctrl.h>
#include <winnetwk.h>

#include <algorithm>
#include <cctype>

#include "common/errors.h"
#include "common/win32.h"
#include "setup/Platform_win32.h"
#include "ui/Dpi_win32.h"
#include "ui/WindowProc_win32.h"

namespace {

// The network provider's library is not one that Windows always maps from its own
// directory, so it is not linked: a copy beside setup.exe would be loaded with the program.
DWORD NetworkConnection(const wchar_t* local, wchar_t* remote, DWORD* length) {
  using GetConnection = DWORD(WINAPI*)(LPCWSTR, LPWSTR, LPDWORD);
  static const GetConnection get = [] {
    HMODULE mpr = LoadSystemLibrary(L"mpr.dll");
    return mpr ? reinterpret_cast<GetConnection>(
                     reinterpret_cast<void*>(GetProcAddress(mpr, "WNetGetConnectionW")))
               : nullptr;
  }();
  return get ? get(local, remote, length) : ERROR_NOT_CONNECTED;
}

}  // namespace

namespace ui {

namespace {

// A picture is drawn on a 16 x 16 grid and scaled; `At` maps a grid point to the device.
struct Grid {
  int x, y;
  UINT dpi;
  int X(int gx) const { return x + Scale(gx, dpi); }
  int Y(int gy) const { return y + Scale(gy, dpi); }
};

void Box(HDC dc, const Grid& g, int l, int t, int r, int b, COLORREF fill, COLORREF edge) {
  HBRUSH brush = CreateSolidBrush(fill);
  HPEN pen = CreatePen(PS_SOLID, 1, edge);
  HGDIOBJ oldBrush = SelectObject(dc, brush), oldPen = SelectObject(dc, pen);
  Rectangle(dc, g.X(l), g.Y(t), g.X(r), g.Y(b));
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  DeleteObject(brush);
  DeleteObject(pen);
}

void Shape(HDC dc, const Grid& g, std::initializer_list<POINT> grid, COLORREF fill, COLORREF edge) {
  std::vector<POINT> points;
  for (POINT p : grid) points.push_back(POINT{g.X(p.x), g.Y(p.y)});
  HBRUSH brush = CreateSolidBrush(fill);
  HPEN pen = CreatePen(PS_SOLID, 1, edge);
  HGDIOBJ oldBrush = SelectObject(dc, brush), oldPen = SelectObject(dc, pen);
  Polygon(dc, points.data(), static_cast<int>(points.size()));
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  DeleteObject(brush);
  DeleteObject(pen);
}

void Disc(HDC dc, const Grid& g, int l, int t, int r, int b, COLORREF fill, COLORREF edge) {
  HBRUSH brush = CreateSolidBrush(fill);
  HPEN pen = CreatePen(PS_SOLID, 1, edge);
  HGDIOBJ oldBrush = SelectObject(dc, brush), oldPen = SelectObject(dc, pen);
  Ellipse(dc, g.X(l), g.Y(t), g.X(r), g.Y(b));
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  DeleteObject(brush);
  DeleteObject(pen);
}

constexpr COLORREF kBlack = RGB(0, 0, 0), kWhite = RGB(255, 255, 255), kGrey = RGB(192, 192, 192),
                   kDark = RGB(96, 96, 96), kFolder = RGB(240, 200, 80), kFolderEdge = RGB(150, 110, 20);

void Folder(HDC dc, const Grid& g, bool open, COLORREF body) {
  // The back with its tab, then (open) the front leaning back.
  Shape(dc, g, {{1, 3}, {6, 3}, {7, 5}, {14, 5}, {14, 14}, {1, 14}}, body, kFolderEdge);
  if (open) {
    Shape(dc, g, {{3, 8}, {16, 8}, {14, 14}, {1, 14}}, RGB(255, 230, 140), kFolderEdge);
  }
}

}  // namespace

void DrawPicture(HDC dc, Picture picture, int x, int y, UINT dpi) {
  const Grid g{x, y, dpi};
  switch (picture) {
    case Picture::Floppy:
      Box(dc, g, 1, 1, 15, 15, RGB(40, 60, 140), kBlack);
      Box(dc, g, 4, 1, 12, 6, kGrey, kBlack);
      Box(dc, g, 3, 9, 13, 15, kWhite, kBlack);
      break;
    case Picture::Hard:
      Box(dc, g, 1, 5, 15, 12, kGrey, kDark);
      Box(dc, g, 11, 8, 13, 10, RGB(0, 200, 0), RGB(0, 120, 0));
      break;
    case Picture::Network:
      Box(dc, g, 1, 2, 15, 9, kGrey, kDark);
      Box(dc, g, 7, 9, 9, 13, kDark, kDark);
      Box(dc, g, 2, 13, 14, 15, kDark, kDark);
      break;
    case Picture::CdRom:
      Disc(dc, g, 1, 1, 15, 15, RGB(220, 220, 235), kDark);
      Disc(dc, g, 6, 6, 10, 10, kWhite, kDark);
      break;
    case Picture::Ram:
      Box(dc, g, 2, 4, 14, 12, RGB(0, 128, 64), RGB(0, 80, 40));
      for (int leg = 3; leg < 14; leg += 3) {
        Box(dc, g, leg, 12, leg + 1, 15, kDark, kDark);
      }
      break;
    case Picture::OpenFolder:
      Folder(dc, g, true, kFolder);
      break;
    case Picture::CurrentFolder:
      Folder(dc, g, true, RGB(90, 150, 230));
      break;
    case Picture::ClosedFolder:
      Folder(dc, g, false, kFolder);
      break;
  }
}

}  // namespace ui

namespace {

std::string CurrentDirectory() {
  const DWORD length = GetCurrentDirectoryW(0, nullptr);
  std::wstring buffer(length + 1, L'\0');
  buffer.resize(GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data()));
  return win32::Narrow(buffer);
}

std::wstring ChangeCase(std::wstring text, bool upper) {
  if (!text.empty()) {
    if (upper) {
      CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    } else {
      CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    }
  }
  return text;
}

char ChangeCase(char letter, bool upper) {
  const auto c = static_cast<unsigned char>(letter);
  return static_cast<char>(upper ? std::toupper(c) : std::tolower(c));
}

bool SameLetter(char a, char b) { return ChangeCase(a, true) == ChangeCase(b, true); }

// The volume label of a root, bracketed; empty brackets when the volume cannot be read
// (an empty floppy or CD drive must not bring up the system's "insert a disk" box).
std::wstring VolumeText(const std::wstring& root, bool upper) {
  wchar_t label[MAX_PATH + 1] = {};
  const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS);
  if (!GetVolumeInformationW(root.c_str(), label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr,
                             0)) {
    label[0] = L'\0';
  }
  SetErrorMode(oldMode);
  return L"[" + ChangeCase(label, upper) + L"]";
}

std::string ItemString(HWND window, UINT lengthMessage, UINT textMessage, WPARAM index) {
  const LRESULT length = SendMessageW(window, lengthMessage, index, 0);
  if (length < 0) return {};
  std::wstring buffer(static_cast<size_t>(length) + 1, L'\0');
  const LRESULT got = SendMessageW(window, textMessage, index, reinterpret_cast<LPARAM>(buffer.data()));
  buffer.resize(got < 0 ? 0 : static_cast<size_t>(got));
  return win32::Narrow(buffer);
}

int FontHeight(HWND window, HFONT font) {
  HDC dc = GetDC(window);
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(window, dc);
  return metrics.tmHeight;
}

HWND CreateControl(const wchar_t* className, DWORD style, HWND parent, int id, HFONT font) {
  HWND window = CreateWindowExW(WS_EX_CLIENTEDGE, className, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | style,
                                0, 0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                GetModuleHandleW(nullptr), nullptr);
  if (!window) throw Exception("Cannot create a file list control: " + win32::ErrorText(GetLastError()));
  SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return window;
}

// Fills an owner-drawn item and answers the text colour to use.
void FillItem(const DRAWITEMSTRUCT& item) {
  const bool selected = (item.itemState & ODS_SELECTED) != 0;
  FillRect(item.hDC, &item.rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  SetTextColor(item.hDC, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  SetBkMode(item.hDC, TRANSPARENT);
}

void DrawItemText(const DRAWITEMSTRUCT& item, int left, const std::wstring& text) {
  RECT r = item.rcItem;
  r.left = left;
  DrawTextW(item.hDC, text.c_str(), static_cast<int>(text.size()), &r,
            DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
}

// Whether the person can open a subdirectory. The system's own hidden folders (System Volume
// Information, $Recycle.Bin, the old profile junctions) and folders whose listing is refused
// would only answer "access denied": they are not offered.
bool Openable(DWORD attributes, const std::string& path) {
  constexpr DWORD kHiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  if ((attributes & kHiddenSystem) == kHiddenSystem) return false;
  // Opened for listing only, which reads nothing; other failures (a folder in use) are left
  // to the moment the person opens it.
  HANDLE folder = CreateFileW(win32::LongPath(path).c_str(), FILE_LIST_DIRECTORY,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return GetLastError() != ERROR_ACCESS_DENIED;
  CloseHandle(folder);
  return true;
}

}  // namespace

// TDriveComboBox

char TDriveComboBox::CurrentDirectoryDrive() {
  const std::string directory = CurrentDirectory();
  if (directory.empty() || directory[0] == '\\') return '\0';
  return directory[0];
}

void TDriveComboBox::Create(HWND parent, int id, HFONT font, UINT dpi) {
  dpi_ = dpi;
  window_ = CreateControl(L"COMBOBOX",
                          CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS | WS_VSCROLL, parent,
                          id, font);
  itemHeight_ = std::max(FontHeight(window_, font), ui::Scale(ui::kPictureHeight, dpi));
  SendMessageW(window_, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), itemHeight_);
  SendMessageW(window_, CB_SETITEMHEIGHT, 0, itemHeight_);
  drive_ = CurrentDirectoryDrive();
  if (drive_) drive_ = ChangeCase(drive_, textCase_ == tcUpperCase);
  BuildList();
}

void TDriveComboBox::SetDpi(HFONT font, UINT dpi) {
  dpi_ = dpi;
  SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  itemHeight_ = std::max(FontHeight(window_, font), ui::Scale(ui::kPictureHeight, dpi));
  SendMessageW(window_, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), itemHeight_);
  SendMessageW(window_, CB_SETITEMHEIGHT, 0, itemHeight_);
  InvalidateRect(window_, nullptr, TRUE);
}

void TDriveComboBox::SetTextCase(TTextCase textCase) {
  if (textCase == textCase_) return;
  textCase_ = textCase;
  if (drive_) drive_ = ChangeCase(drive_, textCase_ == tcUpperCase);
  if (window_) BuildList();
}

void TDriveComboBox::BuildList() {
  SendMessageW(window_, CB_RESETCONTENT, 0, 0);
  const bool upper = textCase_ == tcUpperCase;
  const DWORD drives = GetLogicalDrives();
  for (int n = 0; n < 26; ++n) {
    if (!(drives & (1u << n))) continue;
    const wchar_t letter = static_cast<wchar_t>((upper ? L'A' : L'a') + n);
    const std::wstring root = std::wstring(1, letter) + L":\\";
    std::wstring text;
    ui::Picture picture;
    switch (GetDriveTypeW(root.c_str())) {
      case DRIVE_REMOVABLE:
        picture = ui::Picture::Floppy;
        text = std::wstring(1, letter) + L":";
        break;
      case DRIVE_FIXED:
        picture = ui::Picture::Hard;
        break;
      case DRIVE_CDROM:
        picture = ui::Picture::CdRom;
        break;
      case DRIVE_RAMDISK:
        picture = ui::Picture::Ram;
        break;
      case DRIVE_REMOTE: {
        picture = ui::Picture::Network;
        const std::wstring local = std::wstring(1, letter) + L":";
        wchar_t remote[MAX_PATH + 1] = {};
        DWORD length = MAX_PATH + 1;
        if (NetworkConnection(local.c_str(), remote, &length) == NO_ERROR) {
          text = local + L" " + ChangeCase(remote, upper);
        }
        break;
      }
      default:
        continue;
    }
    if (text.empty()) text = std::wstring(1, letter) + L": " + VolumeText(root, upper);
    const LRESULT index = SendMessageW(window_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (index >= 0) SendMessageW(window_, CB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(picture));
  }
  // Show the current drive again.
  const char drive = drive_;
  drive_ = 0;
  const auto onChange = std::move(OnChange);
  OnChange = nullptr;
  SetDrive(drive);
  OnChange = onChange;
}

std::vector<std::string> TDriveComboBox::Items() const {
  std::vector<std::string> items;
  const LRESULT count = SendMessageW(window_, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    items.push_back(ItemString(window_, CB_GETLBTEXTLEN, CB_GETLBTEXT, static_cast<WPARAM>(i)));
  }
  return items;
}

void TDriveComboBox::SetDrive(char letter) {
  const bool selected = SendMessageW(window_, CB_GETCURSEL, 0, 0) >= 0;
  if (selected && SameLetter(letter, drive_)) return;
  drive_ = letter ? ChangeCase(letter, textCase_ == tcUpperCase) : '\0';
  int found = -1;
  if (drive_) {
    const std::vector<std::string> items = Items();
    for (size_t i = 0; i < items.size(); ++i) {
      if (items[i].size() >= 2 && SameLetter(items[i][0], drive_) && items[i][1] == ':') {
        found = static_cast<int>(i);
        break;
      }
    }
  }
  SendMessageW(window_, CB_SETCURSEL, static_cast<WPARAM>(found), 0);
  if (OnChange) OnChange();
}

bool TDriveComboBox::HandleCommand(WPARAM wParam, LPARAM lParam) {
  if (!window_ || reinterpret_cast<HWND>(lParam) != window_) return false;
  if (HIWORD(wParam) == CBN_SELCHANGE) {
    const LRESULT index = SendMessageW(window_, CB_GETCURSEL, 0, 0);
    if (index >= 0) {
      const std::string text = ItemString(window_, CB_GETLBTEXTLEN, CB_GETLBTEXT, static_cast<WPARAM>(index));
      if (!text.empty()) {
        // The selection has moved already; compare with the drive we had.
        const char letter = text[0];
        if (!SameLetter(letter, drive_)) {
          drive_ = ChangeCase(letter, textCase_ == tcUpperCase);
          if (OnChange) OnChange();
        }
      }
    }
  }
  return true;
}

bool TDriveComboBox::HandleDrawItem(const DRAWITEMSTRUCT& item) {
  if (item.hwndItem != window_) return false;
  FillItem(item);
  if (item.itemID == static_cast<UINT>(-1)) return true;
  const auto picture = static_cast<ui::Picture>(item.itemData);
  const int left = item.rcItem.left + ui::Scale(2, dpi_);
  const int top = item.rcItem.top + (item.rcItem.bottom - item.rcItem.top - ui::Scale(ui::kPictureHeight, dpi_)) / 2;
  ui::DrawPicture(item.hDC, picture, left, top, dpi_);
  const std::string text = ItemString(window_, CB_GETLBTEXTLEN, CB_GETLBTEXT, item.itemID);
  DrawItemText(item, left + ui::Scale(ui::kPictureWidth + 4, dpi_), win32::Wide(text));
  if (item.itemState & ODS_FOCUS) DrawFocusRect(item.hDC, &item.rcItem);
  return true;
}

// TDirectoryListBox

TDirectoryListBox::~TDirectoryListBox() {
  if (window_ && IsWindow(window_)) RemoveWindowSubclass(window_, KeyProc, 1);
}

void TDirectoryListBox::Create(HWND parent, int id, HFONT font, UINT dpi) {
  dpi_ = dpi;
  window_ = CreateControl(L"LISTBOX",
                          LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT |
                              WS_VSCROLL,
                          parent, id, font);
  SetWindowSubclass(window_, KeyProc, 1, reinterpret_cast<DWORD_PTR>(this));
  itemHeight_ = std::max(FontHeight(window_, font), ui::Scale(ui::kPictureHeight, dpi) + 1);
  SendMessageW(window_, LB_SETITEMHEIGHT, 0, itemHeight_);
  ReadCurrentDirectory();
  BuildList();
}

void TDirectoryListBox::SetDpi(HFONT font, UINT dpi) {
  dpi_ = dpi;
  SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  itemHeight_ = std::max(FontHeight(window_, font), ui::Scale(ui::kPictureHeight, dpi) + 1);
  SendMessageW(window_, LB_SETITEMHEIGHT, 0, itemHeight_);
  InvalidateRect(window_, nullptr, TRUE);
}

void TDirectoryListBox::ReadCurrentDirectory() { directory_ = CurrentDirectory(); }

std::string TDirectoryListBox::ItemText(int index) const { return texts_.at(static_cast<size_t>(index)); }
std::string TDirectoryListBox::ItemPath(int index) const { return paths_.at(static_cast<size_t>(index)); }

int TDirectoryListBox::Indent(int index) const {
  if (Kind(index) == ItemKind::Subdirectory) {
    return static_cast<int>(std::count(directory_.begin(), directory_.end(), '\\')) * 4 + 6;
  }
  return index * 4 + 2;
}

void TDirectoryListBox::BuildList() {
  kinds_.clear();
  texts_.clear();
  paths_.clear();
  auto add = [this](ItemKind kind, const std::string& text, const std::string& path) {
    kinds_.push_back(kind);
    texts_.push_back(text);
    paths_.push_back(path);
  };
  const bool network = directory_.size() > 1 && directory_[1] == '\\';
  // The drive part: "c:" or "\\server\share".
  std::string drivePart = directory_.substr(0, std::min<size_t>(2, directory_.size()));
  if (network) {
    size_t end = directory_.find('\\', 2);
    if (end != std::string::npos) end = directory_.find('\\', end + 1);
    drivePart = directory_.substr(0, end);
  }
  const std::wstring root = win32::Wide(drivePart + "\\");
  DWORD flags = 0;
  const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS);
  if (!GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)) flags = 0;
  SetErrorMode(oldMode);
  preserveCase_ = (flags & FILE_CASE_PRESERVED_NAMES) != 0;
  caseSensitive_ = (flags & FILE_CASE_SENSITIVE_SEARCH) != 0;

  std::string rest = directory_;
  std::string path;
  if (network) {
    path = drivePart + "\\";
    add(ItemKind::PathElement, path, path);
    rest = directory_.size() > path.size() ? directory_.substr(path.size()) : std::string();
  }
  if (!rest.empty() && rest.back() != '\\') {
    size_t start = 0;
    for (;;) {
      const size_t end = rest.find('\\', start);
      if (end == std::string::npos) {
        path += rest.substr(start);
        add(ItemKind::Current, rest.substr(start), path);
        break;
      }
      std::string element = rest.substr(start, end - start);
      // The drive keeps its separator so that it reads like c:\.
      if (start == 0 && !network) element += '\\';
      path += rest.substr(start, end - start + 1);
      const std::string elementPath = (path.size() > 3 && path.back() == '\\') ? path.substr(0, path.size() - 1) : path;
      add(ItemKind::PathElement, element, elementPath);
      start = end + 1;
    }
  } else if (!rest.empty()) {
    add(ItemKind::Current, rest, directory_);  // a root such as c:\ .
  } else if (!kinds_.empty()) {
    kinds_.back() = ItemKind::Current;  // the root of a share
  }

  std::vector<std::wstring> names;
  const std::string base = directory_.back() == '\\' ? directory_ : directory_ + "\\";
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileExW(win32::LongPath(base + "*").c_str(), FindExInfoBasic, &found,
                                   FindExSearchLimitToDirectories, nullptr, 0);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
      if (!wcscmp(found.cFileName, L".") || !wcscmp(found.cFileName, L"..")) continue;
      if (!Openable(found.dwFileAttributes, base + win32::Narrow(found.cFileName))) continue;
      names.emplace_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_LESS_THAN;
  });
  for (const std::wstring& name : names) {
    const std::string text = win32::Narrow(name);
    add(ItemKind::Subdirectory, text, base + text);
  }

  if (!window_) return;
  SendMessageW(window_, WM_SETREDRAW, FALSE, 0);
  SendMessageW(window_, LB_RESETCONTENT, 0, 0);
  int current = -1;
  for (size_t i = 0; i < texts_.size(); ++i) {
    SendMessageW(window_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(win32::Wide(texts_[i]).c_str()));
    if (kinds_[i] == ItemKind::Current) current = static_cast<int>(i);
  }
  SendMessageW(window_, LB_SETCURSEL, static_cast<WPARAM>(current), 0);
  SendMessageW(window_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(window_, nullptr, TRUE);
}

void TDirectoryListBox::SetDirectory(const std::string& path) {
  if (path.empty()) return;
  const bool same = caseSensitive_ ? path == directory_
                                   : CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, win32::Wide(path).c_str(), -1,
                                                    win32::Wide(directory_).c_str(), -1) == CSTR_EQUAL;
  if (same) return;
  // A drive given alone ("d:") makes that drive's own current directory the current one.
  const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS);
  const BOOL changed = SetCurrentDirectoryW(win32::Wide(path).c_str());
  const DWORD error = GetLastError();
  SetErrorMode(oldMode);
  if (!changed) throw EInOutError("Cannot change to " + path + ": " + win32::ErrorText(error));
  ReadCurrentDirectory();
  BuildList();
  if (OnChange) OnChange();
}

void TDirectoryListBox::SetDrive(char letter) {
  if (!letter || SameLetter(letter, Drive())) return;
  SetDirectory(std::string(1, letter) + ":");
}

void TDirectoryListBox::OpenItem(int index) {
  if (index < 0 || index >= Count()) return;
  SetDirectory(ItemPath(index));
}

bool TDirectoryListBox::HandleCommand(WPARAM wParam, LPARAM lParam) {
  if (!window_ || reinterpret_cast<HWND>(lParam) != window_) return false;
  if (HIWORD(wParam) == LBN_DBLCLK) {
    OpenItem(static_cast<int>(SendMessageW(window_, LB_GETCURSEL, 0, 0)));
  }
  return true;
}

bool TDirectoryListBox::HandleDrawItem(const DRAWITEMSTRUCT& item) {
  if (item.hwndItem != window_) return false;
  FillItem(item);
  const int index = static_cast<int>(item.itemID);
  if (index < 0 || index >= Count()) return true;
  static constexpr ui::Picture kPictures[] = {ui::Picture::OpenFolder, ui::Picture::CurrentFolder,
                                              ui::Picture::ClosedFolder};
  const int left = item.rcItem.left + ui::Scale(Indent(index), dpi_);
  const int top = item.rcItem.top + (item.rcItem.bottom - item.rcItem.top - ui::Scale(ui::kPictureHeight, dpi_)) / 2;
  ui::DrawPicture(item.hDC, kPictures[static_cast<int>(Kind(index))], left, top, dpi_);
  std::wstring text = win32::Wide(ItemText(index));
  if (!preserveCase_ && !caseSensitive_) text = ChangeCase(text, false);
  DrawItemText(item, left + ui::Scale(ui::kPictureWidth + 4, dpi_), text);
  if (item.itemState & ODS_FOCUS) DrawFocusRect(item.hDC, &item.rcItem);
  return true;
}

LRESULT CALLBACK TDirectoryListBox::KeyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                            UINT_PTR id, DWORD_PTR data) {
  auto* self = reinterpret_cast<TDirectoryListBox*>(data);
  return ui::GuardedCall<LRESULT>("TDirectoryListBox", 0, [&]() -> LRESULT {
    switch (message) {
      case WM_GETDLGCODE:
        // Enter opens the item instead of pressing the dialog's default button.
        if (lParam && reinterpret_cast<const MSG*>(lParam)->message == WM_KEYDOWN &&
            reinterpret_cast<const MSG*>(lParam)->wParam == VK_RETURN) {
          return DLGC_WANTALLKEYS | DefSubclassProc(window, message, wParam, lParam);
        }
        break;
      case WM_KEYDOWN:
        if (wParam == VK_RETURN) {
          self->OpenItem(static_cast<int>(SendMessageW(window, LB_GETCURSEL, 0, 0)));
          return 0;
        }
        break;
      case WM_NCDESTROY:
        RemoveWindowSubclass(window, KeyProc, id);
        break;
      default:
        break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
  });
}
