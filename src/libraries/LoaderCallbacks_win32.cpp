// The four callbacks the libraries receive, the optional runtime package, and the
// installer's own Path for the libraries' search. A callback must never let an exception
// of ours into a library's frames, so each one catches everything.
#include <windows.h>

#include <atomic>

#include "common/text.h"
#include "common/win32.h"
#include "libraries/DllLoader.h"
#include "setup/SetupGlobals.h"

namespace {
std::atomic<ILoaderHost*> gHost{nullptr};
}

void SetLoaderHost(ILoaderHost* host) { gHost = host; }

extern "C" BOOL WINAPI LoaderProgressCallBack(INT32 percent, const char* message, INT32 extra) {
  try {
    ILoaderHost* host = gHost;
    if (!host) return TRUE;
    return host->SetProgress(percent, text::AnsiToUtf8(message ? message : ""), extra) ? TRUE
                                                                                        : FALSE;
  } catch (...) {
    return TRUE;
  }
}

extern "C" void WINAPI LoaderLogCallBack(const char* message) {
  try {
    if (SetupGlobals.Log && message) WriteLog(text::AnsiToUtf8(message));
  } catch (...) {
  }
}

extern "C" void WINAPI LoaderHideProgressCallBack() {
  try {
    if (ILoaderHost* host = gHost) host->HideProgress();
  } catch (...) {
  }
}

extern "C" void WINAPI LoaderShowProgressCallBack() {
  try {
    if (ILoaderHost* host = gHost) host->ShowProgress();
  } catch (...) {
  }
}

HMODULE LoadContainerPackage() {
  wchar_t found[MAX_PATH];
  const DWORD length = SearchPathW(nullptr, L"vcontain.bpl", nullptr, MAX_PATH, found, nullptr);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  return LoadLibraryW(found);
}

void UnloadContainerPackage(HMODULE& package) {
  if (package) FreeLibrary(package);
  package = nullptr;
}

void AddLibraryDirsToPath(const std::string& installDir) {
  std::string base = installDir;
  if (base.empty()) return;
  if (base.back() != '\\') base += '\\';
  std::wstring path;
  const DWORD size = GetEnvironmentVariableW(L"Path", nullptr, 0);
  if (size > 0) {
    path.resize(size);
    const DWORD got = GetEnvironmentVariableW(L"Path", path.data(), size);
    path.resize(got < size ? got : 0);
  }
  const std::string current = win32::Narrow(path);
  std::string added;
  for (const char* sub : {"SYSTEM\\", "USER\\"}) {
    const std::string dir = base + sub;
    // Each directory once, whatever an earlier step or an earlier call added.
    const std::string wrapped = ";" + text::UpperAscii(current) + ";";
    const std::string upper = text::UpperAscii(dir);
    if (wrapped.find(";" + upper + ";") != std::string::npos ||
        wrapped.find(";" + upper.substr(0, upper.size() - 1) + ";") != std::string::npos) {
      continue;
    }
    added += (added.empty() ? "" : ";") + dir;
  }
  if (added.empty()) return;
  const std::string updated = current.empty() ? added : current + ";" + added;
  SetEnvironmentVariableW(L"Path", win32::Wide(updated).c_str());
}
