// What the ZIP reader needs from the user interface and the machine, as replaceable
// functions: the product installs the real ones (UnZipSeams_win32.cpp), the native build
// has plain ones (UnZipSeams_posix.cpp), tests script them.
#pragma once

#include <functional>
#include <string>

struct TUnZipSeams {
  // The file-open dialog: title, filter ("name|pattern|..."), starting directory; fileName
  // receives the choice. False when cancelled.
  std::function<bool(const std::string& title, const std::string& filter,
                     const std::string& initialDir, std::string& fileName)>
      OpenFileDialog;
  // The directory-selection dialog (creating a directory allowed); directory holds the start
  // and receives the choice. False when cancelled.
  std::function<bool(std::string& directory)> SelectDirectory;
  // The drive type of a root such as "A:\" (2 = removable), as the system numbers them.
  std::function<unsigned(const std::string& root)> DriveType;
  // The volume label of a root such as "A:\"; false when it cannot be read.
  std::function<bool(const std::string& root, std::string& label)> VolumeLabel;
  // Lets the user interface process its pending messages (so a Cancel button is served).
  std::function<void()> ProcessMessages;
  // Shows the hourglass (true) or the normal cursor (false).
  std::function<void(bool busy)> SetBusyCursor;
};

constexpr unsigned kDriveRemovable = 2;

// The seams in use. Members left empty behave as "cancelled" / "unknown" / nothing.
TUnZipSeams& UnZipSeams();
// The platform's own implementation.
TUnZipSeams DefaultUnZipSeams();
