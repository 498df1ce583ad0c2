#include "win/thread_control.h"

#include <windows.h>

#include <cstdint>
#include <cstring>

#include <gtest/gtest.h>

#include "handle_count.h"
#include "win/handle.h"

namespace dashtab::win {
namespace {

constexpr DWORD kLongEnough = 10'000;  // ms: a bound on every wait in these tests

ThreadControl g_control;

// Each routine gets what it needs through its start parameter.
DWORD WINAPI ReturnParameter(LPVOID parameter) {
  return static_cast<DWORD>(reinterpret_cast<INT_PTR>(parameter));
}

DWORD WINAPI WaitForEvent(LPVOID event) {
  WaitForSingleObject(static_cast<HANDLE>(event), kLongEnough);
  return 7;
}

// Ends by itself after 300 ms, so a wait without a limit is still bounded.
DWORD WINAPI EndSoon(LPVOID) {
  Sleep(300);
  return 5;
}

DWORD WINAPI ReturnStillActive(LPVOID) {
  return STILL_ACTIVE;
}

DWORD WINAPI ExitThroughTheControl(LPVOID code) {
  const INT_PTR given = reinterpret_cast<INT_PTR>(code);
  if (given < 0) {
    g_control.ExitCurrent();
  }
  g_control.ExitCurrent(static_cast<DWORD>(given));
  return 99;  // never reached
}

struct EventAndId {
  HANDLE event;
  DWORD id;
};

DWORD WINAPI RecordIdAndWait(LPVOID shared) {
  auto* state = static_cast<EventAndId*>(shared);
  state->id = g_control.CurrentThreadId();
  WaitForSingleObject(state->event, kLongEnough);
  return 0;
}

INT_PTR Parameter(HANDLE handle) {
  return reinterpret_cast<INT_PTR>(handle);
}

// A thread blocked on an event of its own until the test ends it.
class BlockedThread : public ::testing::Test {
 protected:
  void SetUp() override {
    release_.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(release_);
    HANDLE raw = nullptr;
    ASSERT_TRUE(g_control.Start(WaitForEvent, Parameter(release_.get()), &raw));
    thread_.reset(raw);
  }
  void TearDown() override {
    SetEvent(release_.get());
    if (thread_) {
      ResumeThread(thread_.get());
      WaitForSingleObject(thread_.get(), kLongEnough);
    }
  }
  UniqueKernelHandle release_;
  UniqueKernelHandle thread_;
};

// Each operation has its slot: the table is part of the object's interface.
TEST(ThreadControlLayout, FifteenSlotsInOrderAndNoData) {
  EXPECT_EQ(sizeof(ThreadControl), sizeof(void*));
  // In this ABI a pointer to a virtual member holds 1 + its offset in the table.
  auto slot = [](auto member) {
    std::uintptr_t raw;
    std::memcpy(&raw, &member, sizeof raw);
    return (raw - 1) / sizeof(void*);
  };
  EXPECT_EQ(slot(&ThreadControl::Release), 0u);
  EXPECT_EQ(slot(&ThreadControl::Clone), 1u);
  EXPECT_EQ(slot(&ThreadControl::QueryTimes), 2u);
  EXPECT_EQ(slot(&ThreadControl::Start), 3u);
  EXPECT_EQ(slot(&ThreadControl::Wait), 4u);
  EXPECT_EQ(slot(&ThreadControl::Suspend), 5u);
  EXPECT_EQ(slot(&ThreadControl::Resume), 6u);
  EXPECT_EQ(slot(&ThreadControl::GetExitCode), 7u);
  EXPECT_EQ(slot(&ThreadControl::GetState), 8u);
  EXPECT_EQ(slot(&ThreadControl::Terminate), 9u);
  EXPECT_EQ(slot(&ThreadControl::CurrentThreadId), 10u);
  EXPECT_EQ(slot(&ThreadControl::CurrentThread), 11u);
  EXPECT_EQ(slot(&ThreadControl::SetAffinity), 12u);
  EXPECT_EQ(slot(&ThreadControl::ExitCurrent), 13u);
  EXPECT_EQ(slot(&ThreadControl::SetPriority), 14u);
}

TEST(ThreadControlClone, MakesAnIndependentInstance) {
  ThreadControl* copy = g_control.Clone();
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, &g_control);
  ThreadControl* copyOfCopy = copy->Clone();
  EXPECT_NE(copyOfCopy, copy);
  copy->Release();
  delete copy;
  // The others work on as before.
  EXPECT_EQ(copyOfCopy->CurrentThreadId(), GetCurrentThreadId());
  HANDLE thread = nullptr;
  ASSERT_TRUE(copyOfCopy->Start(ReturnParameter, 3, &thread));
  EXPECT_TRUE(copyOfCopy->Wait(thread, kLongEnough));
  EXPECT_EQ(copyOfCopy->GetExitCode(thread), 3);
  CloseHandle(thread);
  copyOfCopy->Release();
  delete copyOfCopy;
  g_control.Release();
  EXPECT_EQ(g_control.CurrentThreadId(), GetCurrentThreadId());
}

TEST(ThreadControlStart, PassesTheParameterAndHandsOutTheHandle) {
  struct Case {
    const char* name;
    std::optional<INT_PTR> parameter;
    int exitCode;
  };
  const Case cases[] = {
      {"omitted", std::nullopt, 0},        {"0", 0, 0}, {"42", 42, 42}, {"-5", -5, -5},
      {"INT32_MIN", INT32_MIN, INT32_MIN},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HANDLE raw = nullptr;
    ASSERT_TRUE(g_control.Start(ReturnParameter, c.parameter, &raw));
    UniqueKernelHandle thread(raw);
    ASSERT_TRUE(thread);
    ASSERT_TRUE(g_control.Wait(thread.get(), kLongEnough));
    EXPECT_EQ(g_control.GetExitCode(thread.get()), c.exitCode);
  }
}

TEST(ThreadControlStart, WithoutAHandleOutputLeavesNoHandleAndTheThreadRuns) {
  UniqueKernelHandle go(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  EventAndId state{go.get(), 0};
  const long before = testing::OpenHandleCount();
  ASSERT_GT(before, 0);
  ASSERT_TRUE(g_control.Start(RecordIdAndWait, reinterpret_cast<INT_PTR>(&state)));
  EXPECT_EQ(testing::OpenHandleCount(), before);

  // The thread runs on: it can still be found and is still waiting.
  for (int i = 0; i < 1000 && state.id == 0; ++i) {
    Sleep(5);
  }
  ASSERT_NE(state.id, 0u);
  UniqueKernelHandle thread(OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, state.id));
  ASSERT_TRUE(thread);
  EXPECT_EQ(g_control.GetState(thread.get()), 2);
  SetEvent(go.get());
  EXPECT_TRUE(g_control.Wait(thread.get(), kLongEnough));
}

TEST(ThreadControlWait, ZeroOrOmittedWaitsUntilTheEnd) {
  for (std::optional<DWORD> timeout : {std::optional<DWORD>(0), std::optional<DWORD>()}) {
    SCOPED_TRACE(timeout ? "0" : "omitted");
    HANDLE raw = nullptr;
    ASSERT_TRUE(g_control.Start(EndSoon, std::nullopt, &raw));
    UniqueKernelHandle thread(raw);
    EXPECT_TRUE(g_control.Wait(thread.get(), timeout));
    EXPECT_EQ(g_control.GetState(thread.get()), 1);
    EXPECT_EQ(g_control.GetExitCode(thread.get()), 5);
  }
}

TEST_F(BlockedThread, WaitThatRunsOutReturnsFalse) {
  EXPECT_FALSE(g_control.Wait(thread_.get(), 50));
  EXPECT_EQ(g_control.GetState(thread_.get()), 2);
  SetEvent(release_.get());
  EXPECT_TRUE(g_control.Wait(thread_.get(), kLongEnough));
  EXPECT_TRUE(g_control.Wait(thread_.get(), 1));  // an ended thread at once
}

TEST(ThreadControlWait, AnInvalidHandleReturnsFalse) {
  EXPECT_FALSE(g_control.Wait(nullptr, 10));
  EXPECT_FALSE(g_control.Wait(INVALID_HANDLE_VALUE, 10));  // the process: it never ends here
}

TEST_F(BlockedThread, SuspendAndResumeCount) {
  EXPECT_FALSE(g_control.Resume(thread_.get()));  // not suspended
  EXPECT_TRUE(g_control.Suspend(thread_.get()));
  EXPECT_FALSE(g_control.Suspend(thread_.get()));  // already suspended: count 2
  EXPECT_FALSE(g_control.Resume(thread_.get()));   // count 1: still suspended
  EXPECT_TRUE(g_control.Resume(thread_.get()));    // runs again
  EXPECT_FALSE(g_control.Resume(thread_.get()));
  EXPECT_EQ(SuspendThread(thread_.get()), 0u);  // the count really is back at 0
  ResumeThread(thread_.get());
}

TEST_F(BlockedThread, ASuspendedThreadDoesNotEnd) {
  ASSERT_TRUE(g_control.Suspend(thread_.get()));
  SetEvent(release_.get());
  EXPECT_FALSE(g_control.Wait(thread_.get(), 100));
  EXPECT_TRUE(g_control.Resume(thread_.get()));
  EXPECT_TRUE(g_control.Wait(thread_.get(), kLongEnough));
}

TEST(ThreadControlSuspend, AnInvalidHandleReturnsFalse) {
  EXPECT_FALSE(g_control.Suspend(nullptr));
  EXPECT_FALSE(g_control.Resume(nullptr));
}

TEST_F(BlockedThread, ExitCodeAndStateWhileRunningAndAfterTheEnd) {
  EXPECT_EQ(g_control.GetExitCode(thread_.get()), 259);
  EXPECT_EQ(g_control.GetState(thread_.get()), 2);
  SetEvent(release_.get());
  ASSERT_TRUE(g_control.Wait(thread_.get(), kLongEnough));
  EXPECT_EQ(g_control.GetExitCode(thread_.get()), 7);
  EXPECT_EQ(g_control.GetState(thread_.get()), 1);
}

TEST(ThreadControlState, AThreadThatEndedWithStillActiveReadsAsRunning) {
  HANDLE raw = nullptr;
  ASSERT_TRUE(g_control.Start(ReturnStillActive, std::nullopt, &raw));
  UniqueKernelHandle thread(raw);
  ASSERT_TRUE(g_control.Wait(thread.get(), kLongEnough));
  EXPECT_EQ(g_control.GetExitCode(thread.get()), 259);
  EXPECT_EQ(g_control.GetState(thread.get()), 2);
}

TEST(ThreadControlState, AnInvalidHandleGivesZero) {
  for (HANDLE handle : {HANDLE{nullptr}, reinterpret_cast<HANDLE>(0x7ff0)}) {
    EXPECT_EQ(g_control.GetExitCode(handle), 0);
    EXPECT_EQ(g_control.GetState(handle), 0);
  }
}

bool IsOpen(HANDLE handle) {
  DWORD flags = 0;
  return GetHandleInformation(handle, &flags) != FALSE;
}

TEST_F(BlockedThread, TerminateEndsTheThreadAndClosesTheHandle) {
  HANDLE duplicate = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), thread_.get(), GetCurrentProcess(), &duplicate,
                              0, FALSE, DUPLICATE_SAME_ACCESS));
  UniqueKernelHandle observer(duplicate);
  HANDLE given = thread_.release();
  EXPECT_TRUE(g_control.Terminate(given));
  EXPECT_FALSE(IsOpen(given));
  ASSERT_TRUE(g_control.Wait(observer.get(), kLongEnough));
  EXPECT_EQ(g_control.GetExitCode(observer.get()), 0);
}

