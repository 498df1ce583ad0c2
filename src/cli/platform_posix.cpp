#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

#include "cli/platform.h"

namespace dashtab::cli {
namespace {

// Large enough that the system calls cost nothing next to the copying, small
// enough that the progress line moves on a large file.
constexpr std::size_t kChunk = std::size_t{16} << 20;

mode_t g_umask = 022;

FileStatus StatusFromErrno(int error, bool writing) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return {writing ? FileError::kNoSuchFolder : FileError::kNoSuchFile, {}};
    case EISDIR:
      return {FileError::kIsADirectory, {}};
    case EACCES:
    case EPERM:
    case EROFS:
      return {FileError::kPermissionDenied, {}};
    case ENOSPC:
    case EDQUOT:
      return {FileError::kDiskFull, {}};
    case EFBIG:
      return {FileError::kFileTooLarge, {}};
    case ETXTBSY:
      return {FileError::kInUse, {}};
    case ENOMEM:
      return {FileError::kNotEnoughMemory, {}};
    default:
      return {FileError::kOther, std::strerror(error)};
  }
}

class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  int get() const { return fd_; }
  // Closing can report a late write error, so it is a step of its own.
  int Close() { return ::close(std::exchange(fd_, -1)); }

 private:
  int fd_;
};

// Removes the new file unless the move over the target went through.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    if (!path_.empty()) {
      ::unlink(path_.c_str());
    }
  }
  const std::string& path() const { return path_; }
  void Keep() { path_.clear(); }

 private:
  std::string path_;
};

ReadResult ReadDescriptor(int fd, std::uint64_t expected, const Progress& progress) {
  const auto read_some = [fd](char* into, std::size_t most) -> ReadPiece {
    for (;;) {
      const ssize_t got = ::read(fd, into, most);
      if (got >= 0) {
        return {static_cast<std::size_t>(got), {}};
      }
      if (errno != EINTR) {
        return {0, StatusFromErrno(errno, false)};
      }
    }
  };
  return ReadUntilEnd(expected, read_some, progress);
}

FileStatus WriteDescriptor(int fd, std::string_view bytes, const Progress& progress) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const std::size_t want = std::min(kChunk, bytes.size() - done);
    const ssize_t put = ::write(fd, bytes.data() + done, want);
    if (put < 0) {
      if (errno == EINTR) {
        continue;
      }
      return StatusFromErrno(errno, true);
    }
    done += static_cast<std::size_t>(put);
    if (progress) {
      progress(done, bytes.size());
    }
  }
  return {};
}

std::optional<FileIdentity> IdentifyDescriptor(int fd) {
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    return std::nullopt;
  }
  return FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                      static_cast<std::uint64_t>(info.st_ino)};
}

// A link is replaced where it points, so that the link itself survives.
std::string ResolveLink(const std::string& path) {
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
    return path;
  }
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) {
    return path;
  }
  std::string target(resolved);
  std::free(resolved);
  return target;
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) {
    return ".";
  }
  return slash == 0 ? "/" : path.substr(0, slash);
}

// A device or pipe (/dev/null, a FIFO) cannot be replaced, only written to;
// moving a file over it would put a plain file in the device's place.
FileStatus WriteIntoDevice(const std::string& path, std::string_view bytes,
                           const Progress& progress) {
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    return StatusFromErrno(errno, true);
  }
  if (FileStatus status = WriteDescriptor(fd.get(), bytes, progress); !status.ok()) {
    return status;
  }
  if (fd.Close() != 0) {
    return StatusFromErrno(errno, true);
  }
  return {};
}

}  // namespace

ReadResult ReadWholeFile(const std::string& path, const Progress& progress) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    return {{}, StatusFromErrno(errno, false)};
  }
  struct stat info;
  if (::fstat(fd.get(), &info) != 0) {
    return {{}, StatusFromErrno(errno, false)};
  }
  if (S_ISDIR(info.st_mode)) {
    return {{}, {FileError::kIsADirectory, {}}};
  }
  return ReadDescriptor(fd.get(), static_cast<std::uint64_t>(info.st_size), progress);
}

ReadResult ReadStandardInput() {
  struct stat info;
  std::uint64_t expected = 0;
  if (::fstat(STDIN_FILENO, &info) == 0 && S_ISREG(info.st_mode)) {
    expected = static_cast<std::uint64_t>(info.st_size);
  }
  return ReadDescriptor(STDIN_FILENO, expected, nullptr);
}

FileStatus WriteStandardOutput(std::string_view bytes) {
  return WriteDescriptor(STDOUT_FILENO, bytes, nullptr);
}

FileStatus ReplaceFileAtomically(const std::string& path, std::string_view bytes,
                                 const Progress& progress) {
  const std::string target = ResolveLink(path);
  struct stat old;
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (!exists && errno != ENOENT) {
    return StatusFromErrno(errno, true);
  }
  if (exists && S_ISDIR(old.st_mode)) {
    return {FileError::kIsADirectory, {}};
  }
  if (exists && !S_ISREG(old.st_mode)) {
    return WriteIntoDevice(target, bytes, progress);
  }

  std::string pattern = FolderOf(target) + "/.dashtab-XXXXXX";
  UniqueFd fd(::mkstemp(pattern.data()));
  if (fd.get() < 0) {
    return StatusFromErrno(errno, true);
  }
  TemporaryFile temporary(pattern);

  if (FileStatus status = WriteDescriptor(fd.get(), bytes, progress); !status.ok()) {
    return status;
  }
  // The owner first: changing it clears the set-user-ID bits that the mode
  // then restores. Only a privileged user can give a file away; others keep
  // the file as their own, as any editor would.
  if (exists) {
    (void)::fchown(fd.get(), old.st_uid, old.st_gid);
  }
  const mode_t mode = exists ? (old.st_mode & 07777) : (0666 & ~g_umask);
  if (::fchmod(fd.get(), mode) != 0) {
    return StatusFromErrno(errno, true);
  }
  // A file system may report a full disk only when the data reaches it.
  if (::fsync(fd.get()) != 0 || fd.Close() != 0) {
    return StatusFromErrno(errno, true);
  }
  if (::rename(temporary.path().c_str(), target.c_str()) != 0) {
    return StatusFromErrno(errno, true);
  }
  temporary.Keep();
  return {};
}

std::optional<FileIdentity> IdentifyFile(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) {
    return std::nullopt;
  }
  return FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                      static_cast<std::uint64_t>(info.st_ino)};
}

std::optional<FileIdentity> IdentifyStandardInput() {
  return IdentifyDescriptor(STDIN_FILENO);
}

std::optional<FileIdentity> IdentifyStandardOutput() {
  return IdentifyDescriptor(STDOUT_FILENO);
}

bool StandardErrorIsTerminal() {
  return ::isatty(STDERR_FILENO) == 1;
}

void WriteStandardError(std::string_view text) {
  (void)WriteDescriptor(STDERR_FILENO, text, nullptr);
}

void PrepareProcess() {
  // Past a file size limit write() then fails with EFBIG, which is reported
  // and cleaned up, instead of the signal ending the process mid-write.
  ::signal(SIGXFSZ, SIG_IGN);
  g_umask = ::umask(0);
  ::umask(g_umask);
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + std::min(argc, 1), argv + argc);
}

}  // namespace dashtab::cli
