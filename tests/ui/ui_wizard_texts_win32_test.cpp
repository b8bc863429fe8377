// The wizard's texts as a person reads them: sizes that are never 0 for a product that is not
// empty and whose digits are grouped, the company's address opened as given when it names its
// scheme, and texts that fit their controls (the description's caption, a long system name).
#include <gtest/gtest.h>

#include "ui/SizeText_win32.h"
#include "ui/TextFit_win32.h"
#include "ui/ui_wizard_support_win32.h"

namespace {

using namespace wizardtest;
using uitest::Text;

const std::string kNbsp = "\xC2\xA0";
const std::wstring kEllipsis = L"\u2026";

TEST(SizeText, KilobytesAreRoundedUpAndDigitsGrouped) {
  struct Row {
    long long bytes, kilobytes, megabytes;
  };
  const Row rows[] = {
      {0, 0, 0},
      {1, 1, 1},                  // not 0 for one byte
      {100, 1, 1},                // 110 bytes
      {1024000, 1100, 2},         // 1100 K exactly
      {1024001, 1101, 2},
      {976000, 1049, 2},          // 1048.4 K: up, not to the nearest
      {475000000, 510254, 499},   // 498.3 M
      {60845260000000LL, 65361119141, 63829218},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.bytes);
    EXPECT_EQ(sizetext::RequiredKilobytes(row.bytes), row.kilobytes);
    EXPECT_EQ(sizetext::Megabytes(row.kilobytes), row.megabytes);
  }
  EXPECT_EQ(sizetext::GroupDigits(0), "0");
  EXPECT_EQ(sizetext::GroupDigits(999), "999");
  EXPECT_EQ(sizetext::GroupDigits(1000), "1" + kNbsp + "000");
  EXPECT_EQ(sizetext::GroupDigits(65362988), "65" + kNbsp + "362" + kNbsp + "988");
  EXPECT_EQ(sizetext::GroupDigits(-1234567), "-1" + kNbsp + "234" + kNbsp + "567");
  EXPECT_EQ(sizetext::KilobytesText(65362988), "65" + kNbsp + "362" + kNbsp + "988 K");
  EXPECT_EQ(sizetext::MegabytesText(1), "1M");
  EXPECT_EQ(sizetext::MegabytesText(37 * 1024), "37M");
}

class WizardTexts : public WizardFixture {
 protected:
  void WriteSized(const std::string& name, long long size) {
    extracttest::TestEntry entry;
    entry.name = "f.bin";
    entry.data = "x";
    entry.uncompressedSize = size;
    WriteArchive(name, {entry});
  }
};

TEST_F(WizardTexts, ASmallProductNeedsAtLeastOneMegabyte) {
  Describe({{1, "Base", "a.zip", ""}});
  description.AddSection("Params")->AddParam("System path")->SetAsString(installDir);
  WriteSized("a.zip", 20000);  // 21.5 K
  Open();
  Next();
  Next();
  ASSERT_EQ(form->Model().Step, 3);
  EXPECT_EQ(Text(form->TypeInstRadio(0)), "Полная (1M)");
  Press(form->TypeInstRadio(1));
  Next();
  ASSERT_EQ(form->Model().Step, 4);
  EXPECT_EQ(Text(form->Label15()), "22 K");
  // The free space is grouped as every size is.
  const std::string free = Text(form->Label14());
  if (free.size() > 5) {
    EXPECT_NE(free.find(kNbsp), std::string::npos) << free;
  }
}

TEST_F(WizardTexts, ALargeProductsSizesAreGrouped) {
  Describe({{1, "Base", "a.zip", ""}, {2, "Docs", "b.zip", ""}});
  description.AddSection("Params")->AddParam("System path")->SetAsString(installDir);
  WriteSized("a.zip", 1500000000);  // archives of 1.5 and 0.5 GB claimed
  WriteSized("b.zip", 500000000);
  Open();
  Next();
  Next();
  ASSERT_EQ(form->Model().Step, 3);
  EXPECT_EQ(Text(form->TypeInstRadio(0)), "Полная (2" + kNbsp + "099M)");
  Press(form->TypeInstRadio(1));
  Next();
  ASSERT_EQ(form->Model().Step, 4);
  EXPECT_EQ(Text(form->Label15()), "2" + kNbsp + "148" + kNbsp + "438 K");
}

TEST(CompanyUrl, ASchemeIsKeptAndOnlyWebAndMailAreOpened) {
  struct Row {
    const char* label;
    const char* opened;
  };
  const Row rows[] = {
      {"URL:  www.example.com", "http://www.example.com"},
      {"URL:  http://www.example.com", "http://www.example.com"},
      {"URL:  https://www.example.com/a?b=c", "https://www.example.com/a?b=c"},
      {"URL:  HTTPS://Example.com", "HTTPS://Example.com"},
      {"url: ftp://ftp.example.com", "ftp://ftp.example.com"},
      {"URL:  mailto:info@example.com", "mailto:info@example.com"},
      {"URL:  example.com:8080/x", "http://example.com:8080/x"},  // a port, not a scheme
      {"www.example.com", "http://www.example.com"},
      {"URL:  file:///C:/Windows/notepad.exe", ""},  // never a file or a program
      {"URL:  C:\\Windows\\notepad.exe", "http://C:\\Windows\\notepad.exe"},  // a bad web address, not a program
      {"", ""},
  };
  for (const Row& row : rows) EXPECT_EQ(TWizardModel::CompanyUrlTarget(row.label), row.opened) << row.label;
}

