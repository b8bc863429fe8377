// What a roll-back may touch: only the journal's own product, and backups only from the
// journal's own backup directory; a journal that cannot be written says so; a backup that
// cannot be put back stays for the next try. Natively and under Wine alike.
#include <gtest/gtest.h>

#include "common/osfile.h"
#include "common/testsupport.h"
#include "engine/Journal.h"
#include "engine/JournalPlan.h"
#include "journal_files_support.h"

namespace {

const char kJournal[] = "C:\\ProgramData\\ztkinst\\Journals\\ztkinst-1.jnl";

TJournalProduct Product() {
  return {"Prod",
          "\\Software\\Quorvalen",
          "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Prod",
          {"C:\\Program Files\\Prod", "C:\\Menu\\Programs\\Vendor\\Group", "C:\\Windows\\ztkuinst.exe",
           "C:\\", "relative\\dir"}};
}

struct TPlanCase {
  const char* what;
  TJournalRecord record;
  const char* refusal;  // nullptr: accepted; else a part of the reason
};

class JournalPlan : public ::testing::TestWithParam<TPlanCase> {};

TEST_P(JournalPlan, JudgesEachRecordByTheProduct) {
  const TPlanCase& c = GetParam();
  const TRollbackPlan plan = PlanRollback({ProductRecord(Product()), c.record}, kJournal);
  ASSERT_TRUE(plan.HasProduct);
  if (!c.refusal) {
    ASSERT_EQ(plan.Steps.size(), 1u) << (plan.Refused.empty() ? "" : plan.Refused[0].Reason);
    EXPECT_TRUE(plan.Refused.empty());
  } else {
    ASSERT_EQ(plan.Refused.size(), 1u);
    EXPECT_TRUE(plan.Steps.empty());
    EXPECT_NE(plan.Refused[0].Reason.find(c.refusal), std::string::npos) << plan.Refused[0].Reason;
  }
}

using K = TJournalKind;
const char kBackup[] = "C:\\ProgramData\\ztkinst\\Journals\\ztkinst-1.jnl.d\\3";
const char kEnvironment[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

INSTANTIATE_TEST_SUITE_P(
    Records, JournalPlan,
    ::testing::Values(
        TPlanCase{"made file inside", {K::FileCreated, {"C:\\Program Files\\Prod\\bin\\a.exe"}}, nullptr},
        TPlanCase{"the install dir itself", {K::DirCreated, {"c:/program files/prod/"}}, nullptr},
        TPlanCase{"its missing parent", {K::DirCreated, {"C:\\Program Files"}}, nullptr},
        TPlanCase{"the group's parent", {K::DirCreated, {"C:\\Menu\\Programs\\Vendor"}}, nullptr},
        TPlanCase{"uninstaller copy", {K::FileCreated, {"C:\\WINDOWS\\ztkuinst.exe"}}, nullptr},
        TPlanCase{"beside the uninstaller", {K::FileCreated, {"C:\\Windows\\notepad.exe"}}, "outside"},
        TPlanCase{"a drive as a place", {K::FileCreated, {"C:\\boot.ini"}}, "outside"},
        TPlanCase{"a drive made", {K::DirCreated, {"C:\\"}}, "outside"},
        TPlanCase{"climbing out", {K::FileCreated, {"C:\\Program Files\\Prod\\..\\Other\\x"}}, "outside"},
        TPlanCase{"a sibling's prefix", {K::FileCreated, {"C:\\Program Files\\Product\\x"}}, "outside"},
        TPlanCase{"a relative path", {K::FileCreated, {"Prod\\x"}}, "not a full path"},
        TPlanCase{"a device", {K::FileCreated, {"\\\\.\\C:\\Program Files\\Prod\\x"}}, "not a full path"},
        TPlanCase{"a stream", {K::FileCreated, {"C:\\Program Files\\Prod\\x:evil"}}, "not a full path"},
        TPlanCase{"an extended path inside", {K::FileCreated, {"\\\\?\\C:\\Program Files\\Prod\\x"}}, nullptr},
        TPlanCase{"replaced with its backup", {K::FileReplaced, {"C:\\Program Files\\Prod\\x", kBackup}}, nullptr},
        TPlanCase{"backup elsewhere",
                  {K::FileReplaced, {"C:\\Program Files\\Prod\\x", "C:\\Users\\u\\evil.dll"}}, "backup"},
        TPlanCase{"backup climbing out",
                  {K::FileDeleted, {"C:\\Program Files\\Prod\\x", std::string(kJournal) + ".d\\..\\x"}}, "backup"},
        TPlanCase{"the backup directory itself",
                  {K::FileDeleted, {"C:\\Program Files\\Prod\\x", std::string(kJournal) + ".d"}}, "backup"},
        TPlanCase{"deleted outside", {K::FileDeleted, {"C:\\Windows\\system32\\x.dll", kBackup}}, "outside"},
        TPlanCase{"product key", {K::KeyChanged, {"HKLM32", "\\Software\\Quorvalen", ""}}, nullptr},
        TPlanCase{"product subkey", {K::KeyChanged, {"HKLM", "\\SOFTWARE\\QUORVALEN\\SubSystems", ""}}, nullptr},
        TPlanCase{"uninstall entry", {K::ValueChanged, {"HKLM32", "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Prod", "EstimatedSize", "-"}}, nullptr},
        TPlanCase{"another entry", {K::KeyChanged, {"HKLM", "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Prod2", ""}}, "outside the product"},
        TPlanCase{"the software key", {K::KeyChanged, {"HKLM", "\\Software", ""}}, "outside the product"},
        TPlanCase{"the user's hive", {K::KeyChanged, {"HKCU", "\\Software\\Quorvalen", ""}}, "root"},
        TPlanCase{"the machine's Path", {K::ValueChanged, {"HKLM", kEnvironment, "PATH", "-"}}, nullptr},
        TPlanCase{"another environment value", {K::ValueChanged, {"HKLM", kEnvironment, "ComSpec", "-"}}, "outside the product"},
        TPlanCase{"the environment key", {K::KeyChanged, {"HKLM", kEnvironment, ""}}, "outside the product"},
        TPlanCase{"a rename at the restart",
                  {K::RestartOperation, {"C:\\Program Files\\Prod\\~restart\\a", "C:\\Program Files\\Prod\\a"}}, nullptr},
        TPlanCase{"a deletion at the restart", {K::RestartOperation, {"C:\\Program Files\\Prod\\a", ""}}, nullptr},
        TPlanCase{"a rename out", {K::RestartOperation, {"C:\\Program Files\\Prod\\a", "C:\\Windows\\a"}}, "outside"},
        TPlanCase{"a note", {K::Note, {"text"}}, nullptr},
        TPlanCase{"a second header", ProductRecord(Product()), "header"},
        TPlanCase{"fields missing", {K::FileReplaced, {"C:\\Program Files\\Prod\\x"}}, "malformed"}),
    [](const ::testing::TestParamInfo<TPlanCase>& info) {
      std::string name;
      for (const char* p = info.param.what; *p; ++p) name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
      return name;
    });

TEST(JournalPlanWhole, AJournalWithoutItsProductUndoesNothing) {
  const std::vector<TJournalRecord> records{{K::FileCreated, {"C:\\Program Files\\Prod\\x"}},
                                            ProductRecord(Product())};
  const TRollbackPlan plan = PlanRollback(records, kJournal);
  EXPECT_FALSE(plan.HasProduct);
  EXPECT_TRUE(plan.Steps.empty());
  EXPECT_EQ(plan.Refused.size(), 2u);
  EXPECT_TRUE(PlanRollback({}, kJournal).Steps.empty());
}

// A place is judged where it really leads: a junction inside the product that points out of
// it takes what lies behind it out of the roll-back; a directory made above the product
// leads only to the product's places.
TEST(JournalPlanWhole, FinalPathsDecideWhatExists) {
  const auto finalPath = [](const std::string& path) {
    const std::string junction = "C:\\Program Files\\Prod\\link";
    if (path.rfind(junction, 0) == 0) return "C:\\Windows" + path.substr(junction.size());
    return path;
  };
  const TRollbackPlan plan = PlanRollback({ProductRecord(Product()),
                                           {K::FileCreated, {"C:\\Program Files\\Prod\\link\\win.ini"}},
                                           {K::FileCreated, {"C:\\Program Files\\Prod\\a.txt"}},
                                           {K::DirCreated, {"C:\\Program Files"}}},
                                          kJournal, finalPath);
  ASSERT_EQ(plan.Refused.size(), 1u);
  EXPECT_EQ(plan.Refused[0].Record.Fields[0], "C:\\Program Files\\Prod\\link\\win.ini");
  ASSERT_EQ(plan.Steps.size(), 2u);
  EXPECT_EQ(plan.Steps[1].Above, std::vector<std::string>{"C:\\Program Files\\Prod"});
}

class JournalKeeping : public JournalDirectoryTest {
 protected:
  TJournalRecord Header() const { return ProductRecord({"Prod", "\\Software\\Prod", "", {Path("prod")}}); }
};

// A write that fails (a full disk) is reported once; the journal writes nothing more, keeps
// every record in memory, and the change it was about is not made.
TEST_F(JournalKeeping, AFailedWriteIsReported) {
  ASSERT_TRUE(os::CreateDirectories(Path("prod")));
  WriteFileBytes(Path("prod\\old.txt"), "old");
  TJournal journal;
  ASSERT_TRUE(journal.Create(Path("run.jnl")));
  ASSERT_TRUE(journal.Append(Header()));
  int reported = 0;
  journal.OnFailure = [&reported] { ++reported; };
  journal.WriteLine = [](const std::string&) { return false; };
  EXPECT_FALSE(journal.Append({K::FileCreated, {Path("prod\\a")}}));
  EXPECT_TRUE(journal.Failed());
  EXPECT_FALSE(journal.DeleteWithBackup(Path("prod\\old.txt")));
  EXPECT_EQ(ReadFileBytes(Path("prod\\old.txt")), "old");
  journal.WriteLine = nullptr;
  EXPECT_FALSE(journal.Append({K::Note, {"n"}}));
  EXPECT_EQ(reported, 1);
  EXPECT_EQ(journal.Records().size(), 4u);
  EXPECT_EQ(ParseJournal(ReadFileBytes(Path("run.jnl"))).size(), 1u);
}

// The backup directory is made new: one that is there already (planted, or left by someone
// else) is not used, and nothing is replaced without its backup.
TEST_F(JournalKeeping, TheBackupDirectoryIsMadeNew) {
  ASSERT_TRUE(os::CreateDirectories(Path("prod")));
  WriteFileBytes(Path("prod\\old.txt"), "old");
  ASSERT_TRUE(os::CreateDirectories(Path("run.jnl.d")));
  TJournal journal;
  ASSERT_TRUE(journal.Create(Path("run.jnl")));
  ASSERT_TRUE(journal.Append(Header()));
  EXPECT_FALSE(journal.WillWriteFile(Path("prod\\old.txt")));
  EXPECT_FALSE(journal.DeleteWithBackup(Path("prod\\old.txt")));
  EXPECT_EQ(ReadFileBytes(Path("prod\\old.txt")), "old");
  EXPECT_TRUE(os::ListDirectory(Path("run.jnl.d")).empty());
}

// A run killed with its last record lost (torn): every file it replaced or deleted comes
// back, and a file that cannot be put back yet (a directory stands in its place) keeps its
// backup and its record for the next start, which puts it back.
TEST_F(JournalKeeping, EveryOriginalFileStaysRecoverable) {
  ASSERT_TRUE(os::CreateDirectories(Path("prod")));
  WriteFileBytes(Path("prod\\kept.txt"), "old kept");
  WriteFileBytes(Path("prod\\gone.txt"), "old gone");
  {
    TJournal journal;
    ASSERT_TRUE(journal.Create(Path("run.jnl")));
    ASSERT_TRUE(journal.Append(Header()));
    ASSERT_TRUE(journal.WillWriteFile(Path("prod\\kept.txt")));
    WriteFileBytes(Path("prod\\kept.txt"), "new kept");
    ASSERT_TRUE(journal.DeleteWithBackup(Path("prod\\gone.txt")));
    ASSERT_TRUE(journal.WillWriteFile(Path("prod\\made.txt")));
    journal.Close();
  }
  // The made file's record lost with its end: the journal ends in a torn line.
  std::string bytes = ReadFileBytes(Path("run.jnl"));
  bytes.resize(bytes.rfind('\n', bytes.size() - 2) + 6);
  WriteFileBytes(Path("run.jnl"), bytes);
  ASSERT_TRUE(os::CreateDirectories(Path("prod\\gone.txt\\in the way")));

  TJournal first;
  ASSERT_TRUE(first.Adopt(Path("run.jnl")));
  EXPECT_EQ(first.Rollback(nullptr, nullptr), 1);
  EXPECT_EQ(ReadFileBytes(Path("prod\\kept.txt")), "old kept");
  ASSERT_TRUE(os::FileExists(Path("run.jnl")));
  const auto left = ParseJournal(ReadFileBytes(Path("run.jnl")));
  ASSERT_EQ(left.size(), 2u);
  EXPECT_EQ(left[0].Kind, K::Product);
  EXPECT_EQ(left[1].Kind, K::FileDeleted);
  EXPECT_EQ(ReadFileBytes(left[1].Fields[1]), "old gone");

  ASSERT_TRUE(os::RemoveDir(Path("prod\\gone.txt\\in the way")));
  ASSERT_TRUE(os::RemoveDir(Path("prod\\gone.txt")));
  TJournal next;
  ASSERT_TRUE(next.Adopt(Path("run.jnl")));
  EXPECT_EQ(next.Rollback(nullptr, nullptr), 0);
  EXPECT_EQ(ReadFileBytes(Path("prod\\gone.txt")), "old gone");
  EXPECT_FALSE(os::FileExists(Path("run.jnl")));
  EXPECT_FALSE(os::DirectoryExists(Path("run.jnl.d")));
}

// Records refused are left alone, and so is the journal: it keeps them (and their backups).
TEST_F(JournalKeeping, RefusedRecordsStayInTheJournal) {
  ASSERT_TRUE(os::CreateDirectories(Path("prod")));
  WriteFileBytes(Path("outside.txt"), "not the product's");
  WriteFileBytes(Path("prod\\made.txt"), "made");
  TJournal journal;
  ASSERT_TRUE(journal.Create(Path("run.jnl")));
  ASSERT_TRUE(journal.Append(Header()));
  ASSERT_TRUE(journal.Append({K::FileCreated, {Path("outside.txt")}}));
  ASSERT_TRUE(journal.Append({K::FileCreated, {Path("prod\\made.txt")}}));
  std::vector<std::string> log;
  EXPECT_EQ(journal.Rollback(nullptr, [&log](const std::string& line) { log.push_back(line); }), 1);
  EXPECT_EQ(ReadFileBytes(Path("outside.txt")), "not the product's");
  EXPECT_FALSE(os::FileExists(Path("prod\\made.txt")));
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log[0], " refused: file made " + Path("outside.txt") + " (outside the product's directories)");
  EXPECT_EQ(ParseJournal(ReadFileBytes(Path("run.jnl"))).size(), 2u);
}

}  // namespace
