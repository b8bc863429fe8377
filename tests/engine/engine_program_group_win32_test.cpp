// The program group on the real shell folders and shell links of the Wine prefix: links
// made by an installation read back through the shell-link interface, deleted with their
// subsystem, the group removed with the product, and names that would leave the group.
#include <gtest/gtest.h>

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "common/osfile.h"
#include "common/win32.h"
#include "engine/DirTree.h"
#include "engine/ProgramGroup_win32.h"
#include "engine/ShellFolders_win32.h"
#include "engine/engine_support_win32.h"
#include "setup/SetupGlobals.h"

using namespace enginetest;

namespace {

struct LinkData {
  std::string path, arguments, directory, icon, description;
  int iconIndex = -1;
};

bool ReadLink(const std::string& file, LinkData& data) {
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link))))
    return false;
  IPersistFile* persist = nullptr;
  bool ok = SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) &&
            SUCCEEDED(persist->Load(win32::Wide(file).c_str(), STGM_READ));
  if (ok) {
    wchar_t buffer[1024];
    link->GetPath(buffer, 1024, nullptr, SLGP_RAWPATH);
    data.path = win32::Narrow(buffer);
    link->GetArguments(buffer, 1024);
    data.arguments = win32::Narrow(buffer);
    link->GetWorkingDirectory(buffer, 1024);
    data.directory = win32::Narrow(buffer);
    link->GetIconLocation(buffer, 1024, &data.iconIndex);
    data.icon = win32::Narrow(buffer);
    link->GetDescription(buffer, 1024);
    data.description = win32::Narrow(buffer);
  }
  if (persist) persist->Release();
  link->Release();
  return ok;
}

class ProgramGroup : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    menuDir = ShellFolderPath(TShellFolder::Programs) + "\\Prod Group";
    desktopDir = ShellFolderPath(TShellFolder::Desktop) + "\\Prod Group";
    Clean();
  }
  void TearDown() override {
    Clean();
    CoUninitialize();
    EngineFixture::TearDown();
  }
  void Clean() {
    DeleteDirTree(menuDir, false);
    DeleteDirTree(desktopDir, false);
    DeleteDirTree(ShellFolderPath(TShellFolder::Programs) + "\\Vendor", false);
  }
  // Two subsystems with links; the second only a menu link.
  void DescribeWithLinks() {
    Describe({{1, "Base", "", ""}, {2, "Tools", "", ""}});
    TIDFSection* base = description.FindSection("Sub1");
    base->AddParam("MENULINK1")->SetAsString("bin\\app.exe|-x \"a b\"|bin\\app.ico|App|The app");
    base->AddParam("DESKTOPLINK1")->SetAsString("bin\\app.exe||bin\\app.ico|Desk App");
    description.FindSection("Sub2")->AddParam("MENULINK1")->SetAsString("tools\\t.exe|||Tool|");
    ASSERT_TRUE(description.SaveToFile(dist + "\\setup.idf"));
  }
  std::string menuDir, desktopDir;
};

TEST_F(ProgramGroup, InstallMakesLinksThatResolve) {
  ASSERT_FALSE(ShellFolderPath(TShellFolder::Programs).empty());
  DescribeWithLinks();
  ASSERT_TRUE(Install().Succeeded);

  LinkData app;
  ASSERT_TRUE(ReadLink(menuDir + "\\App.lnk", app));
  EXPECT_TRUE(text::SameTextAscii(app.path, Installed("bin\\app.exe"))) << app.path;
  EXPECT_EQ(app.arguments, "-x \"a b\"");
  EXPECT_TRUE(text::SameTextAscii(app.directory, Installed("bin\\"))) << app.directory;
  EXPECT_EQ(app.icon, "bin\\app.ico");  // only the target is made absolute
  EXPECT_EQ(app.iconIndex, 0);
  EXPECT_EQ(app.description, "The app");
  LinkData desk;
  ASSERT_TRUE(ReadLink(desktopDir + "\\Desk App.lnk", desk));
  EXPECT_TRUE(text::SameTextAscii(desk.path, Installed("bin\\app.exe"))) << desk.path;
  EXPECT_EQ(desk.description, "");
  EXPECT_TRUE(os::FileExists(menuDir + "\\Tool.lnk"));
  EXPECT_FALSE(os::FileExists(desktopDir + "\\Tool.lnk"));

  // Removing a subsystem deletes its links only.
  auto remove = Tree({2});
  ASSERT_TRUE(Run(smAddDelete, nullptr, remove.get()).Succeeded);
  EXPECT_FALSE(os::FileExists(menuDir + "\\Tool.lnk"));
  EXPECT_TRUE(os::FileExists(menuDir + "\\App.lnk"));

  // The product's removal takes both groups.
  ASSERT_TRUE(Uninstall().Succeeded);
  EXPECT_FALSE(os::DirectoryExists(menuDir));
  EXPECT_FALSE(os::DirectoryExists(desktopDir));
}

