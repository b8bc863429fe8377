// The program's archive size reader: the ZIP reader opens the archive, reads its directory
// and the unpacked sizes of all entries are added up. It is what every new TArchiveSize
// starts with.
#include <cstdint>
#include <string>

#include "description/InstList.h"
#include "unzip/UnZip.h"

std::int64_t ReadZipUncompressedSize(const std::string& archivePath) {
  TUnZip zip;
  zip.DoProcessMessages = false;
  zip.SetZipName(archivePath);
  zip.ReadArchive();
  std::int64_t total = 0;
  for (int i = 0; i < zip.EntryCount(); ++i) {
    // The directory holds the size as an unsigned 32-bit number.
    total += static_cast<std::uint32_t>(zip.EntryUncompressedSize(i));
  }
  return total;
}