TEST_F(BlockedThread, TerminateThatFailsStillClosesTheHandle) {
  // A handle that may wait and query but not terminate.
  HANDLE limited = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), thread_.get(), GetCurrentProcess(), &limited,
                              SYNCHRONIZE | THREAD_QUERY_LIMITED_INFORMATION, FALSE, 0));
  EXPECT_FALSE(g_control.Terminate(limited));
  EXPECT_FALSE(IsOpen(limited));
  EXPECT_EQ(g_control.GetState(thread_.get()), 2);  // it runs on
  EXPECT_FALSE(g_control.Terminate(nullptr));
}

TEST(ThreadControlExitCurrent, EndsTheCallingThreadWithTheCode) {
  struct Case {
    INT_PTR parameter;  // below 0: the code is omitted
    int exitCode;
  };
  const Case cases[] = {{-1, 0}, {0, 0}, {12, 12}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.parameter);
    HANDLE raw = nullptr;
    ASSERT_TRUE(g_control.Start(ExitThroughTheControl, c.parameter, &raw));
    UniqueKernelHandle thread(raw);
    ASSERT_TRUE(g_control.Wait(thread.get(), kLongEnough));
    EXPECT_EQ(g_control.GetExitCode(thread.get()), c.exitCode);
  }
}

TEST(ThreadControlCurrent, IdentifierAndPseudoHandleOfTheCallingThread) {
  EXPECT_EQ(g_control.CurrentThreadId(), GetCurrentThreadId());
  EXPECT_EQ(g_control.CurrentThread(), GetCurrentThread());
  EXPECT_EQ(g_control.CurrentThread(), reinterpret_cast<HANDLE>(-2));

  UniqueKernelHandle go(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  EventAndId state{go.get(), 0};
  HANDLE raw = nullptr;
  ASSERT_TRUE(g_control.Start(RecordIdAndWait, reinterpret_cast<INT_PTR>(&state), &raw));
  UniqueKernelHandle thread(raw);
  SetEvent(go.get());
  ASSERT_TRUE(g_control.Wait(thread.get(), kLongEnough));
  EXPECT_EQ(state.id, GetThreadId(thread.get()));
  EXPECT_NE(state.id, GetCurrentThreadId());
}

// Restores the calling thread's priority and affinity after each test.
class CallingThreadSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    priority_ = GetThreadPriority(GetCurrentThread());
    DWORD_PTR system = 0;
    ASSERT_TRUE(GetProcessAffinityMask(GetCurrentProcess(), &process_, &system));
  }
  void TearDown() override {
    SetThreadPriority(GetCurrentThread(), priority_);
    SetThreadAffinityMask(GetCurrentThread(), process_);
  }
  int priority_ = 0;
  DWORD_PTR process_ = 0;
};

