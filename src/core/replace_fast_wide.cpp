// The fast path's wide kernel: AVX-512 (BW, VBMI, VBMI2) with BMI2, taken
// only when the processor has them (checked once at run time); every other
// processor takes the SSE2 kernel. Only the functions marked DASHTAB_WIDE
// use these instructions, so the rest of the program runs anywhere.
//
// On Win64, GCC does not align the stack to 64 bytes, yet spills 512-bit
// registers with aligned moves: the Windows build assembles this file with
// -muse-unaligned-vector-move (see CMakeLists.txt).
#include <immintrin.h>

#include "core/replace_fast_parts.h"

#define DASHTAB_WIDE \
  __attribute__((target("avx512f,avx512bw,avx512vbmi,avx512vbmi2,bmi,bmi2,popcnt")))

namespace dashtab::fast {
namespace {

// The largest replacement the wide kernel writes.
constexpr std::size_t kMaxWideReplacement = 4;

DASHTAB_WIDE inline __m512i Load64(const char* p) {
  return _mm512_loadu_si512(p);
}

DASHTAB_WIDE inline void Store64(char* p, __m512i v) {
  _mm512_storeu_si512(p, v);
}

// Moves a mask into a general register for the bit work that follows. Left
// to itself, GCC does some of that work in mask registers, and every move
// between the two kinds of register on the way costs several cycles in the
// chain that runs from chunk to chunk.
inline Mask InGeneralRegister(Mask bits) {
  asm("" : "+r"(bits));
  return bits;
}

// The bits of `candidates` that are not second bytes of characters, from
// the bits of the chunk's lead bytes; updates `trail` as TrailBytes does. A
// chunk of single bytes only (plain ASCII text) skips the double-byte
// rule's bit work. A TAB or a dash is almost never a second byte, so the
// kernels go on with the candidates as they are, and only a chunk where one
// is takes the branch that clears it: the rest of the step does not wait
// for that bit work. (Left to itself, GCC folds the branch into the and-not
// that it guards, and the wait is back.)
inline Mask NotSecondBytes(Mask candidates, Mask lead, Mask& trail) {
  if ((lead | trail) == 0) {
    return candidates;
  }
  const Mask second = TrailBytes(lead, trail);
  if ((candidates & second) != 0) [[unlikely]] {
    candidates &= ~second;
    asm volatile("" : "+r"(candidates));
  }
  return candidates;
}

DASHTAB_WIDE inline Mask Equal(__m512i v, __m512i byte) {
  return InGeneralRegister(_mm512_cmpeq_epi8_mask(v, byte));
}

DASHTAB_WIDE inline Mask Leads(__m512i v) {
  return InGeneralRegister(_mm512_movepi8_mask(v));
}

// Writes the bytes of v that `keep` marks, packed, as one 64-byte store (the
// register form of the compress: the form that stores to memory is slow on
// some processors); gives the cursor after the kept bytes.
DASHTAB_WIDE inline char* WriteKept(char* cursor, Mask keep, __m512i v) {
  Store64(cursor, _mm512_maskz_compress_epi8(keep, v));
  return cursor + _mm_popcnt_u64(keep);
}

// "----" into R bytes, R at most 4, so the result is never longer than the
// text:
//
//   prev = 0                  -- the matches of the chunk before
//   for each 64-byte chunk x, while 64 more bytes follow it:
//     dashes  = bits of x == '-', with those of the next chunk for the
//               3 bytes that a match at the chunk's end reaches over
//     matches = dashes & next 3 bytes dashes & ~TrailBytes(leads)
//               & ~(bytes that matches of prev reach into)
//     in a run of dashes keep every fourth
//     byte j of each match (here or reaching over from prev) becomes
//     replacement[j] for j < R and is dropped for j >= R
//     compress the kept bytes, store 64, advance by their count
//
// No branch for any number of matches, but for the rare chunk with a run
// of dashes or a dash that is a second byte. Only the first byte of a match must
// begin a character: its other bytes, all below 0x80, follow bytes below
// 0x80 and so begin characters too.
template <std::size_t R>
DASHTAB_WIDE void DashesInto(std::string_view text, std::string_view replacement, Output& out) {
  const char* const src = text.data();
  const std::size_t n = text.size();
  const __m512i dash = _mm512_set1_epi8('-');
  __m512i placed[R > 0 ? R : 1];
  for (std::size_t j = 0; j < R; ++j) {
    placed[j] = _mm512_set1_epi8(replacement[j]);
  }

  char* cursor = out.begin();
  std::size_t base = 0;
  Mask prev = 0;
  Mask trail = 0;
  if (n >= 2 * kChunk) {
    __m512i x = Load64(src);
    Mask dashes = Equal(x, dash);
    for (; n - base >= 2 * kChunk; base += kChunk) {
      const __m512i next = Load64(src + base + kChunk);
      const Mask nextDashes = Equal(next, dash);
      const Mask reached = prev >> 61 | prev >> 62 | prev >> 63;
      Mask matches =
          NotSecondBytes(dashes & (dashes >> 1 | nextDashes << 63) &
                             (dashes >> 2 | nextDashes << 62) & (dashes >> 3 | nextDashes << 61),
                         Leads(x), trail) &
          ~reached;
      if ((matches & (matches << 1 | matches << 2 | matches << 3)) != 0) {
        matches = NonOverlapping(matches);
      }
      // Byte j of each match, here or reaching over from the chunk before.
      const Mask at[4] = {matches, matches << 1 | prev >> 63, matches << 2 | prev >> 62,
                          matches << 3 | prev >> 61};
      __m512i v = x;
      Mask dropped = 0;
      for (std::size_t j = 0; j < 4; ++j) {  // unrolled: R is a constant
        if (j < R) {
          v = _mm512_mask_mov_epi8(v, at[j], placed[j < R ? j : 0]);
        } else {
          dropped |= at[j];
        }
      }
      cursor = WriteKept(out.Room(cursor, kChunk), ~dropped, v);
      prev = matches;
      x = next;
      dashes = nextDashes;
    }
  }
  // The last match may reach into the bytes that the plain scan finishes:
  // they are skipped, and what the match puts there written.
  const Mask reached = prev >> 61 | prev >> 62 | prev >> 63;
  const std::size_t over = static_cast<std::size_t>(_mm_popcnt_u64(reached));
  if (over > 0) {
    const std::size_t from = 4 - over < R ? 4 - over : R;
    cursor = out.Append(cursor, replacement.data() + from, R - from);
  }
  const std::size_t last = base + over;
  FinishPlain(text, "----", replacement, last, over > 0 ? last : base + trail, cursor, out);
}

// One TAB into R bytes, R at most 4. Each byte of a 16-byte quarter of the
// chunk is given 4 slots, bit 4i to 4i+3 of a 64-bit mask: a matched TAB
// keeps the first R of its slots, every other byte the first one only.
//
// A replacement of one byte repeated (such as "----"): each 32-byte half
// whose result fits in 64 bytes takes one expand, which places its bytes (a
// TAB already turned into the replacement's byte) where the kept first
// slots fall and fills the other kept slots with the replacement's byte:
//
//   for each 64-byte chunk x, while more than 64 bytes are left:
//     matches = bits of x == TAB & ~TrailBytes(leads)
//     x       = replacement byte where matches
//     for each half, of quarters lo and hi:
//       keep(q) = (0x1111... & ~spread) | spread * (2^R - 1),
//                 spread = pdep(matches of q, 0x1111...)
//       placed  = pext(0x1111..., keep(lo)) | pext(..., keep(hi)) << |keep(lo)|
//       if |keep(lo)| + |keep(hi)| <= 64: expand the half's bytes to the
//         placed bits, the replacement byte elsewhere; store 64; advance
//       else: the general way, for each of the two quarters
//
// The general way, for any replacement, one quarter at a time: spread each
// byte over its 4 slots (vpermb), the replacement's bytes in a matched
// TAB's slots, and compress the kept slots.
constexpr Mask kFirstOfFour = 0x1111111111111111;

// The slots that a quarter keeps, from the quarter's 16 bits of matches.
template <std::size_t R>
DASHTAB_WIDE inline Mask KeptSlots(Mask matches, std::size_t quarter) {
  const Mask matched = _pdep_u64((matches >> (16 * quarter)) & 0xFFFF, kFirstOfFour);
  return (kFirstOfFour & ~matched) | matched * ((Mask{1} << R) - 1);
}

// The replacement's byte everywhere, for the expand; and what the general
// way of a quarter needs: the replacement's bytes over the 4 slots of each
// byte, and the permutes that spread each quarter.
struct SpreadTables {
  __m512i fill;
  __m512i replaced;
  __m512i spread[4];
};

// The general way for one quarter.
template <std::size_t R>
DASHTAB_WIDE inline char* WriteQuarter(char* cursor, __m512i x, Mask matches, std::size_t quarter,
                                       const SpreadTables& tables) {
  const Mask matched = _pdep_u64((matches >> (16 * quarter)) & 0xFFFF, kFirstOfFour);
  // The spread bytes, with the replacement in the slots of a matched TAB:
  // one permute that keeps `replaced` where its mask is clear.
  const __m512i slots =
      _mm512_mask_permutexvar_epi8(tables.replaced, ~(matched * 0xF), tables.spread[quarter], x);
  return WriteKept(cursor, KeptSlots<R>(matches, quarter), slots);
}

// The half of quarters `lo` and lo + 1; `half` holds its bytes first, TABs
// already replaced.
template <std::size_t R>
DASHTAB_WIDE inline char* WriteHalf(char* cursor, __m512i x, __m512i half, Mask matches,
                                    std::size_t lo, bool repeated, const SpreadTables& tables) {
  const Mask low = KeptSlots<R>(matches, lo);
  const Mask high = KeptSlots<R>(matches, lo + 1);
  const std::size_t lowCount = static_cast<std::size_t>(_mm_popcnt_u64(low));
  const std::size_t count = lowCount + static_cast<std::size_t>(_mm_popcnt_u64(high));
  if (repeated && count <= kChunk) [[likely]] {
    const Mask placed = _pext_u64(kFirstOfFour, low) | _pext_u64(kFirstOfFour, high) << lowCount;
    Store64(cursor, _mm512_mask_expand_epi8(tables.fill, placed, half));
    return cursor + count;
  }
  cursor = WriteQuarter<R>(cursor, x, matches, lo, tables);
  return WriteQuarter<R>(cursor, x, matches, lo + 1, tables);
}

template <std::size_t R>
DASHTAB_WIDE void TabInto(std::string_view text, std::string_view replacement, Output& out) {
  const char* const src = text.data();
  const std::size_t n = text.size();
  const __m512i tab = _mm512_set1_epi8('\t');
  bool repeated = R > 0;
  char pattern[kChunk] = {};
  char spreads[4][kChunk];
  for (std::size_t s = 0; s < kChunk; ++s) {
    pattern[s] = s % 4 < R ? replacement[s % 4] : '\0';
    repeated = repeated && (s % 4 >= R || pattern[s] == replacement[0]);
    for (std::size_t q = 0; q < 4; ++q) {
      spreads[q][s] = static_cast<char>(16 * q + s / 4);
    }
  }
  const __m512i fill = _mm512_set1_epi8(R > 0 ? replacement[0] : '\0');
  const SpreadTables tables = {
      fill,
      Load64(pattern),
      {Load64(spreads[0]), Load64(spreads[1]), Load64(spreads[2]), Load64(spreads[3])}};

  char* cursor = out.begin();
  std::size_t base = 0;
  Mask trail = 0;
  // At least one byte follows the last chunk, so that a trail byte after it
  // lies inside the text; a final lone lead byte is left to the plain scan.
  for (; n - base > kChunk; base += kChunk) {
    const __m512i x = Load64(src + base);
    const Mask matches = NotSecondBytes(Equal(x, tab), Leads(x), trail);
    const __m512i filled = _mm512_mask_mov_epi8(x, matches, fill);
    cursor = out.Room(cursor, 4 * kChunk);
    cursor = WriteHalf<R>(cursor, x, filled, matches, 0, repeated, tables);
    cursor = WriteHalf<R>(cursor, x, _mm512_maskz_shuffle_i64x2(0x0F, filled, filled, 0xEE),
                          matches, 2, repeated, tables);
  }
  FinishPlain(text, "\t", replacement, base, base + trail, cursor, out);
}

template <std::size_t R>
void ReplaceWith(std::string_view text, std::string_view search, std::string_view replacement,
                 Output& out) {
  if (search.size() == 4) {
    DashesInto<R>(text, replacement, out);
  } else {
    TabInto<R>(text, replacement, out);
  }
}

}  // namespace

bool WideKernelRuns() {
  // The check covers the system too: the processor's features count only
  // when the system saves the 512-bit registers.
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
         __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512vbmi2") &&
         __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") &&
         __builtin_cpu_supports("popcnt");
}

bool WideKernelTakes(std::string_view search, std::string_view replacement) {
  return (search == "----" || search == "\t") && replacement.size() <= kMaxWideReplacement;
}

void WideReplaceAll(std::string_view text, std::string_view search, std::string_view replacement,
                    Output& out) {
  switch (replacement.size()) {
    case 0:
      return ReplaceWith<0>(text, search, replacement, out);
    case 1:
      return ReplaceWith<1>(text, search, replacement, out);
    case 2:
      return ReplaceWith<2>(text, search, replacement, out);
    case 3:
      return ReplaceWith<3>(text, search, replacement, out);
    default:
      return ReplaceWith<4>(text, search, replacement, out);
  }
}

// From the end to the start: the conversion that follows reads the text
// from the start, so the bytes that this pass leaves in the cache are the
// ones it reads first.
DASHTAB_WIDE std::size_t WideCountByte(std::string_view text, char byte) {
  const __m512i wanted = _mm512_set1_epi8(byte);
  const char* const begin = text.data();
  const char* p = begin + text.size();
  std::size_t total = 0;
  for (; p - begin >= static_cast<std::ptrdiff_t>(kChunk); p -= kChunk) {
    total += static_cast<std::size_t>(_mm_popcnt_u64(Equal(Load64(p - kChunk), wanted)));
  }
  for (; p > begin; --p) {
    total += p[-1] == byte ? 1 : 0;
  }
  return total;
}

}  // namespace dashtab::fast
