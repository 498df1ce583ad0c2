// What Windows itself refuses: files held open by another program and
// read-only files; the attributes a replaced file keeps; devices.
#include <windows.h>

#include "program_fixture.h"
#include "win/handle.h"

namespace dashtab::testing {
namespace {

using win::UniqueFileHandle;

UniqueFileHandle OpenUnshared(const std::string& path) {
  const std::wstring wide = PathFromUtf8(path).wstring();
  return UniqueFileHandle(CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

DWORD Attributes(const std::string& path) {
  return GetFileAttributesW(PathFromUtf8(path).wstring().c_str());
}

TEST_F(ProgramTest, FileInUseLeavesTheTargetAsItWas) {
  const std::string source = File("in.txt", "a----b");
  const std::string target = File("out.txt", "the old contents");
  {
    UniqueFileHandle held = OpenUnshared(target);
    ASSERT_TRUE(held);
    const ProgramResult result = RunCli({"to-tab", source, "-o", target});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("cannot write '" + target + "':"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("in use by another program"), std::string::npos) << result.err;
  }
  EXPECT_EQ(Contents(target), "the old contents");
  EXPECT_EQ(Names(), (std::vector<std::string>{"in.txt", "out.txt"}));
}

TEST_F(ProgramTest, InputInUseIsReported) {
  const std::string source = File("in.txt", "a----b");
  UniqueFileHandle held = OpenUnshared(source);
  ASSERT_TRUE(held);
  const ProgramResult result = RunCli({"to-tab", source});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("cannot read '" + source + "': the file is in use by another program"),
            std::string::npos)
      << result.err;
}

TEST_F(ProgramTest, ReadOnlyTargetIsNotReplaced) {
  const std::string target = File("table.txt", "a----b");
  ASSERT_TRUE(SetFileAttributesW(PathFromUtf8(target).wstring().c_str(), FILE_ATTRIBUTE_READONLY));
  const ProgramResult result = RunCli({"to-tab", "--in-place", target});
  SetFileAttributesW(PathFromUtf8(target).wstring().c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("cannot write '" + target + "': permission denied"), std::string::npos)
      << result.err;
  EXPECT_EQ(Contents(target), "a----b");
  EXPECT_EQ(Names(), std::vector<std::string>{"table.txt"});
}

// A device is written into, never replaced by a file.
TEST_F(ProgramTest, NulIsWrittenInto) {
  const std::string source = File("in.txt", "a----b");
  const ProgramResult result = RunCli({"to-tab", source, "-o", "NUL", "--verbose"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.err.find("-> 'NUL': 6 bytes in, 3 bytes out"), std::string::npos) << result.err;
  EXPECT_EQ(Names(), std::vector<std::string>{"in.txt"});
}

TEST_F(ProgramTest, InPlaceKeepsTheHiddenAttribute) {
  const std::string target = File("table.txt", "a----b");
  ASSERT_TRUE(SetFileAttributesW(PathFromUtf8(target).wstring().c_str(), FILE_ATTRIBUTE_HIDDEN));
  const ProgramResult result = RunCli({"to-tab", "--in-place", target});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(Contents(target), "a\tb");
  EXPECT_TRUE(Attributes(target) & FILE_ATTRIBUTE_HIDDEN);
}

}  // namespace
}  // namespace dashtab::testing
