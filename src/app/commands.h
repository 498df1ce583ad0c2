// The two commands of MainWindow, run on the window's thread by a click.
#pragma once

#include "app/main_window.h"

namespace dashtab::app {

inline constexpr const char* kOfferedOutputName = "转换后的文件.txt";

// 按钮2 "选择文件": the open dialog; on OK the chosen path goes into 编辑框1.
void ChooseFileCommand(MainWindow& window);

// 按钮1 "开始转换": when the path in 编辑框1 names something, asks for the
// output in the save dialog, creates it empty (unless it is the source
// itself) and starts the conversion job on a worker thread with the source,
// direction and output chosen now. Does not wait for the job.
void StartCommand(MainWindow& window);

}  // namespace dashtab::app
