// The command-line program as its users meet it: a real process, its
// arguments, streams, files and exit status.
#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "core/reference_replace.h"
#include "core/worked_conversions.h"
#include "program_fixture.h"

namespace dashtab::testing {
namespace {

namespace fs = std::filesystem;

// The worked results of the conversion, through files and through the
// standard streams: the program gives the same bytes as the window program.
TEST_F(ProgramTest, WorkedTableThroughFilesAndStreams) {
  const auto& rows = testing::kWorkedConversions;
  for (const testing::WorkedConversion& row : rows) {
    SCOPED_TRACE(std::string(row.source) + " with selection " + std::to_string(row.selection));
    const std::string command = row.selection == 0 ? "to-tab" : "to-dashes";
    const std::string source = File("source.txt", Hex(row.source));
    const std::string output = Path("output.txt");

    const ProgramResult toFile = RunCli({command, source, "-o", output});
    EXPECT_EQ(toFile.status, 0) << toFile.err;
    EXPECT_EQ(Contents(output), Hex(row.output));

    const ProgramResult streams = RunCli({command}, Hex(row.source));
    EXPECT_EQ(streams.status, 0) << streams.err;
    EXPECT_EQ(streams.out, Hex(row.output));
  }
}

// A file of several MiB is read and converted piece by piece. Runs that
// no piece may be cut inside (dashes, lead bytes, longer than any piece)
// and short interesting runs everywhere else put every kind of byte at
// every piece edge; the result must be the plain loop's over the whole.
std::string LargeMixedText() {
  std::mt19937 rng(5);
  const char alphabet[] = {'\t', '-', '-', '-', 'a', '\r', '\n', '\x81', '\xB0', '\xFE'};
  std::string text;
  while (text.size() < (std::size_t{5} << 20)) {
    switch (rng() % 200) {
      case 0:
        text.append(1 + rng() % (std::size_t{3} << 20), '-');
        break;
      case 1:
        text.append(1 + rng() % (std::size_t{3} << 20), '\xB0');
        break;
      default:
        for (int i = 0; i < 4096; ++i) {
          text += alphabet[rng() % std::size(alphabet)];
        }
    }
  }
  return text;
}

TEST_F(ProgramTest, LargeFileConvertsAsAWhole) {
  const std::string text = LargeMixedText();
  const std::string source = File("large.txt", text);
  const std::string output = Path("output.txt");
  for (const bool toTab : {true, false}) {
    SCOPED_TRACE(toTab ? "to-tab" : "to-dashes");
    const std::string expected =
        ReferenceReplace(text, toTab ? "----" : "\t", std::string(toTab ? "\t" : "----"),
                         std::nullopt, std::nullopt, true);
    const ProgramResult toFile = RunCli({toTab ? "to-tab" : "to-dashes", source, "-o", output});
    EXPECT_EQ(toFile.status, 0) << toFile.err;
    EXPECT_TRUE(Contents(output) == expected);
    const ProgramResult streams = RunCli({toTab ? "to-tab" : "to-dashes"}, text);
    EXPECT_EQ(streams.status, 0) << streams.err;
    EXPECT_TRUE(streams.out == expected);
  }
}

TEST_F(ProgramTest, DashMeansStandardStreams) {
  const ProgramResult result = RunCli({"to-tab", "-", "-o", "-"}, "a----b\r\n");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "a\tb\r\n");
  EXPECT_EQ(result.err, "");
}

TEST_F(ProgramTest, OneInputWithoutOutputGoesToStandardOutput) {
  const std::string source = File("a.txt", "x\ty");
  const ProgramResult result = RunCli({"to-dashes", source});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "x----y");
  EXPECT_EQ(Contents(source), "x\ty");
}

