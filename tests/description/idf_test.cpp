#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/errors.h"
#include "common/osfile.h"
#include "common/testsupport.h"
#include "common/text.h"
#include "description/InstIDF.h"
#include "setup/SetupGlobals.h"

namespace {

// Every test reads and writes Windows-1251, whatever the machine's code page.
class Idf : public ::testing::Test {
 protected:
  void SetUp() override {
    savedCodePage_ = text::AnsiCodePage();
    text::SetAnsiCodePage(1251);
  }
  void TearDown() override { text::SetAnsiCodePage(savedCodePage_); }

  // Writes the bytes to a file and loads it into `idf`.
  bool Load(const std::string& bytes) {
    const std::string path = dir_.File("test.idf");
    WriteFileBytes(path, bytes);
    return idf.LoadFromFile(path);
  }
  // Loads a file made of the standard header and then the given body.
  void LoadBody(const std::string& body) { ASSERT_TRUE(Load("IDF-CPS-text\r\n\r\n" + body)); }
  std::string Save() {
    const std::string path = dir_.File("out.idf");
    EXPECT_TRUE(idf.SaveToFile(path));
    return ReadFileBytes(path);
  }
  // "name=value" of every parameter of a section, separated by "|".
  static std::string Dump(const TIDFSection& section) {
    std::string out;
    for (int i = 0; i < section.ParamCount(); ++i) {
      if (i > 0) out += "|";
      out += section.Params(i)->Name + "=" + section.Params(i)->AsString();
    }
    return out;
  }

  TempDir dir_;
  TIDFTextFile idf;

 private:
  int savedCodePage_ = 0;
};

using IdfHeader = Idf;
using IdfLines = Idf;
using IdfGrammar = Idf;
using IdfTree = Idf;
using IdfModel = Idf;
using IdfWriter = Idf;

}  // namespace

// ---------------------------------------------------------------------------------------
// The two header lines

TEST_F(IdfHeader, AcceptsBothHeadersAndIgnoresTextAfterThem) {
  EXPECT_TRUE(Load("IDF-CPS-text\r\n\r\nA=1\r\n"));
  EXPECT_TRUE(Load("IDF-FPS-text\r\n\r\nA=1\r\n"));
  EXPECT_TRUE(Load("IDF-CPS-text version 2\r\n\r\nA=1\r\n"));
  EXPECT_EQ(Dump(idf), "A=1");
}

TEST_F(IdfHeader, RejectsOtherLetterCase) {
  EXPECT_FALSE(Load("idf-cps-text\r\n\r\n"));
  EXPECT_FALSE(Load("IDF-CPS-tex\r\n\r\n"));
  EXPECT_FALSE(Load(""));
}

TEST_F(IdfHeader, Utf8SignatureMakesTheFileUtf8) {
  // "Имя" in UTF-8 behind the signature; the same bytes without it are Windows-1251.
  const std::string body = "IDF-CPS-text\r\n\r\n[\xD0\x98\xD0\xBC\xD1\x8F]\r\n";
  ASSERT_TRUE(Load("\xEF\xBB\xBF" + body));
  EXPECT_EQ(idf.Sections(0)->Name, "Имя");
  ASSERT_TRUE(Load(body));
  EXPECT_EQ(idf.Sections(0)->Name, text::ToUtf8("\xD0\x98\xD0\xBC\xD1\x8F", 1251));
  // Only at the very start: after blanks the signature is text, and no header.
  EXPECT_FALSE(Load(" \xEF\xBB\xBF" + body));
  EXPECT_FALSE(Load("\xEF\xBB\xBF"));
}

TEST_F(IdfHeader, BlanksBeforeTheHeaderAreTrimmedAway) {
  EXPECT_TRUE(Load(" \t IDF-FPS-text\r\n  \t\r\nA=1\r\n"));
  EXPECT_EQ(Dump(idf), "A=1");
}

TEST_F(IdfHeader, SecondLineMustExistAndBeEmpty) {
  EXPECT_FALSE(Load("IDF-CPS-text\r\nA=1\r\n"));
  EXPECT_FALSE(Load("IDF-CPS-text\r\n"));
  EXPECT_FALSE(Load("IDF-CPS-text"));
  EXPECT_TRUE(Load("IDF-CPS-text\r\n\r\n"));
  EXPECT_TRUE(Load("IDF-CPS-text\r\r"));
}

