// The window program end to end: each test starts a fresh copy of it in a
// folder of its own and drives its window as a user would.
#include <gtest/gtest.h>

#include <iostream>
#include <memory>
#include <set>

#include "core/reference_replace.h"
#include "core/worked_conversions.h"
#include "window_driver.h"

namespace e2e {
namespace {

using dashtab::testing::Hex;

constexpr wchar_t kCaption[] = L"----转为制表符";
constexpr char kCompletionPrefix[] = "替换成功！替换后的文件已经保存在：";
constexpr char kOfferedName[] = "转换后的文件.txt";

std::wstring ProgramFile() {
  std::wstring unix_path = EnvironmentVariable(L"DASHTAB_PROGRAM");
  return unix_path.empty() ? std::wstring() : WindowsPathFromUnix(Utf8FromWide(unix_path));
}

std::string Repeat(std::string_view unit, int times) {
  std::string s;
  s.reserve(unit.size() * times);
  for (int i = 0; i < times; ++i)
    s += unit;
  return s;
}

// A source large enough that its job is still reading or converting when
// the driver looks right after the save dialog has closed.
constexpr int kLargeUnits = 4 << 20;
const std::string& LargeSource() {
  static const std::string bytes = Repeat("a----b\r\n", kLargeUnits);
  return bytes;
}
const std::string& LargeSourceConverted() {
  static const std::string bytes = Repeat("a\tb\r\n", kLargeUnits);
  return bytes;
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::wstring program_file = ProgramFile();
    ASSERT_FALSE(program_file.empty()) << "DASHTAB_PROGRAM names no program";
    // Started from another folder than its own: the program must make its
    // own folder the current one.
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    program_ = std::make_unique<Program>(program_file, folder_.Path(), temp);
    ASSERT_TRUE(program_->Started()) << Utf8FromWide(program_file);
    window_ = program_->WaitForWindow(kCaption);
    ASSERT_NE(window_, nullptr) << "no window captioned ----转为制表符";
    thread_ = GetWindowThreadProcessId(window_, nullptr);
    for (HWND child : Children(window_)) {
      std::wstring kind = ClassName(child);
      std::wstring text = Text(child);
      if (kind == L"Button" && text == L"选择文件")
        choose_ = child;
      if (kind == L"Button" && text == L"开始转换")
        start_ = child;
      if (kind == L"Edit")
        edit_ = child;
      if (kind == L"ComboBox")
        combo_ = child;
      if (kind == L"Static")
        label_ = child;
    }
    ASSERT_TRUE(choose_ && start_ && edit_ && combo_ && label_) << "a control is missing";
  }

  void TearDown() override {
    // Any box or dialog a failed test left up goes with the process.
    program_.reset();
  }

  std::wstring File(std::wstring_view name) const { return folder_.File(name); }

  // Gives the source and the direction as a user would, then clicks 开始转换.
  void PrepareAndClickStart(const std::wstring& source, int selection) {
    ASSERT_TRUE(SetText(edit_, source));
    ASSERT_TRUE(SendBounded(combo_, CB_SETCURSEL, selection).has_value());
    // Posted: the click opens a modal dialog, and a sent click would not
    // return until the dialog closed.
    PostMessageW(start_, BM_CLICK, 0, 0);
  }

  HWND WaitForDialog(const std::function<bool(HWND)>& which, HWND owner = nullptr) {
    HWND found = nullptr;
    WaitFor([&] {
      for (HWND dialog : OwnedDialogs(owner ? owner : window_)) {
        if (which(dialog)) {
          found = dialog;
          return true;
        }
      }
      return false;
    });
    return found;
  }

  HWND WaitForFileDialog() {
    return WaitForDialog([](HWND d) { return FileNameField(d) != nullptr; });
  }

  static bool IsCompletionBox(HWND dialog) {
    wchar_t caption[1024];
    int n = GetWindowTextW(dialog, caption, 1024);
    return Utf8FromWide(std::wstring_view(caption, n > 0 ? n : 0)).starts_with(kCompletionPrefix);
  }

