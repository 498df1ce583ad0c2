// Replacing occurrences of a subtext under the double-byte rule: a byte of
// 0x80 or above starts a two-byte character whose second byte is the next
// byte, whatever it is, and a match is only tried where a character starts.
#pragma once

#include <optional>

#include "core/text.h"

namespace dashtab {

// Replaces the occurrences of `search` in `text`, left to right, never
// overlapping, scanning from byte position `start` (counted from 1; omitted
// or below 1 means 1) and at most `count` times (omitted or negative: no
// limit; 0: none). An omitted replacement deletes each occurrence. Without
// `caseSensitive` the ASCII letters match either case.
//
// Once fewer bytes than the search text remain they are copied as they are;
// a lead byte that the scan reaches as the very last byte is dropped.
Text ReplaceSubtext(const Text& text, const Text& search,
                    const std::optional<Text>& replacement = std::nullopt,
                    std::optional<int> start = std::nullopt,
                    std::optional<int> count = std::nullopt, bool caseSensitive = true);

}  // namespace dashtab
