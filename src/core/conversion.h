// The conversion that the program exists for: every "----" to a TAB, or
// every TAB to "----", under the double-byte rule.
#pragma once

#include "core/text.h"

namespace dashtab {

enum class Direction { DashesToTab, TabToDashes };

// Only the first entry of the direction list (selection 0) turns dashes
// into tabs; any other reading, -1 included, turns tabs into dashes.
Direction DirectionFromSelection(int selection);

// Replaces every occurrence in the whole text, case-sensitive.
Text ConvertText(const Text& source, Direction direction);

// The file's text (its bytes up to the first zero byte) converted and
// turned back into bytes. The source's storage becomes the text without a
// copy, so the conversion holds at most the source and its result.
ByteSet ConvertBytes(ByteSet source, Direction direction);

}  // namespace dashtab
