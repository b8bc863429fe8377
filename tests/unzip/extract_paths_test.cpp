// Where entries land (RootDir, absolute stored names, ".." that would leave the target) and
// how encrypted entries behave with right, wrong and replaced passwords.
#include <gtest/gtest.h>

#include <filesystem>

#include "extract_test_support.h"
#include "sha256.h"
#include "unzip/UnZip.h"
#include "unzip/UnZipExtractPath.h"

namespace {

using extracttest::BuildZip;
using extracttest::EventLog;
using extracttest::TestEntry;
using Lines = std::vector<std::string>;
namespace fs = std::filesystem;

// ---- target directories -------------------------------------------------------------------

std::string Plan(const std::string& dir, const std::string& destDir, const std::string& rootDir = "",
                 bool recreate = true) {
  auto plan = unzip::PlanTargetDirectory(dir, "f.txt", destDir, rootDir, recreate);
  return plan.Unsafe ? "unsafe" : plan.Directory;
}

TEST(ExtractTarget, StoredDirectoriesGoUnderTheDestination) {
  EXPECT_EQ(Plan("doc\\sub\\", "C:\\t"), "C:\\t\\doc\\sub\\");
  EXPECT_EQ(Plan("", "C:\\t"), "C:\\t\\");
  EXPECT_EQ(Plan("doc\\", "C:\\t", "", false), "C:\\t\\");
}

TEST(ExtractTarget, RootDirIsStrippedIgnoringCase) {
  EXPECT_EQ(Plan("base\\doc\\", "C:\\t", "base\\"), "C:\\t\\doc\\");
  EXPECT_EQ(Plan("BASE\\doc\\", "C:\\t", "base\\"), "C:\\t\\doc\\");
  EXPECT_EQ(Plan("base\\", "C:\\t", "base\\"), "C:\\t\\");
  EXPECT_EQ(Plan("based\\doc\\", "C:\\t", "base\\"), "C:\\t\\based\\doc\\");
}

TEST(ExtractTarget, AbsoluteNamesAreReRootedUnderTheDestination) {
  EXPECT_EQ(Plan("x:\\tools\\", "C:\\t"), "C:\\t\\tools\\");
  EXPECT_EQ(Plan("\\tools\\", "C:\\t"), "C:\\t\\tools\\");
  EXPECT_EQ(Plan("x:\\tools\\", ""), "x:\\tools\\");
  // A drive-relative name must not run into the destination's own last name.
  EXPECT_EQ(Plan("x:tools\\", "C:\\t"), "C:\\t\\tools\\");
}

TEST(ExtractTarget, DotDotThatLeavesTheTargetIsUnsafe) {
  EXPECT_EQ(Plan("..\\", "C:\\t"), "unsafe");
  EXPECT_EQ(Plan("a\\..\\..\\", "C:\\t"), "unsafe");
  EXPECT_EQ(Plan("\\..\\x\\", "C:\\t"), "unsafe");
  EXPECT_EQ(Plan("x:\\..\\", "C:\\t"), "unsafe");
  EXPECT_EQ(Plan("a\\..\\b\\", "C:\\t"), "C:\\t\\a\\..\\b\\");
  EXPECT_EQ(Plan("a\\.\\", "C:\\t"), "C:\\t\\a\\.\\");
  EXPECT_TRUE(unzip::PlanTargetDirectory("a\\", "..", "C:\\t", "", true).Unsafe);
  EXPECT_TRUE(unzip::PlanTargetDirectory("", "..", "C:\\t", "", false).Unsafe);
}

TEST(ExtractTarget, ARootTargetKeepsItsSeparator) {
  EXPECT_EQ(Plan("doc\\", "C:\\"), "C:\\doc\\");
  EXPECT_EQ(Plan("", "C:\\"), "C:\\");
  EXPECT_EQ(Plan("doc\\", "C:\\", "", false), "C:\\");
  EXPECT_EQ(Plan("\\tools\\", "C:\\"), "C:\\tools\\");
  EXPECT_EQ(Plan("x:\\tools\\", "C:\\"), "C:\\tools\\");
  EXPECT_EQ(Plan("x:tools\\", "C:\\"), "C:\\tools\\");
  EXPECT_EQ(Plan("x:\\tools\\", "\\"), "\\tools\\");
  EXPECT_EQ(Plan("doc\\", "/"), "/doc\\");

  TUnZip zip;
  for (const char* root : {"\\", "/", "C:\\", "d:/"}) {
    zip.SetDestDir(root);
    EXPECT_EQ(zip.DestDir(), root);
  }
  zip.SetDestDir("C:\\t\\");
  EXPECT_EQ(zip.DestDir(), "C:\\t");
}

class ExtractPaths : public ::testing::Test {
 protected:
  int Extract(const std::vector<TestEntry>& entries) {
    WriteFileBytes(work.File("test.zip"), BuildZip(entries));
    zip.SetZipName(work.File("test.zip"));
    zip.SetDestDir(work.File("out"));
    zip.RecreateDirs = true;
    zip.DoAll = true;
    zip.OverwriteMode = TUZOverwriteMode::Always;
    log.recordPercent = false;
    log.Attach(zip);
    return zip.ExtractFiles();
  }
  std::string Out(const std::string& relative) const { return work.File("out/" + relative); }
  TempDir work;
  TUnZip zip;
  EventLog log;
};

TEST_F(ExtractPaths, RootDirAndAbsoluteNamesLandUnderTheDestination) {
  zip.SetRootDir("base");
  EXPECT_EQ(Extract({{.name = "base/doc/a.txt", .data = "a"},
                     {.name = "x:/tools/b.exe", .data = "b"},
                     {.name = "/abs/c.txt", .data = "c"}}),
            3);
  EXPECT_EQ(ReadFileBytes(Out("doc/a.txt")), "a");
  EXPECT_EQ(ReadFileBytes(Out("tools/b.exe")), "b");
  EXPECT_EQ(ReadFileBytes(Out("abs/c.txt")), "c");
}

TEST_F(ExtractPaths, EntriesThatClimbOutAreSkippedAndNotCounted) {
  EXPECT_EQ(Extract({{.name = "../evil.txt", .data = "e"},
                     {.name = "a/../../evil2.txt", .data = "e"},
                     {.name = "a/../fine.txt", .data = "f"},
                     {.name = "../up/", .data = ""}}),
            1);
  // The skipped entries' bytes are not part of the total: only fine.txt is written.
  EXPECT_EQ(log.lines, (Lines{"info 4 1", "skip 0 2 ..\\evil.txt", "skip 1 2 a\\..\\..\\evil2.txt",
                              "start 2 " + work.File("out") + "\\a\\..\\fine.txt",
                              "end 2 " + work.File("out") + "\\a\\..\\fine.txt",
                              "skip 3 2 ..\\up\\"}));
  EXPECT_FALSE(fs::exists(work.File("evil.txt")));
  EXPECT_FALSE(fs::exists(work.File("evil2.txt")));
  EXPECT_FALSE(fs::exists(work.File("up")));
  EXPECT_EQ(ReadFileBytes(Out("fine.txt")), "f");
}

TEST_F(ExtractPaths, NamesWindowsCannotHoldAreSkippedAndTheRestIsExtracted) {
  struct Case {
    std::string name;
    bool holdable;
  };
  const Case cases[] = {
      {std::string("nul\0byte.txt", 12), false},
      {"tab\there.txt", false},
      {"bell\x07.txt", false},
      {"stream:name.txt", false},
      {"dir:part/f.txt", false},
      {"CON", false},
      {"con.txt", false},
      {"Nul.tar.gz", false},
      {"aux", false},
      {"PRN.log", false},
      {"COM1", false},
      {"lpt9.doc", false},
      {"CON/f.txt", false},
      {"sub/COM3.txt", false},
      {"ends in dot.", false},
      {"ends in blank ", false},
      {"dots.../f.txt", false},
      {"what?.txt", false},
      {"star*.txt", false},
      {"pipe|.txt", false},
      {"quote\".txt", false},
      {"a<b>.txt", false},
      {"console.txt", true},
      {"COM10.txt", true},
      {"lpt.txt", true},
      {"conx/nul-free.txt", true},
      {".hidden", true},
      {"a.b.c", true},
      {"sp ace.txt", true},
  };
  std::vector<TestEntry> entries;
  int holdable = 0;
  for (const auto& c : cases) {
    entries.push_back({.name = c.name, .data = "x"});
    holdable += c.holdable ? 1 : 0;
  }
  EXPECT_EQ(Extract(entries), holdable);
  EXPECT_EQ(log.lines.front(), "info " + std::to_string(std::size(cases)) + " " +
                                   std::to_string(holdable));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    std::string stored = c.name;
    for (char& ch : stored) {
      if (ch == '/') ch = '\\';
    }
    const std::string skip = "skip " + std::to_string(i) + " 2 " + stored;
    const bool skipped = std::find(log.lines.begin(), log.lines.end(), skip) != log.lines.end();
    EXPECT_EQ(skipped, !c.holdable) << c.name;
    if (c.holdable) {
      EXPECT_EQ(ReadFileBytes(Out(c.name)), "x") << c.name;
    }
  }
  // Nothing stray beside the target: only the holdable names' first parts are in it.
  std::vector<std::string> top;
  for (const auto& entry : fs::directory_iterator(work.File("out"))) {
    top.push_back(entry.path().filename().string());
  }
  std::sort(top.begin(), top.end());
  EXPECT_EQ(top, (std::vector<std::string>{".hidden", "COM10.txt", "a.b.c", "console.txt", "conx",
                                           "lpt.txt", "sp ace.txt"}));
}

