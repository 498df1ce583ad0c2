// Drives the window program from another process as a user would: starts
// it in a folder of its own, finds its window, controls and dialogs, types
// into them, clicks and presses keys, and reads back what they show.
// Wide (W) functions throughout, so the driver depends on no code page;
// every wait is bounded, so a hung window fails a test instead of hanging it.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "win/handle.h"
#include "win/utf16.h"

namespace e2e {

// Generous for a shared machine, short enough to fail a hung test quickly.
inline constexpr DWORD kWaitMs = 5000;

using dashtab::win::Utf8FromWide;
using dashtab::win::WideFromUtf8;

// A Unix path given by the build, as the Wine process sees it (drive Z:).
std::wstring WindowsPathFromUnix(std::string_view unix_path);
std::wstring EnvironmentVariable(const wchar_t* name);

// Polls the condition until it holds or the time runs out.
bool WaitFor(const std::function<bool()>& condition, DWORD timeout_ms = kWaitMs);

// A new, empty folder under the temporary folder, removed with its files.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::wstring& Path() const { return path_; }
  std::wstring File(std::wstring_view name) const { return path_ + L"\\" + std::wstring(name); }
  std::vector<std::wstring> Entries() const;

 private:
  std::wstring path_;
};

void WriteBytes(const std::wstring& path, std::string_view bytes);
std::optional<std::string> ReadBytes(const std::wstring& path);
std::optional<long long> FileLength(const std::wstring& path);

// Window queries that work across processes.
std::wstring ClassName(HWND window);
std::wstring Text(HWND window);  // WM_GETTEXT, bounded
bool SetText(HWND window, std::wstring_view text);
LONG Style(HWND window);
LONG ExStyle(HWND window);
RECT ScreenRect(HWND window);
RECT RectInClient(HWND child, HWND parent);  // the child's outer rect in parent client coords
std::vector<HWND> Children(HWND parent);     // direct children
std::vector<HWND> TopLevelWindowsOf(DWORD process_id);
// Visible "#32770" windows owned by owner, optionally matching a predicate.
std::vector<HWND> OwnedDialogs(HWND owner);
// Returns once the window's thread has handled everything sent before; false on time-out.
bool Sync(HWND window, DWORD timeout_ms = kWaitMs);
// Sends a message and waits a bounded time for the answer.
std::optional<LRESULT> SendBounded(HWND window, UINT message, WPARAM w = 0, LPARAM l = 0,
                                   DWORD timeout_ms = kWaitMs);

// Keys through the system's input queue, to whichever window is in front.
bool BringToFront(HWND window);
// The key with a modifier (VK_SHIFT, VK_MENU) held down, or none.
void PressKey(WORD vk, WORD modifier = 0);
// Types text as characters (as an input method delivers them), whatever the keyboard.
void TypeText(std::wstring_view text);
HWND FocusedWindow(DWORD thread_id);

// A copy of the program in its own folder, started and ended by the test.
class Program {
 public:
  // Copies the program file into folder and starts the copy with the given
  // current directory.
  Program(const std::wstring& program_file, const std::wstring& folder,
          const std::wstring& current_directory);
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  bool Started() const { return process_.valid(); }
  // The top-level window with this caption, waited for.
  HWND WaitForWindow(std::wstring_view caption);
  // The exit code once the process has ended, nothing on time-out.
  std::optional<DWORD> WaitForExit(DWORD timeout_ms = kWaitMs);

 private:
  dashtab::win::UniqueKernelHandle process_;
  DWORD process_id_ = 0;
};

// A system open or save dialog, or a message box: both are "#32770" windows.
struct MessageBoxContents {
  std::wstring caption;
  std::wstring text;
  std::vector<std::wstring> buttons;  // texts of the visible buttons
  std::vector<int> button_ids;
  bool has_icon = false;
};
MessageBoxContents ReadMessageBox(HWND box);
// Clicks a dialog's button as a click would: WM_COMMAND posted to the dialog,
// so a nested question that it opens cannot block the driver.
void PressDialogButton(HWND dialog, int id);

// The file name field of an open or save dialog, null when it has none.
HWND FileNameField(HWND dialog);

// Saves a PNG of the screen area, through ImageMagick on the Unix side.
// Returns the Unix path of the file, empty when it could not be made.
std::string SaveScreenshot(std::string_view name, RECT area);

}  // namespace e2e