TEST_F(IdfHeader, RejectedOrMissingFileLeavesTheContentsAsTheyWere) {
  LoadBody("A=1\r\n[S]\r\nB=2\r\n");
  EXPECT_FALSE(Load("IDF-CPS-text\r\nnot empty\r\n[T]\r\n"));
  EXPECT_FALSE(idf.LoadFromFile(dir_.File("missing.idf")));
  EXPECT_EQ(Dump(idf), "A=1");
  ASSERT_EQ(idf.SectionCount(), 1);
  EXPECT_EQ(Dump(*idf.Sections(0)), "B=2");
}

TEST_F(IdfHeader, LoadingReplacesThePreviousContents) {
  LoadBody("A=1\r\n[S]\r\nB=2\r\n");
  LoadBody("[T]\r\nC=3\r\n");
  EXPECT_EQ(idf.ParamCount(), 0);
  ASSERT_EQ(idf.SectionCount(), 1);
  EXPECT_EQ(idf.Sections(0)->Name, "T");
}

TEST_F(IdfHeader, DirectoryIsNotAFile) {
  EXPECT_FALSE(idf.LoadFromFile(dir_.Path()));
}

TEST_F(IdfHeader, LoadingIsLogged) {
  const std::string logPath = dir_.File("ztkinst.log");
  SetupGlobals.Log = std::make_unique<TLogFile>();
  SetupGlobals.Log->WriteHeader = false;
  SetupGlobals.Log->FormatString = false;
  SetupGlobals.Log->SetFileName(logPath);
  const std::string idfPath = dir_.File("missing.idf");
  idf.LoadFromFile(idfPath);
  SetupGlobals.Log.reset();
  EXPECT_EQ(ReadFileBytes(logPath), " Load IDF file " + idfPath + "\r\n");
}

// ---------------------------------------------------------------------------------------
// Line ends and trimming

TEST_F(IdfLines, CarriageReturnAloneOrWithLineFeedEndsALine) {
  LoadBody("A=1\r[S]\rB=2\r");
  const std::string crOnly = Dump(idf) + "/" + Dump(*idf.Sections(0));
  LoadBody("A=1\r\n[S]\r\nB=2\r\n");
  EXPECT_EQ(Dump(idf) + "/" + Dump(*idf.Sections(0)), crOnly);
  EXPECT_EQ(crOnly, "A=1/B=2");
}

TEST_F(IdfLines, LineFeedOnlyFileIsOneLineAndRejected) {
  EXPECT_FALSE(Load("IDF-CPS-text\n\nA=1\n"));
}

TEST_F(IdfLines, LoneLineFeedStaysInsideTheLine) {
  LoadBody("A=1\nB=2\r\n");
  ASSERT_EQ(idf.ParamCount(), 1);
  EXPECT_EQ(idf.Params(0)->Name, "A");
  EXPECT_EQ(idf.Params(0)->AsString(), "1\nB=2");
}

TEST_F(IdfLines, ControlBytesAndBlanksAtBothEndsAreTrimmed) {
  LoadBody("\t A=1 \x01\r\n\n\x1F[S]\t\r\n  B = 2  \r\n");
  EXPECT_EQ(Dump(idf), "A=1");
  ASSERT_EQ(idf.SectionCount(), 1);
  EXPECT_EQ(Dump(*idf.Sections(0)), "B = 2");
}

TEST_F(IdfLines, LastLineNeedsNoLineEnd) {
  LoadBody("A=1\r\nB=2");
  EXPECT_EQ(Dump(idf), "A=1|B=2");
}

