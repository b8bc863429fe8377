// The engine's own cost on a large archive: a fresh installation (directory structure,
// listing, extraction, uninst.inf, registry records, uninstall registration) of one subsystem
// whose archive is given, timed from the start of the worker to its end, without a window.
//
// usage: bench_install.exe ARCHIVE WORKDIR [ROUNDS] [nolog]
// Prints one line per round and the median in milliseconds. With "nolog" the log has no file,
// which shows what writing the log costs.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "common/osfile.h"
#include "common/win32.h"
#include "description/InstIDF.h"
#include "description/InstList.h"
#include "engine/DirTree.h"
#include "engine/EngineMachine.h"
#include "engine/MainThread.h"
#include "engine/ProgressThread.h"
#include "setup/ProductKeys_win32.h"
#include "setup/SetupGlobals.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: bench_install ARCHIVE WORKDIR [ROUNDS]\n");
    return 2;
  }
  const std::string archive = win32::Narrow(argv[1]), work = win32::Narrow(argv[2]);
  const int rounds = argc > 3 ? _wtoi(argv[3]) : 5;
  const std::string dist = work + "\\dist", installDir = work + "\\installed";
  os::CreateDirectories(dist);
  if (!os::CopyFileTo(archive, dist + "\\bench.zip", true)) {
    std::fprintf(stderr, "cannot copy %s\n", archive.c_str());
    return 2;
  }
  TIDFTextFile description;
  description.AddSection("SubSystems")->AddParam("Bench")->SetAsInteger(1);
  TIDFSection* own = description.AddSection("Bench");
  own->AddParam("Short name")->SetAsString("Bench");
  own->AddParam("Archive")->SetAsString("bench.zip");
  SetCurrentDirectoryW(win32::Wide(dist).c_str());

  mainthread::Init();
  SetupGlobals.Log = std::make_unique<TLogFile>();
  const bool noLog = argc > 4 && std::wstring(argv[4]) == L"nolog";
  if (!noLog) SetupGlobals.Log->SetFileName(work + "\\ztkinst.log");
  SetupGlobals.Log->WriteHeader = false;
  SetupGlobals.SystemName = "ZTK Bench";
  SetupGlobals.StartDir = dist;
  EngineMachine().WindowsDirectory = [&] { return work; };
  EngineMachine().RunAndWait = [](const std::string&, const std::string&, int) { return true; };

  std::vector<double> times;
  for (int round = 0; round < rounds; ++round) {
    DeleteDirTree(installDir, false);
    os::RemoveFile(work + "\\ztkinst.log");
    TSysTree tree, none;
    tree.LoadFromIDF(&description);
    tree.DeselectAll();
    TWizardState state;
    state.InstallDir = installDir;
    state.InstallTree = &tree;
    state.DeleteTree = &none;
    TProgressThread thread(state, nullptr);
    const auto start = std::chrono::steady_clock::now();
    thread.Start();
    thread.WaitFor();
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    times.push_back(ms);
    std::printf("round %d: %.0f ms%s\n", round + 1, ms, state.Succeeded ? "" : " (failed)");
  }
  productkeys::Delete(HKEY_LOCAL_MACHINE, productkeys::kProduct);
  productkeys::Delete(HKEY_LOCAL_MACHINE, productkeys::kUninstallBase + "ZTK Bench");
  std::sort(times.begin(), times.end());
  std::printf("median %.0f ms\n", times[times.size() / 2]);
  return 0;
}
