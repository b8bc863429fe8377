// The file name patterns of FilesList.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/text.h"
#include "unzip/Pattern.h"

namespace {

TEST(Pattern, StarsAgainstTheEmptyText) {
  EXPECT_EQ(MatchPattern("*", ""), pmMatch);
  EXPECT_EQ(MatchPattern("**", ""), pmTextShort);
  EXPECT_TRUE(PatternMatches("**", "a"));
  EXPECT_TRUE(PatternMatches("**", "anything at all"));
}

TEST(Pattern, ATrailingStarMayTakeNothing) {
  EXPECT_TRUE(PatternMatches("x*", "x"));
  EXPECT_TRUE(PatternMatches("x*", "xyz"));
  EXPECT_EQ(MatchPattern("x*<0-9>", "x"), pmTextShort);
  EXPECT_TRUE(PatternMatches("x*<0-9>", "x1"));
  EXPECT_TRUE(PatternMatches("x*<0-9>", "x123"));
}

TEST(Pattern, StarDotStarNeedsADotAnywhereInThePath) {
  EXPECT_TRUE(PatternMatches("*.*", "dir\\readme.txt"));
  EXPECT_TRUE(PatternMatches("*.*", "ver.1\\readme"));
  EXPECT_FALSE(PatternMatches("*.*", "docs\\readme"));
}

TEST(Pattern, LetterCaseNeverMatters) {
  EXPECT_TRUE(PatternMatches("*.txt", "README.TXT"));
  EXPECT_TRUE(PatternMatches("READ*", "readme"));
  EXPECT_TRUE(PatternMatches("<A-C>x", "bX"));
}

TEST(Pattern, SetsAndNegatedSets) {
  EXPECT_TRUE(PatternMatches("<a-c>x", "bx"));
  EXPECT_EQ(MatchPattern("<!a-c>x", "bx"), pmNotInSet);
  EXPECT_EQ(MatchPattern("<^a-c>x", "bx"), pmNotInSet);
  EXPECT_TRUE(PatternMatches("<!a-c>x", "dx"));
  EXPECT_EQ(MatchPattern("<a-c>x", "dx"), pmNotInSet);
  EXPECT_TRUE(PatternMatches("<xyz>1", "y1"));
  EXPECT_TRUE(PatternMatches("<a-cx-z>", "y"));
}

TEST(Pattern, MalformedSetsMatchNothing) {
  EXPECT_EQ(MatchPattern("<>x", "ax"), pmBadPattern);
  EXPECT_EQ(MatchPattern("<a-", "a"), pmBadPattern);
  EXPECT_EQ(MatchPattern("<a", "a"), pmBadPattern);
  EXPECT_EQ(MatchPattern("<a-z", "b"), pmBadPattern);
  EXPECT_EQ(MatchPattern("<ab", "a"), pmBadPattern);
  EXPECT_EQ(MatchPattern("<", "a"), pmBadPattern);
  EXPECT_EQ(MatchPattern("<!", "a"), pmBadPattern);
  EXPECT_EQ(MatchPattern("a*<0-9", "a1"), pmBadPattern);
  EXPECT_EQ(MatchPattern("a*<", "a1"), pmBadPattern);
  EXPECT_EQ(MatchPattern("a*<0-", "a1"), pmBadPattern);
}

TEST(Pattern, ResultCodesTellWhyThereIsNoMatch) {
  EXPECT_EQ(MatchPattern("ab", "abc"), pmTextLeft);
  EXPECT_EQ(MatchPattern("abc", "ab"), pmTextShort);
  EXPECT_EQ(MatchPattern("abd", "abc"), pmCharMismatch);
  EXPECT_EQ(MatchPattern("a?c", "abc"), pmMatch);
  EXPECT_EQ(MatchPattern("", ""), pmMatch);
  EXPECT_EQ(MatchPattern("", "a"), pmTextLeft);
}

TEST(Pattern, StarsFindTheirPlace) {
  EXPECT_TRUE(PatternMatches("a*b*c", "axxbyyc"));
  EXPECT_TRUE(PatternMatches("*b", "abab"));
  EXPECT_FALSE(PatternMatches("*x", "abc"));
  EXPECT_TRUE(PatternMatches("dir\\*", "dir\\sub\\file"));
  EXPECT_TRUE(PatternMatches("*\\<a-c>*.txt", "doc\\b1.txt"));
  EXPECT_FALSE(PatternMatches("*\\<a-c>*.txt", "doc\\d1.txt"));
  EXPECT_TRUE(PatternMatches("*?", "a"));
  EXPECT_TRUE(PatternMatches("*?", "abc"));
  EXPECT_TRUE(PatternMatches("*??", "abc"));
  EXPECT_FALSE(PatternMatches("*??", "a"));
  EXPECT_TRUE(PatternMatches("?*", "abc"));
  // Question marks after a star that use up the text leave a final star that takes nothing.
  EXPECT_TRUE(PatternMatches("*?*", "a"));
  EXPECT_TRUE(PatternMatches("*??*", "ab"));
  EXPECT_TRUE(PatternMatches("?*?*", "ab"));
  EXPECT_FALSE(PatternMatches("*??*", "a"));
  // When the text ends before the pattern, only a single final star may remain.
  EXPECT_FALSE(PatternMatches("a**", "a"));
}

TEST(Pattern, ARestrictedStarChecksEveryCharacterItTakes) {
  EXPECT_TRUE(PatternMatches("v*<0-9>.txt", "v123.txt"));
  EXPECT_FALSE(PatternMatches("v*<0-9>.txt", "v1a3.txt"));
  EXPECT_TRUE(PatternMatches("v*<!0-9>.txt", "vabc.txt"));
  EXPECT_FALSE(PatternMatches("v*<!0-9>.txt", "va1c.txt"));
  // The first try of ".txt" at "1" fails; the characters taken after it are still checked.
  EXPECT_FALSE(PatternMatches("v*<0-9>1x", "v11a1x"));
  EXPECT_TRUE(PatternMatches("v*<0-9>1x", "v1121x"));
  // An empty star set places no restriction.
  EXPECT_TRUE(PatternMatches("a*<>b", "axyzb"));
}

TEST(Pattern, TwoRestrictedStarsKeepTheirOwnSets) {
  EXPECT_TRUE(PatternMatches("*<a-z>_*<0-9>", "abc_123"));
  EXPECT_FALSE(PatternMatches("*<a-z>_*<0-9>", "ab1_123"));
  EXPECT_FALSE(PatternMatches("*<a-z>_*<0-9>", "abc_1x3"));
}

TEST(Pattern, NeverReadsPastThePattern) {
  // Every prefix of a pattern with sets and stars is judged without reading beyond it
  // (AddressSanitizer watches the copies made here).
  const std::string full = "a*<!0-9x-z>b<^a-c>?*<q>*";
  for (std::size_t n = 0; n <= full.size(); ++n) {
    std::string prefix = full.substr(0, n);
    int r = MatchPattern(prefix, "aqqb1dqq");
    EXPECT_GE(r, pmMatch);
    EXPECT_LE(r, pmBadPattern);
  }
}

TEST(Pattern, NamesAreMatchedByTheirCharacters) {
  // Character ranges are those of Windows-1251 here: "а"-"я" are 0xE0-0xFF, "ё" is 0xB8.
  const int saved = text::AnsiCodePage();
  text::SetAnsiCodePage(1251);
  struct Case {
    const char* pattern;
    const char* text;
    int result;
  };
  const std::vector<Case> cases = {
      {"?", "ж", pmMatch},
      {"??", "ж", pmTextShort},
      {"?", "жж", pmTextLeft},
      {"???.txt", "дом.txt", pmMatch},
      {"?.txt", "数.txt", pmMatch},
      {"<а-я>", "ж", pmMatch},
      {"<а-я>", "ё", pmNotInSet},
      {"<а-яё>", "ё", pmMatch},
      {"<!а-я>x", "жx", pmNotInSet},
      {"<!а-я>x", "Жx", pmMatch},
      {"*<а-я>.txt", "файл.txt", pmMatch},
      {"*<а-я>.txt", "файл1.txt", pmTextShort},
      {"данные\\*", "данные\\файл.txt", pmMatch},
      {"данные\\*", "ДАННЫЕ\\файл.txt", pmCharMismatch},  // only A-Z ignore case
      {"Data\\д*", "DATA\\дом", pmMatch},
      {"д*м", "дым", pmMatch},
      {"д*м", "дыма", pmTextLeft},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MatchPattern(c.pattern, c.text), c.result) << c.pattern << " / " << c.text;
  }
  text::SetAnsiCodePage(saved);
}

}  // namespace