TEST_F(WizardTexts, TheCompanysAddressOpensInAWindowThatShows) {
  DescribeProduct({{"Company URL", "https://www.example.com"}});
  Open();
  std::vector<std::pair<std::string, int>> opened;
  form->OpenAddress = [&](HWND, const std::string& address, int show) { opened.emplace_back(address, show); };
  form->Label12Click();
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].first, "https://www.example.com");
  EXPECT_EQ(opened[0].second, SW_SHOWNORMAL);
}

// The caption of the description's box in both languages: whole, or cut with an ellipsis
// where the box cannot grow; never cut by the frame.
TEST_F(WizardTexts, TheDescriptionsCaptionFitsItsBox) {
  for (bool english : {false, true}) {
    SCOPED_TRACE(english ? "en" : "ru");
    SetupGlobals.IsEnglish = english;
    DescribeProduct();
    Open();
    const std::wstring full = english ? L"The description of a subsystem" : L"Описание подсистемы";
    const std::wstring shown = win32::Wide(Text(form->GroupBox2()));
    RECT box{}, tree{};
    GetWindowRect(form->GroupBox2(), &box);
    GetWindowRect(form->ComponentTree(), &tree);
    const int captionWidth = ui::MeasureText(form->GroupBox2(), shown, 0).cx;
    EXPECT_LE(captionWidth + ui::Scale(16, form->Dpi()), box.right - box.left) << win32::Narrow(shown);
    if (shown != full) {
      ASSERT_GT(shown.size(), 1u);
      EXPECT_EQ(shown.substr(shown.size() - 1), kEllipsis);
      EXPECT_EQ(full.compare(0, shown.size() - 1, shown.substr(0, shown.size() - 1)), 0);
    }
    // The box grew into the tree's room, not over it.
    EXPECT_LE(tree.right, box.left);
    EXPECT_GE(tree.right - tree.left, ui::Scale(124, form->Dpi()));
    form.reset();
  }
}

TEST_F(WizardTexts, ALongSystemNameIsCutWithAnEllipsisOnTheWelcomePage) {
  const std::string longName =
      "Quorvalen Enterprise Document Management and Archiving Suite with Workflow, Records Retention, "
      "Scanning Station, Full-Text Search Server and Administration Console, Edition 2025, with the Optional "
      "Connectors for Mail, Office and Accounting Systems and the Reporting and Analytics Module";
  struct Row {
    std::string name;
    bool cut;
  };
  const Row rows[] = {{"Wiz", false}, {"Quorvalen Document Management Suite 2025", false}, {longName, true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    DescribeProduct({{"System name", row.name}});
    Open();
    const std::wstring shown = win32::Wide(Text(form->Label1()));
    EXPECT_TRUE(ui::TextFits(form->Label1(), shown));
    const std::wstring full = win32::Wide(form->Model().Label1);
    if (row.cut) {
      EXPECT_NE(shown.find(kEllipsis + L" !"), std::wstring::npos);
      EXPECT_EQ(shown.substr(0, shown.find(L"\r\nQuorvalen")), full.substr(0, full.find(L"\r\nQuorvalen")));
    } else {
      EXPECT_EQ(shown, full);
    }
    form.reset();
  }
}

TEST_F(WizardTexts, ALongSystemNameIsCutWithAnEllipsisInTheSummary) {
  std::string longName = "Quorvalen";
  for (int i = 0; i < 12; ++i) longName += " Enterprise Suite Module " + std::to_string(i);
  for (bool english : {false, true}) {
    SCOPED_TRACE(english ? "en" : "ru");
    SetupGlobals.IsEnglish = english;
    DescribeProduct({{"System name", longName}});
    Open();
    for (int i = 0; i < 4 && form->Model().Step != 8; ++i) Next();
    ASSERT_EQ(form->Model().Step, 8);
    const std::wstring shown = win32::Wide(Text(form->Label8()));
    EXPECT_TRUE(ui::TextFits(form->Label8(), shown));
    // The first line and the last stay whole; the name between them is cut.
    const std::wstring full = win32::Wide(form->Model().Label8);
    EXPECT_EQ(shown.substr(0, shown.find(L"\r\n")), full.substr(0, full.find(L"\r\n")));
    EXPECT_EQ(shown.substr(shown.rfind(L"\r\n")), full.substr(full.rfind(L"\r\n")));
    EXPECT_NE(shown.find(kEllipsis + L"\r\n"), std::wstring::npos);
    form.reset();
  }
}

}  // namespace
