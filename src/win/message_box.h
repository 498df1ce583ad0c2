// The system message box, with the program's numbering of its answers.
#pragma once

#include <windows.h>

#include <optional>

#include "core/text.h"

namespace dashtab::win {

// The program's numbering of the button that closed a box.
enum MessageAnswer : int {
  kAnswerOk = 0,  // also any answer not listed, a failure included
  kAnswerCancel = 1,
  kAnswerAbort = 2,
  kAnswerRetry = 3,
  kAnswerIgnore = 4,
  kAnswerYes = 5,
  kAnswerNo = 6,
};

// Shows `message` in a box with the MB_* buttons-and-icon value (task-modal
// unless MB_SYSTEMMODAL is given) and waits until the user closes it. The
// caption defaults to "信息："; an absent or null owner gives no owner.
int ShowMessageBox(const Text& message, int buttonsAndIcon,
                   const std::optional<Text>& caption = std::nullopt,
                   std::optional<HWND> owner = std::nullopt);

}  // namespace dashtab::win
