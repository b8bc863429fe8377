// Fuzz target for the archive directory reader: the input is written as an archive (and as
// two further disks of a numbered set) and read with TUnZip, then every entry is looked at
// through the accessors and in every sort order. Only the reader's own exceptions and file
// errors may come out; anything else (a crash, a leak, a hang) is a finding.
//
// The first byte chooses the options (incomplete mode, sort mode, self-extractor name).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/errors.h"
#include "setup/Messages.h"
#include "unzip/UnZip.h"
#include "unzip/UnZipListing.h"

// The reader only shows a box for removable disks, which the native build has not; answer
// any box with Cancel so nothing waits.
int ShowMessageBox(const std::string&, const std::string&, unsigned) { return mb::kIdCancel; }

namespace {

const std::string& WorkDir() {
  static const std::string dir = [] {
    char pattern[] = "/tmp/fuzz_directory.XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made == nullptr) std::abort();
    return std::string(made);
  }();
  return dir;
}

void WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (size != 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t options = data[0];
  ++data;
  --size;

  const std::string base = WorkDir() + (options & 0x80 ? "/in" : "/IN");
  const std::string archive = base + (options & 0x40 ? ".EXE" : ".zip");
  WriteFile(archive, data, size);
  WriteFile(base + ".001", data, size);
  WriteFile(base + ".002", data, size);

  TUnZip zip;
  zip.DoProcessMessages = false;
  zip.KeepZipOpen = (options & 0x20) != 0;
  zip.IncompleteZipMode = (options & 0x10) ? izAssumeBad : izAssumeMulti;
  zip.SortMode = static_cast<TZipSortMode>((options & 0x0F) % 8);
  try {
    zip.SetZipName(archive);
    zip.ReadArchive();
    const int count = zip.EntryCount();
    for (int i = 0; i < count; ++i) {
      // Whatever the stored bytes, the flag and the Unicode Path field say, a name inside the
      // program is well-formed UTF-8 with "\\" separators.
      const std::string name = zip.EntryDirectory(i) + zip.EntryFileName(i);
      if (!zip::IsUtf8(name) || name.find('/') != std::string::npos) std::abort();
      (void)zip.EntryDateTime(i);
      (void)zip.EntryUncompressedSize(i);
      (void)zip.EntryAttributes(i);
      (void)zip.EntryComment(i);
    }
    (void)zip.ArchiveComment();
    (void)ArchiveListingJson(zip);
    for (int mode = 0; mode < 8; ++mode) {
      zip.ApplySortMode(static_cast<TZipSortMode>(mode));
      if (zip.EntryCount() != count) std::abort();
    }
    (void)zip.EntryFileName(count);  // one past the end: a list error
  } catch (const Exception&) {
    // The reader's exceptions, list errors and file errors are its normal answers.
  }
  return 0;
}
