// The windows moved to a monitor of another DPI: WM_DPICHANGED, as the system sends it, makes
// the wizard, the directory dialog and the duplicate-file form take the suggested rectangle and
// lay their controls out again at the new DPI with fonts made for it.
#include <windows.h>

#include <gtest/gtest.h>

#include "common/testsupport.h"
#include "ui/Dpi_win32.h"
#include "ui/Search_win32.h"
#include "ui/SelDir_win32.h"
#include "ui/TextFit_win32.h"
#include "ui/ui_wizard_support_win32.h"

namespace {

using namespace wizardtest;

constexpr UINT kNewDpi = 144;  // 150 per cent

// A control's rectangle in its parent's client coordinates.
RECT PlaceOf(HWND control) {
  RECT r{};
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// The rectangle a control designed at `design` (96 DPI) takes at `dpi`.
RECT Scaled(const RECT& design, UINT dpi) {
  return {ui::Scale(design.left, dpi), ui::Scale(design.top, dpi), ui::Scale(design.right, dpi),
          ui::Scale(design.bottom, dpi)};
}

void ExpectPlace(HWND control, const RECT& design, UINT dpi, const char* what) {
  const RECT r = PlaceOf(control), expected = Scaled(design, dpi);
  EXPECT_EQ(r.left, expected.left) << what;
  EXPECT_EQ(r.top, expected.top) << what;
  EXPECT_EQ(r.right, expected.right) << what;
  EXPECT_EQ(r.bottom, expected.bottom) << what;
}

// The height of the font a control draws with.
LONG FontHeight(HWND control) {
  LOGFONTW font{};
  const auto handle = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  if (!handle || !GetObjectW(handle, sizeof(font), &font)) return 0;
  return font.lfHeight < 0 ? -font.lfHeight : font.lfHeight;
}

LONG DialogFontHeight(UINT dpi) {
  HFONT font = ui::CreateDialogFont(dpi);
  LOGFONTW data{};
  GetObjectW(font, sizeof(data), &data);
  DeleteObject(font);
  return data.lfHeight < 0 ? -data.lfHeight : data.lfHeight;
}

// Sends what the system sends when a window's monitor changes: the new DPI and the rectangle
// it suggests (the old one grown around its top left corner). Answers that rectangle.
RECT MoveToDpi(HWND window, UINT fromDpi, UINT toDpi) {
  RECT r{};
  GetWindowRect(window, &r);
  RECT suggested{r.left, r.top, r.left + MulDiv(r.right - r.left, static_cast<int>(toDpi), static_cast<int>(fromDpi)),
                 r.top + MulDiv(r.bottom - r.top, static_cast<int>(toDpi), static_cast<int>(fromDpi))};
  SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(toDpi, toDpi), reinterpret_cast<LPARAM>(&suggested));
  uitest::PumpPending();
  return suggested;
}

void ExpectWindowAt(HWND window, const RECT& suggested) {
  RECT r{};
  GetWindowRect(window, &r);
  EXPECT_EQ(r.left, suggested.left);
  EXPECT_EQ(r.top, suggested.top);
  EXPECT_EQ(r.right, suggested.right);
  EXPECT_EQ(r.bottom, suggested.bottom);
}

class DpiChange : public WizardFixture {};

TEST_F(DpiChange, TheWizardLaysItsPagesOutAgain) {
  DescribeProduct();
  Open();
  const UINT before = form->Dpi();
  ASSERT_NE(before, kNewDpi);
  const LONG buttonFont = FontHeight(form->BtnNext()), labelFont = FontHeight(form->Label1());
  ASSERT_GT(buttonFont, 0);
  const RECT suggested = MoveToDpi(form->Handle(), before, kNewDpi);
  EXPECT_EQ(form->Dpi(), kNewDpi);
  ExpectWindowAt(form->Handle(), suggested);
  // The buttons in their panel, the panel in the form, a page's controls in their page.
  ExpectPlace(form->BtnNext(), {290, 8, 290 + 95, 8 + 25}, kNewDpi, "BtnNext");
  ExpectPlace(form->BtnExit(), {390, 8, 390 + 95, 8 + 25}, kNewDpi, "BtnExit");
  ExpectPlace(GetParent(form->BtnNext()), {0, 270, 490, 311}, kNewDpi, "BtnPanel");
  ExpectPlace(form->Page(pgFirst), {0, 0, 323, 260}, kNewDpi, "pgFirst");
  ExpectPlace(form->Label14(), {140, 210, 140 + 170, 210 + 16}, kNewDpi, "Label14");
  ExpectPlace(form->EditSelDir(), {16, 196, 16 + 200, 196 + 22}, kNewDpi, "EditSelDir");
  ExpectPlace(form->Image().Handle(), {5, 5, 4 + 157 - 1, 4 + 260 - 1}, kNewDpi, "Image");
  // Fonts made for the new DPI, the 10-point labels' among them.
  EXPECT_EQ(FontHeight(form->BtnNext()), DialogFontHeight(kNewDpi));
  EXPECT_EQ(FontHeight(form->Label1()), static_cast<LONG>(MulDiv(10, kNewDpi, 72)));
  EXPECT_GT(FontHeight(form->BtnNext()), buttonFont);
  EXPECT_GT(FontHeight(form->Label1()), labelFont);
  // The description's box is fitted again, at the new size.
  RECT box = PlaceOf(form->GroupBox2());
  EXPECT_EQ(box.right, ui::Scale(319, kNewDpi));
  EXPECT_LE(PlaceOf(form->ComponentTree()).right, box.left);
  // And back.
  MoveToDpi(form->Handle(), kNewDpi, before);
  ExpectPlace(form->BtnNext(), {290, 8, 290 + 95, 8 + 25}, before, "BtnNext");
  EXPECT_EQ(FontHeight(form->BtnNext()), buttonFont);
}

TEST_F(DpiChange, TheWizardStillWorksAfterTheMove) {
  DescribeProduct();
  Open();
  MoveToDpi(form->Handle(), form->Dpi(), kNewDpi);
  Next();
  EXPECT_EQ(form->Model().Step, 2);
  Next();
  EXPECT_EQ(form->Model().Step, 3);
  EXPECT_TRUE(IsWindowVisible(form->EditSelDir()));
}

TEST(DpiChangeForms, TheDirectoryDialogLaysItsListsOutAgain) {
  TDirSelectDlg dialog;
  dialog.Create();
  const UINT before = dialog.Dpi();
  const int itemHeight = dialog.DirectoryListBox1().ItemHeight();
  const RECT suggested = MoveToDpi(dialog.Handle(), before, kNewDpi);
  ExpectWindowAt(dialog.Handle(), suggested);
  ExpectPlace(dialog.DirectoryListBox1().Handle(), {8, 8, 8 + 210, 8 + 154}, kNewDpi, "DirectoryListBox1");
  ExpectPlace(dialog.Button1(), {30, 208, 30 + 75, 208 + 25}, kNewDpi, "Button1");
  ExpectPlace(dialog.Button2(), {120, 208, 120 + 75, 208 + 25}, kNewDpi, "Button2");
  RECT combo = PlaceOf(dialog.DriveComboBox1().Handle());
  EXPECT_EQ(combo.left, ui::Scale(8, kNewDpi));
  EXPECT_EQ(combo.top, ui::Scale(170, kNewDpi));
  EXPECT_EQ(FontHeight(dialog.Button1()), DialogFontHeight(kNewDpi));
  EXPECT_EQ(FontHeight(dialog.DirectoryListBox1().Handle()), DialogFontHeight(kNewDpi));
  EXPECT_GT(dialog.DirectoryListBox1().ItemHeight(), itemHeight);
  EXPECT_EQ(SendMessageW(dialog.DirectoryListBox1().Handle(), LB_GETITEMHEIGHT, 0, 0),
            dialog.DirectoryListBox1().ItemHeight());
  EXPECT_GE(dialog.DriveComboBox1().ItemHeight(), ui::Scale(ui::kPictureHeight, kNewDpi));
}

TEST(DpiChangeForms, TheDuplicateFileFormLaysItsButtonsOutAgain) {
  TSearchForm form;
  form.Create();
  const RECT suggested = MoveToDpi(form.Handle(), form.Dpi(), kNewDpi);
  ExpectWindowAt(form.Handle(), suggested);
  ExpectPlace(form.Memo1(), {8, 8, 8 + 496, 8 + 60}, kNewDpi, "Memo1");
  ExpectPlace(form.CheckBox1(), {8, 74, 8 + 496, 74 + 17}, kNewDpi, "CheckBox1");
  ExpectPlace(form.Button1(), {8, 100, 8 + 180, 100 + 25}, kNewDpi, "Button1");
  ExpectPlace(form.Button2(), {324, 100, 324 + 180, 100 + 25}, kNewDpi, "Button2");
  EXPECT_EQ(FontHeight(form.Button2()), DialogFontHeight(kNewDpi));
  EXPECT_EQ(FontHeight(form.Memo1()), DialogFontHeight(kNewDpi));
}

}  // namespace
