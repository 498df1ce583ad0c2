#include "app/thread_control_instance.h"

namespace dashtab::app {

win::ThreadControl* TheThreadControl = nullptr;

void CreateThreadControl() {
  TheThreadControl = new win::ThreadControl();
}

void DestroyThreadControl() {
  if (TheThreadControl == nullptr) {
    return;
  }
  TheThreadControl->Release();
  delete TheThreadControl;
  TheThreadControl = nullptr;
}

}  // namespace dashtab::app
