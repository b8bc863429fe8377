// Entry names outside the OEM code page: the Info-ZIP Unicode Path extra field (0x7075), the
// UTF-8 flag (bit 11) and what happens when either is damaged; the names through selection,
// the path checks, extraction and the listing.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "common/text.h"
#include "extract_test_support.h"
#include "sha256.h"
#include "unzip/UnZip.h"
#include "unzip/UnZipListing.h"
#include "zip_bytes.h"

namespace {

using extracttest::BuildZip;
using extracttest::EventLog;
using extracttest::TestEntry;
using extracttest::UnicodePathField;
using Lines = std::vector<std::string>;
namespace fs = std::filesystem;

constexpr std::uint16_t kUtf8 = 0x0800;

std::string DataPath(const std::string& name) {
  std::string path = std::string(SETUP_UNZIP_DATA_DIR) + "/" + name;
#ifdef _WIN32
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return "Z:" + path;
#else
  return path;
#endif
}

// The name of the only entry of an archive with these stored bytes, flags and extra field.
std::string NameOf(const std::string& stored, std::uint16_t flags, const std::string& extra,
                   bool rebuilt = false) {
  TempDir work;
  std::string bytes = BuildZip({{.name = stored, .data = "x", .flags = flags,
                                 .centralExtra = rebuilt ? "" : extra,
                                 .localExtra = rebuilt ? extra : ""}});
  if (rebuilt) bytes.resize(bytes.find("PK\x01\x02"));  // no directory: read the local header
  WriteFileBytes(work.File("a.zip"), bytes);
  TUnZip zip;
  zip.IncompleteZipMode = izAssumeBad;
  zip.SetZipName(work.File("a.zip"));
  zip.ReadArchive();
  EXPECT_EQ(zip.EntryCount(), 1);
  EXPECT_EQ(zip.Rebuilt(), rebuilt);
  return zip.EntryCount() == 1 ? zip.EntryDirectory(0) + zip.EntryFileName(0) : "";
}

class UnicodeNames : public ::testing::Test {
 protected:
  void SetUp() override { text::SetOemCodePage(866); }
};

TEST_F(UnicodeNames, TheUnicodePathFieldGivesTheNameWhenItStandsForTheStoredBytes) {
  const std::string windowsZip = "????.txt";   // what a Windows archiver stores for "тест"
  const std::string escaped = "#U0442#U0435#U0441#U0442.txt";  // Info-ZIP on Unix
  std::string before;  // another extra field in front of it
  zipbytes::Put16(before, 0x5455);
  zipbytes::Put16(before, 5);
  before += "\x03\x01\x02\x03\x04";
  struct Case {
    const char* what;
    std::string stored;
    std::uint16_t flags;
    std::string extra;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"question marks", windowsZip, 0, UnicodePathField("тест.txt", windowsZip), "тест.txt"},
      {"escapes", escaped, 0, UnicodePathField("тест.txt", escaped), "тест.txt"},
      {"CJK with a directory", "\?\?/\?\?.txt", 0, UnicodePathField("中文/文件.txt", "\?\?/\?\?.txt"),
       "中文\\文件.txt"},
      {"after another field", windowsZip, 0, before + UnicodePathField("тест.txt", windowsZip),
       "тест.txt"},
      {"over bit 11", "plain.txt", kUtf8, UnicodePathField("тест.txt", "plain.txt"), "тест.txt"},
      // Left over from before a rename: the stored name is the newer one.
      {"CRC of another name", "new.txt", 0, UnicodePathField("old.txt", "old.txt"), "new.txt"},
      {"unknown version", "a.txt", 0, UnicodePathField("b.txt", "a.txt", 2), "a.txt"},
      {"not UTF-8", "a.txt", 0, UnicodePathField("b\xC0\xAF.txt", "a.txt"), "a.txt"},
      {"empty", "a.txt", 0, UnicodePathField("", "a.txt"), "a.txt"},
      {"cut short", "a.txt", 0, UnicodePathField("b.txt", "a.txt").substr(0, 10), "a.txt"},
      {"no room for version and CRC", "a.txt", 0, std::string("\x75\x70\x03\x00\x01\x02\x03", 7),
       "a.txt"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NameOf(c.stored, c.flags, c.extra), c.expected) << c.what;
  }
}

