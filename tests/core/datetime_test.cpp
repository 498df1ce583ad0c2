#include "core/datetime.h"

#include <gtest/gtest.h>

namespace dashtab {
namespace {

TEST(FormatTimeText, WritesTheFieldsWithoutLeadingZeros) {
  EXPECT_EQ(FormatTimeText(2024, 3, 5, 9, 7, 2), "2024/3/5 9:7:2");
  EXPECT_EQ(FormatTimeText(1601, 12, 31, 23, 59, 59), "1601/12/31 23:59:59");
  EXPECT_EQ(FormatTimeText(0, 0, 0, 0, 0, 0), "0/0/0 0:0:0");
  EXPECT_EQ(FormatTimeText(30828, 9, 14, 2, 48, 5), "30828/9/14 2:48:5");
}

TEST(DateTimeFromTimeText, KnownValues) {
  struct Case {
    const char* text;
    DateTime value;
  };
  const Case cases[] = {
      {"2024/3/5 9:7:2", 45356.37988425926},
      {"1601/1/1 8:0:1", -109205.33334490741},
      {"1601/1/1 8:0:0", -109205.33333333333},
      {"1601/1/1 0:0:0", -109205.0},
      {"1899/12/29 6:0:0", -1.25},
      {"1899/12/30 0:0:0", 0.0},
      {"1899/12/30 12:0:0", 0.5},
      {"1899/12/31 18:0:0", 1.75},
      {"1900/1/1 0:0:0", 2.0},
      {"1900/3/1 0:0:0", 61.0},  // 1900 has no 29 February
      {"1970/1/1 0:0:0", 25569.0},
      {"100/1/1 0:0:0", -657434.0},
      {"9999/12/31 0:0:0", 2958465.0},
      {"9999/12/31 23:59:59", 2958465.0 + 86399 * (1.0 / 86400.0)},
      {"100/1/1 23:59:59", -657434.0 - 86399 * (1.0 / 86400.0)},
      {"2024/03/05 09:07:02", 45356.37988425926},  // two-digit fields may lead with 0
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_DOUBLE_EQ(DateTimeFromTimeText(c.text), c.value);
  }
  EXPECT_EQ(DateTimeFromTimeText("0999/1/1 0:0:0"), DateTimeFromTimeText("999/1/1 0:0:0"));
}

TEST(DateTimeFromTimeText, LeapYearsFollowTheGregorianRule) {
  struct Case {
    const char* text;
    bool valid;
  };
  const Case cases[] = {
      {"2024/2/29 0:0:0", true},  {"2023/2/29 0:0:0", false}, {"2000/2/29 0:0:0", true},
      {"1900/2/29 0:0:0", false}, {"2100/2/29 0:0:0", false}, {"1600/2/29 0:0:0", true},
      {"400/2/29 0:0:0", true},   {"100/2/29 0:0:0", false},  {"2024/2/30 0:0:0", false},
      {"2023/2/28 0:0:0", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(DateTimeFromTimeText(c.text) != kDateTimeFailure, c.valid);
  }
  EXPECT_DOUBLE_EQ(DateTimeFromTimeText("2024/3/1 0:0:0") - DateTimeFromTimeText("2024/2/28 0:0:0"),
                   2.0);
  EXPECT_DOUBLE_EQ(DateTimeFromTimeText("2100/3/1 0:0:0") - DateTimeFromTimeText("2100/2/28 0:0:0"),
                   1.0);
}

TEST(DateTimeFromTimeText, FieldsOutOfRangeGiveTheFailureValue) {
  const char* texts[] = {
      "0/0/0 0:0:0",     "99/12/31 23:59:59", "10000/1/1 0:0:0",   "2024/0/1 0:0:0",
      "2024/13/1 0:0:0", "2024/1/0 0:0:0",    "2024/1/32 0:0:0",   "2024/4/31 0:0:0",
      "2024/6/31 0:0:0", "2024/9/31 0:0:0",   "2024/11/31 0:0:0",  "2024/1/1 24:0:0",
      "2024/1/1 0:60:0", "2024/1/1 0:0:60",   "2024/1/1 99:99:99",
  };
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    EXPECT_EQ(DateTimeFromTimeText(text), kDateTimeFailure);
  }
}

TEST(DateTimeFromTimeText, MalformedTextsGiveTheFailureValue) {
  const char* texts[] = {
      "",
      "2024/3/5",
      "2024/3/5 9:7",
      "2024/3/5 9:7:",
      "2024/3/5 9:7:2 ",
      " 2024/3/5 9:7:2",
      "2024/3/5 9:7:2\n",
      "2024/3/5  9:7:2",
      "2024-3-5 9:7:2",
      "2024/3/5T9:7:2",
      "2024/3/5 9.7.2",
      "02024/3/5 9:7:2",
      "2024/003/5 9:7:2",
      "2024/3/005 9:7:2",
      "2024/3/5 009:7:2",
      "2024/3/5 9:007:2",
      "2024/3/5 9:7:002",
      "+2024/3/5 9:7:2",
      "2024/-3/5 9:7:2",
      "2024/3/5 9:7:x",
      "2024//5 9:7:2",
      "/3/5 9:7:2",
      "2024/3/5 9:7:2:1",
      "２０２４/3/5 9:7:2",
  };
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    EXPECT_EQ(DateTimeFromTimeText(text), kDateTimeFailure);
  }
  EXPECT_EQ(DateTimeFromTimeText(std::string_view("2024/3/5 9:7:2\0", 15)), kDateTimeFailure);
}

// Days from 0100-01-01 to 9999-12-31 against a plain walk through the
// calendar, one day at a time, counting from 1899-12-30: every day of whole
// 400-year cycles at both ends and around day 0, and the first and last day
// of every month in between.
TEST(DateTimeFromTimeText, DaysMatchACalendarWalk) {
  auto daysIn = [](int year, int month) {
    if (month == 2) {
      const bool leap = year % 400 == 0 || (year % 4 == 0 && year % 100 != 0);
      return leap ? 29 : 28;
    }
    return month == 4 || month == 6 || month == 9 || month == 11 ? 30 : 31;
  };
  auto everyDay = [](int year) {
    return year < 500 || (year >= 1600 && year < 2400) || year >= 9600;
  };
  int year = 100, month = 1, day = 1;
  int failures = 0;
  for (long n = -657434; n <= 2958465 && failures < 10; ++n) {
    if (everyDay(year) || day == 1 || day == daysIn(year, month)) {
      const DateTime got = DateTimeFromTimeText(FormatTimeText(year, month, day, 0, 0, 0));
      if (got != static_cast<double>(n)) {
        ADD_FAILURE() << FormatTimeText(year, month, day, 0, 0, 0) << " gave " << got
                      << ", expected " << n;
        ++failures;
      }
    }
    if (++day > daysIn(year, month)) {
      day = 1;
      if (++month > 12) {
        month = 1;
        ++year;
      }
    }
  }
  EXPECT_EQ(FormatTimeText(year, month, day, 0, 0, 0), "10000/1/1 0:0:0");
}

// Each second of a day after day 0 adds its fraction, and of a day before it
// takes it away.
TEST(DateTimeFromTimeText, TheTimeOfDayCountsAwayFromDayZero) {
  constexpr double kSecond = 1.0 / 86400.0;
  for (int s = 0; s < 86400; s += 7) {
    const int h = s / 3600, m = s / 60 % 60, sec = s % 60;
    SCOPED_TRACE(s);
    ASSERT_EQ(DateTimeFromTimeText(FormatTimeText(2024, 3, 5, h, m, sec)), 45356.0 + s * kSecond);
    ASSERT_EQ(DateTimeFromTimeText(FormatTimeText(1899, 12, 30, h, m, sec)), s * kSecond);
    ASSERT_EQ(DateTimeFromTimeText(FormatTimeText(1899, 12, 29, h, m, sec)), -1.0 - s * kSecond);
  }
}

}  // namespace
}  // namespace dashtab
