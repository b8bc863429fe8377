// A small product for the engine tests: a distribution directory with a description and
// archives built by the tests, a clean registry, the engine's machine seams pointed into the
// test's own directory, and a run of the worker with the main thread's loop going.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/testsupport.h"
#include "description/InstIDF.h"
#include "description/InstList.h"
#include "engine/EngineInterfaces.h"
#include "unzip/extract_test_support.h"

namespace enginetest {

struct Subsystem {
  int Number;
  std::string ShortName;
  std::string Archive;  // comma list
  std::string Depend;   // comma list
};

struct RunResult {
  bool Succeeded = false;
  TRunEnd Ended = TRunEnd::NotRun;
  int Reports = 0;
};

class EngineFixture : public ::testing::Test {
 public:
  void SetUp() override;
  void TearDown() override;

  // Writes setup.idf for the subsystems and loads it.
  void Describe(const std::vector<Subsystem>& subsystems);
  void WriteArchive(const std::string& name, const std::vector<extracttest::TestEntry>& entries);
  // A tree of the description's subsystems with these numbers (all when empty), every
  // Selected mark cleared, as the wizard hands it over.
  std::unique_ptr<TSysTree> Tree(const std::set<int>& numbers = {}) const;

  // Runs the worker in a mode and waits for it with the message loop going.
  RunResult Run(SetupMode mode, TSysTree* install, TSysTree* remove,
                std::function<void(class TProgressThread&, int)> onReport = nullptr);
  RunResult Install(std::function<void(TProgressThread&, int)> onReport = nullptr);
  RunResult Uninstall();

  // The log's IN/OUT lines, without their time stamps.
  std::vector<std::string> StepLines() const;
  std::vector<std::string> LogLines() const;
  void ClearLog() const;

  std::string Installed(const std::string& relative) const { return installDir + "\\" + relative; }
  static void CleanRegistry();

  TempDir root;
  std::string dist, installDir, windowsDir, logFile;
  int questionsLevel = 0;  // handed to the libraries by the next Run
  TIDFTextFile description;
  std::vector<std::string> commands;  // programs the engine ran
  std::string previousDirectory;
};

// The directory of the running test program (fixture DLLs are built beside it).
std::string TestProgramDirectory();

// Reading the registry in the product's view.
bool ProductValue(const std::string& key, const std::string& name, std::string& value,
                  HKEY root = HKEY_LOCAL_MACHINE);
bool ProductKeyExists(const std::string& key, HKEY root = HKEY_LOCAL_MACHINE);
// A DWORD value in the product's view; -1 when it is missing or of another type.
long long ProductDword(const std::string& key, const std::string& name);

}  // namespace enginetest
