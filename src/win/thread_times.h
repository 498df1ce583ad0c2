// The conversion behind ThreadControl::QueryTimes, open to tests.
#pragma once

#include <windows.h>

#include "core/datetime.h"

namespace dashtab::win {

// A file time as a local DateTime to the whole second, by way of the time
// text; kDateTimeFailure where the local date is outside the years 100 to
// 9999 or the time cannot be converted at all.
DateTime LocalDateTimeFromFileTime(const FILETIME& time);

}  // namespace dashtab::win
