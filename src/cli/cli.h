// The command-line program: converts each input as the options say,
// reports failures and, when asked, what was done. Returns the exit status.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "cli/options.h"

namespace dashtab::cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitSomeFailed = 1;
inline constexpr int kExitUsage = 2;

// The replacements that turned a text of `textLength` bytes into
// `outputLength` bytes.
std::uint64_t CountReplacements(Direction direction, std::uint64_t textLength,
                                std::uint64_t outputLength);

int RunCommandLine(std::string_view program, std::span<const std::string> arguments);

}  // namespace dashtab::cli
