#include "core/replace.h"

#include <string>
#include <string_view>

#include "core/replace_fast.h"

namespace dashtab {
namespace {

bool IsLeadByte(char c) {
  return static_cast<unsigned char>(c) >= 0x80;
}

char FoldAsciiCase(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool MatchesAt(std::string_view text, std::size_t pos, std::string_view search,
               bool caseSensitive) {
  std::string_view here = text.substr(pos, search.size());
  if (caseSensitive) {
    return here == search;
  }
  for (std::size_t i = 0; i < search.size(); ++i) {
    if (FoldAsciiCase(here[i]) != FoldAsciiCase(search[i])) {
      return false;
    }
  }
  return true;
}

}  // namespace

Text ReplaceSubtext(const Text& text, const Text& search, const std::optional<Text>& replacement,
                    std::optional<int> start, std::optional<int> count, bool caseSensitive) {
  const std::string_view src = text.view();
  const std::string_view needle = search.view();
  const std::string_view with = replacement ? replacement->view() : std::string_view();
  const std::size_t offset = (start && *start >= 1) ? static_cast<std::size_t>(*start - 1) : 0;
  const bool limited = count && *count >= 0;
  int remaining = limited ? *count : 0;

  if (src.empty() || needle.empty() || offset >= src.size() || (limited && remaining == 0)) {
    return text;
  }
  // The conversion's two searches over the whole text take the vector scan;
  // its result, made of Texts, holds no zero byte.
  if (caseSensitive && offset == 0 && !limited && IsFastSearch(needle) &&
      with.size() <= kMaxFastReplacement) {
    return Text::FromBytesWithoutZero(ReplaceAllFast(src, needle, with));
  }

  std::string out;
  out.reserve(src.size());
  // Bytes that pass unchanged are appended in runs: `copied` is where the
  // current run of unchanged bytes begins.
  std::size_t pos = offset;
  std::size_t copied = 0;
  while (src.size() - pos >= needle.size()) {
    if (MatchesAt(src, pos, needle, caseSensitive)) {
      out.append(src.substr(copied, pos - copied)).append(with);
      pos += needle.size();
      copied = pos;
      if (limited && --remaining == 0) {
        break;
      }
    } else if (IsLeadByte(src[pos])) {
      if (pos + 1 == src.size()) {
        // A lead byte without its second byte at the very end is dropped.
        out.append(src.substr(copied, pos - copied));
        return Text(std::move(out));
      }
      pos += 2;
    } else {
      pos += 1;
    }
  }
  out.append(src.substr(copied));
  return Text(std::move(out));
}

}  // namespace dashtab
