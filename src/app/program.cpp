// Start-up, the message loop and the orderly end of the window program.
#include <windows.h>
#include <commctrl.h>

#include <optional>
#include <string>

#include "app/commands.h"
#include "app/main_window.h"
#include "app/thread_control_instance.h"
#include "win/out_of_memory_box.h"

namespace dashtab::app {
namespace {

// The exit code when MainWindow could not be created: the quit request
// that normally carries the code never comes, and 1 tells this start-up
// failure apart from the orderly end (0) and from running out of memory (-1).
constexpr int kExitWindowNotCreated = 1;

// Set once the message loop runs: a window destroyed before that (while it
// is being created) posts no quit request.
bool g_message_loop_entered = false;

// The folder of the program file, so that a relative path typed into the
// path field means a file beside the program.
void SetCurrentDirectoryToProgramFolder() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) {
      return;
    }
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  const std::size_t slash = path.rfind('\\');
  if (slash == std::string::npos) {
    return;
  }
  path.resize(slash);
  SetCurrentDirectoryA(path.c_str());
}

void PostQuitWhenLoopRuns() {
  if (g_message_loop_entered) {
    PostQuitMessage(0);
  }
}

// The code of the WM_QUIT that ended the loop; none when no window existed
// (or the loop itself failed).
std::optional<int> RunMessageLoop(MainWindow& window) {
  g_message_loop_entered = true;
  if (window.hwnd() == nullptr || !IsWindow(window.hwnd())) {
    return std::nullopt;
  }
  MSG msg{};
  for (;;) {
    // W, not A: a typed character outside ASCII comes through the A
    // functions as "?", even with the UTF-8 code page.
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      return static_cast<int>(msg.wParam);
    }
    if (got == -1) {
      return std::nullopt;
    }
    if (window.PreTranslateMessage(msg)) {
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

int ProgramMain() {
  win::InstallOutOfMemoryBox();
  SetCurrentDirectoryToProgramFolder();
  const ThreadControlScope thread_control;

  // The standard controls in their themed form, as the manifest asks.
  INITCOMMONCONTROLSEX common_controls{sizeof(common_controls), ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&common_controls);

  MainWindow window(MainWindowEvents{
      .choose_file_clicked = ChooseFileCommand,
      .start_clicked = StartCommand,
      .destroyed = PostQuitWhenLoopRuns,
  });
  window.LoadWindow(nullptr);
  return RunMessageLoop(window).value_or(kExitWindowNotCreated);
}

}  // namespace
}  // namespace dashtab::app

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  return dashtab::app::ProgramMain();
}
