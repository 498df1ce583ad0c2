#include "core/out_of_memory.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <new>
#include <string>

namespace dashtab {
namespace {

// Far more than any address space holds (so the allocator refuses at once),
// but within what std::string may ask for.
constexpr std::size_t kImpossible = std::size_t{1} << 52;

void AllocateTheImpossible() {
  std::string huge;
  huge.reserve(kImpossible);
  std::printf("%zu\n", huge.capacity());  // keeps the allocation from being elided
}

// The exit code -1 reads as 255 on POSIX and as -1 on Windows.
bool ExitedWithMinusOne(int status) {
  return ::testing::ExitedWithCode(255)(status) || ::testing::ExitedWithCode(-1)(status);
}

// AddressSanitizer's operator new reports a failure itself and never calls
// the new handler, so these tests only mean something without it.
#ifdef __SANITIZE_ADDRESS__
#define SKIP_UNDER_ASAN() GTEST_SKIP() << "AddressSanitizer bypasses the new handler"
#else
#define SKIP_UNDER_ASAN() (void)0
#endif

TEST(OutOfMemoryDeathTest, ReportsAndEndsWithMinusOne) {
  SKIP_UNDER_ASAN();
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        InstallOutOfMemoryHandler(ReportOutOfMemoryToStderr);
        AllocateTheImpossible();
      },
      ExitedWithMinusOne, "out of memory");
}

TEST(OutOfMemoryDeathTest, SoftScopeThrowsInsteadOfEnding) {
  SKIP_UNDER_ASAN();
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        InstallOutOfMemoryHandler(ReportOutOfMemoryToStderr);
        {
          SoftAllocationScope soft;
          try {
            AllocateTheImpossible();
          } catch (const std::bad_alloc&) {
            std::fputs("soft failure\n", stderr);
          }
        }
        // Outside the scope a failure ends the process again.
        AllocateTheImpossible();
      },
      ExitedWithMinusOne, "soft failure\n.*out of memory");
}

}  // namespace
}  // namespace dashtab
