#include "cli/options.h"

namespace dashtab::cli {
namespace {

std::optional<Direction> DirectionFromCommand(std::string_view command) {
  if (command == "to-tab") {
    return Direction::DashesToTab;
  }
  if (command == "to-dashes") {
    return Direction::TabToDashes;
  }
  return std::nullopt;
}

ParseResult Refuse(std::string why) {
  return {std::nullopt, std::move(why)};
}

// The combinations that make no sense, once everything has been read.
std::string CheckCombination(const Options& options) {
  const auto& inputs = options.inputs;
  if (options.inPlace) {
    if (options.output) {
      return "--in-place and -o cannot be used together";
    }
    if (inputs.empty()) {
      return "--in-place needs at least one input file";
    }
    for (const auto& input : inputs) {
      if (input == kStandardStream) {
        return "--in-place cannot replace standard input";
      }
    }
    return {};
  }
  if (inputs.size() > 1) {
    return "several inputs need --in-place (-o takes one input)";
  }
  if (options.output && options.output->empty()) {
    return "-o needs a file name";
  }
  return {};
}

}  // namespace

ParseResult ParseArguments(std::span<const std::string> arguments) {
  Options options;
  bool haveCommand = false;
  bool optionsEnded = false;

  auto takePositional = [&](const std::string& argument) -> std::string {
    if (!haveCommand) {
      const auto direction = DirectionFromCommand(argument);
      if (!direction) {
        return "unknown command '" + argument + "' (to-tab or to-dashes)";
      }
      options.direction = *direction;
      haveCommand = true;
      return {};
    }
    options.inputs.push_back(argument);
    return {};
  };
  auto setOutput = [&](std::string value) -> std::string {
    if (options.output) {
      return "-o given twice";
    }
    options.output = std::move(value);
    return {};
  };

  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    std::string error;
    if (optionsEnded || argument == kStandardStream || argument.empty() || argument[0] != '-') {
      error = takePositional(argument);
    } else if (argument == "--") {
      optionsEnded = true;
    } else if (argument == "--help") {
      options.action = Options::Action::kHelp;
      return {options, {}};
    } else if (argument == "--version") {
      options.action = Options::Action::kVersion;
      return {options, {}};
    } else if (argument == "--in-place") {
      options.inPlace = true;
    } else if (argument == "--verbose") {
      options.verbose = true;
    } else if (argument == "--output" || argument.starts_with("--output=")) {
      if (argument.size() > 8) {
        error = setOutput(argument.substr(9));
      } else if (i + 1 < arguments.size()) {
        error = setOutput(arguments[++i]);
      } else {
        error = "--output needs a file name";
      }
    } else if (argument.starts_with("--")) {
      error = "unknown option '" + argument + "'";
    } else {
      // Short options, bundled or not: -iv, -o FILE, -oFILE.
      for (std::size_t at = 1; at < argument.size() && error.empty(); ++at) {
        const char letter = argument[at];
        if (letter == 'h') {
          options.action = Options::Action::kHelp;
          return {options, {}};
        } else if (letter == 'V') {
          options.action = Options::Action::kVersion;
          return {options, {}};
        } else if (letter == 'i') {
          options.inPlace = true;
        } else if (letter == 'v') {
          options.verbose = true;
        } else if (letter == 'o') {
          if (at + 1 < argument.size()) {
            error = setOutput(argument.substr(at + 1));
          } else if (i + 1 < arguments.size()) {
            error = setOutput(arguments[++i]);
          } else {
            error = "-o needs a file name";
          }
          break;
        } else {
          error = std::string("unknown option '-") + letter + "'";
        }
      }
    }
    if (!error.empty()) {
      return Refuse(std::move(error));
    }
  }

  if (!haveCommand) {
    return Refuse("no command given (to-tab or to-dashes)");
  }
  if (std::string error = CheckCombination(options); !error.empty()) {
    return Refuse(std::move(error));
  }
  return {options, {}};
}

std::string UsageText(std::string_view program) {
  const std::string p(program);
  return "Usage: " + p + " to-tab|to-dashes [options] [INPUT]\n" + "       " + p +
         " to-tab|to-dashes --in-place [options] INPUT...\n" +
         "\n"
         "Rewrites a text file: to-tab turns every \"----\" into a TAB, to-dashes turns\n"
         "every TAB into \"----\". Files are bytes: the text ends at the first zero byte,\n"
         "and a byte of 0x80 or above starts a two-byte character whose second byte is\n"
         "never replaced. Without INPUT, or with INPUT '-', standard input is read.\n"
         "\n"
         "Options:\n"
         "  -o, --output FILE  write to FILE instead of standard output ('-': standard\n"
         "                     output); FILE is replaced in one step, never half-written,\n"
         "                     and may not be the input\n"
         "  -i, --in-place     replace each INPUT by its conversion, one step per file\n"
         "  -v, --verbose      tell on standard error what was done: files, bytes in and\n"
         "                     out, replacements\n"
         "  -h, --help         show this help and exit\n"
         "  -V, --version      show the version and exit\n"
         "\n"
         "On a terminal a progress line shows on standard error for several files or a\n"
         "large one. A zero byte in an input gives a warning: the file is probably UTF-16.\n"
         "\n"
         "Exit status:\n"
         "  0  every input was converted\n"
         "  1  some input could not be read, converted or written (the others were done)\n"
         "  2  the command line was wrong; nothing was done\n"
         "\n"
         "Examples:\n"
         "  " +
         p +
         " to-tab table.txt -o table-tabs.txt\n"
         "  " +
         p +
         " to-dashes --in-place --verbose *.tsv\n"
         "  producer | " +
         p + " to-tab > converted.txt\n";
}

std::string VersionText(std::string_view program) {
  return std::string(program) + " " DASHTAB_VERSION "\n";
}

}  // namespace dashtab::cli
