// The PE header reader of setupkit check: machine type, DLL flag and export names from
// images made here byte by byte, and every damaged near-copy refused without reading out of
// bounds.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/testsupport.h"
#include "tools/setupkit/PeFile.h"

namespace {

void Put16(std::string& b, std::size_t at, std::uint32_t v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& b, std::size_t at, std::uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}

// Offsets of the fields the cases below damage.
constexpr std::size_t kPeAt = 0x40;
constexpr std::size_t kCoff = kPeAt + 4;
constexpr std::size_t kOptional = kCoff + 20;
constexpr std::size_t kRaw = 0x200;       // file offset of the one section, the export data
constexpr std::uint32_t kVa = 0x1000;     // its RVA

struct TImageShape {
  std::uint16_t Machine = kPeMachineAmd64;
  bool Dll = true;
  std::vector<std::string> Names;
};

// A minimal image: DOS header, PE signature, COFF header, optional header (PE32+ for
// x86-64, PE32 otherwise) with 16 data directories, one section holding the export
// directory, its name table and the names.
std::string MakeImage(const TImageShape& shape) {
  const bool plus = shape.Machine != kPeMachineI386;
  const std::size_t optionalSize = (plus ? 112 : 96) + 16 * 8;
  std::string edata(40 + 4 * shape.Names.size(), '\0');
  std::string strings;
  for (std::size_t i = 0; i < shape.Names.size(); ++i) {
    Put32(edata, 40 + 4 * i,
          kVa + static_cast<std::uint32_t>(40 + 4 * shape.Names.size() + strings.size()));
    strings += shape.Names[i];
    strings += '\0';
  }
  Put32(edata, 16, 1);                                            // ordinal base
  Put32(edata, 20, static_cast<std::uint32_t>(shape.Names.size()));
  Put32(edata, 24, static_cast<std::uint32_t>(shape.Names.size()));
  Put32(edata, 32, kVa + 40);                                     // the name table
  edata += strings;

  std::string b(kRaw, '\0');
  b[0] = 'M';
  b[1] = 'Z';
  Put32(b, 0x3C, kPeAt);
  b.replace(kPeAt, 4, std::string("PE\0\0", 4));
  Put16(b, kCoff, shape.Machine);
  Put16(b, kCoff + 2, 1);
  Put16(b, kCoff + 16, static_cast<std::uint32_t>(optionalSize));
  Put16(b, kCoff + 18, shape.Dll ? 0x2022 : 0x0022);
  Put16(b, kOptional, plus ? 0x20B : 0x10B);
  const std::size_t dirs = kOptional + (plus ? 108 : 92);
  Put32(b, dirs, 16);
  Put32(b, dirs + 4, kVa);
  Put32(b, dirs + 8, static_cast<std::uint32_t>(edata.size()));
  const std::size_t section = kOptional + optionalSize;
  b.replace(section, 6, ".edata");
  Put32(b, section + 8, static_cast<std::uint32_t>(edata.size()));
  Put32(b, section + 12, kVa);
  Put32(b, section + 16, static_cast<std::uint32_t>(edata.size()));
  Put32(b, section + 20, kRaw);
  return b + edata;
}

const std::vector<std::string> kNames = {"AskQuestions", "Perform", "SetPath"};

TEST(PeFile, ReadsMachineDllFlagAndExportNames) {
  struct Case {
    TImageShape shape;
    const char* machine;
  };
  const Case cases[] = {
      {{kPeMachineAmd64, true, kNames}, "x86-64"},
      {{kPeMachineI386, true, kNames}, "i386"},
      {{kPeMachineAmd64, false, {}}, "x86-64"},
      {{0x01C4, true, {"_Perform@0"}}, "0x1C4"},
  };
  for (const Case& c : cases) {
    TPeInfo info;
    std::string error;
    ASSERT_TRUE(ReadPeImage(MakeImage(c.shape), info, error)) << c.machine << ": " << error;
    EXPECT_EQ(info.Machine, c.shape.Machine);
    EXPECT_EQ(PeMachineName(info.Machine), c.machine);
    EXPECT_EQ(info.IsDll, c.shape.Dll);
    EXPECT_EQ(info.ExportNames, c.shape.Names);
  }
}

TEST(PeFile, DamagedImagesAreRefusedWithAReason) {
  const std::string good = MakeImage({kPeMachineAmd64, true, kNames});
  const std::size_t section = kOptional + 112 + 16 * 8;
  struct Case {
    const char* name;
    std::size_t at;      // where the damage goes
    std::uint32_t value; // written as 32 bits (16 for the fields that are)
    bool wide;
    const char* error;
  };
  const Case cases[] = {
      {"no MZ", 0, 0x5A4E, false, "no MZ signature"},
      {"e_lfanew past the end", 0x3C, 0xFFFFFFF0, true, "no PE signature"},
      {"no PE signature", kPeAt, 0x00004550 + 1, true, "no PE signature"},
      {"optional header past the end", kCoff + 16, 0xFFFF, false, "optional header"},
      {"unknown optional header", kOptional, 0x0107, false, "unknown optional header magic"},
      {"huge section count", kCoff + 2, 0xFFFF, false, "section table"},
      {"export directory outside the sections", kOptional + 112, 0x9000, true,
       "export directory"},
      {"section data past the end", section + 20, 0x7FFFFFF0, true, "export directory"},
      {"huge name count", kRaw + 24, 0xFFFFFFFF, true, "name table"},
      {"name table outside the sections", kRaw + 32, 0x00FF0000, true, "name table"},
      {"name outside the sections", kRaw + 40, 0x00FF0000, true, "export name 1"},
  };
  for (const Case& c : cases) {
    std::string bytes = good;
    if (c.wide) {
      Put32(bytes, c.at, c.value);
    } else {
      Put16(bytes, c.at, c.value);
    }
    TPeInfo info;
    std::string error;
    EXPECT_FALSE(ReadPeImage(bytes, info, error)) << c.name;
    EXPECT_NE(error.find(c.error), std::string::npos) << c.name << ": " << error;
  }
}

// Every prefix of a good image is read without a fault: the headers cut off are refused,
// and the export names are all there or the image is refused.
TEST(PeFile, EveryCutOffImageIsHandled) {
  const std::string good = MakeImage({kPeMachineI386, true, kNames});
  for (std::size_t size = 0; size <= good.size(); ++size) {
    TPeInfo info;
    std::string error;
    const bool ok = ReadPeImage(good.substr(0, size), info, error);
    if (ok) {
      EXPECT_EQ(info.ExportNames, kNames) << size;
    } else {
      EXPECT_FALSE(error.empty()) << size;
    }
    EXPECT_EQ(ok, size == good.size()) << size;  // down to the last name's terminator
  }
}

TEST(PeFile, AnUnterminatedLastNameIsRefused) {
  std::string bytes = MakeImage({kPeMachineAmd64, true, {"Perform"}});
  bytes.back() = 'x';
  TPeInfo info;
  std::string error;
  EXPECT_FALSE(ReadPeImage(bytes, info, error));
  EXPECT_TRUE(info.ExportNames.empty());
}

TEST(PeFile, ReadsAFileAndSaysWhyOneCannotBeRead) {
  TempDir dir;
  WriteFileBytes(dir.File("plugin.dll"), MakeImage({kPeMachineI386, true, kNames}));
  TPeInfo info;
  std::string error;
  ASSERT_TRUE(ReadPeFile(dir.File("plugin.dll"), info, error)) << error;
  EXPECT_EQ(info.Machine, kPeMachineI386);
  EXPECT_EQ(info.ExportNames, kNames);
  EXPECT_FALSE(ReadPeFile(dir.File("none.dll"), info, error));
  EXPECT_NE(error.find("cannot be opened"), std::string::npos) << error;
  EXPECT_FALSE(ReadPeFile(dir.Path(), info, error));
}

}  // namespace
