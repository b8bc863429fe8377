// The background window under Wine: its look in both languages, the picture beside the
// program that replaces the built-in one, the start timer, the application's exception
// handler with a real window whose handler throws, the owner of the program's message boxes,
// and the pictures linked into the program.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "common/errors.h"
#include "common/testsupport.h"
#include "common/win32.h"
#include "description/InstIDF.h"
#include "setup/Messages.h"
#include "setup/Platform_win32.h"
#include "setup/SetupGlobals.h"
#include "ui/BackGrnd_win32.h"
#include "ui/Image_win32.h"
#include "ui/WindowProc_win32.h"
#include "ui/resources/ui_resources.h"
#include "ui/ui_driving_win32.h"
#include "ui/ui_throwing_window_win32.h"

namespace {

using uitest::Text;

// A 24-bit BMP of one colour.
std::string MakeBmp(int width, int height, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  const int stride = (width * 3 + 3) & ~3;
  const std::uint32_t pixels = static_cast<std::uint32_t>(stride * height);
  std::string bmp;
  auto u16 = [&](std::uint32_t v) { bmp.push_back(char(v & 0xFF)); bmp.push_back(char(v >> 8 & 0xFF)); };
  auto u32 = [&](std::uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); };
  bmp += "BM";
  u32(54 + pixels), u16(0), u16(0), u32(54);
  u32(40), u32(static_cast<std::uint32_t>(width)), u32(static_cast<std::uint32_t>(height)), u16(1), u16(24);
  u32(0), u32(pixels), u32(2835), u32(2835), u32(0), u32(0);
  for (int y = 0; y < height; ++y) {
    std::string row;
    for (int x = 0; x < width; ++x) row += {char(b), char(g), char(r)};
    row.resize(static_cast<size_t>(stride), '\0');
    bmp += row;
  }
  return bmp;
}

// Takes WM_QUIT off the queue (the background window posts it when it goes); answers
// whether there was one.
bool TakeQuit() {
  MSG message;
  bool any = false;
  while (PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) any = true;
  return any;
}

void PumpFor(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  uitest::PumpUntil([&] { return std::chrono::steady_clock::now() >= deadline; });
}

// A file beside the test program (the program's own directory), removed again.
class FileBesideProgram {
 public:
  FileBesideProgram(const std::string& name, const std::string& bytes)
      : path_(TfmBackGrnd::LogoFileName().substr(0, TfmBackGrnd::LogoFileName().rfind('\\') + 1) + name) {
    WriteFileBytes(path_, bytes);
  }
  ~FileBesideProgram() { DeleteFileW(win32::Wide(path_).c_str()); }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

class Background : public ::testing::Test {
 protected:
  void SetUp() override {
    SetupGlobals.Log = std::make_unique<TLogFile>();
    SetupGlobals.Log->SetFileName(dir_.File("ztkinst.log"));
    SetupGlobals.Log->WriteHeader = false;
    SetupGlobals.IsEnglish = false;
    SetupGlobals.ContinueAfterRestart = false;
    SetupGlobals.Description = &description_;
    TakeQuit();
  }
  void TearDown() override {
    SetupGlobals.Description = nullptr;
    SetupGlobals.IsEnglish = false;
    SetupGlobals.ContinueAfterRestart = false;
    SetupGlobals.Log.reset();
    TakeQuit();
  }
  void SetSystemName(const std::string& name) {
    description_.AddSection("Params")->AddParam("System name")->SetAsString(name);
  }
  std::string Log() const { return ReadFileBytes(dir_.File("ztkinst.log")); }