TEST_F(ProgramGroup, AFailedLinkIsShownWithItsErrorAsCaption) {
  Describe({{1, "Base", "", ""}});
  TIDFSection* base = description.FindSection("Sub1");
  base->AddParam("MENULINK1")->SetAsString("a.exe|||Bad: name|");
  base->AddParam("MENULINK2")->SetAsString("a.exe|||Good|");
  ASSERT_TRUE(description.SaveToFile(dist + "\\setup.idf"));
  ScriptedMessages boxes;
  boxes.Expect(mb::kIdOk);
  ASSERT_TRUE(Install().Succeeded);  // links are not worth failing an installation for
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_EQ(boxes.Shown()[0].text, "Ошибка при создании программной группы");
  EXPECT_EQ(boxes.Shown()[0].caption.rfind("Ошибка при добавлении программного элемента Bad: name\r\n", 0), 0u)
      << boxes.Shown()[0].caption;
  EXPECT_EQ(boxes.Shown()[0].flags, mb::kIconError | mb::kTaskModal);
  EXPECT_TRUE(os::FileExists(menuDir + "\\Good.lnk"));
  EXPECT_EQ(os::ListDirectory(menuDir).size(), 1u);
}

TEST_F(ProgramGroup, EmptyListsMakeNoFolder) {
  Describe({{1, "Base", "", ""}});
  ASSERT_TRUE(Install().Succeeded);
  EXPECT_FALSE(os::DirectoryExists(menuDir));
  EXPECT_FALSE(os::DirectoryExists(desktopDir));
}

TEST_F(ProgramGroup, JobsOnTheMainThread) {
  std::string error;
  const std::vector<std::string> links{"C:\\P\\a.exe|||A|", "C:\\P\\b.exe|||B|"};
  // Deleting links of a group that does not exist succeeds.
  EXPECT_TRUE(DealProgramGroup(gjDeleteLinks, "Prod Group", &links, error, false)) << error;
  EXPECT_FALSE(os::DirectoryExists(menuDir));

  // Nested groups are made with their parents and go with them when empty.
  EXPECT_TRUE(DealProgramGroup(gjCreate, "Vendor\\Product", &links, error, false)) << error;
  const std::string nested = ShellFolderPath(TShellFolder::Programs) + "\\Vendor\\Product";
  EXPECT_TRUE(os::FileExists(nested + "\\A.lnk"));
  EXPECT_TRUE(DealProgramGroup(gjDeleteLinks, "Vendor\\Product", &links, error, false)) << error;
  EXPECT_FALSE(os::FileExists(nested + "\\A.lnk"));
  EXPECT_TRUE(DealProgramGroup(gjDeleteGroup, "Vendor\\Product", nullptr, error, false)) << error;
  EXPECT_FALSE(os::DirectoryExists(ShellFolderPath(TShellFolder::Programs) + "\\Vendor"));

  // An unsafe link name is a failed link, written nowhere; the others are made.
  const std::vector<std::string> unsafe{"C:\\P\\a.exe|||..\\..\\Evil|", "C:\\P\\a.exe|||A|"};
  EXPECT_FALSE(DealProgramGroup(gjCreate, "Prod Group", &unsafe, error, false));
  EXPECT_EQ(error.rfind("Ошибка при добавлении программного элемента ..\\..\\Evil", 0), 0u) << error;
  EXPECT_TRUE(os::FileExists(menuDir + "\\A.lnk"));
  EXPECT_FALSE(os::FileExists(ShellFolderPath(TShellFolder::Programs) + "\\..\\Evil.lnk"));

  // A group never leaves its folder.
  for (const char* group : {"", "..", "..\\Outside", "Prod\\..\\..\\x", "C:\\x", "\\x", "\\\\srv\\s"}) {
    SCOPED_TRACE(group);
    error.clear();
    EXPECT_FALSE(DealProgramGroup(gjCreate, group, &links, error, false));
    EXPECT_EQ(error.rfind("Ошибка при определении каталога программной группы \r\n", 0), 0u) << error;
    EXPECT_FALSE(DealProgramGroup(gjDeleteGroup, group, nullptr, error, true));
  }
  EXPECT_TRUE(os::DirectoryExists(ShellFolderPath(TShellFolder::Desktop)));
  EXPECT_FALSE(os::FileExists(root.Path() + "\\x\\A.lnk"));

  EXPECT_FALSE(DealProgramGroup(7, "Prod Group", &links, error, false));
  EXPECT_EQ(error, "Неизвестное задание по изменению программной группы");
}

TEST_F(ProgramGroup, StartupGroupIsTheStartupFolder) {
  const std::string startup = ShellFolderPath(TShellFolder::Startup);
  ASSERT_FALSE(startup.empty());
  const std::string name = GetStartupGroupName();
  EXPECT_TRUE(text::SameTextAscii(ShellFolderPath(TShellFolder::Programs) + "\\" + name, startup)) << startup;
}

}  // namespace