TEST_F(IdfLines, CrLfSplitAcrossTheReadBufferIsOneLineEnd) {
  // The reader fetches the file in blocks; a CR LF that straddles two blocks must not
  // produce an extra line, and a CR before a block start must not swallow a byte.
  for (const char* lineEnd : {"\r\n", "\r"}) {
    for (std::size_t crAt : {8190u, 8191u, 8192u, 16383u}) {
      std::string body = "IDF-CPS-text\r\n\r\nA=";
      body += std::string(crAt - body.size(), 'x');
      body += lineEnd;
      body += "B=2\rC=3\r\n";
      ASSERT_EQ(body[crAt], '\r');
      ASSERT_TRUE(Load(body)) << crAt;
      ASSERT_EQ(idf.ParamCount(), 3) << crAt;
      EXPECT_EQ(idf.Params(0)->AsString().size(), crAt - 18) << crAt;
      EXPECT_EQ(idf.Params(1)->Name + "=" + idf.Params(1)->AsString(), "B=2") << crAt;
      EXPECT_EQ(idf.Params(2)->Name + "=" + idf.Params(2)->AsString(), "C=3") << crAt;
    }
  }
}

// ---------------------------------------------------------------------------------------
// Sections, parameters, comments

TEST_F(IdfGrammar, RootParametersStandBeforeTheFirstSection) {
  LoadBody("R1=a\r\nR2=b\r\n[S1]\r\nP=1\r\n[S2]\r\nQ=2\r\nR=3\r\n");
  EXPECT_EQ(Dump(idf), "R1=a|R2=b");
  ASSERT_EQ(idf.SectionCount(), 2);
  EXPECT_EQ(idf.Sections(0)->Name, "S1");
  EXPECT_FALSE(idf.Sections(0)->IsTree);
  EXPECT_EQ(Dump(*idf.Sections(0)), "P=1");
  EXPECT_EQ(Dump(*idf.Sections(1)), "Q=2|R=3");
}

TEST_F(IdfGrammar, CommentsOnlyAtTheStartOfALine) {
  LoadBody("// a comment\r\n[S]\r\n//P=1\r\nUrl=http://example.com\r\n  // indented\r\n");
  EXPECT_EQ(Dump(*idf.Sections(0)), "Url=http://example.com");
}

TEST_F(IdfGrammar, BlanksAroundTheEqualSignBelongToNameAndValue) {
  LoadBody("[S]\r\nName = Value\r\n");
  const TIDFSection& s = *idf.Sections(0);
  ASSERT_EQ(s.ParamCount(), 1);
  EXPECT_EQ(s.Params(0)->Name, "Name ");
  EXPECT_EQ(s.Params(0)->AsString(), " Value");
  EXPECT_EQ(s.FindParam("Name"), nullptr);
  EXPECT_EQ(s.FindParam("name "), s.Params(0));
}

TEST_F(IdfGrammar, FirstEqualSignSplitsAndLineWithoutOneIsAName) {
  LoadBody("[S]\r\nA=INTEGER=5\r\nJustAName\r\n=NoName\r\n");
  EXPECT_EQ(Dump(*idf.Sections(0)), "A=INTEGER=5|JustAName=|=NoName");
  EXPECT_EQ(idf.Sections(0)->Params(0)->ParamType, ptString);
}

TEST_F(IdfGrammar, BracketLinesThatAreNotHeadersAreParameters) {
  LoadBody("[S]\r\n[T]-Tree\r\n[open\r\n[a=b\r\n");
  ASSERT_EQ(idf.SectionCount(), 1);
  EXPECT_EQ(Dump(*idf.Sections(0)), "[T]-Tree=|[open=|[a=b");
}

TEST_F(IdfGrammar, EmptySectionNames) {
  LoadBody("[]\r\nA=1\r\n[]-tree\r\nB=2\r\n");
  ASSERT_EQ(idf.SectionCount(), 2);
  EXPECT_EQ(idf.Sections(0)->Name, "");
  EXPECT_FALSE(idf.Sections(0)->IsTree);
  EXPECT_EQ(idf.Sections(1)->Name, "");
  EXPECT_TRUE(idf.Sections(1)->IsTree);
  EXPECT_EQ(idf.FindSection(""), idf.Sections(0));
}

