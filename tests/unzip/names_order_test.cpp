// Entry names with letters outside ASCII: sorted as the ANSI texts they stand for, and the
// RootDir prefix found without regard to case.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/text.h"
#include "unzip/UnZipExtractPath.h"
#include "unzip/ZipRecords.h"

namespace {

class Names : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = text::AnsiCodePage();
    text::SetAnsiCodePage(1251);
  }
  void TearDown() override { text::SetAnsiCodePage(saved_); }

  // The names in the order a list of that mode keeps them.
  static std::vector<std::string> Sorted(TZipSortMode mode, const std::vector<std::string>& names) {
    TSortedZip list(dupsAccept);
    list.SortMode = mode;
    for (const std::string& name : names) {
      auto record = std::make_unique<TZipHeaderInfo>();
      record->SetStoredName(name);
      list.Add(record.release());
    }
    std::vector<std::string> out;
    for (int i = 0; i < list.Count(); ++i) {
      out.push_back(list.Entry(i)->Directory() + list.Entry(i)->FileName());
    }
    return out;
  }

 private:
  int saved_ = 0;
};

TEST_F(Names, SortedAsTheirWindows1251Bytes) {
  // Bytes: "Б" 0xC1, "Я" 0xDF, "а" 0xE0, "ё" 0xB8, "я" 0xFF; "z" 0x5A as a capital.
  EXPECT_EQ(Sorted(TZipSortMode::ByName, {"я.txt", "ё.txt", "а.txt", "Я.txt", "Б.txt", "z.txt"}),
            (std::vector<std::string>{"z.txt", "ё.txt", "Б.txt", "Я.txt", "а.txt", "я.txt"}));
  EXPECT_EQ(Sorted(TZipSortMode::ByFileName, {"b\\я", "a\\ё"}),
            (std::vector<std::string>{"a\\ё", "b\\я"}));
  EXPECT_EQ(Sorted(TZipSortMode::ByDirectoryName, {"я\\a", "ё\\b"}),
            (std::vector<std::string>{"ё\\b", "я\\a"}));
}

TEST_F(Names, RootDirIsStrippedIgnoringTheCaseOfEveryLetter) {
  struct Case {
    const char* stored;
    const char* rootDir;
    const char* target;
  };
  const std::vector<Case> cases = {
      {"ДАННЫЕ\\doc\\", "данные\\", "C:\\t\\doc\\"},
      {"данные\\doc\\", "ДАННЫЕ\\", "C:\\t\\doc\\"},
      {"Ёлка\\doc\\", "ёЛКА\\", "C:\\t\\doc\\"},
      {"ŁÓDŹ\\doc\\", "łódź\\", "C:\\t\\doc\\"},
      {"данные2\\doc\\", "данные\\", "C:\\t\\данные2\\doc\\"},
      {"дата\\doc\\", "данные\\", "C:\\t\\дата\\doc\\"},
  };
  for (const Case& c : cases) {
    const auto plan = unzip::PlanTargetDirectory(c.stored, "f.txt", "C:\\t", c.rootDir, true);
    EXPECT_EQ(plan.Directory, c.target) << c.stored << " / " << c.rootDir;
  }
}

}  // namespace
