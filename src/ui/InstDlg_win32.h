// TfmInstDlg, the installation wizard's window: the side picture with the company's name and
// address, a notebook of seven pages and the Back / Next / Exit buttons. Everything the pages
// decide lives in the window-free TWizardModel; the form shows the model's state and hands
// it what the person types and clicks.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <string>

#include "description/TreeInterfaces.h"
#include "ui/Dpi_win32.h"
#include "ui/Image_win32.h"
#include "ui/InstProc_win32.h"
#include "ui/WizardModel_win32.h"

class TfmInstDlg {
 public:
  TfmInstDlg();
  ~TfmInstDlg();  // FormDestroy
  TfmInstDlg(const TfmInstDlg&) = delete;
  TfmInstDlg& operator=(const TfmInstDlg&) = delete;

  // Creates the window, hidden, and runs FormCreate (which, in a continuation run, starts
  // the engine and leaves the wizard hidden for good).
  void Create();
  // Shows the wizard with BtnNext focused (the background window's start timer calls it).
  void Show();
  // Closes the wizard once: FormClose.
  void Close();
  bool Closed() const { return closed_; }

  TWizardModel& Model() { return model_; }

  // The handlers (names of the form).
  void FormCreate();
  void FormClose();
  void BtnNextClick();
  void BtnPrevClick();
  void BtnExitClick();
  void TypeInstRadioGroupClick();
  void ActRadioGroupClick();
  void EditSelDirExit();
  void BtnSelDirClick();
  void FoldersListBoxClick();
  void edFolderChange();
  void Label12Click();
  // How Label12Click hands the company's address to the shell (its "open" verb, with the show
  // command given); a test replaces it.
  std::function<void(HWND owner, const std::string& address, int show)> OpenAddress;
  void ComponentTreeMouseDown(POINT at);
  void ComponentTreeChange(HTREEITEM item);
  int ComponentTreeGetImageIndex(HTREEITEM item) const;

  // The keys that mean the same wherever the focus is (Esc = Exit, Enter on a focused push
  // button presses it, Enter in a memo = Next); the message loop asks before the dialog keys.
  bool TranslateKey(const MSG& message);

  // The components, for the tests.
  HWND Handle() const { return window_; }
  HWND BtnPrev() const { return btnPrev_; }
  HWND BtnNext() const { return btnNext_; }
  HWND BtnExit() const { return btnExit_; }
  HWND Page(TWizardPage page) const { return pages_[page]; }
  HWND Label1() const { return label1_; }
  HWND Label8() const { return label8_; }
  HWND Label9() const { return label9_; }
  HWND Label12() const { return label12_; }
  HWND Label14() const { return label14_; }
  HWND Label15() const { return label15_; }
  HWND LicenseMemo() const { return licenseMemo_; }
  HWND TypeInstRadio(int index) const { return typeRadio_[index]; }
  HWND CheckBox1() const { return checkBox1_; }
  HWND EditSelDir() const { return editSelDir_; }
  HWND BtnSelDir() const { return btnSelDir_; }
  HWND ComponentTree() const { return componentTree_; }
  HWND DescrMemo() const { return descrMemo_; }
  HWND GroupBox2() const { return groupBox2_; }
  UINT Dpi() const { return dpi_; }
  HWND edFolder() const { return edFolder_; }
  HWND FoldersListBox() const { return foldersListBox_; }
  HWND ActRadio(int index) const { return actRadio_[index]; }
  HWND UninstallLabel() const { return uninstallLabel_; }
  HWND LastMemo() const { return lastMemo_; }
  const TImage& Image() const { return image_; }

  // For the window procedure (ui::MemberWindowProc).
  static constexpr const char* kWindowName = "TfmInstDlg";
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // The tree view's own mouse and keys (a subclass of the control).
  static LRESULT CALLBACK TreeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                   DWORD_PTR self);

 private:
  // The real tree view as the subsystem tree fills it.
  class TTreeViewItems : public ITreeViewItems {
   public:
    explicit TTreeViewItems(TfmInstDlg& form) : form_(form) {}
    Item AddChildItem(Item parent, const std::string& text, TSysNode* node) override;
    void BeginUpdate() override;
    void EndUpdate() override;

   private:
    TfmInstDlg& form_;
    int depth_ = 0;
  };

  void CreateControls();
  // Layout at the DPI (InstDlgLayout_win32.cpp): the fonts, the move to a monitor of another
  // DPI, and the texts that must fit their controls.
  void CreateFonts();
  void DpiChanged(WPARAM wParam, LPARAM lParam);
  void FitDescriptionBox();
  std::wstring FittedSystemName(HWND label, const std::string& text) const;
  void CreateImageList();
  void ApplyEnglishTexts();
  void StepShown(int step);
  void SizesChanged();
  void ShowPage(TWizardPage page);
  void ClearTree();
  void ToggleItem(HTREEITEM item);
  bool HandleCommand(WPARAM wParam, LPARAM lParam);
  LRESULT HandleNotify(const NMHDR& header);
  void Destroy();

  TWizardModel model_;
  TTreeViewItems treeItems_;
  TfmInstProc progress_;
  TImage image_;

  HWND window_ = nullptr;
  HWND imgPanel_ = nullptr, nbScreens_ = nullptr, btnPanel_ = nullptr, bevel_ = nullptr;
  HWND pages_[pgNone] = {};
  HWND btnPrev_ = nullptr, btnNext_ = nullptr, btnExit_ = nullptr;
  HWND label1_ = nullptr, label2_ = nullptr, label3_ = nullptr;
  HWND label9_ = nullptr, label10_ = nullptr, label11_ = nullptr, label12_ = nullptr;
  HWND licenseMemo_ = nullptr;
  HWND typeGroup_ = nullptr, typeRadio_[2] = {}, checkBox1_ = nullptr;
  HWND groupBox1_ = nullptr, memo1_ = nullptr, editSelDir_ = nullptr, btnSelDir_ = nullptr;
  HWND label5_ = nullptr, componentTree_ = nullptr, label4_ = nullptr, label13_ = nullptr;
  HWND label14_ = nullptr, label15_ = nullptr, groupBox2_ = nullptr, descrMemo_ = nullptr;
  HWND label6_ = nullptr, edFolder_ = nullptr, label7_ = nullptr, foldersListBox_ = nullptr;
  HWND actGroup_ = nullptr, actRadio_[2] = {}, uninstallLabel_ = nullptr;
  HWND label8_ = nullptr, lastMemo_ = nullptr;
  HIMAGELIST imageList_ = nullptr;
  HFONT font_ = nullptr, bigFont_ = nullptr, boldFont_ = nullptr, memoFont_ = nullptr;
  UINT dpi_ = 96;
  ui::TDpiLayout layout_;       // every control at its 96-DPI rectangle
  std::wstring descrCaption_;   // GroupBox2's caption before it was fitted
  bool closed_ = false;
  bool filling_ = false;  // the form sets texts itself: its change handlers stay out
};
