// libFuzzer target: the vector scan, each kernel that runs here, against
// the plain reference loop, and the conversion in pieces against the
// conversion of the whole. The first byte picks the search text and the
// replacement, and the length of the pieces; the rest is the text, zero
// bytes included.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/conversion.h"
#include "core/reference_replace.h"
#include "core/replace.h"
#include "core/replace_fast.h"

namespace {

struct Pair {
  const char* search;
  const char* replacement;
};

constexpr Pair kPairs[] = {
    {"----", "\t"}, {"\t", "----"}, {"----", ""},      {"\t", ""},
    {"----", "ab"}, {"\t", "wxyz"}, {"----", "-----"}, {"\t", "0123456789abcdef"},
};

void Check(bool same) {
  if (!same) {
    __builtin_trap();
  }
}

// The text up to its first zero byte, fed in pieces of 1 to 16 bytes whose
// lengths follow from `seed`, as the command line reads a file.
void CheckPieces(std::string_view text, std::uint8_t seed) {
  text = text.substr(0, text.find('\0'));
  for (const auto direction : {dashtab::Direction::DashesToTab, dashtab::Direction::TabToDashes}) {
    dashtab::ChunkedConversion conversion(direction);
    std::string pieces;
    std::string converted;
    unsigned state = seed;
    for (std::string_view rest = text; !rest.empty();) {
      state = state * 1103515245u + 12345u;
      const std::size_t length = std::min<std::size_t>(1 + (state >> 16) % 16, rest.size());
      conversion.Add(rest.substr(0, length), converted);
      pieces += converted;
      rest.remove_prefix(length);
    }
    conversion.Finish(converted);
    pieces += converted;
    Check(pieces == dashtab::ConvertText(dashtab::Text(text), direction).view());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  const Pair& pair = kPairs[data[0] % std::size(kPairs)];
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string want = dashtab::testing::ReferenceReplace(text, pair.search, pair.replacement,
                                                              std::nullopt, std::nullopt, true);
  for (auto kernel : {dashtab::FastKernel::Sse2, dashtab::FastKernel::Wide}) {
    if (dashtab::FastKernelRuns(kernel)) {
      Check(dashtab::ReplaceAllFast(text, pair.search, pair.replacement, kernel) == want);
      Check(dashtab::FastOutputBound(text, pair.search, pair.replacement, kernel) >= want.size());
    }
  }

  // Through the public operation, which cuts the text at its first zero byte.
  const dashtab::Text cut(text);
  Check(dashtab::ReplaceSubtext(cut, pair.search, dashtab::Text(pair.replacement)).view() ==
        dashtab::testing::ReferenceReplace(cut.view(), pair.search, pair.replacement, std::nullopt,
                                           std::nullopt, true));
  CheckPieces(text, data[0]);
  return 0;
}
