// The run without a person (/S): the wizard's rules driven by the switches instead of clicks,
// every question answered so that nothing the administrator did not ask for is deleted, the
// engine without a progress window, and an exit code that says how the run ended.
#pragma once

#include "setup/Switches.h"

class TWizardModel;

// Runs the whole unattended installation, change or removal; answers the exit code.
int RunUnattended(const TSwitches& switches);

// The exit code of a wizard's run: as the engine ended it (done 0, failed 1, aborted 2, a
// restart pending 3010); a run whose engine never started was ended by the person (2), or
// by the network-drive failure (1).
int ExitCodeOfRun(const TWizardModel& model);
