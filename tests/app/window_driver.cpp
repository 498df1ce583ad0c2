#include "window_driver.h"

#include <atomic>
#include <chrono>

namespace e2e {
namespace {

using dashtab::win::UniqueFileHandle;
using dashtab::win::UniqueFindHandle;
using dashtab::win::UniqueKernelHandle;

void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW entry;
  UniqueFindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &entry));
  if (find) {
    do {
      std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..")
        continue;
      std::wstring path = folder + L"\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(find.get(), &entry));
  }
  find.reset();
  RemoveDirectoryW(folder.c_str());
}

}  // namespace

std::wstring WindowsPathFromUnix(std::string_view unix_path) {
  std::wstring path = L"Z:" + WideFromUtf8(unix_path);
  for (wchar_t& c : path) {
    if (c == L'/')
      c = L'\\';
  }
  return path;
}

std::wstring EnvironmentVariable(const wchar_t* name) {
  wchar_t buffer[4096];
  DWORD n = GetEnvironmentVariableW(name, buffer, 4096);
  if (n == 0 || n >= 4096)
    return {};
  return std::wstring(buffer, n);
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeout_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (condition())
      return true;
    if (std::chrono::steady_clock::now() >= deadline)
      return false;
    Sleep(5);
  }
}

TempFolder::TempFolder() {
  static std::atomic<int> counter{0};
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  // A Chinese name on purpose: every path the program handles then goes
  // through its code page, and a wrong one shows at once.
  for (;;) {
    path_ = std::wstring(temp) + L"dashtab 测试 " + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++counter);
    if (CreateDirectoryW(path_.c_str(), nullptr))
      break;
    if (GetLastError() != ERROR_ALREADY_EXISTS)
      break;
  }
}

TempFolder::~TempFolder() {
  RemoveTree(path_);
}

std::vector<std::wstring> TempFolder::Entries() const {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW entry;
  UniqueFindHandle find(FindFirstFileW((path_ + L"\\*").c_str(), &entry));
  if (!find)
    return names;
  do {
    std::wstring name = entry.cFileName;
    if (name != L"." && name != L"..")
      names.push_back(name);
  } while (FindNextFileW(find.get(), &entry));
  return names;
}

void WriteBytes(const std::wstring& path, std::string_view bytes) {
  UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (file && !bytes.empty())
    WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::optional<std::string> ReadBytes(const std::wstring& path) {
  UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file)
    return std::nullopt;
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
    bytes.append(buffer, got);
  return bytes;
}

std::optional<long long> FileLength(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
    return std::nullopt;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::wstring ClassName(HWND window) {
  wchar_t name[256];
  int n = GetClassNameW(window, name, 256);
  return std::wstring(name, n > 0 ? n : 0);
}

std::optional<LRESULT> SendBounded(HWND window, UINT message, WPARAM w, LPARAM l,
                                   DWORD timeout_ms) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(window, message, w, l, SMTO_NORMAL, timeout_ms, &result)) {
    return std::nullopt;
  }
  return static_cast<LRESULT>(result);
}

std::wstring Text(HWND window) {
  auto length = SendBounded(window, WM_GETTEXTLENGTH);
  if (!length || *length <= 0)
    return {};
  std::wstring text(*length + 1, L'\0');
  auto got = SendBounded(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(got ? *got : 0);
  return text;
}

bool SetText(HWND window, std::wstring_view text) {
  std::wstring copy(text);
  auto result = SendBounded(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(copy.c_str()));
  return result && *result;
}

LONG Style(HWND window) {
  return GetWindowLongW(window, GWL_STYLE);
}
LONG ExStyle(HWND window) {
  return GetWindowLongW(window, GWL_EXSTYLE);
}

RECT ScreenRect(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return r;
}

RECT RectInClient(HWND child, HWND parent) {
  RECT r = ScreenRect(child);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  return children;
}

std::vector<HWND> TopLevelWindowsOf(DWORD process_id) {
  struct Search {
    DWORD process_id;
    std::vector<HWND> found;
  } search{process_id, {}};
  EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<Search*>(param);
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if (pid == s->process_id)
          s->found.push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::vector<HWND> OwnedDialogs(HWND owner) {
  DWORD pid = 0;
  GetWindowThreadProcessId(owner, &pid);
  std::vector<HWND> dialogs;
  for (HWND window : TopLevelWindowsOf(pid)) {
    if (GetWindow(window, GW_OWNER) == owner && IsWindowVisible(window) &&
        ClassName(window) == L"#32770") {
      dialogs.push_back(window);
    }
  }
  return dialogs;
}

bool Sync(HWND window, DWORD timeout_ms) {
  return SendBounded(window, WM_NULL, 0, 0, timeout_ms).has_value();
}

bool BringToFront(HWND window) {
  return WaitFor(
      [&] {
        if (GetForegroundWindow() == window)
          return true;
        SetForegroundWindow(window);
        return false;
      },
      3000);
}

void PressKey(WORD vk, WORD modifier) {
  std::vector<INPUT> inputs;
  auto key = [&](WORD code, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = code;
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    inputs.push_back(in);
  };
  if (modifier)
    key(modifier, false);
  key(vk, false);
  key(vk, true);
  if (modifier)
    key(modifier, true);
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void TypeText(std::wstring_view text) {
  std::vector<INPUT> inputs;
  for (wchar_t c : text) {
    for (DWORD up : {DWORD{0}, DWORD{KEYEVENTF_KEYUP}}) {
      INPUT in{};
      in.type = INPUT_KEYBOARD;
      in.ki.wScan = c;
      in.ki.dwFlags = KEYEVENTF_UNICODE | up;
      inputs.push_back(in);
    }
  }
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

HWND FocusedWindow(DWORD thread_id) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(thread_id, &info))
    return nullptr;
  return info.hwndFocus;
}

Program::Program(const std::wstring& program_file, const std::wstring& folder,
                 const std::wstring& current_directory) {
  std::wstring name = program_file.substr(program_file.find_last_of(L"\\/") + 1);
  std::wstring file = folder + L"\\" + name;
  if (!CopyFileW(program_file.c_str(), file.c_str(), FALSE))
    return;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::wstring command_line = L"\"" + file + L"\"";
  if (!CreateProcessW(file.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      current_directory.c_str(), &startup, &info)) {
    return;
  }
  UniqueKernelHandle thread(info.hThread);
  process_.reset(info.hProcess);
  process_id_ = info.dwProcessId;
}

Program::~Program() {
  if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_.get(), 1);
    WaitForSingleObject(process_.get(), kWaitMs);
  }
}

