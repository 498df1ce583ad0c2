// The fast path of ReplaceSubtext for the two searches that the conversion
// makes, "----" and a single TAB, over the whole text, every occurrence,
// case-sensitive. It gives exactly what the plain scan gives, the
// double-byte rule and the dropped final lone lead byte included.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace dashtab {

// The longest replacement that the fast path writes.
inline constexpr std::size_t kMaxFastReplacement = 16;

// Whether ReplaceAllFast handles this search text.
bool IsFastSearch(std::string_view search);

// The two kernels behind the fast path: SSE2, which every 64-bit x86
// processor has, and the wide one (AVX-512 with VBMI2 and BMI2), which
// takes "----" and a TAB into replacements of up to 4 bytes and leaves
// longer ones to SSE2. ReplaceAllFast takes the best that runs here,
// chosen once; the tests call each one directly.
enum class FastKernel { Sse2, Wide };

// Whether this processor and system run the kernel.
bool FastKernelRuns(FastKernel kernel);

// The wide kernel where it runs, else SSE2.
FastKernel BestFastKernel();

// Every occurrence of `search` in `text` replaced by `replacement`. Needs
// IsFastSearch(search) and a replacement of at most kMaxFastReplacement
// bytes. The result is allocated once, at a bound computed up front.
std::string ReplaceAllFast(std::string_view text, std::string_view search,
                           std::string_view replacement);
// The same into `result`, whose storage is reused when it is large enough:
// for a text converted piece by piece.
void ReplaceAllFast(std::string_view text, std::string_view search, std::string_view replacement,
                    std::string& result);
// Both with the given kernel, which must run here.
std::string ReplaceAllFast(std::string_view text, std::string_view search,
                           std::string_view replacement, FastKernel kernel);
void ReplaceAllFast(std::string_view text, std::string_view search, std::string_view replacement,
                    std::string& result, FastKernel kernel);

// The size that ReplaceAllFast reserves for its result, never less than the
// result: the text's length when the replacement is no longer than the
// search text, else the length plus the growth if every occurrence of the
// search byte began a match (exact for a TAB search when no TAB is the
// second byte of a character).
std::size_t FastOutputBound(std::string_view text, std::string_view search,
                            std::string_view replacement);
std::size_t FastOutputBound(std::string_view text, std::string_view search,
                            std::string_view replacement, FastKernel kernel);

}  // namespace dashtab
