// Thread times in local time. The program runs once with TZ=UTC and once
// with TZ=Asia/Shanghai (8 hours east of UTC, no daylight saving since
// 1991): Wine takes its time zone from the TZ of the process it starts.
#include "win/thread_times.h"

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "win/handle.h"
#include "win/thread_control.h"

namespace dashtab::win {
namespace {

constexpr std::int64_t kTicksPerSecond = 10'000'000;  // FILETIME counts 100 ns
constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kDay1601 = -109205;  // 1601-01-01, where FILETIME starts

class ThreadTimes : public testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    const std::string zone = tz ? tz : "";
    if (zone == "UTC") {
      offsetSeconds_ = 0;
    } else if (zone == "Asia/Shanghai") {
      offsetSeconds_ = 8 * 3600;
    } else {
      GTEST_SKIP() << "run with TZ=UTC or TZ=Asia/Shanghai (TZ is '" << zone << "')";
    }
  }

  // The FILETIME of the UTC instant at `localSeconds` after local 1601-01-01.
  FILETIME FromLocal(std::int64_t localSeconds, std::int64_t extraTicks = 0) const {
    return FromTicks((localSeconds - offsetSeconds_) * kTicksPerSecond + extraTicks);
  }

  static FILETIME FromTicks(std::uint64_t ticks) {
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  }

  static std::uint64_t Ticks(const FILETIME& time) {
    return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
  }

  // The local DateTime of a UTC file time, worked out with plain arithmetic.
  DateTime Expected(std::uint64_t utcTicks) const {
    const std::int64_t seconds =
        static_cast<std::int64_t>(utcTicks / kTicksPerSecond) + offsetSeconds_;
    const double days = static_cast<double>(seconds / kSecondsPerDay + kDay1601);
    const double fraction = static_cast<double>(seconds % kSecondsPerDay) * (1.0 / 86400.0);
    return days >= 0 ? days + fraction : days - fraction;
  }

  static std::uint64_t Now() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return Ticks(now);
  }

  std::int64_t offsetSeconds_ = 0;
};

TEST_F(ThreadTimes, WineTookTheZoneFromTz) {
  TIME_ZONE_INFORMATION zone;
  GetTimeZoneInformation(&zone);
  EXPECT_EQ(zone.Bias, -offsetSeconds_ / 60);
}

TEST_F(ThreadTimes, FileTimesBecomeLocalDateTimesToTheSecond) {
  // Days from local 1601-01-01 to a few dates, and back from them.
  const std::int64_t day20240305 = 45356 - kDay1601;
  const std::int64_t day10000 = 2958466 - kDay1601;
  struct Case {
    const char* name;
    FILETIME time;
    DateTime value;
  };
  const Case cases[] = {
      {"2024-03-05 09:07:02.999 local",
       FromLocal(day20240305 * kSecondsPerDay + 9 * 3600 + 7 * 60 + 2, 9'990'000),
       45356.37988425926},
      {"9999-12-31 23:59:59 local", FromLocal(day10000 * kSecondsPerDay - 1),
       2958465.0 + 86399 * (1.0 / 86400.0)},
      {"10000-01-01 00:00:00 local", FromLocal(day10000 * kSecondsPerDay), kDateTimeFailure},
      {"the zero time", FromTicks(0), Expected(0)},
      {"a duration of 0.999 s", FromTicks(9'990'000), Expected(0)},
      {"a duration of 1.5 s", FromTicks(15'000'000), Expected(15'000'000)},
      {"beyond what a SYSTEMTIME holds", FromTicks(0x8000'0000'0000'0000), kDateTimeFailure},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_DOUBLE_EQ(LocalDateTimeFromFileTime(c.time), c.value);
  }
  if (offsetSeconds_ == 0) {
    EXPECT_EQ(Expected(0), -109205.0);
    EXPECT_DOUBLE_EQ(Expected(15'000'000), -109205.0 - 1.0 / 86400.0);
  } else {
    EXPECT_DOUBLE_EQ(Expected(0), -109205.33333333333);
    EXPECT_DOUBLE_EQ(Expected(15'000'000), -109205.33334490741);
  }
}

TEST_F(ThreadTimes, AHandleThatIsNoThreadGivesTheZeroTimeInAllFour) {
  ThreadControl control;
  for (HANDLE handle : {HANDLE{nullptr}, GetCurrentProcess()}) {
    DateTime times[4] = {1, 2, 3, 4};
    control.QueryTimes(handle, times[0], times[1], times[2], times[3]);
    for (DateTime time : times) {
      EXPECT_DOUBLE_EQ(time, Expected(0));
    }
  }
}

DWORD WINAPI WaitForEvent(LPVOID event) {
  WaitForSingleObject(static_cast<HANDLE>(event), 10'000);
  return 7;
}

TEST_F(ThreadTimes, ARunningAndThenEndedThread) {
  ThreadControl control;
  UniqueKernelHandle release(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(release);
  const std::uint64_t beforeStart = Now();
  HANDLE raw = nullptr;
  ASSERT_TRUE(control.Start(WaitForEvent, reinterpret_cast<INT_PTR>(release.get()), &raw));
  UniqueKernelHandle thread(raw);
  const std::uint64_t afterStart = Now();

  DateTime creation, exit, kernel, user;
  control.QueryTimes(thread.get(), creation, exit, kernel, user);
  EXPECT_GE(creation, Expected(beforeStart));
  EXPECT_LE(creation, Expected(afterStart));
  // A thread that has only waited has used well under a second of each.
  EXPECT_DOUBLE_EQ(kernel, Expected(0));
  EXPECT_DOUBLE_EQ(user, Expected(0));

  const std::uint64_t beforeEnd = Now();
  SetEvent(release.get());
  ASSERT_TRUE(control.Wait(thread.get(), 10'000));
  const std::uint64_t afterEnd = Now();
  DateTime creationAfter;
  control.QueryTimes(thread.get(), creationAfter, exit, kernel, user);
  EXPECT_EQ(creationAfter, creation);
  EXPECT_GE(exit, Expected(beforeEnd));
  EXPECT_LE(exit, Expected(afterEnd));
}

TEST_F(ThreadTimes, TheCallingThreadThroughItsPseudoHandle) {
  ThreadControl control;
  DateTime creation, exit, kernel, user;
  control.QueryTimes(control.CurrentThread(), creation, exit, kernel, user);
  EXPECT_NE(creation, kDateTimeFailure);
  EXPECT_LE(creation, Expected(Now()));
  EXPECT_GT(creation, Expected(Now() - 3600 * kTicksPerSecond));
  EXPECT_NE(user, kDateTimeFailure);
}

}  // namespace
}  // namespace dashtab::win
