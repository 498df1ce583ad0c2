// libFuzzer target: the vector scan, each kernel that runs here, against
// the plain reference loop. The first byte picks the search text and the
// replacement; the rest is the text, zero bytes included.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

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
  return 0;
}
