// The wizard's layout at the monitor's DPI: its fonts, its move to a monitor of another DPI,
// and the texts that must fit their controls (the system's name, the description's caption).
#include "common/win32.h"
#include "setup/SetupGlobals.h"
#include "ui/InstDlg_win32.h"
#include "ui/TextFit_win32.h"

namespace {

HFONT ResizedFont(HFONT base, int points, bool bold, UINT dpi) {
  LOGFONTW font{};
  GetObjectW(base, sizeof(font), &font);
  font.lfHeight = -MulDiv(points, static_cast<int>(dpi), 72);
  if (bold) font.lfWeight = FW_BOLD;
  return CreateFontIndirectW(&font);
}

// The subsystem page at 96 DPI: the tree on the left, the description's box on the right.
// The box grows to the left as far as its caption needs, while the tree keeps kMinTreeWidth.
constexpr int kTreeLeft = 8, kGap = 6, kBoxRight = 319, kBoxTop = 16, kBoxHeight = 184;
constexpr int kMinBoxWidth = 115, kMinTreeWidth = 128;
constexpr int kMemoInset = 6, kMemoTop = 34, kMemoHeight = 160;
// What a group box's frame takes beside its caption: the indent before it and the line after.
constexpr int kCaptionMargin = 18;

}  // namespace

void TfmInstDlg::CreateFonts() {
  font_ = ui::CreateDialogFont(dpi_);
  bigFont_ = ResizedFont(font_, 10, false, dpi_);
  boldFont_ = ResizedFont(font_, 10, true, dpi_);
  LOGFONTW memo{};
  memo.lfHeight = -MulDiv(75, static_cast<int>(dpi_), 720);  // 7.5 points
  memo.lfCharSet = RUSSIAN_CHARSET;
  wcscpy_s(memo.lfFaceName, L"Arial");
  memoFont_ = CreateFontIndirectW(&memo);
}

void TfmInstDlg::DpiChanged(WPARAM wParam, LPARAM lParam) {
  const UINT dpi = ui::TakeSuggestedRect(window_, wParam, lParam);
  if (dpi == dpi_) return;
  dpi_ = dpi;
  // The controls take the new fonts before the old ones go.
  HFONT old[] = {font_, bigFont_, boldFont_, memoFont_};
  CreateFonts();
  layout_.Apply(dpi_);
  for (HFONT font : old) {
    if (font) DeleteObject(font);
  }
  SendMessageW(componentTree_, TVM_SETINDENT, static_cast<WPARAM>(ui::Scale(19, dpi_)), 0);
  FitDescriptionBox();
  // The texts that were fitted to the old sizes are fitted again.
  if (model_.Step == 1) SetWindowTextW(label1_, FittedSystemName(label1_, model_.Label1).c_str());
  if (model_.Step == 8) SetWindowTextW(label8_, FittedSystemName(label8_, model_.Label8).c_str());
  RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void TfmInstDlg::FitDescriptionBox() {
  if (!groupBox2_) return;
  auto scale = [this](int pixels) { return ui::Scale(pixels, dpi_); };
  const int captionWidth = ui::MeasureText(groupBox2_, descrCaption_, 0).cx + scale(kCaptionMargin);
  const int maxWidth = scale(kBoxRight - kTreeLeft - kMinTreeWidth - kGap);
  int width = captionWidth;
  if (width < scale(kMinBoxWidth)) width = scale(kMinBoxWidth);
  if (width > maxWidth) width = maxWidth;
  const int left = scale(kBoxRight) - width, top = scale(kBoxTop);
  RECT tree{};
  GetWindowRect(componentTree_, &tree);
  MapWindowPoints(nullptr, GetParent(componentTree_), reinterpret_cast<POINT*>(&tree), 2);
  SetWindowPos(componentTree_, nullptr, 0, 0, left - scale(kGap) - tree.left, tree.bottom - tree.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  SetWindowPos(groupBox2_, nullptr, left, top, width, scale(kBoxHeight), SWP_NOZORDER | SWP_NOACTIVATE);
  SetWindowPos(descrMemo_, nullptr, left + scale(kMemoInset), scale(kMemoTop), width - 2 * scale(kMemoInset),
               scale(kMemoHeight), SWP_NOZORDER | SWP_NOACTIVATE);
  // A caption wider than the box may grow is cut with an ellipsis, not at the frame's edge.
  SetWindowTextW(groupBox2_, ui::FitLine(groupBox2_, descrCaption_, width - scale(kCaptionMargin)).c_str());
}

std::wstring TfmInstDlg::FittedSystemName(HWND label, const std::string& text) const {
  // The name stands on its own line, after the first one; only the name is cut.
  const std::wstring whole = win32::Wide(text), name = win32::Wide(SetupGlobals.SystemName);
  const std::size_t at = name.empty() ? std::wstring::npos : whole.find(L"\r\n" + name);
  if (at == std::wstring::npos) return whole;
  const std::size_t start = at + 2;
  return ui::FitName(label, whole.substr(0, start), name, whole.substr(start + name.size()));
}
