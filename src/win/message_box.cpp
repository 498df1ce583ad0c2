#include "win/message_box.h"

namespace dashtab::win {
namespace {

int AnswerFromSystem(int id) {
  switch (id) {
    case IDCANCEL:
      return kAnswerCancel;
    case IDABORT:
      return kAnswerAbort;
    case IDRETRY:
      return kAnswerRetry;
    case IDIGNORE:
      return kAnswerIgnore;
    case IDYES:
      return kAnswerYes;
    case IDNO:
      return kAnswerNo;
    default:  // IDOK, a failure (0) and anything unlisted
      return kAnswerOk;
  }
}

}  // namespace

int ShowMessageBox(const Text& message, int buttonsAndIcon, const std::optional<Text>& caption,
                   std::optional<HWND> owner) {
  UINT style = static_cast<UINT>(buttonsAndIcon);
  if (!(style & MB_SYSTEMMODAL)) {
    style |= MB_TASKMODAL;
  }
  const char* title = caption ? caption->c_str() : "信息：";
  return AnswerFromSystem(MessageBoxA(owner.value_or(nullptr), message.c_str(), title, style));
}

}  // namespace dashtab::win
