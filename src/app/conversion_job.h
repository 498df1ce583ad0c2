// The conversion job: reads the source file whole, turns every "----" into
// a TAB or every TAB into "----", writes the output and names it in the
// completion box. It runs on a worker thread of its own.
#pragma once

#include <windows.h>

#include "core/text.h"

namespace dashtab::app {

// What one click of "开始转换" chose. The job takes it whole when it starts,
// so that a later click, a typed path or a second start cannot reach it.
struct ConversionJob {
  Text source_path;
  int selection = 0;  // of the direction list: 0 dashes to TAB, else TAB to dashes
  Text output_path;
  // The output path names the source file itself: the source must then be
  // replaced in one step, never emptied or half-written.
  bool output_is_source = false;
  HWND owner = nullptr;  // of the completion box
};

inline constexpr const char* kCompletionCaption = "替换成功！替换后的文件已经保存在：";
inline constexpr const char* kCompletionText = "提示";

// Reads, converts and writes; the part of the job before its box.
void ConvertFile(const ConversionJob& job);

// The whole job: ConvertFile, then the completion box, which it waits for.
void RunConversion(const ConversionJob& job);

// The worker thread's start routine. `parameter` is a ConversionJob made
// with new, which the thread takes over and frees.
DWORD WINAPI ConversionThreadEntry(LPVOID parameter);

}  // namespace dashtab::app
