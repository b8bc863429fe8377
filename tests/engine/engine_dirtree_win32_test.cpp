// The directory removal, the canonical paths and the installation directory's protection on
// the real file system: what opens relative to handles, what the system resolves, and what
// a junction put inside a tree can and cannot reach.
#include <windows.h>
#include <aclapi.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "common/CanonicalPath.h"
#include "common/osfile.h"
#include "common/testsupport.h"
#include "common/win32.h"
#include "engine/DirTree.h"
#include "engine/EnginePaths_win32.h"

namespace {

// A mount point (junction) at `link` that leads to `target`; false when the file system or
// the system cannot make one.
bool MakeJunction(const std::string& link, const std::string& target) {
  if (!CreateDirectoryW(win32::Wide(link).c_str(), nullptr)) return false;
  win32::FileHandle handle(CreateFileW(win32::Wide(link).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!handle) return false;
  const std::wstring substitute = L"\\??\\" + win32::Wide(target);
  const USHORT substituteBytes = static_cast<USHORT>(substitute.size() * sizeof(wchar_t));
  std::vector<unsigned char> buffer(8 + 8 + substituteBytes + 2 + 2 + 16);
  auto put16 = [&](std::size_t at, USHORT v) { memcpy(buffer.data() + at, &v, 2); };
  const ULONG tag = IO_REPARSE_TAG_MOUNT_POINT;
  memcpy(buffer.data(), &tag, 4);
  put16(4, static_cast<USHORT>(8 + substituteBytes + 2 + 2));  // ReparseDataLength
  put16(8, 0);                                                   // SubstituteNameOffset
  put16(10, substituteBytes);                                    // SubstituteNameLength
  put16(12, static_cast<USHORT>(substituteBytes + 2));           // PrintNameOffset
  put16(14, 0);                                                  // PrintNameLength
  memcpy(buffer.data() + 16, substitute.c_str(), substituteBytes);
  DWORD returned = 0;
  const DWORD size = static_cast<DWORD>(8 + 8 + substituteBytes + 2 + 2);
  const bool made = DeviceIoControl(handle.get(), FSCTL_SET_REPARSE_POINT, buffer.data(), size, nullptr, 0,
                                    &returned, nullptr) != 0;
  handle.reset();
  if (!made) RemoveDirectoryW(win32::Wide(link).c_str());
  return made && (GetFileAttributesW(win32::Wide(link).c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
}

TEST(DirTreeHandles, RemovesATreeWithReadOnlyHiddenAndNestedEntries) {
  TempDir root;
  const std::string tree = root.File("tree");
  ASSERT_TRUE(os::CreateDirectories(tree + "\\a\\b\\c"));
  ASSERT_TRUE(os::CreateDirectories(tree + "\\empty"));
  WriteFileBytes(tree + "\\top.txt", "1");
  WriteFileBytes(tree + "\\a\\b\\c\\deep.txt", "2");
  WriteFileBytes(tree + "\\a\\ro.txt", "3");
  ASSERT_TRUE(os::SetAttributes(tree + "\\a\\ro.txt", os::kAttrReadOnly | os::kAttrHidden | os::kAttrSystem));
  ASSERT_TRUE(os::SetAttributes(tree + "\\a\\b", os::kAttrReadOnly));
  WriteFileBytes(root.File("beside.txt"), "stays");
  EXPECT_TRUE(DeleteDirTree(tree, false));
  EXPECT_EQ(os::GetAttributes(tree), os::kInvalidAttributes);
  EXPECT_EQ(ReadFileBytes(root.File("beside.txt")), "stays");
  EXPECT_FALSE(DeleteDirTree(tree, false));  // gone already
  EXPECT_FALSE(DeleteDirTree("", false));
}

TEST(DirTreeHandles, AFileInUseStopsItsDirectoryOnly) {
  TempDir root;
  const std::string tree = root.File("tree");
  ASSERT_TRUE(os::CreateDirectories(tree + "\\held"));
  ASSERT_TRUE(os::CreateDirectories(tree + "\\free"));
  WriteFileBytes(tree + "\\held\\open.txt", "in use");
  WriteFileBytes(tree + "\\free\\x.txt", "x");
  win32::FileHandle open(CreateFileW(win32::Wide(tree + "\\held\\open.txt").c_str(), GENERIC_READ,
                                     FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(open);
  ScriptedMessages boxes;
  boxes.Expect(IDOK);
  EXPECT_FALSE(DeleteDirTree(tree, true));
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_EQ(boxes.Shown()[0].text, "Ошибка удаления файла" + tree + "\\held\\open.txt");
  EXPECT_TRUE(os::FileExists(tree + "\\held\\open.txt"));
  EXPECT_FALSE(os::DirectoryExists(tree + "\\free"));
}

TEST(DirTreeHandles, DeleteDirFilesKeepsDirectoriesAndOtherPatterns) {
  TempDir root;
  const std::string dir = root.File("d");
  ASSERT_TRUE(os::CreateDirectories(dir + "\\sub"));
  WriteFileBytes(dir + "\\a.tmp", "");
  WriteFileBytes(dir + "\\b.txt", "");
  WriteFileBytes(dir + "\\sub\\c.tmp", "");
  EXPECT_TRUE(DeleteDirFiles(dir, "*.tmp", false));
  EXPECT_FALSE(os::FileExists(dir + "\\a.tmp"));
  EXPECT_TRUE(os::FileExists(dir + "\\b.txt"));
  EXPECT_TRUE(os::FileExists(dir + "\\sub\\c.tmp"));
}

// Where the system can make a junction, one put inside the tree leads neither the removal
// nor the deletion of a listed file out of it. (Wine before reparse-point support cannot:
// the same rules are proved natively with symbolic links.)
TEST(DirTreeHandles, AJunctionInsideDoesNotLeadTheRemovalOut) {
  TempDir root;
  const std::string outside = root.File("outside"), tree = root.File("tree");
  ASSERT_TRUE(os::CreateDirectories(outside + "\\deep"));
  ASSERT_TRUE(os::CreateDirectories(tree + "\\DATA"));
  WriteFileBytes(outside + "\\deep\\keep.txt", "precious");
  if (!MakeJunction(tree + "\\DATA\\link", outside)) GTEST_SKIP() << "this system makes no junctions";
  EXPECT_EQ(CanonicalPath(tree + "\\DATA\\link\\deep"), CanonicalPath(outside + "\\deep"));
  EXPECT_FALSE(IsCanonicallyBelow(tree + "\\DATA\\link\\deep\\keep.txt", tree));
  EXPECT_FALSE(ReachedWithoutLinks(tree, tree + "\\DATA\\link\\deep\\keep.txt"));
  EXPECT_TRUE(ReachedWithoutLinks(outside, outside + "\\deep\\keep.txt"));
  EXPECT_TRUE(DeleteDirTree(tree, false));
  EXPECT_FALSE(os::DirectoryExists(tree));
  EXPECT_EQ(ReadFileBytes(outside + "\\deep\\keep.txt"), "precious");
}

TEST(CanonicalPaths, EverySpellingNamesWhatExists) {
  TempDir root;
  const std::string base = CanonicalPath(root.Path());
  ASSERT_FALSE(base.empty());
  ASSERT_TRUE(os::CreateDirectories(root.File("Mixed Case\\Long Directory Name")));
  wchar_t shortName[MAX_PATH] = {};
  GetShortPathNameW(win32::Wide(root.File("Mixed Case\\Long Directory Name")).c_str(), shortName, MAX_PATH);
  const std::string mixed = base + "\\Mixed Case";
  const struct {
    std::string path, expected;
  } cases[] = {
      {root.File("mixed case"), mixed},
      {root.File("MIXED CASE\\new\\deeper"), mixed + "\\new\\deeper"},
      {root.File("Mixed Case\\x\\..\\.\\"), mixed},
      {root.File("Mixed Case. ."), mixed},
      {"\\\\?\\" + root.File("Mixed Case\\..\\Mixed Case"), mixed},
      {win32::Narrow(shortName), mixed + "\\Long Directory Name"},
      {"C:\\.", "C:\\"},
      {"C:\\..", "C:\\"},
      {"C:", "C:\\"},
      {"Q:\\X\\..", "Q:\\"},
      {"", ""},
      {"\\\\.\\PhysicalDrive0", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(CanonicalPath(c.path), c.expected) << c.path;
  // A relative path is taken against the current directory.
  const std::string current = os::CurrentDirectory();
  ASSERT_TRUE(SetCurrentDirectoryW(win32::Wide(root.File("Mixed Case")).c_str()));
  EXPECT_EQ(CanonicalPath("Long Directory Name\\..\\."), mixed);
  EXPECT_EQ(CanonicalPath(".."), base);
  SetCurrentDirectoryW(win32::Wide(current).c_str());
}

TEST(CanonicalPaths, TheSystemsDirectoriesAreKnown) {
  const std::vector<std::string> dirs = ProtectedDirectories();
  wchar_t windows[MAX_PATH] = {}, system[MAX_PATH] = {}, profile[MAX_PATH] = {};
  GetWindowsDirectoryW(windows, MAX_PATH);
  GetSystemDirectoryW(system, MAX_PATH);
  GetEnvironmentVariableW(L"USERPROFILE", profile, MAX_PATH);
  for (const wchar_t* dir : {windows, system, profile}) {
    const std::string canonical = CanonicalPath(win32::Narrow(dir));
    bool found = false;
    for (const std::string& d : dirs) found = found || text::SameTextNoCase(d, canonical);
    EXPECT_TRUE(found) << canonical;
  }
  EXPECT_TRUE(RefusedInstallDirectory(win32::Narrow(windows)));
  EXPECT_TRUE(RefusedInstallDirectory(win32::Narrow(profile)));
  EXPECT_TRUE(RefusedInstallDirectory(CanonicalPath(win32::Narrow(profile)) + "\\.."));
  EXPECT_FALSE(RefusedInstallDirectory(CanonicalPath(win32::Narrow(profile)) + "\\Apps\\Prod"));
}

// The access list of a directory: whether it is protected from inheritance and which SIDs
// it grants what.
struct TAcl {
  bool Protected = false;
  std::vector<std::pair<WELL_KNOWN_SID_TYPE, DWORD>> Grants;
};

TAcl ReadAcl(const std::string& path) {
  TAcl result;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  std::wstring wide = win32::Wide(path);
  if (GetNamedSecurityInfoW(wide.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                            nullptr, &descriptor) != ERROR_SUCCESS)
    return result;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  GetSecurityDescriptorControl(descriptor, &control, &revision);
  result.Protected = (control & SE_DACL_PROTECTED) != 0;
  for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace)) || ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    PSID sid = &ace->SidStart;
    for (WELL_KNOWN_SID_TYPE type : {WinBuiltinAdministratorsSid, WinLocalSystemSid, WinBuiltinUsersSid}) {
      if (IsWellKnownSid(sid, type)) result.Grants.emplace_back(type, ace->Mask);
    }
  }
  LocalFree(descriptor);
  return result;
}

TEST(InstallDirectoryAcl, AnOwnDirectoryIsWritableByAdministratorsOnly) {
  TempDir root;
  const std::string dir = root.File("Prod");
  ASSERT_TRUE(os::CreateDirectories(dir));
  ASSERT_TRUE(ProtectInstallDirectory(dir));
  const TAcl acl = ReadAcl(dir);
  // Wine accepts the list and keeps none: it shows one made from the Unix permissions.
  if (!acl.Protected) GTEST_SKIP() << "this system keeps no access list set on a directory";
  ASSERT_EQ(acl.Grants.size(), 3u);
  for (const auto& [sid, mask] : acl.Grants) {
    if (sid == WinBuiltinUsersSid) {
      EXPECT_EQ(mask & (FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE | WRITE_DAC | WRITE_OWNER), 0u);
      EXPECT_NE(mask & (FILE_READ_DATA | FILE_EXECUTE), 0u);
    } else {
      EXPECT_EQ(mask & FILE_ALL_ACCESS, static_cast<DWORD>(FILE_ALL_ACCESS));
    }
  }
  // What is made inside afterwards inherits it.
  ASSERT_TRUE(os::CreateDirectories(dir + "\\EXE"));
  EXPECT_EQ(ReadAcl(dir + "\\EXE").Grants.size(), 3u);
}

TEST(InstallDirectoryAcl, BelowProgramFilesTheInheritedListStays) {
  wchar_t programFiles[MAX_PATH] = {};
  ASSERT_GT(GetEnvironmentVariableW(L"ProgramFiles", programFiles, MAX_PATH), 0u);
  const std::string dir = win32::Narrow(programFiles) + "\\ZTK Acl Test";
  ASSERT_TRUE(os::CreateDirectories(dir));
  EXPECT_TRUE(ProtectInstallDirectory(dir));
  EXPECT_FALSE(ReadAcl(dir).Protected);
  RemoveDirectoryW(win32::Wide(dir).c_str());
}

}  // namespace
