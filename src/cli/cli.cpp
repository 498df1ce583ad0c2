#include "cli/cli.h"

#include <algorithm>
#include <new>
#include <optional>
#include <system_error>

#include "core/out_of_memory.h"
#include "cli/platform.h"
#include "cli/stream.h"

namespace dashtab::cli {
namespace {

// Below this a single file is done before a progress line would be read.
constexpr std::uint64_t kLargeFile = std::uint64_t{8} << 20;

// Built by appending: GCC 12 warns falsely (-Wrestrict) about a literal
// added to a temporary string.
std::string Quoted(std::string_view name) {
  std::string quoted(1, '\'');
  quoted.append(name);
  quoted += '\'';
  return quoted;
}

// One line on standard error, rewritten in place; only on a terminal.
class ProgressLine {
 public:
  explicit ProgressLine(bool enabled) : enabled_(enabled) {}
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;
  ~ProgressLine() { Clear(); }

  bool enabled() const { return enabled_; }

  void Show(const std::string& text) {
    if (!enabled_ || text == shown_) {
      return;
    }
    // Blanks over the rest of the old line: no terminal escapes needed.
    std::string line(1, '\r');
    line += text;
    if (text.size() < shown_.size()) {
      line.append(shown_.size() - text.size(), ' ');
      line += '\r';
      line += text;
    }
    WriteStandardError(line);
    shown_ = text;
  }

  void Clear() {
    if (enabled_ && !shown_.empty()) {
      std::string blank(1, '\r');
      blank.append(shown_.size(), ' ');
      blank += '\r';
      WriteStandardError(blank);
      shown_.clear();
    }
  }

 private:
  bool enabled_;
  std::string shown_;
};

struct Totals {
  int converted = 0;
  int failed = 0;
  std::uint64_t bytesIn = 0;
  std::uint64_t bytesOut = 0;
  std::uint64_t replacements = 0;
};

class Converter {
 public:
  Converter(std::string_view program, const Options& options)
      : program_(program), options_(options), progress_(StandardErrorIsTerminal()) {}

  int Run() {
    if (options_.inputs.empty()) {
      ConvertOne(std::string(kStandardStream), 1);
    }
    for (std::size_t i = 0; i < options_.inputs.size(); ++i) {
      ConvertOne(options_.inputs[i], i + 1);
    }
    progress_.Clear();
    if (options_.verbose && options_.inputs.size() > 1) {
      Say(std::to_string(totals_.converted) + " converted, " + std::to_string(totals_.failed) +
          " failed; " + Amounts(totals_.bytesIn, totals_.bytesOut, totals_.replacements));
    }
    return totals_.failed == 0 ? kExitSuccess : kExitSomeFailed;
  }

 private:
  static std::string Amounts(std::uint64_t in, std::uint64_t out, std::uint64_t replacements) {
    return std::to_string(in) + " bytes in, " + std::to_string(out) + " bytes out, " +
           std::to_string(replacements) + (replacements == 1 ? " replacement" : " replacements");
  }

  static std::string Percent(std::uint64_t done, std::uint64_t total) {
    return std::to_string(total == 0 ? 100 : done * 100 / total) + "%";
  }

  void Say(const std::string& line) {
    progress_.Clear();
    WriteStandardError(std::string(program_) + ": " + line + "\n");
  }

  void Fail(const std::string& what, const std::string& name, const FileStatus& status) {
    Say(what + " " + name + ": " + DescribeFileStatus(status));
    ++totals_.failed;
  }

  bool ShowsProgress(std::uint64_t size) const {
    return progress_.enabled() && (options_.inputs.size() > 1 || size >= kLargeFile);
  }

  void ShowProgress(std::size_t index, const std::string& name, const std::string& state,
                    std::uint64_t size) {
    if (!ShowsProgress(size)) {
      return;
    }
    std::string text = std::string(program_) + ": ";
    if (options_.inputs.size() > 1) {
      text += '[';
      text += std::to_string(index);
      text += '/';
      text += std::to_string(options_.inputs.size());
      text += "] ";
    }
    progress_.Show(text + name + ": " + state);
  }

  // The output named by the options for this input; empty for standard output.
  std::string OutputFor(const std::string& input) const {
    if (options_.inPlace) {
      return input;
    }
    if (options_.output && *options_.output != kStandardStream) {
      return *options_.output;
    }
    return {};
  }

  void ConvertOne(const std::string& input, std::size_t index) {
    const bool fromStdin = input == kStandardStream;
    const std::string inName = fromStdin ? "standard input" : Quoted(input);
    const std::string output = OutputFor(input);
    const std::string outName = output.empty() ? "standard output" : Quoted(output);

    if (!options_.inPlace && RefusesOutputIsInput(fromStdin, input, output)) {
      Fail("cannot write", outName, {FileError::kOutputIsInput, {}});
      return;
    }
    OpenedInput source = fromStdin ? OpenedInput{StandardInput(), {}} : OpenInputFile(input);
    if (!source.input) {
      Fail("cannot read", inName, source.status);
      return;
    }
    OpenedOutput target =
        output.empty() ? OpenedOutput{StandardOutput(), {}} : CreateReplacement(output);
    if (!target.output) {
      Fail("cannot write", outName, target.status);
      return;
    }

    const std::optional<Streamed> streamed =
        Stream(*source.input, *target.output, fromStdin, index, inName, outName);
    // Closed first: Windows moves no file over one that is open.
    source.input.reset();
    if (streamed) {
      Conclude(*streamed, *target.output, inName, outName);
    }
  }