  std::vector<HWND> CompletionBoxes() {
    std::vector<HWND> boxes;
    for (HWND dialog : OwnedDialogs(window_)) {
      if (IsCompletionBox(dialog))
        boxes.push_back(dialog);
    }
    return boxes;
  }

  // Fills the name field of the open or save dialog and presses OK, or
  // presses Cancel; answers Yes when the dialog asks before replacing a file.
  // Returns the name the dialog offered when it opened.
  std::wstring AnswerFileDialog(const std::wstring& name, bool confirm = true,
                                bool expect_replace_question = false) {
    HWND dialog = WaitForFileDialog();
    EXPECT_NE(dialog, nullptr) << "no file dialog appeared";
    if (!dialog)
      return {};
    HWND field = FileNameField(dialog);
    std::wstring offered = Text(field);
    if (!shot_dialog_.empty()) {
      Sync(dialog);
      Sleep(500);  // the dialog fills its list after it is shown
      std::string file = SaveScreenshot(shot_dialog_, ScreenRect(dialog));
      std::cout << "screenshot of the save dialog: " << file << "\n";
      shot_dialog_.clear();
    }
    if (confirm) {
      EXPECT_TRUE(SetText(field, name));
      PressDialogButton(dialog, IDOK);
    } else {
      PressDialogButton(dialog, IDCANCEL);
    }
    if (expect_replace_question) {
      HWND question = WaitForDialog([](HWND) { return true; }, dialog);
      EXPECT_NE(question, nullptr) << "no question before replacing an existing file";
      if (question)
        PressDialogButton(question, IDYES);
    }
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(dialog); })) << "the file dialog stayed open";
    return offered;
  }

  // Waits for the completion box naming this output, reads it and presses OK.
  std::optional<MessageBoxContents> CloseCompletionBox(const std::wstring& output) {
    std::string expected = kCompletionPrefix + Utf8FromWide(output);
    HWND box = WaitForDialog([&](HWND d) {
      wchar_t caption[1024];
      int n = GetWindowTextW(d, caption, 1024);
      return Utf8FromWide(std::wstring_view(caption, n > 0 ? n : 0)) == expected;
    });
    if (!box) {
      std::string shown;
      for (HWND d : OwnedDialogs(window_))
        shown += " [" + Utf8FromWide(ReadMessageBox(d).caption) + "]";
      ADD_FAILURE() << "no completion box captioned " << expected << "; shown:" << shown;
      return std::nullopt;
    }
    MessageBoxContents contents = ReadMessageBox(box);
    if (!shot_box_.empty()) {
      RECT area = ScreenRect(box);
      RECT window = ScreenRect(window_);
      UnionRect(&area, &area, &window);
      std::string file = SaveScreenshot(shot_box_, area);
      std::cout << "screenshot of the completion box: " << file << "\n";
      shot_box_.clear();
    }
    PressDialogButton(box, IDOK);
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(box); })) << "the completion box stayed open";
    return contents;
  }

  // One whole conversion through the window; returns the output's bytes.
  std::optional<std::string> Convert(const std::wstring& source, int selection,
                                     const std::wstring& output) {
    PrepareAndClickStart(source, selection);
    std::wstring offered = AnswerFileDialog(output);
    EXPECT_EQ(Utf8FromWide(offered), kOfferedName);
    auto box = CloseCompletionBox(output);
    if (!box)
      return std::nullopt;
    EXPECT_EQ(Utf8FromWide(box->text), "提示");
    return ReadBytes(output);
  }

  // Brings the window to the front with the first focus on 按钮1 and moves
  // the focus on with Tab presses.
  void FocusByTabs(int tabs) {
    ASSERT_TRUE(BringToFront(window_));
    ASSERT_TRUE(WaitFor([&] { return FocusedWindow(thread_) == start_; }, 3000));
    for (int i = 0; i < tabs; ++i) {
      HWND focus = FocusedWindow(thread_);
      PressKey(VK_TAB);
      ASSERT_TRUE(WaitFor([&] { return FocusedWindow(thread_) != focus; }, 3000));
    }
  }

  std::set<std::wstring> FolderEntries() const {
    auto entries = folder_.Entries();
    return {entries.begin(), entries.end()};
  }

  // No dialog or box is up, and none comes within a short while.
  void ExpectNothingShown() {
    ASSERT_TRUE(Sync(window_));
    Sleep(300);
    ASSERT_TRUE(Sync(window_));
    EXPECT_TRUE(OwnedDialogs(window_).empty()) << "a dialog or box is shown";
    EXPECT_TRUE(IsWindowEnabled(window_));
  }

  TempFolder folder_;
  std::unique_ptr<Program> program_;
  HWND window_ = nullptr;
  DWORD thread_ = 0;
  HWND choose_ = nullptr;  // 按钮2
  HWND edit_ = nullptr;    // 编辑框1
  HWND label_ = nullptr;   // 标签1
  HWND combo_ = nullptr;   // 组合框1
  HWND start_ = nullptr;   // 按钮1
  std::string shot_dialog_;
  std::string shot_box_;
};

