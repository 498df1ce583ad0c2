#include "win/message_box.h"

#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "win/out_of_memory_box.h"

namespace dashtab::win {
namespace {

constexpr DWORD kFindWithin = 10'000;  // ms for a box to appear

std::string TextOf(HWND window) {
  char text[1024] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::string ClassOf(HWND window) {
  char name[256] = "";
  GetClassNameA(window, name, sizeof name);
  return name;
}

// What a watcher saw of the box while it was up.
struct BoxSeen {
  bool found = false;
  std::string caption;
  std::string text;
  std::vector<int> buttons;  // the visible ones' identifiers
  bool icon = false;
  HWND owner = nullptr;
  bool topmost = false;
  bool otherWindowEnabled = true;
  std::string children;  // every child, for the failure message
};

// On a thread of its own: waits for a message box of the thread that made
// it, notes what the box shows and presses `press`. Joined when it goes out
// of scope.
class BoxWatcher {
 public:
  using Check = void (*)(const BoxSeen&);

  // `other`: a window whose enabled state is noted; `check`, when given,
  // looks at what was seen before the button is pressed.
  explicit BoxWatcher(int press, HWND other = nullptr, DWORD findWithin = kFindWithin,
                      Check check = nullptr)
      : thread_(GetCurrentThreadId()),
        worker_([=, this] { Watch(press, other, findWithin, check); }) {}
  ~BoxWatcher() { Join(); }
  const BoxSeen& seen() {
    Join();
    return seen_;
  }

 private:
  void Join() {
    if (worker_.joinable()) {
      worker_.join();
    }
  }

  static BOOL CALLBACK FindBox(HWND window, LPARAM found) {
    if (ClassOf(window) == "#32770" && IsWindowVisible(window)) {
      *reinterpret_cast<HWND*>(found) = window;
      return FALSE;
    }
    return TRUE;
  }

  static BOOL CALLBACK NoteChild(HWND child, LPARAM seen) {
    auto* box = reinterpret_cast<BoxSeen*>(seen);
    const int id = GetDlgCtrlID(child);
    const bool visible = IsWindowVisible(child);
    const std::string name = ClassOf(child);
    box->children +=
        name + "#" + std::to_string(id) + (visible ? "+" : "-") + "'" + TextOf(child) + "' ";
    if (!visible) {
      return TRUE;
    }
    if (name == "Button") {
      box->buttons.push_back(id);
    } else if (name == "Static" && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
      // The box keeps its icon control when there is no icon, empty.
      DWORD_PTR icon = 0;
      SendMessageTimeoutA(child, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 2000, &icon);
      box->icon = icon != 0;
    } else if (name == "Static") {
      box->text = TextOf(child);
    }
    return TRUE;
  }

  void Watch(int press, HWND other, DWORD findWithin, Check check) {
    HWND box = nullptr;
    for (DWORD waited = 0; !box && waited < findWithin; waited += 10) {
      EnumThreadWindows(thread_, FindBox, reinterpret_cast<LPARAM>(&box));
      if (!box) {
        Sleep(10);
      }
    }
    if (!box) {
      return;
    }
    seen_.found = true;
    seen_.caption = TextOf(box);
    seen_.owner = GetWindow(box, GW_OWNER);
    seen_.topmost = (GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    seen_.otherWindowEnabled = other && IsWindowEnabled(other);
    EnumChildWindows(box, NoteChild, reinterpret_cast<LPARAM>(&seen_));
    if (check) {
      check(seen_);
    }
    HWND button = GetDlgItem(box, press);
    PostMessageA(button, BM_CLICK, 0, 0);
    // Should the click not reach it, the command itself closes the box.
    for (int i = 0; i < 200 && IsWindow(box); ++i) {
      Sleep(10);
    }
    if (IsWindow(box)) {
      PostMessageA(box, WM_COMMAND, MAKEWPARAM(press, BN_CLICKED), LPARAM(button));
    }
  }

  DWORD thread_;
  BoxSeen seen_;
  std::thread worker_;
};

class MessageBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char display[256] = "";
    if (!GetEnvironmentVariableA("DISPLAY", display, sizeof display) || !display[0]) {
      GTEST_SKIP() << "no X display to show message boxes on: run under tools/with-display";
    }
  }
};

TEST_F(MessageBoxTest, ZeroShowsOneOkButtonAndNoIconUnderTheDefaultCaption) {
  BoxWatcher watcher(IDOK);
  EXPECT_EQ(ShowMessageBox("替换成功！替换后的文件已经保存在：C:\\out.txt", 0), kAnswerOk);
  const BoxSeen& seen = watcher.seen();
  ASSERT_TRUE(seen.found);
  SCOPED_TRACE(seen.children);
  EXPECT_EQ(seen.caption, "信息：");
  EXPECT_EQ(seen.text, "替换成功！替换后的文件已经保存在：C:\\out.txt");
  EXPECT_EQ(seen.buttons, std::vector<int>{IDOK});
  EXPECT_FALSE(seen.icon);
  EXPECT_EQ(seen.owner, nullptr);
}

TEST_F(MessageBoxTest, AGivenCaptionAndIcon) {
  BoxWatcher watcher(IDOK);
  EXPECT_EQ(ShowMessageBox("提示", MB_ICONINFORMATION, Text("替换成功！")), kAnswerOk);
  const BoxSeen& seen = watcher.seen();
  ASSERT_TRUE(seen.found);
  SCOPED_TRACE(seen.children);
  EXPECT_EQ(seen.caption, "替换成功！");
  EXPECT_EQ(seen.text, "提示");
  EXPECT_TRUE(seen.icon);
}

TEST_F(MessageBoxTest, TheAnswerInTheProgramsNumbering) {
  struct Case {
    const char* name;
    int buttons;
    int press;
    int answer;
  };
  const Case cases[] = {
      {"OK of OK/Cancel", MB_OKCANCEL, IDOK, kAnswerOk},
      {"Cancel of OK/Cancel", MB_OKCANCEL, IDCANCEL, kAnswerCancel},
      {"Abort", MB_ABORTRETRYIGNORE, IDABORT, kAnswerAbort},
      {"Retry", MB_ABORTRETRYIGNORE, IDRETRY, kAnswerRetry},
      {"Ignore", MB_ABORTRETRYIGNORE, IDIGNORE, kAnswerIgnore},
      {"Yes", MB_YESNO, IDYES, kAnswerYes},
      {"No", MB_YESNO, IDNO, kAnswerNo},
      {"Cancel of Yes/No/Cancel", MB_YESNOCANCEL, IDCANCEL, kAnswerCancel},
      {"Retry of Retry/Cancel", MB_RETRYCANCEL, IDRETRY, kAnswerRetry},
      {"Try again, unlisted", MB_CANCELTRYCONTINUE, IDTRYAGAIN, kAnswerOk},
      {"Continue, unlisted", MB_CANCELTRYCONTINUE, IDCONTINUE, kAnswerOk},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    BoxWatcher watcher(c.press);
    EXPECT_EQ(ShowMessageBox(c.name, c.buttons), c.answer);
    EXPECT_TRUE(watcher.seen().found);
  }
}

// A top-level window of the calling thread that is not the box's owner.
class OtherWindow {
 public:
  OtherWindow()
      : window_(CreateWindowExA(0, "STATIC", "other", WS_POPUP | WS_VISIBLE, 0, 0, 100, 50, nullptr,
                                nullptr, GetModuleHandleA(nullptr), nullptr)) {}
  ~OtherWindow() { DestroyWindow(window_); }
  HWND get() const { return window_; }