TEST_F(UnicodeNames, ARebuiltDirectoryTakesTheFieldOfTheLocalHeader) {
  EXPECT_EQ(NameOf("????.txt", 0, UnicodePathField("тест.txt", "????.txt"), true), "тест.txt");
  EXPECT_EQ(NameOf("a.txt", 0, UnicodePathField("b.txt", "x.txt"), true), "a.txt");
}

TEST_F(UnicodeNames, Bit11WithBytesThatAreNotUtf8ReadsThemAsOem) {
  // CP866 "тест.txt" flagged as UTF-8: every byte stays a letter of its own instead of
  // becoming U+FFFD (which would give two different names one text).
  EXPECT_EQ(NameOf("\xE2\xA5\xE1\xE2.txt", kUtf8, ""), "тест.txt");
  EXPECT_EQ(NameOf("\xD1\x82\xD0\xB5\xD1\x81\xD1\x82.txt", kUtf8, ""), "тест.txt");
  // An overlong "/" is not UTF-8 and does not become a separator.
  EXPECT_EQ(NameOf("a\xC0\xAF" "b.txt", kUtf8, ""), text::OemToUtf8("a\xC0\xAF" "b.txt"));
}

TEST_F(UnicodeNames, TheHeaderIsLeftWhereItsLengthsSay) {
  // A central header with a Unicode Path field and a comment, then the next record.
  TestEntry e{.name = "??.txt", .data = "x", .comment = "note",
              .centralExtra = UnicodePathField("中文.txt", "??.txt")};
  std::string bytes = BuildZip({e, {.name = "next.txt", .data = "y"}});
  TMemoryStream stream(bytes);
  stream.Seek(static_cast<std::int64_t>(bytes.find("PK\x01\x02")), soFromBeginning);
  TStream* s = &stream;
  TZipHeaderInfo h;
  ASSERT_TRUE(h.ReadCentralHeader(s));
  EXPECT_EQ(h.FileName(), "中文.txt");
  ASSERT_TRUE(h.ReadCentralHeader(s));
  EXPECT_EQ(h.FileName(), "next.txt");

  // A local header stops after the name, the extra field still ahead.
  TestEntry local{.name = "??.txt", .data = "DATA",
                  .localExtra = UnicodePathField("中文.txt", "??.txt")};
  TMemoryStream localStream(BuildZip({local}));
  ASSERT_TRUE(h.ReadLocalHeader(localStream));
  EXPECT_EQ(h.FileName(), "中文.txt");
  EXPECT_EQ(localStream.Position(), 30 + 6);
}

// ---- extraction ---------------------------------------------------------------------------

class UnicodeExtract : public UnicodeNames {
 protected:
  int Extract(const std::string& archive) {
    zip.SetZipName(archive);
    zip.SetDestDir(work.File("out"));
    zip.RecreateDirs = true;
    zip.OverwriteMode = TUZOverwriteMode::Always;
    log.recordPercent = false;
    log.Attach(zip);
    return zip.ExtractFiles();
  }
  // Each archive gets a name of its own: one rewritten within the same two seconds would keep
  // the directory read before.
  int ExtractEntries(const std::vector<TestEntry>& entries) {
    const std::string name = work.File("test" + std::to_string(++archives) + ".zip");
    WriteFileBytes(name, BuildZip(entries));
    zip.DoAll = true;
    return Extract(name);
  }
  int archives = 0;
  std::string Out(const std::string& relative) const { return work.File("out/" + relative); }
  TempDir work;
  TUnZip zip;
  EventLog log;
};

TEST_F(UnicodeExtract, AnEntryNamedByItsFieldIsWrittenUnderThatName) {
  const std::string stored = "\?\?\?\?/\?\?\?\?.txt";
  EXPECT_EQ(ExtractEntries({{.name = stored, .data = "content",
                             .centralExtra = UnicodePathField("папка/файл.txt", stored)}}),
            1);
  EXPECT_EQ(ReadFileBytes(Out("папка/файл.txt")), "content");
  EXPECT_EQ(log.lines.back(), "end 0 " + work.File("out") + "\\папка\\файл.txt");
}

