#include "core/text.h"

namespace dashtab {

Text::Text(std::string bytes) : bytes_(std::move(bytes)) {
  if (auto zero = bytes_.find('\0'); zero != std::string::npos) {
    bytes_.resize(zero);
  }
}

Text BytesToText(ByteSet bytes) {
  return Text(std::move(bytes).TakeStorage());
}

ByteSet TextToBytes(Text text) {
  return ByteSet(std::move(text).TakeStorage());
}

Text CharFromCode(unsigned char code) {
  return Text(std::string(1, static_cast<char>(code)));
}

Text ConcatTexts(std::initializer_list<std::string_view> parts) {
  std::size_t total = 0;
  for (auto part : parts) {
    total += part.size();
  }
  std::string joined;
  joined.reserve(total);
  for (auto part : parts) {
    joined.append(part.substr(0, part.find('\0')));
  }
  return Text(std::move(joined));
}

}  // namespace dashtab
