// The vector scan against the plain reference loop, on every input shape
// that its blocks, look-ahead and carried state could get wrong.
#include "core/replace_fast.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "core/reference_replace.h"
#include "core/replace.h"

namespace dashtab {
namespace {

using testing::ReferenceReplace;

struct Pair {
  const char* search;
  const char* replacement;
};

// The two conversions, deletions, replacements of distinct bytes (a byte
// written in the wrong place shows) up to the longest that the wide kernel
// takes, and the longest replacement of all, which it leaves to SSE2.
const Pair kPairs[] = {
    {"----", "\t"},
    {"\t", "----"},
    {"----", ""},
    {"\t", ""},
    {"----", "wxyz"},
    {"\t", "xyz"},
    {"\t", "0123456789abcdef"},
};

// Every kernel that runs on this processor: the tests hold each one to the
// reference, not only the one that ReplaceAllFast picks.
std::vector<FastKernel> RunnableKernels() {
  std::vector<FastKernel> kernels;
  for (FastKernel kernel : {FastKernel::Sse2, FastKernel::Wide}) {
    if (FastKernelRuns(kernel)) {
      kernels.push_back(kernel);
    }
  }
  return kernels;
}

const char* KernelName(FastKernel kernel) {
  return kernel == FastKernel::Sse2 ? "SSE2" : "wide";
}

std::size_t FirstDifference(std::string_view a, std::string_view b) {
  std::size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) {
    ++i;
  }
  return i;
}

// Compares the result of the vector scan on `text`, placed `align` bytes
// into a heap block that ends where the text ends (so that AddressSanitizer
// sees any read past the end), with the reference.
::testing::AssertionResult SameAsReference(const std::string& text, std::size_t align = 0) {
  std::unique_ptr<char[]> block(new char[align + text.size()]);
  std::memcpy(block.get() + align, text.data(), text.size());
  const std::string_view view(block.get() + align, text.size());
  // Each kernel through all the pairs in turn: the output buffer then holds
  // another pair's result, never this one's, where a kernel fails to write.
  for (FastKernel kernel : RunnableKernels()) {
    for (const auto& pair : kPairs) {
      const std::string want =
          ReferenceReplace(text, pair.search, pair.replacement, std::nullopt, std::nullopt, true);
      const std::string got = ReplaceAllFast(view, pair.search, pair.replacement, kernel);
      if (got != want) {
        const std::size_t at = FirstDifference(got, want);
        return ::testing::AssertionFailure()
               << KernelName(kernel) << " kernel, search "
               << ::testing::PrintToString(std::string(pair.search)) << " into "
               << ::testing::PrintToString(std::string(pair.replacement)) << ", text of "
               << text.size() << " bytes at alignment " << align << ": result of " << got.size()
               << " bytes, reference " << want.size() << " bytes, first difference at byte " << at;
      }
      const std::size_t bound = FastOutputBound(view, pair.search, pair.replacement, kernel);
      if (bound < got.size()) {
        return ::testing::AssertionFailure()
               << KernelName(kernel) << " kernel: bound " << bound << " below " << got.size();
      }
    }
  }
  return ::testing::AssertionSuccess();
}

std::string Repeat(std::string_view part, std::size_t times) {
  std::string out;
  for (std::size_t i = 0; i < times; ++i) {
    out += part;
  }
  return out;
}

const std::string kLead = "\xB0";

// Answers worked out by hand, around the block edges, so that a mistake the
// reference shares cannot hide.
TEST(ReplaceAllFast, KnownAnswers) {
  const std::string a100(100, 'a');
  struct Case {
    const char* name;
    std::string text;
    const char* search;
    const char* replacement;
    std::string result;
  };
  const Case cases[] = {
      {"dashes across the first chunk edge", std::string(62, 'a') + "----" + a100, "----", "\t",
       std::string(62, 'a') + "\t" + a100},
      {"130 dashes", Repeat("-", 130) + a100, "----", "\t", Repeat("\t", 32) + "--" + a100},
      {"a dash taken by a lead byte before five dashes",
       std::string(62, 'a') + kLead + "-----" + a100, "----", "\t",
       std::string(62, 'a') + kLead + "-\t" + a100},
      {"TAB after 63 lead bytes is a second byte", Repeat(kLead, 63) + "\t" + a100, "\t", "----",
       Repeat(kLead, 63) + "\t" + a100},
      {"TAB after 64 lead bytes begins a character", Repeat(kLead, 64) + "\t" + a100, "\t", "----",
       Repeat(kLead, 64) + "----" + a100},
      {"TAB after 129 lead bytes", std::string(5, 'a') + Repeat(kLead, 129) + "\t\t" + a100, "\t",
       "----", std::string(5, 'a') + Repeat(kLead, 129) + "\t----" + a100},
      {"final lone lead dropped by the TAB search", a100 + a100 + kLead, "\t", "----", a100 + a100},
      {"final lone lead kept by the dash search", a100 + a100 + kLead, "----", "\t",
       a100 + a100 + kLead},
      {"three final leads: a pair and a dropped one", a100 + Repeat(kLead, 3), "\t", "----",
       a100 + Repeat(kLead, 2)},
      {"a final lead as second byte stays", a100 + "\t" + Repeat(kLead, 2), "\t", "----",
       a100 + "----" + Repeat(kLead, 2)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (FastKernel kernel : RunnableKernels()) {
      EXPECT_EQ(ReplaceAllFast(c.text, c.search, c.replacement, kernel), c.result)
          << KernelName(kernel);
    }
    EXPECT_EQ(ReplaceSubtext(Text(c.text), Text(c.search), Text(c.replacement)).view(), c.result);
  }
}

// Each pattern at every offset over the first chunks: interesting bytes on
// and around the 16- and 64-byte edges, matches straddling them.
TEST(ReplaceAllFast, PatternsAtEveryOffset) {
  const std::string patterns[] = {
      "-",          "--",           "---",        "----",         "-----",
      "--------",   "---------",    "\t",         "\t\t",         kLead + "\t",
      kLead + "-",  kLead + "----", "\x81\x40",   "\xFF\xFF\t",   kLead + kLead + kLead + "----",
      "----\t----", "-\t-\t",       "\t" + kLead, "----" + kLead,
  };
  for (const auto& pattern : patterns) {
    for (std::size_t offset = 0; offset < 160; ++offset) {
      std::string text(260, 'a');
      text.replace(offset, pattern.size(), pattern);
      ASSERT_TRUE(SameAsReference(text))
          << "pattern " << ::testing::PrintToString(pattern) << " at " << offset;
    }
  }
}

// Each chunk takes its first two matches without a branch and loops over
// the rest: none, one, two and more matches in a chunk, at every spacing,
// the last of them reaching over the chunk's end or not.
TEST(ReplaceAllFast, MatchesPerChunk) {
  for (const std::string separator : {"----", "\t"}) {
    for (std::size_t gap = 0; gap <= 40; ++gap) {
      for (std::size_t count = 1; count <= 5; ++count) {
        for (std::size_t offset = 0; offset < 70; ++offset) {
          std::string text(400, 'a');
          for (std::size_t i = 0, at = offset; i < count; ++i, at += separator.size() + gap) {
            text.replace(at, separator.size(), separator);
          }
          ASSERT_TRUE(SameAsReference(text)) << ::testing::PrintToString(separator) << " " << count
                                             << " gap " << gap << " from " << offset;
        }
      }
    }
  }
}

// A run of lead bytes pairs up; only a run of odd length takes the byte
// after it. Runs of every length up to past one chunk, at every offset.
TEST(ReplaceAllFast, LeadRunsOfOddAndEvenLength) {
  const std::string followers[] = {"\t", "-", "----", "-----", "a"};
  for (std::size_t run = 1; run <= 70; ++run) {
    for (const auto& follower : followers) {
      for (std::size_t offset = 0; offset < 80; ++offset) {
        std::string text(240, 'a');
        text.replace(offset, run, Repeat(kLead, run));
        text.replace(offset + run, follower.size(), follower);
        ASSERT_TRUE(SameAsReference(text))
            << "run " << run << " then " << ::testing::PrintToString(follower) << " at " << offset;
      }
    }
  }
}

// A lead byte at the very end, as a character of its own or as the second
// byte of one, and runs of lead bytes reaching from the vector loop into
// the plain scan that finishes the text.
TEST(ReplaceAllFast, FinalLeadByteAndRunsIntoTheEnd) {
  for (std::size_t length = 0; length < 200; ++length) {
    for (std::size_t leads : {1, 2, 3, 4, 63, 64, 65, 130}) {
      for (const char* after : {"", "\t", "\t\t", "-\t", "----"}) {
        std::string text(length, length % 3 == 0 ? '-' : 'a');
        text += Repeat(kLead, leads) + after;
        ASSERT_TRUE(SameAsReference(text))
            << length << " bytes, " << leads << " leads, " << ::testing::PrintToString(after);
      }
    }
  }
}

// Runs of TABs that make a 32-byte half's result longer than one 64-byte
// register (more than 10 TABs into "----"), or just not, at every offset:
// the wide kernel writes such a half a quarter at a time.
TEST(ReplaceAllFast, RunsOfTabsAroundTheLongestHalf) {
  // Letters that change from byte to byte, so that a byte out of place, or
  // a stale one left in the output, shows.
  std::string letters(300, 'a');
  for (std::size_t i = 0; i < letters.size(); ++i) {
    letters[i] = static_cast<char>('a' + i % 26);
  }
  for (std::size_t run : {9, 10, 11, 12, 16, 32, 64}) {
    for (std::size_t offset = 0; offset < 100; ++offset) {
      std::string text = letters;
      text.replace(offset, run, std::string(run, '\t'));
      ASSERT_TRUE(SameAsReference(text)) << run << " TABs at " << offset;
      // Every other byte a TAB, then with the first of them a lead byte,
      // which takes the byte after it.
      text.replace(offset, run, Repeat("\ta", run / 2));
      ASSERT_TRUE(SameAsReference(text)) << run / 2 << " TABs apart at " << offset;
      text.replace(offset, 1, kLead);
      ASSERT_TRUE(SameAsReference(text)) << run / 2 << " TABs after a lead at " << offset;
    }
  }
}

// A match in the vector loop's last chunk that reaches into the bytes the
// plain scan finishes, and matches just before the end, for every length
// around the loop's limits.
TEST(ReplaceAllFast, MatchesAtTheEnd) {
  for (std::size_t length = 124; length <= 330; ++length) {
    for (std::size_t back = 4; back <= 70; ++back) {
      std::string text(length, 'a');
      text.replace(length - back, 4, "----");
      if (back > 4) {
        text[length - back + 4] = '\t';
      }
      ASSERT_TRUE(SameAsReference(text)) << length << " bytes, match " << back << " from the end";
    }
  }
}

// The kernel that ReplaceAllFast takes runs here, and so does SSE2; the
// tests above ran every kernel listed in the property "kernels".
TEST(FastKernel, ChosenAndBaselineRun) {
  EXPECT_TRUE(FastKernelRuns(BestFastKernel()));
  EXPECT_TRUE(FastKernelRuns(FastKernel::Sse2));
  std::string names;
  for (FastKernel kernel : RunnableKernels()) {
    names += names.empty() ? "" : " ";
    names += KernelName(kernel);
  }
  RecordProperty("kernels", names);
  std::printf("fast-path kernels tested here: %s\n", names.c_str());
}

std::string RandomBytes(std::mt19937& rng, std::string_view alphabet, std::size_t length) {
  std::string text(length, '\0');
  for (auto& c : text) {
    c = alphabet[rng() % alphabet.size()];
  }
  return text;
}

const std::string kDense =
    "-\t\xB0\x81"
    "a-";

// A random core with 0 to 515 bytes on each side, of plain bytes or of
// whole double-byte characters, at several alignments.
TEST(ReplaceAllFast, PaddedOnEachSideAndAligned) {
  std::mt19937 rng(515);
  for (std::size_t pad = 0; pad <= 515; ++pad) {
    const std::size_t other = (pad * 7 + 3) % 516;
    const std::string core = RandomBytes(rng, kDense, 1 + rng() % 40);
    const std::string fill = pad % 2 == 0 ? "x" : "\xB0\xA1";
    for (const auto& [left, right] : {std::pair{pad, other}, std::pair{other, pad}}) {
      const std::string text = Repeat(fill, left) + core + Repeat(fill, right);
      const std::size_t align = rng() % 64;
      ASSERT_TRUE(SameAsReference(text, align)) << "padding " << left << " and " << right;
    }
  }
  const std::string text = RandomBytes(rng, kDense, 1000);
  for (std::size_t align = 0; align < 64; ++align) {
    ASSERT_TRUE(SameAsReference(text, align));
  }
}

// Long random texts over the alphabets of the benchmark's inputs and worse.
TEST(ReplaceAllFast, LongRandomTexts) {
  const std::string alphabets[] = {
      "abc \r\n\t",                                       // plain text with TABs
      "ab-----\t",                                        // dashes packed close
      "\xB0\xA1\xC4\xE3\x81\x40\x7E\t-",                  // double-byte text
      "\x80\x81\xFE\xFF",                                 // every byte a lead
      std::string("-\t\xB0\x09\x2D\x41\x80\xFF\x01", 9),  // everything at once
  };
  std::mt19937 rng(64);
  for (const auto& alphabet : alphabets) {
    for (std::size_t length : {4095, 65536, 100003}) {
      const std::string text = RandomBytes(rng, alphabet, length);
      ASSERT_TRUE(SameAsReference(text, rng() % 16)) << ::testing::PrintToString(alphabet);
    }
  }
}

// ReplaceSubtext takes the vector scan only for the whole text, every
// occurrence, case-sensitive; the other combinations give the plain loop's
// results on texts long enough for the vector loop.
TEST(ReplaceAllFast, ReplaceSubtextAgreesOnLongTexts) {
  std::mt19937 rng(99);
  const std::optional<int> starts[] = {std::nullopt, 1, 70};
  const std::optional<int> counts[] = {std::nullopt, -1, 3};
  for (int round = 0; round < 200; ++round) {
    const std::string text = RandomBytes(rng, kDense, 100 + rng() % 400);
    const auto& pair = kPairs[rng() % std::size(kPairs)];
    const auto start = starts[rng() % std::size(starts)];
    const auto count = counts[rng() % std::size(counts)];
    const bool caseSensitive = rng() % 2 == 0;
    const Text got = ReplaceSubtext(Text(text), Text(pair.search), Text(pair.replacement), start,
                                    count, caseSensitive);
    ASSERT_EQ(got.view(),
              ReferenceReplace(text, pair.search, pair.replacement, start, count, caseSensitive))
        << "round " << round;
  }
}

TEST(FastOutputBound, IsExactForTabsBetweenCharacters) {
  const std::string text = "a\tb\t\xB0\xA1\t" + std::string(100, 'x');
  EXPECT_EQ(FastOutputBound(text, "\t", "----"), ReplaceAllFast(text, "\t", "----").size());
  EXPECT_EQ(FastOutputBound(text, "----", "\t"), text.size());
}

}  // namespace
}  // namespace dashtab
