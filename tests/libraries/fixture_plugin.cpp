// A test plug-in library. Its behaviour is scripted through its parameter string, read from
// the tree block in SetTreePointer or from SetExternalParameter, as ";"-separated items:
//   set=N regim=N tree=N    answers of SetExternalParameter, SetIUGRegim, SetTreePointer
//   ask=N perform=N         answers of AskQuestions and Perform (default 1); in uninstall
//                           mode the items uask and uperform answer instead
//   crash=NAME              an access violation in that export (AskQuestions, Perform, ...)
//   catch=NAME              a C++ exception thrown and caught inside that export
//   steps=N                 Perform reports progress N times, 20 ms apart, and stops when
//                           the answer is false
//   askprogress=1           AskQuestions reports progress once
//   hide=1                  AskQuestions hides and shows the progress window
//   log=TEXT                Perform writes TEXT to the installer's log
//   mark=N                  Perform sets the Selected mark of the first child in the block
//   damage=1                Perform overwrites the block's record length
//   file=NAME               Perform writes NAME into the install directory
// Every call it receives is appended, with its arguments, to the file named by the
// environment variable ZTK_FIXTURE_RECORD as "module:Export args" (texts as received).
// FIXTURE_EXPORTS selects what it exports: 2 everything, 1 AskQuestions and Perform only,
// 0 nothing.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

#include "ztkplugin.h"

#ifndef FIXTURE_EXPORTS
#define FIXTURE_EXPORTS 2
#endif

#define FIXTURE_EXPORT extern "C" __declspec(dllexport)

namespace {

// Not every build of the fixture uses every helper.
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-variable"

HMODULE gModule = nullptr;
int gMode = 0;
std::string gScript;
std::string gPath;
std::uint8_t* gBlock = nullptr;
ZtkProgressCallBack gProgress = nullptr;
ZtkLogCallBack gLog = nullptr;
ZtkHideProgressCallBack gHide = nullptr;
ZtkShowProgressCallBack gShow = nullptr;

std::string ModuleName() {
  char name[MAX_PATH] = {};
  GetModuleFileNameA(gModule, name, MAX_PATH);
  const char* base = std::strrchr(name, '\\');
  return base ? base + 1 : name;
}

void Record(const std::string& line) {
  char file[MAX_PATH] = {};
  if (!GetEnvironmentVariableA("ZTK_FIXTURE_RECORD", file, MAX_PATH)) return;
  if (FILE* f = std::fopen(file, "ab")) {
    const std::string full = ModuleName() + ":" + line + "\n";
    std::fwrite(full.data(), 1, full.size(), f);
    std::fclose(f);
  }
}

std::string Item(const std::string& key) {
  const std::string wrapped = ";" + gScript + ";";
  const auto at = wrapped.find(";" + key + "=");
  if (at == std::string::npos) return "";
  const auto start = at + key.size() + 2;
  return wrapped.substr(start, wrapped.find(';', start) - start);
}

int Number(const std::string& key, int otherwise) {
  const std::string value = Item(key);
  return value.empty() ? otherwise : std::atoi(value.c_str());
}

std::uint32_t Get32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::string GetString(const std::uint8_t*& p) {
  const std::uint32_t length = Get32(p);
  std::string s(reinterpret_cast<const char*>(p + 4), length);
  p += 4 + length;
  return s;
}

void MaybeFault(const char* name) {
  if (Item("crash") == name) {
    Record(std::string(name) + " crashes");
    *static_cast<volatile int*>(nullptr) = 1;
  }
  if (Item("catch") == name) {
    try {
      throw std::runtime_error("handled inside the library");
    } catch (const std::exception& e) {
      Record(std::string(name) + " caught " + e.what());
    }
  }
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) gModule = instance;
  if (reason == DLL_PROCESS_DETACH) Record("Unload");
  return TRUE;
}

#if FIXTURE_EXPORTS >= 2
FIXTURE_EXPORT void WINAPI SetLogCallBack(ZtkLogCallBack callback) {
  gLog = callback;
  Record(std::string("SetLogCallBack") + (callback ? "" : " null"));
}

FIXTURE_EXPORT BOOL WINAPI SetTreePointer(void* block) {
  gBlock = static_cast<std::uint8_t*>(block);
  const std::uint8_t* p = gBlock + 10;
  const std::string library = GetString(p), parameter = GetString(p), shortName = GetString(p);
  gScript = parameter;
  const std::uint32_t header = Get32(gBlock + 4);
  Record("SetTreePointer size=" + std::to_string(Get32(gBlock) + 4) + " selected=" +
         std::to_string(gBlock[8]) + " library=" + library + " parameter=" + parameter +
         " name=" + shortName + " children=" + std::to_string(Get32(gBlock + 8 + header)));
  MaybeFault("SetTreePointer");
  return Number("tree", 1);
}

