// The number of handles the process holds open, for leak tests.
#pragma once

#include <windows.h>

namespace dashtab::win::testing {

// GetProcessHandleCount where it answers; Wine 8 answers 0 for any process,
// so there the entries of the system's handle table that belong to this
// process are counted instead. -1 when neither can be had.
long OpenHandleCount();

}  // namespace dashtab::win::testing
