// The little that the command-line program needs from the operating system:
// reading a file piece by piece, replacing a file in one step, the standard streams and
// file identity, each failure with a reason the user can act on. One
// interface, a POSIX and a Windows implementation; paths are UTF-8.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// One read of at most `most` bytes: how many came (0 at the end of the
// input), or why it failed.
struct ReadPiece {
  std::size_t got = 0;
  FileStatus status;
};

// A file or standard input, read from its start to its end.
class Input {
 public:
  virtual ~Input() = default;
  // The size of a file when it was opened, else 0; a file may still grow
  // or shrink while it is read.
  virtual std::uint64_t ExpectedSize() const = 0;
  virtual ReadPiece Read(char* into, std::size_t most) = 0;
};

// Where the converted bytes go. The bytes written to a named file become
// its contents only at Commit, in one step; an Output that goes away
// without Commit leaves its target as it was. Write is called from a
// thread of its own, one thread at a time.
class Output {
 public:
  virtual ~Output() = default;
  virtual FileStatus Write(std::string_view bytes) = 0;
  virtual FileStatus Commit() = 0;
};

struct OpenedInput {
  std::unique_ptr<Input> input;  // empty on failure
  FileStatus status;
};
struct OpenedOutput {
  std::unique_ptr<Output> output;  // empty on failure
  FileStatus status;
};

OpenedInput OpenInputFile(const std::string& path);
std::unique_ptr<Input> StandardInput();

// A new file in the target's folder, moved over the target at Commit,
// keeping the target's permissions where the platform allows. The new
// file is flushed to the disk before it replaces a file that exists, so
// that a crash leaves the old contents or the new, never neither. A target
// that is a device or a pipe is written into.
OpenedOutput CreateReplacement(const std::string& path);
std::unique_ptr<Output> StandardOutput();

FileStatus WriteStandardOutput(std::string_view bytes);

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
