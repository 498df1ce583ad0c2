#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "core/conversion.h"
#include "core/reference_replace.h"

namespace dashtab {
namespace {

using testing::Hex;

constexpr Direction kDirections[] = {Direction::DashesToTab, Direction::TabToDashes};

std::string DirectionName(Direction direction) {
  return direction == Direction::DashesToTab ? "to tabs" : "to dashes";
}

// Feeds the text up to its first zero byte, as a reader of a file would, in
// pieces of the given lengths one after another (the last length
// repeats).
std::string ConvertInPieces(std::string_view bytes, Direction direction,
                            const std::vector<std::size_t>& lengths) {
  bytes = bytes.substr(0, bytes.find('\0'));
  ChunkedConversion conversion(direction);
  std::string out;
  // Holds a piece from before, as a reused buffer does.
  std::string converted = "left over";
  std::size_t next = 0;
  while (!bytes.empty()) {
    const std::size_t length =
        std::min(lengths[std::min(next++, lengths.size() - 1)], bytes.size());
    conversion.Add(bytes.substr(0, length), converted);
    out.append(converted);
    bytes.remove_prefix(length);
  }
  conversion.Finish(converted);
  out.append(converted);
  return out;
}

std::string Whole(const std::string& bytes, Direction direction) {
  return std::string(ConvertBytes(ByteSet(bytes), direction).view());
}

TEST(ChunkedConversion, RandomPiecesGiveTheWholeConversion) {
  const char alphabet[] = {'\x09', '\x2D', '\x61', '\x80', '\x81', '\xB0', '\xFF', '\x00'};
  std::mt19937 rng(11);
  for (int round = 0; round < 4000; ++round) {
    std::string text(rng() % 300, 'a');
    // Mostly without zero bytes, so that the pieces reach the end.
    const std::size_t letters = round % 4 == 0 ? std::size(alphabet) : std::size(alphabet) - 1;
    for (auto& c : text) {
      c = alphabet[rng() % letters];
    }
    std::vector<std::size_t> lengths;
    for (int i = 0; i < 40; ++i) {
      lengths.push_back(1 + rng() % (round % 2 == 0 ? 4 : 64));
    }
    for (Direction direction : kDirections) {
      SCOPED_TRACE("round " + std::to_string(round) + ", " + DirectionName(direction));
      ASSERT_EQ(ConvertInPieces(text, direction, lengths), Whole(text, direction));
    }
  }
}

// Each text is cut after every byte and at each single position, the
// places where a careless cut would change the result.
TEST(ChunkedConversion, CutsWhereASplitWouldBeWrong) {
  const struct {
    const char* what;
    const char* text;
    Direction direction;
  } cases[] = {
      {"dashes across the edge", "61 2D 2D 2D 2D 61 2D 2D 2D 2D", Direction::DashesToTab},
      {"a lead byte at the edge before dashes", "61 81 2D 2D 2D 2D 2D 61", Direction::DashesToTab},
      {"a TAB that is a trail byte", "61 81 09 09 B0 09 61", Direction::TabToDashes},
      {"a lone lead byte at the end", "09 61 81", Direction::TabToDashes},
      {"all lead bytes", "81 81 81 81 81 81 81 81 81 09 81 09", Direction::TabToDashes},
      {"all lead bytes with dashes", "81 81 81 2D 2D 2D 2D 81 2D 2D 2D 2D 2D",
       Direction::DashesToTab},
      {"all dashes", "2D 2D 2D 2D 2D 2D 2D 2D 2D 2D 2D", Direction::DashesToTab},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string text = Hex(c.text);
    const std::string whole = Whole(text, c.direction);
    EXPECT_EQ(ConvertInPieces(text, c.direction, {1}), whole);
    for (std::size_t first = 1; first < text.size(); ++first) {
      EXPECT_EQ(ConvertInPieces(text, c.direction, {first, text.size()}), whole) << first;
    }
  }
}

TEST(SafeCutPoint, KnownAnswers) {
  const struct {
    const char* text;
    Direction direction;
    std::size_t cut;
  } cases[] = {
      {"", Direction::DashesToTab, 0},
      {"61 62 63", Direction::DashesToTab, 3},
      {"61 62 2D", Direction::DashesToTab, 2},
      {"61 2D 2D 2D", Direction::DashesToTab, 1},
      {"61 2D 62", Direction::DashesToTab, 3},
      {"2D 2D 2D", Direction::DashesToTab, 0},
      // Inside runs: after whole matches, after whole pairs.
      {"2D 2D 2D 2D", Direction::DashesToTab, 4},
      {"61 2D 2D 2D 2D 2D 2D", Direction::DashesToTab, 5},
      {"2D 2D 2D 2D 2D 2D 2D 2D 2D 2D 2D", Direction::DashesToTab, 8},
      {"61 81 61", Direction::DashesToTab, 3},
      {"61 81 81", Direction::DashesToTab, 3},
      {"81 2D", Direction::DashesToTab, 2},
      {"81 2D 2D 2D 2D", Direction::DashesToTab, 2},
      {"81 2D 2D 2D 2D 2D 2D", Direction::DashesToTab, 6},
      {"2D 81 2D 2D 81 2D", Direction::DashesToTab, 6},
      {"61 81 61 62", Direction::TabToDashes, 4},
      {"61 62 81", Direction::TabToDashes, 2},
      {"81 09 81 09", Direction::TabToDashes, 4},
      {"81 81 81", Direction::TabToDashes, 2},
      {"81 81 81 81 81 81 81", Direction::TabToDashes, 6},
      {"61 81 81 81 81", Direction::TabToDashes, 5},
      {"2D 2D 2D", Direction::TabToDashes, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " " + DirectionName(c.direction));
    EXPECT_EQ(SafeCutPoint(Hex(c.text), c.direction), c.cut);
  }
}

}  // namespace
}  // namespace dashtab
