#include "core/replace_fast.h"

#include "core/replace_fast_parts.h"

#include <emmintrin.h>

#include <cstdint>
#include <cstring>

namespace dashtab {
namespace {

using fast::kChunk;
using fast::Mask;
using fast::NonOverlapping;
using fast::Output;
using fast::TrailBytes;

// The vector loop keeps 128 bytes of look-ahead after each 64-byte chunk:
// "----" looks at the next 3 bytes, and the bytes before a match, fewer
// than 128, are copied as 128 bytes, reading past their end.
constexpr std::size_t kLookAhead = 2 * kChunk;

inline __m128i Load16(const char* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

inline void Store16(char* p, __m128i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

inline Mask Bits16(__m128i v) {
  return static_cast<Mask>(static_cast<unsigned>(_mm_movemask_epi8(v)));
}

// Copies N bytes in whole blocks; the caller keeps only those it needs.
template <std::size_t N>
inline void Copy(char* to, const char* from) {
  for (std::size_t i = 0; i < N; i += 16) {
    Store16(to + i, Load16(from + i));
  }
}

inline std::size_t Lowest(Mask bits) {
  return static_cast<std::size_t>(__builtin_ctzll(bits));
}

// The place of the lowest bit, 64 when there is none, without a branch.
inline std::size_t LowestOr64(Mask bits) {
  return Lowest(bits | Mask{1} << 63) + (bits == 0 ? 1 : 0);
}

// One bit per byte of a 64-byte chunk, bit i for byte i.
struct ChunkBits {
  Mask lead;    // bytes of 0x80 or above
  Mask needle;  // bytes equal to the first byte of the search text
};

ChunkBits ScanChunk(const char* p, __m128i needle) {
  const __m128i v0 = Load16(p);
  const __m128i v1 = Load16(p + 16);
  const __m128i v2 = Load16(p + 32);
  const __m128i v3 = Load16(p + 48);
  ChunkBits bits;
  bits.lead = Bits16(v0) | Bits16(v1) << 16 | Bits16(v2) << 32 | Bits16(v3) << 48;
  bits.needle = Bits16(_mm_cmpeq_epi8(v0, needle)) | Bits16(_mm_cmpeq_epi8(v1, needle)) << 16 |
                Bits16(_mm_cmpeq_epi8(v2, needle)) << 32 | Bits16(_mm_cmpeq_epi8(v3, needle)) << 48;
  return bits;
}

// The replacement, padded to a whole block so that it is written with one
// store.
struct Replacement {
  explicit Replacement(std::string_view bytes) : size(bytes.size()) {
    char padded[16] = {};
    bytes.copy(padded, sizeof padded);
    block = Load16(padded);
  }
  char* WriteAt(char* cursor) const {
    Store16(cursor, block);
    return cursor + size;
  }
  __m128i block;
  std::size_t size;
};

std::size_t CountByteSse2(std::string_view text, char byte) {
  const __m128i needle = _mm_set1_epi8(byte);
  const char* p = text.data();
  std::size_t left = text.size();
  std::size_t total = 0;
  while (left >= 16) {
    // Byte counters of 8 bits: at most 255 blocks before they are summed.
    const std::size_t blocks = left / 16 < 255 ? left / 16 : 255;
    __m128i counts = _mm_setzero_si128();
    for (std::size_t i = 0; i < blocks; ++i, p += 16) {
      counts = _mm_sub_epi8(counts, _mm_cmpeq_epi8(Load16(p), needle));
    }
    const __m128i sums = _mm_sad_epu8(counts, _mm_setzero_si128());
    total += static_cast<std::size_t>(_mm_cvtsi128_si64(sums)) +
             static_cast<std::size_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums)));
    left -= blocks * 16;
  }
  for (; left > 0; --left, ++p) {
    total += *p == byte ? 1 : 0;
  }
  return total;
}

// Writes text[last, m) for the lowest match m of the chunk at base, or
// text[last, chunk end) when there is none, and the replacement, kept only
// for a match; moves `last` past what it wrote. Copies N bytes from `last`,
// so the caller makes sure that m is within N bytes of it. Without a match
// `last` may already be past the chunk's end (a match reached over it), and
// nothing is written.
template <std::size_t S, std::size_t N>
inline char* WriteStep(char* cursor, const char* src, std::size_t& last, std::size_t base,
                       Mask matches, const Replacement& replacement) {
  const std::size_t any = std::size_t{0} - (matches != 0);  // all ones or none
  const std::size_t at = base + LowestOr64(matches);
  const std::size_t to = at > last ? at : last;
  Copy<N>(cursor, src + last);
  cursor += to - last;
  Store16(cursor, replacement.block);
  cursor += replacement.size & any;
  last = to + (S & any);
  return cursor;
}

// The design, for a search text of S bytes whose bytes are all the same
// byte N below 0x80 ("----" or one TAB):
//
//   reserve the bound on the result's size once
//   last = 0                 -- the first byte not yet written out
//   trail = false            -- is the chunk's first byte a second byte?
//   for each 64-byte chunk at base, while 128 more bytes follow it:
//     leads   = bits of the bytes >= 0x80        (movemask)
//     needles = bits of the bytes == N           (cmpeq, movemask)
//     matches = needles & ~TrailBytes(leads, trail)     (updates trail)
//     if S == 4: matches &= needles>>1 & needles>>2 & needles>>3, taking
//                the missing high bits from the next 3 bytes; drop those
//                below last; in a run of dashes keep every fourth
//     twice: write text[last, next match or chunk end) and the
//       replacement, kept only when there was a match; last = after it
//       (no branch)
//     for each further match m: write text[last, m) and the replacement;
//       last = m + S
//   finish with the plain scan from the first character start at or after
//   base that is not inside a match, which also drops a final lone lead
//
// Only the first byte of a match must begin a character: the bytes after a
// byte below 0x80 begin characters, and matches consist of such bytes only,
// so they never change where characters begin.
template <std::size_t S>
void ScanAndWrite(std::string_view text, std::string_view search, std::string_view replacementBytes,
                  Output& out) {
  const Replacement replacement(replacementBytes);
  const char* const src = text.data();
  const std::size_t n = text.size();
  const __m128i needle = _mm_set1_epi8(search[0]);

  // The most that one chunk writes: the bytes held over from the chunk
  // before, its own, a replacement per byte, and whole blocks past them.
  const std::size_t room = kChunk * (replacement.size + 3);
  char* cursor = out.begin();
  std::size_t last = 0;
  std::size_t base = 0;
  Mask trail = 0;
  for (; n - base >= kChunk + kLookAhead; base += kChunk) {
    const ChunkBits bits = ScanChunk(src + base, needle);
    Mask matches = bits.needle & ~TrailBytes(bits.lead, trail);
    if constexpr (S == 4) {
      const Mask next = Bits16(_mm_cmpeq_epi8(Load16(src + base + kChunk), needle));
      matches &= (bits.needle >> 1 | next << 63) & (bits.needle >> 2 | next << 62) &
                 (bits.needle >> 3 | next << 61);
      // A match that began in the chunk before may reach 3 bytes into it.
      matches &= ~Mask{0} << (last > base ? last - base : 0);
      if ((matches & (matches << 1 | matches << 2 | matches << 3)) != 0) {
        matches = NonOverlapping(matches);
      }
    }
    // Two steps for every chunk, whether it has matches or not, so that the
    // common chunk of up to two takes no branch: each writes out the bytes
    // up to the next match (or the chunk's end) and the replacement, of
    // which only the part that belongs there is kept.
    cursor = out.Room(cursor, room);
    cursor = WriteStep<S, 2 * kChunk>(cursor, src, last, base, matches, replacement);
    matches &= matches - 1;
    cursor = WriteStep<S, kChunk>(cursor, src, last, base, matches, replacement);
    matches &= matches - 1;
    // Further matches in the chunk follow the one before within 64 bytes.
    while (matches != 0) {
      const std::size_t at = base + Lowest(matches);
      Copy<kChunk>(cursor, src + last);
      cursor = replacement.WriteAt(cursor + (at - last));
      last = at + S;
      matches &= matches - 1;
    }
  }

  const std::size_t pos = last > base ? last : base + trail;
  fast::FinishPlain(text, search, replacementBytes, last, pos, cursor, out);
}

std::size_t CountByte(std::string_view text, char byte, FastKernel kernel) {
  return kernel == FastKernel::Wide ? fast::WideCountByte(text, byte) : CountByteSse2(text, byte);
}

// The kernel, chosen once: the wide one where the processor has it.
FastKernel ChosenKernel() {
  static const FastKernel kernel = BestFastKernel();
  return kernel;
}

}  // namespace