// Names are UTF-8 inside the program and reach the system unchanged.
TEST_F(ProgramTest, NonAsciiFileNames) {
  const std::string source = File("表格.txt", "a----b");
  const std::string output = Path("转换后的文件.txt");
  const ProgramResult result = RunCli({"to-tab", source, "-o", output, "--verbose"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(Contents(output), "a\tb");
  EXPECT_NE(result.err.find("转换后的文件.txt"), std::string::npos) << result.err;
}

TEST_F(ProgramTest, SeveralFilesInPlace) {
  const std::string a = File("a.txt", "1----2----3");
  const std::string b = File("b.txt", "no dashes here");
  const std::string c = File("c.txt", "------\n");
  // A file that the conversion leaves as it is keeps its time too.
  const auto old = fs::last_write_time(PathFromUtf8(b)) - std::chrono::hours(48);
  fs::last_write_time(PathFromUtf8(b), old);
  const ProgramResult result = RunCli({"to-tab", "--in-place", "--verbose", a, b, c});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(Contents(a), "1\t2\t3");
  EXPECT_EQ(Contents(b), "no dashes here");
  EXPECT_TRUE(fs::last_write_time(PathFromUtf8(b)) == old);
  EXPECT_EQ(Contents(c), "\t--\n");
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find("a.txt': 11 bytes in, 5 bytes out, 2 replacements"), std::string::npos)
      << result.err;
  EXPECT_NE(result.err.find("b.txt': 14 bytes in, 14 bytes out, 0 replacements"), std::string::npos)
      << result.err;
  EXPECT_NE(result.err.find("3 converted, 0 failed; 32 bytes in, 23 bytes out, 3 replacements"),
            std::string::npos)
      << result.err;
  // Standard error is not a terminal here: no progress line.
  EXPECT_EQ(result.err.find('\r'), std::string::npos);
  EXPECT_EQ(Names(), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
}

TEST_F(ProgramTest, AFailureDoesNotStopTheOtherFiles) {
  const std::string a = File("a.txt", "a\tb");
  const std::string missing = Path("missing.txt");
  const std::string c = File("c.txt", "\t");
  const ProgramResult result = RunCli({"to-dashes", "-i", "-v", a, missing, c});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(Contents(a), "a----b");
  EXPECT_EQ(Contents(c), "----");
  EXPECT_NE(result.err.find("cannot read '" + missing + "': no such file"), std::string::npos)
      << result.err;
  EXPECT_NE(result.err.find("2 converted, 1 failed"), std::string::npos) << result.err;
}

TEST_F(ProgramTest, VerboseCountsTheDroppedLeadByteApart) {
  // Four TABs become dashes; the lone lead byte at the end goes.
  const ProgramResult result = RunCli({"to-dashes", "-v"}, "\t\t\t\t\xB0");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "----------------");
  EXPECT_NE(result.err.find("5 bytes in, 16 bytes out, 4 replacements"), std::string::npos)
      << result.err;
}

TEST_F(ProgramTest, ZeroByteGivesAWarningAndTheTextEndsThere) {
  const std::string source = File("utf16.txt", std::string("a\0-\0-\0-\0-\0", 10));
  const ProgramResult result = RunCli({"to-tab", source});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "a");
  EXPECT_NE(result.err.find("warning: '" + source + "' holds a zero byte at offset 1"),
            std::string::npos)
      << result.err;
  EXPECT_NE(result.err.find("UTF-16"), std::string::npos);
}

