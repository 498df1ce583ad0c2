#include "app/conversion_job.h"

#include <memory>

#include "core/conversion.h"
#include "win/files.h"
#include "win/message_box.h"

namespace dashtab::app {

void ConvertFile(const ConversionJob& job) {
  const ByteSet converted =
      ConvertBytes(win::ReadFileBytes(job.source_path), DirectionFromSelection(job.selection));
  if (job.output_is_source) {
    // Nothing converted means the source could not be read, was empty or
    // began with a zero byte: the source is never emptied, so it stays as
    // it is. Otherwise it is replaced in one step.
    if (!converted.empty()) {
      win::ReplaceFileContents(job.output_path, converted);
    }
    return;
  }
  // A failed write is not reported: the job names the output all the same.
  win::WriteFileBytes(job.output_path, converted);
}

void RunConversion(const ConversionJob& job) {
  ConvertFile(job);
  const Text caption = ConcatTexts({kCompletionCaption, job.output_path.view()});
  win::ShowMessageBox(kCompletionText, 0, caption, job.owner);
}

DWORD WINAPI ConversionThreadEntry(LPVOID parameter) {
  const std::unique_ptr<ConversionJob> job(static_cast<ConversionJob*>(parameter));
  if (job) {
    RunConversion(*job);
  }
  return 0;
}

}  // namespace dashtab::app
