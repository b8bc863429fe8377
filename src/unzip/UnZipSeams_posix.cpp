// Natively there is no user interface to ask and no removable drive to query: dialogs
// answer "cancelled", drives are fixed and have no label.
#include "unzip/UnZipSeams.h"

TUnZipSeams DefaultUnZipSeams() {
  TUnZipSeams seams;
  seams.OpenFileDialog = [](const std::string&, const std::string&, const std::string&,
                            std::string&) { return false; };
  seams.SelectDirectory = [](std::string&) { return false; };
  seams.DriveType = [](const std::string&) -> unsigned { return 3; };  // fixed
  seams.VolumeLabel = [](const std::string&, std::string&) { return false; };
  seams.ProcessMessages = [] {};
  seams.SetBusyCursor = [](bool) {};
  return seams;
}
