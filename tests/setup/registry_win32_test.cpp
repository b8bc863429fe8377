// The subsystem marks on the real registry: a key of its own under HKEY_CURRENT_USER that each
// test deletes first.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "common/errors.h"
#include "description/InstList.h"
#include "setup/RegistryKey_win32.h"

namespace {

constexpr wchar_t kTestKey[] = L"Software\\QuorvalenTest\\SubSystems";

class RegistryKeyTest : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\QuorvalenTest"); }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\QuorvalenTest"); }

  static TSysNode* AddNode(TCustomSysNode* parent, int number, const std::string& shortName) {
    auto node = std::make_unique<TSysNode>();
    node->Info.Number = number;
    node->Info.ShortName = shortName;
    TSysNode* raw = node.get();
    parent->AddChild(std::move(node));
    return raw;
  }
};

TEST_F(RegistryKeyTest, ValuesAreWrittenReadAndDeleted) {
  TWin32RegistryKey key(HKEY_CURRENT_USER, "\\Software\\QuorvalenTest\\SubSystems", true);
  ASSERT_TRUE(key.Opened());
  EXPECT_FALSE(key.ValueExists("Ядро"));
  key.WriteString("Ядро", "Installed");
  key.WriteString("Docs", "Installed");
  EXPECT_TRUE(key.ValueExists("ядро") || key.ValueExists("Ядро"));
  std::vector<std::string> names = key.GetValueNames();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Docs", "Ядро"}));
  EXPECT_TRUE(key.DeleteValue("Docs"));
  EXPECT_FALSE(key.DeleteValue("Docs"));
  EXPECT_EQ(key.GetValueNames(), std::vector<std::string>{"Ядро"});

  TWin32RegistryKey missing(HKEY_CURRENT_USER, "Software\\QuorvalenTest\\Nothing", false);
  EXPECT_FALSE(missing.Opened());
  EXPECT_FALSE(missing.ValueExists("Docs"));
  EXPECT_THROW(missing.WriteString("Docs", "Installed"), Exception);
}

TEST_F(RegistryKeyTest, InstalledMarksFollowTheTree) {
  TSysTree tree;
  TSysNode* core = AddNode(&tree, 1, "Core");
  TSysNode* docs = AddNode(core, 2, "Docs");
  TSysNode* extra = AddNode(&tree, 3, "Extra");
  core->Info.Selected = true;
  docs->Info.Selected = true;
  extra->Info.Selected = false;

  TWin32RegistryKey key(HKEY_CURRENT_USER, "Software\\QuorvalenTest\\SubSystems", true);
  ASSERT_TRUE(key.Opened());
  key.WriteString("Core", "kept");  // an existing value is never rewritten
  EXPECT_TRUE(tree.UpdateInstalledValues(key, 1));

  wchar_t data[64] = {};
  DWORD size = sizeof data;
  ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, kTestKey, L"Core", RRF_RT_REG_SZ, nullptr, data, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(std::wstring(data), L"kept");
  size = sizeof data;
  ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, kTestKey, L"Docs", RRF_RT_REG_SZ, nullptr, data, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(std::wstring(data), L"Installed");
  EXPECT_FALSE(key.ValueExists("Extra"));

  // Mode 2 removes the marks of what is no longer kept.
  core->Info.SavedSelected = true;
  docs->Info.SavedSelected = false;
  EXPECT_TRUE(tree.UpdateInstalledValues(key, 2));
  EXPECT_EQ(key.GetValueNames(), std::vector<std::string>{"Core"});
}

}  // namespace
