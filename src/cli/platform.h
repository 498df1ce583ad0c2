// The little that the command-line program needs from the operating system:
// whole-file reads, atomic replacement of a file, the standard streams and
// file identity, each failure with a reason the user can act on. One
// interface, a POSIX and a Windows implementation; paths are UTF-8.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/text.h"

namespace dashtab::cli {

enum class FileError {
  kNone,
  kNoSuchFile,
  kNoSuchFolder,
  kIsADirectory,
  kPermissionDenied,
  kDiskFull,
  kFileTooLarge,
  kInUse,
  kNotEnoughMemory,
  kOutputIsInput,
  kOther,
};

struct FileStatus {
  FileError error = FileError::kNone;
  std::string detail;  // the system's own words, for kOther

  bool ok() const { return error == FileError::kNone; }
};

// The reason in a few words, for "cannot read 'x': <reason>".
std::string DescribeFileStatus(const FileStatus& status);

// Names one file however its path is spelt: device and inode on POSIX,
// volume serial number and file index on Windows.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t file = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// Called now and then with the bytes done so far and the expected total.
using Progress = std::function<void(std::uint64_t done, std::uint64_t total)>;

struct ReadResult {
  ByteSet bytes;
  FileStatus status;
};

// One read of at most `most` bytes into `into`: how many came (0 at the end
// of the input), or why it failed.
struct ReadPiece {
  std::size_t got = 0;
  FileStatus status;
};
using ReadSome = std::function<ReadPiece(char* into, std::size_t most)>;

// Reads until the end of the input, one piece at a time, into a buffer
// sized for `expected` bytes and doubled when the input turns out longer.
// The platforms' reads of files and standard input share it.
ReadResult ReadUntilEnd(std::uint64_t expected, const ReadSome& read_some,
                        const Progress& progress);

// The whole file as stored. Reads until the end even if the file grew.
ReadResult ReadWholeFile(const std::string& path, const Progress& progress);
ReadResult ReadStandardInput();

FileStatus WriteStandardOutput(std::string_view bytes);

// Writes the bytes to a new file in the target's folder and moves it over
// the target in one step, keeping the target's permissions where the
// platform allows. On any failure the target is left as it was and the new
// file is removed. A target that is a device or a pipe is written into.
FileStatus ReplaceFileAtomically(const std::string& path, std::string_view bytes,
                                 const Progress& progress);

// Empty when the path names nothing that can be identified.
std::optional<FileIdentity> IdentifyFile(const std::string& path);
// Only when the stream is a file on disk; empty for pipes and terminals.
std::optional<FileIdentity> IdentifyStandardInput();
std::optional<FileIdentity> IdentifyStandardOutput();

bool StandardErrorIsTerminal();
void WriteStandardError(std::string_view text);

// Standard streams in binary mode, a failed write reported instead of
// ending the process; call once before anything else.
void PrepareProcess();

// The arguments after the program name, as UTF-8.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

}  // namespace dashtab::cli
