// Conversion speed on 64 MiB inputs, in both directions, next to the plain
// reference loop and a memcpy of the same bytes measured in the same run.
// After the usual report comes a table of MB/s and the two ratios, from the
// median of the repetitions.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/conversion.h"
#include "core/reference_replace.h"
#include "inputs.h"

namespace dashtab::bench {
namespace {

constexpr std::size_t kInputSize = 64 << 20;

struct Case {
  std::string name;  // input/direction
  Direction direction;
  Text text;
};

const char* DirectionName(Direction direction) {
  return direction == Direction::DashesToTab ? "dashes-to-tab" : "tab-to-dashes";
}

void Convert(benchmark::State& state, const Case* c) {
  for (auto _ : state) {
    const Text out = ConvertText(c->text, c->direction);
    benchmark::DoNotOptimize(out.view().data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * c->text.size()));
}

void Reference(benchmark::State& state, const Case* c) {
  const bool toTab = c->direction == Direction::DashesToTab;
  for (auto _ : state) {
    const std::string out = testing::ReferenceReplace(c->text.view(), toTab ? "----" : "\t",
                                                      std::string(toTab ? "\t" : "----"),
                                                      std::nullopt, std::nullopt, true);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * c->text.size()));
}

void Memcpy(benchmark::State& state, const Case* c) {
  // A destination touched beforehand: the copy alone is measured.
  std::unique_ptr<char[]> copy(new char[c->text.size()]);
  std::memset(copy.get(), 0, c->text.size());
  for (auto _ : state) {
    std::memcpy(copy.get(), c->text.view().data(), c->text.size());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * c->text.size()));
}

// Keeps the median time of each benchmark (or its only time without
// repetitions) for the table at the end.
class Collector : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const auto& run : runs) {
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      const std::string& name = run.run_name.function_name;
      if (median || (run.run_type == Run::RT_Iteration && !medians_.count(name))) {
        seconds_[name] = run.GetAdjustedRealTime() / 1e3;  // the unit is milliseconds
        if (median) {
          medians_[name] = true;
        }
      }
    }
  }

  double Seconds(const std::string& name) const {
    auto it = seconds_.find(name);
    return it == seconds_.end() ? 0 : it->second;
  }

 private:
  std::map<std::string, double> seconds_;
  std::map<std::string, bool> medians_;
};

// A page touched for the first time costs tens of microseconds on this
// kind of virtual machine: a fresh 64 MiB result would cost more than the
// whole conversion, the same for every way of producing it. Served from a
// heap that keeps what was freed, each iteration's result lands in memory
// that earlier iterations touched, as memcpy's destination does.
void KeepFreedMemory() {
  mallopt(M_MMAP_MAX, 0);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
}

void PrintTable(const std::vector<std::unique_ptr<Case>>& cases, const Collector& collector) {
  std::printf("\n%-26s %10s %10s %10s %10s %12s\n", "input/direction", "MB/s", "reference",
              "memcpy", "speed-up", "vs memcpy");
  for (const auto& c : cases) {
    const double fast = collector.Seconds(c->name + "/fast");
    const double reference = collector.Seconds(c->name + "/reference");
    const double copy = collector.Seconds(c->name + "/memcpy");
    if (fast <= 0 || reference <= 0 || copy <= 0) {
      continue;
    }
    const double megabytes = static_cast<double>(c->text.size()) / 1e6;
    std::printf("%-26s %10.0f %10.0f %10.0f %9.1fx %11.2fx\n", c->name.c_str(), megabytes / fast,
                megabytes / reference, megabytes / copy, reference / fast, fast / copy);
  }
  std::printf(
      "\nMB/s = 10^6 bytes of input per second (median); speed-up = reference time / time;\n"
      "vs memcpy = time / memcpy time of the same bytes.\n");
}

}  // namespace
}  // namespace dashtab::bench

int main(int argc, char** argv) {
  using namespace dashtab;
  using namespace dashtab::bench;
  KeepFreedMemory();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }

  std::vector<std::unique_ptr<Case>> cases;
  for (InputKind kind : kInputKinds) {
    for (Direction direction : {Direction::DashesToTab, Direction::TabToDashes}) {
      const char* separator = direction == Direction::DashesToTab ? "----" : "\t";
      cases.push_back(
          std::make_unique<Case>(Case{std::string(InputName(kind)) + "/" + DirectionName(direction),
                                      direction, Text(MakeInput(kind, separator, kInputSize))}));
    }
  }
  for (const auto& c : cases) {
    const Case* p = c.get();
    benchmark::RegisterBenchmark((c->name + "/fast").c_str(), Convert, p)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark((c->name + "/reference").c_str(), Reference, p)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark((c->name + "/memcpy").c_str(), Memcpy, p)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }

  Collector collector;
  benchmark::RunSpecifiedBenchmarks(&collector);
  PrintTable(cases, collector);
  benchmark::Shutdown();
  return 0;
}
