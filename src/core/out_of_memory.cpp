#include "core/out_of_memory.h"

#include <cstdio>
#include <cstdlib>
#include <new>

namespace dashtab {
namespace {

OutOfMemoryReport g_report = nullptr;
thread_local bool t_soft = false;

void OnAllocationFailure() {
  if (t_soft) {
    throw std::bad_alloc();
  }
  if (g_report) {
    g_report();
  }
  std::_Exit(-1);
}

}  // namespace

void InstallOutOfMemoryHandler(OutOfMemoryReport report) {
  g_report = report;
  std::set_new_handler(OnAllocationFailure);
}

void ReportOutOfMemoryToStderr() {
  std::fputs("dashtab: out of memory\n", stderr);
}

SoftAllocationScope::SoftAllocationScope() : outer_(t_soft) {
  t_soft = true;
}

SoftAllocationScope::~SoftAllocationScope() {
  t_soft = outer_;
}

}  // namespace dashtab