TEST_F(WindowTest, WindowHasItsCaptionSizePositionAndFrame) {
  RECT r = ScreenRect(window_);
  ASSERT_TRUE(Sync(window_));
  Sleep(300);  // the first paint, for the picture
  std::cout << "screenshot of the window: " << SaveScreenshot("window", r) << "\n";

  EXPECT_EQ(r.right - r.left, 380);
  EXPECT_EQ(r.bottom - r.top, 184);
  EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - 380) / 2);
  EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - 184) / 2);

  LONG style = Style(window_);
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME) << "the frame must not be sizable";
  EXPECT_FALSE(style & WS_CHILD);
  EXPECT_FALSE(ExStyle(window_) & WS_EX_TOPMOST);
  EXPECT_FALSE(ExStyle(window_) & WS_EX_TOOLWINDOW) << "it needs its own taskbar button";
  EXPECT_EQ(GetWindow(window_, GW_OWNER), nullptr);
  EXPECT_EQ(GetMenu(window_), nullptr);
  EXPECT_TRUE(IsWindowVisible(window_));
  EXPECT_TRUE(IsWindowEnabled(window_));

  // Minimising and restoring change nothing.
  ShowWindow(window_, SW_MINIMIZE);
  EXPECT_TRUE(WaitFor([&] { return IsIconic(window_) != FALSE; }));
  ShowWindow(window_, SW_RESTORE);
  EXPECT_TRUE(WaitFor([&] { return !IsIconic(window_); }));
  RECT after = ScreenRect(window_);
  EXPECT_TRUE(EqualRect(&r, &after));
}

