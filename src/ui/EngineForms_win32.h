// The engine's modal forms (the duplicate-file warning and the directory dialog) set into its
// machine, so that the engine shows the user interface's own forms.
#pragma once

void InstallEngineForms();
