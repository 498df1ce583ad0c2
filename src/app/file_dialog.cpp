#include "app/file_dialog.h"

#include <commdlg.h>

#include <algorithm>
#include <array>

namespace dashtab::app {

bool FileDialog::Open(HWND owner) {
  // The name buffer of the classic dialogs: room for MAX_PATH bytes with
  // the terminating zero.
  std::array<char, MAX_PATH> buffer{};
  const std::string_view initial = file_name_.view();
  std::copy_n(initial.begin(), std::min(initial.size(), buffer.size() - 1), buffer.begin());

  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = owner;
  dialog.lpstrFile = buffer.data();
  dialog.nMaxFile = static_cast<DWORD>(buffer.size());
  // The current directory is deliberately not kept (no OFN_NOCHANGEDIR):
  // a confirmed dialog moves it to the chosen folder.
  dialog.Flags = OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT |
                 OFN_EXPLORER | OFN_ENABLESIZING;

  const BOOL confirmed =
      type_ == DialogType::Save ? GetSaveFileNameA(&dialog) : GetOpenFileNameA(&dialog);
  if (!confirmed) {
    return false;
  }
  file_name_ = Text(std::string_view(buffer.data(), buffer.size()));
  return true;
}

}  // namespace dashtab::app
