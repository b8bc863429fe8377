// The robot's hands and eyes: it starts setup.exe (or the uninstall entry's command) as a
// process of its own and works its windows from outside, as a person's mouse and keyboard
// would: clicks posted at the middle of a control or at the picture of a tree item, typed
// characters, message boxes answered by their buttons. It finds windows by class and caption
// among the processes of the run (the one it started and every process that one started),
// and it waits for each page by polling, with a time limit, never by sleeping blindly.
//
// A tree view's items and rectangles live in the other process: the robot asks for them with
// structures it places in that process's memory.
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <tlhelp32.h>

#include <chrono>
#include <functional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/capture_win32.h"
#include "common/win32.h"

namespace robot {

// Anything the robot did not find as a person would have: the run is over.
struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

inline std::string Text(HWND window) {
  wchar_t buffer[1024] = {};
  // WM_GETTEXT with a time limit: a hung program must not hang the robot.
  DWORD_PTR length = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000, &length);
  return win32::Narrow(std::wstring(buffer, length));
}

// A button's text as it reads, without the "&" that underlines its letter.
inline std::string Caption(HWND window) {
  const std::string text = Text(window);
  std::string plain;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size()) ++i;
    plain += text[i];
  }
  return plain;
}

inline std::string ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return win32::Narrow(name);
}

// The first visible child (at any depth) with this class and control id.
inline HWND Control(HWND parent, const wchar_t* className, int id) {
  struct TSearch {
    const wchar_t* ClassName;
    int Id;
    HWND Found;
  } search{className, id, nullptr};
  EnumChildWindows(
      parent,
      [](HWND child, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<TSearch*>(param);
        wchar_t name[64] = {};
        GetClassNameW(child, name, 64);
        if (GetDlgCtrlID(child) == s->Id && lstrcmpiW(name, s->ClassName) == 0 && IsWindowVisible(child)) {
          s->Found = child;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

// The first visible child with this class, whatever its id.
inline HWND FirstChild(HWND parent, const wchar_t* className) {
  HWND child = nullptr;
  while ((child = FindWindowExW(parent, child, className, nullptr)) != nullptr) {
    if (IsWindowVisible(child)) return child;
  }
  return nullptr;
}

// A person's click at a point of a control's client area (the middle when none is given).
inline void ClickAt(HWND control, POINT at) {
  const LPARAM where = MAKELPARAM(at.x, at.y);
  PostMessageW(control, WM_MOUSEMOVE, 0, where);
  PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, where);
  PostMessageW(control, WM_LBUTTONUP, 0, where);
}
// Can a person reach the control with the mouse? Not when it or its window is disabled
// (a posted click would reach it all the same).
inline bool Enabled(HWND control) {
  return IsWindowEnabled(control) && IsWindowEnabled(GetAncestor(control, GA_ROOT));
}
inline void Click(HWND control) {
  if (!control) throw Failure("a control to click is not there");
  if (!Enabled(control)) throw Failure("the control \"" + Caption(control) + "\" to click is disabled");
  RECT r{};
  GetClientRect(control, &r);
  ClickAt(control, POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
}

// ---- the keyboard: keys go where the window's thread has its focus, as a person's do -------

inline HWND FocusOf(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}
inline HWND KeyTarget(HWND window) {
  HWND focus = FocusOf(window);
  if (!focus) throw Failure("nothing has the keyboard focus in \"" + Text(window) + "\"");
  return focus;
}
// A key pressed and released (Tab, Enter, Esc, Space, the arrows).
inline void PressKey(HWND window, UINT key) {
  HWND to = KeyTarget(window);
  const UINT scan = MapVirtualKeyW(key, MAPVK_VK_TO_VSC);
  PostMessageW(to, WM_KEYDOWN, key, static_cast<LPARAM>(1 | scan << 16));
  if (key == VK_SPACE) PostMessageW(to, WM_CHAR, L' ', static_cast<LPARAM>(1 | scan << 16));
  PostMessageW(to, WM_KEYUP, key, static_cast<LPARAM>(1 | scan << 16 | 0xC0000000u));
}
// Alt with a letter (a button's underlined one), or with F4.
inline void PressAlt(HWND window, wchar_t letter) {
  PostMessageW(KeyTarget(window), WM_SYSCHAR, letter, static_cast<LPARAM>(1 | 1 << 29));
}
inline void PressAltF4(HWND window) {
  HWND to = KeyTarget(window);
  const UINT scan = MapVirtualKeyW(VK_F4, MAPVK_VK_TO_VSC);
  PostMessageW(to, WM_SYSKEYDOWN, VK_F4, static_cast<LPARAM>(1 | scan << 16 | 1 << 29));
  PostMessageW(to, WM_SYSKEYUP, VK_F4, static_cast<LPARAM>(1 | scan << 16 | 1 << 29 | 0xC0000000u));
}
// Characters typed into the focused control.
inline void TypeKeys(HWND window, const std::string& text) {
  HWND to = KeyTarget(window);
  for (wchar_t c : win32::Wide(text)) PostMessageW(to, WM_CHAR, c, 1);
}

// Is `upper` above `lower` among the top-level windows?
inline bool Above(HWND upper, HWND lower) {
  for (HWND w = GetWindow(upper, GW_HWNDNEXT); w; w = GetWindow(w, GW_HWNDNEXT)) {
    if (w == lower) return true;
  }
  return false;
}

// Polls `done` every 20 ms until it holds or `limitMs` has passed; `check` runs at each poll
// (it throws when something unexpected shows up).
inline bool WaitUntil(const std::function<bool()>& done, DWORD limitMs, const std::function<void()>& check = {}) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  for (;;) {
    if (check) check();
    if (done()) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    Sleep(20);
  }
}

// Memory in another process for the messages whose structures the system does not carry
// across processes (the tree view's).
class TRemoteMemory {
 public:
  TRemoteMemory(HWND window, size_t size) : size_(size) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    process_.reset(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid));
    if (process_) at_ = VirtualAllocEx(process_.get(), nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!at_) throw Failure("cannot reach the memory of the process that owns a tree view");
  }
  ~TRemoteMemory() { VirtualFreeEx(process_.get(), at_, 0, MEM_RELEASE); }
  TRemoteMemory(const TRemoteMemory&) = delete;
  TRemoteMemory& operator=(const TRemoteMemory&) = delete;

  char* At(size_t offset = 0) const { return static_cast<char*>(at_) + offset; }
  void Write(const void* data, size_t size, size_t offset = 0) {
    SIZE_T done = 0;
    if (offset + size > size_ || !WriteProcessMemory(process_.get(), At(offset), data, size, &done)) {
      throw Failure("cannot write into the tree view's process");
    }
  }
  void Read(void* data, size_t size, size_t offset = 0) const {
    SIZE_T done = 0;
    if (offset + size > size_ || !ReadProcessMemory(process_.get(), At(offset), data, size, &done)) {
      throw Failure("cannot read from the tree view's process");
    }
  }

 private:
  win32::Handle process_;
  void* at_ = nullptr;
  size_t size_;
};

// ---- a tree view of another process ------------------------------------------------------

inline LRESULT Ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result)) {
    throw Failure("the program does not answer its window's messages");
  }
  return static_cast<LRESULT>(result);
}

