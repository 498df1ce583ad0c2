#include "app/main_window.h"

#include <string>

namespace dashtab::app {
namespace {

constexpr const char* kClassName = "DashtabMainWindow";
constexpr const char* kIconName = "DEFAULT_ICON";

// A request from another thread: the window's thread runs the function.
// Private messages start at WM_APP, above the dialog manager's WM_USER ones.
constexpr UINT kRunOnWindowThread = WM_APP;

// Control identifiers stay clear of IDOK and IDCANCEL, which the dialog
// manager sends for Enter and Esc.
constexpr int kFirstControlId = 1001;

constexpr DWORD kPushButtonStyle =
    WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON | BS_CENTER | BS_VCENTER | BS_MULTILINE;

constexpr int kComboHeight = 20;

struct ControlLayout {
  Control control;
  const char* window_class;  // null: no window (the file dialog component)
  const char* text;
  DWORD style;
  DWORD ex_style;
  int left, top, width, height;
};

// Creation order, which is also the stacking order (first on top).
constexpr ControlLayout kLayout[] = {
    {Control::按钮2, "Button", "选择文件", kPushButtonStyle, 0, 287, 8, 65, 24},
    {Control::编辑框1, "Edit", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL,
     WS_EX_CLIENTEDGE, 80, 9, 200, 24},
    {Control::标签1, "Static", "选择文件：", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_CENTERIMAGE, 0,
     16, 8, 64, 24},
    {Control::组合框1, "ComboBox", "",
     WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0, 128, 49, 112,
     kComboHeight},
    {Control::通用对话框1, nullptr, nullptr, 0, 0, 16, 48, 40, 24},
    {Control::按钮1, "Button", "开始转换", kPushButtonStyle, 0, 128, 73, 112, 56},
};

constexpr const char* kDirectionItems[] = {"----转制表符", "制表符转----"};

// The height of the open list of 组合框1; the closed box itself keeps the
// height of the layout.
constexpr int kDroppedListHeight = 120;

// Tab moves through these in this order, from the last back to the first.
constexpr Control kKeyboardOrder[] = {Control::按钮1, Control::组合框1, Control::编辑框1,
                                      Control::按钮2};

int ControlId(Control control) {
  return kFirstControlId + static_cast<int>(control);
}

bool CanTakeFocus(HWND control) {
  return control != nullptr && IsWindowVisible(control) && IsWindowEnabled(control);
}

HINSTANCE ThisModule() {
  return GetModuleHandleA(nullptr);
}

// Shared icons from the resource: the system owns them, nothing to free.
HICON SmallIcon() {
  return static_cast<HICON>(LoadImageA(ThisModule(), kIconName, IMAGE_ICON,
                                       GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                       LR_SHARED));
}

// Registers the class once per process; later windows reuse it.
void RegisterWindowClass(WNDPROC procedure) {
  WNDCLASSEXA window_class{};
  window_class.cbSize = sizeof(window_class);
  if (GetClassInfoExA(ThisModule(), kClassName, &window_class)) {
    return;
  }
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = ThisModule();
  window_class.hIcon = LoadIconA(ThisModule(), kIconName);
  window_class.hIconSm = SmallIcon();
  window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kClassName;
  RegisterClassExA(&window_class);
}

// The window's text in the process code page (UTF-8), sized exactly: the
// A length of a text is only an estimate.
Text WindowText(HWND window) {
  std::wstring wide(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  wide.resize(
      static_cast<std::size_t>(GetWindowTextW(window, wide.data(), static_cast<int>(wide.size()))));
  if (wide.empty()) {
    return Text();
  }
  const int wide_length = static_cast<int>(wide.size());
  std::string bytes(static_cast<std::size_t>(WideCharToMultiByte(
                        CP_ACP, 0, wide.data(), wide_length, nullptr, 0, nullptr, nullptr)),
                    '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), wide_length, bytes.data(),
                      static_cast<int>(bytes.size()), nullptr, nullptr);
  return Text(std::move(bytes));
}

}  // namespace

MainWindow::MainWindow(MainWindowEvents events) : events_(std::move(events)) {}

MainWindow::~MainWindow() {
  if (hwnd_ != nullptr && IsWindow(hwnd_)) {
    DestroyWindow(hwnd_);
  }
}

bool MainWindow::LoadWindow(HWND parent) {
  RegisterWindowClass(&MainWindow::WindowProc);

  // Each half rounded toward zero, as integer division does.
  const int left = (GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2;
  // A fixed frame with a system menu and a minimise box, no maximise box.
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
  thread_id_ = GetCurrentThreadId();
  if (CreateWindowExA(0, kClassName, kCaption, style, left, top, kWidth, kHeight, parent, nullptr,
                      ThisModule(), this) == nullptr) {
    hwnd_ = nullptr;
    return false;
  }
  CorrectOuterSize();
  ShowWindow(hwnd_, SW_SHOWNORMAL);
  UpdateWindow(hwnd_);
  return true;
}

LRESULT CALLBACK MainWindow::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  MainWindow* self = nullptr;
  if (message == WM_NCCREATE) {
    self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTA*>(lparam)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<MainWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  }
  if (self == nullptr) {
    return DefWindowProcA(hwnd, message, wparam, lparam);
  }
  return self->HandleMessage(message, wparam, lparam);
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      return OnCreate() ? 0 : -1;
    case WM_COMMAND:
      OnCommand(wparam, lparam);
      return 0;
    case WM_ACTIVATE:
      OnActivate(wparam, lparam);
      return 0;
    case WM_SETFOCUS:
      OnSetFocus();
      return 0;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
      return OnControlColor(reinterpret_cast<HDC>(wparam));
    case WM_SETFONT:
      font_ = reinterpret_cast<HFONT>(wparam);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(font_);
    case kRunOnWindowThread:
      (*reinterpret_cast<const std::function<void()>*>(lparam))();
      return 0;
    case WM_DESTROY:
      OnDestroy();
      return 0;
    case WM_NCDESTROY:
      OnNcDestroy();
      break;
  }
  return DefWindowProcA(hwnd_, message, wparam, lparam);
}

bool MainWindow::OnCreate() {
  font_ = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  SendMessageA(hwnd_, WM_SETICON, ICON_BIG,
               reinterpret_cast<LPARAM>(LoadIconA(ThisModule(), kIconName)));
  SendMessageA(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(SmallIcon()));
  CreateControls();
  for (const ControlLayout& layout : kLayout) {
    if (layout.window_class != nullptr && ControlHandle(layout.control) == nullptr) {
      return false;
    }
  }
  return true;
}

void MainWindow::CreateControls() {
  for (const ControlLayout& layout : kLayout) {
    if (layout.window_class == nullptr) {
      continue;
    }
    const bool is_combo = layout.control == Control::组合框1;
    // A drop-down list takes the height of its open list at creation; the
    // closed box is sized below.
    const int create_height = is_combo ? layout.height + kDroppedListHeight : layout.height;
    HWND control =
        CreateWindowExA(layout.ex_style, layout.window_class, layout.text, layout.style,
                        layout.left, layout.top, layout.width, create_height, hwnd_,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(layout.control))),
                        ThisModule(), nullptr);
    controls_[static_cast<int>(layout.control)] = control;
    if (control == nullptr) {
      continue;
    }
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  }

  HWND edit = ControlHandle(Control::编辑框1);
  // 0 lifts the limit to the system's maximum for a single-line edit box.
  SendMessageA(edit, EM_SETLIMITTEXT, 0, 0);

  HWND combo = ControlHandle(Control::组合框1);
  for (const char* item : kDirectionItems) {
    SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
  }
  SendMessageA(combo, CB_SETCURSEL, 0, 0);
  // The closed box's height follows its selection field: fit it to the
  // layout's height. How the field's height counts differs between
  // systems, so step by what the box measures.
  LRESULT field = SendMessageA(combo, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
  for (int tries = 0; tries < 4 && field != CB_ERR; ++tries) {
    RECT box{};
    GetWindowRect(combo, &box);
    const int surplus = (box.bottom - box.top) - kComboHeight;
    if (surplus == 0 || field - surplus <= 0) {
      break;
    }
    field -= surplus;
    SendMessageA(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
  }
}

void MainWindow::CorrectOuterSize() {
  RECT outer{};
  GetWindowRect(hwnd_, &outer);
  if (outer.right - outer.left != kWidth || outer.bottom - outer.top != kHeight) {
    SetWindowPos(hwnd_, nullptr, 0, 0, kWidth, kHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void MainWindow::OnCommand(WPARAM wparam, LPARAM lparam) {
  const int id = LOWORD(wparam);
  const int code = HIWORD(wparam);
  // Esc, through the dialog manager, exactly as the close box.
  if (id == IDCANCEL && lparam == 0) {
    SendMessageA(hwnd_, WM_CLOSE, 0, 0);
    return;
  }
  if (code != BN_CLICKED) {
    return;
  }
  if (id == ControlId(Control::按钮2) && events_.choose_file_clicked) {
    events_.choose_file_clicked(*this);
  } else if (id == ControlId(Control::按钮1) && events_.start_clicked) {
    events_.start_clicked(*this);
  }
}

void MainWindow::OnActivate(WPARAM wparam, LPARAM lparam) {
  if (LOWORD(wparam) == WA_INACTIVE) {
    HWND focus = GetFocus();
    focus_on_deactivate_ = (focus != nullptr && IsChild(hwnd_, focus)) ? focus : nullptr;
  }
  // The default handling gives the window the focus when it is activated,
  // which OnSetFocus passes on to a control.
  DefWindowProcA(hwnd_, WM_ACTIVATE, wparam, lparam);
}

void MainWindow::OnSetFocus() {
  if (CanTakeFocus(focus_on_deactivate_) && IsChild(hwnd_, focus_on_deactivate_)) {
    SetFocus(focus_on_deactivate_);
    return;
  }
  FocusFirstInKeyboardOrder();
}

void MainWindow::FocusFirstInKeyboardOrder() {
  for (Control control : kKeyboardOrder) {
    if (CanTakeFocus(ControlHandle(control))) {
      SetFocus(ControlHandle(control));
      return;
    }
  }
}

LRESULT MainWindow::OnControlColor(HDC dc) {
  // The edit box and the label: black text on the button face.
  SetTextColor(dc, RGB(0, 0, 0));
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

void MainWindow::OnDestroy() {
  focus_on_deactivate_ = nullptr;
  focus_before_disable_ = nullptr;
}

void MainWindow::OnNcDestroy() {
  SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
  if (events_.destroyed) {
    events_.destroyed();
  }
}

bool MainWindow::PreTranslateMessage(MSG& msg) {
  if (hwnd_ == nullptr || !IsWindow(hwnd_)) {
    return false;
  }
  return TranslateKeyboardOrder(msg) || IsDialogMessageW(hwnd_, &msg);
}

// The dialog manager would follow the stacking order, which is the creation
// order; the keyboard order differs from it, so Tab is handled here.
bool MainWindow::TranslateKeyboardOrder(const MSG& msg) {
  if (msg.message != WM_KEYDOWN || msg.wParam != VK_TAB) {
    return false;
  }
  if (msg.hwnd != hwnd_ && !IsChild(hwnd_, msg.hwnd)) {
    return false;
  }
  if (GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0) {
    return false;
  }
  MoveFocus(GetKeyState(VK_SHIFT) < 0);
  return true;
}

void MainWindow::MoveFocus(bool backward) {
  constexpr int count = static_cast<int>(std::size(kKeyboardOrder));
  HWND focus = GetFocus();
  int current = -1;
  for (int i = 0; i < count; ++i) {
    HWND control = ControlHandle(kKeyboardOrder[i]);
    if (focus != nullptr && (focus == control || IsChild(control, focus))) {
      current = i;
    }
  }
  const int step = backward ? count - 1 : 1;
  int next = current < 0 ? (backward ? count - 1 : 0) : (current + step) % count;
  for (int tries = 0; tries < count; ++tries, next = (next + step) % count) {
    HWND control = ControlHandle(kKeyboardOrder[next]);
    if (!CanTakeFocus(control)) {
      continue;
    }
    SetFocus(control);
    // As the dialog manager does: an edit box reached by Tab shows its
    // whole text selected.
    if (SendMessageA(control, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) {
      SendMessageA(control, EM_SETSEL, 0, -1);
    }
    return;
  }
}

template <class Read>
auto MainWindow::OnWindowThread(Read read) const -> decltype(read()) {
  if (hwnd_ == nullptr || GetCurrentThreadId() == thread_id_) {
    return read();
  }
  decltype(read()) result{};
  const std::function<void()> request = [&] { result = read(); };
  SendMessageA(hwnd_, kRunOnWindowThread, 0, reinterpret_cast<LPARAM>(&request));
  return result;
}

Text MainWindow::ReadProperty(Control control, TextProperty property) const {
  return OnWindowThread([this, control, property] {
    if (property == TextProperty::FileName) {
      return control == Control::通用对话框1 ? dialog_.file_name() : Text();
    }
    return WindowText(ControlHandle(control));
  });
}

int MainWindow::ReadProperty(Control control, IntProperty property) const {
  return OnWindowThread([this, control, property] {
    if (property == IntProperty::DialogType) {
      return static_cast<int>(dialog_.type());
    }
    if (control != Control::组合框1) {
      return -1;
    }
    return static_cast<int>(SendMessageA(ControlHandle(control), CB_GETCURSEL, 0, 0));
  });
}

bool MainWindow::ReadProperty(Control control, BoolProperty) const {
  return OnWindowThread([this, control] {
    HWND window = ControlHandle(control);
    return window != nullptr && !IsWindowEnabled(window);
  });
}

void MainWindow::WriteProperty(Control control, TextProperty property, const Text& value) {
  OnWindowThread([this, control, property, &value] {
    if (property == TextProperty::FileName) {
      if (control == Control::通用对话框1) {
        dialog_.set_file_name(value);
      }
    } else {
      SetWindowTextA(ControlHandle(control), value.c_str());
    }
    return 0;
  });
}

void MainWindow::WriteProperty(Control control, IntProperty property, int value) {
  OnWindowThread([this, control, property, value] {
    if (control == Control::通用对话框1 && property == IntProperty::DialogType) {
      dialog_.set_type(value == 1 ? DialogType::Save : DialogType::Open);
    }
    return 0;
  });
}

void MainWindow::WriteProperty(Control control, BoolProperty, bool value) {
  OnWindowThread([this, control, value] {
    SetDisabled(control, value);
    return 0;
  });
}

void MainWindow::SetDisabled(Control control, bool disabled) {
  HWND window = ControlHandle(control);
  if (window == nullptr) {
    return;
  }
  if (disabled) {
    // A disabled control loses the focus and the window is left without
    // one; remember it to give it back when the control is enabled.
    if (GetFocus() == window) {
      focus_before_disable_ = window;
    }
    EnableWindow(window, FALSE);
    return;
  }
  EnableWindow(window, TRUE);
  if (focus_before_disable_ == window && GetFocus() == nullptr && GetActiveWindow() == hwnd_) {
    SetFocus(window);
  }
  focus_before_disable_ = nullptr;
}

bool MainWindow::OpenDialog(Control control) {
  if (control != Control::通用对话框1) {
    return false;
  }
  return OnWindowThread([this] { return dialog_.Open(hwnd_); });
}

}  // namespace dashtab::app