bool IsFastSearch(std::string_view search) {
  return search == "----" || search == "\t";
}

FastKernel BestFastKernel() {
  return FastKernelRuns(FastKernel::Wide) ? FastKernel::Wide : FastKernel::Sse2;
}

bool FastKernelRuns(FastKernel kernel) {
  return kernel == FastKernel::Sse2 || fast::WideKernelRuns();
}

std::size_t FastOutputBound(std::string_view text, std::string_view search,
                            std::string_view replacement) {
  return FastOutputBound(text, search, replacement, ChosenKernel());
}

std::size_t FastOutputBound(std::string_view text, std::string_view search,
                            std::string_view replacement, FastKernel kernel) {
  if (replacement.size() <= search.size()) {
    return text.size();
  }
  const std::size_t most = CountByte(text, search[0], kernel) / search.size();
  return text.size() + most * (replacement.size() - search.size());
}

void ReplaceAllFast(std::string_view text, std::string_view search, std::string_view replacement,
                    std::string& result, FastKernel kernel) {
  result.clear();
  result.reserve(FastOutputBound(text, search, replacement, kernel));
  Output out(result);
  if (kernel == FastKernel::Wide && fast::WideKernelTakes(search, replacement)) {
    fast::WideReplaceAll(text, search, replacement, out);
  } else if (search.size() == 4) {
    ScanAndWrite<4>(text, search, replacement, out);
  } else {
    ScanAndWrite<1>(text, search, replacement, out);
  }
}

void ReplaceAllFast(std::string_view text, std::string_view search, std::string_view replacement,
                    std::string& result) {
  ReplaceAllFast(text, search, replacement, result, ChosenKernel());
}

std::string ReplaceAllFast(std::string_view text, std::string_view search,
                           std::string_view replacement, FastKernel kernel) {
  std::string result;
  ReplaceAllFast(text, search, replacement, result, kernel);
  return result;
}

std::string ReplaceAllFast(std::string_view text, std::string_view search,
                           std::string_view replacement) {
  return ReplaceAllFast(text, search, replacement, ChosenKernel());
}

}  // namespace dashtab
