// The Start-menu programs, desktop and Startup folders, as one helper that the engine (the
// program group and its links) and the wizard (its list of existing groups) both use, so
// that both always mean the same folder.
#pragma once

#include <string>

enum class TShellFolder { Programs, Desktop, Startup };

// The all-users folder, else the current user's. Each is taken from the shell's known-folder
// query, and from the "Shell Folders" compatibility values (which Windows fills only on
// demand) only where that query fails. Empty when neither knows the folder.
std::string ShellFolderPath(TShellFolder folder);
