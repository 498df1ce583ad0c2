#include "cli/platform.h"

#include <algorithm>
#include <new>
#include <stdexcept>

namespace dashtab::cli {
namespace {

// ReadFile counts in DWORDs; this also paces the progress line.
constexpr std::size_t kPiece = std::size_t{16} << 20;

// Resizes, reporting a failed allocation instead of ending the program.
bool TryResize(std::string& bytes, std::size_t size) {
  try {
    bytes.resize(size);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
}

}  // namespace

ReadResult ReadUntilEnd(std::uint64_t expected, const ReadSome& read_some,
                        const Progress& progress) {
  const ReadResult no_memory{{}, {FileError::kNotEnoughMemory, {}}};
  std::string bytes;
  // One byte more than expected, so that the end shows without a resize.
  if (!TryResize(bytes, expected > 0 ? expected + 1 : std::size_t{1} << 16)) {
    return no_memory;
  }
  std::size_t done = 0;
  for (;;) {
    if (done == bytes.size() && !TryResize(bytes, bytes.size() * 2)) {
      return no_memory;
    }
    const ReadPiece piece = read_some(bytes.data() + done, std::min(kPiece, bytes.size() - done));
    if (!piece.status.ok()) {
      return {{}, piece.status};
    }
    if (piece.got == 0) {
      break;
    }
    done += piece.got;
    if (progress) {
      progress(done, std::max<std::uint64_t>(expected, done));
    }
  }
  bytes.resize(done);
  return {ByteSet(std::move(bytes)), {}};
}

std::string DescribeFileStatus(const FileStatus& status) {
  switch (status.error) {
    case FileError::kNone:
      return "no error";
    case FileError::kNoSuchFile:
      return "no such file";
    case FileError::kNoSuchFolder:
      return "no such folder";
    case FileError::kIsADirectory:
      return "is a directory";
    case FileError::kPermissionDenied:
      return "permission denied";
    case FileError::kDiskFull:
      return "disk full";
    case FileError::kFileTooLarge:
      return "file too large";
    case FileError::kInUse:
      return "the file is in use by another program";
    case FileError::kNotEnoughMemory:
      return "not enough memory";
    case FileError::kOutputIsInput:
      return "the output is the input (use --in-place to replace a file)";
    case FileError::kOther:
      break;
  }
  return status.detail.empty() ? "unknown error" : status.detail;
}

}  // namespace dashtab::cli