  TempDir dir_;
  TIDFTextFile description_;
};

TEST_F(Background, CaptionAndNameComeFromTheDescriptionInBothLanguages) {
  struct Case {
    bool english;
    const char* systemName;  // nullptr: the description has no "Params" section
    const char* caption;
  };
  const Case cases[] = {
      {false, "Квант 7", "Установка системы Квант 7"},
      {true, "Quant 7", "Installation of system Quant 7"},
      {false, nullptr, "Установка системы "},
      {true, nullptr, "Installation of system "},
      {false, "", "Установка системы "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.caption);
    description_.ClearSections();
    if (c.systemName) SetSystemName(c.systemName);
    EXPECT_EQ(TfmBackGrnd::DescriptionSystemName(), c.systemName ? c.systemName : "");
    EXPECT_EQ(TfmBackGrnd::Caption(c.english, TfmBackGrnd::DescriptionSystemName()), c.caption);
  }
  // Section and key are found whatever the case of their ASCII letters.
  description_.ClearSections();
  description_.AddSection("PARAMS")->AddParam("system NAME")->SetAsString("Q");
  EXPECT_EQ(TfmBackGrnd::DescriptionSystemName(), "Q");
  // Before the description is loaded there is no name.
  SetupGlobals.Description = nullptr;
  EXPECT_EQ(TfmBackGrnd::DescriptionSystemName(), "");
}

TEST_F(Background, MaximisedDisabledWindowShowsCaptionAndName) {
  struct Case {
    bool english;
    const char* systemName;
    const char* caption;
  };
  const Case cases[] = {
      {false, "Квант 7", "Установка системы Квант 7"},
      {true, nullptr, "Installation of system "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.caption);
    description_.ClearSections();
    if (c.systemName) SetSystemName(c.systemName);
    SetupGlobals.IsEnglish = c.english;
    {
      TfmBackGrnd form;
      HWND window = form.Handle();
      ASSERT_NE(window, nullptr);
      EXPECT_EQ(SetupGlobals.BackgroundForm, &form);
      EXPECT_TRUE(IsWindowVisible(window));
      EXPECT_TRUE(IsZoomed(window));
      EXPECT_FALSE(IsWindowEnabled(window));
      // It covers the work area, also once the system has settled its place.
      uitest::PumpPending();
      MONITORINFO monitor{};
      monitor.cbSize = sizeof(monitor);
      GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
      RECT frame{}, covered{};
      GetWindowRect(window, &frame);
      EXPECT_TRUE(IntersectRect(&covered, &frame, &monitor.rcWork) && EqualRect(&covered, &monitor.rcWork));
      const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
      EXPECT_TRUE(style & WS_MINIMIZEBOX);
      EXPECT_FALSE(style & (WS_MAXIMIZEBOX | WS_THICKFRAME));
      EXPECT_EQ(Text(window), c.caption);
      EXPECT_EQ(Text(form.TopLabel()), c.systemName ? c.systemName : "");
      EXPECT_TRUE(IsWindowVisible(form.TopLabel()));
      // The label at (7, 0) of the client area, the picture over all of it.
      RECT client{}, image{}, label{};
      GetClientRect(window, &client);
      GetWindowRect(form.BackImage().Handle(), &image);
      GetWindowRect(form.TopLabel(), &label);
      MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&image), 2);
      MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&label), 2);
      EXPECT_TRUE(EqualRect(&client, &image));
      EXPECT_EQ(label.left, 7);
      EXPECT_EQ(label.top, 0);
      if (c.systemName) {
        EXPECT_GT(label.bottom - label.top, 18);  // 18 point text
      }
    }
    EXPECT_EQ(SetupGlobals.BackgroundForm, nullptr);
    EXPECT_TRUE(TakeQuit());
  }
}

