// What the library step leaves not done is not installed: a subsystem whose library failed,
// and a dependent the person chose to remove with it, get no links and no "Installed" value.
// And a removal: every removing library runs once, and only for a subsystem that goes.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <sstream>

#include "common/osfile.h"
#include "common/win32.h"
#include "engine/DirTree.h"
#include "engine/ShellFolders_win32.h"
#include "engine/engine_support_win32.h"
#include "setup/ProductKeys_win32.h"
#include "setup/SetupGlobals.h"

using namespace enginetest;

namespace {

struct Sub {
  int Number;
  std::string ShortName;
  std::string Library;
  std::string Parameter;
  std::string Depend = "";
  int Parent = 0;
};

class NotDone : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    record = root.File("calls.txt");
    SetEnvironmentVariableW(L"ZTK_FIXTURE_RECORD", win32::Wide(record).c_str());
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    menuDir = ShellFolderPath(TShellFolder::Programs) + "\\Prod Group";
    desktopDir = ShellFolderPath(TShellFolder::Desktop) + "\\Prod Group";
    CleanGroups();
    SetupGlobals.IsEnglish = true;
  }
  void TearDown() override {
    CleanGroups();
    CoUninitialize();
    SetEnvironmentVariableW(L"ZTK_FIXTURE_RECORD", nullptr);
    EngineFixture::TearDown();
  }
  void CleanGroups() {
    DeleteDirTree(menuDir, false);
    DeleteDirTree(desktopDir, false);
  }

  // Every subsystem has an archive of its own with "<name>.txt", a menu link "<name> Menu"
  // and a desktop link "<name> Desk".
  void DescribeSubs(const std::vector<Sub>& subs) {
    description.ClearSections();
    TIDFSection* list = description.AddSection("SubSystems");
    for (const Sub& s : subs) {
      const std::string section = "Sub" + std::to_string(s.Number);
      list->AddParam(section)->SetAsInteger(s.Number);
      TIDFSection* own = description.AddSection(section);
      own->AddParam("Short name")->SetAsString(s.ShortName);
      own->AddParam("Full name")->SetAsString(s.ShortName);
      own->AddParam("Archive")->SetAsString(s.ShortName + ".zip");
      if (s.Parent) own->AddParam("Parent")->SetAsInteger(s.Parent);
      if (!s.Depend.empty()) own->AddParam("Depend")->SetAsString(s.Depend);
      if (!s.Library.empty()) own->AddParam("Library")->SetAsString(s.Library);
      if (!s.Parameter.empty()) own->AddParam("Parameter")->SetAsString(s.Parameter);
      own->AddParam("MENULINK1")->SetAsString(s.ShortName + ".txt|||" + s.ShortName + " Menu");
      own->AddParam("DESKTOPLINK1")->SetAsString(s.ShortName + ".txt|||" + s.ShortName + " Desk");
      WriteArchive(s.ShortName + ".zip", {{s.ShortName + ".txt", s.ShortName}});
    }
    ASSERT_TRUE(description.SaveToFile(dist + "\\setup.idf"));
  }
  void PlaceLibrary(const std::string& as) {
    ASSERT_TRUE(CopyFileW(win32::Wide(TestProgramDirectory() + "\\fixture_full.dll").c_str(),
                          win32::Wide(dist + "\\" + as).c_str(), FALSE));
  }
  std::vector<std::string> Calls() const {
    std::vector<std::string> lines;
    std::istringstream in(ReadFileBytes(record));
    for (std::string line; std::getline(in, line);) {
      const auto thread = line.find(" thread=");
      if (thread != std::string::npos) line.erase(thread);
      lines.push_back(line);
    }
    return lines;
  }
  int CallCount(const std::string& call) const {
    int n = 0;
    for (const std::string& line : Calls()) n += line == call;
    return n;
  }
  // Which of the subsystems have links, and which are recorded as installed.
  std::string Linked(const std::vector<std::string>& names) const {
    std::string out;
    for (const std::string& name : names) {
      const bool menu = os::FileExists(menuDir + "\\" + name + " Menu.lnk");
      const bool desk = os::FileExists(desktopDir + "\\" + name + " Desk.lnk");
      EXPECT_EQ(menu, desk) << name;
      if (menu) out += (out.empty() ? "" : ",") + name;
    }
    return out;
  }
  std::string Registered(const std::vector<std::string>& names) const {
    std::string out, value;
    for (const std::string& name : names) {
      if (ProductValue(productkeys::kSubSystems, name, value)) out += (out.empty() ? "" : ",") + name;
    }
    return out;
  }

  std::string record, menuDir, desktopDir;
};

const std::string kNotInstalled = " was not installated.\r\nTo abort installation?";
std::string RemoveQuestion(const std::string& name) {
  return "Subsystem " + name + "\r\n will not be possible to work.\r\nTo remove subsystem?";
}

