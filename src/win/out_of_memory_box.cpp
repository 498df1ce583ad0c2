#include "win/out_of_memory_box.h"

#include <windows.h>

#include "core/out_of_memory.h"

namespace dashtab::win {
namespace {

// Allocates nothing: it runs when memory has just run out.
void ShowOutOfMemoryBox() {
  MessageBoxA(nullptr, "内存不足，程序无法继续运行，即将退出。", "错误",
              MB_OK | MB_ICONERROR | MB_TASKMODAL | MB_SETFOREGROUND);
}

}  // namespace

void InstallOutOfMemoryBox() {
  InstallOutOfMemoryHandler(ShowOutOfMemoryBox);
}

}  // namespace dashtab::win
