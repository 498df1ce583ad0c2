#include "cli/options.h"

#include <gtest/gtest.h>

#include "cli/cli.h"

namespace dashtab::cli {
namespace {

ParseResult Parse(std::vector<std::string> arguments) {
  return ParseArguments(arguments);
}

TEST(ParseArguments, CommandsAndTheirInputsAndOutputs) {
  struct Case {
    std::vector<std::string> arguments;
    Direction direction;
    std::vector<std::string> inputs;
    std::optional<std::string> output;
    bool inPlace;
    bool verbose;
  };
  const Case cases[] = {
      {{"to-tab"}, Direction::DashesToTab, {}, std::nullopt, false, false},
      {{"to-dashes", "-"}, Direction::TabToDashes, {"-"}, std::nullopt, false, false},
      {{"to-tab", "a", "-o", "b"}, Direction::DashesToTab, {"a"}, "b", false, false},
      {{"-o", "b", "to-tab", "a"}, Direction::DashesToTab, {"a"}, "b", false, false},
      {{"to-tab", "a", "-ob"}, Direction::DashesToTab, {"a"}, "b", false, false},
      {{"to-tab", "a", "--output", "b"}, Direction::DashesToTab, {"a"}, "b", false, false},
      {{"to-tab", "a", "--output=b"}, Direction::DashesToTab, {"a"}, "b", false, false},
      {{"to-tab", "-o", "-"}, Direction::DashesToTab, {}, "-", false, false},
      {{"to-dashes", "-iv", "a", "b"},
       Direction::TabToDashes,
       {"a", "b"},
       std::nullopt,
       true,
       true},
      {{"to-dashes", "--in-place", "--verbose", "a"},
       Direction::TabToDashes,
       {"a"},
       std::nullopt,
       true,
       true},
      // After "--" a name that starts with a dash is a file.
      {{"to-tab", "-i", "--", "-v", "--help"},
       Direction::DashesToTab,
       {"-v", "--help"},
       std::nullopt,
       true,
       false},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const auto& argument : c.arguments) {
      line += argument + " ";
    }
    SCOPED_TRACE(line);
    const ParseResult result = Parse(c.arguments);
    ASSERT_TRUE(result.options) << result.error;
    const Options& options = *result.options;
    EXPECT_EQ(options.action, Options::Action::kConvert);
    EXPECT_EQ(options.direction, c.direction);
    EXPECT_EQ(options.inputs, c.inputs);
    EXPECT_EQ(options.output, c.output);
    EXPECT_EQ(options.inPlace, c.inPlace);
    EXPECT_EQ(options.verbose, c.verbose);
  }
}

TEST(ParseArguments, HelpAndVersionWinOverEverythingElse) {
  EXPECT_EQ(Parse({"--help"}).options->action, Options::Action::kHelp);
  EXPECT_EQ(Parse({"to-tab", "a", "b", "-h"}).options->action, Options::Action::kHelp);
  EXPECT_EQ(Parse({"-V"}).options->action, Options::Action::kVersion);
  EXPECT_EQ(Parse({"to-dashes", "--version"}).options->action, Options::Action::kVersion);
}

TEST(ParseArguments, RefusesWhatMakesNoSense) {
  const std::vector<std::string> refused[] = {
      {},
      {"-v"},
      {"convert", "a"},
      {"to-tab", "a", "b"},
      {"to-tab", "a", "b", "-o", "c"},
      {"to-tab", "-i"},
      {"to-tab", "-i", "a", "-"},
      {"to-tab", "-i", "a", "-o", "b"},
      {"to-tab", "a", "-o"},
      {"to-tab", "a", "--output"},
      {"to-tab", "a", "--output="},
      {"to-tab", "a", "-o", "b", "-o", "c"},
      {"to-tab", "--quiet"},
      {"to-tab", "-q"},
  };
  for (const auto& arguments : refused) {
    std::string line;
    for (const auto& argument : arguments) {
      line += argument + " ";
    }
    SCOPED_TRACE(line);
    const ParseResult result = Parse(arguments);
    EXPECT_FALSE(result.options);
    EXPECT_FALSE(result.error.empty());
  }
}

// Known answers from the byte rule, among them the lone lead byte that
// turning TABs into dashes drops at the end of a text.
TEST(CountReplacements, FollowsFromTheLengths) {
  struct Case {
    Direction direction;
    std::uint64_t text, output, replacements;
  };
  const Case cases[] = {
      {Direction::DashesToTab, 0, 0, 0},       {Direction::DashesToTab, 6, 3, 1},
      {Direction::DashesToTab, 8, 2, 2},       {Direction::DashesToTab, 5, 2, 1},
      {Direction::TabToDashes, 0, 0, 0},       {Direction::TabToDashes, 3, 6, 1},
      {Direction::TabToDashes, 3, 2, 0},       {Direction::TabToDashes, 5, 16, 4},
      {Direction::TabToDashes, 1000, 1000, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CountReplacements(c.direction, c.text, c.output), c.replacements)
        << c.text << " -> " << c.output;
  }
}

TEST(UsageText, DocumentsTheExitStatusesAndAnExample) {
  const std::string usage = UsageText("dashtab");
  for (const char* part : {"  0  ", "  1  ", "  2  ", "dashtab to-tab table.txt -o"}) {
    EXPECT_NE(usage.find(part), std::string::npos) << part;
  }
}

}  // namespace
}  // namespace dashtab::cli
