#include "win/files.h"

#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "temp_folder.h"
#include "win/handle.h"

namespace dashtab::win {
namespace {

using testing::CountEntries;
using testing::GetFile;
using testing::PutFile;
using testing::TempFolder;

// Another handle on the file, as another program would hold it.
UniqueFileHandle Hold(const std::string& path, DWORD access, DWORD share) {
  return UniqueFileHandle(CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
}

ByteSet Bytes(std::string_view bytes) {
  return ByteSet(bytes);
}

class Files : public ::testing::Test {
 protected:
  TempFolder folder_;
};

TEST(Utf8CodePage, IsTheProcessCodePage) {
  EXPECT_EQ(GetACP(), 65001u);
}

TEST_F(Files, ReadFileBytesGivesTheWholeFileOrNothing) {
  const std::string withZeros("a\0b\x80\t----\xff", 10);
  ASSERT_TRUE(PutFile(folder_ / "empty.txt", ""));
  ASSERT_TRUE(PutFile(folder_ / "utf8-bom.txt",
                      "\xEF\xBB\xBF"
                      "abc"));
  ASSERT_TRUE(PutFile(folder_ / "utf16-bom.txt", std::string("\xFF\xFE"
                                                             "a\0",
                                                             4)));
  ASSERT_TRUE(PutFile(folder_ / "zeros.bin", withZeros));
  ASSERT_TRUE(CreateDirectoryA((folder_ / "sub").c_str(), nullptr));
  struct Case {
    std::string path;
    std::string bytes;
  };
  const Case cases[] = {
      {"", ""},
      {folder_ / "missing.txt", ""},
      {folder_ / "no-such-folder\\a.txt", ""},
      {folder_ / "sub", ""},
      {folder_.path(), ""},
      {folder_ / "empty.txt", ""},
      {folder_ / "utf8-bom.txt",
       "\xEF\xBB\xBF"
       "abc"},
      {folder_ / "utf16-bom.txt", std::string("\xFF\xFE"
                                              "a\0",
                                              4)},
      {folder_ / "zeros.bin", withZeros},
      {folder_ / "*.txt", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(ReadFileBytes(Text(c.path)).view(), c.bytes);
  }
}

TEST_F(Files, ReadFileBytesOfALargeFileIsExact) {
  std::string bytes(3 << 20, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
  }
  ASSERT_TRUE(PutFile(folder_ / "large.bin", bytes));
  EXPECT_TRUE(ReadFileBytes(Text(folder_ / "large.bin")).view() == bytes);
}

// Lengths are 32-bit signed counts: a longer file reads as empty, without
// trying to hold it in memory.
TEST_F(Files, ReadFileBytesOfAFileOver2GiBIsEmpty) {
  const std::string path = folder_ / "huge.bin";
  {
    UniqueFileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
    LARGE_INTEGER end;
    end.QuadPart = (1LL << 31) + 10;  // sparse: no data is written
    ASSERT_TRUE(SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(file.get()));
  }
  EXPECT_TRUE(ReadFileBytes(Text(path)).empty());
}

// Others may go on reading while the file is read, but a writer locks it out.
TEST_F(Files, ReadFileBytesShareModes) {
  const std::string path = folder_ / "held.txt";
  ASSERT_TRUE(PutFile(path, "abc"));
  struct Case {
    const char* name;
    DWORD access;
    DWORD share;
    const char* bytes;
  };
  const Case cases[] = {
      {"a reader sharing reading", GENERIC_READ, FILE_SHARE_READ, "abc"},
      {"a reader sharing everything", GENERIC_READ,
       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, "abc"},
      {"a writer sharing everything", GENERIC_WRITE,
       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, ""},
      {"a writer sharing reading", GENERIC_WRITE, FILE_SHARE_READ, ""},
      {"a reader sharing nothing", GENERIC_READ, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    UniqueFileHandle other = Hold(path, c.access, c.share);
    ASSERT_TRUE(other);
    EXPECT_EQ(ReadFileBytes(Text(path)).view(), c.bytes);
  }
  EXPECT_EQ(ReadFileBytes(Text(path)).view(), "abc");
}

TEST_F(Files, WriteFileBytesWritesThePartsInOrder) {
  const std::string path = folder_ / "out.txt";
  const ByteSet a = Bytes("a"), none, zeros = Bytes(std::string_view("b\0c", 3));
  EXPECT_TRUE(WriteFileBytes(Text(path), a, none, zeros, none));
  EXPECT_EQ(GetFile(path), std::string("ab\0c", 4));
  EXPECT_TRUE(WriteFileBytes(Text(path), Bytes("a"), Bytes("b")));
  EXPECT_EQ(GetFile(path), "ab");
}

TEST_F(Files, WriteFileBytesWithOneEmptyPartLeavesAnEmptyFile) {
  const std::string existing = folder_ / "hundred.txt", fresh = folder_ / "fresh.txt";
  ASSERT_TRUE(PutFile(existing, std::string(100, 'x')));
  EXPECT_TRUE(WriteFileBytes(Text(existing), ByteSet()));
  EXPECT_EQ(GetFile(existing), "");
  EXPECT_TRUE(WriteFileBytes(Text(fresh), ByteSet()));
  EXPECT_EQ(GetFile(fresh), "");
}

TEST_F(Files, WriteFileBytesFailsWithoutTouchingAnything) {
  const std::string locked = folder_ / "locked.txt";
  ASSERT_TRUE(PutFile(locked, "keep"));
  ASSERT_TRUE(CreateDirectoryA((folder_ / "sub").c_str(), nullptr));
  UniqueFileHandle reader = Hold(locked, GENERIC_READ, FILE_SHARE_READ);
  ASSERT_TRUE(reader);
  const std::string paths[] = {"", locked, folder_ / "no-such-folder\\out.txt", folder_ / "sub"};
  for (const auto& path : paths) {
    SCOPED_TRACE(path);
    EXPECT_FALSE(WriteFileBytes(Text(path), Bytes("new")));
  }
  reader.reset();
  EXPECT_EQ(GetFile(locked), "keep");
  EXPECT_EQ(CountEntries(folder_.path()), 2);  // nothing was created
}

// Wine keeps the read-only mark in the Unix permissions, which the superuser
// passes through: there the mark cannot be tested.
bool ReadOnlyIsEnforced(const std::string& readOnly) {
  return !UniqueFileHandle(CreateFileA(readOnly.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

TEST_F(Files, AReadOnlyFileIsNeitherWrittenNorReplaced) {
  const std::string readOnly = folder_ / "read-only.txt";
  ASSERT_TRUE(PutFile(readOnly, "keep"));
  ASSERT_TRUE(SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
  if (!ReadOnlyIsEnforced(readOnly)) {
    GTEST_SKIP() << "this system lets the file be written despite its read-only mark "
                    "(Wine run by the superuser)";
  }
  EXPECT_FALSE(WriteFileBytes(Text(readOnly), Bytes("new")));
  EXPECT_FALSE(ReplaceFileContents(Text(readOnly), Bytes("new")));
  EXPECT_EQ(GetFile(readOnly), "keep");
  EXPECT_EQ(CountEntries(folder_.path()), 1);
}

TEST_F(Files, FileExistsFindsFilesFoldersAndPatterns) {
  ASSERT_TRUE(PutFile(folder_ / "a.txt", "a"));
  ASSERT_TRUE(PutFile(folder_ / "b.log", ""));
  ASSERT_TRUE(CreateDirectoryA((folder_ / "sub").c_str(), nullptr));
  struct Case {
    std::string path;
    bool exists;
  };
  const Case cases[] = {
      {"", false},
      {folder_ / "a.txt", true},
      {folder_ / "b.log", true},  // an empty file exists too
      {folder_ / "missing.txt", false},
      {folder_ / "sub", true},
      {folder_ / "*.txt", true},
      {folder_ / "?.txt", true},
      {folder_ / "*", true},
      {folder_ / "*.csv", false},
      {folder_ / "??.txt", false},
      {folder_ / "sub\\*.txt", false},
      {folder_ / "no-such-folder\\*.txt", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(FileExists(Text(c.path)), c.exists);
  }
}

// The code page is UTF-8, so a Chinese name given through the A functions is
// the same name that the W functions see.
TEST_F(Files, AChineseNameIsPassedAsUtf8) {
  const std::string folder = folder_ / "测试目录";
  const std::string path = folder + "\\转换后的文件.txt";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  EXPECT_TRUE(WriteFileBytes(Text(path), Bytes("\xB0\xA1----")));
  EXPECT_TRUE(FileExists(Text(path)));
  EXPECT_TRUE(FileExists(Text(folder + "\\*.txt")));
  EXPECT_EQ(ReadFileBytes(Text(path)).view(), "\xB0\xA1----");

  wchar_t wide[MAX_PATH];
  ASSERT_GT(MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide, MAX_PATH), 0);
  EXPECT_NE(GetFileAttributesW(wide), INVALID_FILE_ATTRIBUTES);
  WIN32_FIND_DATAW found;
  UniqueFindHandle search(FindFirstFileW(wide, &found));
  ASSERT_TRUE(search);
  EXPECT_STREQ(found.cFileName, L"转换后的文件.txt");
}

TEST_F(Files, SameFileComparesTheFilesNotTheNames) {
  const std::string a = folder_ / "a.txt", b = folder_ / "b.txt";
  ASSERT_TRUE(PutFile(a, "same bytes"));
  ASSERT_TRUE(PutFile(b, "same bytes"));
  ASSERT_TRUE(CreateHardLinkA((folder_ / "link.txt").c_str(), a.c_str(), nullptr));
  std::string forward = a;
  for (char& c : forward) {
    c = c == '\\' ? '/' : c;
  }
  std::string upper = a;
  CharUpperA(upper.data());
  struct Case {
    std::string first, second;
    bool same;
  };
  const Case cases[] = {
      {a, a, true},
      {a, upper, true},
      {a, forward, true},
      {a, folder_ / ".\\a.txt", true},
      {a, folder_ / "sub\\..\\a.txt", true},
      {a, folder_ / "link.txt", true},
      {a, b, false},
      {a, folder_ / "missing.txt", false},
      {folder_ / "missing.txt", folder_ / "missing.txt", false},
      {a, "", false},
      {"", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first + " | " + c.second);
    EXPECT_EQ(SameFile(Text(c.first), Text(c.second)), c.same);
    EXPECT_EQ(SameFile(Text(c.second), Text(c.first)), c.same);
  }
  // Also while someone else holds the file open without sharing it.
  UniqueFileHandle holder = Hold(a, GENERIC_READ, 0);
  ASSERT_TRUE(holder);
  EXPECT_TRUE(SameFile(Text(a), Text(upper)));
}

TEST_F(Files, ReplaceFileContentsSwapsInTheNewBytes) {
  const std::string path = folder_ / "target.txt";
  ASSERT_TRUE(PutFile(path, std::string(100, 'x')));
  EXPECT_TRUE(ReplaceFileContents(Text(path), Bytes(std::string_view("a\0b", 3))));
  EXPECT_EQ(GetFile(path), std::string("a\0b", 3));
  EXPECT_TRUE(ReplaceFileContents(Text(path), ByteSet()));
  EXPECT_EQ(GetFile(path), "");
  EXPECT_TRUE(ReplaceFileContents(Text(folder_ / "new.txt"), Bytes("new")));
  EXPECT_EQ(GetFile(folder_ / "new.txt"), "new");
  EXPECT_EQ(CountEntries(folder_.path()), 2);  // no temporary file is left
}

TEST_F(Files, ReplaceFileContentsOfABareNameWorksInTheCurrentFolder) {
  char previous[MAX_PATH];
  ASSERT_GT(GetCurrentDirectoryA(MAX_PATH, previous), 0u);
  ASSERT_TRUE(SetCurrentDirectoryA(folder_.path().c_str()));
  ASSERT_TRUE(PutFile("bare.txt", "old"));
  EXPECT_TRUE(ReplaceFileContents("bare.txt", Bytes("new")));
  EXPECT_EQ(GetFile("bare.txt"), "new");
  EXPECT_EQ(CountEntries(folder_.path()), 1);
  SetCurrentDirectoryA(previous);
}

TEST_F(Files, ReplaceFileContentsKeepsTheTargetOnFailure) {
  const std::string locked = folder_ / "locked.txt";
  ASSERT_TRUE(PutFile(locked, "keep"));
  UniqueFileHandle holder = Hold(locked, GENERIC_READ, 0);
  ASSERT_TRUE(holder);
  ASSERT_TRUE(CreateDirectoryA((folder_ / "sub").c_str(), nullptr));
  ASSERT_TRUE(PutFile(folder_ / "sub\\inside.txt", "keep"));
  const std::string paths[] = {"", locked, folder_ / "sub", folder_ / "no-such-folder\\out.txt"};
  for (const auto& path : paths) {
    SCOPED_TRACE(path);
    EXPECT_FALSE(ReplaceFileContents(Text(path), Bytes("new")));
  }
  holder.reset();
  EXPECT_EQ(GetFile(locked), "keep");
  EXPECT_EQ(GetFile(folder_ / "sub\\inside.txt"), "keep");
  EXPECT_EQ(CountEntries(folder_.path()), 2);  // every temporary file is gone
  EXPECT_EQ(CountEntries(folder_ / "sub\\"), 1);
}

}  // namespace
}  // namespace dashtab::win
