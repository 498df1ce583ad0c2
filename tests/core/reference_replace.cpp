#include "core/reference_replace.h"

#include <cctype>
#include <sstream>

namespace dashtab::testing {
namespace {

bool SameByte(unsigned char a, unsigned char b, bool caseSensitive) {
  if (caseSensitive) {
    return a == b;
  }
  auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; };
  return lower(a) == lower(b);
}

}  // namespace

std::string ReferenceReplace(std::string_view text, std::string_view search,
                             const std::optional<std::string>& replacement,
                             std::optional<int> start, std::optional<int> count,
                             bool caseSensitive) {
  const std::size_t L = text.size();
  const std::size_t S = search.size();
  const std::string with = replacement.value_or("");
  // Step 1: the start offset.
  std::size_t offset = 0;
  if (start && *start >= 1) {
    offset = static_cast<std::size_t>(*start) - 1;
  }
  long left = (count && *count >= 0) ? *count : -1;
  // Step 2: nothing to do.
  if (L == 0 || S == 0 || offset >= L || left == 0) {
    return std::string(text);
  }
  // Step 3: the head is copied unchanged.
  std::string result(text.substr(0, offset));
  std::size_t pos = offset;
  // Step 4: one step at a time while at least S bytes remain.
  while (L - pos >= S) {
    bool match = true;
    for (std::size_t i = 0; i < S; ++i) {
      if (!SameByte(text[pos + i], search[i], caseSensitive)) {
        match = false;
        break;
      }
    }
    if (match) {
      result += with;
      pos += S;
      if (left > 0) {
        --left;
        if (left == 0) {
          break;
        }
      }
    } else if (static_cast<unsigned char>(text[pos]) >= 0x80) {
      if (pos == L - 1) {
        pos = L;
        break;
      }
      result += text[pos];
      result += text[pos + 1];
      pos += 2;
    } else {
      result += text[pos];
      pos += 1;
    }
  }
  // Step 5: the tail.
  result += text.substr(pos);
  return result;
}

std::string Hex(const std::string& hexPairs) {
  std::istringstream in(hexPairs);
  std::string out;
  std::string pair;
  while (in >> pair) {
    out += static_cast<char>(std::stoi(pair, nullptr, 16));
  }
  return out;
}

}  // namespace dashtab::testing