TEST_F(WindowTest, ControlsHaveTheirKindsPlacesAndTexts) {
  // 通用对话框1 has no window: the five visible controls are all there is.
  EXPECT_EQ(Children(window_).size(), 5u);
  struct Expected {
    const char* name;
    HWND window;
    const wchar_t* kind;
    const char* text;
    RECT rect;  // left, top, right, bottom in the client area
  };
  const Expected controls[] = {
      {"按钮2", choose_, L"Button", "选择文件", {287, 8, 287 + 65, 8 + 24}},
      {"编辑框1", edit_, L"Edit", "", {80, 9, 80 + 200, 9 + 24}},
      {"标签1", label_, L"Static", "选择文件：", {16, 8, 16 + 64, 8 + 24}},
      {"组合框1", combo_, L"ComboBox", "----转制表符", {128, 49, 128 + 112, 49 + 20}},
      {"按钮1", start_, L"Button", "开始转换", {128, 73, 128 + 112, 73 + 56}},
  };
  for (const Expected& c : controls) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ClassName(c.window), c.kind);
    EXPECT_EQ(Utf8FromWide(Text(c.window)), c.text);
    RECT r = RectInClient(c.window, window_);
    EXPECT_EQ(r.left, c.rect.left);
    EXPECT_EQ(r.top, c.rect.top);
    EXPECT_EQ(r.right - r.left, c.rect.right - c.rect.left) << "width";
    EXPECT_EQ(r.bottom - r.top, c.rect.bottom - c.rect.top) << "height";
    EXPECT_TRUE(IsWindowVisible(c.window));
    EXPECT_TRUE(IsWindowEnabled(c.window));
  }

  for (HWND button : {choose_, start_}) {
    LONG style = Style(button);
    EXPECT_EQ(style & BS_TYPEMASK, BS_PUSHBUTTON) << "neither button is a default button";
    EXPECT_TRUE(style & BS_MULTILINE) << "a text that does not fit wraps";
  }

  LONG edit = Style(edit_);
  EXPECT_TRUE(edit & ES_AUTOHSCROLL);
  EXPECT_FALSE(edit & (ES_MULTILINE | ES_READONLY | ES_PASSWORD | ES_NUMBER | ES_UPPERCASE |
                       ES_LOWERCASE | ES_NOHIDESEL));
  EXPECT_TRUE(ExStyle(edit_) & WS_EX_CLIENTEDGE) << "sunken border";

  LONG combo = Style(combo_);
  EXPECT_EQ(combo & 3, CBS_DROPDOWNLIST) << "the user picks, and cannot type";
  EXPECT_FALSE(combo & CBS_SORT);

  LONG label = Style(label_);
  EXPECT_FALSE(label & (WS_BORDER | WS_TABSTOP));
  EXPECT_FALSE(ExStyle(label_) & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE));
}

TEST_F(WindowTest, ListOffersBothDirectionsWithTheFirstSelected) {
  EXPECT_EQ(SendBounded(combo_, CB_GETCURSEL), 0);
  ASSERT_EQ(SendBounded(combo_, CB_GETCOUNT), 2);
  // An item's text cannot be fetched across processes: select each and read
  // what the list shows.
  const char* items[] = {"----转制表符", "制表符转----"};
  for (int i : {1, 0}) {
    SCOPED_TRACE(i);
    ASSERT_EQ(SendBounded(combo_, CB_SETCURSEL, i), i);
    EXPECT_EQ(Utf8FromWide(Text(combo_)), items[i]);
  }
  // Typed text does not change a drop-down list.
  SetText(combo_, L"xyz");
  EXPECT_EQ(SendBounded(combo_, CB_GETCURSEL), 0);
}

