// A file converted the way the program converts it: read whole, cut at its
// first zero byte, converted, written whole. Used to measure the peak
// memory of a conversion; it also writes the benchmark's inputs as files.
//
//   convert_file generate KIND MIB SEPARATOR PATH   (SEPARATOR: dashes or tab)
//   convert_file DIRECTION SOURCE OUTPUT            (dashes-to-tab or tab-to-dashes)
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "core/conversion.h"
#include "inputs.h"

namespace {

using dashtab::ByteSet;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool ReadWhole(const char* path, std::string& bytes) {
  File file(std::fopen(path, "rb"));
  if (!file || std::fseek(file.get(), 0, SEEK_END) != 0) {
    return false;
  }
  const long size = std::ftell(file.get());
  if (size < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0) {
    return false;
  }
  bytes.resize(static_cast<std::size_t>(size));
  return std::fread(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
}

bool WriteWhole(const char* path, std::string_view bytes) {
  File file(std::fopen(path, "wb"));
  return file && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size() &&
         std::fclose(file.release()) == 0;
}

int Usage() {
  std::fputs(
      "usage: convert_file generate KIND MIB dashes|tab PATH\n"
      "       convert_file dashes-to-tab|tab-to-dashes SOURCE OUTPUT\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string_view command = argc > 1 ? argv[1] : "";
  if (command == "generate" && argc == 6) {
    dashtab::bench::InputKind kind;
    const std::string_view separator = argv[4];
    if (!dashtab::bench::InputFromName(argv[2], kind) ||
        (separator != "dashes" && separator != "tab")) {
      return Usage();
    }
    const std::size_t size = std::strtoull(argv[3], nullptr, 10) << 20;
    return WriteWhole(argv[5],
                      dashtab::bench::MakeInput(kind, separator == "tab" ? "\t" : "----", size))
               ? 0
               : 1;
  }
  if ((command == "dashes-to-tab" || command == "tab-to-dashes") && argc == 4) {
    std::string bytes;
    if (!ReadWhole(argv[2], bytes)) {
      return 1;
    }
    const auto direction = command == "dashes-to-tab" ? dashtab::Direction::DashesToTab
                                                      : dashtab::Direction::TabToDashes;
    const ByteSet output = dashtab::ConvertBytes(ByteSet(std::move(bytes)), direction);
    return WriteWhole(argv[3], output.view()) ? 0 : 1;
  }
  return Usage();
}
