#include "win/thread_times.h"

#include "win/thread_control.h"

namespace dashtab::win {

// A step that fails leaves its value as it was (the zero SYSTEMTIME for the
// last one), which ends in the failure value where no date fits.
DateTime LocalDateTimeFromFileTime(const FILETIME& time) {
  FILETIME local = time;
  FILETIME shifted;
  if (FileTimeToLocalFileTime(&time, &shifted)) {
    local = shifted;
  }
  SYSTEMTIME fields{};
  if (!FileTimeToSystemTime(&local, &fields)) {
    fields = SYSTEMTIME{};
  }
  return DateTimeFromTimeText(FormatTimeText(fields.wYear, fields.wMonth, fields.wDay, fields.wHour,
                                             fields.wMinute, fields.wSecond));
}

void ThreadControl::QueryTimes(HANDLE thread, DateTime& creation, DateTime& exit, DateTime& kernel,
                               DateTime& user) {
  // After a failed call all four stay zero, and are converted all the same.
  FILETIME times[4] = {};
  GetThreadTimes(thread, &times[0], &times[1], &times[2], &times[3]);
  creation = LocalDateTimeFromFileTime(times[0]);
  exit = LocalDateTimeFromFileTime(times[1]);
  kernel = LocalDateTimeFromFileTime(times[2]);
  user = LocalDateTimeFromFileTime(times[3]);
}

}  // namespace dashtab::win
