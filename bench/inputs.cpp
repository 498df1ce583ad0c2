#include "inputs.h"

#include <cstdint>
#include <random>

namespace dashtab::bench {
namespace {

// The engine's output is fixed by the standard; taking remainders instead
// of a distribution keeps the bytes the same with every library.
class Random {
 public:
  explicit Random(std::uint64_t seed) : engine_(seed) {}
  // A number from `low` to `high`, both included.
  unsigned Between(unsigned low, unsigned high) {
    return low + static_cast<unsigned>(engine_() % (high - low + 1));
  }
  bool OneIn(unsigned n) { return engine_() % n == 0; }

 private:
  std::mt19937_64 engine_;
};

void AppendWord(std::string& out, Random& random) {
  const unsigned length = random.Between(2, 9);
  for (unsigned i = 0; i < length; ++i) {
    out += static_cast<char>(random.Between('a', 'z'));
  }
}

// Lines of 4 to 12 fields, each of 6 to 10 words, CRLF line ends.
void AppendAsciiLine(std::string& out, Random& random, std::string_view separator) {
  const unsigned fields = random.Between(4, 12);
  for (unsigned f = 0; f < fields; ++f) {
    if (f > 0) {
      out += separator;
    }
    const unsigned words = random.Between(6, 10);
    for (unsigned w = 0; w < words; ++w) {
      if (w > 0) {
        out += ' ';
      }
      AppendWord(out, random);
    }
  }
  out += "\r\n";
}

// Double-byte characters: lead 0x81 to 0xFE, second byte 0x40 to 0xFE
// without 0x7F.
void AppendGbkCharacter(std::string& out, Random& random) {
  out += static_cast<char>(random.Between(0x81, 0xFE));
  unsigned second = random.Between(0x40, 0xFD);
  if (second >= 0x7F) {
    ++second;
  }
  out += static_cast<char>(second);
}

// 10 to 30 characters, now and then an ASCII word among them, then a
// separator; a line end now and then.
void AppendGbkField(std::string& out, Random& random, std::string_view separator) {
  const unsigned characters = random.Between(10, 30);
  for (unsigned i = 0; i < characters; ++i) {
    if (random.OneIn(12)) {
      AppendWord(out, random);
    }
    AppendGbkCharacter(out, random);
  }
  out += separator;
  if (random.OneIn(8)) {
    out += "\r\n";
  }
}

// Separators and their near misses packed close together.
void AppendDenseToken(std::string& out, Random& random, std::string_view separator) {
  static constexpr std::string_view kTokens[] = {"-", "--", "---", "a", "\t", "xy"};
  if (random.OneIn(3)) {
    out += separator;
  } else {
    out += kTokens[random.Between(0, std::size(kTokens) - 1)];
  }
}

}  // namespace

const char* InputName(InputKind kind) {
  switch (kind) {
    case InputKind::AsciiTsv:
      return "ascii-tsv";
    case InputKind::GbkText:
      return "gbk-text";
    case InputKind::Dense:
      return "dense";
    case InputKind::AllLead:
      return "all-lead";
  }
  return "";
}

bool InputFromName(std::string_view name, InputKind& kind) {
  for (InputKind k : kInputKinds) {
    if (name == InputName(k)) {
      kind = k;
      return true;
    }
  }
  return false;
}

std::string MakeInput(InputKind kind, std::string_view separator, std::size_t size) {
  Random random(0x64617368746162 + static_cast<unsigned>(kind));
  std::string out;
  out.reserve(size + 4096);
  while (out.size() < size) {
    switch (kind) {
      case InputKind::AsciiTsv:
        AppendAsciiLine(out, random, separator);
        break;
      case InputKind::GbkText:
        AppendGbkField(out, random, separator);
        break;
      case InputKind::Dense:
        AppendDenseToken(out, random, separator);
        break;
      case InputKind::AllLead:
        out += static_cast<char>(random.Between(0x80, 0xFF));
        break;
    }
  }
  out.resize(size);
  return out;
}

}  // namespace dashtab::bench