HWND Program::WaitForWindow(std::wstring_view caption) {
  HWND found = nullptr;
  WaitFor([&] {
    for (HWND window : TopLevelWindowsOf(process_id_)) {
      wchar_t text[256];
      int n = GetWindowTextW(window, text, 256);
      if (IsWindowVisible(window) && std::wstring_view(text, n > 0 ? n : 0) == caption) {
        found = window;
        return true;
      }
    }
    return false;
  });
  return found;
}

std::optional<DWORD> Program::WaitForExit(DWORD timeout_ms) {
  if (!process_ || WaitForSingleObject(process_.get(), timeout_ms) != WAIT_OBJECT_0) {
    return std::nullopt;
  }
  DWORD code = 0;
  GetExitCodeProcess(process_.get(), &code);
  return code;
}

MessageBoxContents ReadMessageBox(HWND box) {
  MessageBoxContents contents;
  wchar_t caption[1024];
  int n = GetWindowTextW(box, caption, 1024);
  contents.caption.assign(caption, n > 0 ? n : 0);
  for (HWND child : Children(box)) {
    if (!IsWindowVisible(child))
      continue;
    std::wstring kind = ClassName(child);
    if (kind == L"Button") {
      contents.buttons.push_back(Text(child));
      contents.button_ids.push_back(GetDlgCtrlID(child));
    } else if (kind == L"Static") {
      if ((Style(child) & SS_TYPEMASK) == SS_ICON) {
        // The box keeps its icon control without an icon when it shows none.
        if (SendBounded(child, STM_GETICON).value_or(0) != 0)
          contents.has_icon = true;
      } else if (!Text(child).empty()) {
        contents.text += Text(child);
      }
    }
  }
  return contents;
}

void PressDialogButton(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

HWND FileNameField(HWND dialog) {
  // The Explorer-style dialogs keep the field as cmb13, a combo box (under
  // Wine inside a ComboBoxEx32) with the edit box somewhere inside, or as edt1.
  HWND field = GetDlgItem(dialog, 0x47c);
  if (field == nullptr)
    field = GetDlgItem(dialog, 0x480);
  if (field == nullptr || ClassName(field) == L"Edit")
    return field;
  HWND edit = nullptr;
  EnumChildWindows(
      field,
      [](HWND child, LPARAM found) -> BOOL {
        if (ClassName(child) != L"Edit")
          return TRUE;
        *reinterpret_cast<HWND*>(found) = child;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&edit));
  return edit;
}

std::string SaveScreenshot(std::string_view name, RECT area) {
  std::string folder = Utf8FromWide(EnvironmentVariable(L"DASHTAB_SCREENSHOTS"));
  if (folder.empty())
    return {};
  std::string file = folder + "/" + std::string(name) + ".png";
  std::string part = folder + "/" + std::string(name) + ".part.png";
  DeleteFileW(WindowsPathFromUnix(file).c_str());
  // Wine starts a Unix program given by its Unix path through drive Z:, but
  // its handle cannot be waited for: the picture is written under another
  // name and renamed when done, and the driver waits for the final name.
  std::wstring shell = WindowsPathFromUnix("/bin/sh");
  std::wstring command =
      L"sh -c \"import -window root -crop " + std::to_wstring(area.right - area.left) + L"x" +
      std::to_wstring(area.bottom - area.top) + L"+" + std::to_wstring(area.left) + L"+" +
      std::to_wstring(area.top) + L" +repage '" + WideFromUtf8(part) + L"' && mv '" +
      WideFromUtf8(part) + L"' '" + WideFromUtf8(file) + L"'\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(shell.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    return {};
  }
  UniqueKernelHandle thread(info.hThread);
  UniqueKernelHandle process(info.hProcess);
  bool made = WaitFor([&] { return FileLength(WindowsPathFromUnix(file)).has_value(); });
  return made ? file : std::string();
}

}  // namespace e2e