// Alpha's library fails and the person goes on without it; Beta needs Alpha and is offered
// for removal; Plain has nothing to do with either. A fresh installation and an addition to
// an installed product (Plain first) end alike.
TEST_F(NotDone, WhatTheLibraryStepLeftNotDoneGetsNoLinksAndNoRecord) {
  const int Yes = mb::kIdYes, No = mb::kIdNo;
  const struct {
    const char* name;
    bool adding;
    int removeBeta;
    std::string linked, registered;
  } cases[] = {
      {"install, Beta removed", false, Yes, "Plain", "Plain"},
      {"install, Beta kept", false, No, "Beta,Plain", "Beta,Plain"},
      {"adding, Beta removed", true, Yes, "Plain", "Plain"},
      {"adding, Beta kept", true, No, "Beta,Plain", "Beta,Plain"},
  };
  PlaceLibrary("plugA.dll");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CleanRegistry();
    CleanGroups();
    DeleteDirTree(installDir, false);
    DescribeSubs({{1, "Alpha", "plugA.dll", "perform=0", ""}, {2, "Beta", "", "", "1"}, {3, "Plain", "", "", ""}});
    if (c.adding) {
      auto plain = Tree({3});
      ScriptedMessages none;
      ASSERT_TRUE(Run(smInstall, plain.get(), nullptr).Succeeded);
    }
    ScriptedMessages boxes;
    boxes.Expect(No);  // go on without Alpha
    boxes.Expect(c.removeBeta);
    auto tree = c.adding ? Tree({1, 2}) : Tree();
    EXPECT_TRUE(Run(c.adding ? smAddDelete : smInstall, tree.get(), nullptr).Succeeded);
    ASSERT_EQ(boxes.Shown().size(), 2u);
    EXPECT_EQ(boxes.Shown()[0].text, "subsystem Alpha" + kNotInstalled);
    EXPECT_EQ(boxes.Shown()[1].text, RemoveQuestion("Beta"));
    EXPECT_EQ(Linked({"Alpha", "Beta", "Plain"}), c.linked);
    EXPECT_EQ(Registered({"Alpha", "Beta", "Plain"}), c.registered);
    EXPECT_FALSE(os::FileExists(Installed("Alpha.txt")));
    EXPECT_EQ(os::FileExists(Installed("Beta.txt")), c.removeBeta == No);
  }
}

// The removal of Alpha in a change of the product answers "abort": the change fails, and
// Alpha's library is not asked to remove it a second time when the change goes on to its
// own removal step.
TEST_F(NotDone, ARemovalThatFailedIsNotTriedAgain) {
  PlaceLibrary("plugA.dll");
  DescribeSubs({{1, "Alpha", "plugA.dll", "uperform=2", ""}, {2, "Plain", "", "", ""}, {3, "Later", "", "", ""}});
  auto installed = Tree({1, 2});
  ASSERT_TRUE(Run(smInstall, installed.get(), nullptr).Succeeded);
  DeleteFileW(win32::Wide(record).c_str());
  ClearLog();
  auto add = Tree({3});
  auto remove = Tree({1});
  ScriptedMessages none;
  EXPECT_FALSE(Run(smAddDelete, add.get(), remove.get()).Succeeded);
  EXPECT_EQ(CallCount("plugA.dll:SetIUGRegim 2"), 1);
  EXPECT_EQ(CallCount("plugA.dll:Perform"), 1);
  // Nothing of the failed change stays.
  EXPECT_TRUE(os::FileExists(Installed("Alpha.txt")));
  EXPECT_FALSE(os::FileExists(Installed("Later.txt")));
  EXPECT_EQ(Registered({"Alpha", "Plain", "Later"}), "Alpha,Plain");
}

// Removing only a subsystem nested below Alpha leaves Alpha installed: its library is not
// told to remove it. Removing Alpha itself does call it, once.
TEST_F(NotDone, OnlyTheLibrariesOfSubsystemsThatGoRemoveThem) {
  PlaceLibrary("plugA.dll");
  DescribeSubs({{1, "Alpha", "plugA.dll", "", ""}, {2, "Child", "", "", "", 1}, {3, "Plain", "", "", ""}});
  auto installed = Tree();
  ASSERT_TRUE(Run(smInstall, installed.get(), nullptr).Succeeded);
  ASSERT_TRUE(os::FileExists(Installed("Child.txt")));

  // As the wizard hands it over: Alpha marked (it stays), Child unmarked (it goes).
  DeleteFileW(win32::Wide(record).c_str());
  auto child = Tree({1, 2});
  child->Children(0)->Info.Selected = true;
  ScriptedMessages none;
  ASSERT_TRUE(Run(smAddDelete, nullptr, child.get()).Succeeded);
  EXPECT_FALSE(os::FileExists(Installed("Child.txt")));
  EXPECT_TRUE(os::FileExists(Installed("Alpha.txt")));
  EXPECT_EQ(Registered({"Alpha", "Child", "Plain"}), "Alpha,Plain");
  EXPECT_EQ(CallCount("plugA.dll:SetIUGRegim 2"), 0);
  EXPECT_EQ(CallCount("plugA.dll:Perform"), 0);

  auto alpha = Tree({1});
  ASSERT_TRUE(Run(smAddDelete, nullptr, alpha.get()).Succeeded);
  EXPECT_FALSE(os::FileExists(Installed("Alpha.txt")));
  EXPECT_EQ(CallCount("plugA.dll:SetIUGRegim 2"), 1);
  EXPECT_EQ(CallCount("plugA.dll:Perform"), 1);
}

}  // namespace
