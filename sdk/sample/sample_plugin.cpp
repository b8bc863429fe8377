// A sample subsystem library for ZTK Setup: every export of the contract in ztkplugin.h.
//
// Install mode: at question level 2 it asks for a greeting in a small dialog (level 1 asks
// nothing and takes the default); Perform writes "sample_plugin.ini" into the install
// directory in a few steps, reporting progress and stopping when the installer answers that
// the user cancelled. Uninstall mode: Perform deletes that file. UserAbort undoes Perform.
// The subsystem's "Parameter" text gives the default greeting.
//
// Build (MinGW-w64; -Wl,--kill-at keeps the 32-bit export names plain):
//   x86_64-w64-mingw32-g++ -shared -static -O2 -I../ sample_plugin.cpp -o sample_plugin.dll
//       -Wl,--kill-at -luser32
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ztkplugin.h"

#define SAMPLE_EXPORT extern "C" __declspec(dllexport)

namespace {

HINSTANCE gInstance = nullptr;
ZtkProgressCallBack gProgress = nullptr;
ZtkLogCallBack gLog = nullptr;
ZtkHideProgressCallBack gHide = nullptr;
ZtkShowProgressCallBack gShow = nullptr;
int gMode = ZTK_MODE_INSTALL;
int gLevel = ZTK_LEVEL_DEFAULTS;
std::string gPath;            // ANSI, like every text of the contract
std::string gGreeting = "Hello";
std::string gSubsystem;       // the short name from the tree block
bool gWritten = false;

void Log(const std::string& line) {
  if (gLog) gLog((" sample plug-in: " + line).c_str());
}

std::string ConfigFile() { return gPath + "\\sample_plugin.ini"; }

// Progress: false once the user cancelled.
bool Report(int percent, const char* text) { return !gProgress || gProgress(percent, text, 0); }

// ---- the question dialog, built in memory (no resource file needed) ----

constexpr int kEditId = 100;

void Align(std::vector<WORD>& t) {
  if (t.size() % 2) t.push_back(0);  // items start on DWORD boundaries
}
void AddText(std::vector<WORD>& t, const wchar_t* text) {
  for (; *text; ++text) t.push_back(static_cast<WORD>(*text));
  t.push_back(0);
}
void AddItem(std::vector<WORD>& t, DWORD style, short x, short y, short cx, short cy, WORD id,
             WORD kind, const wchar_t* text) {
  Align(t);
  DLGITEMTEMPLATE item{style | WS_CHILD | WS_VISIBLE, 0, x, y, cx, cy, id};
  const WORD* raw = reinterpret_cast<const WORD*>(&item);
  t.insert(t.end(), raw, raw + sizeof item / sizeof(WORD));
  t.push_back(0xFFFF);  // a predefined class by atom
  t.push_back(kind);
  AddText(t, text);
  t.push_back(0);  // no creation data
}

std::vector<WORD> DialogTemplate() {
  std::vector<WORD> t;
  DLGTEMPLATE head{DS_MODALFRAME | DS_CENTER | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 4,
                   0, 0, 220, 70};
  const WORD* raw = reinterpret_cast<const WORD*>(&head);
  t.insert(t.end(), raw, raw + sizeof head / sizeof(WORD));
  t.push_back(0);  // no menu
  t.push_back(0);  // the standard dialog class
  AddText(t, L"Sample plug-in");
  t.push_back(8);  // font size, then face
  AddText(t, L"MS Shell Dlg");
  AddItem(t, SS_LEFT, 7, 7, 206, 10, 0xFFFF, 0x0082, L"Greeting written into the configuration:");
  AddItem(t, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 7, 20, 206, 13, kEditId, 0x0081, L"");
  AddItem(t, BS_DEFPUSHBUTTON | WS_TABSTOP, 109, 48, 50, 14, IDOK, 0x0080, L"OK");
  AddItem(t, BS_PUSHBUTTON | WS_TABSTOP, 163, 48, 50, 14, IDCANCEL, 0x0080, L"Cancel");
  return t;
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      SetDlgItemTextA(dialog, kEditId, gGreeting.c_str());
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        char text[256] = {};
        GetDlgItemTextA(dialog, kEditId, text, sizeof text);
        gGreeting = text;
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      break;
    default:
      break;
  }
  return FALSE;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) gInstance = instance;
  return TRUE;
}

// ---- set phase ----

SAMPLE_EXPORT void WINAPI SetLogCallBack(ZtkLogCallBack callback) { gLog = callback; }

