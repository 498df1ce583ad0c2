#include "core/replace.h"

#include <gtest/gtest.h>

#include <random>

#include "core/reference_replace.h"

namespace dashtab {
namespace {

using testing::Hex;
using testing::ReferenceReplace;

struct WorkedCase {
  const char* text;
  const char* search;
  const char* replacement;
  const char* result;
};

// Known answers, bytes in hexadecimal: 09 is TAB, 2D the hyphen.
const WorkedCase kWorked[] = {
    {"61 2D 2D 2D 2D 62", "2D 2D 2D 2D", "09", "61 09 62"},
    {"2D 2D 2D 2D 2D", "2D 2D 2D 2D", "09", "09 2D"},
    {"2D 2D 2D 2D 2D 2D", "2D 2D 2D 2D", "09", "09 2D 2D"},
    {"2D 2D 2D 2D 2D 2D 2D 2D", "2D 2D 2D 2D", "09", "09 09"},
    {"2D 2D 2D", "2D 2D 2D 2D", "09", "2D 2D 2D"},
    {"B0 A1 2D 2D 2D 2D", "2D 2D 2D 2D", "09", "B0 A1 09"},
    {"B0 2D 2D 2D 2D 2D", "2D 2D 2D 2D", "09", "B0 2D 09"},
    {"61 62 B0", "2D 2D 2D 2D", "09", "61 62 B0"},
    {"61 09 62", "09", "2D 2D 2D 2D", "61 2D 2D 2D 2D 62"},
    {"09 09", "09", "2D 2D 2D 2D", "2D 2D 2D 2D 2D 2D 2D 2D"},
    {"61 81 09 62 09 63", "09", "2D 2D 2D 2D", "61 81 09 62 2D 2D 2D 2D 63"},
    {"61 62 B0", "09", "2D 2D 2D 2D", "61 62"},
    {"61 B0 A1 B0", "09", "2D 2D 2D 2D", "61 B0 A1"},
    {"", "09", "2D 2D 2D 2D", ""},
    {"", "2D 2D 2D 2D", "09", ""},
};

TEST(ReplaceSubtext, WorkedResults) {
  for (const auto& c : kWorked) {
    SCOPED_TRACE(std::string(c.text) + " / " + c.search);
    const Text result =
        ReplaceSubtext(Text(Hex(c.text)), Text(Hex(c.search)), Text(Hex(c.replacement)));
    EXPECT_EQ(result.view(), Hex(c.result));
  }
}

TEST(ReplaceSubtext, StartCountAndOmittedReplacement) {
  struct Case {
    const char* name;
    std::optional<Text> replacement;
    std::optional<int> start;
    std::optional<int> count;
    const char* result;
  };
  const Text plus = "+";
  const Case cases[] = {
      {"count 2", plus, std::nullopt, 2, "a+a+a-"},
      {"start 3", plus, 3, std::nullopt, "a-a+a+"},
      {"start 7", plus, 7, std::nullopt, "a-a-a-"},
      {"count 0", plus, std::nullopt, 0, "a-a-a-"},
      {"replacement omitted", std::nullopt, std::nullopt, std::nullopt, "aaa"},
      {"negative count", plus, std::nullopt, -1, "a+a+a+"},
      {"start 0 counts as 1", plus, 0, std::nullopt, "a+a+a+"},
      {"negative start", plus, -5, std::nullopt, "a+a+a+"},
      {"start 6, the last byte", plus, 6, std::nullopt, "a-a-a+"},
      {"start 2 and count 1", plus, 2, 1, "a+a-a-"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ReplaceSubtext("a-a-a-", "-", c.replacement, c.start, c.count).view(), c.result);
  }
}

TEST(ReplaceSubtext, EmptySearchTextChangesNothing) {
  EXPECT_EQ(ReplaceSubtext("abc", "", Text("x")).view(), "abc");
}

TEST(ReplaceSubtext, StartInsideACharacterScansFromThere) {
  // The scan starts at the given byte even when it is a trail byte.
  EXPECT_EQ(ReplaceSubtext(Text(Hex("81 09 09")), "\t", Text("-"), 2).view(), Hex("81 2D 2D"));
}

TEST(ReplaceSubtext, CaseInsensitiveFoldsAsciiLettersOnly) {
  EXPECT_EQ(ReplaceSubtext("xAbaBx", "ab", Text("_"), std::nullopt, std::nullopt, false).view(),
            "x__x");
  EXPECT_EQ(ReplaceSubtext("xAbaBx", "ab", Text("_"), std::nullopt, std::nullopt, true).view(),
            "xAbaBx");
  // '@' (0x40) and '`' (0x60) differ by the case bit but are not letters.
  EXPECT_EQ(ReplaceSubtext("@`", "`", Text("!"), std::nullopt, std::nullopt, false).view(), "@!");
  EXPECT_EQ(ReplaceSubtext("[{", "{", Text("!"), std::nullopt, std::nullopt, false).view(), "[!");
}

// Random texts over the bytes that matter, every argument combination,
// compared with the plain reference loop.
TEST(ReplaceSubtext, AgreesWithTheReferenceOnRandomInputs) {
  const char alphabet[] = {'\x09', '\x2D', '\x61', '\x41', '\x80', '\x81', '\xB0', '\xFF'};
  const std::string searches[] = {"----", "\t", "-", "a", "A-", "\x81\t", "--a", "\xB0"};
  const std::optional<std::string> replacements[] = {std::nullopt, "", "\t", "----", "xy"};
  const std::optional<int> starts[] = {std::nullopt, -1, 0, 1, 2, 5, 40};
  const std::optional<int> counts[] = {std::nullopt, -3, 0, 1, 2, 7};

  std::mt19937 rng(20261211);
  std::uniform_int_distribution<int> pick(0, sizeof alphabet - 1);
  std::uniform_int_distribution<int> length(0, 48);
  for (int round = 0; round < 3000; ++round) {
    std::string text(length(rng), '\0');
    for (auto& c : text) {
      c = alphabet[pick(rng)];
    }
    const auto& search = searches[rng() % std::size(searches)];
    const auto& replacement = replacements[rng() % std::size(replacements)];
    const auto start = starts[rng() % std::size(starts)];
    const auto count = counts[rng() % std::size(counts)];
    const bool caseSensitive = rng() % 2 == 0;
    std::optional<Text> with;
    if (replacement) {
      with = Text(*replacement);
    }
    const Text got = ReplaceSubtext(Text(text), Text(search), with, start, count, caseSensitive);
    const std::string want =
        ReferenceReplace(text, search, replacement, start, count, caseSensitive);
    ASSERT_EQ(got.view(), want) << "round " << round;
  }
}

TEST(ReferenceReplace, GivesTheWorkedResults) {
  // A shared wrong constant would fool the differential test alone.
  for (const auto& c : kWorked) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ReferenceReplace(Hex(c.text), Hex(c.search), Hex(c.replacement), std::nullopt,
                               std::nullopt, true),
              Hex(c.result));
  }
}

}  // namespace
}  // namespace dashtab
