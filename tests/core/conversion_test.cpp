#include "core/conversion.h"

#include <gtest/gtest.h>

#include <random>

#include "core/reference_replace.h"
#include "core/worked_conversions.h"

namespace dashtab {
namespace {

using testing::Hex;

TEST(DirectionFromSelection, OnlyZeroTurnsDashesIntoTabs) {
  EXPECT_EQ(DirectionFromSelection(0), Direction::DashesToTab);
  for (int selection : {1, -1, 2, 1000}) {
    EXPECT_EQ(DirectionFromSelection(selection), Direction::TabToDashes) << selection;
  }
}

TEST(ConvertBytes, WorkedResults) {
  const auto& cases = testing::kWorkedConversions;
  for (const testing::WorkedConversion& c : cases) {
    SCOPED_TRACE(std::string(c.source) + " with selection " + std::to_string(c.selection));
    const ByteSet out = ConvertBytes(ByteSet(Hex(c.source)), DirectionFromSelection(c.selection));
    EXPECT_EQ(out.view(), Hex(c.output));
  }
}

// A text without TABs, zero bytes or a final lone lead byte comes back byte
// for byte after a conversion to tabs and back.
TEST(ConvertText, RoundTripRestoresTheText) {
  const char alphabet[] = {'-', '-', '-', 'a', ' ', '\r', '\n', '\x81', '\xB0', '\xFE', '\t'};
  std::mt19937 rng(7);
  for (int round = 0; round < 2000; ++round) {
    std::string text(rng() % 64, 'a');
    for (auto& c : text) {
      c = alphabet[rng() % (std::size(alphabet) - 1)];  // never a TAB
    }
    // Close a final lone lead byte with a trail byte so that none is left.
    std::size_t pos = 0;
    while (pos < text.size()) {
      pos += static_cast<unsigned char>(text[pos]) >= 0x80 ? 2 : 1;
    }
    if (pos > text.size()) {
      text += 'z';
    }
    SCOPED_TRACE(round);
    const Text tabs = ConvertText(Text(text), Direction::DashesToTab);
    EXPECT_EQ(ConvertText(tabs, Direction::TabToDashes).view(), text);
  }
}

TEST(ConvertText, TabsBetweenGbkCharactersAreAllReplaced) {
  // Well-formed GBK: every byte of 0x80 or above starts a two-byte character.
  const std::string gbk = Hex("D6 D0 09 CE C4 09 61 09 B0 A1 09");
  EXPECT_EQ(ConvertText(Text(gbk), Direction::TabToDashes).view(),
            Hex("D6 D0 2D 2D 2D 2D CE C4 2D 2D 2D 2D 61 2D 2D 2D 2D B0 A1 2D 2D 2D 2D"));
}

}  // namespace
}  // namespace dashtab