TEST_F(WindowTest, FocusStartsOnStartButtonAndTabFollowsTheKeyboardOrder) {
  ASSERT_TRUE(BringToFront(window_));
  EXPECT_TRUE(WaitFor([&] { return FocusedWindow(thread_) == start_; }, 3000))
      << "first focus is not on 开始转换";

  auto expect_focus_after = [&](bool shift, HWND expected, const char* name) {
    SCOPED_TRACE(std::string(shift ? "Shift+Tab to " : "Tab to ") + name);
    PressKey(VK_TAB, shift ? VK_SHIFT : 0);
    EXPECT_TRUE(WaitFor([&] { return FocusedWindow(thread_) == expected; }, 3000));
  };
  expect_focus_after(false, combo_, "组合框1");
  expect_focus_after(false, edit_, "编辑框1");
  expect_focus_after(false, choose_, "按钮2");
  expect_focus_after(false, start_, "按钮1");
  expect_focus_after(true, choose_, "按钮2");
  expect_focus_after(true, edit_, "编辑框1");
  expect_focus_after(true, combo_, "组合框1");
  expect_focus_after(true, start_, "按钮1");
  expect_focus_after(true, choose_, "按钮2");
  expect_focus_after(true, edit_, "编辑框1");

  // Another window takes the activation; coming back gives the focus back
  // to the control that had it.
  HWND other = CreateWindowExW(0, L"Static", L"another window", WS_POPUP | WS_VISIBLE, 0, 0, 100,
                               50, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(other, nullptr);
  EXPECT_TRUE(BringToFront(other));
  EXPECT_TRUE(BringToFront(window_));
  EXPECT_TRUE(WaitFor([&] { return FocusedWindow(thread_) == edit_; }, 3000))
      << "the focus did not come back to 编辑框1";
  DestroyWindow(other);
}

TEST_F(WindowTest, EnterDoesNothing) {
  std::wstring source = File(L"source.txt");
  WriteBytes(source, "a----b");
  ASSERT_TRUE(SetText(edit_, source));
  auto before = FolderEntries();
  // Enter in the path field and in the list, where a user types and picks:
  // neither button is a default button, so nothing starts.
  FocusByTabs(2);
  ASSERT_EQ(FocusedWindow(thread_), edit_);
  PressKey(VK_RETURN);
  ExpectNothingShown();
  PressKey(VK_TAB, VK_SHIFT);
  ASSERT_TRUE(WaitFor([&] { return FocusedWindow(thread_) == combo_; }, 3000));
  PressKey(VK_RETURN);
  ExpectNothingShown();
  EXPECT_TRUE(IsWindow(window_));
  EXPECT_EQ(FolderEntries(), before);
  EXPECT_EQ(SendBounded(combo_, CB_GETCURSEL), 0);
}

// The ways a user closes the window; each case needs a program of its own.
struct CloseCase {
  const char* name;
  int tabs;  // Tab presses from 按钮1 before closing
  std::function<void(HWND window)> close;
};

class CloseTest : public WindowTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(CloseTest, ClosingTheWindowEndsWithExitCodeZero) {
  FocusByTabs(GetParam().tabs);
  GetParam().close(window_);
  EXPECT_EQ(program_->WaitForExit(), 0u) << "the program did not end with exit code 0";
}

void PressEsc(HWND) {
  PressKey(VK_ESCAPE);
}

INSTANTIATE_TEST_SUITE_P(
    EachWay, CloseTest,
    ::testing::Values(CloseCase{"EscOnStartButton", 0, PressEsc},
                      CloseCase{"EscOnList", 1, PressEsc}, CloseCase{"EscOnPathField", 2, PressEsc},
                      CloseCase{"EscOnChooseButton", 3, PressEsc},
                      CloseCase{"AltF4", 2, [](HWND) { PressKey(VK_F4, VK_MENU); }},
                      CloseCase{"SystemMenuClose", 0,
                                [](HWND w) { PostMessageW(w, WM_SYSCOMMAND, SC_CLOSE, 0); }}),
    [](const ::testing::TestParamInfo<CloseCase>& info) { return std::string(info.param.name); });

TEST_F(WindowTest, ForeignQuitMessageEndsWithTheCodeItCarries) {
  ASSERT_TRUE(PostThreadMessageW(thread_, WM_QUIT, 7, 0));
  EXPECT_EQ(program_->WaitForExit(), 7u);
}

TEST_F(WindowTest, EveryRowOfTheWorkedTableThroughTheWindow) {
  const auto& rows = dashtab::testing::kWorkedConversions;
  shot_dialog_ = "save-dialog";
  shot_box_ = "completion-box";
  int n = 0;
  for (const dashtab::testing::WorkedConversion& row : rows) {
    ++n;
    SCOPED_TRACE(std::string("source ") + row.source + ", selection " +
                 std::to_string(row.selection));
    std::wstring source = File(L"源" + std::to_wstring(n) + L".txt");
    std::wstring output = File(L"结果" + std::to_wstring(n) + L".txt");
    WriteBytes(source, Hex(row.source));
    auto converted = Convert(source, row.selection, output);
    ASSERT_TRUE(converted.has_value()) << "no completion box: the rows after this are not run";
    EXPECT_EQ(converted, Hex(row.output));
    EXPECT_EQ(ReadBytes(source), Hex(row.source)) << "the source changed";
  }
}

TEST_F(WindowTest, CompletionBoxNamesTheOutputInItsCaption) {
  std::wstring source = File(L"source.txt");
  std::wstring output = File(L"output.txt");
  WriteBytes(source, "a----b");
  PrepareAndClickStart(source, 0);
  AnswerFileDialog(output);
  auto box = CloseCompletionBox(output);
  ASSERT_TRUE(box.has_value());
  EXPECT_EQ(Utf8FromWide(box->caption), kCompletionPrefix + Utf8FromWide(output));
  EXPECT_EQ(Utf8FromWide(box->text), "提示");
  ASSERT_EQ(box->button_ids.size(), 1u) << "one OK button";
  EXPECT_EQ(box->button_ids[0], IDOK);
  EXPECT_FALSE(box->has_icon);
  EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(window_) != FALSE; }));
  EXPECT_EQ(FolderEntries(), (std::set<std::wstring>{L"dashtab.exe", L"source.txt", L"output.txt"}))
      << "the job writes no other file";
}

