#include "core/replace_fast.h"

#include <emmintrin.h>

#include <cstdint>
#include <cstring>

namespace dashtab {
namespace {

using Mask = std::uint64_t;

constexpr Mask kEvenBits = 0x5555555555555555;
constexpr Mask kOddBits = 0xAAAAAAAAAAAAAAAA;

// The vector loop needs 16 bytes of look-ahead after each 64-byte chunk:
// the search "----" looks at the next 3 bytes, and short segments are
// copied 16 bytes at a time, reading up to 15 bytes past their end.
constexpr std::size_t kChunk = 64;
constexpr std::size_t kLookAhead = 16;
// Segments shorter than this are copied 16 bytes at a time.
constexpr std::size_t kShortSegment = 256;

bool IsLeadByte(char c) {
  return static_cast<unsigned char>(c) >= 0x80;
}

__m128i Load16(const char* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

void Store16(char* p, __m128i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

Mask Bits16(__m128i v) {
  return static_cast<Mask>(static_cast<unsigned>(_mm_movemask_epi8(v)));
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

// The second bytes of double-byte characters in a chunk. `trail` says on
// entry whether byte 0 is the second byte of a character begun in the
// chunk before, and on return the same for the next chunk.
//
// A run of lead bytes that is not itself a second byte always begins a
// character, so within the run the characters are pairs: the second bytes
// are the run's bytes at odd distance from its start, plus the byte after
// the run when its length is odd. Adding each odd-placed run start to the
// run carries through that run and clears it, which sorts the runs into
// those starting at even and at odd positions in one step.
Mask TrailBytes(Mask lead, bool& trail) {
  const Mask carried = trail ? 1 : 0;
  const Mask leads = lead & ~carried;
  const Mask starts = leads & ~(leads << 1);
  const Mask evenRuns = leads & (leads + (starts & kOddBits));
  const Mask oddRuns = leads & ~evenRuns;
  trail = (oddRuns >> 63) != 0;
  return carried | ((evenRuns << 1) & kOddBits) | ((oddRuns << 1) & kEvenBits);
}

// Gathers the result in a small buffer that stays in the cache, so that the
// vector loop may write whole 16-byte blocks past the end of what it means
// to write, and hands it to the result string in large appends.
class Output {
 public:
  Output(std::string& result, std::string_view replacement)
      : result_(result), size_(replacement.size()) {
    char padded[16] = {};
    replacement.copy(padded, sizeof padded);
    replacement_ = Load16(padded);
  }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  void Append(const char* bytes, std::size_t n) {
    if (n > kBuffer / 2) {
      Flush();
      result_.append(bytes, n);
      return;
    }
    MakeRoom(n);
    std::memcpy(buffer_ + used_, bytes, n);
    used_ += n;
  }

  // Fewer than kShortSegment bytes, readable up to 15 bytes past their end.
  void AppendShort(const char* bytes, std::size_t n) {
    MakeRoom(n);
    for (std::size_t i = 0; i < n; i += 16) {
      Store16(buffer_ + used_ + i, Load16(bytes + i));
    }
    used_ += n;
  }

  void AppendReplacement() {
    MakeRoom(16);
    Store16(buffer_ + used_, replacement_);
    used_ += size_;
  }

  void Flush() {
    result_.append(buffer_, used_);
    used_ = 0;
  }

 private:
  static constexpr std::size_t kBuffer = 16384;

  void MakeRoom(std::size_t n) {
    if (used_ + n > kBuffer) {
      Flush();
    }
  }

  std::string& result_;
  __m128i replacement_;
  std::size_t size_;
  std::size_t used_ = 0;
  // Room for a 16-byte block written from the last byte of kBuffer.
  alignas(16) char buffer_[kBuffer + 16];
};

std::size_t CountByte(std::string_view text, char byte) {
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

// The design, for a search text of S bytes whose bytes are all the same
// byte N below 0x80 ("----" or one TAB):
//
//   reserve the bound on the result's size once
//   last = 0                 -- the first byte not yet written out
//   trail = false            -- is the chunk's first byte a second byte?
//   for each whole 64-byte chunk at base, while 16 more bytes follow it:
//     leads   = bits of the bytes >= 0x80        (movemask)
//     needles = bits of the bytes == N           (cmpeq, movemask)
//     seconds = TrailBytes(leads, trail)         (also updates trail)
//     if S == 4: needles &= needles>>1 & needles>>2 & needles>>3,
//                taking the missing high bits from the next 3 bytes
//     matches = needles & ~seconds, without those below last
//     for each match m, lowest first:
//       write text[last, m) and the replacement; last = m + S
//       drop the matches below last        (matches never overlap)
//   finish with the plain scan from the first character start at or after
//   base that is not inside a match, which also drops a final lone lead
//
// Only the first byte of a match must begin a character: the bytes after a
// byte below 0x80 begin characters, and matches consist of such bytes only,
// so they never change where characters begin. A text without matches is
// written out in one copy.
void ScanAndWrite(std::string_view text, std::string_view search, Output& out) {
  const char* const src = text.data();
  const std::size_t n = text.size();
  const std::size_t s = search.size();
  const bool fourDashes = s == 4;
  const __m128i needle = _mm_set1_epi8(search[0]);

  std::size_t last = 0;
  std::size_t base = 0;
  bool trail = false;
  for (; n - base >= kChunk + kLookAhead; base += kChunk) {
    const ChunkBits bits = ScanChunk(src + base, needle);
    Mask matches = bits.needle & ~TrailBytes(bits.lead, trail);
    if (fourDashes) {
      const Mask next = Bits16(_mm_cmpeq_epi8(Load16(src + base + kChunk), needle));
      matches &= (bits.needle >> 1 | next << 63) & (bits.needle >> 2 | next << 62) &
                 (bits.needle >> 3 | next << 61);
      if (last > base) {
        matches &= ~Mask{0} << (last - base);
      }
    }
    while (matches != 0) {
      const std::size_t at = base + static_cast<std::size_t>(__builtin_ctzll(matches));
      if (at - last < kShortSegment) {
        out.AppendShort(src + last, at - last);
      } else {
        out.Append(src + last, at - last);
      }
      out.AppendReplacement();
      last = at + s;
      const std::size_t done = last - base;
      matches = done >= kChunk ? 0 : matches & (~Mask{0} << done);
    }
  }

  // The plain scan, from a character start.
  std::size_t pos = last > base ? last : base + (trail ? 1 : 0);
  while (n - pos >= s) {
    if (std::memcmp(src + pos, search.data(), s) == 0) {
      out.Append(src + last, pos - last);
      out.AppendReplacement();
      pos += s;
      last = pos;
    } else if (IsLeadByte(src[pos])) {
      if (pos + 1 == n) {
        // A lead byte without its second byte at the very end is dropped.
        out.Append(src + last, pos - last);
        return;
      }
      pos += 2;
    } else {
      pos += 1;
    }
  }
  out.Append(src + last, n - last);
}

}  // namespace

bool IsFastSearch(std::string_view search) {
  return search == "----" || search == "\t";
}

std::size_t FastOutputBound(std::string_view text, std::string_view search,
                            std::string_view replacement) {
  if (replacement.size() <= search.size()) {
    return text.size();
  }
  const std::size_t most = CountByte(text, search[0]) / search.size();
  return text.size() + most * (replacement.size() - search.size());
}

std::string ReplaceAllFast(std::string_view text, std::string_view search,
                           std::string_view replacement) {
  std::string result;
  result.reserve(FastOutputBound(text, search, replacement));
  Output out(result, replacement);
  ScanAndWrite(text, search, out);
  out.Flush();
  return result;
}

}  // namespace dashtab
