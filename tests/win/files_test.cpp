#include "win/files.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace dashtab::win {
namespace {

TEST(Utf8CodePage, IsTheProcessCodePage) {
  EXPECT_EQ(GetACP(), 65001u);
}

}  // namespace
}  // namespace dashtab::win
