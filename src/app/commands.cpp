#include "app/commands.h"

#include <memory>
#include <string>

#include "app/conversion_job.h"
#include "app/thread_control_instance.h"
#include "win/files.h"
#include "win/handle.h"

namespace dashtab::app {
namespace {

// The full path of `path` against the current directory as it is now. The
// dialogs move the current directory, so a typed relative path is pinned
// down before one opens; the path itself when it cannot be resolved.
Text FullPath(const Text& path) {
  if (path.empty()) {
    return path;
  }
  std::string full(MAX_PATH, '\0');
  for (;;) {
    const DWORD length =
        GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) {
      return path;
    }
    if (length < full.size()) {
      full.resize(length);
      return Text(std::move(full));
    }
    full.resize(length);
  }
}

}  // namespace

void ChooseFileCommand(MainWindow& window) {
  window.WriteProperty(Control::通用对话框1, IntProperty::DialogType, 0);
  if (!window.OpenDialog(Control::通用对话框1)) {
    return;
  }
  window.WriteProperty(Control::编辑框1, TextProperty::Text,
                       window.ReadProperty(Control::通用对话框1, TextProperty::FileName));
}

void StartCommand(MainWindow& window) {
  const Text typed_source = window.ReadProperty(Control::编辑框1, TextProperty::Text);
  if (!win::FileExists(typed_source)) {
    return;
  }
  auto job = std::make_unique<ConversionJob>();
  job->source_path = FullPath(typed_source);

  window.WriteProperty(Control::通用对话框1, IntProperty::DialogType, 1);
  window.WriteProperty(Control::通用对话框1, TextProperty::FileName, kOfferedOutputName);
  if (!window.OpenDialog(Control::通用对话框1)) {
    return;
  }
  job->output_path = window.ReadProperty(Control::通用对话框1, TextProperty::FileName);
  job->selection = window.ReadProperty(Control::组合框1, IntProperty::CurrentSelection);
  job->owner = window.hwnd();
  // Identity, not spelling: another path to the source is the source too.
  job->output_is_source = win::SameFile(job->source_path, job->output_path);
  if (!job->output_is_source) {
    // The output exists, empty, before the job runs; a failure shows later
    // as the job's own failed write.
    win::WriteFileBytes(job->output_path, ByteSet());
  }

  window.WriteProperty(Control::按钮1, BoolProperty::Disabled, true);
  win::UniqueKernelHandle thread;
  const bool started = TheThreadControl->Start(&ConversionThreadEntry,
                                               reinterpret_cast<INT_PTR>(job.get()), thread.put());
  if (started) {
    job.release();  // the thread owns it now
  }
  thread.reset();
  window.WriteProperty(Control::按钮1, BoolProperty::Disabled, false);
}

}  // namespace dashtab::app