TEST_F(WindowTest, OutputIsEmptyBeforeTheJobWritesIt) {
  std::wstring source = File(L"large.txt");
  WriteBytes(source, LargeSource());
  struct Case {
    const char* name;
    const char* old_contents;  // null: the output does not exist yet
  };
  for (const Case& c : {Case{"new file", nullptr}, Case{"existing file", "old contents"}}) {
    SCOPED_TRACE(c.name);
    std::wstring output = File(WideFromUtf8(std::string("out ") + c.name + ".txt"));
    if (c.old_contents)
      WriteBytes(output, c.old_contents);
    PrepareAndClickStart(source, 0);
    AnswerFileDialog(output, true, c.old_contents != nullptr);
    // The start command has returned once the window answers.
    ASSERT_TRUE(Sync(window_));
    EXPECT_EQ(FileLength(output), 0) << "the output is not there, empty, when the job starts";
    EXPECT_TRUE(IsWindowEnabled(start_)) << "开始转换 stays disabled while the job runs";
    ASSERT_TRUE(CloseCompletionBox(output).has_value());
    EXPECT_TRUE(ReadBytes(output) == LargeSourceConverted()) << "the large output is wrong";
  }
}

TEST_F(WindowTest, StartIsSilentWithoutAnExistingSource) {
  auto before = FolderEntries();
  for (std::wstring path : {std::wstring(), File(L"nothing.txt"), File(L"no folder\\x.txt")}) {
    SCOPED_TRACE(Utf8FromWide(path));
    ASSERT_TRUE(SetText(edit_, path));
    // Sent: with nothing to open, the click returns at once.
    ASSERT_TRUE(SendBounded(start_, BM_CLICK).has_value()) << "the click did not return";
    ExpectNothingShown();
    EXPECT_EQ(FolderEntries(), before);
  }
}

TEST_F(WindowTest, CancelledSaveDialogWritesNothingAndStartsNoJob) {
  std::wstring source = File(L"source.txt");
  WriteBytes(source, "a----b");
  auto before = FolderEntries();
  PrepareAndClickStart(source, 0);
  EXPECT_EQ(Utf8FromWide(AnswerFileDialog(L"", false)), kOfferedName);
  ExpectNothingShown();
  EXPECT_EQ(FolderEntries(), before);
  EXPECT_EQ(Utf8FromWide(Text(edit_)), Utf8FromWide(source));

  // The open dialog now offers the name the cancelled save dialog held.
  PostMessageW(choose_, BM_CLICK, 0, 0);
  EXPECT_EQ(Utf8FromWide(AnswerFileDialog(L"", false)), kOfferedName);
  ExpectNothingShown();
  EXPECT_EQ(Utf8FromWide(Text(edit_)), Utf8FromWide(source))
      << "a cancelled open dialog changed the path";
}