TEST_F(CallingThreadSettings, SetPriorityDefaultsToTheCallingThreadAndLowest) {
  EXPECT_TRUE(g_control.SetPriority());
  EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_LOWEST);
  EXPECT_TRUE(g_control.SetPriority(std::nullopt, 0));
  EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_NORMAL);
  EXPECT_TRUE(g_control.SetPriority(std::nullopt, THREAD_PRIORITY_BELOW_NORMAL));
  EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_BELOW_NORMAL);
  EXPECT_FALSE(g_control.SetPriority(std::nullopt, 100));
  EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_BELOW_NORMAL);
}

TEST_F(BlockedThread, SetPriorityOfAGivenThread) {
  EXPECT_TRUE(g_control.SetPriority(thread_.get()));
  EXPECT_EQ(GetThreadPriority(thread_.get()), THREAD_PRIORITY_LOWEST);
  EXPECT_TRUE(g_control.SetPriority(thread_.get(), THREAD_PRIORITY_BELOW_NORMAL));
  EXPECT_EQ(GetThreadPriority(thread_.get()), THREAD_PRIORITY_BELOW_NORMAL);
  EXPECT_FALSE(g_control.SetPriority(HANDLE{nullptr}, 0));  // 0 is passed on, and rejected
}

TEST_F(CallingThreadSettings, SetPriorityWithHandleZeroChangesNothing) {
  ASSERT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL));
  EXPECT_FALSE(g_control.SetPriority(HANDLE{nullptr}));
  EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_BELOW_NORMAL);
}

