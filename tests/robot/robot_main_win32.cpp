// robot.exe, the main job's robot (scripts/run.sh): the same driver as the robot's tests,
// run once on the demonstration distribution with screenshots of every page.
//
//   robot.exe --install DIST SOURCES SHOTS    a fresh full installation with the wizard's
//                                             proposed directory and group, then the checks
//                                             (an installed product is removed first)
//   robot.exe --uninstall DIST SOURCES SHOTS  the removal through the uninstall entry
//
// It prints what went wrong (if anything), what the machine holds now and the screenshots'
// files; the exit code is 0 when the run and the checks passed.
#include <windows.h>

#include <objbase.h>

#include <cstdio>
#include <string>

#include "common/text.h"
#include "robot/robot_scenarios_win32.h"
#include "setup/ProductKeys_win32.h"

namespace {

void Print(const std::string& text) {
  // The Linux side reads UTF-8.
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

int Run(const std::string& mode, robot::TSetting& setting) {
  std::vector<std::string> problems;
  try {
    if (mode == "--install") {
      if (productkeys::Exists(HKEY_LOCAL_MACHINE, productkeys::kProduct)) {
        Print("The product is installed already: the robot removes it first through its uninstall entry.\n");
        robot::TSetting removal = setting;
        removal.Shots.clear();
        robot::UninstallThroughEntry(removal);
      }
      robot::InstallRun(setting);
      problems = robot::CheckInstalled(setting, {1, 2, 3, 4, 5, 6}, false);
    } else if (mode == "--uninstall") {
      productkeys::Open(HKEY_LOCAL_MACHINE, productkeys::kProduct, false).ReadString("Path", setting.InstallDir);
      productkeys::Open(HKEY_LOCAL_MACHINE, productkeys::kProduct, false).ReadString("Program Group", setting.Group);
      if (setting.InstallDir.empty()) {
        Print("The product is not installed: nothing to remove.\n");
        return 1;
      }
      robot::UninstallThroughEntry(setting);
      problems = robot::CheckRemoved(setting, true);
    } else {
      Print("usage: robot.exe --install|--uninstall DIST SOURCES SHOTS\n");
      return 2;
    }
  } catch (const robot::Failure& failure) {
    problems.push_back(std::string("the run failed: ") + failure.what());
  }
  Print(problems.empty() ? "The robot's run passed; the machine is as the run should leave it.\n"
                         : "The robot found problems:\n");
  for (const std::string& problem : problems) Print("  " + problem + "\n");
  Print(robot::DescribeMachine(setting));
  return problems.empty() ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  text::SetAnsiCodePage(static_cast<int>(GetACP()));
  if (argc != 5) {
    Print("usage: robot.exe --install|--uninstall DIST SOURCES SHOTS\n");
    return 2;
  }
  CoInitialize(nullptr);
  robot::TSetting setting;
  setting.Dist = win32::Narrow(argv[2]);
  setting.Sources = win32::Narrow(argv[3]);
  setting.Shots = win32::Narrow(argv[4]);
  CreateDirectoryW(argv[4], nullptr);
  const int code = Run(win32::Narrow(argv[1]), setting);
  CoUninitialize();
  return code;
}