TEST_F(WindowTest, ChooseFilePutsTheChosenPathIntoTheField) {
  std::wstring source = File(L"选中的.txt");
  WriteBytes(source, "a\tb");
  ASSERT_TRUE(SetText(edit_, L"typed by hand"));

  // Opened from the keyboard: Space on the focused 选择文件 presses it.
  FocusByTabs(3);
  ASSERT_EQ(FocusedWindow(thread_), choose_);
  PressKey(VK_SPACE);
  EXPECT_EQ(AnswerFileDialog(L"", false), L"") << "the first open dialog offers no name";
  ExpectNothingShown();
  EXPECT_EQ(Utf8FromWide(Text(edit_)), "typed by hand");

  PostMessageW(choose_, BM_CLICK, 0, 0);
  AnswerFileDialog(source);
  ASSERT_TRUE(Sync(window_));
  EXPECT_EQ(Utf8FromWide(Text(edit_)), Utf8FromWide(source));

  // The chosen path converts like a typed one.
  std::wstring output = File(L"out.txt");
  ASSERT_TRUE(SendBounded(combo_, CB_SETCURSEL, 1).has_value());
  PostMessageW(start_, BM_CLICK, 0, 0);
  AnswerFileDialog(output);
  ASSERT_TRUE(CloseCompletionBox(output).has_value());
  EXPECT_EQ(ReadBytes(output), "a----b");

  // The next open dialog starts from the file last chosen in either dialog.
  PostMessageW(choose_, BM_CLICK, 0, 0);
  EXPECT_TRUE(AnswerFileDialog(L"", false).ends_with(L"out.txt"));
  ExpectNothingShown();
}

TEST_F(WindowTest, SourceThatCannotBeReadGivesAnEmptyOutputAndTheBox) {
  CreateDirectoryW(File(L"folder").c_str(), nullptr);
  WriteBytes(File(L"match.txt"), "a----b");
  struct Case {
    const char* name;
    std::wstring source;
    std::function<void()> while_dialog_open;  // after the start command checked the source
  };
  dashtab::win::UniqueFileHandle held;
  const std::wstring gone = File(L"gone.txt");
  const std::wstring locked = File(L"locked.txt");
  const Case cases[] = {
      {"a folder", File(L"folder"), [] {}},
      {"a pattern that matches a file", File(L"mat*.txt"), [] {}},
      {"deleted after the check", gone, [&] { EXPECT_TRUE(DeleteFileW(gone.c_str())); }},
      {"held open for writing by another program", locked,
       [&] {
         held.reset(CreateFileW(locked.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr));
         EXPECT_TRUE(held.valid());
       }},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(gone, "a----b");
    WriteBytes(locked, "a----b");
    std::wstring output = File(L"out" + std::to_wstring(++n) + L".txt");
    PrepareAndClickStart(c.source, 0);
    ASSERT_NE(WaitForFileDialog(), nullptr);
    c.while_dialog_open();
    AnswerFileDialog(output);
    EXPECT_TRUE(CloseCompletionBox(output).has_value());
    EXPECT_EQ(ReadBytes(output), "");
    held.reset();
  }
}

TEST_F(WindowTest, TypedPathConvertsLikeAChosenOne) {
  // Typed character by character, Chinese included (the folder's name has
  // some), into the focused path field.
  std::wstring source = File(L"手打的.txt");
  WriteBytes(source, "a----b");
  FocusByTabs(2);
  ASSERT_EQ(FocusedWindow(thread_), edit_);
  TypeText(source);
  EXPECT_TRUE(WaitFor([&] { return Text(edit_) == source; }, 3000))
      << "the field shows " << Utf8FromWide(Text(edit_));
  std::wstring output = File(L"输出.txt");
  PostMessageW(start_, BM_CLICK, 0, 0);
  AnswerFileDialog(output);
  ASSERT_TRUE(CloseCompletionBox(output).has_value());
  EXPECT_EQ(ReadBytes(output), "a\tb");
}

