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

}  // namespace dashtab
