// The out-of-memory report of the Windows programs: a message box.
#pragma once

namespace dashtab::win {

// From now on a failed allocation shows an error box and ends the process
// with exit code -1 (outside a SoftAllocationScope).
void InstallOutOfMemoryBox();

}  // namespace dashtab::win