struct TTreeItem {
  HTREEITEM Handle = nullptr;
  std::string Text;
  int Image = -1;
  int Depth = 0;
};

// Every item in display order, with its text and the picture the program chose for it.
inline std::vector<TTreeItem> TreeItems(HWND tree) {
  std::vector<TTreeItem> items;
  TRemoteMemory memory(tree, sizeof(TVITEMW) + 512 * sizeof(wchar_t));
  std::function<void(HTREEITEM, int)> walk = [&](HTREEITEM item, int depth) {
    for (; item; item = reinterpret_cast<HTREEITEM>(Ask(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)))) {
      TVITEMW data{};
      data.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_HANDLE;
      data.hItem = item;
      data.pszText = reinterpret_cast<wchar_t*>(memory.At(sizeof(TVITEMW)));
      data.cchTextMax = 511;
      memory.Write(&data, sizeof data);
      if (!Ask(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(memory.At()))) throw Failure("a tree item cannot be read");
      wchar_t text[512] = {};
      memory.Read(&data, sizeof data);
      memory.Read(text, sizeof text - sizeof(wchar_t), sizeof(TVITEMW));
      items.push_back({item, win32::Narrow(text), data.iImage, depth});
      walk(reinterpret_cast<HTREEITEM>(Ask(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(item))), depth + 1);
    }
  };
  walk(reinterpret_cast<HTREEITEM>(Ask(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0)), 0);
  return items;
}

