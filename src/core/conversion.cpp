#include "core/conversion.h"

#include <algorithm>
#include <cstring>

#include "core/replace.h"
#include "core/replace_fast.h"

namespace dashtab {

Direction DirectionFromSelection(int selection) {
  return selection == 0 ? Direction::DashesToTab : Direction::TabToDashes;
}

Text ConvertText(const Text& source, Direction direction) {
  const Text tab = CharFromCode(9);
  const Text dashes = "----";
  if (direction == Direction::DashesToTab) {
    return ReplaceSubtext(source, dashes, tab);
  }
  return ReplaceSubtext(source, tab, dashes);
}

ByteSet ConvertBytes(ByteSet source, Direction direction) {
  return TextToBytes(ConvertText(BytesToText(std::move(source)), direction));
}

namespace {

// A cut needs only the byte before it: when that byte is below 0x80 it is
// a character of its own or the trail byte of one, so the cut starts a
// character either way, and the scan's end of a piece (copying the last
// bytes that are too few for a match) never meets a lone lead byte. A match
// across the cut would have to end the first piece with part of the
// search text; the only such part of "----" is a '-', and a TAB has none.
bool IsSafeCut(std::string_view text, std::size_t p, Direction direction) {
  const char before = text[p - 1];
  return static_cast<unsigned char>(before) < 0x80 &&
         !(direction == Direction::DashesToTab && before == '-');
}

}  // namespace

// After the last cut that the byte before allows come only lead bytes and,
// turning dashes into tabs, hyphens: a file may hold megabytes of them. The
// scan itself goes through them from that cut, a character or a match at a
// time; each place it reaches is a cut too, since the scan carries nothing
// from one place to the next, as long as the step that reached it was
// decided by bytes before the end.
std::size_t SafeCutPoint(std::string_view text, Direction direction) {
  const std::size_t n = text.size();
  std::size_t cut = n;
  while (cut > 0 && !IsSafeCut(text, cut, direction)) {
    --cut;
  }
  for (std::size_t pos = cut; pos < n; cut = pos) {
    if (text[pos] == '-') {
      // Fewer than four dashes decide too, when another byte follows them.
      std::size_t dashes = 1;
      while (dashes < 4 && pos + dashes < n && text[pos + dashes] == '-') {
        ++dashes;
      }
      if (dashes < 4 && pos + dashes == n) {
        break;
      }
      pos += dashes == 4 ? 4 : 1;
    } else {
      if (n - pos < 2) {
        break;
      }
      pos += 2;
    }
  }
  return cut;
}

char* ChunkedConversion::Room(std::size_t most) {
  if (capacity_ - held_ < most) {
    // Fewer than 4 bytes are ever held back, so this is for the first call
    // and for pieces larger than before.
    const std::size_t capacity = std::max(held_ + most, 2 * capacity_);
    auto bigger = std::make_unique_for_overwrite<char[]>(capacity);
    if (held_ > 0) {
      std::memcpy(bigger.get(), pending_.get(), held_);
    }
    pending_ = std::move(bigger);
    capacity_ = capacity;
  }
  return pending_.get() + held_;
}

void ChunkedConversion::Added(std::size_t got, std::string& converted) {
  held_ += got;
  const std::size_t cut = SafeCutPoint(std::string_view(pending_.get(), held_), direction_);
  if (cut == 0) {
    converted.clear();
  } else {
    Convert(cut, converted);
  }
}

void ChunkedConversion::Add(std::string_view bytes, std::string& converted) {
  bytes.copy(Room(bytes.size()), bytes.size());
  Added(bytes.size(), converted);
}

void ChunkedConversion::Finish(std::string& converted) {
  Convert(held_, converted);
}

// The search texts are those of the fast path, which ConvertText takes for
// them too; calling it on the piece where it lies saves making a Text of it.
void ChunkedConversion::Convert(std::size_t length, std::string& converted) {
  const std::string_view piece(pending_.get(), length);
  if (piece.empty()) {
    converted.clear();
  } else if (direction_ == Direction::DashesToTab) {
    ReplaceAllFast(piece, "----", "\t", converted);
  } else {
    ReplaceAllFast(piece, "\t", "----", converted);
  }
  held_ -= length;
  if (held_ > 0) {
    std::memmove(pending_.get(), pending_.get() + length, held_);
  }
}

}  // namespace dashtab
