// Saving an IDF file when the disk takes only part of it (natively: a file size limit stands
// in for a full disk).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <string>
#include <vector>

#include "common/osfile.h"
#include "common/testsupport.h"
#include "description/InstIDF.h"

namespace {

TEST(IdfSaveOnAFullDisk, TheFileKeepsItsPreviousTextAndNothingIsLeftBeside) {
  TempDir dir;
  const std::string path = dir.File("uninst.idf");
  const std::string previous = "IDF-CPS-text\r\n\r\n[Installed]\r\nFile=C:\\Q\\a.txt\r\n";
  WriteFileBytes(path, previous);

  TIDFTextFile idf;
  TIDFSection* section = idf.AddSection("Installed");
  for (int i = 0; i < 1000; ++i) {
    section->AddParam("File" + std::to_string(i))->SetAsString("C:\\Q\\file" + std::to_string(i));
  }

  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 4096;
  void (*savedSignal)(int) = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool savedOk = idf.SaveToFile(path);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, savedSignal);

  EXPECT_FALSE(savedOk);
  EXPECT_EQ(ReadFileBytes(path), previous);
  const std::vector<os::DirEntry> entries = os::ListDirectory(dir.Path());
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].Name, "uninst.idf");

  // With room on the disk the same text is saved whole.
  EXPECT_TRUE(idf.SaveToFile(path));
  TIDFTextFile back;
  ASSERT_TRUE(back.LoadFromFile(path));
  ASSERT_EQ(back.SectionCount(), 1);
  EXPECT_EQ(back.Sections(0)->ParamCount(), 1000);
}

}  // namespace