TEST_F(WindowTest, BareNameIsLookedUpInTheProgramsFolder) {
  WriteBytes(File(L"bare.txt"), "x----y");
  std::wstring output = File(L"out.txt");
  EXPECT_EQ(Convert(L"bare.txt", 0, output), "x\ty");
}

TEST_F(WindowTest, EachJobConvertsWhatWasChosenWhenItStarted) {
  std::wstring first_source = File(L"first.txt");
  std::wstring second_source = File(L"second.txt");
  std::wstring first_output = File(L"first out.txt");
  std::wstring second_output = File(L"second out.txt");
  WriteBytes(first_source, LargeSource());
  WriteBytes(second_source, "p\tq\tr");

  // The first job is still busy with its large source while the path, the
  // direction and the dialog's file name change for the second.
  PrepareAndClickStart(first_source, 0);
  AnswerFileDialog(first_output);
  PrepareAndClickStart(second_source, 1);
  EXPECT_TRUE(CompletionBoxes().empty())
      << "the first job ended before the second start: its source is too small to show mixing";
  AnswerFileDialog(second_output);

  // Two boxes, one for each job, each naming its own output.
  EXPECT_TRUE(WaitFor([&] { return CompletionBoxes().size() == 2; }))
      << CompletionBoxes().size() << " completion boxes";
  ASSERT_TRUE(CloseCompletionBox(second_output).has_value());
  ASSERT_TRUE(CloseCompletionBox(first_output).has_value());
  EXPECT_TRUE(ReadBytes(first_output) == LargeSourceConverted()) << "the first output is wrong";
  EXPECT_EQ(ReadBytes(second_output), "p----q----r");
  EXPECT_TRUE(ReadBytes(first_source) == LargeSource());
}

TEST_F(WindowTest, OutputNamingTheSourceItselfGetsTheConvertedBytes) {
  CreateDirectoryW(File(L"sub").c_str(), nullptr);
  struct Case {
    const char* name;
    std::wstring field;   // the path in 编辑框1
    std::wstring chosen;  // the output typed into the save dialog
  };
  const std::wstring source = File(L"same.txt");
  const Case cases[] = {
      {"the same path", source, source},
      {"the name in other letters in the field", File(L"SAME.TXT"), source},
      {"the name in other letters in the dialog", source, File(L"Same.Txt")},
      {"a path through another folder", File(L"sub\\..\\same.txt"), source},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(source, "a----b----c");
    auto before = FolderEntries();
    PrepareAndClickStart(c.field, 0);
    AnswerFileDialog(c.chosen, true, true);
    ASSERT_TRUE(Sync(window_));
    EXPECT_NE(FileLength(source), 0) << "the source was emptied";
    // The box names the path as the dialog gave it back.
    HWND box = WaitForDialog(IsCompletionBox);
    ASSERT_NE(box, nullptr) << "no completion box";
    PressDialogButton(box, IDOK);
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(box); }));
    EXPECT_EQ(ReadBytes(source), "a\tb\tc");
    EXPECT_EQ(FolderEntries(), before) << "a file was left behind";
  }
}

TEST_F(WindowTest, ClosingTheWindowWhileACompletionBoxIsUpEndsWithExitCodeZero) {
  std::wstring source = File(L"source.txt");
  std::wstring output = File(L"output.txt");
  WriteBytes(source, "a----b");
  PrepareAndClickStart(source, 0);
  AnswerFileDialog(output);
  ASSERT_NE(WaitForDialog(IsCompletionBox), nullptr);
  // The box disables the window, so its close box and system menu do
  // nothing; a close request from outside (as Task Manager's End task
  // sends) still reaches it.
  PostMessageW(window_, WM_CLOSE, 0, 0);
  EXPECT_EQ(program_->WaitForExit(), 0u);
  EXPECT_EQ(ReadBytes(output), "a\tb");
}

}  // namespace
}  // namespace e2e
