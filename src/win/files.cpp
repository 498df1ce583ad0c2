#include "win/files.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <new>
#include <string>

#include "core/out_of_memory.h"
#include "win/handle.h"

namespace dashtab::win {
namespace {

// File lengths are 32-bit signed counts; anything longer is not read.
constexpr LONGLONG kLargestReadableFile = INT32_MAX;

// Writes all of `bytes`; one write unless the part is beyond what one
// WriteFile call can take.
bool WriteWhole(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), MAXDWORD));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written != chunk) {
      return false;
    }
    bytes.remove_prefix(chunk);
  }
  return true;
}

// Writes the non-empty parts in order and closes the file; false when a
// write fails or falls short, or closing fails.
bool WritePartsAndClose(UniqueFileHandle file, std::span<const ByteSet* const> parts) {
  for (const ByteSet* part : parts) {
    if (part && !part->empty() && !WriteWhole(file.get(), part->view())) {
      return false;
    }
  }
  return CloseHandle(file.release()) != FALSE;
}

UniqueFileHandle OpenForWriting(const Text& path, DWORD disposition) {
  return UniqueFileHandle(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Opens for reading the file's identity only, sharing everything, so that it
// works while others hold the file open; folders open too.
UniqueFileHandle OpenForIdentity(const Text& path) {
  return UniqueFileHandle(CreateFileA(path.c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// The folder part of a path, with its trailing separator; empty for a bare
// file name.
std::string_view FolderOf(std::string_view path) {
  const std::size_t slash = path.find_last_of("\\/:");
  return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1);
}

// A new, empty file of a name nobody uses, in `folder`; its name in `name`.
UniqueFileHandle CreateTemporaryIn(std::string_view folder, Text& name) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = ConcatTexts({folder, "~dashtab-", std::to_string(GetCurrentProcessId()), "-",
                        std::to_string(counter++), ".tmp"});
    UniqueFileHandle file = OpenForWriting(name, CREATE_NEW);
    if (file || GetLastError() != ERROR_FILE_EXISTS) {
      return file;
    }
  }
  return UniqueFileHandle();
}

}  // namespace

ByteSet ReadFileBytes(const Text& path) {
  if (path.empty()) {
    return ByteSet();
  }
  UniqueFileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER length{};
  if (!file || !GetFileSizeEx(file.get(), &length) || length.QuadPart <= 0 ||
      length.QuadPart > kLargestReadableFile) {
    return ByteSet();
  }
  std::string buffer;
  try {
    // The one allocation that fails softly: a file too big for memory reads
    // as empty instead of ending the program.
    SoftAllocationScope soft;
    buffer.resize(static_cast<std::size_t>(length.QuadPart));
  } catch (const std::bad_alloc&) {
    return ByteSet();
  }
  DWORD read = 0;
  if (!ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) {
    return ByteSet();
  }
  buffer.resize(read);  // the file may have shrunk since its length was taken
  return ByteSet(std::move(buffer));
}

bool WriteFileBytes(const Text& path, std::span<const ByteSet* const> parts) {
  if (path.empty()) {
    return false;
  }
  UniqueFileHandle file = OpenForWriting(path, CREATE_ALWAYS);
  return file && WritePartsAndClose(std::move(file), parts);
}

bool FileExists(const Text& path) {
  if (path.empty()) {
    return false;
  }
  WIN32_FIND_DATAA found;
  return UniqueFindHandle(FindFirstFileA(path.c_str(), &found)).valid();
}

bool SameFile(const Text& a, const Text& b) {
  if (a.empty() || b.empty()) {
    return false;
  }
  UniqueFileHandle first = OpenForIdentity(a);
  UniqueFileHandle second = OpenForIdentity(b);
  BY_HANDLE_FILE_INFORMATION x, y;
  return first && second && GetFileInformationByHandle(first.get(), &x) &&
         GetFileInformationByHandle(second.get(), &y) &&
         x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
         x.nFileIndexLow == y.nFileIndexLow;
}

bool ReplaceFileContents(const Text& path, const ByteSet& bytes) {
  if (path.empty()) {
    return false;
  }
  Text temporary;
  UniqueFileHandle file = CreateTemporaryIn(FolderOf(path.view()), temporary);
  if (!file) {
    return false;
  }
  // The contents reach the disk before the name points at them, so that a
  // crash leaves either the old file or the whole new one.
  const bool written = WriteWhole(file.get(), bytes.view()) && FlushFileBuffers(file.get()) &&
                       CloseHandle(file.release());
  if (written && MoveFileExA(temporary.c_str(), path.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  file.reset();
  DeleteFileA(temporary.c_str());
  return false;
}

}  // namespace dashtab::win
