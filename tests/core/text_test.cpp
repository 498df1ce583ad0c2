#include "core/text.h"

#include <gtest/gtest.h>

#include "core/reference_replace.h"

namespace dashtab {
namespace {

using testing::Hex;

TEST(BytesToText, EndsAtTheFirstZeroByte) {
  struct Case {
    const char* bytes;
    const char* text;
  };
  const Case cases[] = {
      {"61 00 62", "61"},
      {"00 61", ""},
      {"", ""},
      {"61 62 63", "61 62 63"},
      {"FF FE 61 00 09 00", "FF FE 61"},
      {"EF BB BF 61", "EF BB BF 61"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(BytesToText(ByteSet(Hex(c.bytes))).view(), Hex(c.text));
  }
}

TEST(BytesToText, HandsOverTheStorage) {
  std::string big(1 << 20, 'a');
  ByteSet bytes(std::move(big));
  const char* storage = bytes.data();
  Text text = BytesToText(std::move(bytes));
  EXPECT_EQ(text.view().data(), storage);
  ByteSet back = TextToBytes(std::move(text));
  EXPECT_EQ(back.data(), storage);
}

TEST(ByteSet, FromALiteralKeepsItsZeroBytes) {
  EXPECT_EQ(ByteSet("a\0b").size(), 3u);
  EXPECT_TRUE(ByteSet("").empty());
}

TEST(TextToBytes, KeepsEveryByteButTheTerminator) {
  EXPECT_TRUE(TextToBytes(Text()).empty());
  EXPECT_EQ(TextToBytes(Text(Hex("B0 A1 09 2D"))).view(), Hex("B0 A1 09 2D"));
}

TEST(Text, NeverHoldsAZeroByte) {
  EXPECT_EQ(Text(std::string("ab\0cd", 5)).view(), "ab");
  EXPECT_EQ(Text(std::string_view("\0x", 2)).size(), 0u);
  EXPECT_TRUE(Text(static_cast<const char*>(nullptr)).empty());
}

TEST(CharFromCode, OneByteOrNothing) {
  EXPECT_EQ(CharFromCode(9).view(), "\t");
  EXPECT_TRUE(CharFromCode(0).empty());
  EXPECT_EQ(CharFromCode(0xB0).view(), "\xB0");
}

TEST(ConcatTexts, JoinsInOrderAndSkipsEmptyParts) {
  const Text sentence = "替换成功！替换后的文件已经保存在：";
  EXPECT_EQ(ConcatTexts({sentence.view(), Text().view()}), sentence);
  EXPECT_EQ(ConcatTexts({"a", "", "bc", "d"}).view(), "abcd");
  EXPECT_TRUE(ConcatTexts({"", ""}).empty());
  EXPECT_EQ(ConcatTexts({sentence.view(), "C:\\out.txt"}).view(),
            "替换成功！替换后的文件已经保存在：C:\\out.txt");
}

}  // namespace
}  // namespace dashtab
