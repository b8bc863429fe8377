// The names that the Unicode Path field and the UTF-8 flag give are the names the Windows file
// system holds: listed with the wide API, each one is exactly its UTF-16 text, whatever the
// system's ANSI and OEM code pages.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/testsupport.h"
#include "common/text.h"
#include "extract_test_support.h"
#include "unzip/UnZip.h"

namespace {

using extracttest::BuildZip;
using extracttest::UnicodePathField;

std::wstring Wide(const std::string& utf8) {
  std::wstring out(static_cast<std::size_t>(
                       MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                           nullptr, 0)),
                   L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(),
                      static_cast<int>(out.size()));
  return out;
}

// The names in a directory, as FindFirstFileW gives them.
std::vector<std::wstring> NamesIn(const std::wstring& directory) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((directory + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

std::string ContentOf(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  char buffer[256];
  DWORD got = 0;
  std::string out;
  if (ReadFile(file, buffer, sizeof buffer, &got, nullptr)) out.assign(buffer, got);
  CloseHandle(file);
  return out;
}

TEST(UnicodeNamesWin32, TheFileSystemHoldsTheNamesAsTheirUtf16Text) {
  TempDir work;
  WriteFileBytes(work.File("u.zip"),
                 BuildZip({{.name = "\?\?\?\?.txt", .data = "cyrillic",
                            .centralExtra = UnicodePathField("тест.txt", "\?\?\?\?.txt")},
                           {.name = "\?\?/\?\?.txt", .data = "cjk",
                            .centralExtra = UnicodePathField("中文/文件.txt", "\?\?/\?\?.txt")},
                           {.name = "smile_\xF0\x9F\x98\x80.txt", .data = "astral", .flags = 0x0800}}));
  TUnZip zip;
  zip.SetZipName(work.File("u.zip"));
  zip.SetDestDir(work.File("out"));
  zip.RecreateDirs = true;
  zip.DoAll = true;
  zip.OverwriteMode = TUZOverwriteMode::Always;
  ASSERT_EQ(zip.ExtractFiles(), 3);

  const std::wstring out = Wide(work.File("out"));
  EXPECT_EQ(NamesIn(out), (std::vector<std::wstring>{L"smile_\xD83D\xDE00.txt", L"тест.txt",
                                                     L"中文"}));
  EXPECT_EQ(NamesIn(out + L"\\中文"), std::vector<std::wstring>{L"文件.txt"});
  EXPECT_EQ(ContentOf(out + L"\\тест.txt"), "cyrillic");
  EXPECT_EQ(ContentOf(out + L"\\中文\\文件.txt"), "cjk");
  EXPECT_EQ(ContentOf(out + L"\\smile_\xD83D\xDE00.txt"), "astral");
}

}  // namespace
