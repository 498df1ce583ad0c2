// MainWindow opened in the test's own process: its layout, keyboard order,
// and ReadProperty served across threads, modal loops included.
#include "app/main_window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace dashtab::app {
namespace {

using namespace std::chrono_literals;

// Runs the window's messages until `done` holds; false after `timeout`.
template <class Done>
bool PumpUntil(MainWindow& window, Done done, std::chrono::milliseconds timeout = 10s) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    MSG msg;
    // As the program's loop does it.
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (!window.PreTranslateMessage(msg)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}

std::string WindowText(HWND window) {
  std::string text(static_cast<std::size_t>(GetWindowTextLengthA(window)) + 1, '\0');
  text.resize(static_cast<std::size_t>(GetWindowTextA(window, text.data(), int(text.size()))));
  return text;
}

std::string ClassName(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof(name));
  return name;
}

RECT RectInParent(HWND control) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// Presses and releases one key, with Shift held when asked.
void PressKey(WORD key, bool shift = false) {
  INPUT inputs[4] = {};
  int count = 0;
  auto add = [&](WORD vk, bool up) {
    inputs[count].type = INPUT_KEYBOARD;
    inputs[count].ki.wVk = vk;
    inputs[count].ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    ++count;
  };
  if (shift)
    add(VK_SHIFT, false);
  add(key, false);
  add(key, true);
  if (shift)
    add(VK_SHIFT, true);
  SendInput(count, inputs, sizeof(INPUT));
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(window_.LoadWindow());
    SetForegroundWindow(window_.hwnd());
    ASSERT_TRUE(PumpUntil(window_, [&] { return GetFocus() != nullptr; }));
  }

  HWND Handle(Control control) const { return window_.ControlHandle(control); }

  bool destroyed_ = false;
  int start_clicks_ = 0;
  MainWindow window_{MainWindowEvents{
      .choose_file_clicked = {},
      .start_clicked = [this](MainWindow&) { ++start_clicks_; },
      .destroyed = [this] { destroyed_ = true; },
  }};
};

TEST_F(MainWindowTest, WindowIsCentredFixedAndCaptioned) {
  HWND hwnd = window_.hwnd();
  EXPECT_EQ(WindowText(hwnd), "----转为制表符");
  RECT outer{};
  GetWindowRect(hwnd, &outer);
  EXPECT_EQ(outer.right - outer.left, 380);
  EXPECT_EQ(outer.bottom - outer.top, 184);
  EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - 380) / 2);
  EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - 184) / 2);

  const LONG_PTR style = GetWindowLongPtrA(hwnd, GWL_STYLE);
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_TRUE(style & WS_VISIBLE);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);
  EXPECT_EQ(GetWindow(hwnd, GW_OWNER), nullptr);
  EXPECT_EQ(GetClassLongPtrA(hwnd, GCLP_HBRBACKGROUND), COLOR_BTNFACE + 1);
  EXPECT_NE(SendMessageA(hwnd, WM_GETICON, ICON_BIG, 0), 0);
  EXPECT_NE(SendMessageA(hwnd, WM_GETICON, ICON_SMALL, 0), 0);
}

