#include <gtest/gtest.h>

#include <string>

#include "common/testsupport.h"
#include "common/text.h"
#include "description/InstIDF.h"
#include "tools/setupkit/dump_idf.h"

TEST(DumpIdf, EmptyFile) {
  TIDFTextFile idf;
  EXPECT_EQ(IdfToJson(idf), R"({"roots":[],"sections":[]})");
}

TEST(DumpIdf, RootsSectionsTypesAndQuoting) {
  const int saved = text::AnsiCodePage();
  text::SetAnsiCodePage(1251);
  TempDir dir;
  // "Ядро" in Windows-1251.
  WriteFileBytes(dir.File("setup.idf"),
                 "IDF-FPS-text\r\n\r\nProduct=Q \"Tool\"\r\nDir=C:\\Q\r\n"
                 "[Subsystem 1]\r\nName=\xDF\xE4\xF0\xEE\r\n"
                 "[1]-tree\r\nA=INTEGER=5\r\nB=BOOLEAN=true\r\nC=DOUBLE=1.5\r\nD=BINARY=00\r\n"
                 "E=x=y\r\n[]\r\n");
  TIDFTextFile idf;
  ASSERT_TRUE(idf.LoadFromFile(dir.File("setup.idf")));
  text::SetAnsiCodePage(saved);
  EXPECT_EQ(IdfToJson(idf),
            R"({"roots":[{"name":"Product","value":"Q \"Tool\""},{"name":"Dir","value":"C:\\Q"}],)"
            R"("sections":[{"name":"Subsystem 1","tree":false,"params":[)"
            R"({"name":"Name","type":"string","value":"Ядро"}]},)"
            R"({"name":"1","tree":true,"params":[)"
            R"({"name":"A","type":"integer","value":"5"},)"
            R"({"name":"B","type":"boolean","value":"1"},)"
            R"({"name":"C","type":"double","value":"1.5"},)"
            R"({"name":"D","type":"binary","value":"00"},)"
            R"({"name":"E","type":"string","value":"y"}]},)"
            R"({"name":"","tree":false,"params":[]}]})");
}

TEST(DumpIdf, ALoadErrorSaysWhyTheFileCouldNotBeRead) {
  TempDir dir;
  WriteFileBytes(dir.File("lf.idf"), "IDF-CPS-text\n\n");
  EXPECT_EQ(DescriptionLoadError(dir.File("lf.idf")), "Invalid file format " + dir.File("lf.idf"));
#ifndef _WIN32
  // A device is refused before anything is read, and the message says so.
  EXPECT_EQ(DescriptionLoadError("/dev/zero"), "Cannot open /dev/zero: Not a regular file");
#endif
}
