// DateTime: days since 1899-12-30 as a double, the time of day as the
// fraction (counting away from zero before that day).
#pragma once

#include <string>
#include <string_view>

namespace dashtab {

using DateTime = double;

// 0100-01-01 00:00:00: stands for a time that no date of the years 100 to
// 9999 expresses.
inline constexpr DateTime kDateTimeFailure = -657434.0;

// "year/month/day hour:minute:second" in decimal without leading zeros.
std::string FormatTimeText(int year, int month, int day, int hour, int minute, int second);

// The DateTime of a text of exactly that form with every field in range;
// kDateTimeFailure for anything else.
DateTime DateTimeFromTimeText(std::string_view text);

}  // namespace dashtab