// Where a person clicks on an item's picture: the control reports the text's rectangle, and
// its hit test tells which points left of the text belong to the picture.
inline POINT TreePicturePoint(HWND tree, HTREEITEM item) {
  TRemoteMemory memory(tree, sizeof(TVHITTESTINFO) + sizeof(RECT));
  RECT text{};
  memory.Write(&item, sizeof item);  // the message finds the item in the rectangle's place
  if (!Ask(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(memory.At()))) throw Failure("a tree item is not shown");
  memory.Read(&text, sizeof text);
  const int y = (text.top + text.bottom) / 2;
  int first = -1, last = -1;
  for (int x = text.left - 1; x >= 0 && x > text.left - 64; --x) {
    TVHITTESTINFO hit{};
    hit.pt = POINT{x, y};
    memory.Write(&hit, sizeof hit);
    const auto found = reinterpret_cast<HTREEITEM>(Ask(tree, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(memory.At())));
    memory.Read(&hit, sizeof hit);
    const bool picture = found == item && (hit.flags & TVHT_ONITEMICON);
    if (picture) {
      if (last < 0) last = x;
      first = x;
    } else if (last >= 0) {
      break;
    }
  }
  if (last < 0) throw Failure("a tree item has no picture to click");
  return POINT{(first + last) / 2, y};
}

// ---- the run -----------------------------------------------------------------------------

// A message box or dialog of the run, as a person reads it.
struct TBox {
  HWND Window = nullptr;
  std::string Caption;
  std::string Text;  // its static texts, joined by line breaks
};

