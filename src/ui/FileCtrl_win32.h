// The drive and directory list controls of the directory dialog: TDriveComboBox, a drop-down
// list of the machine's drives, and TDirectoryListBox, the path of the current directory as a
// small tree with the subdirectories below it. Both are owner-drawn standard controls; the
// parent window hands them its WM_COMMAND and WM_DRAWITEM messages. Both work on the process's
// current directory: changing the drive or the directory in them changes it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace ui {

// The drawn pictures of the controls.
enum class Picture { Floppy, Hard, Network, CdRom, Ram, OpenFolder, CurrentFolder, ClosedFolder };
// Picture sizes at 96 DPI.
constexpr int kPictureWidth = 16, kPictureHeight = 16;
void DrawPicture(HDC dc, Picture picture, int x, int y, UINT dpi);

}  // namespace ui

class TDriveComboBox {
 public:
  enum TTextCase { tcLowerCase, tcUpperCase };

  TDriveComboBox() = default;
  TDriveComboBox(const TDriveComboBox&) = delete;
  TDriveComboBox& operator=(const TDriveComboBox&) = delete;

  // Creates the control as a child of `parent` with the font and DPI of the parent.
  void Create(HWND parent, int id, HFONT font, UINT dpi);
  HWND Handle() const { return window_; }
  // The parent moved to a monitor of another DPI: the new font and the item height for it.
  void SetDpi(HFONT font, UINT dpi);

  // The drive letter of the current directory; 0 when it is on a network path.
  static char CurrentDirectoryDrive();

  char Drive() const { return drive_; }
  void SetDrive(char letter);
  TTextCase TextCase() const { return textCase_; }
  void SetTextCase(TTextCase textCase);
  // Fired after Drive changed (by the user or by SetDrive).
  std::function<void()> OnChange;

  // The item texts, in order ("c: [label]", "a:", ...).
  std::vector<std::string> Items() const;
  int ItemHeight() const { return itemHeight_; }

  // From the parent's window procedure; true when the message was the control's.
  bool HandleCommand(WPARAM wParam, LPARAM lParam);
  bool HandleDrawItem(const DRAWITEMSTRUCT& item);

 private:
  void BuildList();

  HWND window_ = nullptr;
  UINT dpi_ = 96;
  char drive_ = 0;
  TTextCase textCase_ = tcLowerCase;
  int itemHeight_ = 0;
};

class TDirectoryListBox {
 public:
  enum class ItemKind { PathElement, Current, Subdirectory };

  TDirectoryListBox() = default;
  ~TDirectoryListBox();
  TDirectoryListBox(const TDirectoryListBox&) = delete;
  TDirectoryListBox& operator=(const TDirectoryListBox&) = delete;

  void Create(HWND parent, int id, HFONT font, UINT dpi);
  HWND Handle() const { return window_; }
  void SetDpi(HFONT font, UINT dpi);

  const std::string& Directory() const { return directory_; }
  // Changes the process's current directory to `path` and shows it; EInOutError when the
  // directory cannot be made current (the list stays as it was).
  void SetDirectory(const std::string& path);
  char Drive() const { return directory_.empty() ? '\0' : directory_[0]; }
  // Makes the drive's own current directory the current one; EInOutError when the drive
  // cannot be read.
  void SetDrive(char letter);
  // Fired after the directory changed.
  std::function<void()> OnChange;

  int Count() const { return static_cast<int>(kinds_.size()); }
  ItemKind Kind(int index) const { return kinds_.at(static_cast<size_t>(index)); }
  std::string ItemText(int index) const;
  // The full path an item stands for.
  std::string ItemPath(int index) const;
  // The left edge of an item's picture at 96 DPI.
  int Indent(int index) const;
  // Opens an item, as a double click or the Enter key does.
  void OpenItem(int index);
  int ItemHeight() const { return itemHeight_; }
  bool CasePreserved() const { return preserveCase_; }
  bool CaseSensitive() const { return caseSensitive_; }

  bool HandleCommand(WPARAM wParam, LPARAM lParam);
  bool HandleDrawItem(const DRAWITEMSTRUCT& item);

 private:
  void ReadCurrentDirectory();
  void BuildList();
  static LRESULT CALLBACK KeyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                  UINT_PTR id, DWORD_PTR data);

  HWND window_ = nullptr;
  UINT dpi_ = 96;
  int itemHeight_ = 0;
  std::string directory_;
  bool preserveCase_ = false;
  bool caseSensitive_ = false;
  std::vector<ItemKind> kinds_;
  std::vector<std::string> texts_;
  std::vector<std::string> paths_;
};
