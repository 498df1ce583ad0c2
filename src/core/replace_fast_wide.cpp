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
// No branch for any number of matches. Only the first byte of a match must
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
      Mask matches = dashes & ~TrailBytes(Leads(x), trail) & ~reached &
                     (dashes >> 1 | nextDashes << 63) & (dashes >> 2 | nextDashes << 62) &
                     (dashes >> 3 | nextDashes << 61);
      if ((matches & (matches << 1 | matches << 2 | matches << 3)) != 0) {
        matches = NonOverlapping(matches);
      }
      // Byte j of each match, here or reaching over from the chunk before.
      const Mask at[4] = {matches, matches << 1 | prev >> 63, matches << 2 | prev >> 62,
                          matches << 3 | prev >> 61};
      __m512i v = x;
      Mask dropped = 0;
      if constexpr (R > 0)
        v = _mm512_mask_mov_epi8(v, at[0], placed[0]);
      else
        dropped |= at[0];
      if constexpr (R > 1)
        v = _mm512_mask_mov_epi8(v, at[1], placed[1]);
      else
        dropped |= at[1];
      if constexpr (R > 2)
        v = _mm512_mask_mov_epi8(v, at[2], placed[2]);
      else
        dropped |= at[2];
      if constexpr (R > 3)
        v = _mm512_mask_mov_epi8(v, at[3], placed[3]);
      else
        dropped |= at[3];
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
// chunk is spread over 4 bytes of a register (vpermb); a matched TAB's 4
// bytes become the replacement, of which the first R are kept, and every
// other byte keeps the first of its 4. One compress packs the kept bytes:
//
//   for each 64-byte chunk x, while more than 64 bytes are left:
//     matches = bits of x == TAB & ~TrailBytes(leads)
//     for each quarter q (16 bytes, matches m of 16 bits):
//       slots  = x[16q + s/4] for s in 0..63
//       spread = pdep(m, 0x1111...)          -- bit 4i for a matched byte i
//       slots  = replacement[s%4] where spread * 0xF
//       keep   = (0x1111... & ~spread) | spread * (2^R - 1)
//       compress the kept slots, store 64, advance by their count
template <std::size_t R>
DASHTAB_WIDE void TabInto(std::string_view text, std::string_view replacement, Output& out) {
  constexpr Mask kFirstOfFour = 0x1111111111111111;
  const char* const src = text.data();
  const std::size_t n = text.size();
  const __m512i tab = _mm512_set1_epi8('\t');
  char pattern[kChunk] = {};
  char spreads[4][kChunk];
  for (std::size_t s = 0; s < kChunk; ++s) {
    pattern[s] = s % 4 < R ? replacement[s % 4] : '\0';
    for (std::size_t q = 0; q < 4; ++q) {
      spreads[q][s] = static_cast<char>(16 * q + s / 4);
    }
  }
  const __m512i replaced = Load64(pattern);
  const __m512i spread[4] = {Load64(spreads[0]), Load64(spreads[1]), Load64(spreads[2]),
                             Load64(spreads[3])};

  char* cursor = out.begin();
  std::size_t base = 0;
  Mask trail = 0;
  // At least one byte follows the last chunk, so that a trail byte after it
  // lies inside the text; a final lone lead byte is left to the plain scan.
  for (; n - base > kChunk; base += kChunk) {
    const __m512i x = Load64(src + base);
    const Mask matches = Equal(x, tab) & ~TrailBytes(Leads(x), trail);
    cursor = out.Room(cursor, 4 * kChunk);
#pragma GCC unroll 4
    for (std::size_t q = 0; q < 4; ++q) {
      const Mask matched = _pdep_u64((matches >> (16 * q)) & 0xFFFF, kFirstOfFour);
      // The spread bytes, with the replacement in the slots of a matched
      // TAB: one permute that keeps `replaced` where its mask is clear.
      const __m512i slots = _mm512_mask_permutexvar_epi8(replaced, ~(matched * 0xF), spread[q], x);
      const Mask keep = (kFirstOfFour & ~matched) | matched * ((Mask{1} << R) - 1);
      cursor = WriteKept(cursor, keep, slots);
    }
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

DASHTAB_WIDE std::size_t WideCountByte(std::string_view text, char byte) {
  const __m512i wanted = _mm512_set1_epi8(byte);
  const char* p = text.data();
  std::size_t left = text.size();
  std::size_t total = 0;
  for (; left >= kChunk; left -= kChunk, p += kChunk) {
    total += static_cast<std::size_t>(_mm_popcnt_u64(Equal(Load64(p), wanted)));
  }
  for (; left > 0; --left, ++p) {
    total += *p == byte ? 1 : 0;
  }
  return total;
}

}  // namespace dashtab::fast