TEST_F(Background, LogoBesideTheProgramReplacesTheBuiltInPictureUnlessDamaged) {
  TImage builtIn;
  ASSERT_TRUE(LoadImageResource(&builtIn, res::kBackground));
  const std::string logo = MakeBmp(20, 10, 200, 30, 40);
  struct Case {
    const char* what;
    std::string bytes;
    bool replaces;
  };
  const Case cases[] = {
      {"a sound picture", logo, true},
      {"cut short", logo.substr(0, logo.size() - 100), false},
      {"not a picture", std::string(600, 'x'), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FileBesideProgram file("logo.bmp", c.bytes);
    TfmBackGrnd form;
    const SIZE shown = form.BackImage().PictureSize();
    const SIZE expected = c.replaces ? SIZE{20, 10} : builtIn.PictureSize();
    EXPECT_EQ(shown.cx, expected.cx);
    EXPECT_EQ(shown.cy, expected.cy);
    if (c.replaces) {
      // Stretched over the screen: the middle of the window shows the picture's colour.
      HWND image = form.BackImage().Handle();
      RedrawWindow(image, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
      RECT r{};
      GetClientRect(image, &r);
      HDC dc = GetDC(image);
      const COLORREF middle = GetPixel(dc, r.right / 2, r.bottom * 3 / 4);
      ReleaseDC(image, dc);
      EXPECT_EQ(middle, RGB(200, 30, 40));
    }
  }
}

TEST_F(Background, StartTimerShowsTheWizardOnceExceptInAContinuationRun) {
  for (bool continuation : {false, true}) {
    SCOPED_TRACE(continuation ? "continuation run" : "first run");
    SetupGlobals.ContinueAfterRestart = continuation;
    int shown = 0;
    TfmBackGrnd form;
    form.ShowWizard = [&] { ++shown; };
    EXPECT_EQ(shown, 0);  // not before the loop runs
    PumpFor(std::chrono::milliseconds(200));
    EXPECT_EQ(shown, continuation ? 0 : 1);
  }
}

using uitest::kAnswer;
using uitest::kThrowOwn;
using uitest::kThrowStd;
using uitest::ThrowingWindowHolder;

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST_F(Background, ExceptionOfAHandlerIsLoggedAndShownOnceAndTheProgramGoesOn) {
  ThrowingWindowHolder thrower;
  ASSERT_NE(thrower.window, nullptr);
  TfmBackGrnd form;
  {
    ScriptedMessages boxes;
    boxes.Expect(mb::kIdOk);
    boxes.Expect(mb::kIdOk);
    EXPECT_EQ(SendMessageW(thrower.window, kThrowOwn, 0, 0), 0);
    EXPECT_EQ(SendMessageW(thrower.window, kThrowStd, 0, 0), 0);
    EXPECT_EQ(SendMessageW(thrower.window, kAnswer, 0, 0), 1234);
    ASSERT_EQ(boxes.Shown().size(), 2u);
    EXPECT_EQ(boxes.Shown()[0].text, "EInOutError : Disk is gone");
    EXPECT_EQ(boxes.Shown()[0].caption, "");
    EXPECT_EQ(boxes.Shown()[0].flags, 0x2010u);
    EXPECT_EQ(boxes.Shown()[1].text, "Exception : bad state");
  }
  // The start timer's handler of the background window itself: the wizard fails to show.
  {
    ScriptedMessages boxes;
    boxes.Expect(mb::kIdOk);
    form.ShowWizard = [] { throw EListError("List index out of bounds (3)"); };
    PumpFor(std::chrono::milliseconds(200));
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, "EListError : List index out of bounds (3)");
  }
  const std::string log = Log();
  EXPECT_EQ(Count(log, " AppExcept    EInOutError : Disk is gone\r\n"), 1u) << log;
  EXPECT_EQ(Count(log, " AppExcept    Exception : bad state\r\n"), 1u) << log;
  EXPECT_EQ(Count(log, " AppExcept    EListError : List index out of bounds (3)\r\n"), 1u) << log;
  EXPECT_EQ(Count(log, "AppExcept"), 3u) << log;
  EXPECT_EQ(log.find(" exception in "), std::string::npos) << log;

  // Still working: the window closes on request and so ends the message loop.
  EXPECT_TRUE(IsWindow(form.Handle()));
  form.Close();
  EXPECT_EQ(form.Handle(), nullptr);
  EXPECT_TRUE(TakeQuit());
}

TEST_F(Background, ExceptionsWhileTheBoxIsOpenAreLoggedWithoutAnotherBox) {
  ThrowingWindowHolder thrower;
  TfmBackGrnd form;
  int boxes = 0;
  const MessageBoxHandler previous = SetMessageBoxHandler([&](const std::string&, const std::string&, unsigned) {
    ++boxes;
    // A handler fails again while the box's loop runs.
    SendMessageW(thrower.window, kThrowStd, 0, 0);
    return mb::kIdOk;
  });
  SendMessageW(thrower.window, kThrowOwn, 0, 0);
  SetMessageBoxHandler(previous);
  EXPECT_EQ(boxes, 1);
  const std::string log = Log();
  EXPECT_EQ(Count(log, " AppExcept    EInOutError : Disk is gone\r\n"), 1u) << log;
  EXPECT_EQ(Count(log, " AppExcept    Exception : bad state\r\n"), 1u) << log;
}

TEST_F(Background, WithoutTheWindowExceptionsAreOnlyLogged) {
  ThrowingWindowHolder thrower;
  { TfmBackGrnd form; }
  ScriptedMessages boxes;  // no box expected
  SendMessageW(thrower.window, kThrowOwn, 0, 0);
  const std::string log = Log();
  EXPECT_NE(log.find(" exception in ThrowingWindow: EInOutError: Disk is gone\r\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("AppExcept"), std::string::npos) << log;
}

// Answers the real message box that opens next on this thread with a click on its OK button.
VOID CALLBACK ClickOkOfTheBox(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND box = nullptr;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM found) -> BOOL {
        wchar_t name[16] = {};
        GetClassNameW(window, name, 16);
        if (std::wstring(name) != L"#32770" || !IsWindowVisible(window)) return TRUE;
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&box));
  if (!box) return;
  KillTimer(nullptr, timer);
  uitest::Click(GetDlgItem(box, IDOK));
}

int RealBoxAnsweredByClick() {
  SetTimer(nullptr, 0, 50, ClickOkOfTheBox);
  return Win32MessageBox("Проверка", "", mb::kOk | mb::kTaskModal);
}

TEST_F(Background, ProgramsMessageBoxesAnswerWithTheWindowAsOwnerAndAfterIt) {
  {
    TfmBackGrnd form;
    EXPECT_EQ(RealBoxAnsweredByClick(), mb::kIdOk);
    // The box does not give the disabled window input when it closes.
    EXPECT_FALSE(IsWindowEnabled(form.Handle()));
  }
  TakeQuit();
  // The window is gone: a box has no owner and still answers.
  EXPECT_EQ(RealBoxAnsweredByClick(), mb::kIdOk);
  // An owner that was destroyed behind the program's back owns nothing either.
  HWND gone = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(gone, nullptr);
  SetMessageOwner(gone);
  DestroyWindow(gone);
  EXPECT_EQ(RealBoxAnsweredByClick(), mb::kIdOk);
  SetMessageOwner(nullptr);
}

TEST(ProgramResources, PicturesLoadFromTheProgramsModule) {
  struct Case {
    const char* name;
    LONG width, height;  // 0: any size
  };
  const Case cases[] = {
      {res::kBackground, 0, 0},        {res::kLeftLogo, 157, 260},
      {res::kStateImages, 64, 16},     {res::kDriveFloppy, 16, 16},
      {res::kDriveHard, 16, 16},       {res::kDriveNetwork, 16, 16},
      {res::kDriveCdRom, 16, 16},      {res::kDriveRam, 16, 16},
      {res::kOpenFolder, 16, 16},      {res::kCurrentFolder, 16, 16},
      {res::kClosedFolder, 16, 16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TImage image;
    ASSERT_TRUE(LoadImageResource(&image, c.name));
    EXPECT_GT(image.PictureSize().cx, 0);
    if (c.width) {
      EXPECT_EQ(image.PictureSize().cx, c.width);
      EXPECT_EQ(image.PictureSize().cy, c.height);
    }
  }
  // The tree's image list cuts the strip into its four state pictures.
  HIMAGELIST states = ImageList_LoadImageW(GetModuleHandleW(nullptr), win32::Wide(res::kStateImages).c_str(),
                                           res::kStateImageSize, 0, res::kMaskColour, IMAGE_BITMAP, 0);
  ASSERT_NE(states, nullptr);
  EXPECT_EQ(ImageList_GetImageCount(states), res::kStateImageCount);
  ImageList_Destroy(states);
  EXPECT_NE(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(res::kMainIcon)), nullptr);
}

TEST(ProgramResources, FailedLoadsAnswerFalseAndKeepThePicture) {
  EXPECT_FALSE(LoadImageResource(nullptr, res::kLeftLogo));
  TImage image;
  ASSERT_TRUE(LoadImageResource(&image, res::kLeftLogo));
  EXPECT_FALSE(LoadImageResource(&image, "NOSUCHPICTURE"));
  EXPECT_EQ(image.PictureSize().cx, 157);

  TempDir dir;
  const std::string sound = MakeBmp(3, 2, 1, 2, 3);
  std::string lying = sound;
  lying[18] = char(0xFF), lying[19] = char(0x7F);  // a width of 32767 in a file of 6 pixels
  std::string negativeWidth = sound;
  negativeWidth[21] = char(0x80);
  struct Case {
    const char* what;
    std::string bytes;
    bool loads;
  };
  const Case cases[] = {
      {"sound", sound, true},
      {"header only", sound.substr(0, 54), false},
      {"width past the pixels", lying, false},
      {"negative width", negativeWidth, false},
      {"pixels cut short", sound.substr(0, sound.size() - 1), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFileBytes(dir.File("p.bmp"), c.bytes);
    TImage file;
    EXPECT_EQ(file.LoadFromFile(dir.File("p.bmp")), c.loads);
    EXPECT_EQ(file.Empty(), !c.loads);
  }
  EXPECT_FALSE(image.LoadFromFile(dir.File("missing.bmp")));
}

}  // namespace
