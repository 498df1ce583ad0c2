// Every file operation and Start close what they open, on every path: the
// process's handle count is the same after many rounds as before them.
#include <windows.h>

#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "handle_count.h"
#include "temp_folder.h"
#include "win/files.h"
#include "win/handle.h"
#include "win/thread_control.h"

namespace dashtab::win {
namespace {

using namespace std::string_view_literals;
using testing::OpenHandleCount;
using testing::PutFile;
using testing::TempFolder;

DWORD WINAPI CountDown(LPVOID remaining) {
  InterlockedDecrement(static_cast<LONG*>(remaining));
  return 0;
}

TEST(HandleLeaks, NoneAfterManyRoundsOfEveryOperation) {
  TempFolder folder;
  const std::string file = folder / "a.txt", locked = folder / "locked.txt";
  ASSERT_TRUE(PutFile(file, "abc"));
  ASSERT_TRUE(PutFile(locked, "abc"));
  UniqueFileHandle holder(CreateFileA(locked.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(holder);
  ThreadControl control;
  LONG running = 0;

  auto round = [&] {
    ReadFileBytes(Text(file));
    ReadFileBytes(Text(folder / "missing.txt"));
    ReadFileBytes(Text(folder.path()));
    WriteFileBytes(Text(folder / "out.txt"), ByteSet("xy"sv), ByteSet());
    WriteFileBytes(Text(locked), ByteSet("no"sv));  // fails: held for reading
    WriteFileBytes(Text(folder / "missing\\out.txt"), ByteSet("no"sv));
    FileExists(Text(folder / "*.txt"));
    FileExists(Text(folder / "*.csv"));
    SameFile(Text(file), Text(folder / ".\\a.txt"));
    SameFile(Text(file), Text(folder / "missing.txt"));
    ReplaceFileContents(Text(folder / "out.txt"), ByteSet("new"sv));
    ReplaceFileContents(Text(locked), ByteSet("no"sv));  // fails at the move
    InterlockedIncrement(&running);
    control.Start(CountDown, reinterpret_cast<INT_PTR>(&running));
  };
  auto settle = [&] {
    for (int i = 0; i < 1000 && InterlockedCompareExchange(&running, 0, 0) != 0; ++i) {
      Sleep(5);
    }
  };

  round();  // the first round may set up what the system keeps for good
  settle();
  const long before = OpenHandleCount();
  ASSERT_GT(before, 0);
  for (int i = 0; i < 20; ++i) {
    round();
  }
  settle();
  EXPECT_EQ(InterlockedCompareExchange(&running, 0, 0), 0);
  EXPECT_EQ(OpenHandleCount(), before);
  EXPECT_EQ(testing::CountEntries(folder.path()), 3);  // no temporary file stays behind
}

}  // namespace
}  // namespace dashtab::win