// ---- passwords ----------------------------------------------------------------------------

class ExtractPassword : public ::testing::Test {
 protected:
  // Extracts one entry of a corpus archive.
  int Extract(const std::string& archive, const std::string& entry, const std::string& password) {
    zip.SetZipName(TestDataPath("zip/" + archive));
    zip.SetDestDir(work.Path());
    zip.RecreateDirs = true;
    zip.FilesList = {entry};
    zip.OverwriteMode = TUZOverwriteMode::Always;
    zip.Password = password;
    log.recordPercent = false;
    log.Attach(zip);
    return zip.ExtractFiles();
  }
  TempDir work;
  TUnZip zip;
  EventLog log;
};

TEST_F(ExtractPassword, TheRightPasswordExtracts) {
  // Info-ZIP sets the data descriptor bit: the check byte is the high byte of the DOS time.
  EXPECT_EQ(Extract("generated/iz_encrypted.zip", "short.txt", "test123"), 1);
  EXPECT_EQ(Sha256OfFile(work.File("short.txt")),
            "544afbe7f9313449ba68c50b61931e225a5fcf74e181ecac3afc1970b1958d12");
}

TEST_F(ExtractPassword, AWrongPasswordAsksThenSkipsWithoutCreatingAFile) {
  log.passwords = {"second"};  // then the handler hands back what it was given
  EXPECT_EQ(Extract("generated/iz_encrypted.zip", "short.txt", "first"), 0);
  EXPECT_EQ(log.lines, (Lines{"info 1 36", "badpassword 0 first", "badpassword 0 second",
                              "skip 0 0 short.txt"}));
  EXPECT_FALSE(fs::exists(work.File("short.txt")));
  EXPECT_EQ(zip.Password, "second");
}

