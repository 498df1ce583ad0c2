#include "core/conversion.h"

#include "core/replace.h"

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

bool IsSingleByte(char c) {
  return static_cast<unsigned char>(c) < 0x80;
}

// Searches from the end down to, not including, `lowest`.
std::size_t SafeCutPointAbove(std::string_view text, Direction direction, std::size_t lowest) {
  // "----" has 3 bytes that could begin a match before its end; a TAB none.
  const std::size_t reach = direction == Direction::DashesToTab ? 3 : 0;
  for (std::size_t p = text.size(); p > lowest; --p) {
    if (!IsSingleByte(text[p - 1]) || (p >= 2 && !IsSingleByte(text[p - 2]))) {
      continue;
    }
    bool dashBefore = false;
    for (std::size_t k = 1; k <= reach && k <= p; ++k) {
      dashBefore = dashBefore || text[p - k] == '-';
    }
    if (!dashBefore) {
      return p;
    }
  }
  return 0;
}

}  // namespace

std::size_t SafeCutPoint(std::string_view text, Direction direction) {
  return SafeCutPointAbove(text, direction, 0);
}

std::string_view ChunkedConversion::Add(std::string_view bytes) {
  const std::size_t held = pending_.size();
  pending_.append(bytes);
  // The held-back bytes had no safe cut, so only the new positions can.
  const std::size_t cut = SafeCutPointAbove(pending_, direction_, held);
  return cut == 0 ? std::string_view() : Convert(cut);
}

std::string_view ChunkedConversion::Finish() {
  return Convert(pending_.size());
}

std::string_view ChunkedConversion::Convert(std::size_t length) {
  Text piece = ConvertText(Text::FromBytesWithoutZero(pending_.substr(0, length)), direction_);
  pending_.erase(0, length);
  converted_ = std::move(piece).TakeStorage();
  return converted_;
}

}  // namespace dashtab
