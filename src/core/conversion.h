// The conversion that the program exists for: every "----" to a TAB, or
// every TAB to "----", under the double-byte rule.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

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

// The largest position p (0 < p <= text.size()) at which the text can be
// cut so that converting both sides apart gives the bytes of converting the
// whole; 0 when there is none. `text` must itself start at a character.
std::size_t SafeCutPoint(std::string_view text, Direction direction);

// The conversion of a text that arrives piece by piece, with bounded memory:
// each piece is converted as far as a safe cut allows and the rest is held
// back for the next. The pieces together give exactly the bytes of
// ConvertText on the whole text.
class ChunkedConversion {
 public:
  explicit ChunkedConversion(Direction direction) : direction_(direction) {}

  // The next bytes of the text, which hold no zero byte (the text ends at
  // the first one). Returns the converted bytes that are final so far; the
  // view is valid until the next call.
  std::string_view Add(std::string_view bytes);
  // The end of the text: converts what was held back.
  std::string_view Finish();

 private:
  std::string_view Convert(std::size_t length);

  Direction direction_;
  std::string pending_;
  std::string converted_;
};

}  // namespace dashtab
