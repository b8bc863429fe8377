// The journal's records and its undo of file changes, natively and under Wine alike.
#include <gtest/gtest.h>

#include "common/osfile.h"
#include "common/testsupport.h"
#include "engine/Journal.h"
#include "engine/JournalPlan.h"
#include "journal_files_support.h"

namespace {

TEST(JournalRecords, FieldsSurviveTheirEscapes) {
  const std::vector<std::string> fields{"a\tb", "c\\d", "line\nnext\r", "", "\\t"};
  EXPECT_EQ(DecodeJournalFields(EncodeJournalFields(fields)), fields);
  const TJournalRecord record{TJournalKind::ValueChanged, {"HKLM32", "\\Software\\X", "na\tme", "1:00ff"}};
  const std::string line = EncodeJournalRecord(record);
  EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1);
  const auto parsed = ParseJournal(line);
  ASSERT_EQ(parsed.size(), 1u);
  EXPECT_EQ(parsed[0].Kind, TJournalKind::ValueChanged);
  EXPECT_EQ(parsed[0].Fields, record.Fields);
}

TEST(JournalRecords, ATornOrForeignLineIsSkipped) {
  const std::string bytes = EncodeJournalRecord({TJournalKind::FileCreated, {"C:\\a"}}) +
                            "Q\tunknown kind\n" + "R\tonly one field\n" +
                            EncodeJournalRecord({TJournalKind::Note, {"n"}}) + "D\tC:\\torn";
  const auto records = ParseJournal(bytes);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].Kind, TJournalKind::FileCreated);
  EXPECT_EQ(records[1].Kind, TJournalKind::Note);
}

class JournalFiles : public JournalDirectoryTest {
 protected:
  // The header of a journal whose product owns the whole test directory.
  TJournalRecord Header() const {
    return ProductRecord({"Prod", "\\Software\\Prod", "\\Software\\Uninstall\\Prod", {root.Path()}});
  }
};

// Made, replaced and deleted files and a made directory tree all come back as they were;
// the note is the one thing reported as not undone.
TEST_F(JournalFiles, RollbackPutsEveryFileBack) {
  WriteFileBytes(Path("kept.txt"), "old kept");
  WriteFileBytes(Path("gone.txt"), "old gone");
  TJournal journal;
  ASSERT_TRUE(journal.Create(Path("run.jnl")));
  EXPECT_FALSE(TJournal().Create(Path("run.jnl")));  // never over another run's journal
  ASSERT_TRUE(journal.Append(Header()));

  journal.WillCreateDirectories(Path("new\\deep\\er"));
  ASSERT_TRUE(os::CreateDirectories(Path("new\\deep\\er")));
  EXPECT_TRUE(journal.InsideCreated(Path("new\\deep\\er\\file")));
  ASSERT_TRUE(journal.WillWriteFile(Path("new\\deep\\inside.txt")));  // no record of its own
  WriteFileBytes(Path("new\\deep\\inside.txt"), "x");
  ASSERT_TRUE(journal.WillWriteFile(Path("kept.txt")));
  WriteFileBytes(Path("kept.txt"), "new kept");
  ASSERT_TRUE(journal.WillWriteFile(Path("made.txt")));
  WriteFileBytes(Path("made.txt"), "made");
  ASSERT_TRUE(journal.DeleteWithBackup(Path("gone.txt")));
  EXPECT_FALSE(os::FileExists(Path("gone.txt")));
  journal.Note("a library's own work");
  EXPECT_EQ(journal.Records().size(), 6u);

  std::vector<std::string> log;
  EXPECT_EQ(journal.Rollback(nullptr, [&](const std::string& line) { log.push_back(line); }), 1);
  EXPECT_EQ(ReadFileBytes(Path("kept.txt")), "old kept");
  EXPECT_EQ(ReadFileBytes(Path("gone.txt")), "old gone");
  EXPECT_FALSE(os::FileExists(Path("made.txt")));
  EXPECT_FALSE(os::DirectoryExists(Path("new")));
  EXPECT_FALSE(os::FileExists(Path("run.jnl")));
  EXPECT_FALSE(os::DirectoryExists(Path("run.jnl.d")));
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log[0], " not undone: a library's own work");
  EXPECT_EQ(log[4], " undone: directory made " + Path("new"));
}

// A journal taken over by another run (after a restart, or from a run that died) carries
// on from its last whole record, and committing it leaves nothing behind.
TEST_F(JournalFiles, AnAdoptedJournalGoesOnFromItsLastWholeRecord) {
  WriteFileBytes(Path("kept.txt"), "old");
  {
    TJournal first;
    ASSERT_TRUE(first.Create(Path("run.jnl")));
    ASSERT_TRUE(first.Append(Header()));
    ASSERT_TRUE(first.WillWriteFile(Path("kept.txt")));
    first.Close();
  }
  WriteFileBytes(Path("kept.txt"), "new");
  WriteFileBytes(Path("run.jnl"), ReadFileBytes(Path("run.jnl")) + "F\tC:\\half a rec");
  TJournal second;
  ASSERT_TRUE(second.Adopt(Path("run.jnl")));
  ASSERT_EQ(second.Records().size(), 2u);
  ASSERT_TRUE(second.WillWriteFile(Path("made.txt")));
  WriteFileBytes(Path("made.txt"), "made");
  EXPECT_EQ(ParseJournal(ReadFileBytes(Path("run.jnl"))).size(), 3u);
  EXPECT_EQ(second.Rollback(nullptr, nullptr), 0);
  EXPECT_EQ(ReadFileBytes(Path("kept.txt")), "old");
  EXPECT_FALSE(os::FileExists(Path("made.txt")));

  TJournal third;
  ASSERT_TRUE(third.Create(Path("run.jnl")));
  ASSERT_TRUE(third.WillWriteFile(Path("kept.txt")));
  third.Commit();
  EXPECT_FALSE(os::FileExists(Path("run.jnl")));
  EXPECT_FALSE(os::DirectoryExists(Path("run.jnl.d")));
}

// A record may name a change the crash came before: its undo finds nothing to do.
TEST_F(JournalFiles, UndoToleratesChangesThatNeverHappened) {
  const std::vector<TJournalRecord> records{
      Header(),
      {TJournalKind::DirCreated, {Path("never")}},
      {TJournalKind::FileCreated, {Path("never.txt")}},
      {TJournalKind::FileReplaced, {Path("x.txt"), Path("run.jnl.d\\1")}},
      {TJournalKind::FileDeleted, {Path("y.txt"), Path("run.jnl.d\\2")}},
  };
  const TRollbackPlan plan = PlanRollback(records, Path("run.jnl"));
  EXPECT_TRUE(plan.Refused.empty());
  EXPECT_EQ(UndoJournal(plan, nullptr, nullptr), 0);
  EXPECT_TRUE(os::ListDirectory(root.Path()).empty());
}

}  // namespace
