// The four callbacks the libraries receive, where the libraries and the optional runtime
// package are found, and the installer's own Path for the programs the libraries start. A callback must never let an exception
// of ours into a library's frames, so each one catches everything.
#include <windows.h>

#include <atomic>
#include <cctype>

#include "common/text.h"
#include "common/win32.h"
#include "libraries/DllLoader.h"
#include "setup/Platform_win32.h"
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

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsFullPath(const std::string& name) {
  if (name.size() >= 3 && std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':' &&
      IsSeparator(name[2]))
    return true;
  return name.size() >= 2 && IsSeparator(name[0]) && IsSeparator(name[1]);
}

std::string WithDllExtension(const std::string& name) {
  const std::size_t base = name.find_last_of("\\/");
  const std::size_t from = base == std::string::npos ? 0 : base + 1;
  return name.find('.', from) == std::string::npos ? name + ".dll" : name;
}

bool IsFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(win32::LongPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A name below the directory: no drive, no root, no step up.
bool StaysBelow(const std::string& name) {
  if (name.empty() || IsSeparator(name[0]) || name.find(':') != std::string::npos) return false;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find_first_of("\\/", start);
    if (end == std::string::npos) end = name.size();
    if (name.compare(start, end - start, "..") == 0) return false;
    start = end + 1;
  }
  return true;
}

}  // namespace

std::vector<std::string> LibraryDirectories(std::uint8_t mode, const std::string& installDir) {
  std::vector<std::string> product;
  if (!installDir.empty()) {
    std::string base = installDir;
    while (base.size() > 3 && IsSeparator(base.back())) base.pop_back();
    product = {base, base + "\\SYSTEM", base + "\\USER"};
  }
  std::vector<std::string> directories;
  const std::string& distribution = SetupGlobals.StartDir;
  if (mode != 2 && !distribution.empty()) directories.push_back(distribution);
  directories.insert(directories.end(), product.begin(), product.end());
  if (mode == 2 && !distribution.empty()) directories.push_back(distribution);
  return directories;
}

std::string FindLibrary(const std::string& name, const std::vector<std::string>& directories) {
  if (name.empty()) return std::string();
  if (IsFullPath(name)) {
    for (const std::string& path : {name, WithDllExtension(name)}) {
      if (IsFile(path)) return path;
    }
    return std::string();
  }
  if (!StaysBelow(name)) return std::string();
  for (std::string directory : directories) {
    if (directory.empty()) continue;
    if (!IsSeparator(directory.back())) directory += '\\';
    for (const std::string& path : {directory + name, directory + WithDllExtension(name)}) {
      if (IsFile(path)) return path;
    }
  }
  return std::string();
}

HMODULE LoadContainerPackage(const std::vector<std::string>& directories) {
  std::vector<std::string> where = directories;
  // The toolkit's runtime packages are installed into the system directory.
  where.push_back(SystemDirectory());
  const std::string found = FindLibrary("vcontain.bpl", where);
  return found.empty() ? nullptr : LoadLibraryFromPath(found);
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