TEST_F(IdfGrammar, DuplicateSectionsAreKeptAndTheFirstIsFound) {
  LoadBody("[Sub]\r\nA=1\r\n[SUB]\r\nA=2\r\n[Sub]\r\nA=3\r\n");
  ASSERT_EQ(idf.SectionCount(), 3);
  EXPECT_EQ(idf.FindSection("sub"), idf.Sections(0));
  EXPECT_EQ(idf.FindSection("SUB"), idf.Sections(0));
  idf.DeleteSection("SUB");
  ASSERT_EQ(idf.SectionCount(), 2);
  EXPECT_EQ(Dump(*idf.Sections(1)), "A=3");
}

TEST_F(IdfGrammar, CaseIsIgnoredOnlyForLatinLetters) {
  LoadBody(text::Utf8ToAnsi("[Product]\r\n[Система]\r\nКлюч=значение\r\n"));
  EXPECT_EQ(idf.FindSection("PRODUCT"), idf.Sections(0));
  EXPECT_EQ(idf.FindSection("product"), idf.Sections(0));
  EXPECT_EQ(idf.FindSection("Система"), idf.Sections(1));
  EXPECT_EQ(idf.FindSection("система"), nullptr);
  EXPECT_EQ(idf.FindSection("СИСТЕМА"), nullptr);
  const TIDFSection& s = *idf.Sections(1);
  ASSERT_NE(s.FindParam("Ключ"), nullptr);
  EXPECT_EQ(s.FindParam("Ключ")->AsString(), "значение");
  EXPECT_EQ(s.FindParam("ключ"), nullptr);
}

TEST_F(IdfGrammar, BytesAreReadInTheAnsiCodePage) {
  // "Имя" in Windows-1251.
  LoadBody("[\xC8\xEC\xFF]\r\n");
  EXPECT_EQ(idf.Sections(0)->Name, "Имя");
}

TEST_F(IdfGrammar, RootLinesNeverGetATypeEvenBeforeATreeSection) {
  LoadBody("A=INTEGER=5\r\n[T]-tree\r\nB=3\r\n");
  EXPECT_EQ(idf.Params(0)->ParamType, ptString);
  EXPECT_EQ(idf.Params(0)->AsString(), "INTEGER=5");
  EXPECT_EQ(idf.Sections(0)->Params(0)->ParamType, ptString);
}

// ---------------------------------------------------------------------------------------
// Tree sections and their type keywords

TEST_F(IdfTree, TypeKeywordsGiveTheParameterType) {
  LoadBody("[Sub]-tree\r\nI=INTEGER=5\r\nD=double=1.5\r\nX=Binary=00FF\r\nS=STRING=text\r\n"
           "O=whatever=v=w\r\n");
  const TIDFSection& s = *idf.Sections(0);
  EXPECT_TRUE(s.IsTree);
  EXPECT_EQ(s.Name, "Sub");
  EXPECT_EQ(Dump(s), "I=5|D=1.5|X=00FF|S=text|O=v=w");
  EXPECT_EQ(s.Params(0)->ParamType, ptInteger);
  EXPECT_EQ(s.Params(0)->AsInteger(), 5);
  EXPECT_EQ(s.Params(1)->ParamType, ptDouble);
  EXPECT_EQ(s.Params(2)->ParamType, ptBinary);
  EXPECT_EQ(s.Params(3)->ParamType, ptString);
  EXPECT_EQ(s.Params(4)->ParamType, ptString);
}

TEST_F(IdfTree, BooleanIsOneOnlyForTrueInAnyCase) {
  LoadBody("[T]-tree\r\nA=BOOLEAN=true\r\nB=BOOLEAN=TrUe\r\nC=BOOLEAN=yes\r\nD=BOOLEAN=1\r\n"
           "E=BOOLEAN=\r\n");
  const TIDFSection& s = *idf.Sections(0);
  EXPECT_EQ(Dump(s), "A=1|B=1|C=0|D=0|E=0");
  for (int i = 0; i < s.ParamCount(); ++i) EXPECT_EQ(s.Params(i)->ParamType, ptBoolean);
}

