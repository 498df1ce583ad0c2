// What the tests of the program share: a fresh folder per test, files in it
// named by UTF-8 paths, and a short way to run the program.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "run_program.h"

namespace dashtab::testing {

namespace fs = std::filesystem;

inline fs::path PathFromUtf8(const std::string& utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

inline void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(file.good()) << Utf8(path);
}

inline std::string ReadBytes(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

// Every test works in a fresh folder of its own.
class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ =
        fs::temp_directory_path() / ("dashtab-cli-test-" + std::to_string(std::random_device()()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(folder_, ignored);
  }

  // A file in the test's folder, as the UTF-8 path the program is given.
  std::string File(const std::string& name, const std::string& bytes) {
    WriteBytes(folder_ / PathFromUtf8(name), bytes);
    return Path(name);
  }
  std::string Path(const std::string& name) const { return Utf8(folder_ / PathFromUtf8(name)); }
  std::string Contents(const std::string& path) const { return ReadBytes(PathFromUtf8(path)); }

  // The names in the test's folder, to see that no temporary file stayed.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_)) {
      names.push_back(Utf8(entry.path().filename()));
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path folder_;
};

inline ProgramResult RunCli(std::vector<std::string> arguments, std::string input = {}) {
  ProgramRun run;
  run.arguments = std::move(arguments);
  run.input = std::move(input);
  return RunProgram(run);
}

}  // namespace dashtab::testing
