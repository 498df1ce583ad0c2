// Runs the command-line program as a child process, feeds its standard input
// and collects its exit status and both output streams. Every run has a time
// limit, so a hung program fails its test instead of hanging the run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dashtab::testing {

struct ProgramRun {
  std::vector<std::string> arguments;  // after the program name
  std::string input;                   // written to standard input, then closed
  // Standard output goes to this existing file, opened without truncation,
  // instead of a pipe.
  std::optional<std::string> outputFile;
  // POSIX only: the child runs as the unprivileged user "nobody" when the
  // test runs as root, so that permissions apply to it.
  bool unprivileged = false;
  // POSIX only: the largest file the child may write (RLIMIT_FSIZE).
  std::optional<std::uint64_t> fileSizeLimit;
  // POSIX only: standard error is a pseudo-terminal.
  bool errorOnTerminal = false;
};

struct ProgramResult {
  int status = -1;  // the exit status; -1 when the program did not exit by itself
  std::string out;
  std::string err;
};

// The path of the program under test, as the build gave it.
const std::string& ProgramPath();

ProgramResult RunProgram(const ProgramRun& run);

// The uid and gid that an unprivileged run uses, for preparing its files;
// empty when the test is not root (then the child keeps the test's user).
struct UnprivilegedUser {
  unsigned uid;
  unsigned gid;
};
std::optional<UnprivilegedUser> UserForUnprivilegedRuns();

}  // namespace dashtab::testing