  // The conversion from the input to the output; empty when it failed, and
  // the failure is reported.
  std::optional<Streamed> Stream(Input& input, Output& output, bool fromStdin, std::size_t index,
                                 const std::string& inName, const std::string& outName) {
    const std::uint64_t expected = input.ExpectedSize();
    const auto progress = [&](std::uint64_t done) {
      if (!fromStdin) {
        const std::uint64_t total = std::max(expected, done);
        ShowProgress(index, inName, "converting " + Percent(done, total), total);
      }
    };
    Streamed streamed;
    try {
      SoftAllocationScope soft;
      streamed = ConvertStream(input, output, options_.direction, progress);
    } catch (const std::bad_alloc&) {
      Fail("cannot convert", inName, {FileError::kNotEnoughMemory, {}});
      return std::nullopt;
    } catch (const std::system_error& error) {
      Fail("cannot convert", inName, {FileError::kOther, error.what()});
      return std::nullopt;
    }
    if (!streamed.read.ok()) {
      Fail("cannot read", inName, streamed.read);
      return std::nullopt;
    }
    if (!streamed.written.ok()) {
      Fail("cannot write", outName, streamed.written);
      return std::nullopt;
    }
    return streamed;
  }

  // Warns of a zero byte, puts the output in its place and counts the file.
  void Conclude(const Streamed& streamed, Output& output, const std::string& inName,
                const std::string& outName) {
    const std::uint64_t sizeIn = streamed.bytesIn;
    const std::uint64_t sizeOut = streamed.bytesOut;
    const std::uint64_t textLength = streamed.zeroAt.value_or(sizeIn);
    if (streamed.zeroAt) {
      Say("warning: " + inName + " holds a zero byte at offset " + std::to_string(textLength) +
          "; the text ends there and the rest is dropped (is it a UTF-16 file?)");
    }
    const std::uint64_t replacements = CountReplacements(options_.direction, textLength, sizeOut);
    // Unchanged, a file converted in place stays untouched, its times
    // included: the new copy is dropped.
    if (!(options_.inPlace && replacements == 0 && sizeOut == sizeIn)) {
      if (const FileStatus committed = output.Commit(); !committed.ok()) {
        Fail("cannot write", outName, committed);
        return;
      }
    }

    ++totals_.converted;
    totals_.bytesIn += sizeIn;
    totals_.bytesOut += sizeOut;
    totals_.replacements += replacements;
    if (options_.verbose) {
      const std::string where = options_.inPlace ? inName : inName + " -> " + outName;
      Say(where + ": " + Amounts(sizeIn, sizeOut, replacements));
    }
  }

  // Writing over the input would destroy it before it is read (through the
  // shell's truncation) or replace it unasked; file identity, not the
  // spelling of the paths, decides.
  bool RefusesOutputIsInput(bool fromStdin, const std::string& input,
                            const std::string& output) const {
    const auto in = fromStdin ? IdentifyStandardInput() : IdentifyFile(input);
    const auto out = output.empty() ? IdentifyStandardOutput() : IdentifyFile(output);
    return in && out && *in == *out;
  }

  std::string_view program_;
  const Options& options_;
  ProgressLine progress_;
  Totals totals_;
};

}  // namespace

// Each "----" that became a TAB shortens the text by 3 bytes, each TAB that
// became "----" lengthens it by 3. Turning TABs into dashes also drops a
// lone lead byte at the very end of the text, which takes one byte off:
// then the difference is one short of a multiple of 3.
std::uint64_t CountReplacements(Direction direction, std::uint64_t textLength,
                                std::uint64_t outputLength) {
  if (direction == Direction::DashesToTab) {
    return (textLength - outputLength) / 3;
  }
  return (outputLength + 1 - textLength) / 3;
}

int RunCommandLine(std::string_view program, std::span<const std::string> arguments) {
  const ParseResult parsed = ParseArguments(arguments);
  if (!parsed.options) {
    WriteStandardError(std::string(program) + ": " + parsed.error + "\nTry '" +
                       std::string(program) + " --help'.\n");
    return kExitUsage;
  }
  const Options& options = *parsed.options;
  switch (options.action) {
    case Options::Action::kHelp:
      return WriteStandardOutput(UsageText(program)).ok() ? kExitSuccess : kExitSomeFailed;
    case Options::Action::kVersion:
      return WriteStandardOutput(VersionText(program)).ok() ? kExitSuccess : kExitSomeFailed;
    case Options::Action::kConvert:
      break;
  }
  return Converter(program, options).Run();
}

}  // namespace dashtab::cli