TEST_F(IdfTree, TypeTextIsRememberedForLaterLinesOfTheLoad) {
  LoadBody("[T1]-tree\r\nA=1\r\nB=INTEGER=2\r\nC=3\r\nD\r\n[Plain]\r\nE=BOOLEAN=true\r\n"
           "[T2]-tree\r\nF=4\r\nG=BOOLEAN=TRUE\r\nH=true\r\nI=no\r\n");
  const TIDFSection& t1 = *idf.Sections(0);
  EXPECT_EQ(t1.Params(0)->ParamType, ptString);  // nothing remembered yet
  EXPECT_EQ(t1.Params(2)->ParamType, ptInteger);
  EXPECT_EQ(t1.Params(3)->ParamType, ptInteger);
  EXPECT_EQ(Dump(t1), "A=1|B=2|C=3|D=");
  // An ordinary section neither uses nor changes the remembered type.
  EXPECT_EQ(Dump(*idf.Sections(1)), "E=BOOLEAN=true");
  EXPECT_EQ(idf.Sections(1)->Params(0)->ParamType, ptString);
  const TIDFSection& t2 = *idf.Sections(2);
  EXPECT_EQ(t2.Params(0)->ParamType, ptInteger);  // carried over from T1
  EXPECT_EQ(Dump(t2), "F=4|G=1|H=1|I=0");
  EXPECT_EQ(t2.Params(3)->ParamType, ptBoolean);
}

TEST_F(IdfTree, EmptyTypeTextResetsToString) {
  LoadBody("[T]-tree\r\nA=INTEGER=1\r\nB==2\r\nC=3\r\n");
  const TIDFSection& s = *idf.Sections(0);
  EXPECT_EQ(Dump(s), "A=1|B=2|C=3");
  EXPECT_EQ(s.Params(1)->ParamType, ptString);
  EXPECT_EQ(s.Params(2)->ParamType, ptString);
}

// ---------------------------------------------------------------------------------------
// The object model

TEST_F(IdfModel, InsertParamNeedsAnIndexOfAtLeastOne) {
  TIDFSection s("S");
  s.AddParam("a");
  s.AddParam("c");
  EXPECT_EQ(s.InsertParam("x", 0), nullptr);
  EXPECT_EQ(s.InsertParam("x", -3), nullptr);
  EXPECT_EQ(s.ParamCount(), 2);
  TIDFParam* b = s.InsertParam("b", 1);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(s.Params(1), b);
  TIDFParam* d = s.InsertParam("d", 3);  // at the count: appended
  EXPECT_EQ(s.Params(3), d);
  EXPECT_THROW(s.InsertParam("e", 5), EListError);
  EXPECT_EQ(Dump(s), "a=|b=|c=|d=");
  EXPECT_EQ(b->ParamType, ptString);
}

TEST_F(IdfModel, BadParamIndexesGiveNothingOrDoNothing) {
  TIDFSection s;
  s.AddParam("a");
  EXPECT_EQ(s.Params(-1), nullptr);
  EXPECT_EQ(s.Params(1), nullptr);
  s.DeleteParam(1);
  s.DeleteParam(-1);
  EXPECT_EQ(s.ParamCount(), 1);
  s.DeleteParam(0);
  EXPECT_EQ(s.ParamCount(), 0);
}

TEST_F(IdfModel, FindParamReturnsTheFirstOfDuplicates) {
  TIDFSection s;
  s.AddParam("Key")->SetAsString("1");
  s.AddParam("KEY")->SetAsString("2");
  EXPECT_EQ(s.FindParam("key")->AsString(), "1");
  EXPECT_EQ(s.FindParam("ke"), nullptr);
  s.ClearParams();
  EXPECT_EQ(s.FindParam("key"), nullptr);
}

TEST_F(IdfModel, SectionsByIndexRaiseTheListError) {
  idf.AddSection("A");
  EXPECT_EQ(idf.Sections(0)->Name, "A");
  EXPECT_FALSE(idf.Sections(0)->IsTree);
  EXPECT_THROW(idf.Sections(1), EListError);
  EXPECT_THROW(idf.Sections(-1), EListError);
}

