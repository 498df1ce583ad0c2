// What only a POSIX system lets a test set up: permissions that apply even
// when the tests run as root, a file size limit, a full disk, a terminal.
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <sched.h>

#include <cerrno>
#include <cstring>

#include "program_fixture.h"

namespace dashtab::testing {
namespace {

namespace fs = std::filesystem;

// Root passes every permission check, so a permission test runs the program
// as "nobody" and gives the test's folder to that user first.
class PermissionTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    user_ = UserForUnprivilegedRuns();
    if (user_) {
      ASSERT_EQ(::chown(folder_.c_str(), user_->uid, user_->gid), 0) << std::strerror(errno);
      ASSERT_EQ(::chmod(folder_.c_str(), 0755), 0);
      // The folders above must let that user through.
      ASSERT_EQ(::access(folder_.parent_path().c_str(), X_OK), 0);
    }
  }

  std::string OwnedFile(const std::string& name, const std::string& bytes, mode_t mode) {
    const std::string path = File(name, bytes);
    if (user_) {
      EXPECT_EQ(::chown(path.c_str(), user_->uid, user_->gid), 0);
    }
    EXPECT_EQ(::chmod(path.c_str(), mode), 0);
    return path;
  }

  ProgramResult RunUnprivileged(std::vector<std::string> arguments) {
    ProgramRun run;
    run.arguments = std::move(arguments);
    run.unprivileged = true;
    ProgramResult result = RunProgram(run);
    if (result.status == 126) {
      ADD_FAILURE() << "the test could not switch to the user nobody";
    }
    return result;
  }

  std::optional<UnprivilegedUser> user_;
};

TEST_F(PermissionTest, UnreadableInput) {
  const std::string source = OwnedFile("secret.txt", "a----b", 0000);
  const ProgramResult result = RunUnprivileged({"to-tab", source});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("cannot read '" + source + "': permission denied"), std::string::npos)
      << result.err;
}

// The new file cannot even be made in a read-only folder: the target stays
// as it was and nothing is left behind.
TEST_F(PermissionTest, ReadOnlyFolderLeavesTheTargetAsItWas) {
  const std::string target = OwnedFile("table.txt", "a----b", 0644);
  ASSERT_EQ(::chmod(folder_.c_str(), 0555), 0);
  const ProgramResult result = RunUnprivileged({"to-tab", "--in-place", target});
  ASSERT_EQ(::chmod(folder_.c_str(), 0755), 0);
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("cannot write '" + target + "': permission denied"), std::string::npos)
      << result.err;
  EXPECT_EQ(Contents(target), "a----b");
  EXPECT_EQ(Names(), std::vector<std::string>{"table.txt"});
}

