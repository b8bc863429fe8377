// A reader of the headers of Windows program files (PE images), for setupkit's checks of
// the plug-in libraries and setup.exe of a distribution: the machine type of the COFF
// header, whether the image is a DLL, and the names of its export directory. Portable: it
// reads the file's bytes, so it works natively as well as in setupkit.exe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr std::uint16_t kPeMachineI386 = 0x014C;
constexpr std::uint16_t kPeMachineAmd64 = 0x8664;

struct TPeInfo {
  std::uint16_t Machine = 0;
  bool IsDll = false;                    // IMAGE_FILE_DLL in the COFF characteristics
  std::vector<std::string> ExportNames;  // as stored (ANSI bytes), in the directory's order
};

// "x86-64", "i386", or the number in hex ("0x1C4") for another machine type.
std::string PeMachineName(std::uint16_t machine);

// Reads the headers and the export names from the image bytes. On failure returns false
// and sets `error` to what is wrong ("not a Windows program file: no MZ signature", ...);
// every offset is checked against the bytes, so a damaged file never reads out of bounds.
bool ReadPeImage(const std::string& bytes, TPeInfo& info, std::string& error);
// The same for a file; the system's reason when it cannot be read.
bool ReadPeFile(const std::string& path, TPeInfo& info, std::string& error);
