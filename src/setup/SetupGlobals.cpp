#include "setup/SetupGlobals.h"

TSetupGlobals SetupGlobals;

void WriteLog(const std::string& message) {
  if (!SetupGlobals.Log) return;
  try {
    SetupGlobals.Log->WriteLine(message);
  } catch (...) {
    // The log never reports its own failures; a step must not fail because of it.
  }
}