 private:
  HWND window_;
};

TEST_F(MessageBoxTest, TaskModalUnlessSystemModal) {
  OtherWindow other;
  ASSERT_TRUE(other.get());
  {
    BoxWatcher watcher(IDOK, other.get());
    EXPECT_EQ(ShowMessageBox("task-modal", MB_OK), kAnswerOk);
    const BoxSeen& seen = watcher.seen();
    ASSERT_TRUE(seen.found);
    EXPECT_FALSE(seen.otherWindowEnabled);  // the thread's windows wait for the box
    EXPECT_FALSE(seen.topmost);
  }
  EXPECT_TRUE(IsWindowEnabled(other.get()));
  {
    BoxWatcher watcher(IDOK, other.get());
    EXPECT_EQ(ShowMessageBox("system-modal", MB_OK | MB_SYSTEMMODAL), kAnswerOk);
    const BoxSeen& seen = watcher.seen();
    ASSERT_TRUE(seen.found);
    EXPECT_TRUE(seen.otherWindowEnabled);
    EXPECT_TRUE(seen.topmost);
  }
}

TEST_F(MessageBoxTest, TheOwnerIsTheGivenWindowOrNone) {
  OtherWindow owner;
  ASSERT_TRUE(owner.get());
  {
    BoxWatcher watcher(IDOK, owner.get());
    EXPECT_EQ(ShowMessageBox("owned", MB_OK, std::nullopt, owner.get()), kAnswerOk);
    const BoxSeen& seen = watcher.seen();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.owner, owner.get());
    EXPECT_FALSE(seen.otherWindowEnabled);
  }
  {
    BoxWatcher watcher(IDOK);
    EXPECT_EQ(ShowMessageBox("null owner", MB_OK, std::nullopt, HWND{nullptr}), kAnswerOk);
    const BoxSeen& seen = watcher.seen();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.owner, nullptr);
  }
}

TEST_F(MessageBoxTest, ABoxThatCannotBeShownAnswersZero) {
  // No window has this handle; should a box appear all the same, the
  // watcher answers No, which would not read as 0.
  BoxWatcher watcher(IDNO, nullptr, 1000);
  EXPECT_EQ(ShowMessageBox("no owner", MB_YESNO, std::nullopt, reinterpret_cast<HWND>(0x7ff0)),
            kAnswerOk);
  EXPECT_FALSE(watcher.seen().found);
}

// Where the allocation that fails would go, so that it is not left out.
char* volatile g_kept = nullptr;

// In a child process: the box comes up, is checked and closed, and the
// process ends with exit code -1. A box unlike the expected one ends it with
// another code.
TEST_F(MessageBoxTest, RunningOutOfMemoryShowsABoxAndEndsWithMinusOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        InstallOutOfMemoryBox();
        static BoxWatcher watcher(IDOK, nullptr, kFindWithin, [](const BoxSeen& seen) {
          if (seen.caption != "错误" || seen.buttons != std::vector<int>{IDOK} || !seen.icon) {
            ExitProcess(3);
          }
        });
        volatile std::size_t huge = std::size_t{1} << 62;
        g_kept = new char[huge];
      },
      ::testing::ExitedWithCode(-1), "");
}

}  // namespace
}  // namespace dashtab::win
