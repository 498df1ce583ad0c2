// dashtab_demo: converts one file through the window, as a user would, for
// `make run` on a machine without a display. It starts dashtab.exe, types
// the source path, picks "----转制表符", clicks "开始转换", confirms the
// save dialog with the output path and closes the completion box and the
// window. Between the steps it can wait for the caller to take screenshots.
// W functions throughout, so it depends on no code page.
//
//   dashtab_demo.exe <dashtab.exe> <source> <output> [<sync folder>]
//
// With a sync folder it creates "<step>.ready" there and waits for
// "<step>.done" (steps: window, save, box) before it goes on.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "win/utf16.h"

namespace {

constexpr DWORD kTimeoutMs = 30000;

struct Process {
  PROCESS_INFORMATION info{};
  ~Process() {
    if (info.hThread)
      CloseHandle(info.hThread);
    if (info.hProcess)
      CloseHandle(info.hProcess);
  }
};

// Dialogs and message boxes have the system's dialog class.
bool IsDialogWindow(HWND window) {
  wchar_t name[16] = {};
  GetClassNameW(window, name, 16);
  return std::wcscmp(name, L"#32770") == 0;
}

std::wstring TextOf(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), int(text.size()))));
  return text;
}

bool TextStartsWith(HWND window, const wchar_t* prefix) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return std::wcsncmp(text, prefix, std::wcslen(prefix)) == 0;
}

// A visible top-level window of `process` for which `match` holds.
template <class Match>
HWND WaitForTopLevel(DWORD process, Match match) {
  for (DWORD waited = 0; waited < kTimeoutMs; waited += 50) {
    struct Search {
      DWORD process;
      Match* match;
      HWND found;
    } search{process, &match, nullptr};
    EnumWindows(
        [](HWND hwnd, LPARAM lparam) {
          auto* s = reinterpret_cast<Search*>(lparam);
          DWORD owner = 0;
          GetWindowThreadProcessId(hwnd, &owner);
          if (owner == s->process && IsWindowVisible(hwnd) && (*s->match)(hwnd)) {
            s->found = hwnd;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (search.found)
      return search.found;
    Sleep(50);
  }
  return nullptr;
}

HWND FindChild(HWND parent, const wchar_t* window_class, const wchar_t* text = nullptr) {
  return FindWindowExW(parent, nullptr, window_class, text);
}

// Lets the caller take a screenshot: "<step>.ready", then waits for
// "<step>.done".
bool Handshake(const std::wstring& folder, const wchar_t* step) {
  if (folder.empty())
    return true;
  const std::wstring ready = folder + L"\\" + step + L".ready";
  const std::wstring done = folder + L"\\" + step + L".done";
  HANDLE file = CreateFileW(ready.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE)
    CloseHandle(file);
  for (DWORD waited = 0; waited < kTimeoutMs; waited += 50) {
    if (GetFileAttributesW(done.c_str()) != INVALID_FILE_ATTRIBUTES)
      return true;
    Sleep(50);
  }
  return false;
}

// The file name field of the system's save dialog.
HWND FileNameField(HWND dialog) {
  // The Explorer-style dialog has a combo box (cmb13) with an edit inside;
  // older templates a plain edit (edt1).
  if (HWND combo = GetDlgItem(dialog, 0x47C)) {
    if (HWND edit = FindChild(combo, L"Edit"))
      return edit;
    return combo;
  }
  return GetDlgItem(dialog, 0x480);
}

int Fail(const char* what) {
  std::fprintf(stderr, "dashtab_demo: %s\n", what);
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4)
    return Fail("usage: dashtab_demo <dashtab.exe> <source> <output> [<sync folder>]");
  const std::wstring exe = argv[1], source = argv[2], output = argv[3];
  const std::wstring sync = argc > 4 ? argv[4] : L"";

  std::wstring command = L"\"" + exe + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  Process app;
  if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &app.info)) {
    return Fail("could not start dashtab.exe");
  }
  const DWORD pid = app.info.dwProcessId;

  HWND window = WaitForTopLevel(pid, [](HWND hwnd) { return TextOf(hwnd) == L"----转为制表符"; });
  if (!window)
    return Fail("the window did not appear");
  HWND edit = FindChild(window, L"Edit");
  HWND combo = FindChild(window, L"ComboBox");
  HWND start = FindChild(window, L"Button", L"开始转换");
  if (!edit || !combo || !start)
    return Fail("the window lacks its controls");

  SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(source.c_str()));
  SendMessageW(combo, CB_SETCURSEL, 0, 0);
  if (!Handshake(sync, L"window"))
    return Fail("no screenshot of the window");

  // Posted: the click runs the save dialog inside its handler.
  PostMessageW(start, BM_CLICK, 0, 0);
  HWND save = WaitForTopLevel(
      pid, [&](HWND hwnd) { return IsDialogWindow(hwnd) && GetWindow(hwnd, GW_OWNER) == window; });
  if (!save)
    return Fail("the save dialog did not appear");
  HWND name = FileNameField(save);
  if (!name)
    return Fail("the save dialog has no file name field");
  SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(output.c_str()));
  if (!Handshake(sync, L"save"))
    return Fail("no screenshot of the save dialog");
  PostMessageW(save, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(save, IDOK)));

  // An output that exists already brings the dialog's question first: yes.
  HWND box = WaitForTopLevel(pid, [&](HWND hwnd) {
    if (!IsDialogWindow(hwnd))
      return false;
    if (GetWindow(hwnd, GW_OWNER) == save && IsWindow(save)) {
      PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);
      return false;
    }
    return TextStartsWith(hwnd, L"替换成功");
  });
  if (!box)
    return Fail("the completion box did not appear");
  const std::wstring caption = TextOf(box);
  if (!Handshake(sync, L"box"))
    return Fail("no screenshot of the completion box");
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);

  PostMessageW(window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(app.info.hProcess, kTimeoutMs) != WAIT_OBJECT_0) {
    return Fail("dashtab.exe did not end");
  }
  DWORD exit_code = 1;
  GetExitCodeProcess(app.info.hProcess, &exit_code);

  // The caption goes out as UTF-8, whatever the console's code page.
  const std::string utf8 = dashtab::win::Utf8FromWide(caption);
  std::printf("completion box: %s\ndashtab.exe exit code: %lu\n", utf8.c_str(), exit_code);
  return exit_code == 0 ? 0 : 1;
}
