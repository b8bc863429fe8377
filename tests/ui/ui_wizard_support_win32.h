// The wizard under Wine for the tests: a small product of the engine fixture described with
// its "Params", the form created and shown, and a person's clicks and typing.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "../engine/engine_support_win32.h"
#include "setup/ProductKeys_win32.h"
#include "ui/InstDlg_win32.h"
#include "ui/ui_driving_win32.h"

namespace wizardtest {

// The first item below `first` (its siblings and their subtrees, in order) with this text.
inline HTREEITEM FindTreeItem(HWND tree, HTREEITEM first, const std::string& text) {
  for (HTREEITEM item = first; item; item = TreeView_GetNextSibling(tree, item)) {
    wchar_t buffer[128]{};
    TVITEMW data{};
    data.mask = TVIF_TEXT;
    data.hItem = item;
    data.pszText = buffer;
    data.cchTextMax = 128;
    TreeView_GetItem(tree, &data);
    if (win32::Narrow(buffer) == text) return item;
    if (HTREEITEM inner = FindTreeItem(tree, TreeView_GetChild(tree, item), text)) return inner;
  }
  return nullptr;
}

// Whether the side picture is what shows on the left, not its frame: a frame that painted
// itself over the picture once left the place plain grey.
inline bool SidePictureDrawn(const TfmInstDlg& form) {
  HWND picture = form.Image().Handle();
  UpdateWindow(GetParent(picture));
  RECT r{};
  GetClientRect(picture, &r);
  HDC dc = GetDC(picture);
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  int plain = 0;
  for (int i = 1; i <= 4; ++i) {
    if (GetPixel(dc, r.right * i / 5, r.bottom * i / 5) == face) ++plain;
  }
  ReleaseDC(picture, dc);
  return plain < 4;
}

class WizardFixture : public enginetest::EngineFixture {
 public:
  void SetUp() override {
    EngineFixture::SetUp();
    SetupGlobals.Description = &description;
    SetupGlobals.UninstallRequested = false;
    SetupGlobals.SystemName.clear();
    SetupGlobals.LicenceFileName = "licence.txt";
    SetupGlobals.DestDir.clear();
  }
  void TearDown() override {
    form.reset();
    SetupGlobals.Description = nullptr;
    SetupGlobals.IsEnglish = false;
    SetupGlobals.UninstallRequested = false;
    SetupGlobals.ContinueAfterRestart = false;
    SetupGlobals.RegisteredSetup = true;
    SetupGlobals.SetupType = 0;
    EngineFixture::TearDown();
  }

  // Two subsystems and a "Params" section naming the system, its directory and group.
  void DescribeProduct(const std::vector<std::pair<std::string, std::string>>& params = {}) {
    Describe({{1, "Base", "", ""}, {2, "Docs", "", ""}});
    TIDFSection* section = description.AddSection("Params");
    section->AddParam("System name")->SetAsString("Wiz");
    section->AddParam("System path")->SetAsString(installDir + "\\");
    section->AddParam("Program Group")->SetAsString("ZTK Wizard Test Group");
    for (const auto& [key, value] : params) {
      TIDFParam* param = section->FindParam(key);
      (param ? param : section->AddParam(key))->SetAsString(value);
    }
  }
  // A previous installation: the product's key with the installed subsystems' names.
  static void MarkInstalled(const std::vector<std::string>& names) {
    TWin32RegistryKey key = productkeys::Open(HKEY_LOCAL_MACHINE, productkeys::kSubSystems, true);
    for (const std::string& name : names) key.WriteString(name, "Installed");
  }

  // Creates and shows the wizard; the engine's start is only counted.
  void Open() {
    form = std::make_unique<TfmInstDlg>();
    form->Model().StartEngine = [this](TWizardModel&) { ++engineStarts; };
    form->Create();
    form->Show();
    uitest::PumpPending();
  }
  void Press(HWND button) {
    uitest::Click(button);
    uitest::PumpPending();
  }
  void Next() { Press(form->BtnNext()); }
  void Back() { Press(form->BtnPrev()); }
  // Replaces an edit's text as a person does: everything selected, then typed over.
  static void Type(HWND edit, const std::string& text) {
    SetFocus(edit);
    SendMessageW(edit, EM_SETSEL, 0, -1);
    SendMessageW(edit, WM_CHAR, VK_BACK, 1);
    for (wchar_t c : win32::Wide(text)) SendMessageW(edit, WM_CHAR, c, 1);
    uitest::PumpPending();
  }
  // The visible page of the notebook, pgNone when none is.
  TWizardPage VisiblePage() const {
    for (int p = 0; p < pgNone; ++p) {
      if (IsWindowVisible(form->Page(static_cast<TWizardPage>(p)))) return static_cast<TWizardPage>(p);
    }
    return pgNone;
  }

  std::unique_ptr<TfmInstDlg> form;
  int engineStarts = 0;
};

}  // namespace wizardtest
