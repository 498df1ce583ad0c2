// The program's thread control object: a thin, stateless layer over the
// kernel32 thread functions. Every operation makes exactly the Windows calls
// it names and reports failure only through its result.
#pragma once

#include <windows.h>

#include <optional>

#include "core/datetime.h"

namespace dashtab::win {

// Final and without a virtual destructor, so that its table holds exactly
// the fifteen operations below, in this order from slot 0.
class ThreadControl final {
 public:
  virtual void Release();
  virtual ThreadControl* Clone();
  virtual void QueryTimes(HANDLE thread, DateTime& creation, DateTime& exit, DateTime& kernel,
                          DateTime& user);
  // Starts `routine` at once with `parameter` (0 when omitted). With a
  // handle output the caller owns the handle (0 on failure); without one the
  // handle is closed at once and the thread runs on.
  virtual bool Start(LPTHREAD_START_ROUTINE routine,
                     std::optional<INT_PTR> parameter = std::nullopt, HANDLE* handleOut = nullptr);
  // Omitted or 0 waits without a limit. True only when the thread has ended.
  virtual bool Wait(HANDLE thread, std::optional<DWORD> timeoutMs = std::nullopt);
  virtual bool Suspend(HANDLE thread);
  virtual bool Resume(HANDLE thread);
  virtual int GetExitCode(HANDLE thread);
  // 0 failure, 1 ended, 2 running.
  virtual int GetState(HANDLE thread);
  // Closes `thread` whether or not the termination succeeded.
  virtual bool Terminate(HANDLE thread);
  virtual DWORD CurrentThreadId();
  virtual HANDLE CurrentThread();
  // An omitted handle means the calling thread; a given 0 is passed on.
  virtual DWORD_PTR SetAffinity(std::optional<HANDLE> thread, DWORD_PTR mask);
  [[noreturn]] virtual void ExitCurrent(std::optional<DWORD> exitCode = std::nullopt);
  // An omitted handle means the calling thread, an omitted priority -2.
  virtual bool SetPriority(std::optional<HANDLE> thread = std::nullopt,
                           std::optional<int> priority = std::nullopt);
};

}  // namespace dashtab::win