SAMPLE_EXPORT BOOL WINAPI SetTreePointer(void* block) {
  if (!block) return FALSE;
  // Library, Parameter, ShortName follow at offset 10, each a 32-bit length and its bytes.
  const BYTE* p = static_cast<const BYTE*>(block) + 10;
  for (int field = 0; field < 3; ++field) {
    INT32 length;
    std::memcpy(&length, p, sizeof length);
    if (length < 0 || length > ZTK_RECORD_HEADER(block)) return FALSE;
    if (field == 2) gSubsystem.assign(reinterpret_cast<const char*>(p + 4), length);
    p += 4 + length;
  }
  Log("tree received for subsystem " + gSubsystem);
  return TRUE;
}

SAMPLE_EXPORT BOOL WINAPI SetExternalParameter(const char* parameter) {
  if (parameter && *parameter) gGreeting = parameter;
  return TRUE;
}

SAMPLE_EXPORT BOOL WINAPI SetIUGRegim(UINT_PTR mode) {
  gMode = static_cast<int>(mode & 0xFF);
  return gMode == ZTK_MODE_INSTALL || gMode == ZTK_MODE_UNINSTALL;
}

SAMPLE_EXPORT void WINAPI SetQuestionsLevel(UINT_PTR level) { gLevel = static_cast<int>(level & 0xFF); }
SAMPLE_EXPORT void WINAPI SetPath(const char* path) { gPath = path ? path : ""; }
SAMPLE_EXPORT void WINAPI SetClientNumber(UINT_PTR) {}
SAMPLE_EXPORT void WINAPI SetProgressCallBack(ZtkProgressCallBack callback) { gProgress = callback; }
SAMPLE_EXPORT void WINAPI SetSessionName(const char*) {}
SAMPLE_EXPORT void WINAPI SetHideProgressCallBack(ZtkHideProgressCallBack callback) { gHide = callback; }
SAMPLE_EXPORT void WINAPI SetShowProgressCallBack(ZtkShowProgressCallBack callback) { gShow = callback; }

// ---- ask phase (main thread) ----

SAMPLE_EXPORT BYTE WINAPI AskQuestions() {
  // Level 1 means "install with default parameters": nothing is asked. So does removal.
  if (gMode != ZTK_MODE_INSTALL || gLevel != 2) return ZTK_DONE;
  std::vector<WORD> dialog = DialogTemplate();
  const INT_PTR answer = DialogBoxIndirectParamW(
      gInstance, reinterpret_cast<LPCDLGTEMPLATEW>(dialog.data()), GetActiveWindow(), DialogProc, 0);
  if (answer != IDOK) {
    Log("the user cancelled the question");
    return ZTK_FAILED;
  }
  Log("greeting chosen: " + gGreeting);
  return ZTK_DONE;
}

// ---- perform phase (worker thread) ----

SAMPLE_EXPORT BYTE WINAPI Perform() {
  if (gPath.empty()) return ZTK_FAILED;
  if (gMode == ZTK_MODE_UNINSTALL) {
    DeleteFileA(ConfigFile().c_str());
    Log("configuration removed");
    return ZTK_DONE;
  }
  const std::string lines[] = {"[Sample]", "Subsystem=" + gSubsystem, "Greeting=" + gGreeting,
                               "Path=" + gPath};
  std::FILE* file = std::fopen(ConfigFile().c_str(), "wb");
  if (!file) {
    Log("cannot write " + ConfigFile());
    return ZTK_FAILED;
  }
  gWritten = true;
  const int count = static_cast<int>(sizeof lines / sizeof lines[0]);
  for (int i = 0; i < count; ++i) {
    if (!Report(100 * i / count, "Sample plug-in: writing the configuration")) {
      std::fclose(file);
      DeleteFileA(ConfigFile().c_str());
      gWritten = false;
      Log("cancelled by the user");
      return ZTK_FAILED;
    }
    std::fputs((lines[i] + "\r\n").c_str(), file);
  }
  const bool ok = std::fclose(file) == 0;
  Log(ok ? "configuration written to " + ConfigFile() : "cannot write " + ConfigFile());
  return ok ? ZTK_DONE : ZTK_FAILED;
}

SAMPLE_EXPORT void WINAPI UserAbort() {
  if (gWritten && gMode == ZTK_MODE_INSTALL) {
    DeleteFileA(ConfigFile().c_str());
    gWritten = false;
    Log("configuration removed after the installation was abandoned");
  }
}

// This library does its work in the caller's thread; there is nothing of its own to hold.
SAMPLE_EXPORT void WINAPI UserSuspendThread() {}
SAMPLE_EXPORT void WINAPI UserResumeThread() {}
