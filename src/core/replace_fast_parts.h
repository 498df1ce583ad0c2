// What the fast path's kernels share: the bit masks of a chunk, the
// double-byte rule over them, the staging buffer that they write to, and
// the plain scan that finishes a text. Used only by replace_fast*.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace dashtab::fast {

// One bit per byte of a 64-byte chunk, bit i for byte i.
using Mask = std::uint64_t;

inline constexpr std::size_t kChunk = 64;

inline constexpr Mask kEvenBits = 0x5555555555555555;
inline constexpr Mask kOddBits = 0xAAAAAAAAAAAAAAAA;

inline bool IsLeadByte(char c) {
  return static_cast<unsigned char>(c) >= 0x80;
}

// The second bytes of double-byte characters in a chunk, from the bits of
// its lead bytes. `trail` (0 or 1) says on entry whether byte 0 is the
// second byte of a character begun in the chunk before, and on return the
// same for the next chunk.
//
// A run of lead bytes that is not itself a second byte always begins a
// character, so within the run the characters are pairs: the second bytes
// are the run's bytes at odd distance from its start, plus the byte after
// the run when its length is odd. Adding each odd-placed run start to the
// run carries through that run and clears it, which sorts the runs into
// those starting at even and at odd positions in one step.
inline Mask TrailBytes(Mask lead, Mask& trail) {
  const Mask carried = trail;
  const Mask leads = lead & ~carried;
  const Mask starts = leads & ~(leads << 1);
  const Mask evenRuns = leads & (leads + (starts & kOddBits));
  const Mask oddRuns = leads & ~evenRuns;
  trail = oddRuns >> 63;
  return carried | ((evenRuns << 1) & kOddBits) | ((oddRuns << 1) & kEvenBits);
}

// Of the places where "----" begins, those that the scan from left to
// right takes: a run of dashes gives a match every 4 bytes.
inline Mask NonOverlapping(Mask starts) {
  Mask taken = 0;
  while (starts != 0) {
    const Mask lowest = starts & (~starts + 1);
    taken |= lowest;
    starts &= ~(lowest | lowest << 1 | lowest << 2 | lowest << 3);
  }
  return taken;
}

// Gathers the result in a small buffer that stays in the cache, so that the
// vector loops may write whole blocks past the end of what they mean to
// write, and hands it to the result string in large appends. A loop keeps
// its write position in a local `cursor`.
class Output {
 public:
  static constexpr std::size_t kSize = 16384;
  // The most that one step writes past the room it asked for.
  static constexpr std::size_t kSlack = 256;

  explicit Output(std::string& result) : result_(result) {}
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  char* begin() { return buffer_; }

  // A cursor with room for n more bytes (n at most kSize) and the slack.
  char* Room(char* cursor, std::size_t n) {
    return cursor + n > buffer_ + kSize ? Flush(cursor) : cursor;
  }

  // Hands the buffered bytes to the result; gives the emptied cursor.
  char* Flush(char* cursor) {
    result_.append(buffer_, static_cast<std::size_t>(cursor - buffer_));
    return buffer_;
  }

  // Any number of bytes, exactly; none may come with a null pointer (an
  // empty replacement).
  char* Append(char* cursor, const char* bytes, std::size_t n) {
    if (n == 0) {
      return cursor;
    }
    if (n > kSize / 2) {
      cursor = Flush(cursor);
      result_.append(bytes, n);
      return cursor;
    }
    cursor = Room(cursor, n);
    std::memcpy(cursor, bytes, n);
    return cursor + n;
  }

 private:
  std::string& result_;
  alignas(64) char buffer_[kSize + kSlack];
};

// Finishes the text with the plain scan and flushes the output. The vector
// loop has written text[0, last); `pos`, at or after `last`, begins a
// character that is not inside a match. The scan also drops a final lone
// lead byte.
inline void FinishPlain(std::string_view text, std::string_view search,
                        std::string_view replacement, std::size_t last, std::size_t pos,
                        char* cursor, Output& out) {
  const char* const src = text.data();
  const std::size_t n = text.size();
  const std::size_t s = search.size();
  std::size_t end = n;
  while (n - pos >= s) {
    if (std::memcmp(src + pos, search.data(), s) == 0) {
      cursor = out.Append(cursor, src + last, pos - last);
      cursor = out.Append(cursor, replacement.data(), replacement.size());
      pos += s;
      last = pos;
    } else if (IsLeadByte(src[pos])) {
      if (pos + 1 == n) {
        // A lead byte without its second byte at the very end is dropped.
        end = pos;
        break;
      }
      pos += 2;
    } else {
      pos += 1;
    }
  }
  out.Flush(out.Append(cursor, src + last, end - last));
}

// The wide kernel (AVX-512 with VBMI2, in replace_fast_wide.cpp): whether
// this processor and its system run it, which searches and replacements it
// takes ("----" or one TAB, into at most 4 bytes), the conversion into
// `out`, and the count of a byte for the output's size.
bool WideKernelRuns();
bool WideKernelTakes(std::string_view search, std::string_view replacement);
void WideReplaceAll(std::string_view text, std::string_view search, std::string_view replacement,
                    Output& out);
std::size_t WideCountByte(std::string_view text, char byte);

}  // namespace dashtab::fast
