// Journals that must not be trusted under Wine: one planted where an ordinary user can write,
// one whose owner or access list lets others write it, one with a record outside its product,
// one whose backup lies outside its own directory. None of them changes anything; the same
// journal where it belongs undoes its run. Wine shows every file as owned by the user running
// it, with an access list made from the file's mode, so the owners and access lists that
// Windows would show are given through the test seam; the judgement on them is the real one.
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include "common/osfile.h"
#include "common/pathrules.h"
#include "common/testsupport.h"
#include "common/win32.h"
#include "engine/Journal.h"
#include "engine/JournalPlan.h"
#include "engine/Journal_win32.h"
#include "setup/SetupGlobals.h"

namespace {

struct TPlantCase {
  const char* what;
  bool inJournalDirectory;  // else in the temporary directory, where journals lived before
  const char* directorySddl;  // the journal directory's security as Windows would show it
  const char* fileSddl;       // the journal file's
  enum { Inside, Outside, BackupOutside, NoHeader } records;
  bool undone;
};

class PlantedJournal : public ::testing::TestWithParam<TPlantCase> {
 protected:
  void SetUp() override {
    journalDir = TrustedJournalDirectory();
    ASSERT_FALSE(journalDir.empty());
    SetupGlobals.TempDir = root.File("temp") + "\\";
    ASSERT_TRUE(os::CreateDirectories(root.File("temp")));
    ASSERT_TRUE(os::CreateDirectories(root.File("prod")));
    ASSERT_TRUE(os::CreateDirectories(root.File("victim")));
    WriteFileBytes(root.File("victim\\file.txt"), "mine");
    WriteFileBytes(root.File("prod\\made.txt"), "made");
    WriteFileBytes(root.File("evil.txt"), "evil");
  }
  void TearDown() override {
    JournalSecurityForTest = nullptr;
    os::RemoveFile(journal);
    os::RemoveFile(journal + ".new");
    SetupGlobals.TempDir.clear();
  }
  TempDir root;
  std::string journalDir, journal;
};

TEST_P(PlantedJournal, ChangesNothingUnlessItIsOurs) {
  const TPlantCase& c = GetParam();
  journal = (c.inJournalDirectory ? journalDir : root.File("temp") + "\\") + "ztkinst-planted.jnl";
  const std::string dir = journalDir.substr(0, journalDir.size() - 1);
  JournalSecurityForTest = [&](const std::string& path) -> std::string {
    if (c.directorySddl && path == dir) return c.directorySddl;
    if (c.fileSddl && path == journal) return c.fileSddl;
    return {};
  };
  const std::string victim = root.File("victim\\file.txt");
  std::string bytes;
  if (c.records != TPlantCase::NoHeader) {
    std::vector<std::string> places{root.File("prod")};
    if (c.records != TPlantCase::Outside) places.push_back(root.File("victim"));
    bytes += EncodeJournalRecord(ProductRecord({"Prod", "\\Software\\Quorvalen", "", places}));
  }
  bytes += EncodeJournalRecord({TJournalKind::FileCreated, {root.File("prod\\made.txt")}});
  if (c.records == TPlantCase::BackupOutside) {
    bytes += EncodeJournalRecord({TJournalKind::FileReplaced, {victim, root.File("evil.txt")}});
  } else {
    bytes += EncodeJournalRecord({TJournalKind::FileCreated, {victim}});
  }
  WriteFileBytes(journal, bytes);
  // A trusted journal of a product is undone, as far as its records allow.
  const bool trusted = c.undone || c.records == TPlantCase::Outside || c.records == TPlantCase::BackupOutside;
  EXPECT_EQ(RecoverAbandonedRuns(false), trusted);
  if (c.undone) {
    EXPECT_FALSE(os::FileExists(victim));
    EXPECT_FALSE(os::FileExists(journal));
  } else {
    EXPECT_EQ(ReadFileBytes(victim), "mine");
    EXPECT_EQ(ReadFileBytes(root.File("evil.txt")), "evil");
    EXPECT_TRUE(os::FileExists(journal));  // left alone, or kept with what it was refused
  }
}

const char kOwnedByUser[] = "O:S-1-5-21-1-2-3-1001D:P(A;;FA;;;SY)(A;;FA;;;BA)";
const char kUsersMayWrite[] = "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;BU)";

INSTANTIATE_TEST_SUITE_P(
    Journals, PlantedJournal,
    ::testing::Values(
        TPlantCase{"ours", true, nullptr, nullptr, TPlantCase::Inside, true},
        TPlantCase{"in the temporary directory", false, nullptr, nullptr, TPlantCase::Inside, false},
        TPlantCase{"directory users may write", true, kUsersMayWrite, nullptr, TPlantCase::Inside, false},
        TPlantCase{"directory owned by a user", true, kOwnedByUser, nullptr, TPlantCase::Inside, false},
        TPlantCase{"file owned by a user", true, nullptr, kOwnedByUser, TPlantCase::Inside, false},
        TPlantCase{"file users may write", true, nullptr, kUsersMayWrite, TPlantCase::Inside, false},
        TPlantCase{"a record outside the product", true, nullptr, nullptr, TPlantCase::Outside, false},
        TPlantCase{"a backup outside its directory", true, nullptr, nullptr, TPlantCase::BackupOutside, false},
        TPlantCase{"no product", true, nullptr, nullptr, TPlantCase::NoHeader, false}),
    [](const ::testing::TestParamInfo<TPlantCase>& info) {
      std::string name;
      for (const char* p = info.param.what; *p; ++p) name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
      return name;
    });

struct TSecurityCase {
  const char* sddl;
  bool directory;
  const char* distrust;  // nullptr: trusted; else a part of the reason
};

class JournalSecurity : public ::testing::TestWithParam<TSecurityCase> {};

TEST_P(JournalSecurity, OwnerAndAccessListDecide) {
  const TSecurityCase& c = GetParam();
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(win32::Wide(c.sddl).c_str(), SDDL_REVISION_1,
                                                                   &descriptor, nullptr));
  const std::string why = DistrustOfDescriptor(descriptor, c.directory);
  LocalFree(descriptor);
  if (!c.distrust) {
    EXPECT_EQ(why, "");
  } else {
    EXPECT_NE(why.find(c.distrust), std::string::npos) << why;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Descriptors, JournalSecurity,
    ::testing::Values(
        TSecurityCase{"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", true, nullptr},
        TSecurityCase{"O:SYD:(A;;FA;;;SY)(A;;0x1200a9;;;BU)(D;;FA;;;WD)", false, nullptr},
        TSecurityCase{"O:BAD:(A;OICIIO;FA;;;CO)(A;;FA;;;BA)", true, nullptr},
        TSecurityCase{"O:S-1-5-21-1-2-3-1001D:P(A;;FA;;;SY)", false, "owned by S-1-5-21-1-2-3-1001"},
        TSecurityCase{"O:BAD:(A;;FA;;;WD)", false, "writable by S-1-1-0"},
        TSecurityCase{"O:BAD:(A;;0x2;;;BU)", false, "writable by S-1-5-32-545"},
        TSecurityCase{"O:BAD:(A;;0x10000;;;AU)", true, "writable by S-1-5-11"},
        TSecurityCase{"O:BAD:(A;OICIIO;GA;;;BU)", true, "writable by S-1-5-32-545"},
        TSecurityCase{"O:BAD:(A;;FA;;;CO)", false, "writable by S-1-3-0"},
        TSecurityCase{"O:BA", true, "no access list"}));

// The directory this program makes for its journals is trusted as Wine shows it, and a run's
// journal is made there with the run's product first.
TEST(JournalDirectory, IsMadeProtectedAndTrusted) {
  const std::string dir = TrustedJournalDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir, JournalDirectories().at(0) + "\\");
  EXPECT_EQ(DistrustOf(dir.substr(0, dir.size() - 1), true), "");
  const std::string path = NewRunJournalPath();
  EXPECT_EQ(path.rfind(dir, 0), 0u);
  EXPECT_FALSE(os::FileExists(path));
  EXPECT_EQ(RestartJournalPath(), dir + "ztkinst-restart.jnl");
}

// What exists is named as the file system names it; what does not is appended as given.
TEST(JournalFinalPath, ResolvesWhatExists) {
  TempDir root;
  ASSERT_TRUE(os::CreateDirectories(root.File("Real Dir")));
  const std::string full = pathrules::NormalizeFullPath(root.File("Real Dir"));
  std::string lower = root.File("real dir\\.\\missing\\deeper");
  EXPECT_EQ(FinalPathOf(lower), full + "\\missing\\deeper");
  EXPECT_EQ(FinalPathOf(root.File("Real Dir")), full);
  EXPECT_EQ(FinalPathOf("relative\\path"), "");
}

}  // namespace