TEST_F(ProgramTest, HelpAndVersion) {
  const ProgramResult help = RunCli({"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* part : {"Usage:", "to-tab", "to-dashes", "--in-place", "--output", "--verbose",
                           "Exit status:", "  2  the command line was wrong", "Examples:"}) {
    EXPECT_NE(help.out.find(part), std::string::npos) << part;
  }
  const ProgramResult version = RunCli({"to-tab", "--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_NE(version.out.find(" 1."), std::string::npos) << version.out;
}

// Every refusal and failure: its exit status and the message naming the
// file and the reason.
TEST_F(ProgramTest, FailuresWithTheirMessagesAndStatus) {
  const std::string source = File("in.txt", "a----b");
  fs::create_directory(folder_ / "folder");
  const std::string folder = Path("folder");
  const std::string missing = Path("missing.txt");
  const std::string noFolder = Utf8(folder_ / "no-such-folder" / "out.txt");
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string message;
  };
  const Case cases[] = {
      {{"to-tab", missing}, 1, "cannot read '" + missing + "': no such file"},
      {{"to-tab", folder}, 1, "cannot read '" + folder + "': is a directory"},
      {{"to-tab", source, "-o", folder}, 1, "cannot write '" + folder + "': is a directory"},
      {{"to-tab", source, "-o", noFolder}, 1, "cannot write '" + noFolder + "': no such folder"},
      {{"to-tab", source, "-o", source},
       1,
       "cannot write '" + source + "': the output is the input"},
      {{}, 2, "no command given"},
      {{"to-spaces", source}, 2, "unknown command 'to-spaces'"},
      {{"to-tab", "--fast", source}, 2, "unknown option '--fast'"},
      {{"to-tab", "-x", source}, 2, "unknown option '-x'"},
      {{"to-tab", source, source}, 2, "several inputs need --in-place"},
      {{"to-tab", "-i", source, "-o", missing}, 2, "--in-place and -o cannot be used together"},
      {{"to-tab", "-i"}, 2, "--in-place needs at least one input file"},
      {{"to-tab", "-i", "-"}, 2, "--in-place cannot replace standard input"},
      {{"to-tab", source, "-o"}, 2, "-o needs a file name"},
      {{"to-tab", source, "-o", "a", "-o", "b"}, 2, "-o given twice"},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const auto& argument : c.arguments) {
      line += argument + " ";
    }
    SCOPED_TRACE(line);
    const ProgramResult result = RunCli(c.arguments);
    EXPECT_EQ(result.status, c.status);
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    if (c.status == 2) {
      EXPECT_NE(result.err.find("--help"), std::string::npos) << result.err;
    }
    EXPECT_EQ(result.out, "");
  }
  EXPECT_EQ(Contents(source), "a----b");
  EXPECT_EQ(Names(), (std::vector<std::string>{"folder", "in.txt"}));
}

// The same file under another spelling, and standard output opened on the
// input (as by ">>"), are refused: the input stays as it was.
TEST_F(ProgramTest, OutputIsInputIsRefusedByIdentity) {
  fs::create_directory(folder_ / "sub");
  const std::string source = File("sub/in.txt", "a----b");
  const std::string otherSpelling = Utf8(folder_ / "sub" / ".." / "sub" / "in.txt");
  const ProgramResult named = RunCli({"to-tab", source, "-o", otherSpelling});
  EXPECT_EQ(named.status, 1);
  EXPECT_NE(named.err.find("the output is the input"), std::string::npos) << named.err;

  ProgramRun run;
  run.arguments = {"to-tab", otherSpelling};
  run.outputFile = source;
  const ProgramResult redirected = RunProgram(run);
  EXPECT_EQ(redirected.status, 1);
  EXPECT_NE(redirected.err.find("cannot write standard output: the output is the input"),
            std::string::npos)
      << redirected.err;
  EXPECT_EQ(Contents(source), "a----b");

  // --in-place is the way to replace a file by its conversion.
  EXPECT_EQ(RunCli({"to-tab", "--in-place", otherSpelling}).status, 0);
  EXPECT_EQ(Contents(source), "a\tb");
}

TEST_F(ProgramTest, OutputReplacesAnExistingFileWhole) {
  const std::string source = File("in.txt", "a----b");
  const std::string output = File("out.txt", std::string(1000, 'x'));
  const ProgramResult result = RunCli({"to-tab", source, "--output=" + output});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(Contents(output), "a\tb");
  EXPECT_EQ(Names(), (std::vector<std::string>{"in.txt", "out.txt"}));
}

}  // namespace
}  // namespace dashtab::testing