class TRun {
 public:
  // Starts `commandLine` in `directory`. `shots`: a directory for screenshots, or empty.
  TRun(const std::string& commandLine, const std::string& directory, std::string shots = "")
      : shots_(std::move(shots)) {
    std::wstring line = win32::Wide(commandLine);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, win32::Wide(directory).c_str(), &si,
                        &pi)) {
      throw Failure("cannot start " + commandLine + ": " + win32::ErrorText(GetLastError()));
    }
    process_.reset(pi.hProcess);
    CloseHandle(pi.hThread);
    pid_ = pi.dwProcessId;
    known_.insert(pid_);
  }
  ~TRun() {
    // A run that failed half-way must not leave its windows to the next one.
    if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
      for (DWORD pid : Processes()) {
        if (HANDLE p = OpenProcess(PROCESS_TERMINATE, FALSE, pid)) {
          TerminateProcess(p, 1);
          CloseHandle(p);
        }
      }
      WaitForSingleObject(process_.get(), 5000);
    }
  }
  TRun(const TRun&) = delete;
  TRun& operator=(const TRun&) = delete;

  // The started process and every process started from it since (the uninstaller starts a
  // copy of setup.exe, which shows the windows).
  std::set<DWORD> Processes() {
    win32::UniqueHandle<win32::FileHandleTraits> snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return known_;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (bool grew = true; grew;) {
      grew = false;
      entry.dwSize = sizeof entry;
      for (BOOL ok = Process32FirstW(snapshot.get(), &entry); ok; ok = Process32NextW(snapshot.get(), &entry)) {
        if (known_.count(entry.th32ParentProcessID) && known_.insert(entry.th32ProcessID).second) grew = true;
      }
    }
    return known_;
  }

  // The visible top-level windows of the run with this class (and caption, when given).
  std::vector<HWND> Windows(const wchar_t* className, const std::string* caption = nullptr) {
    struct TSearch {
      std::set<DWORD> Pids;
      const wchar_t* ClassName;
      std::vector<HWND> Found;
    } search{Processes(), className, {}};
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
          auto* s = reinterpret_cast<TSearch*>(param);
          DWORD pid = 0;
          GetWindowThreadProcessId(window, &pid);
          wchar_t name[64] = {};
          GetClassNameW(window, name, 64);
          if (s->Pids.count(pid) && lstrcmpW(name, s->ClassName) == 0 && IsWindowVisible(window)) {
            s->Found.push_back(window);
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (caption) {
      std::erase_if(search.Found, [&](HWND w) { return Text(w) != *caption; });
    }
    return search.Found;
  }

  // The open dialog boxes of the run (message boxes and plug-ins' dialogs).
  std::vector<TBox> Boxes() {
    std::vector<TBox> boxes;
    for (HWND window : Windows(L"#32770")) {
      TBox box{window, Text(window), {}};
      EnumChildWindows(
          window,
          [](HWND child, LPARAM param) -> BOOL {
            auto* b = reinterpret_cast<TBox*>(param);
            if (ClassOf(child) == "Static" || ClassOf(child) == "STATIC") {
              const std::string text = Text(child);
              if (!text.empty()) b->Text += (b->Text.empty() ? "" : "\n") + text;
            }
            return TRUE;
          },
          reinterpret_cast<LPARAM>(&box));
      boxes.push_back(box);
    }
    return boxes;
  }

  bool Ended() const { return WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0; }
  DWORD ExitCode() const {
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    return code;
  }

  // Fails when a box shows up that the current step does not expect.
  void NoUnexpectedBox() {
    for (const TBox& box : Boxes()) {
      Shot("unexpected-box", box.Window);
      throw Failure("an unexpected box: \"" + box.Caption + "\": " + box.Text);
    }
  }

  // Waits for a box whose text contains `part`, saves its picture (as `shot`) and clicks
  // `button`. With an `owner`: the box must belong to it, lie above it, and the owner take no
  // input while it is open.
  void Answer(const std::string& part, int button, DWORD limitMs = 30000, const std::string& shot = "box",
              HWND owner = nullptr) {
    const TBox found = WaitBox(part, limitMs, owner);
    Shot(shot, found.Window);
    HWND target = GetDlgItem(found.Window, button);
    if (!target) throw Failure("the box \"" + found.Text + "\" has no button " + std::to_string(button));
    Click(target);
    WaitClosed(found);
  }

  // Answers a box with keys: Tab `tabs` times, then Enter.
  void AnswerByKeys(const std::string& part, int tabs, DWORD limitMs = 30000, HWND owner = nullptr) {
    const TBox found = WaitBox(part, limitMs, owner);
    for (int i = 0; i < tabs; ++i) PressKey(found.Window, VK_TAB);
    PressKey(found.Window, VK_RETURN);
    WaitClosed(found);
  }

  void WaitClosed(const TBox& box) {
    if (!WaitUntil([&] { return !IsWindow(box.Window) || !IsWindowVisible(box.Window); }, 10000)) {
      throw Failure("the box \"" + box.Text + "\" stays open after it was answered");
    }
  }

  // Waits for a box whose text contains `part`; checks its owner when one is given.
  TBox WaitBox(const std::string& part, DWORD limitMs, HWND owner) {
    TBox found;
    const bool shown = WaitUntil(
        [&] {
          for (const TBox& box : Boxes()) {
            if (box.Text.find(part) != std::string::npos) {
              found = box;
              return true;
            }
          }
          return false;
        },
        limitMs, [&] {
          if (Ended()) throw Failure("the program ended before it asked \"" + part + "\"");
        });
    if (!shown) {
      const std::vector<TBox> boxes = Boxes();
      throw Failure("no box says \"" + part + "\"" + (boxes.empty() ? "" : "; open: " + boxes.front().Text));
    }
    if (owner) {
      const std::string what = "the box \"" + found.Text + "\" ";
      HWND actual = GetWindow(found.Window, GW_OWNER);
      if (actual != owner) {
        throw Failure(what + "belongs to \"" + (actual ? Text(actual) : std::string("no window")) + "\", not to \"" +
                      Text(owner) + "\"");
      }
      if (!Above(found.Window, owner)) throw Failure(what + "lies under \"" + Text(owner) + "\"");
      if (IsWindowEnabled(owner)) throw Failure("\"" + Text(owner) + "\" takes input while " + what + "is open");
    }
    return found;
  }

  // Waits for the process (and every process of the run) to end.
  void WaitEnd(DWORD limitMs = 30000) {
    if (!WaitUntil([&] { return Ended(); }, limitMs, [&] { NoUnexpectedBox(); })) {
      throw Failure("the program did not end");
    }
    // The uninstaller waits for its copy of setup.exe; nothing of the run may be left.
    if (!WaitUntil(
            [&] {
              for (DWORD pid : known_) {
                HANDLE p = OpenProcess(SYNCHRONIZE, FALSE, pid);
                if (!p) continue;
                const bool running = WaitForSingleObject(p, 0) == WAIT_TIMEOUT;
                CloseHandle(p);
                if (running) return false;
              }
              return true;
            },
            limitMs)) {
      throw Failure("a process of the run did not end");
    }
  }

  // Saves a picture of `window` as NN-name.bmp in the screenshot directory, if there is one.
  void Shot(const std::string& name, HWND window) {
    if (shots_.empty() || !window) return;
    char number[8];
    snprintf(number, sizeof number, "%02d-", ++shotCount_);
    const std::string path = shots_ + "\\" + number + name + ".bmp";
    if (capture::SaveWindowBitmap(window, path)) shotFiles_.push_back(path);
  }
  const std::vector<std::string>& ShotFiles() const { return shotFiles_; }

 private:
  win32::Handle process_;
  DWORD pid_ = 0;
  std::set<DWORD> known_;
  std::string shots_;
  int shotCount_ = 0;
  std::vector<std::string> shotFiles_;
};

}  // namespace robot