TEST_F(IdfModel, DeletingSections) {
  idf.AddSection("A");
  idf.AddSection("B");
  idf.AddSection("C");
  idf.DeleteSection("b");  // exact name only
  EXPECT_EQ(idf.SectionCount(), 3);
  idf.DeleteSection("B");
  EXPECT_EQ(idf.SectionCount(), 2);
  idf.DeleteSectionAt(5);
  idf.DeleteSectionAt(-1);
  EXPECT_EQ(idf.SectionCount(), 2);
  idf.DeleteSectionAt(0);
  ASSERT_EQ(idf.SectionCount(), 1);
  EXPECT_EQ(idf.Sections(0)->Name, "C");
  idf.ClearSections();
  EXPECT_EQ(idf.SectionCount(), 0);
}

TEST_F(IdfModel, IntegerAndBooleanValues) {
  TIDFParam p("N");
  EXPECT_EQ(p.AsString(), "");
  p.SetAsInteger(-42);
  EXPECT_EQ(p.AsString(), "-42");
  EXPECT_EQ(p.AsInteger(), -42);
  p.SetAsString("2147483647");
  EXPECT_EQ(p.AsInteger(), 2147483647);
  p.SetAsString("-2147483648");
  EXPECT_EQ(p.AsInteger(), -2147483647 - 1);
  p.SetAsString("+7");
  EXPECT_EQ(p.AsInteger(), 7);
  p.SetAsBoolean(true);
  EXPECT_EQ(p.AsString(), "1");
  p.SetAsBoolean(false);
  EXPECT_EQ(p.AsString(), "0");
}

TEST_F(IdfModel, NonNumericTextRaisesTheConversionError) {
  TIDFParam p("N");
  for (const char* bad : {"", "abc", "12a", "1 2", "12 ", "-", "2147483648", "-2147483649",
                          "99999999999999999999", "0x10", "1.5"}) {
    p.SetAsString(bad);
    EXPECT_THROW(p.AsInteger(), EConvertError) << '"' << bad << '"';
  }
}

// ---------------------------------------------------------------------------------------
// Writing

TEST_F(IdfWriter, WritesTheExactBytes) {
  idf.AddParam("A")->SetAsString("1");
  TIDFSection* s = idf.AddSection("S");
  s->AddParam("B")->SetAsInteger(2);
  s->AddParam("C");
  EXPECT_EQ(Save(), "IDF-FPS-text\r\n\r\nA=1\r\n[S]\r\nB=2\r\nC=\r\n");
}

TEST_F(IdfWriter, HeaderWithoutRootParametersAndTreeSections) {
  LoadBody("[T]-tree\r\nA=INTEGER=1\r\nX=BINARY=00\r\nB=BOOLEAN=true\r\n[]\r\n");
  EXPECT_EQ(Save(), "IDF-CPS-text\r\n\r\n[T]-tree\r\nA=1\r\nB=1\r\n[]\r\n");
}

TEST_F(IdfWriter, ValuesAreWrittenInTheAnsiCodePage) {
  idf.AddSection("Имя")->AddParam("Ключ")->SetAsString("Да");
  EXPECT_EQ(Save(), "IDF-CPS-text\r\n\r\n[\xC8\xEC\xFF]\r\n\xCA\xEB\xFE\xF7=\xC4\xE0\r\n");
}

