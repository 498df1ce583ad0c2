#include "win/thread_control.h"

namespace dashtab::win {
namespace {

// THREAD_PRIORITY_LOWEST: the priority when none is given.
constexpr int kDefaultPriority = -2;
static_assert(kDefaultPriority == THREAD_PRIORITY_LOWEST);

}  // namespace

void ThreadControl::Release() {}

ThreadControl* ThreadControl::Clone() {
  return new ThreadControl;
}

bool ThreadControl::Start(LPTHREAD_START_ROUTINE routine, std::optional<INT_PTR> parameter,
                          HANDLE* handleOut) {
  DWORD id = 0;
  HANDLE thread =
      CreateThread(nullptr, 0, routine, reinterpret_cast<LPVOID>(parameter.value_or(0)), 0, &id);
  if (handleOut) {
    *handleOut = thread;
  } else if (thread) {
    CloseHandle(thread);
  }
  return thread != nullptr;
}

bool ThreadControl::Wait(HANDLE thread, std::optional<DWORD> timeoutMs) {
  // A timeout of 0 waits without a limit too: a wait never polls.
  const DWORD timeout = timeoutMs.value_or(0) == 0 ? INFINITE : *timeoutMs;
  return WaitForSingleObject(thread, timeout) == WAIT_OBJECT_0;
}

bool ThreadControl::Suspend(HANDLE thread) {
  return SuspendThread(thread) == 0;
}

bool ThreadControl::Resume(HANDLE thread) {
  return ResumeThread(thread) == 1;
}

int ThreadControl::GetExitCode(HANDLE thread) {
  DWORD code = 0;
  GetExitCodeThread(thread, &code);
  return static_cast<int>(code);
}

int ThreadControl::GetState(HANDLE thread) {
  DWORD code = 0;
  if (!GetExitCodeThread(thread, &code)) {
    return 0;
  }
  return code == STILL_ACTIVE ? 2 : 1;
}

bool ThreadControl::Terminate(HANDLE thread) {
  const bool ended = TerminateThread(thread, 0) != FALSE;
  CloseHandle(thread);
  return ended;
}

DWORD ThreadControl::CurrentThreadId() {
  return GetCurrentThreadId();
}

HANDLE ThreadControl::CurrentThread() {
  return GetCurrentThread();
}

DWORD_PTR ThreadControl::SetAffinity(std::optional<HANDLE> thread, DWORD_PTR mask) {
  return SetThreadAffinityMask(thread ? *thread : CurrentThread(), mask);
}

void ThreadControl::ExitCurrent(std::optional<DWORD> exitCode) {
  ExitThread(exitCode.value_or(0));
}

bool ThreadControl::SetPriority(std::optional<HANDLE> thread, std::optional<int> priority) {
  return SetThreadPriority(thread ? *thread : CurrentThread(),
                           priority.value_or(kDefaultPriority)) != FALSE;
}

}  // namespace dashtab::win
