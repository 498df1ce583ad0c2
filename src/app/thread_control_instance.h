// TheThreadControl: the process-wide reference to the one thread control
// object, set at start-up before the window exists.
#pragma once

#include "win/thread_control.h"

namespace dashtab::app {

extern win::ThreadControl* TheThreadControl;

// Allocates the one instance and stores it in TheThreadControl.
void CreateThreadControl();
// Releases and frees it; TheThreadControl is null afterwards.
void DestroyThreadControl();

// Holds the instance for the life of a scope: its end is the orderly end's
// DestroyThreadControl, run exactly once.
class ThreadControlScope {
 public:
  ThreadControlScope() { CreateThreadControl(); }
  ~ThreadControlScope() { DestroyThreadControl(); }
  ThreadControlScope(const ThreadControlScope&) = delete;
  ThreadControlScope& operator=(const ThreadControlScope&) = delete;
};

}  // namespace dashtab::app
