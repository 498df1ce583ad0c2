// The two value types that every operation of the program passes around:
// Text, a string of bytes that never holds a zero byte, and ByteSet, a
// counted run of bytes that may hold zeros. Both keep their bytes in a
// std::string so that one can hand its storage to the other without a copy.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace dashtab {

// A counted sequence of bytes, zero bytes included: the contents of a file.
// The empty ByteSet also stands for an absent one.
class ByteSet {
 public:
  ByteSet() = default;
  explicit ByteSet(std::string bytes) : bytes_(std::move(bytes)) {}
  explicit ByteSet(std::string_view bytes) : bytes_(bytes) {}
  // A literal's bytes, zero bytes inside it included, without its terminator.
  template <std::size_t N>
  explicit ByteSet(const char (&bytes)[N]) : bytes_(bytes, N - 1) {}

  std::string_view view() const { return bytes_; }
  const char* data() const { return bytes_.data(); }
  std::size_t size() const { return bytes_.size(); }
  bool empty() const { return bytes_.empty(); }

  // Gives up the storage, leaving this ByteSet empty.
  std::string TakeStorage() && { return std::move(bytes_); }

  friend bool operator==(const ByteSet&, const ByteSet&) = default;

 private:
  std::string bytes_;
};

// A character string held as bytes; it ends at its first zero byte, so it
// never holds one. Lengths and positions count bytes. The empty Text also
// stands for an absent one.
class Text {
 public:
  Text() = default;
  // Everything from the first zero byte on is cut off.
  explicit Text(std::string bytes);
  explicit Text(std::string_view bytes) : Text(std::string(bytes.substr(0, bytes.find('\0')))) {}
  Text(const char* bytes) : Text(std::string_view(bytes ? bytes : "")) {}  // NOLINT: literals

  // Bytes known to hold no zero byte, such as a result put together from
  // Texts, taken over without the search for one: a whole pass over a
  // large result.
  static Text FromBytesWithoutZero(std::string bytes) { return Text(std::move(bytes), NoZero{}); }

  std::string_view view() const { return bytes_; }
  // Zero-terminated, for the Windows A functions.
  const char* c_str() const { return bytes_.c_str(); }
  std::size_t size() const { return bytes_.size(); }
  bool empty() const { return bytes_.empty(); }

  std::string TakeStorage() && { return std::move(bytes_); }

  friend bool operator==(const Text&, const Text&) = default;

 private:
  struct NoZero {};
  Text(std::string bytes, NoZero) : bytes_(std::move(bytes)) {}

  std::string bytes_;
};

// The bytes up to, not including, the first zero byte. Passing an rvalue
// hands the storage over instead of copying it.
Text BytesToText(ByteSet bytes);

// The text's bytes without the terminating zero; hands the storage over.
ByteSet TextToBytes(Text text);

// A Text of the single byte `code`; code 0 gives the empty Text.
Text CharFromCode(unsigned char code);

// The parts one after another; each part counts up to its first zero byte.
Text ConcatTexts(std::initializer_list<std::string_view> parts);

}  // namespace dashtab
