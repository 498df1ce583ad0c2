#include "core/datetime.h"

#include <cstdint>
#include <cstdio>
#include <optional>

namespace dashtab {
namespace {

// Days from 1970-01-01 to the given Gregorian date, negative before it: the
// count of whole 400-year eras, then the day within the era, with the year
// taken to start on 1 March so that the leap day comes last.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

// 1899-12-30, day 0 of a DateTime, counted from 1970-01-01.
constexpr std::int64_t kDateTimeEpoch = -25569;

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Reads a run of 1 to `maxDigits` decimal digits from the front of `text`,
// followed by `separator` (or by the end of the text when it is 0).
std::optional<int> ReadField(std::string_view& text, std::size_t maxDigits, char separator) {
  std::size_t digits = 0;
  int value = 0;
  while (digits < text.size() && digits < maxDigits && text[digits] >= '0' && text[digits] <= '9') {
    value = value * 10 + (text[digits] - '0');
    ++digits;
  }
  if (digits == 0) {
    return std::nullopt;
  }
  text.remove_prefix(digits);
  if (separator == '\0') {
    return text.empty() ? std::optional<int>(value) : std::nullopt;
  }
  if (text.empty() || text.front() != separator) {
    return std::nullopt;
  }
  text.remove_prefix(1);
  return value;
}

}  // namespace

std::string FormatTimeText(int year, int month, int day, int hour, int minute, int second) {
  char text[72];
  std::snprintf(text, sizeof text, "%d/%d/%d %d:%d:%d", year, month, day, hour, minute, second);
  return text;
}

DateTime DateTimeFromTimeText(std::string_view text) {
  const auto year = ReadField(text, 4, '/');
  const auto month = year ? ReadField(text, 2, '/') : std::nullopt;
  const auto day = month ? ReadField(text, 2, ' ') : std::nullopt;
  const auto hour = day ? ReadField(text, 2, ':') : std::nullopt;
  const auto minute = hour ? ReadField(text, 2, ':') : std::nullopt;
  const auto second = minute ? ReadField(text, 2, '\0') : std::nullopt;
  if (!second || *year < 100 || *year > 9999 || *month < 1 || *month > 12 || *day < 1 ||
      *day > DaysInMonth(*year, *month) || *hour > 23 || *minute > 59 || *second > 59) {
    return kDateTimeFailure;
  }
  const double days = static_cast<double>(
      DaysFromCivil(*year, static_cast<unsigned>(*month), static_cast<unsigned>(*day)) -
      kDateTimeEpoch);
  const double fraction = (*hour * 3600 + *minute * 60 + *second) * (1.0 / 86400.0);
  // Before day 0 the time of day counts away from zero.
  return days >= 0 ? days + fraction : days - fraction;
}

}  // namespace dashtab
