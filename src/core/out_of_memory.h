// Running out of memory is never a result: a failed allocation reports
// itself and ends the process with exit code -1. The one exception, the
// buffer a whole file is read into, opts out with SoftAllocationScope.
#pragma once

namespace dashtab {

using OutOfMemoryReport = void (*)();

// From now on a failed allocation calls `report` and ends the process with
// exit code -1, unless a SoftAllocationScope is alive on that thread.
void InstallOutOfMemoryHandler(OutOfMemoryReport report);

// A report for console programs: one line on standard error.
void ReportOutOfMemoryToStderr();

// While alive, a failed allocation on this thread throws std::bad_alloc
// instead of ending the process, so the caller can fail softly.
class SoftAllocationScope {
 public:
  SoftAllocationScope();
  ~SoftAllocationScope();
  SoftAllocationScope(const SoftAllocationScope&) = delete;
  SoftAllocationScope& operator=(const SoftAllocationScope&) = delete;

 private:
  bool outer_;
};

}  // namespace dashtab
