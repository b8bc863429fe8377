#include "engine/engine_support_win32.h"

#include <sstream>

#include "common/osfile.h"
#include "common/win32.h"
#include "engine/EngineMachine.h"
#include "engine/MainThread.h"
#include "engine/ProgressThread.h"
#include "setup/ProductKeys_win32.h"
#include "setup/SetupGlobals.h"

namespace enginetest {

void EngineFixture::CleanRegistry() {
  productkeys::Delete(HKEY_LOCAL_MACHINE, productkeys::kProduct);
  productkeys::Delete(HKEY_LOCAL_MACHINE, productkeys::kUninstallBase + "ZTK Engine Test");
  productkeys::Delete(HKEY_CURRENT_USER, productkeys::kUninstallMark);
}

void EngineFixture::SetUp() {
  mainthread::Init();
  dist = root.File("dist");
  installDir = root.File("Program Files\\Prod");
  windowsDir = root.File("windows");
  logFile = root.File("ztkinst.log");
  ASSERT_TRUE(os::CreateDirectories(dist));
  ASSERT_TRUE(os::CreateDirectories(windowsDir));
  // The journals of the runs live beside the log.
  ASSERT_TRUE(os::CreateDirectories(root.File("temp")));
  previousDirectory = os::CurrentDirectory();
  SetCurrentDirectoryW(win32::Wide(dist).c_str());

  TSetupGlobals& g = SetupGlobals;
  g.TempDir = root.File("temp") + "\\";
  g.Unattended = false;
  g.Log = std::make_unique<TLogFile>();
  g.Log->SetFileName(logFile);
  g.Log->WriteHeader = false;
  g.IsEnglish = false;
  g.RegisteredSetup = true;
  g.SetupType = 0;
  g.SystemName = "ZTK Engine Test";
  g.StartDir = dist;
  g.DestDir = dist;
  g.ContinueAfterRestart = false;
  g.RebootRequired = false;
  EngineMachine().WindowsDirectory = [this] { return windowsDir; };
  EngineMachine().RunAndWait = [this](const std::string& program, const std::string& args, int) {
    commands.push_back(program + " " + args);
    return true;
  };
  CleanRegistry();
}

void EngineFixture::TearDown() {
  SetCurrentDirectoryW(win32::Wide(previousDirectory).c_str());
  CleanRegistry();
  EngineMachine().WindowsDirectory = nullptr;
  EngineMachine().RunAndWait = RunAndWaitReal;
  SetupGlobals.Log.reset();
}

void EngineFixture::Describe(const std::vector<Subsystem>& subsystems) {
  description.ClearSections();
  TIDFSection* list = description.AddSection("SubSystems");
  for (const Subsystem& s : subsystems) {
    const std::string section = "Sub" + std::to_string(s.Number);
    list->AddParam(section)->SetAsInteger(s.Number);
    TIDFSection* own = description.AddSection(section);
    own->AddParam("Short name")->SetAsString(s.ShortName);
    own->AddParam("Full name")->SetAsString(s.ShortName + " (full)");
    if (!s.Archive.empty()) own->AddParam("Archive")->SetAsString(s.Archive);
    if (!s.Depend.empty()) own->AddParam("Depend")->SetAsString(s.Depend);
  }
  ASSERT_TRUE(description.SaveToFile(dist + "\\setup.idf"));
}

void EngineFixture::WriteArchive(const std::string& name,
                                 const std::vector<extracttest::TestEntry>& entries) {
  WriteFileBytes(dist + "\\" + name, extracttest::BuildZip(entries));
}

std::unique_ptr<TSysTree> EngineFixture::Tree(const std::set<int>& numbers) const {
  TSysTree full;
  EXPECT_TRUE(full.LoadFromIDF(&description));
  auto tree = std::make_unique<TSysTree>();
  full.DeselectAll();
  for (TSysNode* node : full.Index()) {
    if (numbers.empty() || numbers.count(node->Info.Number)) node->Info.Selected = true;
  }
  full.CopySelectedTo(tree.get());
  tree->DeselectAll();
  return tree;
}

RunResult EngineFixture::Run(SetupMode mode, TSysTree* install, TSysTree* remove,
                             std::function<void(TProgressThread&, int)> onReport) {
  TSysTree emptyInstall, emptyRemove;
  TWizardState state;
  state.Mode = mode;
  state.InstallDir = installDir;
  state.ProgramGroup = "Prod Group";
  state.QuestionsLevel = questionsLevel;
  state.InstallTree = install ? install : &emptyInstall;
  state.DeleteTree = remove ? remove : &emptyRemove;
  state.Succeeded = false;
  RunResult result;
  TProgressThread thread(state, nullptr);
  thread.OnProgressReport = [&](int report) {
    result.Reports = report;
    if (onReport) onReport(thread, report);
  };
  thread.Start();
  thread.WaitFor();
  result.Succeeded = state.Succeeded;
  result.Ended = state.Ended;
  return result;
}

RunResult EngineFixture::Install(std::function<void(TProgressThread&, int)> onReport) {
  auto tree = Tree();
  return Run(smInstall, tree.get(), nullptr, std::move(onReport));
}

RunResult EngineFixture::Uninstall() {
  auto tree = Tree();
  return Run(smUninstall, nullptr, tree.get());
}

std::vector<std::string> EngineFixture::LogLines() const {
  std::vector<std::string> lines;
  std::istringstream in(ReadFileBytes(logFile));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto stamp = line.find("]:");
    lines.push_back(stamp == std::string::npos ? line : line.substr(stamp + 2));
  }
  return lines;
}

std::vector<std::string> EngineFixture::StepLines() const {
  std::vector<std::string> steps;
  for (const std::string& line : LogLines()) {
    if (line.rfind(" IN ", 0) == 0 || line.rfind(" OUT ", 0) == 0) steps.push_back(line);
  }
  return steps;
}

void EngineFixture::ClearLog() const { os::RemoveFile(logFile); }

bool ProductValue(const std::string& key, const std::string& name, std::string& value, HKEY root) {
  TWin32RegistryKey k = productkeys::Open(root, key, false);
  return k.Opened() && k.ReadString(name, value);
}

std::string TestProgramDirectory() {
  std::wstring path(MAX_PATH, L'\0');
  DWORD n;
  while ((n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) == path.size())
    path.resize(path.size() * 2);
  path.resize(n);
  const std::string file = win32::Narrow(path);
  return file.substr(0, file.rfind('\\'));
}

bool ProductKeyExists(const std::string& key, HKEY root) { return productkeys::Exists(root, key); }

}  // namespace enginetest

namespace enginetest {

long long ProductDword(const std::string& key, const std::string& name) {
  std::wstring path = win32::Wide(key);
  while (!path.empty() && path.front() == L'\\') path.erase(0, 1);
  win32::RegKey opened;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | productkeys::kView,
                    opened.put()) != ERROR_SUCCESS)
    return -1;
  DWORD value = 0, size = sizeof value, type = 0;
  if (RegQueryValueExW(opened.get(), win32::Wide(name).c_str(), nullptr, &type,
                       reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
      type != REG_DWORD)
    return -1;
  return value;
}

}  // namespace enginetest
