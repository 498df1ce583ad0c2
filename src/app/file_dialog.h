// 通用对话框1: the window's file dialog component. It has no window of its
// own; it keeps the dialog type and the file name between openings and
// opens the system's open or save dialog on demand.
#pragma once

#include <windows.h>

#include "core/text.h"

namespace dashtab::app {

enum class DialogType : int { Open = 0, Save = 1 };

class FileDialog {
 public:
  DialogType type() const { return type_; }
  void set_type(DialogType type) { type_ = type; }
  const Text& file_name() const { return file_name_; }
  void set_file_name(Text name) { file_name_ = std::move(name); }

  // Shows the dialog of the current type, modal over `owner`, starting from
  // the current file name (cut to fit the 260-byte name buffer). True on
  // OK, and the file name is then the chosen full path; false on Cancel,
  // when the dialog cannot be shown or the path does not fit, and the file
  // name stays as it was.
  bool Open(HWND owner);

 private:
  DialogType type_ = DialogType::Open;
  Text file_name_;
};

}  // namespace dashtab::app
