#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <chrono>
#include <stdexcept>

#include "run_program.h"

namespace dashtab::testing {
namespace {

constexpr auto kTimeLimit = std::chrono::seconds(60);
constexpr unsigned kNobody = 65534;

void Check(bool ok, const char* what) {
  if (!ok) {
    throw std::runtime_error(std::string(what) + " failed: " + std::strerror(errno));
  }
}

struct Pipe {
  int read = -1;
  int write = -1;
};

Pipe MakePipe() {
  int ends[2];
  Check(::pipe2(ends, O_CLOEXEC) == 0, "pipe2");
  return {ends[0], ends[1]};
}

// Everything between fork and exec: only async-signal-safe calls.
[[noreturn]] void StartChild(const ProgramRun& run, const std::vector<char*>& argv, int in, int out,
                             int err) {
  ::dup2(in, STDIN_FILENO);
  ::dup2(out, STDOUT_FILENO);
  ::dup2(err, STDERR_FILENO);
  ::signal(SIGPIPE, SIG_DFL);
  if (run.fileSizeLimit) {
    const rlimit limit{*run.fileSizeLimit, *run.fileSizeLimit};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
      ::_exit(125);
    }
  }
  if (run.unprivileged && ::geteuid() == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
      ::_exit(126);
    }
  }
  ::execv(argv[0], argv.data());
  ::_exit(127);
}

}  // namespace

const std::string& ProgramPath() {
  static const std::string path = DASHTAB_CLI_PATH;
  return path;
}

std::optional<UnprivilegedUser> UserForUnprivilegedRuns() {
  if (::geteuid() != 0) {
    return std::nullopt;
  }
  return UnprivilegedUser{kNobody, kNobody};
}

ProgramResult RunProgram(const ProgramRun& run) {
  std::vector<std::string> words{ProgramPath()};
  words.insert(words.end(), run.arguments.begin(), run.arguments.end());
  std::vector<char*> argv;
  for (auto& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);

  const Pipe in = MakePipe();
  Pipe out;
  if (run.outputFile) {
    out.write = ::open(run.outputFile->c_str(), O_WRONLY | O_CLOEXEC);
    Check(out.write >= 0, "open of the output file");
  } else {
    out = MakePipe();
  }
  Pipe err;
  if (run.errorOnTerminal) {
    err.read = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    Check(err.read >= 0 && ::grantpt(err.read) == 0 && ::unlockpt(err.read) == 0, "posix_openpt");
    err.write = ::open(::ptsname(err.read), O_RDWR | O_NOCTTY | O_CLOEXEC);
    Check(err.write >= 0, "open of the terminal");
  } else {
    err = MakePipe();
  }

  const pid_t child = ::fork();
  Check(child >= 0, "fork");
  if (child == 0) {
    StartChild(run, argv, in.read, out.write, err.write);
  }
  ::close(in.read);
  ::close(out.write);
  ::close(err.write);

  ProgramResult result;
  std::size_t fed = 0;
  int feed = in.write;
  if (run.input.empty()) {
    ::close(feed);
    feed = -1;
  } else {
    ::fcntl(feed, F_SETFL, O_NONBLOCK);
  }
  int readers[2] = {out.read, err.read};
  std::string* sinks[2] = {&result.out, &result.err};
  const auto deadline = std::chrono::steady_clock::now() + kTimeLimit;
  bool timedOut = false;
  while (feed >= 0 || readers[0] >= 0 || readers[1] >= 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timedOut = true;
      break;
    }
    pollfd fds[3] = {{feed, POLLOUT, 0}, {readers[0], POLLIN, 0}, {readers[1], POLLIN, 0}};
    if (::poll(fds, 3, static_cast<int>(left.count())) < 0 && errno != EINTR) {
      break;
    }
    if (feed >= 0 && (fds[0].revents & (POLLOUT | POLLERR | POLLHUP))) {
      const ssize_t put = ::write(feed, run.input.data() + fed, run.input.size() - fed);
      if (put > 0) {
        fed += static_cast<std::size_t>(put);
      }
      if (put < 0 && errno != EAGAIN) {
        fed = run.input.size();  // the program stopped reading
      }
      if (fed == run.input.size()) {
        ::close(feed);
        feed = -1;
      }
    }
    for (int i = 0; i < 2; ++i) {
      if (readers[i] >= 0 && (fds[i + 1].revents & (POLLIN | POLLERR | POLLHUP))) {
        char buffer[65536];
        const ssize_t got = ::read(readers[i], buffer, sizeof buffer);
        if (got > 0) {
          sinks[i]->append(buffer, static_cast<std::size_t>(got));
        } else if (got == 0 || errno != EINTR) {
          // A terminal reports EIO once the last writer has gone.
          ::close(readers[i]);
          readers[i] = -1;
        }
      }
    }
  }
  for (int fd : {feed, readers[0], readers[1]}) {
    if (fd >= 0) {
      ::close(fd);
    }
  }
  if (timedOut) {
    ::kill(child, SIGKILL);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  result.status = WIFEXITED(status) && !timedOut ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace dashtab::testing
