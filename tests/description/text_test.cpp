// Text conversion at the file boundary and the comparison of names by their characters.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "common/text.h"

namespace {

// Sets the ANSI code page for one test and puts the previous one back.
class AnsiCodePage {
 public:
  explicit AnsiCodePage(int codePage) : saved_(text::AnsiCodePage()) {
    text::SetAnsiCodePage(codePage);
  }
  ~AnsiCodePage() { text::SetAnsiCodePage(saved_); }

 private:
  int saved_;
};

std::vector<int> SingleByteCodePages() {
  std::vector<int> pages = {1250, 1251, 1252, 866, 437, 850};
#ifdef _WIN32
  // Converted by the system; 1253 and 1255 leave bytes unused.
  for (int cp : {1253, 1254, 1255, 1257}) pages.push_back(cp);
#endif
  return pages;
}

TEST(CodePages, EveryByteComesBackFromItsCharacter) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  for (int cp : SingleByteCodePages()) {
    ASSERT_TRUE(text::IsSupportedCodePage(cp)) << cp;
    const std::string utf8 = text::ToUtf8(all, cp);
    EXPECT_EQ(text::FromUtf8(utf8, cp), all) << cp;
    EXPECT_TRUE(text::FitsCodePage(utf8, cp)) << cp;
    // Each byte is a character of its own.
    std::set<std::string> characters;
    for (int b = 0x80; b < 256; ++b) characters.insert(text::ToUtf8(all.substr(b, 1), cp));
    EXPECT_EQ(characters.size(), 128u) << cp;
  }
}

TEST(CodePages, UnusedBytesAreTheC1ControlsOfTheirValue) {
  struct Case {
    int codePage;
    unsigned char byte;
  };
  for (const Case& c : std::vector<Case>{{1252, 0x81}, {1252, 0x8D}, {1252, 0x8F}, {1252, 0x90},
                                         {1252, 0x9D}, {1251, 0x98}, {1250, 0x81}, {1250, 0x98}}) {
    const std::string byte(1, static_cast<char>(c.byte));
    const std::string c1 = {static_cast<char>(0xC2), static_cast<char>(c.byte)};
    EXPECT_EQ(text::ToUtf8(byte, c.codePage), c1) << c.codePage << " " << int{c.byte};
    EXPECT_EQ(text::FromUtf8(c1, c.codePage), byte) << c.codePage << " " << int{c.byte};
  }
}

TEST(CodePages, WhetherATextFitsACodePage) {
  struct Case {
    const char* utf8;
    int codePage;
    bool fits;
  };
  const std::vector<Case> cases = {
      {"plain ASCII", 1252, true},
      {"Данные\\файл.txt", 1251, true},
      {"Данные\\файл.txt", 1252, false},
      {"Café", 1252, true},
      {"Café", 1251, false},
      {"Łódź", 1250, true},
      {"Łódź", 1252, false},
      {"ā", 1252, false},  // only a look-alike ("a") there
      {"数据", 1251, false},
      {"数据", 1252, false},
      {"数据", 65001, true},
      {"\xFF", 65001, false},  // not UTF-8 at all
      {"\xD0", 1251, false},
#ifdef _WIN32
      {"数据", 936, true},
      {"数据", 1253, false},
#endif
  };
  for (const Case& c : cases) {
    EXPECT_EQ(text::FitsCodePage(c.utf8, c.codePage), c.fits) << c.utf8 << " " << c.codePage;
    if (c.fits) {
      EXPECT_EQ(text::ToUtf8(text::FromUtf8(c.utf8, c.codePage), c.codePage), c.utf8);
    }
  }
}

TEST(NameOrder, CharactersCompareAsTheirAnsiBytes) {
  AnsiCodePage cp(1251);
  // In Windows-1251 "ё" is 0xB8, below "а" (0xE0) and "я" (0xFF); "Ж" is 0xC6.
  EXPECT_LT(text::CompareTextAnsi("ё", "я"), 0);
  EXPECT_LT(text::CompareTextAnsi("ё", "а"), 0);
  EXPECT_GT(text::CompareTextAnsi("я", "ё"), 0);
  EXPECT_EQ(text::AnsiCharCodes("Жx"), (std::u32string{0xC6, U'x'}));
  // A character the code page lacks stays one character and comes after all of its bytes.
  EXPECT_EQ(text::AnsiCharCodes("数"), (std::u32string{0x100 + 0x6570}));
  EXPECT_GT(text::CompareTextAnsi("数", "я"), 0);
  EXPECT_NE(text::CompareTextAnsi("数", "据"), 0);
  // ASCII letters compare without case, as capitals: "_" (0x5F) comes after "A".
  EXPECT_EQ(text::CompareTextAnsi("ReadMe.TXT", "readme.txt"), 0);
  EXPECT_GT(text::CompareTextAnsi("_", "a"), 0);
  EXPECT_LT(text::CompareTextAnsi("ab", "abc"), 0);
  // Other letters keep their case.
  EXPECT_NE(text::CompareTextAnsi("Я", "я"), 0);

  AnsiCodePage latin(1252);
  EXPECT_LT(text::CompareTextAnsi("é", "ÿ"), 0);
  EXPECT_GT(text::CompareTextAnsi("я", "ÿ"), 0);  // no Cyrillic in 1252
}

TEST(NameCase, LettersOfEveryAlphabetMatchWithoutCase) {
  struct Case {
    const char* a;
    const char* b;
    bool same;
  };
  const std::vector<Case> cases = {
      {"Base", "BASE", true},
      {"ДАННЫЕ", "данные", true},
      {"Ёлка", "ёЛКА", true},
      {"Łódź", "ŁÓDŹ", true},
      {"Zażółć", "ZAŻÓŁĆ", true},
      {"Čeština", "ČEŠTINA", true},
      {"Příliš žluťoučký kůň", "PŘÍLIŠ ŽLUŤOUČKÝ KŮŇ", true},
      {"Ελληνικά", "ΕΛΛΗΝΙΚΆ", true},
      {"Ӂ", "ӂ", true},    // U+04C1, U+04C2: one letter
      {"ӂ", "Ӄ", false},   // U+04C2, U+04C3: two letters
      {"Ӄ", "ӄ", true},
      {"data", "date", false},
      {"данные", "данны", false},
      {"Ж", "Ш", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(text::SameTextNoCase(c.a, c.b), c.same) << c.a << " / " << c.b;
  }
  EXPECT_EQ(text::FoldCase(U'Ł'), U'ł');
  EXPECT_EQ(text::FoldCase(U'Ӄ'), U'ӄ');
  EXPECT_EQ(text::FoldCase(U'ӂ'), U'ӂ');
  EXPECT_EQ(text::FoldCase(U'Ω'), U'ω');
}

}  // namespace
