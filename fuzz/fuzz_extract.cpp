// libFuzzer target for the extraction: arbitrary entry data for every decoder family, run
// through ExtractFiles exactly as the installer runs it.
//
// Input layout:
//   byte 0      method selector: low 3 bits 0 to 6 pick methods 0 to 6 (stored, shrunk,
//               reduced 1-4, imploded), 7 picks 8 (deflated), or an unknown method when
//               bit 6 is set as well; bit 3 encrypts the entry (the
//               fuzzer's bytes then are the encrypted data, header included), bits 4-5 become
//               flag bits 1-2 (implode's dictionary and trees)
//   bytes 1-3   uncompressed size to claim (little-endian, masked to 1 MiB)
//   byte 4      low 3 bits: length of a stored name of at most 7 characters from
//               "a./\\:b", so that ".." and absolute names come up too
//   rest        the name, then the entry's data
//
// Checks beyond "no crash, no hang, no sanitizer report": every file left under the target
// is one that OnEndUnZip reported, with the stored CRC-32, and nothing is written outside.
//
// Build and run: fuzz/build_fuzz_extract.sh
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "common/osfile.h"
#include "setup/Messages.h"
#include "unzip/Crc32.h"
#include "unzip/UnZip.h"

namespace {

namespace fs = std::filesystem;

void PutU16(std::string& s, unsigned v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}
void PutU32(std::string& s, std::uint32_t v) {
  PutU16(s, v & 0xFFFF);
  PutU16(s, v >> 16);
}

std::string OneEntryZip(const std::string& name, const std::string& data, unsigned method,
                        unsigned flags, std::uint32_t crc, std::uint32_t size) {
  std::string out, central;
  PutU32(out, 0x04034B50);
  PutU16(out, 20);
  PutU16(out, flags);
  PutU16(out, method);
  PutU32(out, 0x5A8E6C21);
  PutU32(out, crc);
  PutU32(out, static_cast<std::uint32_t>(data.size()));
  PutU32(out, size);
  PutU16(out, static_cast<unsigned>(name.size()));
  PutU16(out, 0);
  out += name + data;
  PutU32(central, 0x02014B50);
  PutU16(central, 20);
  PutU16(central, 20);
  PutU16(central, flags);
  PutU16(central, method);
  PutU32(central, 0x5A8E6C21);
  PutU32(central, crc);
  PutU32(central, static_cast<std::uint32_t>(data.size()));
  PutU32(central, size);
  PutU16(central, static_cast<unsigned>(name.size()));
  for (int i = 0; i < 4; ++i) PutU16(central, 0);
  PutU32(central, 0x20);
  PutU32(central, 0);
  central += name;
  std::uint32_t centralOffset = static_cast<std::uint32_t>(out.size());
  out += central;
  PutU32(out, 0x06054B50);
  PutU16(out, 0);
  PutU16(out, 0);
  PutU16(out, 1);
  PutU16(out, 1);
  PutU32(out, static_cast<std::uint32_t>(central.size()));
  PutU32(out, centralOffset);
  PutU16(out, 0);
  return out;
}

const std::string& ScratchDir() {
  static const std::string dir = [] {
    std::string d = (fs::exists("/dev/shm") ? std::string("/dev/shm") : fs::temp_directory_path().string()) +
                    "/fuzz_extract_" + std::to_string(getpid());
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  static const unsigned kMethods[8] = {0, 1, 2, 3, 4, 5, 6, 8};
  unsigned selector = data[0];
#ifdef FUZZ_FAMILY
  // One decoder family only (0 stored, 1 shrunk, 2 reduced, 3 imploded, 4 deflated), so that
  // each family gets a run of its own.
  static const unsigned kFamilyLow[5] = {0, 1, 2, 6, 7};
  unsigned low = kFamilyLow[FUZZ_FAMILY] + (FUZZ_FAMILY == 2 ? (selector & 3) : 0);
  selector = (selector & ~0x47u) | low;
#endif
  unsigned method = (selector & 7) == 7 && (selector & 0x40) ? 99 : kMethods[selector & 7];
  unsigned flags = ((selector >> 3) & 1) | (((selector >> 4) & 3) << 1);
  std::uint32_t claimed = (data[1] | (data[2] << 8) | (data[3] << 16)) & 0xFFFFF;
  std::size_t nameLength = data[4] & 7;
  if (size < 5 + nameLength) return 0;
  static const char kAlphabet[] = "a./\\:b";
  std::string name;
  for (std::size_t i = 0; i < nameLength; ++i) name += kAlphabet[data[5 + i] % 6];
  if (name.empty()) name = "f.bin";
  std::string body(reinterpret_cast<const char*>(data) + 5 + nameLength, size - 5 - nameLength);
  // A CRC that the data can match: that of the first `claimed` bytes of the body, so that
  // stored entries (and lucky decodes) reach the success path too.
  std::uint32_t crc = unzip::Crc32(reinterpret_cast<const std::uint8_t*>(body.data()),
                                   std::min<std::size_t>(body.size(), claimed));

  const std::string root = ScratchDir();
  const std::string archive = root + "/in.zip";
  const std::string dest = root + "/out/target";
  {
    os::File f = os::OpenFile(archive, os::OpenMode::Create, false);
    std::string zip = OneEntryZip(name, body, method, flags, crc, claimed);
    f.Write(zip.data(), zip.size());
  }

  SetMessageBoxHandler([](const std::string&, const std::string&, unsigned) { return mb::kIdOk; });
  std::set<std::string> reported;
  try {
    TUnZip zip;
    zip.RecreateDirs = true;
    zip.DoAll = true;
    zip.OverwriteMode = TUZOverwriteMode::Always;
    zip.IncompleteZipMode = izAssumeBad;
    zip.Password = "fuzz";
    zip.OnEndUnZip = [&](TUnZip*, int, const std::string& p) {
      reported.insert(fs::weakly_canonical(os::NativePath(p)).string());
    };
    zip.SetZipName(archive);
    zip.SetDestDir(dest);
    zip.ExtractFiles();
  } catch (const Exception&) {
    // A clear error of the reader is a fine outcome for bad input.
  }

  // Nothing may appear beside the target directory, and every file in it must be one that
  // was reported as good.
  for (const auto& e : fs::recursive_directory_iterator(root + "/out")) {
    if (!e.is_regular_file()) continue;
    std::string path = fs::weakly_canonical(e.path()).string();
    if (path.rfind(fs::weakly_canonical(dest).string() + "/", 0) != 0) {
      std::fprintf(stderr, "written outside the target: %s\n", path.c_str());
      std::abort();
    }
    if (!reported.count(path)) {
      std::fprintf(stderr, "unreported file left behind: %s\n", path.c_str());
      std::abort();
    }
  }
  fs::remove_all(root + "/out");
  return 0;
}
