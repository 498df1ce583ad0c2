// The replacement written the plainest way, one step of the scan at a time,
// to keep the program's own implementation honest in differential tests.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace dashtab::testing {

std::string ReferenceReplace(std::string_view text, std::string_view search,
                             const std::optional<std::string>& replacement,
                             std::optional<int> start, std::optional<int> count,
                             bool caseSensitive);

// Bytes written as hexadecimal pairs separated by blanks: "61 2D 09".
std::string Hex(const std::string& hexPairs);

}  // namespace dashtab::testing