FIXTURE_EXPORT BOOL WINAPI SetExternalParameter(const char* parameter) {
  gScript = parameter;
  Record(std::string("SetExternalParameter ") + parameter);
  MaybeFault("SetExternalParameter");
  return Number("set", 1);
}

FIXTURE_EXPORT BOOL WINAPI SetIUGRegim(UINT_PTR mode) {
  gMode = static_cast<int>(mode & 0xFF);
  Record("SetIUGRegim " + std::to_string(mode & 0xFF));
  return Number("regim", 1);
}

FIXTURE_EXPORT void WINAPI SetQuestionsLevel(UINT_PTR level) {
  Record("SetQuestionsLevel " + std::to_string(level & 0xFF));
}

FIXTURE_EXPORT void WINAPI SetPath(const char* path) {
  gPath = path;
  Record(std::string("SetPath ") + path);
}

FIXTURE_EXPORT void WINAPI SetClientNumber(UINT_PTR number) {
  Record("SetClientNumber " + std::to_string(static_cast<std::uint32_t>(number)));
}

FIXTURE_EXPORT void WINAPI SetProgressCallBack(ZtkProgressCallBack callback) {
  gProgress = callback;
  Record(std::string("SetProgressCallBack") + (callback ? "" : " null"));
}

FIXTURE_EXPORT void WINAPI SetSessionName(const char* name) {
  Record(std::string("SetSessionName [") + name + "]");
}

FIXTURE_EXPORT void WINAPI SetHideProgressCallBack(ZtkHideProgressCallBack callback) {
  gHide = callback;
  Record(std::string("SetHideProgressCallBack") + (callback ? "" : " null"));
}

FIXTURE_EXPORT void WINAPI SetShowProgressCallBack(ZtkShowProgressCallBack callback) {
  gShow = callback;
  Record(std::string("SetShowProgressCallBack") + (callback ? "" : " null"));
}

FIXTURE_EXPORT void WINAPI UserAbort() { Record("UserAbort"); }
FIXTURE_EXPORT void WINAPI UserSuspendThread() { Record("UserSuspendThread"); }
FIXTURE_EXPORT void WINAPI UserResumeThread() { Record("UserResumeThread"); }
#endif

#if FIXTURE_EXPORTS >= 1
FIXTURE_EXPORT BYTE WINAPI AskQuestions() {
  Record("AskQuestions thread=" + std::to_string(GetCurrentThreadId()));
  MaybeFault("AskQuestions");
  if (Number("hide", 0) && gHide && gShow) {
    gHide();
    gShow();
  }
  if (Number("askprogress", 0) && gProgress) {
    Record(std::string("AskQuestions progress ") + (gProgress(50, "asking", 0) ? "1" : "0"));
  }
  return static_cast<BYTE>(Number(gMode == 2 ? "uask" : "ask", 1));
}

FIXTURE_EXPORT BYTE WINAPI Perform() {
  Record("Perform thread=" + std::to_string(GetCurrentThreadId()));
  MaybeFault("Perform");
  if (gLog && !Item("log").empty()) gLog(Item("log").c_str());
  const int steps = Number("steps", 0);
  for (int i = 1; i <= steps && gProgress; ++i) {
    if (!gProgress(i * 100 / steps, "performing", i)) {
      Record("Perform progress answered false at " + std::to_string(i));
      return 0;
    }
    Sleep(20);
  }
  if (!Item("mark").empty() && gBlock) {
    const std::uint32_t header = Get32(gBlock + 4);
    if (Get32(gBlock + 8 + header) > 0) gBlock[12 + header + 8] = static_cast<std::uint8_t>(Number("mark", 0));
  }
  if (Number("damage", 0) && gBlock) std::memset(gBlock, 0x7F, 4);
  if (!Item("file").empty() && !gPath.empty()) {
    if (FILE* f = std::fopen((gPath + "\\" + Item("file")).c_str(), "wb")) {
      std::fputs("written by the library", f);
      std::fclose(f);
    }
  }
  return static_cast<BYTE>(Number(gMode == 2 ? "uperform" : "perform", 1));
}
#endif
