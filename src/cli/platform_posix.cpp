#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "cli/platform.h"

namespace dashtab::cli {
namespace {

// Some systems refuse a single write of 2 GiB or more.
constexpr std::size_t kMostPerWrite = std::size_t{1} << 30;

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
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&&) = delete;
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

ReadPiece ReadDescriptor(int fd, char* into, std::size_t most) {
  for (;;) {
    const ssize_t got = ::read(fd, into, most);
    if (got >= 0) {
      return {static_cast<std::size_t>(got), {}};
    }
    if (errno != EINTR) {
      return {0, StatusFromErrno(errno, false)};
    }
  }
}

FileStatus WriteDescriptor(int fd, std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const std::size_t want = std::min(kMostPerWrite, bytes.size() - done);
    const ssize_t put = ::write(fd, bytes.data() + done, want);
    if (put < 0) {
      if (errno == EINTR) {
        continue;
      }
      return StatusFromErrno(errno, true);
    }
    done += static_cast<std::size_t>(put);
  }
  return {};
}

// A file the program opened, or standard input, which it only borrows.
class DescriptorInput final : public Input {
 public:
  DescriptorInput(UniqueFd owned, int fd, std::uint64_t expected)
      : owned_(std::move(owned)), fd_(fd), expected_(expected) {}
  std::uint64_t ExpectedSize() const override { return expected_; }
  ReadPiece Read(char* into, std::size_t most) override { return ReadDescriptor(fd_, into, most); }

 private:
  UniqueFd owned_;
  int fd_;
  std::uint64_t expected_;
};

// Standard output, or a device opened for writing: written as it comes.
class DescriptorOutput final : public Output {
 public:
  DescriptorOutput(UniqueFd owned, int fd) : owned_(std::move(owned)), fd_(fd) {}
  FileStatus Write(std::string_view bytes) override { return WriteDescriptor(fd_, bytes); }
  FileStatus Commit() override {
    if (owned_.get() >= 0 && owned_.Close() != 0) {
      return StatusFromErrno(errno, true);
    }
    return {};
  }

 private:
  UniqueFd owned_;
  int fd_;
};

// A new file beside the target that takes the target's place at Commit.
class ReplacementFile final : public Output {
 public:
  ReplacementFile(UniqueFd fd, std::string temporary, std::string target,
                  std::optional<struct stat> old)
      : temporary_(std::move(temporary)),
        fd_(std::move(fd)),
        target_(std::move(target)),
        old_(old) {}

  FileStatus Write(std::string_view bytes) override { return WriteDescriptor(fd_.get(), bytes); }

  FileStatus Commit() override {
    // The owner first: changing it clears the set-user-ID bits that the
    // mode then restores. Only a privileged user can give a file away;
    // others keep the file as their own, as any editor would.
    if (old_) {
      (void)::fchown(fd_.get(), old_->st_uid, old_->st_gid);
    }
    const mode_t mode = old_ ? (old_->st_mode & 07777) : (0666 & ~g_umask);
    if (::fchmod(fd_.get(), mode) != 0) {
      return StatusFromErrno(errno, true);
    }
    // Only a file that replaces another waits for the disk: a crash then
    // leaves the old contents or the new. A new file is as safe as any
    // copy, and the file systems in use report a full disk at write().
    if (old_ && ::fsync(fd_.get()) != 0) {
      return StatusFromErrno(errno, true);
    }
    if (fd_.Close() != 0) {
      return StatusFromErrno(errno, true);
    }
    if (::rename(temporary_.path().c_str(), target_.c_str()) != 0) {
      return StatusFromErrno(errno, true);
    }
    temporary_.Keep();
    return {};
  }

 private:
  // Declared first, so that the file is closed before it is removed.
  TemporaryFile temporary_;
  UniqueFd fd_;
  std::string target_;
  std::optional<struct stat> old_;
};

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
OpenedOutput OpenDevice(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    return {nullptr, StatusFromErrno(errno, true)};
  }
  const int raw = fd.get();
  return {std::make_unique<DescriptorOutput>(std::move(fd), raw), {}};
}

}  // namespace

OpenedInput OpenInputFile(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    return {nullptr, StatusFromErrno(errno, false)};
  }
  struct stat info;
  if (::fstat(fd.get(), &info) != 0) {
    return {nullptr, StatusFromErrno(errno, false)};
  }
  if (S_ISDIR(info.st_mode)) {
    return {nullptr, {FileError::kIsADirectory, {}}};
  }
  const int raw = fd.get();
  (void)::posix_fadvise(raw, 0, 0, POSIX_FADV_SEQUENTIAL);
  return {std::make_unique<DescriptorInput>(std::move(fd), raw,
                                            static_cast<std::uint64_t>(info.st_size)),
          {}};
}

std::unique_ptr<Input> StandardInput() {
  struct stat info;
  std::uint64_t expected = 0;
  if (::fstat(STDIN_FILENO, &info) == 0 && S_ISREG(info.st_mode)) {
    expected = static_cast<std::uint64_t>(info.st_size);
  }
  return std::make_unique<DescriptorInput>(UniqueFd(), STDIN_FILENO, expected);
}

std::unique_ptr<Output> StandardOutput() {
  return std::make_unique<DescriptorOutput>(UniqueFd(), STDOUT_FILENO);
}

FileStatus WriteStandardOutput(std::string_view bytes) {
  return WriteDescriptor(STDOUT_FILENO, bytes);
}

OpenedOutput CreateReplacement(const std::string& path) {
  const std::string target = ResolveLink(path);
  struct stat old;
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (!exists && errno != ENOENT) {
    return {nullptr, StatusFromErrno(errno, true)};
  }
  if (exists && S_ISDIR(old.st_mode)) {
    return {nullptr, {FileError::kIsADirectory, {}}};
  }
  if (exists && !S_ISREG(old.st_mode)) {
    return OpenDevice(target);
  }
  std::string temporary = FolderOf(target) + "/.dashtab-XXXXXX";
  UniqueFd fd(::mkstemp(temporary.data()));
  if (fd.get() < 0) {
    return {nullptr, StatusFromErrno(errno, true)};
  }
  return {
      std::make_unique<ReplacementFile>(std::move(fd), std::move(temporary), target,
                                        exists ? std::optional<struct stat>(old) : std::nullopt),
      {}};
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
  (void)WriteDescriptor(STDERR_FILENO, text);
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