TEST_F(ExtractPassword, ANewPasswordFromTheHandlerIsTriedAndKept) {
  log.passwords = {"legacy"};
  // The check byte here is the high byte of the CRC-32 (no data descriptor).
  EXPECT_EQ(Extract("generated/hw_encrypted_legacy.zip", "*.txt", "nope"), 4);
  EXPECT_EQ(log.lines[1], "badpassword 0 nope");
  EXPECT_EQ(log.lines[2].rfind("start 0 ", 0), 0u);
  EXPECT_EQ(log.lines.size(), 10u);  // info, badpassword, then start and end for four entries
  EXPECT_EQ(zip.Password, "legacy");
  EXPECT_EQ(Sha256OfFile(work.File("mixed_text.txt")),
            "c77f78431e8632d9a8dd4b1858aa2c6d6b916393d6dd99e6747f77ec578479e1");
}

TEST_F(ExtractPassword, WithoutAHandlerAWrongPasswordSkipsAtOnce) {
  zip.OnBadPassword = nullptr;
  zip.SetZipName(TestDataPath("zip/public/sharpcompress/zipcrypto.zip"));
  zip.SetDestDir(work.Path());
  zip.DoAll = true;
  zip.Password = "wrong";
  int skips = 0;
  zip.OnSkippingFile = [&](TUnZip*, TSkipReason r, const std::string&, int) {
    EXPECT_EQ(r, spWrongPassword);
    ++skips;
  };
  EXPECT_EQ(zip.ExtractFiles(), 0);
  EXPECT_EQ(skips, 8);
  EXPECT_TRUE(fs::is_empty(work.Path()));
}

}  // namespace