TEST_F(ProgramTest, InPlaceKeepsPermissionsAndLinks) {
  const std::string target = File("table.txt", "a----b");
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  const std::string link = Path("link.txt");
  ASSERT_EQ(::symlink("table.txt", link.c_str()), 0);

  const ProgramResult result = RunCli({"to-tab", "--in-place", link});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(Contents(target), "a\tb");
  struct stat info;
  ASSERT_EQ(::lstat(link.c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  ASSERT_EQ(::stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(ProgramTest, NewOutputFollowsTheUmask) {
  const std::string source = File("in.txt", "a----b");
  const std::string output = Path("out.txt");
  EXPECT_EQ(RunCli({"to-tab", source, "-o", output}).status, 0);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  struct stat info;
  ASSERT_EQ(::stat(output.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
}

// Past the file size limit a write fails (EFBIG); the target stays whole.
TEST_F(ProgramTest, FileSizeLimitLeavesTheTargetAsItWas) {
  const std::string source = File("big.txt", std::string(64 * 1024, '-'));
  const std::string target = File("out.txt", "the old contents");
  ProgramRun run;
  run.arguments = {"to-dashes", source, "-o", target};
  run.fileSizeLimit = 4096;
  const ProgramResult result = RunProgram(run);
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("cannot write '" + target + "': file too large"), std::string::npos)
      << result.err;
  EXPECT_EQ(Contents(target), "the old contents");
  EXPECT_EQ(Names(), (std::vector<std::string>{"big.txt", "out.txt"}));
}

TEST_F(ProgramTest, FullDeviceIsReportedAsDiskFull) {
  const std::string source = File("in.txt", "a----b");
  ProgramRun run;
  run.arguments = {"to-tab", source};
  run.outputFile = "/dev/full";
  const ProgramResult toStdout = RunProgram(run);
  EXPECT_EQ(toStdout.status, 1);
  EXPECT_NE(toStdout.err.find("cannot write standard output: disk full"), std::string::npos)
      << toStdout.err;

  // A device is written into, never replaced by a plain file.
  const ProgramResult named = RunCli({"to-tab", source, "-o", "/dev/full"});
  EXPECT_EQ(named.status, 1);
  EXPECT_NE(named.err.find("cannot write '/dev/full': disk full"), std::string::npos) << named.err;
  struct stat info;
  ASSERT_EQ(::stat("/dev/full", &info), 0);
  EXPECT_TRUE(S_ISCHR(info.st_mode));
}

// A real full disk: a small tmpfs in a mount namespace of this test process
// alone, where the system allows one (root with CAP_SYS_ADMIN).
TEST_F(ProgramTest, FullDiskLeavesTheTargetAsItWas) {
  static const bool privateMounts =
      ::unshare(CLONE_NEWNS) == 0 &&
      ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
  if (!privateMounts) {
    GTEST_SKIP() << "no private mount namespace here: " << std::strerror(errno);
  }
  const fs::path disk = folder_ / "disk";
  fs::create_directory(disk);
  ASSERT_EQ(::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k"), 0) << std::strerror(errno);
  const std::string source = File("big.txt", std::string(64 * 1024, '\t'));
  const std::string target = Utf8(disk / "out.txt");
  WriteBytes(target, "the old contents");

  const ProgramResult result = RunCli({"to-dashes", source, "-o", target});
  const std::string contents = Contents(target);
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(disk)) {
    names.push_back(Utf8(entry.path().filename()));
  }
  ASSERT_EQ(::umount(disk.c_str()), 0);
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("cannot write '" + target + "': disk full"), std::string::npos)
      << result.err;
  EXPECT_EQ(contents, "the old contents");
  EXPECT_EQ(names, std::vector<std::string>{"out.txt"});
}

// On a terminal the progress line is drawn and wiped again; the messages
// stay readable around it.
TEST_F(ProgramTest, ProgressLineOnlyOnATerminal) {
  const std::string a = File("a.txt", "a----b");
  const std::string b = File("b.txt", "c----d");
  ProgramRun run;
  run.arguments = {"to-tab", "--in-place", "--verbose", a, b};
  run.errorOnTerminal = true;
  const ProgramResult onTerminal = RunProgram(run);
  EXPECT_EQ(onTerminal.status, 0) << onTerminal.err;
  EXPECT_NE(onTerminal.err.find("\rdashtab: [2/2] '" + b + "': converting"), std::string::npos)
      << onTerminal.err;
  EXPECT_NE(onTerminal.err.find("2 converted, 0 failed"), std::string::npos);

  run.errorOnTerminal = false;
  const ProgramResult onPipe = RunProgram(run);
  EXPECT_EQ(onPipe.err.find('\r'), std::string::npos) << onPipe.err;
}

TEST_F(ProgramTest, ProgressLineForOneLargeFile) {
  const std::string source = File("big.txt", std::string(9 << 20, '-'));
  const std::string output = Path("out.txt");
  ProgramRun run;
  run.arguments = {"to-tab", source, "-o", output};
  run.errorOnTerminal = true;
  const ProgramResult result = RunProgram(run);
  EXPECT_EQ(result.status, 0) << result.err;
  // The line moves while the file is converted, not only at its end.
  const std::string line = "'" + source + "': converting ";
  const auto first = result.err.find(line);
  ASSERT_NE(first, std::string::npos) << result.err;
  EXPECT_NE(result.err.compare(first + line.size(), 4, "100%"), 0) << result.err;
  EXPECT_NE(result.err.find("'" + source + "': converting 100%"), std::string::npos) << result.err;
  // Wiped at the end: the last thing written is a return to the line's start.
  ASSERT_FALSE(result.err.empty());
  EXPECT_EQ(result.err.back(), '\r');
  EXPECT_EQ(Contents(output), std::string(9 << 18, '\t'));
}

TEST_F(ProgramTest, HardLinkToTheInputIsTheInput) {
  const std::string source = File("in.txt", "a----b");
  const std::string link = Path("link.txt");
  ASSERT_EQ(::link(source.c_str(), link.c_str()), 0);
  const ProgramResult result = RunCli({"to-tab", source, "-o", link});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("cannot write '" + link + "': the output is the input"),
            std::string::npos)
      << result.err;
  EXPECT_EQ(Contents(source), "a----b");
}

}  // namespace
}  // namespace dashtab::testing