TEST_F(MainWindowTest, ControlsStandInCreationOrderWithTheirLayout) {
  struct Expected {
    const char* window_class;
    const char* text;
    LONG left, top, width, height;
  };
  // The file dialog component has no window, so five children.
  const Expected expected[] = {
      {"Button", "选择文件", 287, 8, 65, 24},   {"Edit", "", 80, 9, 200, 24},
      {"Static", "选择文件：", 16, 8, 64, 24},  {"ComboBox", "----转制表符", 128, 49, 112, 20},
      {"Button", "开始转换", 128, 73, 112, 56},
  };
  const HFONT gui_font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  HWND child = GetWindow(window_.hwnd(), GW_CHILD);
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.text);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(ClassName(child), e.window_class);
    EXPECT_EQ(WindowText(child), e.text);
    const RECT rect = RectInParent(child);
    EXPECT_EQ(rect.left, e.left);
    EXPECT_EQ(rect.top, e.top);
    EXPECT_EQ(rect.right - rect.left, e.width);
    EXPECT_EQ(rect.bottom - rect.top, e.height);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(child, WM_GETFONT, 0, 0)), gui_font);
    child = GetWindow(child, GW_HWNDNEXT);
  }
  EXPECT_EQ(child, nullptr);
  EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(window_.hwnd(), WM_GETFONT, 0, 0)), gui_font);

  // Neither button is the default one; the label takes no focus.
  for (Control button : {Control::按钮1, Control::按钮2}) {
    EXPECT_EQ(GetWindowLongPtrA(Handle(button), GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
  }
  EXPECT_FALSE(GetWindowLongPtrA(Handle(Control::标签1), GWL_STYLE) & WS_TABSTOP);
  EXPECT_TRUE(GetWindowLongPtrA(Handle(Control::编辑框1), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
  EXPECT_EQ(GetWindowLongPtrA(Handle(Control::组合框1), GWL_STYLE) & 3, CBS_DROPDOWNLIST);
}

TEST_F(MainWindowTest, DirectionListHoldsTwoItemsWithTheFirstSelected) {
  HWND combo = Handle(Control::组合框1);
  ASSERT_EQ(SendMessageA(combo, CB_GETCOUNT, 0, 0), 2);
  const char* items[] = {"----转制表符", "制表符转----"};
  for (int i = 0; i < 2; ++i) {
    char text[64] = {};
    SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, items[i]);
  }
  EXPECT_EQ(window_.ReadProperty(Control::组合框1, IntProperty::CurrentSelection), 0);
}

TEST_F(MainWindowTest, TabFollowsTheKeyboardOrderBothWays) {
  const Control forward[] = {Control::按钮1, Control::组合框1, Control::编辑框1, Control::按钮2,
                             Control::按钮1};
  ASSERT_EQ(GetFocus(), Handle(Control::按钮1)) << "the first focus";
  for (int i = 1; i < 5; ++i) {
    PressKey(VK_TAB);
    EXPECT_TRUE(PumpUntil(window_, [&] { return GetFocus() == Handle(forward[i]); }))
        << "Tab step " << i;
  }
  for (int i = 3; i >= 0; --i) {
    PressKey(VK_TAB, /*shift=*/true);
    EXPECT_TRUE(PumpUntil(window_, [&] { return GetFocus() == Handle(forward[i]); }))
        << "Shift+Tab step " << i;
  }
}

TEST_F(MainWindowTest, TabSkipsADisabledControl) {
  window_.WriteProperty(Control::组合框1, BoolProperty::Disabled, true);
  PressKey(VK_TAB);
  EXPECT_TRUE(PumpUntil(window_, [&] { return GetFocus() == Handle(Control::编辑框1); }));
}

TEST_F(MainWindowTest, EnterDoesNothingAndEscCloses) {
  PressKey(VK_RETURN);
  PumpUntil(
      window_, [] { return false; }, 300ms);
  EXPECT_EQ(start_clicks_, 0);
  EXPECT_TRUE(IsWindow(window_.hwnd()));

  SetFocus(Handle(Control::编辑框1));
  PressKey(VK_ESCAPE);
  EXPECT_TRUE(PumpUntil(window_, [&] { return destroyed_; }));
  EXPECT_FALSE(IsWindow(window_.hwnd()));
}

TEST_F(MainWindowTest, FocusComesBackOnReactivation) {
  SetFocus(Handle(Control::编辑框1));
  HWND other = CreateWindowExA(0, "Static", "other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr,
                               nullptr, nullptr, nullptr);
  ASSERT_NE(other, nullptr);
  SetActiveWindow(other);
  ASSERT_TRUE(PumpUntil(window_, [&] { return GetActiveWindow() == other; }));
  DestroyWindow(other);
  SetActiveWindow(window_.hwnd());
  EXPECT_TRUE(PumpUntil(window_, [&] { return GetFocus() == Handle(Control::编辑框1); }));
}

TEST_F(MainWindowTest, WrittenPropertiesReadBack) {
  window_.WriteProperty(Control::编辑框1, TextProperty::Text, "C:\\数据\\表格.txt");
  EXPECT_EQ(window_.ReadProperty(Control::编辑框1, TextProperty::Text), Text("C:\\数据\\表格.txt"));
  window_.WriteProperty(Control::编辑框1, TextProperty::Text, Text());
  EXPECT_EQ(WindowText(Handle(Control::编辑框1)), "");
  EXPECT_TRUE(window_.ReadProperty(Control::编辑框1, TextProperty::Text).empty());

  EXPECT_TRUE(window_.ReadProperty(Control::通用对话框1, TextProperty::FileName).empty());
  EXPECT_EQ(window_.ReadProperty(Control::通用对话框1, IntProperty::DialogType), 0);
  window_.WriteProperty(Control::通用对话框1, IntProperty::DialogType, 1);
  window_.WriteProperty(Control::通用对话框1, TextProperty::FileName, "转换后的文件.txt");
  EXPECT_EQ(window_.ReadProperty(Control::通用对话框1, IntProperty::DialogType), 1);
  EXPECT_EQ(window_.ReadProperty(Control::通用对话框1, TextProperty::FileName),
            Text("转换后的文件.txt"));

  // The disabled button gives the focus back once it is enabled again.
  ASSERT_EQ(GetFocus(), Handle(Control::按钮1));
  window_.WriteProperty(Control::按钮1, BoolProperty::Disabled, true);
  EXPECT_FALSE(IsWindowEnabled(Handle(Control::按钮1)));
  EXPECT_TRUE(window_.ReadProperty(Control::按钮1, BoolProperty::Disabled));
  window_.WriteProperty(Control::按钮1, BoolProperty::Disabled, false);
  EXPECT_TRUE(IsWindowEnabled(Handle(Control::按钮1)));
  EXPECT_EQ(GetFocus(), Handle(Control::按钮1));
}

// Characters typed as a user types them (Unicode key events, as an input
// method sends them); through A message functions they arrive as "?".
TEST_F(MainWindowTest, TypedTextOutsideAsciiReachesThePathField) {
  SetFocus(Handle(Control::编辑框1));
  const wchar_t typed[] = L"中文a";
  for (const wchar_t* c = typed; *c; ++c) {
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wScan = input[1].ki.wScan = *c;
    input[0].ki.dwFlags = KEYEVENTF_UNICODE;
    input[1].ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof(INPUT));
  }
  PumpUntil(
      window_, [&] { return GetWindowTextLengthW(Handle(Control::编辑框1)) >= 3; }, 3s);
  EXPECT_EQ(window_.ReadProperty(Control::编辑框1, TextProperty::Text), Text("中文a"));
}

TEST_F(MainWindowTest, ReadsFromAnotherThreadAreServedByTheWindowThread) {
  window_.WriteProperty(Control::编辑框1, TextProperty::Text, "D:\\源文件.txt");
  SendMessageA(Handle(Control::组合框1), CB_SETCURSEL, 1, 0);
  window_.WriteProperty(Control::通用对话框1, TextProperty::FileName, "D:\\输出.txt");

  Text path, file_name;
  int selection = -2;
  std::atomic<bool> done = false;
  std::thread reader([&] {
    path = window_.ReadProperty(Control::编辑框1, TextProperty::Text);
    selection = window_.ReadProperty(Control::组合框1, IntProperty::CurrentSelection);
    file_name = window_.ReadProperty(Control::通用对话框1, TextProperty::FileName);
    done = true;
  });
  const bool served = PumpUntil(window_, [&] { return done.load(); });
  reader.join();
  ASSERT_TRUE(served);
  EXPECT_EQ(path, Text("D:\\源文件.txt"));
  EXPECT_EQ(selection, 1);
  EXPECT_EQ(file_name, Text("D:\\输出.txt"));
}

// Finds the message box that `thread` shows, within a few seconds.
HWND WaitForMessageBox(DWORD thread) {
  for (int i = 0; i < 500; ++i) {
    HWND found = nullptr;
    EnumThreadWindows(
        thread,
        [](HWND hwnd, LPARAM out) {
          if (ClassName(hwnd) == "#32770" && IsWindowVisible(hwnd)) {
            *reinterpret_cast<HWND*>(out) = hwnd;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    if (found != nullptr) {
      return found;
    }
    Sleep(10);
  }
  return nullptr;
}

TEST_F(MainWindowTest, ReadsAreServedWhileTheWindowThreadIsInAModalLoop) {
  window_.WriteProperty(Control::编辑框1, TextProperty::Text, "E:\\模态.txt");
  const DWORD window_thread = GetCurrentThreadId();
  Text path;
  std::thread reader([&] {
    HWND box = WaitForMessageBox(window_thread);
    path = window_.ReadProperty(Control::编辑框1, TextProperty::Text);
    if (box != nullptr) {
      PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
  });
  // Should the reader fail, a timer of the box's own loop closes it.
  const UINT_PTR watchdog = SetTimer(nullptr, 0, 15000, [](HWND, UINT, UINT_PTR, DWORD) {
    if (HWND box = WaitForMessageBox(GetCurrentThreadId())) {
      PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
  });
  // Returns when the reader, served by the box's loop, has closed the box.
  MessageBoxA(window_.hwnd(), "modal", "modal", MB_OK);
  KillTimer(nullptr, watchdog);
  reader.join();
  EXPECT_EQ(path, Text("E:\\模态.txt"));
}

}  // namespace
}  // namespace dashtab::app
