// An input converted onto an output piece by piece, in memory that stays
// the same for any size of input.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "cli/platform.h"
#include "core/conversion.h"

namespace dashtab::cli {

struct Streamed {
  std::uint64_t bytesIn = 0;
  std::uint64_t bytesOut = 0;
  std::optional<std::uint64_t> zeroAt;  // where the text ended early
  FileStatus read;
  FileStatus written;
};

// Reads the input to its end, converting the text and writing the result.
// After a zero byte the rest of the input is only counted. A read or write
// failure ends the stream; the output is not committed here. `progress` is
// called with the bytes read so far. Throws std::bad_alloc, or
// std::system_error when no thread can be started.
Streamed ConvertStream(Input& input, Output& output, Direction direction,
                       const std::function<void(std::uint64_t done)>& progress);

}  // namespace dashtab::cli
