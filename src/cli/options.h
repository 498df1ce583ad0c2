// The command line of the command-line program: what to convert, which way,
// and where the result goes.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/conversion.h"

namespace dashtab::cli {

// Standard input or standard output where a file name is expected.
inline constexpr std::string_view kStandardStream = "-";

struct Options {
  enum class Action { kConvert, kHelp, kVersion };
  Action action = Action::kConvert;
  Direction direction = Direction::DashesToTab;
  std::vector<std::string> inputs;    // empty: standard input
  std::optional<std::string> output;  // absent: standard output, or the inputs with inPlace
  bool inPlace = false;
  bool verbose = false;
};

struct ParseResult {
  std::optional<Options> options;
  std::string error;  // why the command line was refused, when options is empty
};

// The arguments after the program name.
ParseResult ParseArguments(std::span<const std::string> arguments);

std::string UsageText(std::string_view program);
std::string VersionText(std::string_view program);

}  // namespace dashtab::cli