TEST_F(CallingThreadSettings, SetAffinityOfTheCallingThreadReturnsTheOldMask) {
  const DWORD_PTR first = process_ & (~process_ + 1);  // the lowest processor allowed
  ASSERT_NE(first, 0u);
  EXPECT_EQ(g_control.SetAffinity(std::nullopt, first), process_);
  EXPECT_EQ(g_control.SetAffinity(std::nullopt, process_), first);
  EXPECT_EQ(g_control.SetAffinity(std::nullopt, 0), 0u);  // no processor: rejected
}

TEST_F(CallingThreadSettings, SetAffinityWithHandleZeroChangesNothing) {
  const DWORD_PTR first = process_ & (~process_ + 1);
  EXPECT_EQ(g_control.SetAffinity(HANDLE{nullptr}, first), 0u);
  EXPECT_EQ(SetThreadAffinityMask(GetCurrentThread(), process_), process_);
}

TEST_F(BlockedThread, SetAffinityOfAGivenThread) {
  DWORD_PTR process = 0, system = 0;
  ASSERT_TRUE(GetProcessAffinityMask(GetCurrentProcess(), &process, &system));
  const DWORD_PTR first = process & (~process + 1);
  EXPECT_EQ(g_control.SetAffinity(thread_.get(), first), process);
  EXPECT_EQ(g_control.SetAffinity(thread_.get(), process), first);
}

}  // namespace
}  // namespace dashtab::win
