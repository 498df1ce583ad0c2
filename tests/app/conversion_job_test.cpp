// The conversion job on real files: the worked results, the output written
// whole, and the source kept safe when the output names the source itself.
#include "app/conversion_job.h"

#include <gtest/gtest.h>

#include <string>

#include "core/reference_replace.h"
#include "core/worked_conversions.h"
#include "win/files.h"
#include "win/handle.h"

namespace dashtab::app {
namespace {

using dashtab::testing::Hex;

class ConversionJobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    folder_ = std::string(temp) + "dashtab-job-" + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(folder_.c_str(), nullptr);
  }
  void TearDown() override {
    for (const char* name : {"源.txt", "输出.txt"}) {
      DeleteFileA(Path(name).c_str());
    }
    RemoveDirectoryA(folder_.c_str());
  }

  Text Path(const std::string& name) const { return Text(folder_ + name); }
  void Write(const std::string& name, const std::string& bytes) {
    ASSERT_TRUE(win::WriteFileBytes(Path(name), ByteSet(bytes)));
  }
  std::string Read(const std::string& name) const {
    return std::string(win::ReadFileBytes(Path(name)).view());
  }

  // The job of one start; the completion box is not part of these tests.
  ConversionJob Job(const std::string& source, int selection, const std::string& output) const {
    ConversionJob job;
    job.source_path = Path(source);
    job.selection = selection;
    job.output_path = Path(output);
    job.output_is_source = source == output;
    return job;
  }

  std::string folder_;
};

TEST_F(ConversionJobTest, GivesTheWorkedResults) {
  const auto& cases = testing::kWorkedConversions;
  for (const testing::WorkedConversion& c : cases) {
    SCOPED_TRACE(std::string(c.source) + " / " + std::to_string(c.selection));
    Write("源.txt", Hex(c.source));
    Write("输出.txt", "stale contents");
    ConvertFile(Job("源.txt", c.selection, "输出.txt"));
    EXPECT_EQ(Read("输出.txt"), Hex(c.output));
    EXPECT_EQ(Read("源.txt"), Hex(c.source)) << "the source is never touched";
  }
}

TEST_F(ConversionJobTest, AMissingSourceGivesAnEmptyOutput) {
  Write("输出.txt", "stale contents");
  ConvertFile(Job("源.txt", 0, "输出.txt"));
  EXPECT_EQ(win::ReadFileBytes(Path("输出.txt")).size(), 0u);
  EXPECT_TRUE(win::FileExists(Path("输出.txt")));
}

TEST_F(ConversionJobTest, OutputOnTheSourceReplacesItWhole) {
  Write("源.txt", "a----b\r\nc--------d");
  ConvertFile(Job("源.txt", 0, "源.txt"));
  EXPECT_EQ(Read("源.txt"), "a\tb\r\nc\t\td");
}

TEST_F(ConversionJobTest, OutputOnTheSourceNeverEmptiesIt) {
  // A source that gives nothing to write: one that begins with a zero
  // byte, and one held open for writing by another handle, so that it
  // cannot be read.
  Write("源.txt", Hex("00 61 2D 2D 2D 2D"));
  ConvertFile(Job("源.txt", 0, "源.txt"));
  EXPECT_EQ(Read("源.txt"), Hex("00 61 2D 2D 2D 2D"));

  Write("源.txt", "a----b");
  {
    win::UniqueFileHandle writer(CreateFileA(Path("源.txt").c_str(), GENERIC_WRITE,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(writer);
    ConvertFile(Job("源.txt", 0, "源.txt"));
  }
  EXPECT_EQ(Read("源.txt"), "a----b");
}

}  // namespace
}  // namespace dashtab::app
