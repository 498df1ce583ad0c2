// The conversion that the program exists for: every "----" to a TAB, or
// every TAB to "----", under the double-byte rule.
#pragma once

#include <cstddef>
#include <memory>
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

// A position p (0 < p <= text.size()) at which the text can be cut so that
// converting both sides apart gives the bytes of converting the whole, with
// fewer than 4 bytes after it; 0 when there is none (then the text is
// shorter than 4 bytes). `text` must itself start at a character.
std::size_t SafeCutPoint(std::string_view text, Direction direction);

// The conversion of a text that arrives piece by piece, in memory bounded
// by the size of a piece: each piece is converted as far as a safe cut
// allows and the few bytes after it are held back for the next. The pieces together give exactly
// the bytes of ConvertText on the whole text.
class ChunkedConversion {
 public:
  explicit ChunkedConversion(Direction direction) : direction_(direction) {}
  ChunkedConversion(const ChunkedConversion&) = delete;
  ChunkedConversion& operator=(const ChunkedConversion&) = delete;

  // Space for the next `most` bytes of the text, right after the bytes held
  // back: a reader that fills it directly saves a copy. Valid until the
  // next call.
  char* Room(std::size_t most);
  // The first `got` bytes of the room now hold the next bytes of the text,
  // none of them a zero byte (the text ends at the first one). Puts the
  // converted bytes that are final so far into `converted`, in place of
  // what it held; its storage is reused, so that the caller may keep a
  // few buffers going round.
  void Added(std::size_t got, std::string& converted);
  // The same for bytes that are elsewhere.
  void Add(std::string_view bytes, std::string& converted);
  // The end of the text: converts what was held back.
  void Finish(std::string& converted);

 private:
  void Convert(std::size_t length, std::string& converted);

  Direction direction_;
  std::unique_ptr<char[]> pending_;
  std::size_t capacity_ = 0;
  std::size_t held_ = 0;
};

}  // namespace dashtab