TEST_F(UnicodeExtract, TheNameFromTheFieldPassesThePathChecks) {
  // Harmless stored bytes must not carry a name that climbs out, names a stream or a device.
  const std::vector<std::pair<std::string, std::string>> names = {
      {"evil.txt", "../evil.txt"},     {"evil2.txt", "a/../../evil2.txt"},
      {"ads.txt", "ads.txt:stream"},   {"con.txt", "CON.txt"},
      {"nul.txt", std::string("a\0b.txt", 7)}, {"dots.txt", "name."},
      {"good.txt", "хорошо.txt"},
  };
  std::vector<TestEntry> entries;
  for (const auto& [stored, unicode] : names) {
    entries.push_back({.name = stored, .data = "d", .centralExtra = UnicodePathField(unicode, stored)});
  }
  EXPECT_EQ(ExtractEntries(entries), 1);
  EXPECT_EQ(ReadFileBytes(Out("хорошо.txt")), "d");
  for (std::size_t i = 0; i + 1 < names.size(); ++i) {
    const std::string skip = "skip " + std::to_string(i) + " 2 ";
    const bool found = std::any_of(log.lines.begin(), log.lines.end(), [&](const std::string& l) {
      return l.rfind(skip, 0) == 0;
    });
    EXPECT_TRUE(found) << names[i].second;
    EXPECT_FALSE(fs::exists(fs::u8path(Out(names[i].first))));
  }
  EXPECT_FALSE(fs::exists(fs::u8path(work.File("evil.txt"))));

  // An absolute name from the field is re-rooted under the destination like any other.
  log.lines.clear();
  EXPECT_EQ(ExtractEntries({{.name = "abs.txt", .data = "a",
                             .centralExtra = UnicodePathField("C:/корень/abs.txt", "abs.txt")}}),
            1);
  EXPECT_EQ(ReadFileBytes(Out("корень/abs.txt")), "a");
}

TEST_F(UnicodeExtract, TheInfoZipSetWritesItsEscapedEntryUnderItsRealName) {
  zip.DoAll = true;
  EXPECT_EQ(Extract(TestDataPath("zip/public/sharpcompress/Infozip.nocomp.multi.zip")), 5);
  EXPECT_EQ(Sha256Hex(ReadFileBytes(Out("тест.txt"))),
            "4d581d93d369f6e1c9b295ff38d82dabd577f927dfaf0c35818c015c85e322d9");
  EXPECT_FALSE(fs::exists(fs::u8path(Out("#U0442#U0435#U0441#U0442.txt"))));
}

struct NamedFile {
  const char* path;
  const char* content;
};
constexpr NamedFile kPythonNames[] = {
    {"папка/файл.txt", "Привет, мир!\r\n"},
    {"中文/文件.txt", "中文内容\n"},
    {"日本語.txt", "nihongo\n"},
    {"smile_\U0001F600.txt", "outside the BMP\n"},
    {"plain.txt", "plain ASCII name\n"},
};

TEST_F(UnicodeExtract, TheUtf8NamesOfARealArchiveLandAsTheyAre) {
  zip.DoAll = true;
  EXPECT_EQ(Extract(DataPath("py_utf8_names.zip")), 6);
  for (const NamedFile& f : kPythonNames) EXPECT_EQ(ReadFileBytes(Out(f.path)), f.content) << f.path;
  EXPECT_TRUE(fs::is_directory(fs::u8path(Out("папка"))));
  // Nothing else: no name came out in another form beside the right one.
  int files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(fs::u8path(Out("")))) {
    files += entry.is_regular_file() ? 1 : 0;
  }
  EXPECT_EQ(files, 5);
}