TEST_F(IdfWriter, RoundTripKeepsRootsSectionsAndOrder) {
  idf.AddParam("Product")->SetAsString("Quorvalen Toolkit");
  idf.AddParam("Dir")->SetAsString("C:\\Program Files\\Q");
  TIDFSection* a = idf.AddSection("Subsystem 1");
  a->AddParam("Name")->SetAsString("Ядро");
  a->AddParam("Archives")->SetAsString("core.zip, doc.zip");
  a->AddParam("Name")->SetAsString("duplicate");
  idf.AddSection("Empty");
  idf.AddSection("Subsystem 1");
  Save();

  TIDFTextFile back;
  ASSERT_TRUE(back.LoadFromFile(dir_.File("out.idf")));
  EXPECT_EQ(Dump(back), Dump(idf));
  ASSERT_EQ(back.SectionCount(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(back.Sections(i)->Name, idf.Sections(i)->Name);
    EXPECT_EQ(Dump(*back.Sections(i)), Dump(*idf.Sections(i)));
  }
}

TEST_F(IdfWriter, TextsTheAnsiCodePageLacksAreWrittenAsUtf8) {
  struct Case {
    int codePage;
    const char* name;
    bool ansi;  // written in the code page; else as UTF-8 behind the signature
  };
  const std::vector<Case> cases = {
      {1251, "C:\\Программы\\Данные\\файл.txt", true},
      {1252, "C:\\Programme\\Übersicht.txt", true},
      {1252, "C:\\Программы\\Данные\\файл.txt", false},
      {1251, "C:\\Program Files\\数据\\文件.txt", false},
      {1252, "C:\\Program Files\\数据\\文件.txt", false},
  };
  for (const Case& c : cases) {
    text::SetAnsiCodePage(c.codePage);
    TIDFTextFile out;
    out.AddParam("Dir")->SetAsString("C:\\Q");
    out.AddSection(c.name)->AddParam("File")->SetAsString(c.name);
    const std::string path = dir_.File("uninst.idf");
    ASSERT_TRUE(out.SaveToFile(path));
    const std::string body = std::string("IDF-FPS-text\r\n\r\nDir=C:\\Q\r\n[") + c.name +
                             "]\r\nFile=" + c.name + "\r\n";
    EXPECT_EQ(ReadFileBytes(path), c.ansi ? text::Utf8ToAnsi(body) : "\xEF\xBB\xBF" + body)
        << c.codePage << " " << c.name;

    TIDFTextFile back;
    ASSERT_TRUE(back.LoadFromFile(path));
    ASSERT_EQ(back.SectionCount(), 1);
    EXPECT_EQ(back.Sections(0)->Name, c.name);
    ASSERT_NE(back.Sections(0)->FindParam("File"), nullptr);
    EXPECT_EQ(back.Sections(0)->FindParam("File")->AsString(), c.name);
    EXPECT_EQ(Dump(back), "Dir=C:\\Q");
  }
}

TEST_F(IdfWriter, LoadingAndSavingGivesBackAnyBytes) {
  // Every byte that may stand inside a name or a value, the unused ones of each code page
  // (0x81, 0x8D, 0x8F, 0x90, 0x9D of 1252, 0x98 of 1251) included.
  std::string bytes;
  for (int b = 0x21; b < 0x100; ++b) {
    if (b != '=') bytes += static_cast<char>(b);
  }
  const std::string file = "IDF-FPS-text\r\n\r\nK" + bytes + "=" + bytes + "\r\n[S" + bytes +
                           "]\r\nN=" + bytes + "\r\n[T]-tree\r\nM=" + bytes + "\r\n";
  for (int codePage : {1250, 1251, 1252}) {
    text::SetAnsiCodePage(codePage);
    ASSERT_TRUE(Load(file)) << codePage;
    EXPECT_EQ(Save(), file) << codePage;
  }
}

TEST_F(IdfWriter, LeavesNoOtherFileBehind) {
  idf.AddSection("S")->AddParam("A")->SetAsString("1");
  Save();
  Save();
  const std::vector<os::DirEntry> entries = os::ListDirectory(dir_.Path());
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].Name, "out.idf");
}

TEST_F(IdfWriter, AFailedReplacementKeepsTheTargetAndRemovesTheNewText) {
  // A directory cannot be replaced by a file.
  const std::string target = dir_.File("target");
  ASSERT_TRUE(os::CreateDirectories(target));
  idf.AddSection("S");
  EXPECT_FALSE(idf.SaveToFile(target));
  EXPECT_TRUE(os::DirectoryExists(target));
  const std::vector<os::DirEntry> entries = os::ListDirectory(dir_.Path());
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].Name, "target");
}

TEST_F(IdfWriter, ReplacesAnExistingFile) {
  WriteFileBytes(dir_.File("out.idf"), std::string(1000, 'z'));
  EXPECT_EQ(Save(), "IDF-CPS-text\r\n\r\n");
}

TEST_F(IdfWriter, FileThatCannotBeCreatedGivesFalse) {
  EXPECT_FALSE(idf.SaveToFile(dir_.File("no-such-dir") + "/x.idf"));
  EXPECT_FALSE(idf.SaveToFile(dir_.Path()));
}
