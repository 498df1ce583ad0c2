// MainWindow: the program's only window, "----转为制表符", with its path
// field, direction list, two buttons and file dialog component. The rest of
// the program touches it only through LoadWindow, ReadProperty,
// WriteProperty and OpenDialog.
#pragma once

#include <windows.h>

#include <array>
#include <functional>

#include "app/file_dialog.h"
#include "core/text.h"

namespace dashtab::app {

// The controls by the names the window gives them, in creation order.
enum class Control : int {
  按钮2,        // push button "选择文件"
  编辑框1,      // the source path
  标签1,        // label "选择文件："
  组合框1,      // the direction list
  通用对话框1,  // the file dialog component, no window of its own
  按钮1,        // push button "开始转换"
};
inline constexpr int kControlCount = 6;

// Properties by meaning, grouped by the type of their value.
enum class TextProperty { Text, FileName };
enum class IntProperty { CurrentSelection, DialogType };
enum class BoolProperty { Disabled };

class MainWindow;

// What the window hands on to the rest of the program; each may be empty.
struct MainWindowEvents {
  std::function<void(MainWindow&)> choose_file_clicked;  // 按钮2
  std::function<void(MainWindow&)> start_clicked;        // 按钮1
  std::function<void()> destroyed;                       // the window is gone
};

class MainWindow {
 public:
  static constexpr const char* kCaption = "----转为制表符";
  static constexpr int kWidth = 380;
  static constexpr int kHeight = 184;

  explicit MainWindow(MainWindowEvents events = {});
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Creates the window and all its controls, centred on the primary screen,
  // and shows it; returns without waiting for it to close. False when the
  // window could not be created; then nothing is shown.
  bool LoadWindow(HWND parent = nullptr);

  // The system handle, also after the window is gone (then it names no
  // window). Null before LoadWindow succeeded.
  HWND hwnd() const { return hwnd_; }
  HWND ControlHandle(Control control) const { return controls_[static_cast<int>(control)]; }

  // Callable from any thread while this object lives: from another thread
  // the value is fetched by a synchronous request that the window's thread
  // serves in whatever message loop it runs, modal ones included. A Text
  // read of an empty text gives the empty Text.
  Text ReadProperty(Control control, TextProperty property) const;
  int ReadProperty(Control control, IntProperty property) const;
  bool ReadProperty(Control control, BoolProperty property) const;

  void WriteProperty(Control control, TextProperty property, const Text& value);
  void WriteProperty(Control control, IntProperty property, int value);
  void WriteProperty(Control control, BoolProperty property, bool value);

  // Opens the system dialog of 通用对话框1's type, modal over this window.
  // True when the user confirmed it.
  bool OpenDialog(Control control);

  // The window's keys, for the message loop to call before it translates
  // and dispatches `msg`: Tab and Shift+Tab in the window's keyboard order,
  // then the dialog manager (Esc closes, Enter does nothing). True when
  // `msg` was used up. The loop takes its messages with the W functions:
  // typed characters beyond ASCII do not survive the A ones.
  bool PreTranslateMessage(MSG& msg);

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);

  bool OnCreate();
  void OnCommand(WPARAM wparam, LPARAM lparam);
  void OnActivate(WPARAM wparam, LPARAM lparam);
  void OnSetFocus();
  LRESULT OnControlColor(HDC dc);
  void OnDestroy();
  void OnNcDestroy();

  void CreateControls();
  void CorrectOuterSize();
  void FocusFirstInKeyboardOrder();
  bool TranslateKeyboardOrder(const MSG& msg);
  void MoveFocus(bool backward);
  void SetDisabled(Control control, bool disabled);

  // Runs `read` on the window's thread and hands its result back.
  template <class Read>
  auto OnWindowThread(Read read) const -> decltype(read());

  MainWindowEvents events_;
  HWND hwnd_ = nullptr;
  DWORD thread_id_ = 0;
  std::array<HWND, kControlCount> controls_{};
  FileDialog dialog_;
  HFONT font_ = nullptr;
  // The control that had the focus when the window was last deactivated.
  HWND focus_on_deactivate_ = nullptr;
  // The control that lost the focus by being disabled, to get it back once
  // it is enabled again.
  HWND focus_before_disable_ = nullptr;
};

}  // namespace dashtab::app