TEST_F(UnicodeExtract, PatternsMatchTheNamesCharacterByCharacter) {
  zip.DoAll = false;
  zip.FilesList = {"???.txt", "папка\\*"};
  EXPECT_EQ(Extract(DataPath("py_utf8_names.zip")), 3);  // the directory entry counts
  EXPECT_EQ(ReadFileBytes(Out("日本語.txt")), "nihongo\n");
  EXPECT_EQ(ReadFileBytes(Out("папка/файл.txt")), "Привет, мир!\r\n");
  EXPECT_FALSE(fs::exists(fs::u8path(Out("中文"))));
  EXPECT_FALSE(fs::exists(fs::u8path(Out("plain.txt"))));

  // The patterns see the field's names, not the stored bytes.
  TempDir other;
  WriteFileBytes(other.File("f.zip"),
                 BuildZip({{.name = "????.txt", .data = "j",
                            .centralExtra = UnicodePathField("日本語.txt", "????.txt")},
                           {.name = "\?\?\?\?\?/\?\?\?\?.txt", .data = "r",
                            .centralExtra = UnicodePathField("папка/файл.txt", "\?\?\?\?\?/\?\?\?\?.txt")},
                           {.name = "plain.txt", .data = "p"}}));
  zip.SetDestDir(other.File("out"));
  zip.SetZipName(other.File("f.zip"));
  EXPECT_EQ(zip.ExtractFiles(), 2);
  EXPECT_EQ(ReadFileBytes(other.File("out/日本語.txt")), "j");
  EXPECT_EQ(ReadFileBytes(other.File("out/папка/файл.txt")), "r");
  EXPECT_FALSE(fs::exists(fs::u8path(other.File("out/plain.txt"))));
}

// ---- listing ------------------------------------------------------------------------------

// The "nameFrom" value of the listed entry that `anchor` is found in; empty without one.
std::string NameFromAfter(const std::string& json, const std::string& anchor) {
  const std::size_t at = json.find(anchor);
  if (at == std::string::npos) return {};
  const std::string key = "\"nameFrom\":\"";
  const std::size_t value = json.find(key, at);
  const std::size_t end = json.find('}', at);
  if (value == std::string::npos || value > end) return {};
  return json.substr(value + key.size(), json.find('"', value + key.size()) - value - key.size());
}

TEST_F(UnicodeNames, TheListingShowsTheNameAndWhereItCameFrom) {
  TUnZip set;
  set.SetZipName(TestDataPath("zip/public/sharpcompress/Infozip.nocomp.multi.zip"));
  set.ReadArchive();
  const std::string json = ArchiveListingJson(set);
  EXPECT_EQ(NameFromAfter(json, "\"fileName\":\"тест.txt\""), "unicodePath") << json;
  EXPECT_EQ(NameFromAfter(json, "\"fileName\":\"test.exe\""), "oem");

  TUnZip py;
  py.SetZipName(DataPath("py_utf8_names.zip"));
  py.ReadArchive();
  const std::string pyJson = ArchiveListingJson(py);
  EXPECT_EQ(NameFromAfter(pyJson, "\"directory\":\"中文\\\\\",\"fileName\":\"文件.txt\""), "utf8")
      << pyJson;
  EXPECT_EQ(NameFromAfter(pyJson, "\"fileName\":\"plain.txt\""), "oem");

  // Comments follow the flag and the Unicode Comment field too; a name flagged UTF-8 that is
  // not is told apart.
  std::string commentField = UnicodePathField("примечание", "\?\?\?");
  commentField[0] = 0x75;
  commentField[1] = 0x63;
  std::string staleField = UnicodePathField("старое", "old");
  staleField[0] = 0x75;
  staleField[1] = 0x63;
  TempDir work;
  WriteFileBytes(work.File("c.zip"),
                 BuildZip({{.name = "a.txt", .data = "a", .flags = kUtf8, .comment = "заметка"},
                           {.name = "\xE2\xA5\xE1\xE2", .data = "b", .flags = kUtf8},
                           {.name = "c.txt", .data = "c", .comment = "\?\?\?",
                            .centralExtra = commentField},
                           {.name = "d.txt", .data = "d", .comment = "\x8D\xAE\xA2\xAE\xA5",
                            .centralExtra = staleField}}));
  TUnZip c;
  c.SetZipName(work.File("c.zip"));
  c.ReadArchive();
  const std::string cJson = ArchiveListingJson(c);
  EXPECT_NE(cJson.find("\"comment\":\"заметка\""), std::string::npos) << cJson;
  EXPECT_EQ(NameFromAfter(cJson, "\"fileName\":\"тест\""), "oemNotUtf8");
  EXPECT_NE(cJson.find("\"comment\":\"примечание\""), std::string::npos);
  EXPECT_NE(cJson.find("\"comment\":\"Новое\""), std::string::npos);
}

}  // namespace
