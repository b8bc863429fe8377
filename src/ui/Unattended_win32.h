// The run without a person (/S): the wizard's rules driven by the switches instead of clicks,
// every question answered so that nothing the administrator did not ask for is deleted, the
// engine without a progress window, and an exit code that says how the run ended.
#pragma once

#include "engine/EngineInterfaces.h"
#include "setup/Switches.h"

// Runs the whole unattended installation, change or removal; answers the exit code.
int RunUnattended(const TSwitches& switches);

// The exit code of a run the engine ended (Done 0, Failed 1, Aborted 2, a restart pending
// 3010); a run whose engine never started was ended by the person (2).
int ExitCodeOfRun(const TWizardState& state);
